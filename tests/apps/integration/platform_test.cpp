// The reference server and terminals on loopback over TLS: log-on, prices
// with the client's spread, a stop-loss executed on the server reaching the
// terminal, figures equal on both sides, a server restart, a slow reader, a
// terminal asking for a lost row, and TLS that must not connect.

#include <atomic>
#include <thread>

#include "orvane/protocol/process.h"
#include "platform_fixture.h"
#include "orvane/clients/client.h"
#include "orvane/clients/client_param.h"
#include "orvane/clients/clients.h"
#include "rows.h"

namespace orvane::apps {
namespace {

using test::Watcher;
using test::RunFor;
using test::RunUntil;
using namespace std::chrono_literals;
using PlatformTest = test::PlatformFixture;

TEST_F(PlatformTest, StopLossOnTheServerReachesTheTerminalAndFiguresAgree) {
  ASSERT_TRUE(orvane::test::Certificates::Get().ok);
  auto server = MakeServer(PriceFeed::FromTape(m_tape));
  Watcher alice;
  auto terminal = MakeTerminal("alice", "secret", alice);
  ASSERT_TRUE(RunUntil(m_io, [&] { return alice.streaming == 1; }, 5s));
  EXPECT_EQ(terminal->OpenPositions(), 1u);
  ASSERT_TRUE(RunUntil(m_io, [&] { return alice.checked == 1; }, 5s));
  EXPECT_EQ(terminal->OpenPositions(), 0u);
  // The quote gapped through 1.1850: the stop fills at the bid, 1.1840, and
  // 1,600 of the 2,000 are lost.
  EXPECT_TRUE(Logged("account 100: stop-loss 11 hit at 1.184"));
  ExpectAllEqual(alice, 1);
  EXPECT_DOUBLE_EQ(alice.comparisons[0].server.balance, 400);
  // The last quote 1.1870 / 1.1871 reaches Alice as it is; her terminal
  // prices it with her 2-pip spread.
  const auto price = terminal->LastPrice(2);
  ASSERT_TRUE(price.has_value());
  EXPECT_EQ(price->first, 1.1870);
  EXPECT_EQ(price->second, 1.1871);
  auto client = terminal->desk()->Engine().Clients()->Item("10");
  ASSERT_TRUE(client);
  EXPECT_NEAR(client->SymbolParam(2)->AskWithSpread(), 1.1872, 1e-9);
}

TEST_F(PlatformTest, EntryOrderFillsForOneClientWhileAnotherIsRefused) {
  auto server = MakeServer(PriceFeed::FromTape(m_tape));
  Watcher bob, intruder;
  auto bob_terminal = MakeTerminal("bob", "pass", bob);
  auto intruder_terminal = MakeTerminal("bob", "guess", intruder);
  ASSERT_TRUE(RunUntil(m_io, [&] { return bob.checked == 1 && !intruder.refused.empty(); }, 5s));
  EXPECT_EQ(intruder_terminal->phase(), Terminal::Phase::kRefused);
  EXPECT_EQ(intruder_terminal->Logons(), 0u);
  EXPECT_TRUE(Logged("log-on refused for 'bob'"));
  EXPECT_EQ(bob_terminal->OpenPositions(), 1u);  // the buy limit at 1.1950 filled
  ExpectAllEqual(bob, 1);
}

TEST_F(PlatformTest, TerminalLogsOnAgainAfterAServerRestart) {
  auto server = MakeServer(PriceFeed::FromTape({m_tape.begin(), m_tape.begin() + 2}), 1);
  const int32_t port = m_port;
  Watcher alice;
  auto terminal = MakeTerminal("alice", "secret", alice);
  ASSERT_TRUE(RunUntil(m_io, [&] { return alice.checked == 1; }, 5s));
  server.reset();
  ASSERT_TRUE(RunUntil(m_io, [&] { return terminal->phase() == Terminal::Phase::kConnecting; }));
  server = MakeServer(PriceFeed::FromTape(m_tape), 1, port);
  ASSERT_TRUE(RunUntil(m_io, [&] { return alice.checked == 2; }, 20s));
  EXPECT_EQ(terminal->Logons(), 2u);
  ExpectAllEqual(alice, 1);
}

TEST_F(PlatformTest, ASlowReaderIsCutOff) {
  auto server =
      MakeServer(PriceFeed::RandomWalk(m_book, 7, 1, 0), 1, 0, TlsOptions(), 200000, 256 << 10);
  std::atomic<bool> done{false};
  std::atomic<bool> started{false};
  const int32_t port = m_port;
  struct JoinAtExit {
    std::atomic<bool>& done;
    std::thread thread;
    ~JoinAtExit() {
      done = true;
      if (thread.joinable()) thread.join();
    }
  };
  // A peer that logs on, starts the market and then never reads again.
  JoinAtExit reader{done, std::thread([&] {
    asio::io_context io;
    asio::ip::tcp::socket socket(io);
    socket.connect({asio::ip::make_address("127.0.0.1"), static_cast<uint16_t>(port)});
    socket.set_option(asio::socket_base::receive_buffer_size(4096));
    CProcess login;
    login.DefineRequestByToken(-1, 5, LOGIN_TOKEN, {"alice", "secret"});
    asio::write(socket, asio::buffer(login.ProcessText()));
    std::string answer;
    char chunk[256];
    while (answer.find("+3!") == std::string::npos) {
      answer.append(chunk, socket.read_some(asio::buffer(chunk)));
    }
    CProcess start;
    start.DefineRequestByToken(1, 5, START_MARKET_TOKEN);
    asio::write(socket, asio::buffer(start.ProcessText()));
    started = true;
    while (!done) std::this_thread::sleep_for(10ms);
  })};
  ASSERT_TRUE(RunUntil(m_io, [&] { return Logged("slow reader"); }, 15s));
  EXPECT_EQ(server->LoggedOnSessions(), 0u);
  EXPECT_TRUE(started);
}

TEST_F(PlatformTest, TlsWithAnUntrustedCertificateNeverConnects) {
  auto server = MakeServer(PriceFeed::FromTape(m_tape), 1, 0, orvane::test::ServerTls(/*rogue=*/true));
  Watcher alice;
  auto terminal = MakeTerminal("alice", "secret", alice);
  RunFor(m_io, 1500ms);
  EXPECT_EQ(terminal->Logons(), 0u);
  EXPECT_EQ(server->LoggedOnSessions(), 0u);
  EXPECT_NE(terminal->phase(), Terminal::Phase::kStreaming);
}

// A server of the test's own that drops the first of two symbol rows.
class LossyServer : public AsioListenerEvents, public ISocketEvents {
 public:
  explicit LossyServer(asio::io_context& io) : m_listener(io) {
    m_listener.Advise(this);
    port = m_listener.Listen("127.0.0.1", 0);
  }
  ~LossyServer() override {
    if (m_child) m_child->Unadvise(this);
  }
  void Accepted(const std::shared_ptr<ISocket>& child) override {
    m_child = child;
    child->Advise(this);
  }
  void Receive(ISocket& socket) override {
    received += socket.Receive();
    if (Take(LOGIN_TOKEN)) Send(LOGIN_TOKEN, {"7", "10"});
    if (Take(GET_ALL_SYMBOLS_TOKEN)) {
      Send(RESULT_COUNT_TOKEN, {"2"});
      Send(RESULT_TOKEN, {"2", Row(2)});
    }
    if (Take(RESULT_LOST_TOKEN)) Send(RESULT_TOKEN, {"1", Row(1)});
  }

  std::string received;
  int32_t port = 0;

 private:
  bool Take(TokensEnum token) {
    CProcess probe;
    probe.DefineRequestByToken(token == LOGIN_TOKEN ? -1 : 7, 5, token);
    std::string head(probe.ProcessText().substr(0, probe.ProcessText().find("&h,")));
    const size_t at = received.find(head);
    if (at == std::string::npos) return false;
    received.replace(at, head.size(), "<taken>");
    return true;
  }
  void Send(TokensEnum token, std::initializer_list<std::string_view> params) {
    CProcess message;
    message.DefineResponseByToken(5, token, params);
    m_child->Send(message.ProcessText());
  }
  static std::string Row(int32_t id) {
    model::Symbol s;
    s.id = id;
    s.name = "S" + std::to_string(id);
    return wire::SymbolRow(s, 1, 1);
  }

  AsioListener m_listener;
  std::shared_ptr<ISocket> m_child;
};

TEST_F(PlatformTest, TerminalAsksAgainForALostRow) {
  LossyServer lossy(m_io);
  m_port = lossy.port;
  Watcher w;
  auto terminal = MakeTerminal("alice", "secret", w, TlsOptions());
  CProcess next;
  next.DefineRequestByToken(7, 5, GET_CLIENT_INFO_TOKEN);
  ASSERT_TRUE(RunUntil(m_io, [&] { return lossy.received.find(next.ProcessText()) != std::string::npos; }, 5s));
  EXPECT_EQ(terminal->LostRowsAsked(), 1u);
}

}  // namespace
}  // namespace orvane::apps
