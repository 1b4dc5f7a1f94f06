// Faults against the reference hosts that need the kernel: a stopped server
// process, a real proxy that refuses or dies, TLS for the wrong host, and a
// thousand connect/drop cycles that must leave no descriptor behind. (The
// faults that do not need it run in memory: tests/apps/platform_test.cpp.)

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

TEST_F(FaultsTest, TlsForAnotherHostNeverConnects) {
  auto server = MakeServer(PriceFeed::FromTape(m_tape));
  Watcher alice;
  auto terminal = MakeTerminal("alice", "secret", alice, orvane::test::ClientTls("example.com"));
  RunFor(m_io, 500ms);
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
    auto terminal = std::make_unique<Terminal>(Environment(), *m_timers, options, m_clock, &w);
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
  RunFor(m_io, 1500ms);  // the first attempt and at least one retry (timers ten times fast)
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
  RunFor(m_io, 1500ms);
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
  // 1.5 s on the fixture's timers: past the real server's 1 s handshakes.
  options.handshake_ms = 15000;
  Terminal terminal(Environment(), *m_timers, options, m_clock, &alice);
  terminal.Connect();
  ASSERT_TRUE(RunUntil(m_io, [&] { return alice.streaming == 1; }, 5s));
  server.Signal(SIGSTOP);
  ASSERT_TRUE(RunUntil(m_io, [&] { return terminal.phase() == Terminal::Phase::kConnecting; },
                       5s));
  server.Signal(SIGCONT);
  ASSERT_TRUE(RunUntil(m_io, [&] { return alice.streaming == 2; }, 5s));
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
