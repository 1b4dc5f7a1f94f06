// The log-on throttle alone, on times given by the test.

#include "log_on_throttle.h"

#include <gtest/gtest.h>

namespace orvane::apps {
namespace {

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

}  // namespace
}  // namespace orvane::apps
