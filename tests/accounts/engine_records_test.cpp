// The account engine's records: loading, the per-symbol index, positions,
// orders, alerts, parameters and interest; a book found through its
// clients, and nothing left alive after deallocation.

#include <vector>

#include "engine_fixture.h"
#include "orvane/accounts/accounts.h"
#include "orvane/clients/client_params.h"
#include "orvane/core/error.h"
#include "orvane/core/handler_check.h"

namespace orvane::engine_test {
namespace {

TEST_F(EngineTest, LoadingAnnouncesEachAccountOnceAndCountsOnlyLiveAdds) {
  Client(10);
  Account(10, 100, 1000, 0, /*loading=*/true);
  Account(10, 101, 2000, -500, /*loading=*/false);
  EXPECT_EQ(events.lines,
            Lines({"NewAccountSummeriesData 10 100 bal 1000 flt 0 cr 0 eq 1000 mreq 0 ml 1 eff "
                   "1000 open 0",
                   "ParametersChanged 2",
                   "NewAccountSummeriesData 10 101 bal 2000 flt 0 cr 0 eq 2000 mreq -500 ml 4 "
                   "eff 1500 open 0"}));
  EXPECT_EQ(engine->AccountsCount(), 2);
  EXPECT_EQ(engine->AccountByAccountID(101)->ClientID(), 10);
  EXPECT_EQ(engine->AccountByAccountID(999), nullptr);
}

TEST_F(EngineTest, AccountDefaultsAndRefusals) {
  Client(10);
  auto account = engine->AddNewAccount(10, Null, Null, Null, 0, 0, 0, 0, 0, 0, 0, 0, false,
                                       true, true);
  ASSERT_NE(account, nullptr);
  EXPECT_EQ(account->AccountID(), -1);
  EXPECT_EQ(account->AccountType(), NormalAccountType);
  EXPECT_FALSE(account->DemoAccount());
  EXPECT_TRUE(account->SummeryInfo()->MarginAccount());
  EXPECT_EQ(Account(99, 1, 0), nullptr);  // no such client
  EXPECT_EQ(Account(10, -1, 0), nullptr);  // the number is taken
  EXPECT_EQ(engine->AddNewAccount(10, 7, 1, 0, "x", 0, 0, 0, 0, 0, 0, 0, false, false, true),
            nullptr);  // a total that is no number is trapped
  EXPECT_EQ(Client(10), nullptr);  // the client exists: the failure is trapped
}

// Every total has a value of its own, so a total passed in another's place
// shows in the row.
TEST_F(EngineTest, AccountTotalsReachTheirOwnFigures) {
  Client(10);
  events.lines.clear();
  const auto totals = [](const CSummaries& s) {
    return std::vector<double>{s.TotalCommission(), s.MarginRequirement(), s.NetProfit(),
                               s.TotalDeposit(),    s.Credit(),            s.PreviousMargin(),
                               s.TotalInterest()};
  };
  auto account = engine->AddNewAccount(10, 100, 2, 1, -1, -20, 300, 4000, 50000, 600000, 1,
                                       7000000, true, true, true);
  ASSERT_NE(account, nullptr);
  EXPECT_EQ(totals(*account->SummeryInfo()),
            (std::vector<double>{-1, -20, 300, 4000, 50000, 600000, 7000000}));
  const std::vector<Variant> flags{account->AccountType(), account->DemoAccount(),
                                   account->DontLiquidate(), account->Locked(),
                                   account->SummeryInfo()->MarginAccount()};
  EXPECT_EQ(flags, (std::vector<Variant>{CoverageAccountType, true, true, true, true}));
  EXPECT_EQ(events.lines,
            Lines({"NewAccountSummeriesData 10 100 bal 7604299 flt 0 cr 50000 eq 7654299 "
                   "mreq -20 ml 382714.95 eff 7654279 open 0"}));

  events.lines.clear();
  engine->UpdateAccountSummaries("10", 100, -2, -30, 400, 5000, 60000, 700000, true, 8000000);
  EXPECT_EQ(totals(*account->SummeryInfo()),
            (std::vector<double>{-2, -30, 400, 5000, 60000, 700000, 8000000}));
  EXPECT_TRUE(account->LockLiquidate());
  EXPECT_EQ(events.lines, Lines({"UpdateListView 10 100 bal 8705398 flt 0 cr 60000 eq 8765398 "
                                 "mreq -30 ml 292179.933333333 eff 8765368 open 0"}));
}

TEST_F(EngineTest, PositionsNeedLoadedPricedParametersAndFeedTheIndex) {
  auto client = Client(10);
  client->ParamsLoaded(false);
  Account(10, 100, 1000);
  EXPECT_EQ(Position(10, 100, 1, 2, 1, 1.2, BuyType), nullptr);
  EXPECT_EQ(Index(2)->AccountsHavePositions()->Count(), 0);

  // A symbol without an index (here one the client can price) takes
  // nothing that no quote would ever reach; a symbol the client cannot
  // price is refused with an error.
  client->ParamsLoaded(true);
  Symbol(4)->Ref1(nullptr);
  EXPECT_EQ(Position(10, 100, 1, 4, 1, 0.9, BuyType), nullptr);
  EXPECT_EQ(Position(10, 100, 1, 99, 1, 0.9, BuyType), nullptr);
  EXPECT_EQ(Order(10, 100, 5, LimitOrdersType, BuyType, 0, 4, 0.9, 0, 0), nullptr);
  engine->AddNewAlert(10, 1, 4, BID_LESS, 0.9, 2, true);
  ASSERT_NE(NewSymbol(6, "NEW", -4, 1, 1, 1, 1.0, 1.0), nullptr);
  EXPECT_THROW(Position(10, 100, 1, 6, 1, 1.2, BuyType), Error);
  EXPECT_THROW(Order(10, 100, 5, LimitOrdersType, BuyType, 0, 6, 1.1, 0, 0), Error);
  EXPECT_EQ(engine->Account(10, 100)->OpenPositions()->Count(), 0);
  EXPECT_EQ(engine->Account(10, 100)->Orders()->Count(), 0);
  EXPECT_EQ(client->Alerts()->Count(), 0);
  engine->DealWithChangedSymbolPrices(std::make_shared<CSymbol>());  // built without an index
  engine->DealWithChangedSymbolPrices(nullptr);

  ASSERT_NE(Position(10, 100, 1, 2, 1, 1.2, BuyType), nullptr);
  ASSERT_NE(Position(10, 100, 2, 2, 1, 1.2, SellType), nullptr);
  EXPECT_EQ(Position(10, 100, 2, 2, 1, 1.2, SellType), nullptr);  // ticket taken
  EXPECT_EQ(Index(2)->AccountsHavePositions()->Count(), 1);

  engine->DeleteOpenPosition(10, 100, 1);  // one of two in EURUSD: still a holder
  EXPECT_EQ(Index(2)->AccountsHavePositions()->Count(), 1);
  engine->DeleteOpenPosition(10, 100, 2);
  EXPECT_EQ(Index(2)->AccountsHavePositions()->Count(), 0);
}

TEST_F(EngineTest, PositionRowsAndUpdatesAddChangeAndDelete) {
  Client(10);
  auto account = Account(10, 100, 1000);
  events.lines.clear();
  EXPECT_THROW(engine->UpdateOpenPosition(10, 100, 9, 1, 1.2, BuyType, 2, 0, "", ""), Error);
  EXPECT_TRUE(events.lines.empty());  // a missing ticket changes nothing
  engine->UpdateOpenPosition(10, 100, 9, 0, 1.2, BuyType, 2, 0, "", "");  // lots 0: a delete
  EXPECT_EQ(events.Only("UpdateListView").size(), 1u);

  account->LockLiquidate(true);
  const std::string row =
      "10R,@100R,@55R,@03/03/2027 09:00:00R,@SellR,@2R,@2R,@1.25R,@R,@R,@0R,@2R,@EURUSDR,@"
      "3.5R,@R,@hello";
  auto position = engine->DefineOpenPosRow(10, 100, 55, row);
  ASSERT_NE(position, nullptr);
  EXPECT_FALSE(account->LockLiquidate());
  EXPECT_EQ(position->Type_no(), SellType);
  EXPECT_DOUBLE_EQ(position->lots(), 2);
  EXPECT_DOUBLE_EQ(position->Interest(), 3.5);
  EXPECT_EQ(position->Note(), "hello");

  const std::string update =
      "10R,@100R,@55R,@03/03/2027 10:00:00R,@BuyR,@1R,@2R,@1.2R,@R,@R,@0R,@2R,@EURUSDR,@"
      "0R,@R,@moved";
  EXPECT_EQ(engine->DefineOpenPosRow(10, 100, 55, update), position);
  EXPECT_EQ(position->Type_no(), BuyType);
  EXPECT_DOUBLE_EQ(position->lots(), 1);
  EXPECT_EQ(position->PosTime(), "03/03/2027 09:00:00");  // open time stays

  const std::string zero_lots =
      "10R,@100R,@56R,@xR,@BuyR,@0R,@2R,@1.2R,@R,@R,@0R,@0R,@EURUSDR,@0R,@R,@";
  EXPECT_EQ(engine->DefineOpenPosRow(10, 100, 56, zero_lots), nullptr);
  EXPECT_EQ(account->OpenPositions()->Count(), 1);

  EXPECT_EQ(engine->DefineOpenPosRow(10, 100, 55, ""), nullptr);
  EXPECT_EQ(account->OpenPositions()->Count(), 0);

  engine->JustAccounts(true);
  EXPECT_EQ(engine->DefineOpenPosRow(10, 100, 55, row), nullptr);
  EXPECT_EQ(account->OpenPositions()->Count(), 0);
}

TEST_F(EngineTest, ClosingAPositionTakesItsStopOrdersAlong) {
  Client(10);
  auto account = Account(10, 100, 1000);
  Position(10, 100, 1, 2, 2, 1.2, BuyType);
  Position(10, 100, 2, 2, 1, 1.2, BuyType);
  Order(10, 100, 7, SlTpType, SellType, 1, 2, 0, 1.1, 1.3, 0, 2);
  Order(10, 100, 8, SlTpType, SellType, 1, 2, 0, 1.15, 0, 0, 2);
  Order(10, 100, 9, SlTpType, SellType, 2, 2, 0, 1.1, 0);

  engine->ClosePosition(10, 100, 1, 0.5);  // partial: lots shrink, orders stay
  EXPECT_DOUBLE_EQ(account->OpenPositions()->Item(KeyOf(1))->lots(), 1.5);
  EXPECT_EQ(account->Orders()->Count(), 3);

  engine->ClosePosition(10, 100, 1, 1.5);
  EXPECT_EQ(account->OpenPositions()->Item(KeyOf(1)), nullptr);
  ASSERT_EQ(account->Orders()->Count(), 1);
  EXPECT_NE(account->Orders()->Item(KeyOf(9)), nullptr);

  engine->CloseResultReceived(-10, 10, 100, 2);  // the server closed it
  EXPECT_EQ(account->OpenPositions()->Count(), 0);
  EXPECT_EQ(account->Orders()->Count(), 0);
  // Orders removed with their position are not reported to the index.
  EXPECT_EQ(Index(2)->AccountsHaveOrders()->Count(), 1);

  // Closing them all survives its own removals.
  for (int ticket = 3; ticket <= 7; ++ticket) Position(10, 100, ticket, 2, 1, 1.2, BuyType);
  engine->CloseAllPositions(10, 100);
  EXPECT_EQ(account->OpenPositions()->Count(), 0);
  EXPECT_EQ(Index(2)->AccountsHavePositions()->Count(), 0);
}

TEST_F(EngineTest, OrderRowsMakeEntryOrStopOrdersAndReplaceByID) {
  Client(10);
  auto account = Account(10, 100, 1000);
  auto limit = engine->DefineOrder(
      10, 100, "7R,@03/03/2027 09:00:00R,@2R,@1.5R,@2R,@1.2345R,@LOR,@0R,@0R,@0R,@11R,@n");
  ASSERT_NE(limit, nullptr);
  EXPECT_EQ(limit->OrderType(), LimitOrdersType);
  EXPECT_EQ(limit->operationType(), BuyStopType);
  EXPECT_EQ(limit->status(), 0);  // the row's status is not used
  EXPECT_DOUBLE_EQ(limit->LimitPrice(), 1.2345);
  EXPECT_EQ(limit->hitTime(), Wednesday());

  auto stop = engine->DefineOrder(
      10, 100, "7R,@tR,@-1R,@1R,@2R,@0R,@loR,@55R,@1.1R,@1.3R,@0R,@");
  ASSERT_NE(stop, nullptr);
  EXPECT_EQ(stop->OrderType(), SlTpType);  // "lo" is not "LO"
  EXPECT_EQ(stop->IoID(), 55);
  EXPECT_EQ(account->Orders()->Count(), 1);
  EXPECT_EQ(account->Orders()->Item(KeyOf(7)), stop);

  EXPECT_EQ(engine->DefineOrder(10, 100, ""), nullptr);
  EXPECT_EQ(account->Orders()->Count(), 1);
  EXPECT_EQ(engine->DeleteOrder(10, 100, 7), stop);
  EXPECT_EQ(Index(2)->AccountsHaveOrders()->Count(), 0);
}

TEST_F(EngineTest, OrdersDeliveredAlreadyHitAreAnnouncedAgain) {
  Client(10);
  Account(10, 100, 1000);
  events.lines.clear();
  Order(10, 100, 5, SlTpType, SellType, 1, 2, 0, -1, 1.25, 11);
  Order(10, 100, 6, LimitOrdersType, BuyType, 0, 2, 1.1, 0, 0, 1);
  Order(10, 100, 7, SlTpType, SellType, 1, 2, 0, 1.1, 1.3, 1);
  Order(10, 100, 8, SlTpType, SellType, 1, 2, 0, 1.1, 1.3);
  EXPECT_EQ(events.lines, Lines({"RaiseHitOrder 4 order 5 account 100 second 0 sltp 2 at 0",
                                 "RaiseHitOrder 2 order 6 account 100 second 0 sltp 1 at 0",
                                 "RaiseHitOrder 3 order 7 account 100 second 0 sltp 1 at 0",
                                 "RaiseHitOrder 4 order 7 account 100 second 0 sltp 2 at 0"}));
  // A taken ID gives no order but the index entry is made all the same.
  EXPECT_EQ(Order(10, 100, 8, SlTpType, SellType, 1, 3, 0, 1, 0), nullptr);
  EXPECT_EQ(Index(3)->AccountsHaveOrders()->Count(), 1);
}

TEST_F(EngineTest, DeletingAnOfficeRemovesChildrenFirstAndEmptiesTheIndex) {
  Client(1, MARGIN_LEVEL_LIQUIDATION, 50, ON_CLOSE_TYPE);
  Client(2, MARGIN_LEVEL_LIQUIDATION, 50, ON_CLOSE_TYPE, 1);
  Client(3, MARGIN_LEVEL_LIQUIDATION, 50, ON_CLOSE_TYPE, 2);
  Account(1, 100, 0);
  Account(2, 200, 0);
  Account(3, 300, 0);
  Position(1, 100, 1, 2, 1, 1.2, BuyType);
  Position(3, 300, 2, 2, 1, 1.2, BuyType);
  Order(2, 200, 9, LimitOrdersType, BuyType, 0, 3, 1.1, 0, 0);
  engine->AddNewAlert(3, 1, 2, BID_GREATER, 1.5, 2, true);
  events.lines.clear();

  engine->DeleteClient(1);
  EXPECT_EQ(events.lines, Lines({"DeleteFromListView 3 300", "DeleteFromListView 2 200",
                                 "DeleteFromListView 1 100"}));
  EXPECT_EQ(engine->Clients()->Count(), 0);
  EXPECT_EQ(Index(2)->AccountsHavePositions()->Count(), 0);
  EXPECT_EQ(Index(3)->AccountsHaveOrders()->Count(), 0);
  EXPECT_EQ(Index(2)->ClientsHaveAlerts()->Count(), 0);
  engine->DeleteClient(1);  // gone already: nothing happens

  // Parents that loop end the depth-first walk.
  Client(1);
  Client(2, MARGIN_LEVEL_LIQUIDATION, 50, ON_CLOSE_TYPE, 1);
  engine->Clients()->ClientParentChanged(1, 2);
  Account(1, 100, 0);
  Account(2, 200, 0);
  events.lines.clear();
  engine->DeleteClient(1);
  EXPECT_EQ(events.lines, Lines({"DeleteFromListView 2 200", "DeleteFromListView 1 100"}));
  EXPECT_EQ(engine->Clients()->Count(), 0);
}

TEST_F(EngineTest, AlertsEnterAndLeaveTheIndex) {
  Client(10);
  engine->AddNewAlert(10, 1, 2, BID_GREATER, 1.25, 2, true);
  engine->AddNewAlert(10, 2, 2, ASK_LESS, 1.1, 2, true);
  EXPECT_EQ(Index(2)->ClientsHaveAlerts()->Count(), 1);
  engine->UpdateAlert(2, 10, 3, BID_LESS, 1.0);  // one of two leaves: still listed
  EXPECT_EQ(Index(2)->ClientsHaveAlerts()->Count(), 1);
  EXPECT_EQ(Index(3)->ClientsHaveAlerts()->Count(), 1);
  engine->DeleteAlert(10, 1);
  EXPECT_EQ(Index(2)->ClientsHaveAlerts()->Count(), 0);
  EXPECT_THROW(engine->DeleteAlert(77, 1), Error);
}

TEST_F(EngineTest, ClientParametersByKind) {
  auto client = Client(10, static_cast<LiquidationTypeEnum>(0), 0);
  engine->ClientOneParameterChanged(10, 0, 102, "1");
  engine->ClientOneParameterChanged(10, 0, 103, "2.5");  // halves to even: 2
  engine->ClientOneParameterChanged(10, 0, 104, 35.5);
  engine->ClientOneParameterChanged(10, 0, 105, "ignored");
  engine->GeneralClientParametersChanged(10, 0, "117", 1);
  EXPECT_TRUE(client->EnableInterest());
  EXPECT_EQ(client->LiquidationType(), MARGIN_LEVEL_LIQUIDATION);
  EXPECT_DOUBLE_EQ(client->LiquidationPoint(), 35.5);
  EXPECT_EQ(client->CommCalcType(), ON_OPEN_TYPE);
  EXPECT_THROW(engine->ClientOneParameterChanged(10, 0, 104, "abc"), Error);
  EXPECT_THROW(engine->GeneralClientParametersChanged(10, 0, "x", 1), Error);
  EXPECT_DOUBLE_EQ(client->LiquidationPoint(), 35.5);

  engine->JustAccounts(true);
  engine->ClientOneParameterChanged(10, 0, 104, 10);
  EXPECT_DOUBLE_EQ(client->LiquidationPoint(), 35.5);
}

TEST_F(EngineTest, DeleteSymbolAndUnloadKeepTheRecordsTheyMust) {
  auto client = Client(10);
  Account(10, 100, 0);
  Position(10, 100, 1, 4, 1, 0.9, BuyType);
  EXPECT_EQ(engine->DeleteSymbol(4), nullptr);
  EXPECT_EQ(Symbol(4), nullptr);
  EXPECT_EQ(client->SymbolParam(4), nullptr);
  EXPECT_EQ(engine->Account(10, 100)->OpenPositions()->Count(), 1);

  // Unload forgets the clients but keeps the symbols and their index.
  engine->Unload();
  EXPECT_EQ(engine->AccountsCount(), 0);
  EXPECT_EQ(engine->Account(10, 100), nullptr);
  EXPECT_NE(Index(2), nullptr);
}

TEST_F(EngineTest, InterestIsBookedPerAccountForOnOpenClients) {
  auto client = Client(10, MARGIN_LEVEL_LIQUIDATION, 50, ON_OPEN_TYPE);
  client->EnableInterest(true);
  auto first = Account(10, 100, 0);
  auto second = Account(10, 101, 0);
  Position(10, 100, 1, 2, 1, 1.2, BuyType);
  Position(10, 101, 2, 2, 2, 1.2, SellType);
  Position(10, 101, 3, 3, 1, 1.3, BuyType);  // another symbol: untouched
  auto other = Client(20, MARGIN_LEVEL_LIQUIDATION, 50, ON_CLOSE_TYPE);
  other->EnableInterest(true);
  auto third = Account(20, 200, 0);
  Position(20, 200, 4, 2, 1, 1.2, BuyType);
  Client(30);  // interest not enabled
  Account(30, 300, 0);
  Position(30, 300, 5, 2, 1, 1.2, BuyType);
  events.lines.clear();

  engine->CalculateInterest(2, 1, 3.65, -1.2, 365);
  EXPECT_EQ(events.Only("Change"),
            Lines({"ChangePosInterest 10 100 1 1000", "ChangeTotInterest 10 100 1000",
                   "ChangePosInterest 10 101 2 -657.53", "ChangeTotInterest 10 101 -657.53",
                   "ChangePosInterest 20 200 4 1000"}));
  EXPECT_DOUBLE_EQ(first->SummeryInfo()->TotalInterest(), 1000);
  EXPECT_DOUBLE_EQ(second->SummeryInfo()->TotalInterest(), -657.53);
  EXPECT_DOUBLE_EQ(third->SummeryInfo()->TotalInterest(), 0);  // stays in the position
  EXPECT_DOUBLE_EQ(engine->Account(30, 300)->OpenPositions()->Item(KeyOf(5))->Interest(), 0);
}

// A handler may close positions, delete clients and add new ones while
// interest is booked: the walk books only what is still there.
TEST_F(EngineTest, InterestSurvivesHandlersThatChangeTheBook) {
  for (int32_t id : {10, 20}) {
    Client(id, MARGIN_LEVEL_LIQUIDATION, 50, ON_OPEN_TYPE)->EnableInterest(true);
  }
  Account(10, 100, 0);
  Account(10, 101, 0);
  auto survivor = Account(20, 200, 0);
  Position(10, 100, 1, 2, 1, 1.2, BuyType);
  Position(10, 100, 2, 2, 1, 1.2, BuyType);
  Position(10, 101, 3, 2, 1, 1.2, BuyType);
  Position(20, 200, 4, 2, 1, 1.2, BuyType);
  events.lines.clear();
  events.then = [&](const std::string& line) {
    if (line == "ChangePosInterest 10 100 1 1000") engine->CloseAllPositions(10, 100);
    if (line == "ChangePosInterest 10 101 3 1000") {
      engine->DeleteClient(10);
      for (int32_t id = 1000; id < 1030; ++id) Client(id);
    }
  };
  engine->CalculateInterest(2, 1, 3.65, -1.2, 365);
  EXPECT_EQ(events.Only("Change"),
            Lines({"ChangePosInterest 10 100 1 1000", "ChangeTotInterest 10 100 1000",
                   "ChangePosInterest 10 101 3 1000", "ChangePosInterest 20 200 4 1000",
                   "ChangeTotInterest 20 200 1000"}));
  EXPECT_DOUBLE_EQ(survivor->SummeryInfo()->TotalInterest(), 1000);
}

TEST_F(EngineTest, NewSymbolReadsItsNumbersFromTextAndFixesTheRest) {
  auto symbol = engine->NewSymbol(
      0, 1, 1, 100000, "03/03/2027 12:00:00", 1.5, 1.5, 1.5, 1.5, true, true, 1, -4,
      symbol_type, "NEW", 9, "SUNDAY", "22:00", "FRIDAY", "22:00", Null, Null, Null, Null,
      Null, Null, false, Null, false, "2 (ask)", "x", false, false, "3", " -2", Null, true,
      "30.5", FromBidSpread, "", 1.5, 1.5);
  ASSERT_NE(symbol, nullptr);
  // "2 (ask)" reads its leading number, "x" none; 30.5 seconds halve to even.
  const std::vector<Variant> fields{
      symbol->HighType(),     symbol->LowType(),      symbol->PriceOffset(),
      symbol->SpreadOffset(), symbol->StopTradeAfterSeconds(), symbol->Bank(),
      symbol->SortOrder(),    symbol->Requotable(),   symbol->MarketOrderType()};
  EXPECT_EQ(fields, (std::vector<Variant>{FromAsk, 0, 3, -2, 30, "", 1, true, AtPriceMO}));
  ASSERT_NE(Index(9), nullptr);
  EXPECT_EQ(Index(9)->AccountsHavePositions()->Count(), 0);
  EXPECT_EQ(NewSymbol(9, "D", -4, 1, 1, 1, 1, 1), nullptr);  // the ID is taken
}

// Advise's handler check lets a correct handler through, and it fires.
// Written as a host often does, without `override`: with the event's exact
// parameters it overrides all the same, the check accepts it and it fires.
class NewAccountWatcher : public CAccountsTransactionsEvents {
 public:
  void NewAccountSummeriesData(int32_t& client, int32_t& account, double& balance,
                               double& /*flt*/, double& /*credit*/, double& /*equity*/,
                               double& /*margin_req*/, double& /*margin_level*/,
                               double& /*eff_margin*/, int32_t& /*open_positions*/) {
    heard.push_back({client, account, balance});
  }

  struct Heard {
    int32_t client;
    int32_t account;
    double balance;
    bool operator==(const Heard&) const = default;
  };
  std::vector<Heard> heard;
};
ORVANE_CHECK_HANDLER(CAccountsTransactionsEvents, NewAccountWatcher);

TEST_F(EngineTest, AHandlerWithTheEventsOwnParametersIsAdvisedAndHearsTheEngine) {
  NewAccountWatcher watcher;
  engine->Advise(&watcher);
  Client(10);
  Account(10, 100, 1000);
  engine->Unadvise(&watcher);
  Account(10, 101, 2000);
  EXPECT_EQ(watcher.heard, (std::vector<NewAccountWatcher::Heard>{{10, 100, 1000}}));
}

// Office 1 with clients 10 (Ann) and 20 (Bob). Ann: long EURUSD, short the
// cross, an SL/TP on the EURUSD position and an alert on GBPUSD. Bob: short
// EURUSD and a buy limit in the cross.
class BookTest : public EngineTest {
 protected:
  BookTest() {
    Client(1);
    Client(10, MARGIN_LEVEL_LIQUIDATION, 50, ON_OPEN_TYPE, 1);
    Client(20, MARGIN_LEVEL_LIQUIDATION, 50, ON_CLOSE_TYPE, 1);
    ann_account = Account(10, 1001, 10000);
    Position(10, 1001, 1, kEurUsd, 1, 1.1950, BuyType);
    Position(10, 1001, 2, kEurGbp, 2, 0.9030, SellType);
    Order(10, 1001, 501, SlTpType, SellType, 1, kEurUsd, 0, 1.1900, 1.2100);
    engine->AddNewAlert(10, 71, kGbpUsd, BID_GREATER, 1.35, 2, true);
    bob_account = Account(20, 2001, 5000);
    Position(20, 2001, 3, kEurUsd, 0.5, 1.2050, SellType);
    Order(20, 2001, 601, LimitOrdersType, BuyType, 0, kEurGbp, 0.8900, 0, 0);
    ann = engine->Clients()->Item(KeyOf(10));
    bob = engine->Clients()->Item(KeyOf(20));
  }

  std::shared_ptr<CClient> ann, bob;
  std::shared_ptr<CAccount> ann_account, bob_account;
};

TEST_F(BookTest, AccountsAreFoundThroughTheirClients) {
  const auto& clients = *engine->Clients();
  EXPECT_EQ(clients.AccountByAccountID(2001), bob_account);
  EXPECT_FALSE(clients.AccountExists(3001));
  EXPECT_EQ(clients.Account(20, 2001), bob_account);
  EXPECT_EQ(clients.Account(10, 2001), nullptr);  // Ann's client holds no 2001
  EXPECT_EQ(clients.Account(99, 2001), nullptr);
}

TEST_F(BookTest, IndexFollowsDeletes) {
  auto eurusd = Index(kEurUsd);
  auto eurgbp = Index(kEurGbp);
  ASSERT_EQ(eurusd->AccountsHavePositions()->Count(), 2);

  // Ann holds a second EURUSD position: closing one keeps her listed (her
  // cross position does not count for EURUSD); closing both and the SL/TP
  // order takes her out.
  Position(10, 1001, 9, kEurUsd, 1, 1.2010, SellType);
  auto positions = ann_account->OpenPositions();
  eurusd->PositionDeleted(ann_account, positions->Item("1"));
  positions->Remove("1");
  EXPECT_NE(eurusd->AccountsHavePositions()->Item("1001"), nullptr);
  eurusd->PositionDeleted(ann_account, positions->Item("9"));
  positions->Remove("9");
  eurusd->OrderDeleted(ann_account, ann_account->Orders()->Item("501"));
  ann_account->Orders()->Remove("501");
  EXPECT_EQ(eurusd->AccountsHavePositions()->Item("1001"), nullptr);
  EXPECT_NE(eurusd->AccountsHavePositions()->Item("2001"), nullptr);
  EXPECT_EQ(eurusd->AccountsHaveOrders()->Count(), 0);
  EXPECT_NE(eurgbp->AccountsHavePositions()->Item("1001"), nullptr);

  // Bob's account goes: every symbol's index drops it first; an account
  // the index does not list changes nothing.
  eurusd->AccountDeleted(20, 999);
  EXPECT_EQ(eurusd->AccountsHavePositions()->Count(), 1);
  for (const auto& symbol : *symbols) {
    std::dynamic_pointer_cast<CCurAccount>(symbol->Ref1())->AccountDeleted(20, 2001);
  }
  auto bob_position = bob_account->OpenPositions()->Item("3");
  bob->Accounts()->Remove("404");
  bob->Accounts()->Remove("2001");
  EXPECT_EQ(eurusd->AccountsHavePositions()->Count(), 0);
  EXPECT_EQ(eurgbp->AccountsHaveOrders()->Count(), 0);
  // Removal deallocated the account: its records are gone and let go of it.
  EXPECT_EQ(bob_account->OpenPositions()->Count(), 0);
  EXPECT_EQ(bob_account->Orders()->Count(), 0);
  EXPECT_EQ(bob_position->Account(), nullptr);
  EXPECT_EQ(engine->Clients()->AccountByAccountID(2001), nullptr);
}

// Everything the book built must go once the host has deallocated the
// engine and the symbols and dropped its references.
TEST_F(BookTest, DeallocatedTreeLeavesNothingAlive) {
  std::vector<std::weak_ptr<Object>> watched;
  for (const auto& client : *engine->Clients()) {
    watched.push_back(client);
    for (const auto& account : *client->Accounts()) {
      watched.push_back(account);
      watched.push_back(account->SummeryInfo());
      for (const auto& position : *account->OpenPositions()) watched.push_back(position);
      for (const auto& order : *account->Orders()) watched.push_back(order);
    }
    for (const auto& entry : *client->Params()) watched.push_back(entry);
  }
  for (const auto& symbol : *symbols) {
    watched.push_back(symbol);
    watched.push_back(symbol->Ref1());
  }
  ASSERT_GT(watched.size(), 25u);
  engine->Unadvise(&events);
  engine->Deallocate();
  symbols->Deallocate();
  engine.reset();
  symbols.reset();
  ann = bob = nullptr;
  ann_account = bob_account = nullptr;
  for (const auto& w : watched) EXPECT_TRUE(w.expired());
}

}  // namespace
}  // namespace orvane::engine_test
