// Faults against the reference hosts with real peers: a peer reset in the
// middle of a message, a stopped server process, a proxy that refuses or
// dies, TLS for the wrong host, and a thousand connect/drop cycles that
// must leave no descriptor behind.

#include <dirent.h>
#include <signal.h>

#include <algorithm>
#include <fstream>

#include "orvane/protocol/process.h"
#include "platform_fixture.h"

namespace orvane::apps {
namespace {

using test::RunFor;
using test::RunUntil;
using test::Watcher;
using namespace std::chrono_literals;
using FaultsTest = test::PlatformFixture;

size_t OpenDescriptors() {
  size_t count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir)) ++count;
    closedir(dir);
  }
  return count;
}

std::string Request(int32_t sid, TokensEnum token,
                    std::initializer_list<std::string_view> params = {}) {
  CProcess p;
  p.DefineRequestByToken(sid, 5, token, params);
  return std::string(p.ProcessText());
}

TEST_F(FaultsTest, APeerResetInTheMiddleOfAMessageEndsOnlyItsSession) {
  auto server = MakeServer(PriceFeed::FromTape(m_tape), 1, 0, TlsOptions());
  asio::ip::tcp::socket raw(m_io);
  raw.connect({asio::ip::make_address("127.0.0.1"), static_cast<uint16_t>(m_port)});
  asio::write(raw, asio::buffer(Request(-1, LOGIN_TOKEN, {"alice", "secret"})));
  ASSERT_TRUE(RunUntil(m_io, [&] { return server->LoggedOnSessions() == 1; }));
  const std::string half = Request(1, GET_ACCOUNTS_TOKEN);
  asio::write(raw, asio::buffer(half.substr(0, half.size() / 2)));
  RunFor(m_io, 50ms);
  raw.set_option(asio::socket_base::linger(true, 0));  // close with a reset
  raw.close();
  ASSERT_TRUE(RunUntil(m_io, [&] { return server->Connections() == 0; }));
  EXPECT_TRUE(Logged("closed: the peer closed the connection"));
  Watcher bob;
  auto terminal = MakeTerminal("bob", "pass", bob, TlsOptions());
  ASSERT_TRUE(RunUntil(m_io, [&] { return bob.checked == 1; }, 5s));
  ExpectAllEqual(bob, 1);
}

TEST_F(FaultsTest, ALogOnFloodIsRefusedSessionBySessionAndServiceGoesOn) {
  auto server = MakeServer(PriceFeed::FromTape(m_tape), 1, 0, TlsOptions());
  std::vector<std::unique_ptr<asio::ip::tcp::socket>> flood;
  const std::string guess = Request(-1, LOGIN_TOKEN, {"alice", "guess"});
  for (int i = 0; i < 200; ++i) {
    flood.push_back(std::make_unique<asio::ip::tcp::socket>(m_io));
    flood.back()->connect({asio::ip::make_address("127.0.0.1"), static_cast<uint16_t>(m_port)});
    std::string burst;
    for (int k = 0; k < 50; ++k) burst += guess;
    asio::write(*flood.back(), asio::buffer(burst));
  }
  auto refused = [&] {
    return std::count_if(m_log.begin(), m_log.end(), [](const std::string& line) {
      return line.find("log-on refused for 'alice'") != std::string::npos;
    });
  };
  ASSERT_TRUE(RunUntil(m_io, [&] { return refused() == 200 && server->Connections() == 0; }, 5s))
      << refused() << " refused, " << server->Connections() << " still open";
  Watcher bob;
  auto terminal = MakeTerminal("bob", "pass", bob, TlsOptions());
  ASSERT_TRUE(RunUntil(m_io, [&] { return bob.checked == 1; }, 5s));
  ExpectAllEqual(bob, 1);
}

TEST_F(FaultsTest, TlsForAnotherHostNeverConnects) {
  auto server = MakeServer(PriceFeed::FromTape(m_tape));
  Watcher alice;
  auto terminal = MakeTerminal("alice", "secret", alice, orvane::test::ClientTls("example.com"));
  RunFor(m_io, 1500ms);
  EXPECT_EQ(terminal->Logons(), 0u);
  EXPECT_EQ(server->LoggedOnSessions(), 0u);
}

class ProxyFaultsTest : public FaultsTest {
 protected:
  void StartProxy() {
    m_proxy_port = orvane::test::FreePort();
    m_proxy = std::make_unique<orvane::test::Peer>(
        std::vector<std::string>{"microsocks", "-i", "127.0.0.1", "-p",
                                 std::to_string(m_proxy_port), "-u", "orvane", "-P", "right"},
        m_dir.File("microsocks.log"));
    ASSERT_TRUE(orvane::test::WaitForPort(m_proxy_port));
  }
  std::unique_ptr<Terminal> ProxiedTerminal(const std::string& proxy_password, Watcher& w) {
    TerminalOptions options;
    options.port = m_port;
    options.username = "alice";
    options.password = "secret";
    options.proxy = true;
    options.proxy_type = Socks5Proxy;
    options.proxy_host = "127.0.0.1";
    options.proxy_port = m_proxy_port;
    options.proxy_user = "orvane";
    options.proxy_password = proxy_password;
    auto terminal = std::make_unique<Terminal>(AsioTcpClientEnvironment(m_io), *m_timers,
                                               options, m_clock, &w);
    terminal->Connect();
    return terminal;
  }

  orvane::test::TempDir m_dir;
  std::unique_ptr<orvane::test::Peer> m_proxy;
  int32_t m_proxy_port = 0;
};

TEST_F(ProxyFaultsTest, ARefusingProxyNeverLeadsToADirectConnection) {
  auto server = MakeServer(PriceFeed::FromTape(m_tape), 1, 0, TlsOptions());
  StartProxy();
  Watcher alice;
  auto terminal = ProxiedTerminal("wrong", alice);
  RunFor(m_io, 12s);  // the first attempt and at least one retry
  EXPECT_EQ(terminal->Logons(), 0u);
  EXPECT_EQ(server->Connections(), 0u);
  EXPECT_FALSE(Logged("logged on"));
}

TEST_F(ProxyFaultsTest, AProxyThatDiesTakesTheSessionAndNothingBypassesIt) {
  auto server = MakeServer(PriceFeed::FromTape(m_tape), 2, 0, TlsOptions());
  StartProxy();
  Watcher alice;
  auto terminal = ProxiedTerminal("right", alice);
  ASSERT_TRUE(RunUntil(m_io, [&] { return alice.streaming == 1; }, 5s));
  m_proxy->Stop();
  ASSERT_TRUE(RunUntil(m_io, [&] { return terminal->phase() == Terminal::Phase::kConnecting; }));
  RunFor(m_io, 12s);
  EXPECT_EQ(terminal->Logons(), 1u);
  EXPECT_EQ(server->LoggedOnSessions(), 0u);
}

#ifdef ORVANE_SERVER_BINARY
TEST_F(FaultsTest, AStoppedServerIsDroppedBySupervisionAndRetriedOnceItRuns) {
  orvane::test::TempDir dir;
  const std::string book = dir.Write("book.txt", test::kBook);
  const std::string tape = dir.Write("tape.txt", test::kTape);
  const std::string port_file = dir.File("port");
  orvane::test::Peer server({ORVANE_SERVER_BINARY, "--book", book, "--tape", tape, "--rate", "1",
                             "--wait-sessions", "1", "--port-file", port_file},
                            dir.File("server.log"));
  ASSERT_TRUE(RunUntil(m_io, [&] { return std::ifstream(port_file).peek() != EOF; }));
  std::ifstream(port_file) >> m_port;
  Watcher alice;
  TerminalOptions options;
  options.port = m_port;
  options.username = "alice";
  options.password = "secret";
  options.handshake_ms = 1500;
  Terminal terminal(AsioTcpClientEnvironment(m_io), *m_timers, options, m_clock, &alice);
  terminal.Connect();
  ASSERT_TRUE(RunUntil(m_io, [&] { return alice.streaming == 1; }, 5s));
  server.Signal(SIGSTOP);
  ASSERT_TRUE(RunUntil(m_io, [&] { return terminal.phase() == Terminal::Phase::kConnecting; },
                       5s));
  server.Signal(SIGCONT);
  ASSERT_TRUE(RunUntil(m_io, [&] { return alice.streaming == 2; }, 15s));
  EXPECT_EQ(terminal.Logons(), 2u);
}

#endif

TEST_F(FaultsTest, AThousandConnectAndDropCyclesLeaveNoDescriptorBehind) {
  auto server = MakeServer(PriceFeed::FromTape(m_tape), 0, 0, TlsOptions());
  const size_t before = OpenDescriptors();
  for (int cycle = 0; cycle < 1000; ++cycle) {
    Watcher w;
    auto terminal = MakeTerminal(cycle % 2 ? "alice" : "bob", cycle % 2 ? "secret" : "pass", w,
                                 TlsOptions());
    ASSERT_TRUE(RunUntil(m_io, [&] { return w.streaming == 1; }))
        << "cycle " << cycle << "\n" << Logs(w);
    terminal->Disconnect();
  }
  ASSERT_TRUE(RunUntil(m_io, [&] { return server->Connections() == 0; }));
  RunFor(m_io, 100ms);
  EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
}  // namespace orvane::apps
