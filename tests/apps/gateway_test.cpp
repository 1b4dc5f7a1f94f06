// The server's gateway on an in-memory network and virtual time: the route
// table is checked before any handler, quotes fan out as the same bytes to
// every session, pushes reach only the client's sessions, and handshakes
// and log-on deadlines run on the timer seam.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "book_import.h"
#include "log_on_throttle.h"
#include "messages.h"
#include "metrics.h"
#include "metrics_endpoint.h"
#include "orvane/core/clock.h"
#include "orvane/protocol/data_protocol.h"
#include "orvane/protocol/process.h"
#include "orvane/testing/memory_acceptor.h"
#include "orvane/testing/memory_network.h"
#include "orvane/testing/memory_socket.h"
#include "orvane/testing/virtual_timer.h"
#include "password_checks.h"
#include "password_hash.h"
#include "routes.h"
#include "trading_fixture.h"
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

// Sends a request of `token` on the peer's session.
void Send(Peer& peer, TokensEnum token, const std::vector<std::string>& params = {}) {
  peer.socket->Send(wire::request_text(peer.sid, token, params));
}

// A memory acceptor that reports connections still in their TLS handshake,
// and drops some as a TLS listener does.
class HandshakingAcceptor : public MemoryAcceptor {
 public:
  using MemoryAcceptor::MemoryAcceptor;
  size_t Pending() const override { return pending; }
  void Advise(IAcceptorEvents* l) override {
    listener = l;
    MemoryAcceptor::Advise(l);
  }
  void Drop(const std::string& why) { listener->Dropped("10.1.2.3", why); }
  size_t pending = 0;
  IAcceptorEvents* listener = nullptr;
};

class GatewayTest : public ::testing::Test {
 protected:
  GatewayTest() { Build(); }

  // (Re)builds the server, its options changed by `tweak`.
  void Build(const std::function<void(ServerOptions&)>& tweak = {},
             PriceFeed feed = PriceFeed::from_tape({})) {
    m_server.reset();
    model::Snapshot book = import_book(kBook, "book");
    for (model::User& u : book.users) {
      if (u.username == "dealer") u.type = DEALER_USER_TYPE;
    }
    ServerOptions options;
    options.rate = 1;
    options.start_after_sessions = 99;  // quotes come from the test
    options.gateway.multi_sessions_allowed = true;  // tests log one user on twice
    options.gateway.log = [this](const std::string& line) { m_log.push_back(line); };
    if (tweak) tweak(options);
    m_acceptor = std::make_shared<HandshakingAcceptor>(m_network);
    m_server = std::make_unique<TradingServer>(
        book, std::move(feed), m_clock,
        ServerEnvironment{m_acceptor, m_time,
                          [this] { return m_time->Elapsed() + m_stalled_ms; }},
        options);
    m_port = m_server->start("127.0.0.1", 0);
  }

  size_t Logged(const std::string& text) const {
    return static_cast<size_t>(std::count_if(m_log.begin(), m_log.end(), [&](const std::string& l) {
      return l.find(text) != std::string::npos;
    }));
  }

  Peer Connect() {
    Peer peer(m_network->CreateSocket(), m_time);
    peer.socket->Connect("127.0.0.1", m_port);
    m_time->RunUntilIdle();
    return peer;
  }

  Peer LogOn(const std::string& user, const std::string& password) {
    return LogOnPeer(*m_network, m_time, m_port, user, password);
  }

  model::Quote QuoteOf(double bid, double ask) {
    model::Quote q{DateTime::FromParts(2027, 3, 3, 12, 0, 0), "03/03/2027 12:00:00", 2, bid, ask};
    return q;
  }

  std::shared_ptr<FixedClock> m_clock = std::make_shared<FixedClock>();
  ScopedClock m_scoped{m_clock};
  std::shared_ptr<VirtualTimeScheduler> m_time = std::make_shared<VirtualTimeScheduler>();
  // Time the process lost without its timers running (a stall).
  int64_t m_stalled_ms = 0;
  // Synchronous delivery: every answer is there when the request returns.
  std::shared_ptr<MemoryNetwork> m_network = MemoryNetwork::Create(m_time, false);
  int32_t m_port = 0;
  std::vector<std::string> m_log;
  std::shared_ptr<HandshakingAcceptor> m_acceptor;
  std::unique_ptr<TradingServer> m_server;
};

TEST_F(GatewayTest, EveryRouteRefusesAUserOfTheWrongKindAndChangesNothing) {
  Peer dealer = LogOn("dealer", "pass");
  Peer alice = LogOn("alice", "secret");
  const model::Snapshot before = m_server->desk().snapshot();
  size_t refused = 0;
  for (const Route& route : routes()) {
    for (auto [peer, type] : {std::pair{&dealer, DEALER_USER_TYPE}, {&alice, CLIENT_USER_TYPE}}) {
      if (serves(route, type)) continue;
      SCOPED_TRACE(route.action);
      Send(*peer, route.token, {"1", "100"});
      const auto answer = peer->Read();
      ASSERT_EQ(answer.size(), 1u);
      std::string text;
      if (route.order) {
        wire::OrderAnswer refusal;
        ASSERT_TRUE(wire::decode(*answer[0], refusal));
        EXPECT_EQ(answer[0]->TokenID(), route.token);
        EXPECT_EQ(refusal.code, wire::kNotAllowed);
        text = refusal.text;
      } else {
        wire::Refusal refusal;
        ASSERT_TRUE(wire::decode(*answer[0], refusal));
        EXPECT_EQ(refusal.code, wire::kNotAllowed);
        EXPECT_EQ(refusal.token, route.token);
        text = refusal.text;
      }
      EXPECT_EQ(text.rfind("Not allowed: this kind of user may not ", 0), 0u) << text;
      ++refused;
    }
  }
  EXPECT_GE(refused, 20u);
  EXPECT_EQ(m_server->desk().snapshot(), before);
  EXPECT_EQ(m_server->prices_sent(), 0u);
}

TEST_F(GatewayTest, EveryRouteNeedingAPrivilegeRefusesAUserWithout) {
  Peer bob = LogOn("bob", "pass");  // no privileges
  for (const Route& route : routes()) {
    if (route.privilege == NonePriv) continue;
    SCOPED_TRACE(route.action);
    Send(bob, route.token);
    const auto answer = bob.Read();
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_EQ(answer[0]->TokenID(), ERROR_TOKEN);
    EXPECT_EQ(answer[0]->ParameterValue(1), std::to_string(wire::kNotAllowed));
  }
  Send(bob, NEWS_TOKEN);  // a token nobody routes
  const auto answer = bob.Read();
  ASSERT_EQ(answer.size(), 1u);
  EXPECT_EQ(answer[0]->ParameterValue(1), "-501");
}

TEST_F(GatewayTest, AQuoteGoesOutAsTheSameBytesToEverySessionThatStartedTheMarket) {
  Peer alice = LogOn("alice", "secret");
  Peer bob = LogOn("bob", "pass");
  Peer idle = LogOn("alice", "secret");  // never starts the market
  for (Peer* p : {&alice, &bob}) {
    Send(*p, START_MARKET_TOKEN);
    const auto start = p->Read();
    ASSERT_EQ(start.size(), 2u);  // RESULT_OK, then the one tradable symbol's quote
    EXPECT_EQ(start[0]->TokenID(), RESULT_OK_TOKEN);
    EXPECT_EQ(start[1]->ParameterValue(2), "1.2");  // raw, whatever the client's spread
  }
  m_server->apply_quote(QuoteOf(1.1960, 1.1961));
  const std::string sent = alice.socket->Receive();
  EXPECT_EQ(sent, bob.socket->Receive());
  EXPECT_NE(sent.find("1.196"), std::string::npos);
  EXPECT_TRUE(idle.Read().empty());
  EXPECT_EQ(m_server->prices_sent(), 4u);
}

TEST_F(GatewayTest, AnExecutionIsPushedToTheClientsSessionsOnly) {
  Peer alice = LogOn("alice", "secret");
  Peer alice_again = LogOn("alice", "secret");
  Peer bob = LogOn("bob", "pass");
  m_server->apply_quote(QuoteOf(1.1840, 1.1841));  // through Alice's stop-loss at 1.1850
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
  EXPECT_EQ(m_server->connections(), 2u);
  m_time->Advance(4000);
  EXPECT_EQ(m_server->connections(), 1u);
  EXPECT_EQ(silent.socket->State(), SocketClosed);
}

// ---- limits ----

// The refusal a log-on got, and whether its connection is closed.
wire::Refusal RefusedLogOn(Peer& peer, const std::string& user, const std::string& password) {
  Send(peer, LOGIN_TOKEN, {user, password});
  wire::Refusal refusal;
  const auto answer = peer.Read();
  EXPECT_EQ(answer.size(), 1u);
  EXPECT_TRUE(!answer.empty() && wire::decode(*answer[0], refusal));
  EXPECT_EQ(peer.socket->State(), SocketClosed);
  return refusal;
}

TEST_F(GatewayTest, ASecondLogOnOfAUserClosesTheFirstWhenOneSessionIsAllowed) {
  Build([](ServerOptions& o) { o.gateway.multi_sessions_allowed = false; });
  Peer first = LogOn("alice", "secret");
  Peer bob = LogOn("bob", "pass");
  Peer second = LogOn("alice", "secret");
  const auto told = first.Read();
  ASSERT_EQ(told.size(), 1u);
  wire::Refusal refusal;
  ASSERT_TRUE(wire::decode(*told[0], refusal));
  EXPECT_EQ(refusal.code, wire::kLoginRefused);
  EXPECT_EQ(refusal.text, "This user has logged on elsewhere");
  EXPECT_EQ(first.socket->State(), SocketClosed);
  EXPECT_EQ(Logged("closed: the user logged on again from 127.0.0.1:"), 1u);
  EXPECT_EQ(m_server->logged_on_sessions(), 2u);
  Send(second, GET_ACCOUNTS_TOKEN);
  EXPECT_EQ(second.Read().at(0)->TokenID(), RESULT_COUNT_TOKEN);
  EXPECT_EQ(bob.socket->State(), SocketConnected);
}

TEST_F(GatewayTest, ALogOnBeyondTheUsersOrTheAddresssSessionsIsRefusedWithAText) {
  Build([](ServerOptions& o) {
    o.gateway.max_sessions_per_user = 2;
    o.gateway.max_sessions_per_address = 3;
  });
  Peer a1 = LogOn("alice", "secret");
  Peer a2 = LogOn("alice", "secret");
  Peer third = Connect();
  EXPECT_EQ(RefusedLogOn(third, "alice", "secret").text, "Too many sessions for this user (2)");
  Peer bob = LogOn("bob", "pass");
  Peer fourth = Connect();
  const wire::Refusal refusal = RefusedLogOn(fourth, "dealer", "pass");
  EXPECT_EQ(refusal.code, wire::kLoginRefused);
  EXPECT_EQ(refusal.text, "Too many sessions from this address (3)");
  EXPECT_EQ(Logged("log-on refused for 'dealer': Too many sessions from this address"), 1u);
  EXPECT_EQ(m_server->logged_on_sessions(), 3u);
  // A session that goes makes room for one.
  Send(a2, DISCONNECT_TOKEN);
  Peer dealer = LogOn("dealer", "pass");
  EXPECT_EQ(dealer.socket->State(), SocketConnected);
  EXPECT_EQ(m_server->logged_on_sessions(), 3u);
}

TEST_F(GatewayTest, TheConnectionCapCountsHandshakesAndLogsOncePerBurst) {
  Build([](ServerOptions& o) { o.gateway.max_connections = 3; });
  m_acceptor->pending = 1;  // one connection still in its TLS handshake
  Peer a = Connect();
  Peer b = Connect();
  std::vector<Peer> refused;
  for (int i = 0; i < 4; ++i) refused.push_back(Connect());
  for (Peer& p : refused) EXPECT_EQ(p.socket->State(), SocketClosed);
  EXPECT_EQ(m_server->connections(), 2u);
  EXPECT_EQ(Logged("connection cap reached: 3 connections (1 being set up)"), 1u);
  m_acceptor->pending = 0;  // its handshake failed
  Peer c = Connect();
  EXPECT_EQ(c.socket->State(), SocketConnected);
  EXPECT_EQ(Logged("taking connections again; 4 refused at the cap of 3"), 1u);
  EXPECT_EQ(Connect().socket->State(), SocketClosed);
  EXPECT_EQ(Logged("connection cap reached"), 2u);
}

TEST_F(GatewayTest, DroppedConnectionsAreLoggedOnceABurstWithACount) {
  m_acceptor->Drop("TLS handshake failed: wrong version number");
  for (int i = 0; i < 5; ++i) m_acceptor->Drop("TLS handshake not finished within 10000 ms");
  EXPECT_EQ(Logged("connection from 10.1.2.3 dropped before it was served: TLS handshake failed: "
                   "wrong version number"),
            1u);
  EXPECT_EQ(Logged("dropped"), 1u);
  m_time->Advance(10000);
  EXPECT_EQ(Logged("5 more connections dropped before they were served"), 1u);
  m_time->Advance(20000);
  EXPECT_EQ(Logged("dropped"), 2u);
  m_acceptor->Drop("no descriptor left for it (the open file limit is reached)");
  EXPECT_EQ(Logged("dropped before it was served: no descriptor left"), 1u);
  EXPECT_EQ(m_server->gateway().stats().connections_dropped, 7u);
}

TEST_F(GatewayTest, AUserWhoseSessionsTogetherTakeTooLittleIsCutOff) {
  Build([](ServerOptions& o) {
    o.gateway.limits.max_unsent_bytes = 1u << 20;
    o.gateway.limits.max_user_unsent_bytes = 400;
  });
  Peer a1 = LogOn("alice", "secret");
  Peer a2 = LogOn("alice", "secret");
  Peer bob = LogOn("bob", "pass");
  for (Peer* p : {&a1, &a2, &bob}) {
    Send(*p, START_MARKET_TOKEN);
    p->Read();
  }
  a1.socket->StopReading();
  a2.socket->StopReading();
  for (int i = 0; i < 20 && m_server->logged_on_sessions() == 3; ++i) {
    m_server->apply_quote(QuoteOf(1.2000 + i * 0.0001, 1.2001 + i * 0.0001));
  }
  EXPECT_EQ(m_server->logged_on_sessions(), 2u);
  EXPECT_EQ(Logged("closed: slow readers: the sessions of alice have not taken"), 1u);
  EXPECT_EQ(Logged("slow reader:"), 0u);  // neither session alone was over its own bound
  EXPECT_EQ(bob.socket->State(), SocketConnected);
  EXPECT_FALSE(bob.Read().empty());
  // Alice's last session is her whole budget now.
  for (int i = 0; i < 20 && m_server->logged_on_sessions() == 2; ++i) {
    m_server->apply_quote(QuoteOf(1.2100 + i * 0.0001, 1.2101 + i * 0.0001));
  }
  EXPECT_EQ(m_server->logged_on_sessions(), 1u);
  EXPECT_EQ(Logged("closed: slow readers: the sessions of alice have not taken"), 2u);
}

TEST_F(GatewayTest, ALostRowIsNotSentAgainToAReaderOverItsBound) {
  Build([](ServerOptions& o) { o.gateway.limits.max_unsent_bytes = 300; });
  Peer alice = LogOn("alice", "secret");
  Send(alice, GET_ALL_SYMBOLS_TOKEN);
  ASSERT_EQ(alice.Read().size(), 3u);  // the count and two rows
  alice.socket->StopReading();
  for (int i = 0; i < 50 && alice.socket->State() == SocketConnected; ++i) {
    alice.socket->Send(wire::request(alice.sid, wire::LostRow{1}));
  }
  EXPECT_EQ(alice.socket->State(), SocketClosed);
  EXPECT_EQ(Logged("closed: slow reader:"), 1u);
}

TEST_F(GatewayTest, TheFeedWaitsForDistinctSessionsNotForStartMarketMessages) {
  Build([](ServerOptions& o) { o.start_after_sessions = 2; },
        PriceFeed::from_tape({QuoteOf(1.1990, 1.1991), QuoteOf(1.1991, 1.1992)}));
  Peer alice = LogOn("alice", "secret");
  for (int i = 0; i < 3; ++i) Send(alice, START_MARKET_TOKEN);
  m_time->Advance(5000);
  EXPECT_EQ(m_server->quotes_applied(), 0u);
  Peer bob = LogOn("bob", "pass");
  Send(bob, START_MARKET_TOKEN);
  m_time->Advance(5000);
  EXPECT_GT(m_server->quotes_applied(), 0u);
}

// A feed far behind its rate (the process stalled, or the store commits
// slower than the rate) must not apply its whole backlog in one tick: the
// io loop would serve no session until it caught up, or never at a rate the
// store cannot keep.
TEST_F(GatewayTest, AFeedBehindItsRateCatchesUpATickAtATimeAndLosesNoQuote) {
  std::vector<model::Quote> tape;
  for (int i = 0; i < 3000; ++i) {
    tape.push_back(QuoteOf(1.1990 + i % 7 * 1e-4, 1.1995 + i % 7 * 1e-4));
  }
  Build([](ServerOptions& o) { o.start_after_sessions = 0; o.rate = 1000; },
        PriceFeed::from_tape(tape));
  m_stalled_ms = 3000;  // every quote of the tape is due at once
  m_time->Advance(10);
  const size_t first_tick = m_server->quotes_applied();
  EXPECT_GT(first_tick, 0u);
  EXPECT_LE(first_tick, 40u);  // four ticks' worth at 1,000 quotes a second
  Peer alice = LogOn("alice", "secret");  // served while the feed is behind
  EXPECT_LT(m_server->quotes_applied(), 3000u);
  m_time->Advance(2000);
  EXPECT_EQ(m_server->quotes_applied(), 3000u);
  EXPECT_TRUE(m_server->feed_ended());
}

TEST_F(GatewayTest, AUserNameIsLoggedEscapedAndCut) {
  Peer peer = Connect();
  const std::string name = "eve\n12:00:00 server: forged\x1b[2J" + std::string(100, 'x');
  EXPECT_EQ(RefusedLogOn(peer, name, "nothing").code, wire::kLoginRefused);
  ASSERT_EQ(Logged("log-on refused for 'eve\\x0a12:00:00 server: forged\\x1b[2J"), 1u);
  for (const std::string& line : m_log) {
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(line.find('\x1b'), std::string::npos);
    EXPECT_LT(line.size(), 160u) << line;
  }
  EXPECT_EQ(Logged("xxx...'"), 1u);
}

// ---- password guessing ----

class ThrottleTest : public GatewayTest {
 protected:
  void Throttle(int64_t first_ms, size_t lockout = 0, size_t waiting = 1000) {
    Build([&](ServerOptions& o) {
      o.gateway.throttle.first_delay_ms = first_ms;
      o.gateway.throttle.max_delay_ms = 4 * first_ms;
      o.gateway.throttle.lockout_failures = lockout;
      o.gateway.max_waiting_log_ons = waiting;
    });
  }
  // A connection that has sent a log-on and not yet read its answer.
  Peer Ask(const std::string& user, const std::string& password) {
    Peer peer = Connect();
    Send(peer, LOGIN_TOKEN, {user, password});
    return peer;
  }
  static std::string Answer(Peer& peer) {
    const auto messages = peer.Read();
    if (messages.empty()) return "";
    if (messages[0]->TokenID() == LOGIN_TOKEN) return "logged on";
    wire::Refusal refusal;
    return wire::decode(*messages[0], refusal) ? refusal.text : "?";
  }
};

TEST_F(ThrottleTest, GuessesAfterAWrongPasswordWaitOneAtATime) {
  Throttle(250);
  Peer first = Ask("alice", "wrong");
  EXPECT_EQ(Answer(first), "Wrong user name or password");  // the first at once
  Peer second = Ask("alice", "wrong2");
  Peer parallel = Ask("alice", "secret");  // refused unread while the second waits
  EXPECT_EQ(Answer(parallel), "Too many log-ons waiting; try again later");
  m_time->Advance(249);
  EXPECT_EQ(Answer(second), "");
  m_time->Advance(1);
  EXPECT_EQ(Answer(second), "Wrong user name or password");
  // Each failure doubles the wait, the right password's too; it ends the burst.
  Peer third = Ask("alice", "wrong3");
  m_time->Advance(499);
  EXPECT_EQ(Answer(third), "");
  m_time->Advance(1);
  EXPECT_EQ(Answer(third), "Wrong user name or password");
  Peer right = Ask("alice", "secret");
  m_time->Advance(999);
  EXPECT_EQ(Answer(right), "");
  m_time->Advance(1);
  EXPECT_EQ(Answer(right), "logged on");
  EXPECT_EQ(Logged("log-on refused for 'alice' from 127.0.0.1:"), 1u);
  EXPECT_EQ(Logged("log-on failures of user 'alice' ended: 3 in a row"), 1u);
  EXPECT_EQ(Logged("'alice'"), 2u);  // the first refusal and the summary
  EXPECT_EQ(m_server->gateway().stats().refused_password, 3u);
  EXPECT_EQ(m_server->gateway().stats().refused_waiting, 1u);
}

TEST_F(ThrottleTest, ALockedOutUserIsRefusedWithTheRightPasswordUntilLifted) {
  Throttle(10, 2);
  for (int i = 0; i < 2; ++i) {
    Peer guess = Ask("alice", "wrong");
    m_time->Advance(100);
    EXPECT_EQ(Answer(guess), "Wrong user name or password");
  }
  EXPECT_EQ(Logged("user 'alice' locked out after 2 failed log-ons in a row"), 1u);
  Peer right = Ask("alice", "secret");
  m_time->Advance(100);
  EXPECT_EQ(Answer(right), "This user is locked out after too many failed log-ons");
  EXPECT_EQ(LogOn("bob", "pass").socket->State(), SocketConnected);
  EXPECT_EQ(m_server->gateway().lift_lock_outs(), 1u);
  EXPECT_EQ(LogOn("alice", "secret").socket->State(), SocketConnected);
}

TEST_F(ThrottleTest, WaitingLogOnsAreBoundedAndMayNotTalkMeanwhile) {
  Throttle(250, 0, 1);
  Peer guess = Ask("alice", "wrong");
  Answer(guess);
  Peer waiting = Ask("bob", "pass");  // the same address: it waits
  Peer over = Ask("dealer", "pass");
  EXPECT_EQ(Answer(over), "Too many log-ons waiting; try again later");
  EXPECT_EQ(over.socket->State(), SocketClosed);
  EXPECT_EQ(m_server->gateway().waiting_log_ons(), 1u);
  Send(waiting, GET_ACCOUNTS_TOKEN);
  EXPECT_EQ(waiting.socket->State(), SocketClosed);
  EXPECT_EQ(Logged("closed: a message before the log-on was answered"), 1u);
  EXPECT_EQ(m_server->gateway().waiting_log_ons(), 0u);
  m_time->Advance(1000);  // its timer is gone with it
  EXPECT_EQ(m_server->gateway().stats().log_ons, 0u);
}

// Checks answered when the test says, as those of a thread of their own are.
struct HeldChecks : PasswordChecks {
  void check(std::string hash, std::string password, std::function<void(bool)> done) override {
    hashes.push_back(hash);
    answers.push_back([hash, password, done = std::move(done)] {
      done(verify_password(hash, password));
    });
  }
  std::vector<std::string> hashes;
  std::vector<std::function<void()>> answers;
};

TEST_F(GatewayTest, APasswordIsCheckedOffTheIoThreadAndAnUnknownNameCostsTheSame) {
  HeldChecks checks;
  Build([&](ServerOptions& o) {
    o.gateway.password_checks = &checks;
    o.gateway.password_iterations = 7;
  });
  Peer alice = Connect();
  Send(alice, LOGIN_TOKEN, {"alice", "secret"});
  Peer nobody = Connect();
  Send(nobody, LOGIN_TOKEN, {"nobody", "secret"});
  Peer gone = Connect();
  Send(gone, LOGIN_TOKEN, {"bob", "pass"});
  gone.socket->Close();
  m_time->RunUntilIdle();
  Peer chatty = Connect();  // lets the gone connection go for good
  Send(chatty, LOGIN_TOKEN, {"bob", "pass"});
  ASSERT_EQ(checks.hashes.size(), 4u);
  for (const std::string& hash : checks.hashes) {
    EXPECT_EQ(hash.rfind("pbkdf2-sha256$7$", 0), 0u) << hash;  // the book's, and the stand-in's
  }
  EXPECT_TRUE(alice.Read().empty());  // no answer before the check's
  Send(chatty, GET_ACCOUNTS_TOKEN);
  EXPECT_EQ(chatty.socket->State(), SocketClosed);
  for (const auto& answer : checks.answers) answer();
  EXPECT_EQ(alice.Read().at(0)->TokenID(), LOGIN_TOKEN);
  wire::Refusal refusal;
  ASSERT_TRUE(wire::decode(*nobody.Read().at(0), refusal));
  EXPECT_EQ(refusal.text, "Wrong user name or password");
  EXPECT_EQ(m_server->logged_on_sessions(), 1u);
}

// ---- metrics ----

// The value of one sample line of a Prometheus text, or -1.
double Sample(const std::string& text, const std::string& series) {
  const size_t at = text.find("\n" + series + " ");
  if (at == std::string::npos) return -1;
  return std::stod(text.substr(at + series.size() + 2));
}

TEST_F(GatewayTest, AScrapeSeesLogOnsRefusalsCutsAndOrderLatencyMove) {
  Build([](ServerOptions& o) {
    o.gateway.limits.max_unsent_bytes = 300;
    o.gateway.throttle.first_delay_ms = 0;
  });
  MetricsEndpoint endpoint(std::make_shared<MemoryAcceptor>(m_network), m_time,
                           [this] { return m_server->metrics().render(); },
                           [this] { return m_server->running(); });
  const int32_t port = endpoint.listen("127.0.0.1", 0);
  auto scrape = [&](const std::string& path) {
    auto socket = m_network->CreateSocket();
    socket->Connect("127.0.0.1", port);
    m_time->RunUntilIdle();
    socket->Send("GET " + path + " HTTP/1.1\r\n\r\n");
    m_time->RunUntilIdle();
    return socket->Receive();
  };
  const std::string before = scrape("/metrics");
  EXPECT_EQ(Sample(before, "orvane_logons_total"), 0);
  EXPECT_EQ(Sample(before, "orvane_sessions"), 0);

  Peer alice = LogOn("alice", "secret");
  Peer wrong = Connect();
  RefusedLogOn(wrong, "alice", "nope");
  alice.socket->Send(wire::request(alice.sid, wire::OpenRequest{1, 100, 2, BuyType, 0.1, 1.2001}));
  alice.Read();
  alice.socket->StopReading();
  for (int i = 0; i < 50 && alice.socket->State() == SocketConnected; ++i) {
    Send(alice, GET_ALL_SYMBOLS_TOKEN);
  }
  const std::string after = scrape("/metrics");
  EXPECT_EQ(Sample(after, "orvane_logons_total"), 1);
  EXPECT_EQ(Sample(after, "orvane_logon_refusals_total{reason=\"password\"}"), 1);
  EXPECT_EQ(Sample(after, "orvane_slow_reader_cuts_total"), 1);
  EXPECT_EQ(Sample(after, "orvane_sessions"), 0);
  EXPECT_EQ(Sample(after, "orvane_order_latency_seconds_count"), 1);
  EXPECT_TRUE(scrape("/health").ends_with("\r\n\r\nok\n"));
  m_server->stop();
  EXPECT_TRUE(scrape("/health").ends_with("\r\n\r\nstopping\n"));
}

// ---- log on throttle ----
// The log-on throttle alone, on times given by the test.

ThrottleOptions Options(size_t lockout = 0) {
  ThrottleOptions o;
  o.first_delay_ms = 100;
  o.max_delay_ms = 1000;
  o.lockout_failures = lockout;
  o.forget_after_ms = 60000;
  return o;
}

// Fails `n` log-ons of `user` from `address`, each answered when due.
int64_t FailInTurn(LogOnThrottle& t, const std::string& user, const std::string& address, int n,
                   int64_t now) {
  bool locked = false;
  for (int i = 0; i < n; ++i) {
    now += t.reserve(user, true, address, now);
    t.failed(user, true, address, now, locked);
    t.release(user, address, true);
  }
  return now;
}

TEST(LogOnThrottleTest, DelaysDoubleUpToTheCap) {
  LogOnThrottle t(Options());
  EXPECT_EQ(t.reserve("alice", true, "10.0.0.1", 0), 0);
  bool locked = false;
  EXPECT_TRUE(t.failed("alice", true, "10.0.0.1", 0, locked));
  t.release("alice", "10.0.0.1", true);
  EXPECT_EQ(t.reserve("alice", true, "10.0.0.9", 0), 100);  // the user's failures
  EXPECT_EQ(t.reserve("bob", true, "10.0.0.1", 0), 100);    // the address's
  EXPECT_FALSE(t.failed("alice", true, "10.0.0.1", 100, locked));

  LogOnThrottle capped(Options());
  const int64_t after_five = FailInTurn(capped, "alice", "a", 5, 0);
  EXPECT_EQ(after_five, 100 + 200 + 400 + 800);
  EXPECT_EQ(capped.reserve("alice", true, "b", after_five), 1000);  // 1600 capped
  EXPECT_FALSE(locked);
}

TEST(LogOnThrottleTest, OneLogOnOfAUserOrAThrottledAddressIsAnsweredAtATime) {
  LogOnThrottle t(Options());
  bool locked = false;
  t.failed("alice", true, "10.0.0.1", 0, locked);
  EXPECT_EQ(t.reserve("alice", true, "10.0.0.2", 50), 50);
  EXPECT_EQ(t.reserve("alice", true, "10.0.0.3", 50), -1);  // the user's turn is taken
  EXPECT_EQ(t.reserve("bob", true, "10.0.0.1", 50), 50);    // the address's
  EXPECT_EQ(t.reserve("carol", true, "10.0.0.1", 50), -1);  // ... taken too
  // A known user, even one that never failed, while its password is checked.
  EXPECT_EQ(t.reserve("dave", true, "10.0.0.3", 50), 0);
  EXPECT_EQ(t.reserve("dave", true, "10.0.0.4", 50), -1);
  // Unknown names from addresses that never failed: no limit.
  EXPECT_EQ(t.reserve("nobody", false, "10.0.0.3", 50), 0);
  EXPECT_EQ(t.reserve("nobody", false, "10.0.0.3", 50), 0);
  t.release("alice", "10.0.0.2", true);
  // Answered at once when due, but the next waits a delay behind it.
  EXPECT_EQ(t.reserve("alice", true, "10.0.0.2", 300), 0);
  t.release("alice", "10.0.0.2", true);
  EXPECT_EQ(t.reserve("alice", true, "10.0.0.2", 300), 100);
  // One that goes unanswered gives its slot back.
  t.release("alice", "10.0.0.2", false);
  EXPECT_EQ(t.reserve("alice", true, "10.0.0.2", 300), 100);
}

TEST(LogOnThrottleTest, ASuccessEndsTheBurstOfTheUserAndTheAddressWithOneSummary) {
  LogOnThrottle t(Options());
  FailInTurn(t, "alice", "10.0.0.1", 3, 0);
  EXPECT_EQ(t.throttled(), 2u);
  const auto ended = t.succeeded("alice", "10.0.0.1");
  ASSERT_EQ(ended.size(), 2u);
  EXPECT_EQ(ended[0], "log-on failures of user 'alice' ended: 3 in a row");
  EXPECT_EQ(ended[1], "log-on failures of address 10.0.0.1 ended: 3 in a row");
  EXPECT_EQ(t.throttled(), 0u);
  EXPECT_EQ(t.reserve("alice", true, "10.0.0.1", 5000), 0);
}

TEST(LogOnThrottleTest, AnUnknownNameCountsOnlyAgainstTheAddress) {
  LogOnThrottle t(Options());
  bool locked = false;
  EXPECT_TRUE(t.failed("nobody\n", false, "10.0.0.1", 0, locked));
  EXPECT_EQ(t.throttled(), 1u);
  EXPECT_EQ(t.reserve("nobody\n", false, "10.0.0.2", 0), 0);
  EXPECT_EQ(t.reserve("alice", true, "10.0.0.1", 0), 100);
}

TEST(LogOnThrottleTest, ALockOutHoldsUntilLiftedAndSurvivesForgetting) {
  LogOnThrottle t(Options(3));
  bool locked = false;
  int64_t now = FailInTurn(t, "alice", "a", 2, 0);
  EXPECT_FALSE(t.locked_out("alice"));
  now += t.reserve("alice", true, "a", now);
  t.failed("alice", true, "a", now, locked);
  EXPECT_TRUE(locked);
  EXPECT_TRUE(t.locked_out("alice"));
  EXPECT_TRUE(t.succeeded("alice", "b").empty());  // a locked user's failures stay
  t.forget(now + 10 * 60000);
  EXPECT_TRUE(t.locked_out("alice"));
  EXPECT_FALSE(t.locked_out("bob"));
  EXPECT_EQ(t.lift_lock_outs(), 1u);
  EXPECT_FALSE(t.locked_out("alice"));
  EXPECT_EQ(t.reserve("alice", true, "a", now + 10 * 60000), 0);
}

TEST(LogOnThrottleTest, FailuresAreForgottenAfterTheSpanAndTrackingIsBounded) {
  ThrottleOptions o = Options();
  o.max_tracked = 2;
  LogOnThrottle t(o);
  const int64_t now = FailInTurn(t, "alice", "a", 2, 0);
  bool locked = false;
  EXPECT_FALSE(t.failed("bob", true, "b", now, locked));  // no room: not tracked
  EXPECT_EQ(t.reserve("bob", true, "b", now), 0);
  EXPECT_TRUE(t.forget(now + 59999).empty());
  const auto ended = t.forget(now + 60000);
  EXPECT_EQ(ended.size(), 2u);
  EXPECT_EQ(t.throttled(), 0u);
  EXPECT_TRUE(t.failed("bob", true, "b", now + 60000, locked));
}

TEST(LogOnThrottleTest, NoFirstDelayMeansNoDelayAndNothingThrottled) {
  ThrottleOptions o = Options();
  o.first_delay_ms = 0;
  LogOnThrottle t(o);
  FailInTurn(t, "alice", "a", 5, 0);
  EXPECT_EQ(t.reserve("alice", true, "a", 0), 0);
  EXPECT_EQ(t.throttled(), 0u);
}

// ---- metrics endpoint ----
// The metrics endpoint on an in-memory network and virtual time: the request
// head parser on a table of inputs, the answers and their exact headers,
// requests in pieces, and the bounds (head size, time, connections, loopback
// only).

TEST(MetricsEndpointTest, ParsesRequestHeadsFromAnyBytes) {
  using H = HttpRequestHead;
  const auto head_of = [](size_t size) {
    return "GET / HTTP/1.1\r\nX: " + std::string(size - 23, 'a') + "\r\n\r\n";
  };
  ASSERT_EQ(head_of(H::kMaxHeadBytes).size(), H::kMaxHeadBytes);
  struct Case {
    std::string text;
    H::Outcome outcome;
    std::string method, path;
  };
  const std::vector<Case> cases = {
      {"", H::kIncomplete, "", ""},
      {"GET /metrics HTTP/1.1\r\n", H::kIncomplete, "", ""},
      {"GET /metrics HTTP/1.1\r\nHost: a\r\n\r", H::kIncomplete, "", ""},
      {"GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n", H::kComplete, "GET", "/metrics"},
      {"HEAD /health?verbose=1#x HTTP/1.0\n\n", H::kComplete, "HEAD", "/health"},
      {"GET /metrics HTTP/1.1\nHost: a\r\n\r\nbody", H::kComplete, "GET", "/metrics"},
      {"DELETE /x HTTP/1.1\r\n\r\n", H::kComplete, "DELETE", "/x"},
      {head_of(H::kMaxHeadBytes), H::kComplete, "GET", "/"},
      {head_of(H::kMaxHeadBytes + 1), H::kTooLarge, "", ""},
      {"GET / HTTP/1.1\r\n" + std::string(H::kMaxHeadBytes, 'a'), H::kTooLarge, "", ""},
      {std::string(H::kMaxHeadBytes, 'G'), H::kTooLarge, "", ""},
      {"\x16\x03\x01\x02", H::kMalformed, "", ""},  // a TLS hello, before any line end
      {"hello\r\n\r\n", H::kMalformed, "", ""},
      {"\r\n\r\n", H::kMalformed, "", ""},
      {"GET /metrics\r\n\r\n", H::kMalformed, "", ""},
      {"GET /metrics HTTP/2.0\r\n\r\n", H::kMalformed, "", ""},
      {"GET /metrics HTTP/1.1 \r\n\r\n", H::kMalformed, "", ""},
      {"GET  /metrics HTTP/1.1\r\n\r\n", H::kMalformed, "", ""},
      {"GET # HTTP/1.1\r\n\r\n", H::kMalformed, "", ""},  // no path before the fragment
      {"GET ?a=1 HTTP/1.1\r\n\r\n", H::kMalformed, "", ""},
      {"GET /me\x01trics HTTP/1.1\r\n", H::kMalformed, "", ""},
      {std::string("G\0T / HTTP/1.1\r\n\r\n", 18), H::kMalformed, "", ""},
  };
  for (const Case& c : cases) {
    const H head = parse_http_request(c.text);
    EXPECT_EQ(head.outcome, c.outcome) << c.text.substr(0, 40);
    EXPECT_EQ(head.method, c.method) << c.text.substr(0, 40);
    EXPECT_EQ(head.path, c.path) << c.text.substr(0, 40);
  }
}

// Keeps the server's end of every connection, as the endpoint was given it.
struct ServerEnds : IAcceptorEvents {
  void Accepted(const std::shared_ptr<ISocket>& child) override { sockets.push_back(child); }
  std::vector<std::shared_ptr<ISocket>> sockets;
};

class MetricsEndpointServerTest : public ::testing::Test {
 protected:
  MetricsEndpointServerTest() {
    m_scrapes = &m_metrics.add_counter("scrapes_total", "Scrapes.");
    m_endpoint = std::make_unique<MetricsEndpoint>(
        m_acceptor, m_time, [this] { return m_metrics.render(); }, [this] { return m_healthy; });
    m_acceptor->Advise(&m_server_ends);
    m_port = m_endpoint->listen("127.0.0.1", 0);
  }
  ~MetricsEndpointServerTest() override { m_acceptor->Unadvise(&m_server_ends); }

  std::shared_ptr<MemorySocket> Connect() {
    auto socket = m_network->CreateSocket();
    socket->Connect("127.0.0.1", m_port);
    m_time->RunUntilIdle();
    return socket;
  }

  // What the endpoint answered to `pieces`, sent one after the other.
  std::string Ask(const std::vector<std::string>& pieces) {
    auto socket = Connect();
    EXPECT_EQ(socket->State(), SocketConnected);
    for (const std::string& piece : pieces) {
      socket->Send(piece);
      m_time->RunUntilIdle();
    }
    EXPECT_EQ(socket->State(), SocketClosed) << "the connection stays open after the answer";
    return socket->Receive();
  }
  std::string Ask(const std::string& request) { return Ask(std::vector<std::string>{request}); }

  static std::string StatusLine(const std::string& answer) {
    return answer.substr(0, answer.find("\r\n"));
  }

  Metrics m_metrics;
  Counter* m_scrapes = nullptr;
  bool m_healthy = true;
  std::shared_ptr<VirtualTimeScheduler> m_time = std::make_shared<VirtualTimeScheduler>();
  std::shared_ptr<MemoryNetwork> m_network = MemoryNetwork::Create(m_time);  // deferred, as TCP
  std::shared_ptr<HandshakingAcceptor> m_acceptor =
      std::make_shared<HandshakingAcceptor>(m_network);
  ServerEnds m_server_ends;
  std::unique_ptr<MetricsEndpoint> m_endpoint;
  int32_t m_port = 0;
};

TEST_F(MetricsEndpointServerTest, ScrapeAnswersTheCurrentMetricsThenCloses) {
  const std::string body1 =
      "# HELP scrapes_total Scrapes.\n# TYPE scrapes_total counter\nscrapes_total 0\n";
  EXPECT_EQ(Ask("GET /metrics HTTP/1.1\r\nHost: localhost\r\n\r\n"),
            "HTTP/1.1 200 OK\r\n"
            "Content-Type: text/plain; version=0.0.4; charset=utf-8\r\n"
            "Content-Length: " + std::to_string(body1.size()) + "\r\n"
            "Connection: close\r\n"
            "\r\n" + body1);
  m_scrapes->add(12);
  const std::string second = Ask("GET /metrics?x=1 HTTP/1.0\r\n\r\n");
  EXPECT_EQ(StatusLine(second), "HTTP/1.1 200 OK");
  EXPECT_TRUE(second.ends_with("\r\n\r\n# HELP scrapes_total Scrapes.\n"
                               "# TYPE scrapes_total counter\nscrapes_total 12\n"));
  // HEAD: the same headers, with the length of the body it leaves out.
  const std::string head = Ask("HEAD /metrics HTTP/1.1\r\n\r\n");
  EXPECT_NE(head.find("Content-Length: " + std::to_string(body1.size() + 1) + "\r\n"),
            std::string::npos);
  EXPECT_TRUE(head.ends_with("Connection: close\r\n\r\n"));
  EXPECT_EQ(m_endpoint->connections(), 0u);
  // On TCP, what is still unsent at the close leaves only within the linger.
  ASSERT_EQ(m_server_ends.sockets.size(), 3u);
  for (const auto& socket : m_server_ends.sockets) EXPECT_GT(socket->LingerSeconds(), 0);
}

TEST_F(MetricsEndpointServerTest, HealthFollowsTheServer) {
  EXPECT_EQ(Ask("GET /health HTTP/1.1\r\n\r\n"),
            "HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\n"
            "Content-Length: 3\r\nConnection: close\r\n\r\nok\n");
  m_healthy = false;
  const std::string stopping = Ask("GET /health HTTP/1.1\n\n");
  EXPECT_EQ(StatusLine(stopping), "HTTP/1.1 503 Service Unavailable");
  EXPECT_TRUE(stopping.ends_with("Content-Length: 9\r\nConnection: close\r\n\r\nstopping\n"));
  EXPECT_TRUE(Ask("HEAD /health HTTP/1.1\r\n\r\n").ends_with("\r\n\r\n"));
}

TEST_F(MetricsEndpointServerTest, AnswersWhatItDoesNotServe) {
  EXPECT_EQ(StatusLine(Ask("GET /metricsx HTTP/1.1\r\n\r\n")), "HTTP/1.1 404 Not Found");
  EXPECT_EQ(StatusLine(Ask("GET / HTTP/1.1\r\n\r\n")), "HTTP/1.1 404 Not Found");
  const std::string post = Ask("POST /metrics HTTP/1.1\r\nContent-Length: 0\r\n\r\n");
  EXPECT_EQ(StatusLine(post), "HTTP/1.1 405 Method Not Allowed");
  EXPECT_NE(post.find("\r\nAllow: GET, HEAD\r\n"), std::string::npos);
  EXPECT_EQ(StatusLine(Ask("SSH-2.0-OpenSSH_9.2\r\n")), "HTTP/1.1 400 Bad Request");
  EXPECT_EQ(StatusLine(Ask({"GET /metrics HTTP/1.1\r\nX: ", std::string(9000, 'x')})),
            "HTTP/1.1 431 Request Header Fields Too Large");
  for (const std::string& answer : {Ask("GET /nope HTTP/1.1\r\n\r\n"),
                                   Ask("bad\r\n\r\n")}) {
    const size_t length = std::stoul(answer.substr(answer.find("Content-Length: ") + 16));
    EXPECT_EQ(answer.size() - answer.find("\r\n\r\n") - 4, length) << answer;
  }
}

TEST_F(MetricsEndpointServerTest, MetricsThatCannotBeReadAreAServerError) {
  m_metrics.add_gauge("broken", "", []() -> double { throw std::runtime_error("no store"); });
  const std::string answer = Ask("GET /metrics HTTP/1.1\r\n\r\n");
  EXPECT_EQ(StatusLine(answer), "HTTP/1.1 500 Internal Server Error");
  EXPECT_TRUE(answer.ends_with("\r\n\r\nno store\n"));
}

TEST_F(MetricsEndpointServerTest, WaitsForARequestInPieces) {
  auto socket = Connect();
  for (const char* piece : {"GE", "T /hea", "lth HTTP/1.1\r\nHost: a\r", "\n\r"}) {
    socket->Send(piece);
    m_time->RunUntilIdle();
    ASSERT_EQ(socket->State(), SocketConnected) << "answered before the head ended";
    EXPECT_EQ(socket->Receive(), "");
  }
  socket->Send("\n");
  m_time->RunUntilIdle();
  EXPECT_EQ(socket->State(), SocketClosed);
  EXPECT_TRUE(socket->Receive().ends_with("\r\n\r\nok\n"));
}

TEST_F(MetricsEndpointServerTest, ClosesAConnectionWithoutARequestAfterFiveSeconds) {
  auto silent = Connect();
  auto partial = Connect();
  partial->Send("GET /metrics HTTP/1.1\r\n");
  m_time->Advance(MetricsEndpoint::kRequestTimeoutMs - 1);
  EXPECT_EQ(silent->State(), SocketConnected);
  EXPECT_EQ(partial->State(), SocketConnected);
  m_time->Advance(1);
  EXPECT_EQ(silent->State(), SocketClosed);
  EXPECT_EQ(partial->State(), SocketClosed);
  EXPECT_EQ(partial->Receive(), "");
  EXPECT_EQ(m_endpoint->connections(), 0u);
}

TEST_F(MetricsEndpointServerTest, TakesAtMostSixteenConnections) {
  std::vector<std::shared_ptr<MemorySocket>> idle;
  // Those still being set up by the acceptor count too.
  m_acceptor->pending = 1;
  for (size_t i = 1; i < MetricsEndpoint::kMaxConnections; ++i) idle.push_back(Connect());
  EXPECT_EQ(Connect()->State(), SocketClosed);
  m_acceptor->pending = 0;
  idle.push_back(Connect());
  EXPECT_EQ(m_endpoint->connections(), MetricsEndpoint::kMaxConnections);
  auto refused = Connect();
  EXPECT_EQ(refused->State(), SocketClosed);
  for (const auto& socket : idle) EXPECT_EQ(socket->State(), SocketConnected);
  // One answered makes room for the next.
  idle[0]->Send("GET /health HTTP/1.1\r\n\r\n");
  m_time->RunUntilIdle();
  EXPECT_EQ(StatusLine(Ask("GET /health HTTP/1.1\r\n\r\n")), "HTTP/1.1 200 OK");
}

TEST_F(MetricsEndpointServerTest, ListensOnLoopbackOnly) {
  for (const char* address : {"0.0.0.0", "::", "192.168.1.10", "128.0.0.1", "::2",
                              "::ffff:127.0.0.1", "localhost", "127.0.0.1 ", ""}) {
    EXPECT_THROW(m_endpoint->listen(address, 0), std::invalid_argument) << address;
  }
  EXPECT_EQ(m_acceptor->LocalAddress(), "127.0.0.1") << "a refused address changed the listener";
  EXPECT_GT(m_endpoint->listen("127.8.9.10", 0), 0);
  EXPECT_GT(m_endpoint->listen("::1", 0), 0);
  EXPECT_EQ(m_acceptor->LocalAddress(), "::1");
}

// ---- metrics ----
// The metrics registry: the exact text of each kind of metric, labelled
// families kept together, cumulative buckets, number spelling, escaping, and
// the registrations it refuses.

TEST(MetricsTest, RendersEachKindExactlyWithLabelledFamiliesTogether) {
  Metrics metrics;
  Counter& eurusd = metrics.add_counter("orders_total", "Orders taken.", "symbol", "EURUSD");
  Counter& plain = metrics.add_counter("logons_total", "Log-ons.");
  double sessions = 3;
  metrics.add_gauge("sessions", "Sessions open.", [&] { return sessions; });
  Counter& usdjpy = metrics.add_counter("orders_total", "ignored", "symbol", "USDJPY");
  eurusd.add(2);
  usdjpy.add();
  plain.add(7);
  sessions = 2.5;  // read when rendered, not when registered

  EXPECT_EQ(metrics.render(),
            "# HELP orders_total Orders taken.\n"
            "# TYPE orders_total counter\n"
            "orders_total{symbol=\"EURUSD\"} 2\n"
            "orders_total{symbol=\"USDJPY\"} 1\n"
            "# HELP logons_total Log-ons.\n"
            "# TYPE logons_total counter\n"
            "logons_total 7\n"
            "# HELP sessions Sessions open.\n"
            "# TYPE sessions gauge\n"
            "sessions 2.5\n");
  EXPECT_EQ(eurusd.value(), 2u);
}

TEST(MetricsTest, HistogramBucketsAreCumulativeAndEndInInf) {
  Metrics metrics;
  Histogram& latency = metrics.add_histogram("latency_seconds", "Answer time.", {0.001, 0.5, 2});
  // A value on a bound belongs to that bound's bucket.
  for (double v : {0.0005, 0.001, 0.25, 2.0, 7.0, 9.0}) latency.observe(v);

  EXPECT_EQ(metrics.render(),
            "# HELP latency_seconds Answer time.\n"
            "# TYPE latency_seconds histogram\n"
            "latency_seconds_bucket{le=\"0.001\"} 2\n"
            "latency_seconds_bucket{le=\"0.5\"} 3\n"
            "latency_seconds_bucket{le=\"2\"} 4\n"
            "latency_seconds_bucket{le=\"+Inf\"} 6\n"
            "latency_seconds_sum 18.2515\n"
            "latency_seconds_count 6\n");

  latency.observe(std::nan(""));  // counted above every bound
  EXPECT_EQ(latency.bucket(3), 3u);
  EXPECT_EQ(latency.count(), 7u);
  EXPECT_TRUE(std::isnan(latency.sum()));
}

TEST(MetricsTest, EmptyHistogramHasOnlyTheInfBucket) {
  Metrics metrics;
  metrics.add_histogram("h", "", {});
  EXPECT_EQ(metrics.render(),
            "# HELP h \n# TYPE h histogram\nh_bucket{le=\"+Inf\"} 0\nh_sum 0\nh_count 0\n");
}

TEST(MetricsTest, NumbersAreSpelledAsPrometheusReadsThem) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::pair<double, const char*> cases[] = {
      {0.1, "0.1"}, {5, "5"}, {-0.25, "-0.25"}, {1e20, "1e+20"}, {100000, "100000"},
      {0.0001, "0.0001"}, {0.00001, "1e-05"}, {1.0 / 3, "0.3333333333333333"},
      {inf, "+Inf"}, {-inf, "-Inf"}, {std::nan(""), "NaN"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(prometheus_number(value), text) << text;
}

TEST(MetricsTest, EscapesLabelValuesAndHelp) {
  Metrics metrics;
  metrics.add_counter("c", "a \\ and\n\"quoted\"", "user", "x\\y\"z\nw");
  EXPECT_EQ(metrics.render(),
            "# HELP c a \\\\ and\\n\"quoted\"\n"
            "# TYPE c counter\n"
            "c{user=\"x\\\\y\\\"z\\nw\"} 0\n");
}

TEST(MetricsTest, CountersStayValidWhileMoreAreRegistered) {
  Metrics metrics;
  Counter& first = metrics.add_counter("first", "", "k", "v0");
  for (int i = 1; i < 200; ++i) metrics.add_counter("first", "", "k", "v" + std::to_string(i));
  for (int i = 0; i < 200; ++i) metrics.add_counter("other_" + std::to_string(i), "");
  first.add(41);
  first.add();
  EXPECT_NE(metrics.render().find("first{k=\"v0\"} 42\n"), std::string::npos);
}

TEST(MetricsTest, RefusesBadRegistrationsAndChangesNothing) {
  Metrics metrics;
  metrics.add_counter("taken", "");
  metrics.add_counter("family", "", "kind", "a");
  metrics.add_histogram("h", "", {1});
  metrics.add_counter("y_sum", "");
  const std::string before = metrics.render();
  const auto zero = [] { return 0.0; };
  const double inf = std::numeric_limits<double>::infinity();

  for (const char* name : {"", "1abc", "a-b", "a b", "\xc3\xa9", "a{b}"}) {
    EXPECT_THROW(metrics.add_counter(name, ""), std::invalid_argument) << name;
  }
  for (const char* label : {"", "__name", "1x", "a:b", "a-b"}) {
    EXPECT_THROW(metrics.add_counter("fine", "", label, "v"), std::invalid_argument) << label;
  }
  EXPECT_THROW(metrics.add_histogram("b1", "", {1, 1}), std::invalid_argument);
  EXPECT_THROW(metrics.add_histogram("b2", "", {2, 1}), std::invalid_argument);
  EXPECT_THROW(metrics.add_histogram("b3", "", {1, inf}), std::invalid_argument);
  EXPECT_THROW(metrics.add_histogram("b4", "", {std::nan(""), 1}), std::invalid_argument);
  // The same name as another kind, or the same series twice.
  EXPECT_THROW(metrics.add_gauge("taken", "", zero), std::invalid_argument);
  EXPECT_THROW(metrics.add_counter("taken", ""), std::invalid_argument);
  EXPECT_THROW(metrics.add_counter("taken", "", "kind", "a"), std::invalid_argument);
  EXPECT_THROW(metrics.add_counter("family", ""), std::invalid_argument);
  EXPECT_THROW(metrics.add_counter("family", "", "kind", "a"), std::invalid_argument);
  EXPECT_THROW(metrics.add_counter("family", "", "other", "b"), std::invalid_argument);
  EXPECT_THROW(metrics.add_histogram("family", "", {}), std::invalid_argument);
  // A histogram's series names are taken with it, both ways.
  EXPECT_THROW(metrics.add_counter("h_count", ""), std::invalid_argument);
  EXPECT_THROW(metrics.add_gauge("h_bucket", "", zero), std::invalid_argument);
  EXPECT_THROW(metrics.add_histogram("y", "", {}), std::invalid_argument);
  EXPECT_EQ(metrics.render(), before);
}

}  // namespace
}  // namespace orvane::apps
