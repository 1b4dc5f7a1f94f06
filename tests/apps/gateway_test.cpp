// The server's gateway on an in-memory network and virtual time: the route
// table is checked before any handler, quotes fan out as the same bytes to
// every session, pushes reach only the client's sessions, and handshakes
// and log-on deadlines run on the timer seam.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "book_import.h"
#include "messages.h"
#include "orvane/connection/memory_acceptor.h"
#include "orvane/connection/memory_network.h"
#include "orvane/connection/memory_socket.h"
#include "orvane/connection/virtual_timer.h"
#include "orvane/core/clock.h"
#include "orvane/protocol/data_protocol.h"
#include "orvane/protocol/process.h"
#include "routes.h"
#include "trading_server.h"

namespace orvane::apps {
namespace {

const char* kBook = R"(SYMBOL 1 USD -4 1 1 1 1 0 1 1 FRIDAY 22:00 SUNDAY 22:00
SYMBOL 2 EURUSD -4 100000 1 1 1 1000 1.2000 1.2001 FRIDAY 22:00 SUNDAY 22:00
PARAMSET plain 1,0,0,0,0,0,100,0.01,0,2,2,0,0,0,0,100,0.01,0
PARAMSET wide 1,0,0,0,0,0,100,0.01,0,2,5,0,0,0,0,100,0.01,0
CLIENT 10 plain 2 50 2 0 Alice
USER alice secret 10 4,5,8
ACCOUNT 10 100 1 0 0 2000 0 -1000 0 0 0 0
POSITION 10 100 10R,@100R,@1R,@03/03/2027 09:00:00R,@BuyR,@1R,@2R,@1.2000R,@R,@R,@0R,@1R,@EURUSDR,@0R,@R,@
ORDER 10 100 11R,@03/03/2027 09:00:00R,@-1R,@1R,@2R,@0R,@SLR,@1R,@1.1850R,@0R,@0R,@
CLIENT 20 wide 1 0 1 0 Bob
USER bob pass 20 -
USER dealer pass 20 4,5,8
ACCOUNT 20 200 1 0 0 5000 0 0 0 0 0 0
)";

// One peer of the server: what it sent and what it received, message by
// message.
struct Peer {
  explicit Peer(std::shared_ptr<MemorySocket> s) : socket(std::move(s)) {}

  std::shared_ptr<MemorySocket> socket;
  int32_t sid = -1;

  void Send(TokensEnum token, const std::vector<std::string>& params = {}) {
    socket->Send(wire::RequestText(sid, token, params));
  }
  // Everything received since the last call, parsed.
  std::vector<std::shared_ptr<CProcess>> Read() {
    std::vector<std::string> texts;
    m_raw = socket->Receive();
    const int32_t count = m_split->SplitBuffer(m_raw, texts);
    std::vector<std::shared_ptr<CProcess>> messages;
    for (int32_t i = 1; i <= count; ++i) {
      messages.push_back(CProcess::New());
      messages.back()->DefineProcessByCommand(5, texts[i]);
    }
    return messages;
  }
  const std::string& raw() const { return m_raw; }

 private:
  std::unique_ptr<CDataProtocol> m_split = std::make_unique<CDataProtocol>();
  std::string m_raw;
};

class GatewayTest : public ::testing::Test {
 protected:
  GatewayTest() {
    model::Snapshot book = ImportBook(kBook, "book");
    for (model::User& u : book.users) {
      if (u.username == "dealer") u.type = DEALER_USER_TYPE;
    }
    ServerOptions options;
    options.rate = 1;
    options.start_after_sessions = 99;  // quotes come from the test
    options.gateway.log = [this](const std::string& line) { m_log.push_back(line); };
    m_server = std::make_unique<TradingServer>(
        book, PriceFeed::FromTape({}), m_clock,
        ServerEnvironment{std::make_shared<MemoryAcceptor>(m_network), m_time,
                          [this] { return m_time->Elapsed(); }},
        options);
    m_port = m_server->Start("127.0.0.1", 0);
  }

  Peer Connect() {
    Peer peer(m_network->CreateSocket());
    peer.socket->Connect("127.0.0.1", m_port);
    m_time->RunUntilIdle();
    return peer;
  }

  Peer LogOn(const std::string& user, const std::string& password) {
    Peer peer = Connect();
    peer.Send(LOGIN_TOKEN, {user, password});
    wire::LoggedOn answer;
    const auto messages = peer.Read();
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_TRUE(!messages.empty() && wire::Decode(*messages[0], answer));
    peer.sid = answer.sid;
    return peer;
  }

  model::Quote QuoteOf(double bid, double ask) {
    model::Quote q{DateTime::FromParts(2027, 3, 3, 12, 0, 0), "03/03/2027 12:00:00", 2, bid, ask};
    return q;
  }

  std::shared_ptr<FixedClock> m_clock = std::make_shared<FixedClock>();
  ScopedClock m_scoped{m_clock};
  std::shared_ptr<VirtualTimeScheduler> m_time = std::make_shared<VirtualTimeScheduler>();
  // Synchronous delivery: every answer is there when the request returns.
  std::shared_ptr<MemoryNetwork> m_network = MemoryNetwork::Create(m_time, false);
  int32_t m_port = 0;
  std::vector<std::string> m_log;
  std::unique_ptr<TradingServer> m_server;
};

TEST_F(GatewayTest, EveryRouteRefusesAUserOfTheWrongKindAndChangesNothing) {
  Peer dealer = LogOn("dealer", "pass");
  const model::Snapshot before = m_server->desk().Snapshot();
  for (const Route& route : Routes()) {
    SCOPED_TRACE(route.action);
    dealer.Send(route.token);
    const auto answer = dealer.Read();
    ASSERT_EQ(answer.size(), 1u);
    wire::Refusal refusal;
    ASSERT_TRUE(wire::Decode(*answer[0], refusal));
    EXPECT_EQ(refusal.code, wire::kNotAllowed);
    EXPECT_EQ(refusal.token, route.token);
    EXPECT_EQ(refusal.text.rfind("Not allowed: ", 0), 0u) << refusal.text;
  }
  EXPECT_EQ(m_server->desk().Snapshot(), before);
  EXPECT_EQ(m_server->PricesSent(), 0u);  // not even START_MARKET got through
}

TEST_F(GatewayTest, EveryRouteNeedingAPrivilegeRefusesAUserWithout) {
  Peer bob = LogOn("bob", "pass");  // no privileges
  for (const Route& route : Routes()) {
    if (route.privilege == NonePriv) continue;
    SCOPED_TRACE(route.action);
    bob.Send(route.token);
    const auto answer = bob.Read();
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_EQ(answer[0]->TokenID(), ERROR_TOKEN);
    EXPECT_EQ(answer[0]->ParameterValue(1), std::to_string(wire::kNotAllowed));
  }
  bob.Send(NEWS_TOKEN);  // a token nobody routes
  const auto answer = bob.Read();
  ASSERT_EQ(answer.size(), 1u);
  EXPECT_EQ(answer[0]->ParameterValue(1), "-501");
}

TEST_F(GatewayTest, AQuoteGoesOutAsTheSameBytesToEverySessionThatStartedTheMarket) {
  Peer alice = LogOn("alice", "secret");
  Peer bob = LogOn("bob", "pass");
  Peer idle = LogOn("alice", "secret");  // never starts the market
  for (Peer* p : {&alice, &bob}) {
    p->Send(START_MARKET_TOKEN);
    const auto start = p->Read();
    ASSERT_EQ(start.size(), 2u);  // RESULT_OK, then the one tradable symbol's quote
    EXPECT_EQ(start[0]->TokenID(), RESULT_OK_TOKEN);
    EXPECT_EQ(start[1]->ParameterValue(2), "1.2");  // raw, whatever the client's spread
  }
  m_server->ApplyQuote(QuoteOf(1.1960, 1.1961));
  alice.Read();
  bob.Read();
  EXPECT_EQ(alice.raw(), bob.raw());
  ASSERT_TRUE(!alice.raw().empty());
  EXPECT_NE(alice.raw().find("1.196"), std::string::npos);
  EXPECT_TRUE(idle.Read().empty());
  EXPECT_EQ(m_server->PricesSent(), 4u);
}

TEST_F(GatewayTest, AnExecutionIsPushedToTheClientsSessionsOnly) {
  Peer alice = LogOn("alice", "secret");
  Peer alice_again = LogOn("alice", "secret");
  Peer bob = LogOn("bob", "pass");
  m_server->ApplyQuote(QuoteOf(1.1840, 1.1841));  // through Alice's stop-loss at 1.1850
  for (Peer* p : {&alice, &alice_again}) {
    std::vector<TokensEnum> tokens;
    for (const auto& m : p->Read()) tokens.push_back(m->TokenID());
    EXPECT_EQ(tokens, (std::vector<TokensEnum>{DELETE_PENDING_ORDER_TOKEN,
                                               CLOSE_OPEN_POSITION_TOKEN,
                                               NEW_ACCOUNT_HISTORY_TOKEN,
                                               SUMMARIES_CHANGED_TOKEN}));
  }
  EXPECT_TRUE(bob.Read().empty());
}

TEST_F(GatewayTest, HandshakesAndTheLogOnDeadlineRunOnVirtualTime) {
  Peer alice = LogOn("alice", "secret");
  Peer silent = Connect();
  m_time->Advance(999);
  EXPECT_TRUE(alice.Read().empty());
  m_time->Advance(1);
  const auto beat = alice.Read();
  ASSERT_EQ(beat.size(), 1u);
  EXPECT_EQ(beat[0]->TokenID(), CONNECT_HANDCHAKE_TOKEN);
  EXPECT_EQ(m_server->Connections(), 2u);
  m_time->Advance(4000);
  EXPECT_EQ(m_server->Connections(), 1u);
  EXPECT_EQ(silent.socket->State(), SocketClosed);
}

}  // namespace
}  // namespace orvane::apps
