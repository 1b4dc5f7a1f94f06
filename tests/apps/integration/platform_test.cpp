// The reference server and terminals in one process on real sockets, for
// what needs the kernel: a terminal over TLS and one through a real proxy
// that dies, and a thousand connect/drop cycles that must leave no
// descriptor behind. The connection library tests TLS
// and proxy failures themselves; the flows and the faults that do not need
// the kernel run in memory (tests/apps/platform_test.cpp).

#include <dirent.h>
#include <signal.h>
#include <gtest/gtest.h>

#include <asio.hpp>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "apps/platform_book.h"
#include "book_import.h"
#include "connection/integration/peers.h"
#include "orvane/asio/asio_listener.h"
#include "orvane/asio/asio_timer.h"
#include "orvane/connection/tcp_client_environment.h"
#include "orvane/core/clock.h"
#include "price_feed.h"
#include "support/scaled_timers.h"
#include "terminal.h"
#include "trading_server.h"

namespace orvane::apps {
namespace {

using orvane::test::RunFor;
using orvane::test::RunUntil;
using test::Watcher;
using namespace std::chrono_literals;

class PlatformTest : public ::testing::Test {
 protected:
  // The server on the platform's book and tape, feeding once `wait_sessions`
  // sessions have started the market.
  std::unique_ptr<TradingServer> MakeServer(size_t wait_sessions, TlsOptions tls = {}) {
    ServerOptions options;
    options.rate = 1000;
    options.start_after_sessions = wait_sessions;
    options.gateway.log = [this](const std::string& line) { m_log.push_back(line); };
    const auto started = std::chrono::steady_clock::now();
    ServerEnvironment environment{std::make_shared<AsioListener>(m_io, tls), m_timers,
                                  [started] {
                                    return std::chrono::duration_cast<std::chrono::milliseconds>(
                                               std::chrono::steady_clock::now() - started)
                                        .count();
                                  },
                                  nullptr,
                                  [this](std::function<void()> task) {
                                    asio::post(m_io, std::move(task));
                                  }};
    auto server = std::make_unique<TradingServer>(m_book, PriceFeed::from_tape(m_tape), m_clock,
                                                  environment, options);
    m_port = server->start("127.0.0.1", 0);
    return server;
  }

  // A terminal of `user`, connecting on the fixture's timers.
  std::unique_ptr<Terminal> MakeTerminal(const std::string& user, Watcher& watcher,
                                         TlsOptions tls = {},
                                         const std::function<void(TerminalOptions&)>& tweak = {}) {
    TerminalOptions options;
    options.port = m_port;
    options.username = user;
    options.password = user == "alice" ? "secret" : "pass";
    if (tweak) tweak(options);
    TcpClientEnvironment environment = AsioTcpClientEnvironment(m_io, tls);
    environment.timers = m_timers;
    auto terminal = std::make_unique<Terminal>(environment, *m_timers, options, m_clock, &watcher);
    terminal->connect();
    return terminal;
  }

  // The server's log and a terminal's, for failure messages.
  std::string Logs(const Watcher& w) const {
    std::string text = "server:\n";
    for (const std::string& line : m_log) text += "  " + line + "\n";
    text += "terminal:\n";
    for (const std::string& line : w.lines) text += "  " + line + "\n";
    return text;
  }

  asio::io_context m_io;
  std::shared_ptr<FixedClock> m_clock = std::make_shared<FixedClock>();
  ScopedClock m_scoped{m_clock};
  // Every interval of the hosts' timers (the terminals' retries and
  // supervision, the server's handshakes and deadlines) passes ten times
  // faster.
  std::shared_ptr<ITimerFactory> m_timers = std::make_shared<orvane::test::ScaledTimerFactory>(
      std::make_shared<AsioTimerFactory>(m_io), 10);
  model::Snapshot m_book = import_book(test::kBook, "book");
  std::vector<model::Quote> m_tape = import_tape(test::kTape, "tape", m_book);
  std::vector<std::string> m_log;
  int32_t m_port = 0;
};

// The terminal verifies the server, streams and ends with the server's
// figures.
TEST_F(PlatformTest, OverTlsTheTerminalStreamsAndAgreesWithTheServer) {
  ASSERT_TRUE(orvane::test::Certificates::Get().ok);
  auto server = MakeServer(1, orvane::test::ServerTls());
  Watcher alice;
  auto terminal = MakeTerminal("alice", alice, orvane::test::ClientTls("localhost"));
  ASSERT_TRUE(RunUntil(m_io, [&] { return alice.checks == 1; }, 5s)) << Logs(alice);
  EXPECT_FALSE(alice.off_loop) << "an event arrived off the io_context's thread";
  ASSERT_EQ(alice.comparisons.size(), 1u);
  const Comparison& c = alice.comparisons[0];
  EXPECT_TRUE(c.equal()) << "terminal equity " << c.terminal.equity << ", server "
                         << c.server.equity;
}

TEST_F(PlatformTest, AProxyThatDiesTakesTheSessionAndNothingBypassesIt) {
  auto server = MakeServer(2);
  orvane::test::TempDir dir;
  const int32_t proxy_port = orvane::test::FreePort();
  orvane::test::Peer proxy({"microsocks", "-i", "127.0.0.1", "-p", std::to_string(proxy_port),
                            "-u", "orvane", "-P", "right"},
                           dir.File("microsocks.log"));
  ASSERT_TRUE(orvane::test::WaitForPort(proxy_port));
  Watcher alice;
  auto terminal = MakeTerminal("alice", alice, {}, [&](TerminalOptions& options) {
    options.proxy = true;
    options.proxy_type = Socks5Proxy;
    options.proxy_host = "127.0.0.1";
    options.proxy_port = proxy_port;
    options.proxy_user = "orvane";
    options.proxy_password = "right";
  });
  ASSERT_TRUE(RunUntil(m_io, [&] { return alice.streams == 1; }, 5s)) << Logs(alice);
  proxy.Stop();
  ASSERT_TRUE(RunUntil(m_io, [&] { return terminal->phase() == Terminal::Phase::kConnecting; }));
  RunFor(m_io, 1500ms);  // retries (timers ten times fast) that must not go around it
  EXPECT_EQ(terminal->logons(), 1u);
  EXPECT_EQ(server->logged_on_sessions(), 0u);
}

size_t OpenDescriptors() {
  size_t count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir)) ++count;
    closedir(dir);
  }
  return count;
}

TEST_F(PlatformTest, AThousandConnectAndDropCyclesLeaveNoDescriptorBehind) {
  auto server = MakeServer(0);
  const size_t before = OpenDescriptors();
  for (int cycle = 0; cycle < 1000; ++cycle) {
    Watcher w;
    auto terminal = MakeTerminal(cycle % 2 ? "alice" : "bob", w);
    ASSERT_TRUE(RunUntil(m_io, [&] { return w.streams == 1; }))
        << "cycle " << cycle << "\n" << Logs(w);
    terminal->disconnect();
  }
  ASSERT_TRUE(RunUntil(m_io, [&] { return server->connections() == 0; }));
  RunFor(m_io, 100ms);
  EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
}  // namespace orvane::apps
