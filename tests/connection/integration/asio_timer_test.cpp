// The Asio timer adapter on real time, with intervals of a few
// milliseconds.

#include "orvane/connection/asio_timer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "peers.h"

namespace orvane {
namespace {

using Clock = std::chrono::steady_clock;
using test::RunFor;
using test::RunUntil;

TEST(AsioTimerTest, TicksEveryIntervalWhileEnabled) {
  asio::io_context io;
  AsioTimerFactory factory(io);
  auto timer = factory.CreateTimer();
  int ticks = 0;
  timer->OnTick([&] { ++ticks; });
  timer->Interval(5);
  RunFor(io, std::chrono::milliseconds(20));
  EXPECT_EQ(ticks, 0);  // a new timer is disabled
  auto start = Clock::now();
  timer->Enabled(true);
  // A busy machine may run two late ticks in one go: wait for at least 4.
  ASSERT_TRUE(RunUntil(io, [&] { return ticks >= 4; }));
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(20));
  timer->Enabled(false);
  int at_disable = ticks;
  RunFor(io, std::chrono::milliseconds(20));
  EXPECT_EQ(ticks, at_disable);
}

TEST(AsioTimerTest, DisableThenEnableRestartsTheFullInterval) {
  asio::io_context io;
  AsioTimer timer(io);
  std::vector<Clock::time_point> ticks;
  timer.OnTick([&] { ticks.push_back(Clock::now()); });
  timer.Interval(40);
  timer.Enabled(true);
  RunFor(io, std::chrono::milliseconds(30));
  auto restart = Clock::now();
  timer.Enabled(false);
  timer.Enabled(true);
  timer.Enabled(true);  // enabling an enabled timer changes nothing
  ticks.clear();  // a slow machine may have ticked before the restart
  ASSERT_TRUE(RunUntil(io, [&] { return !ticks.empty(); }));
  EXPECT_GE(ticks[0] - restart, std::chrono::milliseconds(40));
}

// Restart postpones the tick without re-arming the wait each time; the tick
// still comes a full interval after the last restart, and a disabled timer
// is enabled by it.
TEST(AsioTimerTest, RestartPostponesTheTickByAFullInterval) {
  asio::io_context io;
  AsioTimer timer(io);
  std::vector<Clock::time_point> ticks;
  timer.OnTick([&] { ticks.push_back(Clock::now()); });
  timer.Interval(30);
  timer.Restart();
  EXPECT_TRUE(timer.Enabled());
  auto last = Clock::now();
  for (int i = 0; i < 8; ++i) {
    RunFor(io, std::chrono::milliseconds(10));
    last = Clock::now();
    timer.Restart();
  }
  EXPECT_TRUE(ticks.empty()) << "ticked although restarted every 10 ms";
  ASSERT_TRUE(RunUntil(io, [&] { return !ticks.empty(); }));
  EXPECT_GE(ticks[0] - last, std::chrono::milliseconds(30));
  // Disabled after a restart, it stays silent.
  timer.Restart();
  timer.Enabled(false);
  const size_t at_disable = ticks.size();
  RunFor(io, std::chrono::milliseconds(60));
  EXPECT_EQ(ticks.size(), at_disable);
}

TEST(AsioTimerTest, AHandlerMayStopOrDropItsOwnTimer) {
  asio::io_context io;
  auto timer = std::make_shared<AsioTimer>(io);
  int ticks = 0;
  timer->OnTick([&] {
    ++ticks;
    timer.reset();
  });
  timer->Interval(2);
  timer->Enabled(true);
  RunFor(io, std::chrono::milliseconds(20));
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(timer, nullptr);
}

TEST(AsioTimerTest, AnIntervalBelowOneNeverTicks) {
  asio::io_context io;
  AsioTimer timer(io);
  int ticks = 0;
  timer.OnTick([&] { ++ticks; });
  timer.Interval(0);
  timer.Enabled(true);
  RunFor(io, std::chrono::milliseconds(10));
  EXPECT_EQ(ticks, 0);
  timer.Interval(2);  // re-timing an enabled timer starts it
  ASSERT_TRUE(RunUntil(io, [&] { return ticks > 0; }));
}

}  // namespace
}  // namespace orvane
