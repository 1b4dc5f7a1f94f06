// The account engine's price flow: figures, order and alert hits,
// liquidation and the results that come back; a random walk over the
// records, and the replay of the re-entrancy fuzz corpus.

#include "engine_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "orvane/accounts/accounts.h"
#include "orvane/clients/client_param.h"
#include "support/engine_reentrancy.h"

namespace orvane::engine_test {
namespace {

class PriceFlowTest : public EngineTest {
 protected:
  // Client 10 (margin level 50 %, commission on close) with account 100:
  // 10,000 deposited, 1,000 margin, one EURUSD buy of 1 lot at 1.2000 and one
  // EURGBP sell of 1 lot at 0.9000.
  PriceFlowTest() {
    Client(10);
    account = Account(10, 100, 10000, -1000);
    Position(10, 100, 1, 2, 1, 1.2000, BuyType);
    Position(10, 100, 2, 4, 1, 0.9000, SellType);
    events.lines.clear();
  }
  std::shared_ptr<CAccount> account;
};

TEST_F(PriceFlowTest, FiguresToTheCentWithCommissionAndReferenceConversion) {
  Quote(4, 0.8990, 0.8991);
  // EURUSD buy closes at the bid 1.2000: -5 commission. EURGBP sell closes at
  // the client's ask 0.8990 + 3 pips, converted at the GBPUSD client ask
  // 1.3002: (0.8993 - 0.9) * 1.3002 * -1 * 100000 = 91.014 -> 91.01.
  EXPECT_EQ(events.lines, Lines({"UpdateListView 10 100 bal 10000 flt 86.01 cr 0 eq 10086.01 "
                                 "mreq -1000 ml 10.08601 eff 9000 open 2"}));
}

TEST_F(PriceFlowTest, TheClientSideOnlyKeepsFiguresCurrent) {
  engine->ExecutionSide(CLIENT_SIDE_EXECUTION);
  Order(10, 100, 7, LimitOrdersType, BuyType, 0, 2, 1.5, 0, 0);
  engine->AddNewAlert(10, 1, 2, BID_LESS, 1.5, 2, true);
  engine->Clients()->Item(KeyOf(10))->LiquidationPoint(1e9);
  Quote(2, 1.1000, 1.1001);
  ASSERT_EQ(events.lines.size(), 1u);
  EXPECT_EQ(events.lines[0].rfind("UpdateListView", 0), 0u);
}

TEST_F(PriceFlowTest, EntryOrdersHitAtTheirBoundaryWithTheClientsPrices) {
  // The client's ask is the bid + 2 pips.
  Order(10, 100, 11, LimitOrdersType, BuyType, 0, 2, 1.2000, 0, 0);
  Order(10, 100, 12, LimitOrdersType, BuyStopType, 0, 2, 1.2100, 0, 0);
  Order(10, 100, 13, LimitOrdersType, SellType, 0, 2, 1.2200, 0, 0);
  Order(10, 100, 14, LimitOrdersType, SellStopType, 0, 2, 1.1900, 0, 0);
  Quote(2, 1.1999, 1.2000);  // ask with spread 1.2001: the buy limit at 1.2000 waits
  EXPECT_TRUE(events.Only("RaiseHitOrder").empty());
  Quote(2, 1.1998, 1.1999, "03/03/2027 12:00:07");  // ask 1.2000
  EXPECT_EQ(events.Only("RaiseHitOrder"),
            Lines({"RaiseHitOrder 2 order 11 account 100 second 0 sltp 1 at 1.2"}));
  auto order = account->Orders()->Item(KeyOf(11));
  EXPECT_EQ(order->hitTime(), DateTime::FromParts(2027, 3, 3, 12, 0, 7));
  EXPECT_EQ(order->status(), 0);  // the engine leaves the status to the host

  QuoteAfresh(2, 1.2098, 1.2099);  // ask 1.2100: buy stop; the buy limit no longer
  Quote(2, 1.2200, 1.2201);  // bid 1.2200: sell limit, buy stop again
  Quote(2, 1.1901, 1.1902);  // bid 1.1901: the sell stop at 1.1900 waits; buy limit hits
  Quote(2, 1.1900, 1.1901);
  EXPECT_EQ(events.Only("RaiseHitOrder"),
            Lines({"RaiseHitOrder 2 order 12 account 100 second 0 sltp 1 at 1.21",
                   "RaiseHitOrder 2 order 12 account 100 second 0 sltp 1 at 1.2202",
                   "RaiseHitOrder 2 order 13 account 100 second 0 sltp 1 at 1.22",
                   "RaiseHitOrder 2 order 11 account 100 second 0 sltp 1 at 1.1903",
                   "RaiseHitOrder 2 order 11 account 100 second 0 sltp 1 at 1.1902",
                   "RaiseHitOrder 2 order 14 account 100 second 0 sltp 1 at 1.19"}));
}

TEST_F(PriceFlowTest, StopLossWinsOverTakeProfitAndDoneMarksLaterHitsAsSecond) {
  // Closing the EURUSD buy: sell orders compared with the bid.
  Order(10, 100, 21, SlTpType, SellType, 1, 2, 0, 1.1900, 1.1800);
  Order(10, 100, 22, SlTpType, SellType, 1, 2, 0, 0, 1.1000);
  Order(10, 100, 23, SlTpType, BuyType, 9, 2, 0, 1.1950, 0);
  events.answer = [](const COrder& order) { return order.OrderId() == 21; };
  QuoteAfresh(2, 1.1850, 1.1851);
  // 21: both levels satisfied, only the stop-loss; the host answers Done.
  // 22: take-profit only (no stop-loss level), announced as second.
  // 23: a buy closes at the ask with spread 1.1852, which is below 1.1950:
  // no stop-loss hit.
  EXPECT_EQ(events.Only("RaiseHitOrder"),
            Lines({"RaiseHitOrder 3 order 21 account 100 second 0 sltp 1 at 1.185",
                   "RaiseHitOrder 3 order 22 account 100 second 1 sltp 2 at 1.185"}));

  events.answer = [](const COrder&) { return false; };
  QuoteAfresh(2, 1.1840, 1.1841);
  EXPECT_EQ(events.Only("RaiseHitOrder"),
            Lines({"RaiseHitOrder 3 order 21 account 100 second 0 sltp 1 at 1.184",
                   "RaiseHitOrder 3 order 22 account 100 second 0 sltp 2 at 1.184"}));

  // Orders the host marked as executing are not tested again; a rejection
  // re-arms them.
  account->Orders()->Item(KeyOf(21))->status(1);
  account->Orders()->Item(KeyOf(22))->status(11);
  QuoteAfresh(2, 1.1830, 1.1831);
  EXPECT_TRUE(events.Only("RaiseHitOrder").empty());
  engine->OrderRejected(SLOrderType, 10, 100, 21, 0);
  Quote(2, 1.1830, 1.1831);
  EXPECT_EQ(events.Only("RaiseHitOrder").size(), 1u);
  engine->OrderStatusChanged(10, 100, 21);
  EXPECT_EQ(account->Orders()->Item(KeyOf(21)), nullptr);
}

TEST_F(PriceFlowTest, AHostThatExecutesInsideTheHitEventIsSafe) {
  Order(10, 100, 31, SlTpType, SellType, 1, 2, 0, 1.19, 0);
  Order(10, 100, 32, SlTpType, SellType, 1, 2, 0, 1.18, 0);
  events.answer = [&](const COrder& order) {
    engine->DeleteOpenPosition(10, 100, order.IoID());  // takes 31 and 32 along
    return true;
  };
  Quote(2, 1.1700, 1.1701);
  EXPECT_EQ(events.Only("RaiseHitOrder").size(), 1u);
  EXPECT_EQ(account->OpenPositions()->Count(), 1);
  EXPECT_EQ(account->Orders()->Count(), 0);
}

TEST_F(PriceFlowTest, AHandlerMayQuoteAgainInsideAHit) {
  Client(20);
  Account(20, 200, 1000);
  Position(20, 200, 5, 4, 1, 0.9000, BuyType);
  Order(10, 100, 41, LimitOrdersType, BuyType, 0, 2, 1.3, 0, 0);
  events.answer = [&](const COrder&) {
    Quote(4, 0.9000, 0.9001);  // a nested walk of another symbol's holders
    return false;
  };
  QuoteAfresh(2, 1.2000, 1.2001);
  // The hit, then account 100 and 200 from EURGBP's quote, then the outer
  // walk's own holder.
  Lines heads;
  for (const auto& line : events.lines) heads.push_back(line.substr(0, 21));
  EXPECT_EQ(heads, Lines({"RaiseHitOrder 2 order", "UpdateListView 10 100",
                          "UpdateListView 20 200", "UpdateListView 10 100"}));
}

// A host that acknowledges a hit and then works the engine again inside the
// event keeps its answer for the rest of the pass.
TEST_F(PriceFlowTest, DoneSurvivesNestedHitsInsideTheHandler) {
  Order(10, 100, 41, LimitOrdersType, BuyType, 0, 2, 1.3, 0, 0);
  Order(10, 100, 42, LimitOrdersType, BuyType, 0, 2, 1.3, 0, 0);
  Order(10, 100, 43, LimitOrdersType, BuyType, 0, 3, 1.4, 0, 0);
  struct AcknowledgeFirst : CAccountsTransactionsEvents {
    std::function<void()> nested;
    void RaiseHitOrder(OrdersTypeEnum&, std::shared_ptr<COrder>& order,
                       std::shared_ptr<CAccount>&, bool&, bool& done, int16_t&) override {
      if (order->OrderId() != 41) return;
      done = true;
      nested();
    }
  } host;
  host.nested = [&] { Quote(3, 1.3000, 1.3001); };
  engine->Advise(&host);
  Quote(2, 1.2000, 1.2001);
  engine->Unadvise(&host);
  EXPECT_EQ(events.Only("RaiseHitOrder"),
            Lines({"RaiseHitOrder 2 order 41 account 100 second 0 sltp 1 at 1.2002",
                   "RaiseHitOrder 2 order 43 account 100 second 0 sltp 1 at 1.3002",
                   "RaiseHitOrder 2 order 42 account 100 second 1 sltp 1 at 1.2002"}));
}

// Every account listed with orders on the symbol is checked once a quote,
// in list order, and released from its liquidation lock, whether or not it
// had a hit; a hit's handler changes what later accounts hold, not what
// earlier ones were checked with.
TEST_F(PriceFlowTest, OrderChecksWalkEveryListedAccountOnceAcrossAHit) {
  for (const int32_t client : {20, 30, 40}) {
    Client(client);
    Account(client, client * 10, 1000);
  }
  Order(10, 100, 51, LimitOrdersType, BuyType, 0, 2, 1.0000, 0, 0);  // waits
  Order(20, 200, 52, LimitOrdersType, BuyType, 0, 2, 1.3000, 0, 0);  // hit
  Order(30, 300, 53, LimitOrdersType, BuyType, 0, 2, 1.0000, 0, 0);  // waits
  Order(40, 400, 54, LimitOrdersType, BuyType, 0, 2, 1.3000, 0, 0);  // hit
  for (const int32_t a : {100, 200, 300, 400}) engine->Account(a / 10, a)->LockLiquidate(true);
  events.answer = [&](const COrder& order) {
    if (order.OrderId() == 52) {
      // Too late for account 100, in time for account 300.
      Order(10, 100, 61, LimitOrdersType, BuyType, 0, 2, 1.3000, 0, 0);
      Order(30, 300, 63, LimitOrdersType, BuyType, 0, 2, 1.3000, 0, 0);
      engine->DeleteOrder(40, 400, 54);
    }
    return false;
  };
  QuoteAfresh(2, 1.2000, 1.2001);
  EXPECT_EQ(events.Only("RaiseHitOrder"),
            Lines({"RaiseHitOrder 2 order 52 account 200 second 0 sltp 1 at 1.2002",
                   "RaiseHitOrder 2 order 63 account 300 second 0 sltp 1 at 1.2002"}));
  for (const int32_t a : {100, 200, 300, 400}) {
    EXPECT_FALSE(engine->Account(a / 10, a)->LockLiquidate()) << a;
  }
  events.answer = [](const COrder&) { return false; };
  QuoteAfresh(2, 1.2000, 1.2001);  // nothing hit in between: 61 and 63 now, 52 again
  EXPECT_EQ(events.Only("RaiseHitOrder").size(), 3u);
}

TEST_F(PriceFlowTest, AlertsCompareStrictlyAndFireWhileTheConditionHolds) {
  engine->AddNewAlert(10, 1, 2, BID_GREATER, 1.2500, 2, true);
  engine->AddNewAlert(10, 2, 2, ASK_LESS, 1.2504, 2, true);
  engine->AddNewAlert(10, 3, 3, BID_LESS, 2.0, 2, true);  // another symbol
  Quote(2, 1.2500, 1.2501);  // bid equal, client ask 1.2502 below 1.2504
  EXPECT_EQ(events.Only("RaiseHitAlert"), Lines({"RaiseHitAlert 2 client 10 at 1.2502"}));
  QuoteAfresh(2, 1.2502, 1.2503);  // ask 1.2504: equal does not hit
  EXPECT_EQ(events.Only("RaiseHitAlert"), Lines({"RaiseHitAlert 1 client 10 at 1.2502"}));
  auto alert = engine->Clients()->Item(KeyOf(10))->Alerts()->Item(KeyOf(1));
  EXPECT_EQ(alert->hitTime(), DateTime::FromParts(2027, 3, 3, 12, 0, 5));
}

TEST_F(PriceFlowTest, AWeekendClosureStopsOrdersAndLiquidationButNotAlertsOrFigures) {
  Order(10, 100, 11, LimitOrdersType, BuyType, 0, 2, 1.3000, 0, 0);
  engine->AddNewAlert(10, 1, 2, BID_LESS, 1.3000, 2, true);
  account->SummeryInfo()->MarginRequirement(-100000);  // far below the 50 % point
  clock->Set(Saturday());
  QuoteAfresh(2, 1.2000, 1.2001);
  EXPECT_EQ(events.Only("RaiseHitOrder").size(), 0u);
  EXPECT_EQ(events.Only("RaiseHitAlert").size(), 1u);
  EXPECT_EQ(events.Only("UpdateListView").size(), 1u);
  EXPECT_EQ(events.Only("SendLiq").size(), 0u);

  clock->Set(DateTime::FromParts(2027, 3, 7, 22, 0, 0));  // Sunday's open
  QuoteAfresh(2, 1.2000, 1.2001);
  EXPECT_EQ(events.Only("RaiseHitOrder").size(), 1u);
  EXPECT_EQ(events.Only("SendLiquidateAccount").size(), 1u);
}

class LiquidationTest : public PriceFlowTest {
 protected:
  // At EURUSD 1.2000 and EURGBP 0.9000 quoted flat the floating result is
  // -5 (commission) + (0.9003 - 0.9) * 1.3002 * -1 * 100000 = -44.006.
  void MarginFor(double level_percent) {
    auto s = account->SummeryInfo();
    const double equity = 10000 - 44.01;
    s->MarginRequirement(-equity * 100 / level_percent);
  }
};

TEST_F(LiquidationTest, TheMarginLevelPointCountsWhenEqual) {
  MarginFor(50.01);
  Quote(2, 1.2000, 1.2001);
  EXPECT_TRUE(events.Only("SendLiq").empty());
  MarginFor(50.006);  // 50.01 in cents
  QuoteAfresh(2, 1.2000, 1.2001);
  EXPECT_TRUE(events.Only("SendLiq").empty());
  MarginFor(50.004);  // 50.00 in cents: at the point
  QuoteAfresh(2, 1.2000, 1.2001);
  EXPECT_EQ(events.Only("SendLiquidateAccount").size(), 1u);
  for (const auto& p : account->OpenPositions()->Items()) p->Liquidated(false);

  MarginFor(50);
  QuoteAfresh(2, 1.2000, 1.2001);
  EXPECT_EQ(events.lines,
            Lines({"UpdateListView 10 100 bal 10000 flt -44.01 cr 0 eq 9955.99 mreq -19911.98 "
                   "ml 0.5 eff -9911.98 open 2",
                   "SendLiqPosition 10 100 ticket 1 symbol 2 close 1.2 ref 1 lots 1 eff -9911.98",
                   "SendLiqPosition 10 100 ticket 2 symbol 4 close 0.9003 ref 1.3002 lots 1 eff "
                   "-9911.98",
                   "AddLogEntry 1 Account 100 reached the liquidation point Margin Level = 50 "
                   "(Balance = 10000 Credit = 0 Flt P/L = -44.01 Equity = 9955.99 M Req = "
                   "-19911.98 M Level = 50% Eff Margin = -9911.98)",
                   "SendLiquidateAccount 10 100"}));
  EXPECT_TRUE(account->OpenPositions()->Item(KeyOf(1))->Liquidated());
}

// With nobody listening the quote walk takes a shorter way through each
// holder; what it leaves in the accounts must be the same.
TEST_F(LiquidationTest, WithoutListenersTheFiguresAndLiquidationAreTheSame) {
  Client(20, MARGIN_LEVEL_LIQUIDATION, 50, ON_OPEN_TYPE);
  auto on_open = Account(20, 200, 1000, -100);
  Position(20, 200, 3, 2, 1, 1.2010, BuyType);
  engine->Unadvise(&events);
  Quote(2, 1.2000, 1.2001);
  // Commission on open: the position carries none.
  EXPECT_EQ(on_open->SummeryInfo()->FloatingProfitLoss(), -100);

  MarginFor(50.01);
  on_open->DontLiquidate(true);
  on_open->SummeryInfo()->MarginRequirement(-1e6);
  Quote(2, 1.2000, 1.2001);
  EXPECT_FALSE(account->OpenPositions()->Item(KeyOf(1))->Liquidated());
  EXPECT_FALSE(on_open->OpenPositions()->Item(KeyOf(3))->Liquidated());
  MarginFor(50);
  Quote(2, 1.2000, 1.2001);
  EXPECT_TRUE(account->OpenPositions()->Item(KeyOf(1))->Liquidated());
  EXPECT_TRUE(account->OpenPositions()->Item(KeyOf(2))->Liquidated());
  EXPECT_FALSE(on_open->OpenPositions()->Item(KeyOf(3))->Liquidated());

  // A listener on the figures alone is told once per quote.
  struct Counter : CSummariesEvents {
    int changes = 0;
    void DataChanged() override { ++changes; }
  } counter;
  on_open->SummeryInfo()->Advise(&counter);
  Quote(2, 1.2050, 1.2051);
  EXPECT_EQ(counter.changes, 1);
  EXPECT_EQ(on_open->SummeryInfo()->FloatingProfitLoss(), 400);
  on_open->SummeryInfo()->Unadvise(&counter);
  engine->Advise(&events);
}

// An account dropped from its client's collection behind the engine's back
// stays listed in the symbol's index until the index learns of it; a quote
// must pass over it without reading what is left of it.
TEST_F(PriceFlowTest, AQuoteSkipsAListedAccountThatIsGone) {
  Client(20);
  std::weak_ptr<CAccount> gone = Account(20, 200, 500);
  Position(20, 200, 3, 2, 1, 1.2010, BuyType);
  engine->Clients()->Item(KeyOf(20))->Accounts()->Remove(KeyOf(200));
  ASSERT_TRUE(gone.expired());
  const auto index = std::dynamic_pointer_cast<CCurAccount>(Symbol(2)->Ref1());
  ASSERT_EQ(index->AccountsHavePositions()->Count(), 2);
  engine->Unadvise(&events);
  Quote(2, 1.2050, 1.2051);
  EXPECT_EQ(account->SummeryInfo()->FloatingProfitLoss(), 455.99);
  engine->Advise(&events);
}

// After each holder's figures are reported, whether the symbol trades is
// asked again: a market that closes or opens inside the walk is seen by the
// holder just reported and every later one.
TEST_F(LiquidationTest, WhetherTheSymbolTradesIsAskedAgainForEachHolder) {
  Client(20);
  Account(20, 200, 1000, -1e6);
  Position(20, 200, 3, 2, 1, 1.2, BuyType);
  MarginFor(40);
  const auto times = Symbol(2)->SymbolTradingTimes();
  for (bool closed_at_quote : {false, true}) {
    times->Closed(closed_at_quote);
    events.then = [&](const std::string& line) {
      if (line.rfind("UpdateListView 10 100 ", 0) == 0) times->Closed(!closed_at_quote);
    };
    QuoteAfresh(2, 1.2000, 1.2001);
    const Lines both{"SendLiquidateAccount 10 100", "SendLiquidateAccount 20 200"};
    EXPECT_EQ(events.Only("SendLiquidateAccount"), closed_at_quote ? both : Lines());
  }
}

// A host may execute inside an event: what it removed before a walk reached
// it is not announced.
TEST_F(LiquidationTest, HandlersMayRemoveWhatAWalkHasNotReached) {
  engine->AddNewAlert(10, 1, 2, BID_LESS, 1.3, 2, true);
  engine->AddNewAlert(10, 2, 2, BID_LESS, 1.3, 2, true);
  events.then = [&](const std::string& line) {
    if (line.rfind("RaiseHitAlert 1 ", 0) == 0) engine->DeleteAlert(10, 2);
  };
  Quote(2, 1.2000, 1.2001);
  EXPECT_EQ(events.Only("RaiseHitAlert").size(), 1u);
  engine->DeleteAlert(10, 1);

  MarginFor(40);
  events.then = [&](const std::string& line) {
    if (line.rfind("SendLiqPosition 10 100 ticket 1 ", 0) == 0) engine->CloseAllPositions(10, 100);
  };
  QuoteAfresh(2, 1.2000, 1.2001);
  EXPECT_EQ(events.Only("SendLiqPosition").size(), 1u);
  EXPECT_EQ(events.Only("SendLiquidateAccount"), Lines({"SendLiquidateAccount 10 100"}));

  // Closing them all takes each position's lots as they are when it is reached.
  Position(10, 100, 5, 2, 1, 1.2, BuyType);
  Position(10, 100, 6, 2, 1, 1.2, BuyType);
  bool grown = false;
  events.then = [&](const std::string& line) {
    if (grown || line.rfind("UpdateListView", 0) != 0) return;
    grown = true;
    engine->UpdateOpenPosition(10, 100, 6, 3, 1.2, BuyType, 2, 0, "", "");
  };
  engine->CloseAllPositions(10, 100);
  EXPECT_EQ(account->OpenPositions()->Count(), 0);
}

TEST_F(LiquidationTest, ARejectedCloseIsSentAgainOnTheNextTickOnly) {
  MarginFor(40);
  Quote(2, 1.2000, 1.2001);
  EXPECT_EQ(events.Only("SendLiqPosition").size(), 2u);
  QuoteAfresh(2, 1.2000, 1.2001);  // both are out already
  EXPECT_TRUE(events.Only("SendLiq").empty());

  engine->CloseResultReceived(-50, 10, 100, 2);
  for (int32_t other : {-3, -6, -52}) engine->CloseResultReceived(other, 10, 100, 1);
  QuoteAfresh(2, 1.2000, 1.2001);
  EXPECT_EQ(events.Only("SendLiq"),
            Lines({"SendLiqPosition 10 100 ticket 2 symbol 4 close 0.9003 ref 1.3002 lots 1 "
                   "eff -14889.98",
                   "SendLiquidateAccount 10 100"}));

  engine->CloseResultReceived(-51, 10, 100, 1);
  engine->CloseResultReceived(-5, 10, 100, 2);
  QuoteAfresh(2, 1.2000, 1.2001);
  EXPECT_EQ(events.Only("SendLiqPosition").size(), 2u);
}

TEST_F(LiquidationTest, ClosedSymbolsAreLoggedAndSkipped) {
  MarginFor(40);
  Symbol(4)->SymbolTradingTimes()->Closed(true);
  Quote(2, 1.2000, 1.2001);
  EXPECT_EQ(events.Only("SendLiq").size(), 2u);
  EXPECT_EQ(events.Only("AddLogEntry 1 Ticket"),
            Lines({"AddLogEntry 1 Ticket 2 trading is closed"}));
  EXPECT_FALSE(account->OpenPositions()->Item(KeyOf(2))->Liquidated());

  Symbol(2)->SymbolTradingTimes()->Closed(true);  // nothing tradable left
  account->OpenPositions()->Item(KeyOf(1))->Liquidated(false);
  events.lines.clear();
  engine->UpdateAccountSummaries(10, 100, 0, account->SummeryInfo()->MarginRequirement(), 0,
                                 10000, 0, 0, false, 0);
  EXPECT_EQ(events.Only("AddLogEntry"), Lines({"AddLogEntry 1 Ticket 1 trading is closed",
                                               "AddLogEntry 1 Ticket 2 trading is closed"}));
  EXPECT_TRUE(events.Only("SendLiq").empty());
}

TEST_F(LiquidationTest, PendingExecutionsLocksAndExemptionsBlockIt) {
  MarginFor(40);
  Order(10, 100, 77, SlTpType, SellType, 1, 2, 0, 1.0, 0, 11);
  QuoteAfresh(4, 0.9000, 0.9001);
  EXPECT_EQ(events.Only("AddLogEntry"),
            Lines({"AddLogEntry 1 Liquidation point for account 100 but has pending order 77"}));
  engine->DeleteOrder(10, 100, 77);

  events.lines.clear();
  engine->UpdateAccountSummaries("10", "100", 0, account->SummeryInfo()->MarginRequirement(),
                                 0, 10000, 0, 0, /*LockLiquidation=*/true, 0);
  EXPECT_EQ(events.Only("AddLogEntry"),
            Lines({"AddLogEntry 1 Liquidation is locked for account 100"}));

  account->LockLiquidate(false);
  for (AccountTypeEnum type : {DemoAccountType, CoverageAccountType}) {
    account->AccountType(type);
    QuoteAfresh(4, 0.9000, 0.9001);
    EXPECT_TRUE(events.Only("SendLiq").empty());
  }
  account->AccountType(NormalAccountType);
  engine->UpdateAccount(10, 100, NormalAccountType, false, false, /*vLiquidated=*/true);
  QuoteAfresh(4, 0.9000, 0.9001);
  EXPECT_TRUE(events.Only("SendLiq").empty());
}

TEST_F(LiquidationTest, AClientWithoutALiquidationKindIsNeverLiquidated) {
  MarginFor(1);
  engine->Clients()->Item(KeyOf(10))->LiquidationType(static_cast<LiquidationTypeEnum>(0));
  engine->Clients()->Item(KeyOf(10))->LiquidationPoint(1e12);
  Quote(2, 1.2000, 1.2001);
  EXPECT_TRUE(events.Only("SendLiq").empty());
  EXPECT_TRUE(events.Only("AddLogEntry").empty());
}

TEST_F(PriceFlowTest, EquityLiquidationRoundsToCentsHalvesToEven) {
  Client(30, EQUITY_LIQUIDATION, 0);
  // A buy at a flat quote costs 5 commission: equity -0.004 rounds to -0.00
  // and 0.005 to 0.00, both at the point 0; 0.015 rounds to 0.02, clear.
  int32_t id = 300;
  for (double deposit : {4.996, 5.005, 5.015}) {
    ASSERT_NE(Account(30, id, deposit, -10), nullptr);
    Position(30, id, id, 2, 1, 1.2000, BuyType);
    ++id;
  }
  QuoteAfresh(2, 1.2000, 1.2001);
  EXPECT_EQ(events.Only("SendLiquidateAccount"),
            Lines({"SendLiquidateAccount 30 300", "SendLiquidateAccount 30 301"}));
  EXPECT_EQ(events.Only("AddLogEntry 1 Account 300 ")[0],
            "AddLogEntry 1 Account 300 reached the liquidation point Equity = 0 (Balance = 4.996 "
            "Credit = 0 Flt P/L = -5 Equity = -0.00399999999999956 M Req = -10 M Level = "
            "-0.0399999999999956% Eff Margin = -5)");
}

// The engine's price walk reads a copy of the records it keeps itself. After
// any mix of changes to the records, the client parameters and the symbols,
// a quote of one symbol must leave each of its holders' figures equal to a
// recomputation from the public objects, whatever changed in their other
// symbols and reference symbols, and the listener must have been told those
// figures, and nothing of the accounts that do not hold the symbol.
std::string PositionRow(int32_t client, int32_t account, int32_t ticket, bool buy, double lots,
                        int32_t symbol, double price) {
  const std::string sep = "R,@";
  return KeyOf(client) + sep + KeyOf(account) + sep + KeyOf(ticket) + sep + "03/03/2027 09:00:00" +
         sep + (buy ? "Buy" : "Sell") + sep + NumberText(lots) + sep + KeyOf(symbol) + sep +
         NumberText(price) + sep + sep + sep + "0" + sep + "2" + sep + "S" + sep + "1.5" + sep +
         sep + "note";
}

class EngineLayoutTest : public EngineTest {
 protected:
  // Symbol 5 is its own reference (its entry is its own parent), converted
  // at the reciprocal of its price; symbol 2 and 3 convert through symbol 1
  // (the account's currency), 4 through 3.
  EngineLayoutTest() { AddSymbol(5, "USDCHF", -4, 100000, 5, 0, 0.9000, 0.9001); }
  void LayoutClient(int32_t id) {
    const std::string params = std::string(kParams) + ",5,2,0,0,0,3,100,0.01,0";
    auto client = engine->AddNewClient(id, params, Null, CLIENT_TYPE, false,
                                       MARGIN_LEVEL_LIQUIDATION, 50, "C" + KeyOf(id), "", "", "",
                                       "u" + KeyOf(id), 2, ON_CLOSE_TYPE);
    ASSERT_NE(client, nullptr);
    client->ParamsLoaded(true);
    const auto entry = client->SymbolParam(5);
    ASSERT_TRUE(entry && entry->Parent() == entry);
  }

  void RandomChanges(std::mt19937& rng, int steps) {
    CAccountsTransactions& engine = *this->engine;
    auto pick = [&](int n) { return static_cast<int32_t>(rng() % static_cast<unsigned>(n)); };
    for (int step = 0; step < steps; ++step) {
      const int32_t client = 10 + pick(3);
      const int32_t account = client * 10 + pick(2);
      const int32_t ticket = 1 + pick(12);
      const int32_t symbol = 2 + pick(4);
      const double price = 1.1 + 0.01 * pick(30);
      const double lots = 1 + pick(3);
      const int32_t kind = pick(10);
      switch (kind) {
        case 0:
        case 1:
          engine.AddNewOpenPosition(client, account, ticket, symbol, lots, price, pick(2) ? 1 : -1,
                                    pick(3), "", "", pick(2) == 0);
          break;
        case 2:
          if (auto a = engine.Account(client, account);
              a && a->OpenPositions()->Item(KeyOf(ticket))) {
            engine.UpdateOpenPosition(client, account, ticket, lots, price, pick(2) ? 1 : -1,
                                      symbol, pick(4), "", "");
          }
          break;
        case 3:
          engine.ClosePosition(client, account, ticket, pick(2) ? 1 : 5);
          break;
        case 4:
          engine.DefineOpenPosRow(
              client, account, ticket,
              pick(4) == 0 ? std::string()
                           : PositionRow(client, account, ticket, pick(2), lots, symbol, price));
          break;
        case 5:
          engine.ClientParametersChanged(
              client,
              KeyOf(symbol) + "," + KeyOf(1 + pick(4)) + ",0,0,0," + KeyOf(pick(9)) + ",100,0.01,0",
              2);
          engine.GeneralClientParametersChanged(client, 0, "117", 1 + pick(2));
          break;
        case 6:
          if (pick(8) == 0) {
            engine.Unload();
            for (int32_t c = 10; c < 13; ++c) {
              LayoutClient(c);
              for (int32_t a = 0; a < 2; ++a)
                engine.AddNewAccount(c, c * 10 + a, 1, 0, 0, -400, 0, 1000, 0, 0, 0, 0, false,
                                     false, true);
            }
          } else if (pick(3) == 0) {
            engine.DeleteAccount(client, account);
            engine.AddNewAccount(client, account, 1, 0, 0, -400, 0, 1000, 0, 0, 0, 0, false, false,
                                 true);
          }
          break;
        case 7:
          Symbol(symbol)->Factor(pick(2) ? 100000 : 50000);
          Symbol(symbol)->PriceOffset(static_cast<int16_t>(pick(5) - 2));
          break;
        default:
          Quote(symbol, price, price + 0.0002);
          break;
      }
    }
  }

  // Whether the symbol's index lists this account as a holder. After Unload
  // the indexes keep the old accounts' entries, which hide new accounts of
  // the same number.
  bool Listed(const CAccount& account, int32_t symbol) {
    const auto ref = Index(symbol)->AccountsHavePositions()->Item(account.IndexKey());
    return ref && ref->Account().get() == &account;
  }

  void Run(bool listening) {
    if (!listening) engine->Unadvise(&events);
    std::mt19937 rng(listening ? 7 : 11);
    int checked = 0;
    for (int round = 0; round < 40; ++round) {
      RandomChanges(rng, 25);
      std::vector<int32_t> order{2, 3, 4, 5};
      std::shuffle(order.begin(), order.end(), rng);
      for (const int32_t quoted : order) {
        events.lines.clear();
        Quote(quoted, Symbol(quoted)->Bid(), Symbol(quoted)->Ask());
        for (const auto& client : engine->Clients()->Items()) {
          for (const auto& account : client->Accounts()->Items()) {
            const auto told = events.Only("UpdateListView " + KeyOf(client->ClientID()) + " " +
                                          KeyOf(account->AccountID()) + " ");
            if (!Listed(*account, quoted)) {
              ASSERT_TRUE(told.empty()) << told[0];  // only the symbol's holders are told
              continue;
            }
            ++checked;
            const auto& positions = *account->OpenPositions();
            double expected = 0;
            for (const auto& p : positions)
              expected += p->FloatingProfitLoss(client->CommCalcType());
            ASSERT_EQ(account->SummeryInfo()->FloatingProfitLoss(), expected)
                << "round " << round << " symbol " << quoted << " account " << account->AccountID();
            if (!listening) continue;
            ASSERT_EQ(told.size(), 1u);
            EXPECT_NE(told[0].find(" flt " + NumberText(expected) + " "), std::string::npos);
            EXPECT_TRUE(told[0].ends_with(" open " + KeyOf(positions.Count()))) << told[0];
          }
        }
      }
    }
    EXPECT_GT(checked, 50);
    if (!listening) engine->Advise(&events);
  }
};

TEST_F(EngineLayoutTest, FiguresFollowEveryRecordChangeWithAndWithoutListener) {
  for (int32_t c = 10; c < 13; ++c) {
    LayoutClient(c);
    for (int32_t a = 0; a < 2; ++a) Account(c, c * 10 + a, 1000, -400);
  }
  Run(false);
  Run(true);
}

// The committed inputs of the engine re-entrancy fuzz target, replayed so
// that a regression shows in the normal test run.
TEST(EngineReentrancyCorpus, EveryInputLeavesTheFiguresTrue) {
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(ORVANE_ENGINE_CORPUS)) {
    std::ifstream file(entry.path(), std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file),
                                     std::istreambuf_iterator<char>()};
    EXPECT_EQ(orvane::reentrancy::RunEngineSequence(bytes.data(), bytes.size()), "")
        << entry.path().filename();
    ++inputs;
  }
  EXPECT_GT(inputs, 0);
}

}  // namespace
}  // namespace orvane::engine_test
