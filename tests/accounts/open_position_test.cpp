#include "orvane/accounts/open_position.h"

#include <gtest/gtest.h>

#include <vector>

#include "book_fixture.h"
#include "orvane/clients/client_param_entry.h"
#include "support/errors.h"

namespace orvane {
namespace {

using test::Throws;

using testing_book::kEurGbp;
using testing_book::kEurUsd;

// Positions and orders on Ann's entries of the book: EURUSD (spread 2,
// commission 7.5, profit in USD) and EURGBP (spread 3, profit in GBP,
// converted through GBPUSD).
class PositionTest : public ::testing::Test, public testing_book::Book {
 protected:
  std::shared_ptr<COpenPosition> Open(const std::shared_ptr<CClientParam>& entry,
                                      OperationTypeEnum type, double lots, double price,
                                      int32_t ticket, double interest = 0) {
    return positions.Add(price, entry, lots, type, ticket, nullptr, interest, "", "");
  }

  std::shared_ptr<CClientParam> eurusd_entry = ann->SymbolParam(kEurUsd);
  std::shared_ptr<CClientParam> eurgbp_entry = ann->SymbolParam(kEurGbp);
  COpenPositions positions;
};

// A buy of the cross converts at the client's GBPUSD bid, a sell at the
// client's ask (bid + 2 pips); the book's figures pin the closing prices.
TEST_F(PositionTest, CrossConvertsAtTheClientsReferencePriceForTheSide) {
  EXPECT_DOUBLE_EQ(Open(eurgbp_entry, SellType, 1, 0.8530, 3)->RefClosePrice(), 1.2502);
  EXPECT_DOUBLE_EQ(Open(eurgbp_entry, BuyType, 1, 0.8530, 4)->RefClosePrice(), 1.2500);
}

// An entry that only answers through the interface's counted getters, as an
// entry kind that lends no raw references would.
class CountedOnlyEntry : public CClientParam {
 public:
  explicit CountedOnlyEntry(std::shared_ptr<CClientParam> inner) : m_inner(std::move(inner)) {}
  double CommissionValue(double lots) const override { return m_inner->CommissionValue(lots); }
  double ClosePriceWithSpread(OperationTypeEnum side) const override {
    return m_inner->ClosePriceWithSpread(side);
  }
  std::shared_ptr<CSymbol> Symbol() const override { return m_inner->Symbol(); }
  std::shared_ptr<CClientParam> Parent() const override { return m_inner->Parent(); }

 private:
  std::shared_ptr<CClientParam> m_inner;
};

TEST_F(PositionTest, EntryLendingNoRawReferencesPricesTheSame) {
  auto lent = Open(eurgbp_entry, SellType, 2, 0.8530, 1, 1.25);
  auto counted = Open(std::make_shared<CountedOnlyEntry>(eurgbp_entry), SellType, 2, 0.8530, 2,
                      1.25);
  ASSERT_NE(lent->FloatingProfitLoss(ON_CLOSE_TYPE), 0);
  EXPECT_EQ(counted->FloatingProfitLoss(ON_CLOSE_TYPE), lent->FloatingProfitLoss(ON_CLOSE_TYPE));
  EXPECT_EQ(counted->FloatingProfitLoss(ON_OPEN_TYPE), lent->FloatingProfitLoss(ON_OPEN_TYPE));
  EXPECT_DOUBLE_EQ(counted->RefClosePrice(), 1.2502);
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

TEST_F(PositionTest, CommissionAndInterestEnterOnlyWhenBookedOnClose) {
  // Closing at the open price: 0 - 7.5 + 0.015 = -7.485, a half cent that
  // goes to the even cent (halves away from zero would give -7.49).
  auto flat = Open(eurusd_entry, BuyType, 1, 1.1000, 1, 0.015);
  EXPECT_EQ(flat->FloatingProfitLoss(ON_CLOSE_TYPE), -7.48);
  EXPECT_EQ(flat->FloatingProfitLoss(ON_OPEN_TYPE), 0);
  // With a profit on 2 lots: 1000 - 15 - 3.2; the commission reads as a cost.
  auto buy = Open(eurusd_entry, BuyType, 2, 1.0950, 2, -3.2);
  EXPECT_DOUBLE_EQ(buy->Commission(), -15);
  EXPECT_EQ(buy->FloatingProfitLoss(ON_CLOSE_TYPE), 981.80);
}

TEST_F(PositionTest, AddInterestUsesTheRateAsGivenAndRoundsToCents) {
  auto buy = Open(eurusd_entry, BuyType, 1, 1.1, 1, 5);
  EXPECT_DOUBLE_EQ(buy->AddInterest(1, 3.65, -1.2, 365), 1000);
  EXPECT_DOUBLE_EQ(buy->AddInterest(3, 3.65, -1.2, 365), 3000);  // a triple day
  EXPECT_DOUBLE_EQ(buy->Interest(), 4005);
  EXPECT_THROW(buy->AddInterest(1, 1, 1, 0), Error);
  auto sell = Open(eurusd_entry, SellType, 1, 1.1, 2);
  EXPECT_DOUBLE_EQ(sell->AddInterest(1, 3.65, -1.2, 365), -328.77);
  // 0.00045625 x 100000 / 365 is 0.125: a half cent goes to the even cent;
  // -0.375 goes to -0.38.
  EXPECT_DOUBLE_EQ(buy->AddInterest(1, 0.00045625, 0, 365), 0.12);
  EXPECT_DOUBLE_EQ(sell->AddInterest(1, 0, -0.00136875, 365), -0.38);
}

TEST_F(PositionTest, MissingReferencesAreReportedNotDereferenced) {
  COpenPosition bare;
  EXPECT_THROW(bare.ClosePrice(), Error);
  EXPECT_THROW(bare.Price(1.1), Error);
  EXPECT_EQ(bare.Price(), 0);
  EXPECT_THROW(positions.Add(1.1, nullptr, 1, BuyType, 9, nullptr, 0, "", ""), Error);
  EXPECT_EQ(positions.Count(), 0);

  // An entry whose symbol has no reference entry prices but cannot convert.
  auto lonely_symbol = std::make_shared<CSymbol>();
  lonely_symbol->ID(7);
  lonely_symbol->RefID(99);
  lonely_symbol->PipLocation(-4);
  lonely_symbol->Bid(1.5);
  auto lonely = ann->AddParam(1, 0, 0, 0, 0, 0, 0, 0, lonely_symbol, false, false, 1);
  ann->Params()->SetParamsRefParams();
  auto p = Open(lonely, BuyType, 1, 1.4, 5);
  EXPECT_DOUBLE_EQ(p->ClosePrice(), 1.5);
  EXPECT_TRUE(Throws(ErrorCode::ObjectRequired, [&] { p->FloatingProfitLoss(ON_OPEN_TYPE); }));
  lonely_symbol->Deallocate();
}

TEST_F(PositionTest, CollectionRefusesADuplicateTicketAndOnlyDeallocateReleases) {
  auto account = std::make_shared<CAccount>();
  auto first = positions.Add(1.1, eurusd_entry, 1, BuyType, -7, account, 2.5, "t", "n");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(positions.Add(1.2, eurusd_entry, 3, SellType, -7, account, 0, "", ""), nullptr);
  EXPECT_EQ(positions.Item("-7"), first);
  EXPECT_DOUBLE_EQ(first->Interest(), 2.5);

  // Remove and Clear only drop members; Deallocate clears their account.
  positions.Remove("-7");
  auto cleared = positions.Add(1.1, eurusd_entry, 1, BuyType, 1, account, 0, "", "");
  positions.Clear();
  EXPECT_EQ(positions.TotalFloatingProfitLoss(ON_CLOSE_TYPE), 0);
  EXPECT_EQ(first->Account(), account);
  EXPECT_EQ(cleared->Account(), account);
  auto released = positions.Add(1.1, eurusd_entry, 1, BuyType, 2, account, 0, "", "");
  positions.Deallocate();
  EXPECT_EQ(positions.Count(), 0);
  EXPECT_EQ(released->Account(), nullptr);
}

// The collection prices from its own side-by-side copy of the members'
// figures; every way a member's figure changes must reach the total.
TEST_F(PositionTest, TotalFollowsEveryChangeOfItsMembers) {
  const auto members_sum = [&](CommCalcTypeEnum calc) {
    double sum = 0;
    for (const auto& p : positions) sum += p->FloatingProfitLoss(calc);
    return sum;
  };
  auto buy = Open(eurusd_entry, BuyType, 1, 1.0950, 1);
  auto cross = Open(eurgbp_entry, SellType, 1, 0.8530, 2, 1.25);
  const double cross_alone = cross->FloatingProfitLoss(ON_OPEN_TYPE);
  EXPECT_DOUBLE_EQ(positions.TotalFloatingProfitLoss(ON_OPEN_TYPE), 500 + cross_alone);

  buy->lots(2);
  EXPECT_DOUBLE_EQ(positions.TotalFloatingProfitLoss(ON_OPEN_TYPE), 1000 + cross_alone);
  buy->Price(1.0900);
  EXPECT_DOUBLE_EQ(positions.TotalFloatingProfitLoss(ON_OPEN_TYPE), 2000 + cross_alone);
  // A sell closes at the client's ask, 1.1002.
  buy->Type_no(SellType);
  EXPECT_DOUBLE_EQ(positions.TotalFloatingProfitLoss(ON_OPEN_TYPE), -2040 + cross_alone);
  buy->Interest(10);
  EXPECT_DOUBLE_EQ(positions.TotalFloatingProfitLoss(ON_CLOSE_TYPE),
                   -2040 - 15 + 10 + cross->FloatingProfitLoss(ON_CLOSE_TYPE));
  buy->AddInterest(1, 0, 3.65, 365);
  EXPECT_DOUBLE_EQ(buy->Interest(), 2010);
  EXPECT_DOUBLE_EQ(positions.TotalFloatingProfitLoss(ON_CLOSE_TYPE), members_sum(ON_CLOSE_TYPE));
  buy->SymbolParam(eurgbp_entry);
  EXPECT_NE(buy->FloatingProfitLoss(ON_OPEN_TYPE), -2040);
  EXPECT_DOUBLE_EQ(positions.TotalFloatingProfitLoss(ON_OPEN_TYPE), members_sum(ON_OPEN_TYPE));
  // A side outside the usual range is priced by the position itself.
  buy->Type_no(static_cast<OperationTypeEnum>(70000));
  EXPECT_DOUBLE_EQ(positions.TotalFloatingProfitLoss(ON_CLOSE_TYPE), members_sum(ON_CLOSE_TYPE));
  EXPECT_LT(positions.TotalFloatingProfitLoss(ON_CLOSE_TYPE), -1e6);
  buy->Type_no(SellType);

  // A member that has left no longer counts, whatever happens to it later;
  // the one that stays is priced with its own figures.
  buy->SymbolParam(eurusd_entry);
  positions.Remove("1");
  buy->lots(50);
  EXPECT_DOUBLE_EQ(positions.TotalFloatingProfitLoss(ON_OPEN_TYPE), cross_alone);
  auto late = Open(eurusd_entry, BuyType, 1, 1.0950, 3);
  positions.Remove(1.0);  // by position: the cross
  cross->lots(9);
  EXPECT_DOUBLE_EQ(positions.TotalFloatingProfitLoss(ON_OPEN_TYPE), 500);
  late->lots(3);
  EXPECT_DOUBLE_EQ(positions.TotalFloatingProfitLoss(ON_OPEN_TYPE), 1500);

  // A refused duplicate adds no figures; members added after Clear start
  // afresh, and a cleared member no longer reaches the collection.
  EXPECT_EQ(Open(eurusd_entry, SellType, 7, 1.0, 3), nullptr);
  EXPECT_DOUBLE_EQ(positions.TotalFloatingProfitLoss(ON_OPEN_TYPE), 1500);
  positions.Clear();
  late->lots(4);
  Open(eurusd_entry, BuyType, 1, 1.0950, 4);
  EXPECT_DOUBLE_EQ(positions.TotalFloatingProfitLoss(ON_OPEN_TYPE), 500);

  // A collection that ends before its members leaves them nothing to call.
  auto survivor = std::make_unique<COpenPositions>()->Add(1.0950, eurusd_entry, 1, BuyType, 5,
                                                          nullptr, 0, "", "");
  survivor->lots(2);
  EXPECT_DOUBLE_EQ(survivor->FloatingProfitLoss(ON_OPEN_TYPE), 1000);
}

// The collection also copies what the entries price with; every change of an
// entry reaches the total, as it reaches the positions themselves.
TEST_F(PositionTest, TotalFollowsTheEntriesItPricesWith) {
  auto buy = Open(eurusd_entry, BuyType, 1, 1.0950, 1);
  auto cross = Open(eurgbp_entry, SellType, 2, 0.8530, 2);
  auto counted = Open(std::make_shared<CountedOnlyEntry>(eurgbp_entry), SellType, 2, 0.8530, 3);
  const auto cross_part = [&] { return 2 * cross->FloatingProfitLoss(ON_CLOSE_TYPE); };
  EXPECT_DOUBLE_EQ(positions.TotalFloatingProfitLoss(ON_CLOSE_TYPE), 492.5 + cross_part());

  eurusd_entry->Commission(10);
  EXPECT_DOUBLE_EQ(positions.TotalFloatingProfitLoss(ON_CLOSE_TYPE), 490 + cross_part());
  eurusd_entry->PriceOffset(5);  // the client's bid 1.1005
  EXPECT_DOUBLE_EQ(positions.TotalFloatingProfitLoss(ON_CLOSE_TYPE), 540 + cross_part());
  // The source spread widened by a source plus: laid on the bid, the whole
  // plus goes to the ask (the source ask 1.1001 + 20 + 5 pips).
  eurusd_entry->Spread(Null);
  eurusd_entry->SourcePlus(20);
  buy->Type_no(SellType);
  EXPECT_DOUBLE_EQ(buy->ClosePrice(), 1.1026);
  EXPECT_DOUBLE_EQ(positions.TotalFloatingProfitLoss(ON_CLOSE_TYPE), -770 + cross_part());
  buy->Type_no(BuyType);
  EXPECT_DOUBLE_EQ(positions.TotalFloatingProfitLoss(ON_CLOSE_TYPE), 540 + cross_part());
  eurusd_entry->PriceOffset(-5);
  EXPECT_DOUBLE_EQ(positions.TotalFloatingProfitLoss(ON_CLOSE_TYPE), 440 + cross_part());

  // The cross converts through its parent entry: a change there, or another
  // parent, moves both the copied and the counted entry's positions.
  const double before = cross_part();
  eurgbp_entry->Parent()->Spread(40);
  ASSERT_NE(cross_part(), before);
  EXPECT_DOUBLE_EQ(positions.TotalFloatingProfitLoss(ON_CLOSE_TYPE), 440 + cross_part());
  eurgbp_entry->Parent(ann->SymbolParam(kEurUsd));
  EXPECT_DOUBLE_EQ(positions.TotalFloatingProfitLoss(ON_CLOSE_TYPE), 440 + cross_part());
  eurgbp_entry->Symbol(eurusd_entry->Symbol());
  EXPECT_DOUBLE_EQ(positions.TotalFloatingProfitLoss(ON_CLOSE_TYPE), 440 + cross_part());

  // An entry released under a position is reported, not read.
  std::dynamic_pointer_cast<ClientParamEntry>(eurusd_entry)->Deallocate();
  EXPECT_TRUE(
      Throws(ErrorCode::ObjectRequired, [&] { positions.TotalFloatingProfitLoss(ON_OPEN_TYPE); }));
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
  const std::vector<Variant> fields{o->status(), o->IoID(), o->lots(), o->hitPrice(),
                                    o->hitTime()};
  EXPECT_EQ(fields, (std::vector<Variant>{11, 77, 0.5, 1.1, hit}));
  EXPECT_EQ(orders.Add(0, 0, 0, 0, eurusd_entry, 1, 0, BuyType, LimitOrdersType, 501,
                       0, DateTime(), "", "", account),
            nullptr);
  EXPECT_EQ(orders.Item("501"), o);

  COrder bare;
  EXPECT_THROW(bare.LimitPrice(1.1), Error);
  EXPECT_EQ(bare.LimitPrice(), 0);
}

}  // namespace
}  // namespace orvane
