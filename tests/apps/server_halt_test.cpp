// A server whose store refuses a commit stops itself and tells its host why,
// so that the host ends its run instead of waiting for a signal.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "trading_fixture.h"

namespace orvane::apps {
namespace {

TEST(ServerHaltTest, AFailedStoreStopsTheServerAndTellsTheHostWhy) {
  auto clock = std::make_shared<FixedClock>();
  ScopedClock scoped(clock);
  auto time = std::make_shared<VirtualTimeScheduler>();
  auto network = MemoryNetwork::Create(time, false);
  std::vector<std::string> halted;
  ServerOptions options;
  options.start_after_sessions = 99;
  options.rules.rollover_seconds = 22 * 3600;
  options.halted = [&halted](const std::string& reason) { halted.push_back(reason); };
  MemoryStore store(import_book(kBook, "book"));
  TradingServer server({}, PriceFeed::from_tape({}), clock,
                       ServerEnvironment{std::make_shared<MemoryAcceptor>(network), time,
                                         [time] { return time->Elapsed(); }, &store},
                       options);
  server.start("127.0.0.1", 0);
  server.apply_quote({DateTime::FromParts(2027, 3, 3, 12, 0, 0), "03/03/2027 12:00:00", 2, 1.2000,
                     1.2001});
  EXPECT_TRUE(halted.empty());
  ASSERT_TRUE(server.running());

  store.fail_commits("disk full");
  // Past the rollover: its batch must be committed, and is refused.
  server.apply_quote({DateTime::FromParts(2027, 3, 3, 22, 0, 1), "03/03/2027 22:00:01", 2, 1.2002,
                     1.2003});
  ASSERT_EQ(halted.size(), 1u);
  EXPECT_NE(halted[0].find("disk full"), std::string::npos) << halted[0];
  EXPECT_FALSE(server.running());
}

}  // namespace
}  // namespace orvane::apps
