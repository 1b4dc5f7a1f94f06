#ifndef ORVANE_TESTS_APPS_PLATFORM_BOOK_H_
#define ORVANE_TESTS_APPS_PLATFORM_BOOK_H_

// The small hand-worked book and tape the platform tests run (in memory and
// on loopback), what a terminal reports there, and the in-memory network on
// virtual time the hosts' tests run on.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "orvane/core/clock.h"
#include "orvane/testing/memory_network.h"
#include "orvane/testing/virtual_timer.h"
#include "terminal.h"

namespace orvane::apps::test {

// Alice (client 10, spread 2 pips on EURUSD) is long 1 lot from 1.2000 with
// a stop-loss at 1.1850; Bob (client 20) waits with a buy limit at 1.1950.
inline const char* kBook = R"(SYMBOL 1 USD -4 1 1 1 1 0 1 1 FRIDAY 22:00 SUNDAY 22:00
SYMBOL 2 EURUSD -4 100000 1 1 1 1000 1.2000 1.2001 FRIDAY 22:00 SUNDAY 22:00
PARAMSET plain 1,0,0,0,0,0,100,0.01,0,2,2,0,0,0,0,100,0.01,0
CLIENT 10 plain 2 50 2 0 Alice Smith
USER alice secret 10 4,5,8
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
  void streaming() override { OnLoop(), ++streams; }
  void checked(const std::vector<Comparison>& c) override { OnLoop(), comparisons = c, ++checks; }
  void refused(const std::string& reason) override { OnLoop(), refusal = reason; }
  void figures_changed(const AccountFigures&) override { OnLoop(); }
  void log(const std::string& line) override { OnLoop(), lines.push_back(line); }
  void order_answered(const wire::OrderAnswer& a) override { OnLoop(), answers.push_back(a); }
  void OnLoop() { off_loop = off_loop || std::this_thread::get_id() != loop; }
  std::thread::id loop = std::this_thread::get_id();
  bool off_loop = false;
  std::vector<std::string> lines;  // the terminal's log, for failure messages
  int streams = 0;
  int checks = 0;
  std::vector<Comparison> comparisons;
  std::string refusal;
  std::vector<wire::OrderAnswer> answers;
};

// A clock, virtual time and an in-memory network for hosts in one process.
class MemoryPlatformTest : public ::testing::Test {
 protected:
  // Runs the loop in 10 ms steps of virtual time until `done`, for at most
  // `limit_ms`.
  bool RunUntil(const std::function<bool()>& done, int64_t limit_ms = 10000) {
    for (int64_t waited = 0; waited <= limit_ms; waited += 10) {
      if (done()) return true;
      m_loop->Advance(10);
    }
    return done();
  }
  static TerminalOptions LogOnAs(int32_t port, const std::string& user,
                                 const std::string& password) {
    TerminalOptions options;
    options.port = port;
    options.username = user;
    options.password = password;
    return options;
  }

  std::shared_ptr<FixedClock> m_clock = std::make_shared<FixedClock>();
  ScopedClock m_scoped{m_clock};
  std::shared_ptr<VirtualTimeScheduler> m_loop = std::make_shared<VirtualTimeScheduler>();
  std::shared_ptr<MemoryNetwork> m_network = MemoryNetwork::Create(m_loop);
};

}  // namespace orvane::apps::test

#endif  // ORVANE_TESTS_APPS_PLATFORM_BOOK_H_
