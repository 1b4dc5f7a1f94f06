#include "orvane/accounts/open_position.h"

#include <gtest/gtest.h>

#include "book_fixture.h"
#include "orvane/accounts/account.h"
#include "orvane/accounts/open_positions.h"
#include "orvane/accounts/order.h"
#include "orvane/accounts/orders.h"
#include "orvane/core/error.h"

namespace orvane {
namespace {

using testing_book::AddEntry;
using testing_book::MakeSymbol;

// A client priced in EURUSD (profit in USD, reference: the unit symbol) and
// EURGBP (profit in GBP, converted through GBPUSD).
class PositionTest : public ::testing::Test {
 protected:
  PositionTest() {
    usd = MakeSymbol(1, 1, 1, 1);
    eurusd = MakeSymbol(2, 1.1000, 1.1001, 1);
    eurgbp = MakeSymbol(3, 0.8500, 0.8501, 4);
    gbpusd = MakeSymbol(4, 1.2500, 1.2501, 1);
    AddEntry(params, usd, 0);
    eurusd_entry = AddEntry(params, eurusd, 2, 7.5);
    eurgbp_entry = AddEntry(params, eurgbp, 3);
    AddEntry(params, gbpusd, 2);
    params.SetParamsRefParams();
  }
  ~PositionTest() override {
    params.Deallocate();
    for (auto& s : {usd, eurusd, eurgbp, gbpusd}) s->Deallocate();
  }

  std::shared_ptr<COpenPosition> Open(const std::shared_ptr<CClientParam>& entry,
                                      OperationTypeEnum type, double lots, double price,
                                      int32_t ticket, double interest = 0) {
    return positions.Add(price, entry, lots, type, ticket, nullptr, interest, "", "");
  }

  CClientParams params;
  COpenPositions positions;
  std::shared_ptr<CSymbol> usd, eurusd, eurgbp, gbpusd;
  std::shared_ptr<CClientParam> eurusd_entry, eurgbp_entry;
};

TEST_F(PositionTest, BuyClosesAtClientBidAndSellAtClientAsk) {
  auto buy = Open(eurusd_entry, BuyType, 1, 1.0950, 1);
  auto sell = Open(eurusd_entry, SellType, 1, 1.0950, 2);
  EXPECT_DOUBLE_EQ(buy->ClosePrice(), 1.1000);
  // The client's ask is the bid plus its own 2 pips, not the symbol's ask.
  EXPECT_DOUBLE_EQ(sell->ClosePrice(), 1.1002);
  EXPECT_DOUBLE_EQ(buy->RefClosePrice(), 1.0);

  auto cross_sell = Open(eurgbp_entry, SellType, 1, 0.8530, 3);
  EXPECT_DOUBLE_EQ(cross_sell->RefClosePrice(), 1.2502);
  auto cross_buy = Open(eurgbp_entry, BuyType, 1, 0.8530, 4);
  EXPECT_DOUBLE_EQ(cross_buy->RefClosePrice(), 1.2500);
}

TEST_F(PositionTest, PriceIsStoredInTheSymbolFormat) {
  auto p = Open(eurusd_entry, BuyType, 1, 1.234567, 1);
  EXPECT_DOUBLE_EQ(p->Price(), 1.2346);
  // A tenth of a pip is added before rounding half away from zero.
  p->Price(1.234442);
  EXPECT_DOUBLE_EQ(p->Price(), 1.2345);
  p->Price(1.234438);
  EXPECT_DOUBLE_EQ(p->Price(), 1.2344);
}

TEST_F(PositionTest, CommissionIsACost) {
  auto p = Open(eurusd_entry, BuyType, 2, 1.1, 1);
  EXPECT_DOUBLE_EQ(p->Commission(), -15);
}

TEST_F(PositionTest, FloatingResultConvertsThroughTheReferenceSymbol) {
  // Buy 1 lot EURUSD 1.0950 -> bid 1.1000: 50 pips of 10 USD.
  auto buy = Open(eurusd_entry, BuyType, 1, 1.0950, 1);
  EXPECT_EQ(buy->FloatingProfitLoss(ON_OPEN_TYPE), 500.00);
  // Sell 2 lots EURGBP 0.8530 -> client ask 0.8503, in GBP, then at the
  // GBPUSD ask 1.2502: 0.0027 x 1.2502 x 2 x 100000 = 675.108.
  auto sell = Open(eurgbp_entry, SellType, 2, 0.8530, 2);
  EXPECT_EQ(sell->FloatingProfitLoss(ON_OPEN_TYPE), 675.11);
  EXPECT_DOUBLE_EQ(positions.TotalFloatingProfitLoss(ON_OPEN_TYPE), 1175.11);
}

TEST_F(PositionTest, CommissionAndInterestEnterOnlyWhenBookedOnClose) {
  // Closing at the open price: 0 - 7.5 + 0.015 = -7.485, a half cent that
  // goes to the even cent (halves away from zero would give -7.49).
  auto flat = Open(eurusd_entry, BuyType, 1, 1.1000, 1, 0.015);
  EXPECT_EQ(flat->FloatingProfitLoss(ON_CLOSE_TYPE), -7.48);
  EXPECT_EQ(flat->FloatingProfitLoss(ON_OPEN_TYPE), 0);
  // With a profit: 500 - 7.5 - 3.2.
  auto buy = Open(eurusd_entry, BuyType, 1, 1.0950, 2, -3.2);
  EXPECT_EQ(buy->FloatingProfitLoss(ON_CLOSE_TYPE), 489.30);
}

TEST_F(PositionTest, AddInterestUsesTheRateAsGivenAndRoundsToCents) {
  auto buy = Open(eurusd_entry, BuyType, 1, 1.1, 1, 5);
  EXPECT_DOUBLE_EQ(buy->AddInterest(1, 3.65, -1.2, 365), 1000);
  EXPECT_DOUBLE_EQ(buy->Interest(), 1005);
  EXPECT_DOUBLE_EQ(buy->AddInterest(3, 3.65, -1.2, 365), 3000);

  auto sell = Open(eurusd_entry, SellType, 1, 1.1, 2);
  EXPECT_DOUBLE_EQ(sell->AddInterest(1, 3.65, -1.2, 365), -328.77);
  EXPECT_DOUBLE_EQ(sell->Interest(), -328.77);

  // 0.00045625 x 100000 / 365 is 0.125: a half cent goes to the even cent;
  // -0.375 goes to -0.38.
  auto small = Open(eurusd_entry, BuyType, 1, 1.1, 3);
  EXPECT_DOUBLE_EQ(small->AddInterest(1, 0.00045625, 0, 365), 0.12);
  auto small_sell = Open(eurusd_entry, SellType, 1, 1.1, 4);
  EXPECT_DOUBLE_EQ(small_sell->AddInterest(1, 0, -0.00136875, 365), -0.38);
  EXPECT_THROW(small->AddInterest(1, 1, 1, 0), Error);
}

TEST_F(PositionTest, MissingReferencesAreReportedNotDereferenced) {
  COpenPosition bare;
  EXPECT_THROW(bare.ClosePrice(), Error);
  EXPECT_THROW(bare.Price(1.1), Error);
  EXPECT_EQ(bare.Price(), 0);
  EXPECT_THROW(positions.Add(1.1, nullptr, 1, BuyType, 9, nullptr, 0, "", ""), Error);
  EXPECT_EQ(positions.Count(), 0);

  // An entry whose symbol has no reference entry prices but cannot convert.
  auto lonely_symbol = MakeSymbol(7, 1.5, 1.5001, 99);
  auto lonely = AddEntry(params, lonely_symbol, 1);
  params.SetParamsRefParams();
  auto p = Open(lonely, BuyType, 1, 1.4, 5);
  EXPECT_DOUBLE_EQ(p->ClosePrice(), 1.5);
  try {
    p->FloatingProfitLoss(ON_OPEN_TYPE);
    FAIL() << "expected a missing reference error";
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), ErrorCode::ObjectRequired);
  }
  lonely_symbol->Deallocate();
}

TEST_F(PositionTest, AddSetsTheRecordAndRefusesADuplicateTicket) {
  auto account = std::make_shared<CAccount>();
  auto first = positions.Add(1.1, eurusd_entry, 1, BuyType, -7, account, 2.5, "t", "n");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Account(), account);
  EXPECT_EQ(first->Interest(), 2.5);
  EXPECT_EQ(positions.Add(1.2, eurusd_entry, 3, SellType, -7, account, 0, "", ""), nullptr);
  EXPECT_EQ(positions.Count(), 1);
  EXPECT_EQ(positions.Item("-7"), first);
  EXPECT_DOUBLE_EQ(first->lots(), 1);
  // Remove only drops the member: it keeps its account.
  positions.Remove("-7");
  EXPECT_EQ(positions.Count(), 0);
  EXPECT_EQ(first->Account(), account);
}

TEST_F(PositionTest, ClearDropsWithoutDeallocatingAndDeallocateReleases) {
  auto account = std::make_shared<CAccount>();
  auto kept = positions.Add(1.1, eurusd_entry, 1, BuyType, 1, account, 0, "", "");
  positions.Clear();
  EXPECT_EQ(positions.Count(), 0);
  EXPECT_EQ(kept->Account(), account);
  EXPECT_EQ(positions.TotalFloatingProfitLoss(ON_CLOSE_TYPE), 0);

  auto released = positions.Add(1.1, eurusd_entry, 1, BuyType, 2, account, 0, "", "");
  positions.Deallocate();
  EXPECT_EQ(positions.Count(), 0);
  EXPECT_EQ(released->Account(), nullptr);
}

TEST_F(PositionTest, OrderPricesAreStoredInTheSymbolFormat) {
  COrders orders;
  auto account = std::make_shared<CAccount>();
  const DateTime hit = DateTime::FromParts(2026, 3, 2, 10, 15, 0);
  auto o = orders.Add(11, 1.123456, -1, 1.2000049, eurusd_entry, 0.5, 77, SellType,
                      SlTpType, 501, 1.1, hit, "02/03/2026", "note", account);
  ASSERT_NE(o, nullptr);
  EXPECT_DOUBLE_EQ(o->tpPrice(), 1.1235);
  EXPECT_DOUBLE_EQ(o->slPrice(), -1);
  EXPECT_DOUBLE_EQ(o->LimitPrice(), 1.2000);
  EXPECT_EQ(o->status(), 11);
  EXPECT_EQ(o->IoID(), 77);
  EXPECT_EQ(o->operationType(), SellType);
  EXPECT_EQ(o->OrderType(), SlTpType);
  EXPECT_EQ(o->hitTime(), hit);
  EXPECT_EQ(o->Account(), account);
  EXPECT_EQ(orders.Add(0, 0, 0, 0, eurusd_entry, 1, 0, BuyType, LimitOrdersType, 501,
                       0, DateTime(), "", "", account),
            nullptr);
  EXPECT_EQ(orders.Count(), 1);
  EXPECT_EQ(orders.Item("501"), o);

  COrder bare;
  EXPECT_THROW(bare.LimitPrice(1.1), Error);
  EXPECT_EQ(bare.LimitPrice(), 0);
}

}  // namespace
}  // namespace orvane
