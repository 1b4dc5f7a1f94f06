// Group commit: everything one turn of the server's loop decides is one
// batch, and nobody hears of a change before that batch is committed.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "memory_store.h"
#include "trading_fixture.h"

namespace orvane::apps {
namespace {

class GroupCommitTest : public ::testing::Test {
 protected:
  GroupCommitTest() {
    ServerOptions options;
    options.start_after_sessions = 99;
    options.gateway.multi_sessions_allowed = true;
    options.halted = [this](const std::string& reason) { m_halted.push_back(reason); };
    m_server = std::make_unique<TradingServer>(
        model::Snapshot{}, PriceFeed::from_tape({}), m_clock,
        ServerEnvironment{std::make_shared<MemoryAcceptor>(m_network), m_time,
                          [this] { return m_time->Elapsed(); }, &m_store,
                          [this](std::function<void()> task) { m_time->Post(std::move(task)); }},
        options);
    m_port = m_server->start("127.0.0.1", 0);
    Quote(1.2000, 1.2001, 0);
    m_time->RunUntilIdle();
  }

  Peer LogOn(const std::string& user, const std::string& password) {
    return LogOnPeer(*m_network, m_time, m_port, user, password);
  }

  void Quote(double bid, double ask, int second) {
    m_server->apply_quote({DateTime::FromParts(2027, 3, 3, 12, 0, second),
                          "03/03/2027 12:00:0" + std::to_string(second), 2, bid, ask});
  }

  static std::vector<TokensEnum> Tokens(const std::vector<std::shared_ptr<CProcess>>& messages) {
    std::vector<TokensEnum> tokens;
    for (const auto& m : messages) tokens.push_back(m->TokenID());
    return tokens;
  }

  std::shared_ptr<FixedClock> m_clock = std::make_shared<FixedClock>();
  ScopedClock m_scoped{m_clock};
  std::shared_ptr<VirtualTimeScheduler> m_time = std::make_shared<VirtualTimeScheduler>();
  std::shared_ptr<MemoryNetwork> m_network = MemoryNetwork::Create(m_time, false);
  MemoryStore m_store{seed_book(import_book(kBook, "book"), PriceFeed::from_tape({}), 1)};
  std::vector<std::string> m_halted;
  std::unique_ptr<TradingServer> m_server;
  int32_t m_port = 0;
};

TEST_F(GroupCommitTest, TwoSessionsOrdersInOneTurnAreOneCommitToldOnlyAfterIt) {
  Peer alice = LogOn("alice", "secret");
  Peer bob = LogOn("bob", "pass");
  bob.socket->Send(wire::request_text(bob.sid, START_MARKET_TOKEN, {}));
  bob.Read();
  const size_t before = m_store.batches();

  alice.socket->Send(wire::request(alice.sid, wire::OpenRequest{1, 100, 2, BuyType, 1, 1.2003}));
  bob.socket->Send(wire::request(bob.sid, wire::OpenRequest{1, 200, 2, BuyType, 1, 1.2002}));
  // Decided, not yet durable: nobody has heard a word, and a price still
  // goes out at once.
  EXPECT_EQ(m_server->desk().positions(10).size(), 1u);
  EXPECT_TRUE(alice.Unread().empty());
  EXPECT_EQ(m_store.batches(), before);
  Quote(1.2001, 1.2002, 1);
  EXPECT_EQ(Tokens(bob.Unread()), std::vector<TokensEnum>{MARKET_DATA_TOKEN});

  m_time->RunUntilIdle();
  EXPECT_EQ(m_store.batches(), before + 1);
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
  m_store.fail_commits("disk full");
  alice.socket->Send(wire::request(alice.sid, wire::OpenRequest{1, 100, 2, BuyType, 1, 1.2003}));
  m_time->RunUntilIdle();
  ASSERT_EQ(m_halted.size(), 1u);
  EXPECT_NE(m_halted[0].find("disk full"), std::string::npos) << m_halted[0];
  for (const auto& m : alice.Read()) EXPECT_NE(m->TokenID(), NEW_ORDER_TOKEN);
  for (const auto& m : second.Read()) EXPECT_NE(m->TokenID(), NEW_OPEN_POSITION_TOKEN);
  EXPECT_FALSE(m_server->running());
}

}  // namespace
}  // namespace orvane::apps
