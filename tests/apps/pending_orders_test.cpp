// Pending orders through the server's gateway: an entry order filled by a
// later price with its levels guarding the new position, one deleted at its
// expiry before the quote that would fill it, a stop-loss moved and then
// hit, every rule refused at its boundary, and each change pushed to a
// second session of the client.

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "trading_fixture.h"

namespace orvane::apps {
namespace {

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
  wire::EntryDeleteRequest not_an_entry;
  not_an_entry.number = 35;
  not_an_entry.account = 100;
  not_an_entry.order = guard.ticket;
  EXPECT_EQ(alice.Order(not_an_entry).code, kUnknownOrder);
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
  wire::EntryDeleteRequest deletion;
  deletion.number = 3;
  deletion.account = 100;
  deletion.order = placed.ticket;
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

}  // namespace
}  // namespace orvane::apps
