#include "orvane/accounts/open_position.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

#include "engine_fixture.h"
#include "orvane/clients/client_param_entry.h"
#include "orvane/clients/client_params.h"
#include "support/errors.h"
#include "support/symbols.h"

namespace orvane::engine_test {
namespace {

using test::Throws;

// Positions and orders on client 10's entries of the engine's book: EURUSD
// (spread 2, commission 5, profit in USD) and EURGBP (spread 3, profit in
// GBP, converted through GBPUSD), in a collection of their own.
class PositionTest : public EngineTest {
 protected:
  std::shared_ptr<COpenPosition> Open(const std::shared_ptr<CClientParam>& entry,
                                      OperationTypeEnum type, double lots, double price,
                                      int32_t ticket, double interest = 0) {
    return positions.Add(price, entry, lots, type, ticket, nullptr, interest, "", "");
  }

  std::shared_ptr<CClient> client = Client(10);
  std::shared_ptr<CClientParam> eurusd_entry = client->SymbolParam(kEurUsd);
  std::shared_ptr<CClientParam> eurgbp_entry = client->SymbolParam(kEurGbp);
  COpenPositions positions;
};

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
  auto lent = Open(eurgbp_entry, SellType, 2, 0.9030, 1, 1.25);
  auto counted = Open(std::make_shared<CountedOnlyEntry>(eurgbp_entry), SellType, 2, 0.9030, 2,
                      1.25);
  ASSERT_NE(lent->FloatingProfitLoss(ON_CLOSE_TYPE), 0);
  EXPECT_EQ(counted->FloatingProfitLoss(ON_CLOSE_TYPE), lent->FloatingProfitLoss(ON_CLOSE_TYPE));
  EXPECT_EQ(counted->FloatingProfitLoss(ON_OPEN_TYPE), lent->FloatingProfitLoss(ON_OPEN_TYPE));
  EXPECT_DOUBLE_EQ(counted->RefClosePrice(), 1.3002);
}

// The symbol's rule: a tenth of a pip added, then half away from zero.
TEST_F(PositionTest, PriceIsStoredInTheSymbolFormat) {
  auto p = Open(eurusd_entry, BuyType, 1, 1.234567, 1);
  EXPECT_DOUBLE_EQ(p->Price(), 1.2346);
  p->Price(1.234442);
  EXPECT_DOUBLE_EQ(p->Price(), 1.2345);
}

// One row per position priced to the cent: EURUSD 1.2000 and the cross
// EURGBP, converted at the client's GBPUSD bid for a buy and the client's ask
// (bid + 2 pips) for a sell; a buy closes at the bid, a sell at the client's
// ask (bid + spread).
struct ProfitCase {
  const char* name;
  int32_t symbol;
  OperationTypeEnum side;
  double lots, price, interest;
  CommCalcTypeEnum calc;
  double eurgbp_bid, gbpusd_bid;
  double ref_close, floating;
};

TEST_F(PositionTest, ProfitMatrixToTheCent) {
  const ProfitCase cases[] = {
      // 0.0050 x 100000; no commission or interest when booked on open.
      {"buy at the bid", kEurUsd, BuyType, 1, 1.1950, 9, ON_OPEN_TYPE, 0.9, 1.3, 1, 500},
      // 1000 - 10 commission - 3.2 interest.
      {"buy on close", kEurUsd, BuyType, 2, 1.1950, -3.2, ON_CLOSE_TYPE, 0.9, 1.3, 1, 986.80},
      // 0 - 5 + 0.015 = -4.985: the half cent goes to the even cent.
      {"half cent to even", kEurUsd, BuyType, 1, 1.2000, 0.015, ON_CLOSE_TYPE, 0.9, 1.3, 1, -4.98},
      // Closes at the client ask 1.2002: 240 - 2.5 commission - 2.5 interest.
      {"sell at the ask", kEurUsd, SellType, 0.5, 1.2050, -2.5, ON_CLOSE_TYPE, 0.9, 1.3, 1, 235},
      // Closes at 0.9003: 0.0027 x 1.3002 x 2 x 100000 = 702.108.
      {"cross sell", kEurGbp, SellType, 2, 0.9030, 0, ON_OPEN_TYPE, 0.9, 1.3, 1.3002, 702.11},
      // -0.0030 x 1.3000 x 100000.
      {"cross buy", kEurGbp, BuyType, 1, 0.9030, 0, ON_OPEN_TYPE, 0.9, 1.3, 1.3, -390},
      // GBPUSD up 100 pips: 0.0027 x 1.3102 x 200000 = 707.508.
      {"reference moves", kEurGbp, SellType, 2, 0.9030, 0, ON_OPEN_TYPE, 0.9, 1.31, 1.3102,
       707.51},
      // EURGBP down to 0.8980, client ask 0.8983: 0.0047 x 1.3102 x 200000.
      {"both move", kEurGbp, SellType, 2, 0.9030, 0, ON_OPEN_TYPE, 0.898, 1.31, 1.3102, 1231.59},
  };
  int32_t ticket = 0;
  for (const ProfitCase& c : cases) {
    SCOPED_TRACE(c.name);
    Symbol(kEurGbp)->Bid(c.eurgbp_bid);
    Symbol(kGbpUsd)->Bid(c.gbpusd_bid);
    auto p = Open(client->SymbolParam(c.symbol), c.side, c.lots, c.price, ++ticket, c.interest);
    EXPECT_DOUBLE_EQ(p->RefClosePrice(), c.ref_close);
    EXPECT_EQ(p->FloatingProfitLoss(c.calc), c.floating);
  }
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
  auto lonely_symbol = test::MakeSymbol(7, 99, 1.5);
  auto lonely = client->AddParam(1, 0, 0, 0, 0, 0, 0, 0, lonely_symbol, false, false, 1);
  client->Params()->SetParamsRefParams();
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

// The collection prices from its own side-by-side copy of its members' and
// their entries' figures. After any mix of changes to the members (also those
// that have left), to the entries and to the collection, its total is what
// pricing each member on its own gives.
TEST_F(PositionTest, TotalEqualsTheMembersPricedAloneAfterRandomChanges) {
  std::mt19937 rng(5);
  const auto pick = [&](size_t n) { return static_cast<int>(rng() % n); };
  const auto members_sum = [&](CommCalcTypeEnum calc) {
    double sum = 0;
    for (const auto& p : positions) sum += p->FloatingProfitLoss(calc);
    return sum;
  };
  const std::shared_ptr<CClientParam> entries[] = {
      eurusd_entry, eurgbp_entry, std::make_shared<CountedOnlyEntry>(eurgbp_entry)};
  // A side outside the usual range is priced by the position itself.
  const OperationTypeEnum sides[] = {BuyType, SellType, static_cast<OperationTypeEnum>(70000)};
  const auto gbpusd_entry = eurgbp_entry->Parent();
  // A collection that ends before its members leaves them nothing to call.
  auto survivor = std::make_unique<COpenPositions>()->Add(1.1950, eurusd_entry, 1, BuyType, 5,
                                                          nullptr, 0, "", "");
  survivor->lots(2);
  EXPECT_DOUBLE_EQ(survivor->FloatingProfitLoss(ON_OPEN_TYPE), 1000);

  std::vector<std::shared_ptr<COpenPosition>> seen;  // members, present or gone
  for (int step = 0; step < 3000; ++step) {
    const auto& entry = entries[pick(3)];
    const auto member = seen.empty() ? nullptr : seen[pick(seen.size())];
    const int kind = pick(14);
    if (kind < 2) {
      const auto added = Open(entry, sides[pick(2)], 1 + pick(3), 0.85 + 0.01 * pick(30),
                              1 + pick(20), 0.5 * pick(4));
      if (added) seen.push_back(added);
    } else if (kind == 2 && member) {
      member->lots(1 + pick(5));
    } else if (kind == 3 && member) {
      member->Price(0.85 + 0.01 * pick(30));
    } else if (kind == 4 && member) {
      member->Type_no(sides[pick(3)]);
    } else if (kind == 5 && member) {
      member->Interest(pick(10));
      if (pick(2)) member->AddInterest(1, 0, 3.65, 365);
    } else if (kind == 6 && member) {
      member->SymbolParam(entry);
    } else if (kind >= 7 && kind <= 9) {
      // One figure of an entry at a time, so that each must be noticed alone.
      // No spread: the source spread widened by the source plus. The cross
      // converts through its parent entry.
      const std::function<void()> changes[] = {
          [&] { eurusd_entry->Commission(pick(10)); },
          [&] { eurusd_entry->PriceOffset(static_cast<int16_t>(pick(11) - 5)); },
          [&] { eurusd_entry->Spread(pick(2) ? Variant(Null) : Variant(pick(4))); },
          [&] { eurusd_entry->SourcePlus(static_cast<int16_t>(pick(20))); },
          [&] { gbpusd_entry->Spread(pick(40)); },
          [&] { eurgbp_entry->Parent(pick(2) ? gbpusd_entry : eurusd_entry); },
          [&] { eurgbp_entry->Symbol(Symbol(pick(4) ? kEurGbp : kEurUsd)); }};
      changes[pick(std::size(changes))]();
    } else if (kind == 10 && positions.Count() > 0) {
      if (pick(2)) {
        positions.Remove(static_cast<double>(1 + pick(positions.Count())));  // by position
      } else {
        positions.Remove(KeyOf(positions.Item(1)->Ticket()));
      }
    } else if (kind == 11 && pick(10) == 0) {
      positions.Clear();
    } else if (kind == 12) {
      // A quote of a member's symbol or of its reference symbol.
      Symbol(kEurUsd + pick(3))->Bid(0.85 + 0.01 * pick(40));
    } else if (kind == 13) {
      // Any other figure of such a symbol that prices read; ID 1 is the unit.
      const int32_t id = kEurUsd + pick(3);
      CSymbol& s = *Symbol(id);
      const auto n = static_cast<int16_t>(pick(3));
      const std::function<void()> changes[] = {
          [&] { s.Ask(0.86 + 0.01 * pick(40)); },
          [&] { s.PipLocation(-3 - n); },
          [&] { s.SpreadType(n ? FromBidSpread : FromAvgSpread); },
          [&] { s.SpreadOffset(n); },
          [&] { s.Factor(n ? 100000 : 1000); },
          [&] { s.PriceCase(1 + n % 2); },
          [&] { s.RefPriceCase(1 + n % 2); },
          [&] { s.ID(n ? id : 1); }};
      changes[pick(std::size(changes))]();
    }
    // One way of booking commission for a stretch of steps, so that the
    // figures kept between totals are used.
    const auto calc = (step / 300) % 2 ? ON_CLOSE_TYPE : ON_OPEN_TYPE;
    ASSERT_DOUBLE_EQ(positions.TotalFloatingProfitLoss(calc), members_sum(calc))
        << "step " << step << " kind " << kind;
  }
  EXPECT_GT(seen.size(), 100u);

  // An entry released under current figures is reported, not read.
  Open(eurusd_entry, BuyType, 1, 1.1950, 99);
  positions.TotalFloatingProfitLoss(ON_OPEN_TYPE);
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
}  // namespace orvane::engine_test
