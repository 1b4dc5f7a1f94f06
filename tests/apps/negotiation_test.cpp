// Market orders of a client dealt by hand, negotiated with the dealers on
// virtual time: accepted, rejected, re-quoted, switched and expired, each
// change shown to both sides, the client's order answered exactly once.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "memory_store.h"
#include "password_hash.h"
#include "trading_fixture.h"

namespace orvane::apps {
namespace {

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
