#ifndef ORVANE_TESTS_APPS_INTEGRATION_PLATFORM_FIXTURE_H_
#define ORVANE_TESTS_APPS_INTEGRATION_PLATFORM_FIXTURE_H_

// The reference server and terminals in one process on real sockets, for
// what needs the kernel (TLS, real proxies, descriptors, processes): the
// platform book and helpers to start both sides, on timers ten times fast.

#include <gtest/gtest.h>

#include <asio.hpp>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "book_import.h"
#include "apps/platform_book.h"
#include "support/scaled_timers.h"
#include "connection/integration/peers.h"
#include "orvane/connection/asio_listener.h"
#include "orvane/connection/asio_timer.h"
#include "orvane/connection/tcp_client_environment.h"
#include "orvane/core/clock.h"
#include "price_feed.h"
#include "terminal.h"
#include "trading_server.h"

namespace orvane::apps::test {


using orvane::test::RunFor;
using orvane::test::RunUntil;
using namespace std::chrono_literals;

class PlatformFixture : public ::testing::Test {
 protected:
  PlatformFixture()
      : m_clock(std::make_shared<FixedClock>()),
        m_scoped(m_clock),
        m_timers(std::make_shared<orvane::test::ScaledTimerFactory>(
            std::make_shared<AsioTimerFactory>(m_io), kTimeScale)),
        m_book(ImportBook(kBook, "book")),
        m_tape(ImportTape(kTape, "tape", m_book)) {}

  std::unique_ptr<TradingServer> MakeServer(PriceFeed feed, size_t wait_sessions = 1,
                                             int32_t port = 0,
                                             TlsOptions tls = orvane::test::ServerTls(),
                                             double rate = 1000, size_t max_unsent = 8u << 20) {
    ServerOptions options;
    options.rate = rate;
    options.gateway.limits.max_unsent_bytes = max_unsent;
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
    auto server =
        std::make_unique<TradingServer>(m_book, std::move(feed), m_clock, environment, options);
    m_port = server->Start("127.0.0.1", port);
    return server;
  }

  std::unique_ptr<Terminal> MakeTerminal(const std::string& user, const std::string& password,
                                         Watcher& watcher,
                                         TlsOptions tls = orvane::test::ClientTls("localhost")) {
    TerminalOptions options;
    options.port = m_port;
    options.username = user;
    options.password = password;
    auto terminal = std::make_unique<Terminal>(Environment(tls), *m_timers, options, m_clock,
                                               &watcher);
    terminal->Connect();
    return terminal;
  }

  // A terminal's connection on real sockets and the fixture's timers.
  TcpClientEnvironment Environment(const TlsOptions& tls = {}) {
    TcpClientEnvironment environment = AsioTcpClientEnvironment(m_io, tls);
    environment.timers = m_timers;
    return environment;
  }

  // The server's log and a terminal's, for failure messages.
  std::string Logs(const Watcher& w) const {
    std::string text = "server:\n";
    for (const std::string& line : m_log) text += "  " + line + "\n";
    text += "terminal:\n";
    for (const std::string& line : w.lines) text += "  " + line + "\n";
    return text;
  }

  bool Logged(const std::string& part) const {
    for (const std::string& line : m_log) {
      if (line.find(part) != std::string::npos) return true;
    }
    return false;
  }

  static void ExpectAllEqual(const Watcher& w, size_t accounts) {
    EXPECT_FALSE(w.off_loop) << "an event arrived off the io_context's thread";
    ASSERT_EQ(w.comparisons.size(), accounts);
    for (const Comparison& c : w.comparisons) {
      EXPECT_TRUE(c.Equal()) << "account " << c.account << ": terminal equity "
                             << c.terminal.equity << ", server " << c.server.equity;
    }
  }

  asio::io_context m_io;
  std::shared_ptr<FixedClock> m_clock;
  ScopedClock m_scoped;
  // Every interval of the hosts' timers (the terminals' retries and
  // supervision, the server's handshakes and deadlines) passes this many
  // times faster.
  static constexpr int32_t kTimeScale = 10;
  std::shared_ptr<ITimerFactory> m_timers;
  model::Snapshot m_book;
  std::vector<model::Quote> m_tape;
  std::vector<std::string> m_log;
  int32_t m_port = 0;
};

}  // namespace orvane::apps::test

#endif  // ORVANE_TESTS_APPS_INTEGRATION_PLATFORM_FIXTURE_H_
