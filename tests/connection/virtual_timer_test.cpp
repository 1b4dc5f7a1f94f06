#include "orvane/testing/virtual_timer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "orvane/core/clock.h"

namespace orvane {
namespace {

TEST(VirtualTimerTest, DueTicksFireInTimeOrderThenArmingOrder) {
  VirtualTimeScheduler scheduler;
  std::vector<std::string> log;
  auto fast = scheduler.CreateTimer();
  auto slow = scheduler.CreateTimer();
  auto twin = scheduler.CreateTimer();
  fast->OnTick([&] { log.push_back("fast@" + std::to_string(scheduler.Elapsed())); });
  slow->OnTick([&] { log.push_back("slow@" + std::to_string(scheduler.Elapsed())); });
  twin->OnTick([&] { log.push_back("twin@" + std::to_string(scheduler.Elapsed())); });
  slow->Interval(25);
  twin->Interval(50);
  fast->Interval(10);
  twin->Enabled(true);  // armed before slow: fires first at 50
  slow->Enabled(true);
  fast->Enabled(true);
  scheduler.Advance(50);
  EXPECT_EQ(log, (std::vector<std::string>{
                     "fast@10", "fast@20", "slow@25", "fast@30", "fast@40",
                     "twin@50", "slow@50", "fast@50"}));
  EXPECT_EQ(scheduler.TickCount(), 8);
}

TEST(VirtualTimerTest, AdvanceMovesTheClockToEachTick) {
  auto clock = std::make_shared<FixedClock>(DateTime::FromParts(2026, 3, 1, 12, 0, 0));
  ScopedClock scoped(clock);
  VirtualTimeScheduler scheduler(clock);
  auto timer = scheduler.CreateTimer();
  std::vector<int> seconds;
  timer->Interval(2000);
  timer->OnTick([&] { seconds.push_back(Now().Second()); });
  timer->Enabled(true);
  scheduler.Advance(5000);
  EXPECT_EQ(seconds, (std::vector<int>{2, 4}));
  EXPECT_EQ(Now().Second(), 5);
}

// Posted work waits for a turn, runs in posting order (work it posts runs
// in the same RunUntilIdle), and settles after each tick before the next.
TEST(VirtualTimerTest, PostedWorkRunsOnLaterTurnsAndSettlesBetweenTicks) {
  VirtualTimeScheduler loop;
  std::vector<std::string> log;
  loop.Post([&] {
    log.push_back("a");
    loop.Post([&] { log.push_back("c"); });
  });
  loop.Post([&] { log.push_back("b"); });
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(loop.PendingTasks(), 2u);
  EXPECT_EQ(loop.RunUntilIdle(), 3);
  EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "c"}));

  log.clear();
  auto timer = loop.CreateTimer();
  timer->Interval(10);
  timer->OnTick([&] {
    log.push_back("tick" + std::to_string(loop.Elapsed()));
    loop.Post([&] { log.push_back("post" + std::to_string(loop.Elapsed())); });
  });
  timer->Enabled(true);
  loop.Post([&] { log.push_back("first"); });
  loop.Advance(20);
  EXPECT_EQ(log, (std::vector<std::string>{"first", "tick10", "post10",
                                           "tick20", "post20"}));
  EXPECT_EQ(loop.RunUntilIdle(), 0);
}

}  // namespace
}  // namespace orvane
