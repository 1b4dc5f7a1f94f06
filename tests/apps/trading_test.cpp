// Market orders through the server's gateway on an in-memory network: a buy
// opened at the client's ask and closed at its bid with the result in the
// balance and the history to the cent, every rule refused on a book with
// real limits and the account left as it was, a partial close and a close
// by hedge keeping the rest under the ticket, exactly-once order numbers,
// pushes to every session of the client, and another client's account
// refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "memory_store.h"
#include "password_hash.h"
#include "trading_fixture.h"

namespace orvane::apps {
namespace {

TEST_F(TradingTest, ABuyOpensAtTheAskAndClosesAtTheBidWithTheResultInBalanceAndHistory) {
  Peer alice = LogOn("alice", "secret");
  Peer second = LogOn("alice", "secret");
  // Alice's ask is her 2-pip spread laid on the bid, 1.2002; she saw 1.2003.
  const auto opened = alice.Executed(wire::OpenRequest{1, 100, 2, BuyType, 1, 1.2003});
  EXPECT_DOUBLE_EQ(opened.price, 1.2002);
  EXPECT_EQ(second.Tokens(),
            (std::vector<TokensEnum>{NEW_OPEN_POSITION_TOKEN, SUMMARIES_CHANGED_TOKEN}));
  EXPECT_DOUBLE_EQ(Totals(10, 100).margin_requirement, -1000);
  Quote(1.2050, 1.2051);
  // A buy closes at the bid, 1.2050: 48 pips of 100,000 less 3 commission.
  alice.Executed(wire::CloseRequest{2, 100, opened.ticket, 0, 1.2050});
  EXPECT_DOUBLE_EQ(Totals(10, 100).net_profit, 477);
  EXPECT_DOUBLE_EQ(Totals(10, 100).margin_requirement, 0);
  EXPECT_EQ(second.Tokens(), (std::vector<TokensEnum>{CLOSE_OPEN_POSITION_TOKEN,
                                                      NEW_ACCOUNT_HISTORY_TOKEN,
                                                      SUMMARIES_CHANGED_TOKEN}));
  const auto history = m_server->desk().history(10);
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].ticket, opened.ticket);
  EXPECT_DOUBLE_EQ(history[0].profit, 477);
  EXPECT_DOUBLE_EQ(history[0].commission, 3);
  EXPECT_DOUBLE_EQ(m_server->figures(100)->balance, 2477);
  EXPECT_EQ(m_server->desk().snapshot().audit.size(), 2u);
}

TEST_F(TradingTest, CloseByHedgeCostsOneSpreadAndTheLargerKeepsTheRest) {
  Peer alice = LogOn("alice", "secret");
  Peer second = LogOn("alice", "secret");
  const auto buy = alice.Executed(wire::OpenRequest{1, 100, 2, BuyType, 1, 1.2002});
  Quote(1.2030, 1.2031);
  const auto sell = alice.Executed(wire::OpenRequest{2, 100, 2, SellType, 0.4, 1.2030});
  second.Read();
  alice.Executed(wire::HedgeRequest{3, 100, sell.ticket, buy.ticket});
  // 0.4 lots bought at 1.2002 and sold at 1.2030: 28 pips, less 3 a lot on
  // each closed leg (1.2 + 1.2).
  EXPECT_DOUBLE_EQ(Totals(10, 100).net_profit, 109.6);
  const auto positions = m_server->desk().positions(10);
  ASSERT_EQ(positions.size(), 1u);
  EXPECT_EQ(positions[0].ticket, buy.ticket);
  EXPECT_DOUBLE_EQ(positions[0].lots, 0.6);
  const auto tokens = second.Tokens();
  EXPECT_NE(std::find(tokens.begin(), tokens.end(), POSITIONS_CLOSED_BY_HEDGE_TOKEN),
            tokens.end());
  const wire::OrderAnswer same_side =
      alice.Order(wire::HedgeRequest{4, 100, buy.ticket, buy.ticket});
  EXPECT_EQ(same_side.code, kUnknownPosition);
  const auto another = alice.Executed(wire::OpenRequest{5, 100, 2, BuyType, 0.5, 1.2032});
  EXPECT_EQ(alice.Order(wire::HedgeRequest{6, 100, buy.ticket, another.ticket}).code, kNotAHedge);
}

TEST_F(TradingTest, QueriesAnswerFromTheClientsOwnRecords) {
  Peer alice = LogOn("alice", "secret");
  const auto opened = alice.Executed(wire::OpenRequest{1, 100, 2, BuyType, 1, 1.2002});
  alice.Order(wire::CloseRequest{2, 100, opened.ticket, 0.5, 1.2000});
  const auto history = alice.Rows(GET_ACCOUNT_HISTORY_TOKEN, {"100"});
  ASSERT_EQ(history.size(), 1u);
  model::HistoryEntry entry;
  ASSERT_TRUE(wire::read_history_row(history[0], entry));
  EXPECT_DOUBLE_EQ(entry.lots, 0.5);
  EXPECT_DOUBLE_EQ(entry.profit, -11.5);  // 2 pips on 0.5 lots, 1.5 commission
  EXPECT_TRUE(alice.Rows(GET_ACCOUNT_HISTORY_TOKEN, {"200"}).empty());  // Bob's
  const auto one = alice.Rows(GET_ONE_POS_TOKEN, {"100", std::to_string(opened.ticket)});
  ASSERT_EQ(one.size(), 1u);
  model::Position position;
  ASSERT_TRUE(wire::read_position_row(one[0], position));
  EXPECT_EQ(position.ticket, opened.ticket);  // the rest of a partial close
  EXPECT_DOUBLE_EQ(position.lots, 0.5);
  EXPECT_DOUBLE_EQ(Totals(10, 100).margin_requirement, -500);
  EXPECT_TRUE(alice.Rows(GET_ONE_POS_TOKEN, {"200", "7"}).empty());  // Bob's position
  EXPECT_EQ(alice.Rows(GET_PRIVS_TOKEN), std::vector<std::string>{"4,5,8"});
}

TEST_F(TradingTest, EveryRuleRefusesWithACodeAndLeavesTheAccountAsItWas) {
  Peer alice = LogOn("alice", "secret");
  Peer bob = LogOn("bob", "pass");
  Peer carol = LogOn("carol", "pass");
  const model::Snapshot before = m_server->desk().snapshot();
  struct Case {
    Peer* peer;
    wire::OpenRequest open;
    wire::CloseRequest close;
    int32_t code;
  };
  const Case cases[] = {
      {&alice, {1, 200, 2, BuyType, 1, 1.2003}, {}, kUnknownAccount},  // Bob's account
      {&alice, {2, 100, 1, BuyType, 1, 1}, {}, kUnknownSymbol},
      {&alice, {3, 100, 2, BuyType, 0.05, 1.2003}, {}, kLotsOutOfRange},
      {&alice, {4, 100, 2, BuyType, 5.5, 1.2003}, {}, kLotsOutOfRange},
      {&alice, {5, 100, 2, BuyType, 0.255, 1.2003}, {}, kLotStep},
      {&alice, {8, 100, 2, BuyType, 1e308, 1.2003}, {}, kLotStep},
      {&alice, {6, 100, 2, BuyType, 1, 1.2007}, {}, kRequote},  // 4 pips away
      {&alice, {7, 100, 2, SellType, 3, 1.2000}, {}, kNotEnoughMargin},
      {&bob, {1, 200, 2, SellType, 1, 1.2000}, {}, kHedgingNotAllowed},
      {&bob, {}, {2, 200, 7, 0.5, 1.2000}, kPartialCloseNotAllowed},
      {&bob, {}, {3, 200, 99, 0, 1.2000}, kUnknownPosition},
      {&bob, {}, {4, 200, 7, 2, 1.2000}, kLotsOutOfRange},
      {&carol, {1, 100, 2, BuyType, 1, 1.2003}, {}, kSymbolNotAllowed},
  };
  for (const Case& c : cases) {
    const wire::OrderAnswer answer = c.open.number != 0 ? c.peer->Order(c.open)
                                                        : c.peer->Order(c.close);
    EXPECT_EQ(answer.code, c.code) << answer.text;
    EXPECT_FALSE(answer.text.empty());
  }
  const model::Snapshot after = m_server->desk().snapshot();
  EXPECT_EQ(after.accounts, before.accounts);
  EXPECT_EQ(after.positions, before.positions);
  EXPECT_EQ(after.sequences, before.sequences);
}

TEST_F(TradingTest, AReQuoteCarriesTheCurrentPriceAndANewOrderAtItExecutes) {
  Peer alice = LogOn("alice", "secret");
  Quote(1.2100, 1.2101);
  const wire::OrderAnswer requote = alice.Order(wire::OpenRequest{1, 100, 2, BuyType, 1, 1.2003});
  ASSERT_EQ(requote.code, kRequote);
  EXPECT_DOUBLE_EQ(requote.price, 1.2102);
  alice.Executed(wire::OpenRequest{2, 100, 2, BuyType, 1, requote.price});
}

TEST_F(TradingTest, AnOrderNumberExecutesOnceEvenAcrossALogOnAgain) {
  Peer alice = LogOn("alice", "secret");
  const auto first = alice.Executed(wire::OpenRequest{41, 100, 2, BuyType, 1, 1.2003});
  Peer again = LogOn("alice", "secret");
  EXPECT_EQ(again.last_order, 41);
  const wire::OrderAnswer repeat = again.Order(wire::OpenRequest{41, 100, 2, BuyType, 1, 1.2003});
  EXPECT_EQ(repeat.code, 0);
  EXPECT_EQ(repeat.ticket, first.ticket);
  EXPECT_EQ(m_server->desk().positions(10).size(), 1u);
  const auto next = again.Executed(wire::OpenRequest{42, 100, 2, BuyType, 0.5, 1.2003});
  EXPECT_NE(next.ticket, first.ticket);
  EXPECT_EQ(m_server->desk().positions(10).size(), 2u);
}

TEST_F(TradingTest, OrdersNeedThePrivilegeToTrade) {
  Peer viewer = LogOn("viewer", "pass");
  viewer.socket->Send(wire::request(viewer.sid, wire::OpenRequest{1, 200, 2, BuyType, 1, 1.2003}));
  // Refused under the order's own token, with its number, so that the
  // terminal knows which order it was.
  const auto answer = viewer.Read();
  ASSERT_EQ(answer.size(), 1u);
  EXPECT_EQ(answer[0]->TokenID(), NEW_ORDER_TOKEN);
  wire::OrderAnswer refusal;
  ASSERT_TRUE(wire::decode(*answer[0], refusal));
  EXPECT_EQ(refusal.number, 1);
  EXPECT_EQ(refusal.code, wire::kNotAllowed);
  EXPECT_NE(refusal.text.find("privilege"), std::string::npos);
  EXPECT_EQ(m_server->desk().positions(20).size(), 1u);
}

// ---- pending orders ----
// Pending orders through the server's gateway: an entry order filled by a
// later price with its levels guarding the new position, one deleted at its
// expiry before the quote that would fill it, a stop-loss moved and then
// hit, every rule refused at its boundary, and each change pushed to a
// second session of the client.

class PendingOrdersTest : public TradingTest {
 protected:
  std::vector<model::Order> Orders() const { return m_server->desk().orders(10); }
};

template <typename Push>
std::vector<Push> PushesOf(Peer& peer) {
  std::vector<Push> pushes;
  for (const auto& m : peer.Read()) {
    Push push;
    if (m->TokenID() == Push::kToken && wire::decode(*m, push)) pushes.push_back(push);
  }
  return pushes;
}

TEST_F(PendingOrdersTest, AnEntryOrderFillsAtItsPriceAndItsLevelsGuardThePosition) {
  Peer alice = LogOn("alice", "secret");
  Peer second = LogOn("alice", "secret");
  // Alice's ask is 1.2002; a buy limit may wait at 1.1997 (5 pips) or lower.
  const auto placed = alice.Executed(
      wire::EntryRequest{1, 100, 2, BuyType, 0.5, 1.1990, 1.1950, 1.2050, ""});
  const auto pushed = PushesOf<wire::OrderPlacedPush>(second);
  ASSERT_EQ(pushed.size(), 1u);
  EXPECT_EQ(pushed[0].order.id, placed.ticket);
  EXPECT_DOUBLE_EQ(pushed[0].order.price, 1.1990);
  Quote(1.1989, 1.1990);  // her ask 1.1991: not yet
  EXPECT_TRUE(m_server->desk().positions(10).empty());
  Quote(1.1988, 1.1989);  // her ask 1.1990: filled there
  const auto positions = m_server->desk().positions(10);
  ASSERT_EQ(positions.size(), 1u);
  EXPECT_DOUBLE_EQ(positions[0].price, 1.1990);
  EXPECT_DOUBLE_EQ(positions[0].lots, 0.5);
  const auto orders = Orders();
  ASSERT_EQ(orders.size(), 1u);
  EXPECT_EQ(orders[0].kind, SlTpType);
  EXPECT_EQ(orders[0].position, positions[0].ticket);
  EXPECT_DOUBLE_EQ(orders[0].sl, 1.1950);
  EXPECT_DOUBLE_EQ(orders[0].tp, 1.2050);
  EXPECT_EQ(second.Tokens(),
            (std::vector<TokensEnum>{DELETE_PENDING_ORDER_TOKEN, NEW_OPEN_POSITION_TOKEN,
                                     SUMMARIES_CHANGED_TOKEN, NEW_PENDING_ORDER_TOKEN}));
  // The take-profit: a buy closes at the bid, 60 pips on 0.5 lots less 1.5
  // commission.
  Quote(1.2050, 1.2051);
  EXPECT_TRUE(m_server->desk().positions(10).empty());
  EXPECT_TRUE(Orders().empty());
  const auto history = m_server->desk().history(10);
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].note, "take-profit");
  EXPECT_DOUBLE_EQ(history[0].profit, 298.5);
  EXPECT_DOUBLE_EQ(Totals(10, 100).net_profit, 298.5);
}

TEST_F(PendingOrdersTest, AnEntryOrderPastItsExpiryIsDeletedBeforeTheQuoteThatWouldFillIt) {
  Peer alice = LogOn("alice", "secret");
  Peer second = LogOn("alice", "secret");
  const auto placed = alice.Executed(
      wire::EntryRequest{1, 100, 2, SellStopType, 1, 1.1990, 0, 0, "03/03/2027 12:00:30"});
  second.Read();
  m_second = 29;
  Quote(1.1995, 1.1996);
  ASSERT_EQ(Orders().size(), 1u);
  Quote(1.1980, 1.1981);  // at 12:00:30, and below the stop
  EXPECT_TRUE(Orders().empty());
  EXPECT_TRUE(m_server->desk().positions(10).empty());
  const auto removed = PushesOf<wire::OrderRemovedPush>(second);
  ASSERT_EQ(removed.size(), 1u);
  EXPECT_EQ(removed[0].removed.id, placed.ticket);
  EXPECT_EQ(removed[0].removed.reason, "expired");
}

TEST_F(PendingOrdersTest, AStopLossMovedAndThenHitClosesAtTheNewLevel) {
  Peer alice = LogOn("alice", "secret");
  Peer second = LogOn("alice", "secret");
  const auto opened = alice.Executed(wire::OpenRequest{1, 100, 2, BuyType, 1, 1.2002});
  const auto guard = alice.Executed(wire::GuardRequest{2, 100, opened.ticket, 1.1990, 0});
  second.Read();
  alice.Executed(wire::GuardChangeRequest{3, 100, guard.ticket, 1.1995, 0});
  const auto changed = PushesOf<wire::GuardChangedPush>(second);
  ASSERT_EQ(changed.size(), 1u);
  EXPECT_DOUBLE_EQ(changed[0].order.sl, 1.1995);
  const auto rows = alice.Rows(GET_SL_TP_TOKEN, {"100", std::to_string(opened.ticket)});
  ASSERT_EQ(rows.size(), 1u);
  model::Order read;
  ASSERT_TRUE(wire::read_order_row(rows[0], read));
  EXPECT_DOUBLE_EQ(read.sl, 1.1995);
  Quote(1.1996, 1.1997);
  ASSERT_EQ(m_server->desk().positions(10).size(), 1u);
  Quote(1.1995, 1.1996);
  EXPECT_TRUE(m_server->desk().positions(10).empty());
  const auto history = m_server->desk().history(10);
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].note, "stop-loss");
  EXPECT_DOUBLE_EQ(history[0].close_price, 1.1995);
  EXPECT_DOUBLE_EQ(history[0].profit, -73);  // 7 pips on a lot, 3 commission
}

TEST_F(PendingOrdersTest, EveryRuleRefusesAtItsBoundaryAndLeavesTheAccountAsItWas) {
  Peer alice = LogOn("alice", "secret");
  const auto opened = alice.Executed(wire::OpenRequest{1, 100, 2, BuyType, 1, 1.2002});
  const auto guard = alice.Executed(wire::GuardRequest{2, 100, opened.ticket, 0, 1.2010});
  const model::Snapshot before = m_server->desk().snapshot();
  // Alice's bid 1.2000 and ask 1.2002; offsets 5 pips; 1 lot takes 1,000 of
  // her 1,000 left.
  const std::pair<wire::EntryRequest, int32_t> entries[] = {
      {{10, 100, 2, BuyType, 0.5, 1.1998, 0, 0, ""}, kTooNearThePrice},  // above ask - 5
      {{11, 100, 2, BuyStopType, 0.5, 1.2006, 0, 0, ""}, kTooNearThePrice},  // below ask + 5
      {{12, 100, 2, SellType, 0.5, 1.2004, 0, 0, ""}, kTooNearThePrice},  // below bid + 5
      {{13, 100, 2, SellStopType, 0.5, 1.1996, 0, 0, ""}, kTooNearThePrice},  // above bid - 5
      {{14, 100, 2, BuyType, 0.5, 1.1990, 1.1986, 0, ""}, kTooNearThePrice},  // its sl too near
      {{15, 100, 2, SellType, 0.5, 1.2010, 0, 1.2006, ""}, kTooNearThePrice},  // its tp too near
      {{16, 100, 2, 3, 0.5, 1.1990, 0, 0, ""}, kBadOrderType},
      {{17, 100, 2, BuyType, 0.05, 1.1990, 0, 0, ""}, kLotsOutOfRange},
      // Market time passed its expiry.
      {{18, 100, 2, BuyType, 0.5, 1.1990, 0, 0, "03/03/2027 12:00:00"}, kBadExpiry},
      {{19, 100, 2, BuyType, 0.5, 1.1990, 0, 0, "tomorrow"}, kBadExpiry},
      {{20, 100, 2, BuyType, 1.5, 1.1990, 0, 0, ""}, kNotEnoughMargin},
      {{21, 200, 2, BuyType, 0.5, 1.1990, 0, 0, ""}, kUnknownAccount},  // Bob's account
  };
  for (const auto& [entry, code] : entries) {
    const wire::OrderAnswer answer = alice.Order(entry);
    EXPECT_EQ(answer.code, code) << "entry " << entry.number << ": " << answer.text;
    EXPECT_FALSE(answer.text.empty());
  }
  // A buy closes at the bid: its stop-loss at 1.1995 or lower.
  EXPECT_EQ(alice.Order(wire::GuardChangeRequest{30, 100, guard.ticket, 1.1996, 0}).code,
            kTooNearThePrice);
  EXPECT_EQ(alice.Order(wire::GuardChangeRequest{31, 100, guard.ticket, 0, 0}).code, kNoLevels);
  EXPECT_EQ(alice.Order(wire::GuardRequest{32, 100, opened.ticket, 1.1990, 0}).code,
            kAlreadyGuarded);
  EXPECT_EQ(alice.Order(wire::GuardRequest{33, 100, 999, 1.1990, 0}).code, kUnknownPosition);
  EXPECT_EQ(alice.Order(wire::GuardChangeRequest{34, 100, 999, 1.1990, 0}).code, kUnknownOrder);
  EXPECT_EQ(alice.Order(wire::EntryDeleteRequest{{35, 100, guard.ticket}}).code, kUnknownOrder);
  const model::Snapshot after = m_server->desk().snapshot();
  EXPECT_EQ(after.accounts, before.accounts);
  EXPECT_EQ(after.positions, before.positions);
  EXPECT_EQ(after.orders, before.orders);
  EXPECT_EQ(after.sequences, before.sequences);
  // Exactly at the boundaries every rule holds.
  EXPECT_EQ(alice.Order(wire::GuardChangeRequest{40, 100, guard.ticket, 1.1995, 1.2005}).code, 0);
  EXPECT_EQ(alice.Order(wire::EntryRequest{41, 100, 2, BuyType, 0.1, 1.1997, 0, 0, ""}).code, 0);
  EXPECT_EQ(alice.Order(wire::EntryRequest{42, 100, 2, SellStopType, 0.1, 1.1995, 0, 0, ""}).code,
            0);
}

TEST_F(PendingOrdersTest, AChangeAndADeletionArePushedAndADeletionRepeatedExecutesOnce) {
  Peer alice = LogOn("alice", "secret");
  Peer second = LogOn("alice", "secret");
  const wire::OrderAnswer placed =
      alice.Executed(wire::EntryRequest{1, 100, 2, SellType, 1, 1.2010, 0, 0, ""});
  second.Read();
  alice.Executed(
      wire::EntryChangeRequest{2, 100, placed.ticket, 0.5, 1.2020, 1.2030, 0, "04/03/2027 12:00:00"});
  const auto pushes = PushesOf<wire::EntryChangedPush>(second);
  ASSERT_EQ(pushes.size(), 1u);
  EXPECT_DOUBLE_EQ(pushes[0].order.price, 1.2020);
  EXPECT_DOUBLE_EQ(pushes[0].order.lots, 0.5);
  EXPECT_EQ(pushes[0].order.expiry, "04/03/2027 12:00:00");
  const wire::EntryDeleteRequest deletion{{3, 100, placed.ticket}};
  const auto deleted = alice.Executed(deletion);
  const auto removed = PushesOf<wire::OrderRemovedPush>(second);
  ASSERT_EQ(removed.size(), 1u);
  EXPECT_EQ(removed[0].removed.reason, "deleted");
  const wire::OrderAnswer again = alice.Order(deletion);
  EXPECT_EQ(again.code, 0);
  EXPECT_EQ(again.text, deleted.text);
  EXPECT_TRUE(second.Read().empty());
  EXPECT_TRUE(Orders().empty());
}

// ---- dealing ----
// A dealer's session on the trading server: what it reads of the tree it
// acts for, its money and administration commands, and every refusal of
// them (wrong kind of user, missing privilege, a client outside its tree)
// leaving the book exactly as it was.

// Alice's client sits under office 1000, which Dana acts for; Bob's does
// not. Nora is a dealer of the whole tree without a single privilege.
const std::string kDealingBook = std::string(kBook) +
                                 "OFFICE 1000 0 Head office\n"
                                 "PARENT 10 1000\n"
                                 "DEALER dana pw 1000 1,3,23,30,37,67,71,72,73,74,75,97\n"
                                 "DEALER nora pw 0 -\n"
                                 "DEALER otto pw 0 3,71\n";

class DealingTest : public TradingTest {
 protected:
  DealingTest() : TradingTest(kDealingBook) {}

  model::AuditEntry LastAudit() const { return m_server->desk().snapshot().audit.back(); }
};

TEST_F(DealingTest, ADealerReadsOnlyTheTreeItActsFor) {
  Peer dana = LogOn("dana", "pw");
  const auto clients = dana.Rows(GET_CLIENT_INFO_TOKEN);
  ASSERT_EQ(clients.size(), 2u);  // Alice's client, and the office above it
  model::Client alice, office;
  ASSERT_TRUE(wire::read_client_row(clients[0], alice));
  ASSERT_TRUE(wire::read_client_row(clients[1], office));
  EXPECT_EQ(office.type, OFFICE_TYPE);
  EXPECT_EQ(alice.id, 10);
  EXPECT_EQ(alice.parent, 1000);
  const auto accounts = dana.Rows(GET_ACCOUNTS_TOKEN);
  ASSERT_EQ(accounts.size(), 1u);
  model::Account account;
  ASSERT_TRUE(wire::read_account_row(accounts[0], account));
  EXPECT_EQ(account.account, 100);
  EXPECT_TRUE(dana.Rows(GETOPENPOS_TOKEN).empty());  // Bob's position is not Dana's to see
  EXPECT_EQ(LogOn("nora", "pw").Rows(GETOPENPOS_TOKEN).size(), 1u);
}

TEST_F(DealingTest, ADepositReachesTheClientsTerminalAndTheDealerAtOnce) {
  Peer alice = LogOn("alice", "secret");
  Peer dana = LogOn("dana", "pw");
  const auto answer =
      dana.Executed(wire::MoneyRequest{1, 100, MoneyOrder::kDeposit, 500.5, "wire 77"});
  EXPECT_EQ(answer.ticket, 100);
  wire::TotalsPush pushed;
  bool told = false;
  for (const auto& m : alice.Read()) {
    if (m->TokenID() == SUMMARIES_CHANGED_TOKEN) told = wire::decode(*m, pushed);
  }
  ASSERT_TRUE(told);
  EXPECT_EQ(pushed.booked.totals.deposit, 2500.5);
  EXPECT_EQ(Totals(10, 100).deposit, 2500.5);
  const model::MoneyEntry entry = m_server->desk().snapshot().entries.back();
  EXPECT_EQ(entry.ledger, model::Ledger::kDeposit);
  EXPECT_EQ(entry.amount, 500.5);
  EXPECT_EQ(entry.note, "deposit by dana: wire 77");
  EXPECT_NE(LastAudit().row.find("dealer dana deposit 500.5"), std::string::npos);
  // A repeat of the number books nothing more.
  EXPECT_EQ(dana.Order(wire::MoneyRequest{1, 100, MoneyOrder::kDeposit, 500.5, ""}).code, 0);
  EXPECT_EQ(Totals(10, 100).deposit, 2500.5);
}

TEST_F(DealingTest, AWithdrawalNeverLeavesTheEffectiveMarginNegative) {
  Peer otto = LogOn("otto", "pw");
  const double free_margin = m_server->desk().figures_of(200)->effective_margin;
  ASSERT_GT(free_margin, 0);
  const model::Snapshot before = m_server->desk().snapshot();
  const wire::OrderAnswer too_much =
      otto.Order(wire::MoneyRequest{1, 200, MoneyOrder::kWithdrawal, free_margin + 0.01, ""});
  EXPECT_EQ(too_much.code, kNotEnoughFunds) << too_much.text;
  EXPECT_EQ(m_server->desk().snapshot().accounts, before.accounts);
  const double all = std::floor(free_margin * 100) / 100;
  EXPECT_EQ(otto.Order(wire::MoneyRequest{2, 200, MoneyOrder::kWithdrawal, all, ""}).code, 0);
  EXPECT_GE(m_server->desk().figures_of(200)->effective_margin, 0);
  EXPECT_EQ(otto.Order(wire::MoneyRequest{3, 200, MoneyOrder::kDeposit, -5, ""}).code,
            kBadAmount);
  EXPECT_EQ(otto.Order(wire::MoneyRequest{4, 200, MoneyOrder::kCreditOut, 1, ""}).code,
            wire::kNotAllowed);  // Otto may deposit and withdraw only
}

// Every dealer command, refused to a client user, to a dealer without its
// privilege, and to a dealer for a client outside its tree; none of them
// changes the book.
TEST_F(DealingTest, EveryDealerCommandIsRefusedToWhoMayNotGiveIt) {
  struct Command {
    TokensEnum token;
    std::vector<std::string> inside, outside;  // parameters for Alice's, then Bob's
  };
  const std::vector<Command> commands = {
      {ACCOUNT_TRANS_TOKEN, {"9", "100", "1", "10", ""}, {"9", "200", "1", "10", ""}},
      {ACCOUNT_TRANS_TOKEN, {"9", "100", "2", "10", ""}, {"9", "200", "2", "10", ""}},
      {ACCOUNT_TRANS_TOKEN, {"9", "100", "3", "10", ""}, {"9", "200", "3", "10", ""}},
      {ACCOUNT_TRANS_TOKEN, {"9", "100", "4", "10", ""}, {"9", "200", "4", "10", ""}},
      {ACCOUNT_TRANS_TOKEN, {"9", "100", "5", "10", ""}, {"9", "200", "5", "10", ""}},
      {NEW_POSITION_TOKEN, {"9", "100", "2", "1", "1", "1.2"}, {"9", "200", "2", "1", "1", "1.2"}},
      {CLOSE_POSITION_TOKEN, {"9", "100", "7", "0", "1.2"}, {"9", "200", "7", "0", "1.2"}},
      {NEW_CLIENT_TOKEN,
       {"9", "0", "1000", "zed", "pw", "5", "", "0", "0", "1", "0", "Zed"},
       {"9", "0", "20", "zed", "pw", "5", "", "0", "0", "1", "0", "Zed"}},
      {NEW_ACCOUNT_TOKEN, {"9", "10", "0", "1", "0"}, {"9", "20", "0", "1", "0"}},
      {UPDATE_CLIENT_INFO_TOKEN, {"9", "10", "0"}, {"9", "20", "0"}},
      {BROADCAST_MSG_TOKEN, {"9", "hello"}, {}},
      {DISCONNECT_SESSION_TOKEN, {"9", "10"}, {"9", "20"}},
  };
  Peer alice = LogOn("alice", "secret");
  Peer nora = LogOn("nora", "pw");
  Peer dana = LogOn("dana", "pw");
  const model::Snapshot before = m_server->desk().snapshot();
  auto expect_refused = [&](Peer& peer, const Command& command, const std::vector<std::string>& params,
                            const std::string& why) {
    SCOPED_TRACE("token " + std::to_string(command.token) + " by " + why);
    const wire::OrderAnswer answer = peer.Answer(command.token, params);
    EXPECT_EQ(answer.code, wire::kNotAllowed) << answer.text;
    EXPECT_NE(answer.text.find(why), std::string::npos) << answer.text;
  };
  for (const Command& command : commands) {
    expect_refused(alice, command, command.inside, "this kind of user may not");
    expect_refused(nora, command, command.inside, "lacks the privilege");
    if (!command.outside.empty()) {
      expect_refused(dana, command, command.outside, "outside the clients this dealer acts for");
    }
  }
  EXPECT_EQ(m_server->desk().snapshot(), before);
  EXPECT_FALSE(alice.socket->State() == SocketClosed);
}

TEST_F(DealingTest, ANewClientWithItsAccountLogsOnAndTrades) {
  Peer dana = LogOn("dana", "pw");
  const std::string parameters = m_server->desk().client(10)->parameters;
  wire::NewClientRequest client{1, 0, 0, "zed", "zpw", "5", parameters, 2, 50, 1, false, "Zed"};
  const auto made = dana.Executed(client);
  EXPECT_EQ(m_server->desk().client(made.ticket)->parent, 1000);  // under Dana's office
  const auto opened = dana.Executed(wire::NewAccountRequest{2, made.ticket, 0, 1, false});
  ASSERT_EQ(dana.Order(wire::MoneyRequest{3, opened.ticket, MoneyOrder::kDeposit, 1000, ""}).code, 0);

  Peer zed = LogOn("zed", "zpw");
  ASSERT_GT(zed.sid, 0);
  zed.Executed(wire::OpenRequest{1, opened.ticket, 2, BuyType, 0.1, 1.2003});
  EXPECT_EQ(zed.Rows(GETOPENPOS_TOKEN).size(), 1u);
  EXPECT_EQ(dana.Order(client).code, 0);  // the same number: its first answer again
  client.number = 4;
  EXPECT_EQ(dana.Order(client).code, kNameTaken);
}

TEST_F(DealingTest, AutoLiquidationSwitchedOffKeepsTheAccountOpenBelowItsPoint) {
  Peer dana = LogOn("dana", "pw");
  Peer alice = LogOn("alice", "secret");
  ASSERT_EQ(alice.Order(wire::OpenRequest{1, 100, 2, BuyType, 1, 1.2003}).code, 0);
  ASSERT_EQ(dana.Order(wire::AutoLiquidationRequest{1, 10, false}).code, 0);
  EXPECT_FALSE(m_server->desk().client(10)->auto_liquidation);
  Quote(1.1700, 1.1701);  // a loss of about 3,000 on a balance of 2,000
  EXPECT_EQ(m_server->desk().positions(10).size(), 1u);
  ASSERT_EQ(dana.Order(wire::AutoLiquidationRequest{2, 10, true}).code, 0);
  Quote(1.1699, 1.1700);
  EXPECT_TRUE(m_server->desk().positions(10).empty());
}

TEST_F(DealingTest, ADealerOpensAndClosesByHandAtItsOwnPrice) {
  Peer dana = LogOn("dana", "pw");
  Peer alice = LogOn("alice", "secret");
  const auto opened = dana.Executed(wire::ManualOpenRequest{1, 100, 2, BuyType, 1, 1.1990});
  EXPECT_EQ(opened.price, 1.1990);
  const std::vector<TokensEnum> told = alice.Tokens();
  EXPECT_NE(std::find(told.begin(), told.end(), NEW_OPEN_POSITION_TOKEN), told.end());
  dana.Executed(wire::ManualCloseRequest{2, 100, opened.ticket, 0, 1.2010});
  const model::HistoryEntry history = m_server->desk().history(10).back();
  EXPECT_EQ(history.close_price, 1.2010);
  EXPECT_EQ(history.note, "dealer");
  EXPECT_EQ(history.profit, 200 - 3);  // 20 pips of a lot, less the commission on close
  EXPECT_NE(LastAudit().row.find("(dealer dana)"), std::string::npos);
}

TEST_F(DealingTest, ABroadcastReachesTheTreeAndADisconnectClosesTheClient) {
  Peer dana = LogOn("dana", "pw");
  Peer alice = LogOn("alice", "secret");
  Peer bob = LogOn("bob", "pass");
  const wire::OrderAnswer sent = dana.Order(wire::BroadcastRequest{1, "Markets close early"});
  EXPECT_EQ(sent.text, "sent to 1 sessions");
  wire::TextPush text;
  const auto received = alice.Read();
  ASSERT_EQ(received.size(), 1u);
  ASSERT_TRUE(wire::decode(*received[0], text));
  EXPECT_EQ(text.text, "Markets close early");
  EXPECT_TRUE(bob.Read().empty());
  EXPECT_EQ(dana.Order(wire::DisconnectRequest{2, 10}).code, 0);
  EXPECT_EQ(alice.socket->State(), SocketClosed);
  EXPECT_NE(LastAudit().row.find("dealer dana: disconnect: closed 1 sessions"), std::string::npos);
}

// ---- group commit ----
// Group commit: everything one turn of the server's loop decides is one
// batch, and nobody hears of a change before that batch is committed.

class GroupCommitTest : public TradingTest {
 protected:
  GroupCommitTest() : TradingTest(kBook, true) {}

  static std::vector<TokensEnum> Tokens(const std::vector<std::shared_ptr<CProcess>>& messages) {
    std::vector<TokensEnum> tokens;
    for (const auto& m : messages) tokens.push_back(m->TokenID());
    return tokens;
  }
};

TEST_F(GroupCommitTest, TwoSessionsOrdersInOneTurnAreOneCommitToldOnlyAfterIt) {
  Peer alice = LogOn("alice", "secret");
  Peer bob = LogOn("bob", "pass");
  bob.socket->Send(wire::request_text(bob.sid, START_MARKET_TOKEN, {}));
  bob.Read();
  const size_t before = m_store->batches();

  alice.socket->Send(wire::request(alice.sid, wire::OpenRequest{1, 100, 2, BuyType, 1, 1.2003}));
  bob.socket->Send(wire::request(bob.sid, wire::OpenRequest{1, 200, 2, BuyType, 1, 1.2002}));
  // Decided, not yet durable: nobody has heard a word, and a price still
  // goes out at once.
  EXPECT_EQ(m_server->desk().positions(10).size(), 1u);
  EXPECT_TRUE(alice.Unread().empty());
  EXPECT_EQ(m_store->batches(), before);
  Quote(1.2001, 1.2002);
  EXPECT_EQ(Tokens(bob.Unread()), std::vector<TokensEnum>{MARKET_DATA_TOKEN});

  m_time->RunUntilIdle();
  EXPECT_EQ(m_store->batches(), before + 1);
  // The pushes of each order, then its answer.
  EXPECT_EQ(Tokens(alice.Read()), (std::vector<TokensEnum>{NEW_OPEN_POSITION_TOKEN,
                                                            SUMMARIES_CHANGED_TOKEN,
                                                            NEW_ORDER_TOKEN}));
  const auto bob_heard = bob.Read();
  ASSERT_EQ(Tokens(bob_heard), (std::vector<TokensEnum>{NEW_OPEN_POSITION_TOKEN,
                                                         SUMMARIES_CHANGED_TOKEN,
                                                         NEW_ORDER_TOKEN}));
  wire::OrderAnswer answer;
  ASSERT_TRUE(wire::decode(*bob_heard[2], answer));
  EXPECT_EQ(answer.code, 0) << answer.text;
}

TEST_F(GroupCommitTest, ARepeatedOrderNumberWaitsForItsFirstOutcomesCommit) {
  Peer alice = LogOn("alice", "secret");
  const auto order = wire::OpenRequest{7, 100, 2, BuyType, 1, 1.2003};
  alice.socket->Send(wire::request(alice.sid, order));
  alice.socket->Send(wire::request(alice.sid, order));
  EXPECT_TRUE(alice.Unread().empty());
  std::vector<wire::OrderAnswer> answers;
  for (const auto& m : alice.Read()) {
    wire::OrderAnswer answer;
    if (m->TokenID() == NEW_ORDER_TOKEN && wire::decode(*m, answer)) answers.push_back(answer);
  }
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0].code, 0) << answers[0].text;
  EXPECT_EQ(answers[1].ticket, answers[0].ticket);
  EXPECT_EQ(m_server->desk().positions(10).size(), 1u);
}

TEST_F(GroupCommitTest, AFailedCommitTellsNobodyAnythingOfItsBatchAndStopsTheServer) {
  Peer alice = LogOn("alice", "secret");
  Peer second = LogOn("alice", "secret");
  m_store->fail_commits("disk full");
  alice.socket->Send(wire::request(alice.sid, wire::OpenRequest{1, 100, 2, BuyType, 1, 1.2003}));
  m_time->RunUntilIdle();
  ASSERT_EQ(m_halted.size(), 1u);
  EXPECT_NE(m_halted[0].find("disk full"), std::string::npos) << m_halted[0];
  for (const auto& m : alice.Read()) EXPECT_NE(m->TokenID(), NEW_ORDER_TOKEN);
  for (const auto& m : second.Read()) EXPECT_NE(m->TokenID(), NEW_OPEN_POSITION_TOKEN);
  EXPECT_FALSE(m_server->running());
}

TEST_F(GroupCommitTest, AQuoteWhoseBatchIsRefusedStopsTheServerAndTellsTheHostWhy) {
  EXPECT_TRUE(m_halted.empty());
  ASSERT_TRUE(m_server->running());
  m_store->fail_commits("disk full");
  // Past the rollover: its batch must be committed, and is refused.
  m_server->apply_quote(
      {DateTime::FromParts(2027, 3, 3, 22, 0, 1), "03/03/2027 22:00:01", 2, 1.2002, 1.2003});
  m_time->RunUntilIdle();
  ASSERT_EQ(m_halted.size(), 1u);
  EXPECT_NE(m_halted[0].find("disk full"), std::string::npos) << m_halted[0];
  EXPECT_FALSE(m_server->running());
}

// ---- negotiation ----
// Market orders of a client dealt by hand, negotiated with the dealers on
// virtual time: accepted, rejected, re-quoted, switched and expired, each
// change shown to both sides, the client's order answered exactly once.

// Alice's client (under office 1000) is dealt by hand; Dana acts for the
// office, Dave for everyone; the dealer timer is 5 s, the re-quote timer 7 s.
const std::string kNegotiationBook = std::string(kBook) +
                                     "OFFICE 1000 0 Head office\n"
                                     "PARENT 10 1000\n"
                                     "SETTINGS 10 1 1 1\n"
                                     "DEALER dana pw 1000 23,45,46,47\n"
                                     "DEALER dave pw 0 23,45,46,47\n"
                                     "PLATFORM dealer_timer 5\n"
                                     "PLATFORM price_changed_timer 7\n";

// The negotiation pushes and order answers a peer received, in order.
struct Heard {
  std::vector<std::pair<TokensEnum, wire::Negotiation>> negotiations;
  std::vector<std::pair<TokensEnum, wire::OrderAnswer>> answers;

  static Heard From(const std::vector<std::shared_ptr<CProcess>>& messages) {
    Heard heard;
    for (const auto& m : messages) {
      wire::Negotiation n;
      wire::OrderAnswer a;
      if (m->Parameters() == 13 && wire::decode(*m, n)) {
        heard.negotiations.emplace_back(m->TokenID(), n);
      } else if (m->Parameters() == 5 && wire::decode(*m, a)) {
        heard.answers.emplace_back(m->TokenID(), a);
      }
    }
    return heard;
  }
  std::vector<TokensEnum> Tokens() const {
    std::vector<TokensEnum> tokens;
    for (const auto& [token, n] : negotiations) tokens.push_back(token);
    return tokens;
  }
};

class NegotiationTest : public TradingTest {
 protected:
  NegotiationTest() : TradingTest(kNegotiationBook) {}

  Peer Dealer(const std::string& name) {
    Peer dealer = LogOn(name, "pw");
    dealer.socket->Send(wire::request_text(dealer.sid, CHAT_ON_TOKEN));
    dealer.Read();
    return dealer;
  }
  // Alice asks to buy a lot at the price she sees; the id of its negotiation.
  int32_t AliceBuys(Peer& alice, Peer& dealer, int32_t number = 1) {
    alice.socket->Send(
        wire::request(alice.sid, wire::OpenRequest{number, 100, 2, BuyType, 1, 1.2003}));
    const Heard told = Heard::From(alice.Read());
    EXPECT_EQ(told.Tokens(), std::vector<TokensEnum>{MARKET_ORDER_RECIEVED_TOKEN});
    EXPECT_TRUE(told.answers.empty());  // no answer while it is negotiated
    const Heard sent = Heard::From(dealer.Read());
    EXPECT_EQ(sent.Tokens(), std::vector<TokensEnum>{SEND_TO_CHAT_TOKEN});
    if (sent.negotiations.empty()) return -1;
    const wire::Negotiation& n = sent.negotiations[0].second;
    EXPECT_EQ(n.status, RequestNewBuy);
    EXPECT_EQ(n.text, "New Buy - Request");
    EXPECT_EQ(n.price, 1.2003);
    return n.id;
  }
  // The answer Alice's order number 1 finally got.
  static wire::OrderAnswer OrderAnswerOf(const Heard& heard) {
    for (const auto& [token, answer] : heard.answers) {
      if (token == NEW_ORDER_TOKEN) return answer;
    }
    return {-1, -1, "no answer", 0, 0};
  }
};

TEST_F(NegotiationTest, WithNoDealerTakingOrdersTheOrderIsRefusedAtOnce) {
  Peer alice = LogOn("alice", "secret");
  LogOn("dana", "pw");  // logged on, but not taking orders
  const wire::OrderAnswer answer = alice.Order(wire::OpenRequest{1, 100, 2, BuyType, 1, 1.2003});
  EXPECT_EQ(answer.code, kNoDealer);
  EXPECT_EQ(answer.text, "No dealer takes orders now; try again later");
  EXPECT_TRUE(m_server->desk().positions(10).empty());
}

TEST_F(NegotiationTest, AnAcceptedOrderExecutesAtTheDealersPriceOnce) {
  Peer alice = LogOn("alice", "secret");
  Peer dana = Dealer("dana");
  const int32_t id = AliceBuys(alice, dana);
  // A repeat of the number while it is negotiated is neither sent again nor answered.
  alice.socket->Send(wire::request(alice.sid, wire::OpenRequest{1, 100, 2, BuyType, 1, 1.2003}));
  EXPECT_TRUE(alice.Read().empty());
  EXPECT_TRUE(dana.Read().empty());
  dana.Executed(wire::NegotiationAnswer{id, 1.2005}, DLR_ACCEPT_MARKET_ORDER_TOKEN);
  const Heard told = Heard::From(alice.Read());
  ASSERT_FALSE(told.negotiations.empty());
  EXPECT_EQ(told.negotiations.back().second.status, NewAccepted);
  EXPECT_EQ(told.negotiations.back().second.text, "Accepted");
  const wire::OrderAnswer answer = OrderAnswerOf(told);
  EXPECT_EQ(answer.code, 0) << answer.text;
  EXPECT_EQ(answer.price, 1.2005);
  ASSERT_EQ(m_server->desk().positions(10).size(), 1u);
  EXPECT_EQ(m_server->desk().positions(10)[0].price, 1.2005);
  // Decided: the number gets the same answer, and the dealer holds nothing.
  EXPECT_EQ(alice.Order(wire::OpenRequest{1, 100, 2, BuyType, 1, 1.2003}).price, 1.2005);
  EXPECT_TRUE(dana.Rows(MARKET_ORDER_TOKEN).empty());
  EXPECT_EQ(dana.Order(wire::NegotiationAnswer{id, 1.2}, DLR_ACCEPT_MARKET_ORDER_TOKEN).code,
            kUnknownOrder);
  // A close is negotiated too, with its position's symbol and direction.
  const int32_t ticket = m_server->desk().positions(10)[0].ticket;
  alice.socket->Send(wire::request(alice.sid, wire::CloseRequest{2, 100, ticket, 0, 1.2000}));
  alice.Read();
  const Heard sent = Heard::From(dana.Read());
  ASSERT_EQ(sent.Tokens(), std::vector<TokensEnum>{SEND_TO_CHAT_TOKEN});
  const wire::Negotiation& close = sent.negotiations[0].second;
  EXPECT_EQ(close.symbol, 2);
  EXPECT_EQ(close.ticket, ticket);
  EXPECT_EQ(close.direction, BuyType);
  EXPECT_EQ(close.text, "Liq Buy - Request");
}

TEST_F(NegotiationTest, ARejectedOrderIsAnsweredAndChangesNothing) {
  Peer alice = LogOn("alice", "secret");
  Peer dana = Dealer("dana");
  const int32_t id = AliceBuys(alice, dana);
  EXPECT_EQ(dana.Order(wire::NegotiationAnswer{id, 0}, DLR_REJECT_MARKET_ORDER_TOKEN).code, 0);
  const Heard told = Heard::From(alice.Read());
  ASSERT_FALSE(told.negotiations.empty());
  EXPECT_EQ(told.negotiations.back().second.text, "Rejected");
  EXPECT_EQ(OrderAnswerOf(told).code, kDealerRejected);
  EXPECT_TRUE(m_server->desk().positions(10).empty());
}

// Re-quoted three times: the client rejects, stays silent, then accepts.
TEST_F(NegotiationTest, OnlyTheClientEndsARequoteAndSilenceExpiresIt) {
  Peer alice = LogOn("alice", "secret");
  Peer dana = Dealer("dana");
  auto requote = [&](int32_t number) {
    const int32_t id = AliceBuys(alice, dana, number);
    EXPECT_EQ(dana.Order(wire::NegotiationAnswer{id, 1.2007}, DLR_CHANGE_MARKET_ORDER_TOKEN).code,
              0);
    const Heard requoted = Heard::From(alice.Read());
    EXPECT_EQ(requoted.Tokens(), std::vector<TokensEnum>{DLR_CHANGE_MARKET_ORDER_TOKEN});
    if (!requoted.negotiations.empty()) {
      EXPECT_EQ(requoted.negotiations[0].second.dealer_price, 1.2007);
      EXPECT_EQ(requoted.negotiations[0].second.text, "Price Sent - Request");
    }
    return id;
  };
  int32_t id = requote(1);
  alice.socket->Send(wire::request_text(alice.sid, REJECT_ORDER_TOKEN,
                                       wire::encode(wire::NegotiationAnswer{id, 0})));
  EXPECT_EQ(OrderAnswerOf(Heard::From(alice.Read())).code, kClientRejected);
  const Heard dealer_told = Heard::From(dana.Read());
  ASSERT_FALSE(dealer_told.negotiations.empty());
  EXPECT_EQ(dealer_told.negotiations.back().second.text, "Changed-client reject");

  id = requote(2);
  m_time->Advance(6999);
  EXPECT_TRUE(Heard::From(alice.Read()).Tokens().empty());
  m_time->Advance(1);
  const Heard expired = Heard::From(alice.Read());
  EXPECT_EQ(OrderAnswerOf(expired).code, kExpired);
  ASSERT_FALSE(expired.negotiations.empty());
  EXPECT_EQ(expired.negotiations.back().second.text, "Changed-Timer expired");
  EXPECT_EQ(alice.Order(wire::NegotiationAnswer{id, 0}, ACCEPT_ORDER_TOKEN).code, kUnknownOrder);
  dana.Read();
  EXPECT_TRUE(m_server->desk().positions(10).empty());

  id = requote(3);
  // The dealer waits for the client.
  EXPECT_EQ(dana.Order(wire::NegotiationAnswer{id, 1.2}, DLR_ACCEPT_MARKET_ORDER_TOKEN).code,
            kUnknownOrder);
  EXPECT_EQ(alice.Order(wire::NegotiationAnswer{id, 0}, ACCEPT_ORDER_TOKEN).code, 0);
  EXPECT_EQ(m_server->desk().positions(10).at(0).price, 1.2007);
}

TEST_F(NegotiationTest, ASilentDealerHasTheOrderSwitchedThenExpired) {
  Peer alice = LogOn("alice", "secret");
  Peer dana = Dealer("dana");
  Peer dave = Dealer("dave");
  const int32_t id = AliceBuys(alice, dana);
  EXPECT_TRUE(dave.Read().empty());
  m_time->Advance(4999);  // handshakes only
  EXPECT_TRUE(Heard::From(dave.Read()).Tokens().empty());
  m_time->Advance(1);
  EXPECT_EQ(Heard::From(dana.Read()).Tokens(), std::vector<TokensEnum>{SWITCH_ORDER_TOKEN});
  const Heard switched = Heard::From(dave.Read());
  ASSERT_EQ(switched.Tokens(), std::vector<TokensEnum>{SEND_TO_CHAT_TOKEN});
  EXPECT_EQ(switched.negotiations[0].second.id, id);
  EXPECT_EQ(dave.Rows(MARKET_ORDER_TOKEN).size(), 1u);
  m_time->Advance(5000);
  const Heard expired = Heard::From(alice.Read());
  ASSERT_FALSE(expired.negotiations.empty());
  EXPECT_EQ(expired.negotiations.back().first, TIMER_EXPIRED_TOKEN);
  EXPECT_EQ(expired.negotiations.back().second.text, "Sent-Timer expired");
  EXPECT_EQ(OrderAnswerOf(expired).code, kExpired);
  EXPECT_EQ(Heard::From(dave.Read()).Tokens(), std::vector<TokensEnum>{TIMER_EXPIRED_TOKEN});
}

TEST_F(NegotiationTest, ADealerLoggingOnAgainGetsBackWhatItHolds) {
  Peer alice = LogOn("alice", "secret");
  Peer dana = Dealer("dana");
  const int32_t id = AliceBuys(alice, dana);
  dana.socket->Close();
  m_time->RunUntilIdle();
  Peer again = LogOn("dana", "pw");
  const std::vector<std::string> rows = again.Rows(MARKET_ORDER_TOKEN);
  ASSERT_EQ(rows.size(), 1u);
  wire::Negotiation held;
  ASSERT_TRUE(wire::read_negotiation_row(rows[0], held));
  EXPECT_EQ(held.id, id);
  EXPECT_EQ(held.dealer, "dana");
  EXPECT_EQ(again.Order(wire::NegotiationAnswer{id, 1.2004}, DLR_ACCEPT_MARKET_ORDER_TOKEN).code, 0);
}

// Two lives of a server on one store: what the first was negotiating when
// it stopped is expired by the second, and each side is told as it logs on.
TEST(NegotiationRestartTest, NegotiationsInFlightExpireWhenTheServerStartsAgain) {
  model::Snapshot book = import_book(kNegotiationBook, "book");
  hash_passwords(book, 1000);
  MemoryStore store(book);
  std::shared_ptr<FixedClock> clock = std::make_shared<FixedClock>();
  ScopedClock scoped(clock);
  int32_t id = 0;
  for (int life = 1; life <= 2; ++life) {
    auto time = std::make_shared<VirtualTimeScheduler>();
    auto network = MemoryNetwork::Create(time, false);
    std::vector<std::string> log;
    ServerOptions options;
    options.start_after_sessions = 99;
    options.gateway.log = [&log](const std::string& line) { log.push_back(line); };
    ServerEnvironment environment{std::make_shared<MemoryAcceptor>(network), time,
                                  [time] { return time->Elapsed(); }, &store};
    environment.post = [time](std::function<void()> task) { time->Post(std::move(task)); };
    auto server = std::make_unique<TradingServer>(store.load(), PriceFeed::from_tape({}), clock,
                                                  std::move(environment), options);
    const int32_t port = server->start("127.0.0.1", 0);
    // Logs on, keeping what came with the answer.
    std::vector<TokensEnum> told_at_log_on;
    auto log_on = [&](const std::string& user, const std::string& password) {
      std::vector<std::shared_ptr<CProcess>> messages;
      Peer peer = LogOnPeer(*network, time, port, user, password, &messages);
      for (const auto& m : messages) {
        wire::Negotiation n;
        if (m->TokenID() == TIMER_EXPIRED_TOKEN && wire::decode(*m, n) && n.id == id) {
          told_at_log_on.push_back(m->TokenID());
        }
      }
      return peer;
    };
    Peer alice = log_on("alice", "secret");
    Peer dana = log_on("dana", "pw");
    if (life == 1) {
      dana.socket->Send(wire::request_text(dana.sid, CHAT_ON_TOKEN));
      dana.Read();
      alice.socket->Send(
          wire::request(alice.sid, wire::OpenRequest{1, 100, 2, BuyType, 1, 1.2003}));
      alice.Read();
      const auto sent = dana.Read();
      wire::Negotiation n;
      ASSERT_TRUE(!sent.empty() && wire::decode(*sent.back(), n));
      id = n.id;
      continue;  // the server stops with the order in negotiation
    }
    EXPECT_EQ(told_at_log_on.size(), 2u);  // Alice and Dana, once each
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "1 negotiations expired: the server stopped during them"),
              log.end());
    const wire::OrderAnswer again = alice.Order(wire::OpenRequest{1, 100, 2, BuyType, 1, 1.2003});
    EXPECT_EQ(again.code, kExpired) << again.text;
    EXPECT_TRUE(server->desk().positions(10).empty());
    EXPECT_TRUE(dana.Rows(MARKET_ORDER_TOKEN).empty());
  }
  EXPECT_GT(id, 0);
}

}  // namespace
}  // namespace orvane::apps
