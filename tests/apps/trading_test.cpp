// Market orders through the server's gateway on an in-memory network: a buy
// opened at the client's ask and closed at its bid with the result in the
// balance and the history to the cent, every rule refused on a book with
// real limits and the account left as it was, a partial close and a close
// by hedge keeping the rest under the ticket, exactly-once order numbers,
// pushes to every session of the client, and another client's account
// refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

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

}  // namespace
}  // namespace orvane::apps
