#ifndef ORVANE_TESTS_APPS_INTEGRATION_PLATFORM_FIXTURE_H_
#define ORVANE_TESTS_APPS_INTEGRATION_PLATFORM_FIXTURE_H_

// The reference server and terminals in one process on loopback: a small
// hand-worked book, its tape, and helpers to start both sides.

#include <gtest/gtest.h>

#include <asio.hpp>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "book_import.h"
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

// Alice (client 10, spread 2 pips on EURUSD) is long 1 lot from 1.2000 with
// a stop-loss at 1.1850; Bob (client 20) waits with a buy limit at 1.1950.
inline const char* kBook = R"(SYMBOL 1 USD -4 1 1 1 1 0 1 1 FRIDAY 22:00 SUNDAY 22:00
SYMBOL 2 EURUSD -4 100000 1 1 1 1000 1.2000 1.2001 FRIDAY 22:00 SUNDAY 22:00
PARAMSET plain 1,0,0,0,0,0,100,0.01,0,2,2,0,0,0,0,100,0.01,0
CLIENT 10 plain 2 50 2 0 Alice Smith
USER alice secret 10 4,5
ACCOUNT 10 100 1 0 0 2000 0 -1000 0 0 0 0
POSITION 10 100 10R,@100R,@1R,@03/03/2027 09:00:00R,@BuyR,@1R,@2R,@1.2000R,@R,@R,@0R,@1R,@EURUSDR,@0R,@R,@
ORDER 10 100 11R,@03/03/2027 09:00:00R,@-1R,@1R,@2R,@0R,@SLR,@1R,@1.1850R,@0R,@0R,@
CLIENT 20 plain 1 0 1 0 Bob
USER bob pass 20 -
ACCOUNT 20 200 1 0 0 5000 0 0 0 0 0 0
ORDER 20 200 8R,@03/03/2027 09:00:00R,@1R,@1R,@2R,@1.1950R,@LOR,@0R,@0R,@0R,@0R,@
)";

inline const char* kTape = R"(03/03/2027 12:00:00 2 1.1960 1.1961
03/03/2027 12:00:01 2 1.1948 1.1949
03/03/2027 12:00:02 2 1.1990 1.1991
03/03/2027 12:00:03 2 1.1840 1.1841
03/03/2027 12:00:04 2 1.1870 1.1871
)";

// Records what a terminal reports.
// Every event must arrive on the thread that runs the io_context.
struct Watcher : TerminalEvents {
  void Streaming() override { OnLoop(), ++streaming; }
  void Checked(const std::vector<Comparison>& c) override { OnLoop(), comparisons = c, ++checked; }
  void Refused(const std::string& reason) override { OnLoop(), refused = reason; }
  void FiguresChanged(const AccountFigures&) override { OnLoop(); }
  void Log(const std::string& line) override { OnLoop(), lines.push_back(line); }
  void OnLoop() { off_loop = off_loop || std::this_thread::get_id() != loop; }
  std::thread::id loop = std::this_thread::get_id();
  bool off_loop = false;
  std::vector<std::string> lines;  // the terminal's log, for failure messages
  int streaming = 0;
  int checked = 0;
  std::vector<Comparison> comparisons;
  std::string refused;
};

// A server on a real listener, its timers on the io_context.
struct LoopbackServer : AsioListenerEvents {
  LoopbackServer(asio::io_context& io, const TlsOptions& tls) : listener(io, tls) {
    listener.Advise(this);
  }
  ~LoopbackServer() override {
    listener.Close();
    listener.Unadvise(this);
  }
  void Accepted(const std::shared_ptr<ISocket>& child) override { server->Accept(child); }
  size_t Connections() const { return server->Connections(); }
  size_t LoggedOnSessions() const { return server->LoggedOnSessions(); }

  AsioListener listener;
  std::unique_ptr<TradingServer> server;
};

class PlatformFixture : public ::testing::Test {
 protected:
  PlatformFixture()
      : m_clock(std::make_shared<FixedClock>()),
        m_scoped(m_clock),
        m_timers(std::make_shared<AsioTimerFactory>(m_io)),
        m_book(ImportBook(kBook, "book")),
        m_tape(ImportTape(kTape, "tape", m_book)) {}

  std::unique_ptr<LoopbackServer> MakeServer(PriceFeed feed, size_t wait_sessions = 1,
                                             int32_t port = 0,
                                             TlsOptions tls = orvane::test::ServerTls(),
                                             double rate = 1000, size_t max_unsent = 8u << 20) {
    ServerOptions options;
    options.rate = rate;
    options.gateway.limits.max_unsent_bytes = max_unsent;
    options.start_after_sessions = wait_sessions;
    options.gateway.log = [this](const std::string& line) { m_log.push_back(line); };
    const auto started = std::chrono::steady_clock::now();
    ServerEnvironment environment{m_timers, [started] {
                                    return std::chrono::duration_cast<std::chrono::milliseconds>(
                                               std::chrono::steady_clock::now() - started)
                                        .count();
                                  }};
    auto server = std::make_unique<LoopbackServer>(m_io, tls);
    server->server = std::make_unique<TradingServer>(m_book, std::move(feed), m_clock,
                                                     environment, options);
    m_port = server->listener.Listen("127.0.0.1", port);
    server->server->Start();
    return server;
  }

  std::unique_ptr<Terminal> MakeTerminal(const std::string& user, const std::string& password,
                                         Watcher& watcher,
                                         TlsOptions tls = orvane::test::ClientTls("localhost")) {
    TerminalOptions options;
    options.port = m_port;
    options.username = user;
    options.password = password;
    auto terminal = std::make_unique<Terminal>(AsioTcpClientEnvironment(m_io, tls), *m_timers,
                                               options, m_clock, &watcher);
    terminal->Connect();
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
  std::shared_ptr<AsioTimerFactory> m_timers;
  model::Snapshot m_book;
  std::vector<model::Quote> m_tape;
  std::vector<std::string> m_log;
  int32_t m_port = 0;
};

}  // namespace orvane::apps::test

#endif  // ORVANE_TESTS_APPS_INTEGRATION_PLATFORM_FIXTURE_H_
