// Advise's handler check lets a correct handler through, and it fires.

#include <vector>

#include "engine_fixture.h"
#include "orvane/core/handler_check.h"

namespace orvane::engine_test {
namespace {

// Written as a host often does, without `override`: with the event's exact
// parameters it overrides all the same, the check accepts it and it fires.
class NewAccountWatcher : public CAccountsTransactionsEvents {
 public:
  void NewAccountSummeriesData(int32_t& client, int32_t& account, double& balance,
                               double& /*flt*/, double& /*credit*/, double& /*equity*/,
                               double& /*margin_req*/, double& /*margin_level*/,
                               double& /*eff_margin*/, int32_t& /*open_positions*/) {
    heard.push_back({client, account, balance});
  }

  struct Heard {
    int32_t client;
    int32_t account;
    double balance;
    bool operator==(const Heard&) const = default;
  };
  std::vector<Heard> heard;
};
ORVANE_CHECK_HANDLER(CAccountsTransactionsEvents, NewAccountWatcher);

TEST_F(EngineTest, AHandlerWithTheEventsOwnParametersIsAdvisedAndHearsTheEngine) {
  NewAccountWatcher watcher;
  engine->Advise(&watcher);
  Client(10);
  Account(10, 100, 1000);
  engine->Unadvise(&watcher);
  Account(10, 101, 2000);
  EXPECT_EQ(watcher.heard, (std::vector<NewAccountWatcher::Heard>{{10, 100, 1000}}));
}

}  // namespace
}  // namespace orvane::engine_test
