// The rules every ITimer keeps, checked on virtual time and on the Asio
// timers over real time. Real time may run late by a busy machine's slack;
// virtual time runs exactly to the millisecond.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "orvane/asio/asio_timer.h"
#include "orvane/testing/virtual_timer.h"
#include "peers.h"

namespace orvane {
namespace {

struct VirtualTime {
  static constexpr int64_t kSlack = 0;
  std::shared_ptr<ITimer> Create() { return scheduler.CreateTimer(); }
  int64_t Ms() const { return scheduler.Elapsed(); }
  void RunFor(int64_t ms) { scheduler.Advance(ms); }
  bool RunUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 3000 && !done(); ++i) scheduler.Advance(1);
    return done();
  }
  VirtualTimeScheduler scheduler;
};

struct RealTime {
  static constexpr int64_t kSlack = 1000;
  std::shared_ptr<ITimer> Create() { return factory.CreateTimer(); }
  int64_t Ms() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now() - start)
        .count();
  }
  void RunFor(int64_t ms) { test::RunFor(io, std::chrono::milliseconds(ms)); }
  bool RunUntil(const std::function<bool()>& done) { return test::RunUntil(io, done); }
  asio::io_context io;
  AsioTimerFactory factory{io};
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

template <class Time>
class TimerContractTest : public ::testing::Test {
 protected:
  // A timer whose ticks are recorded at the instant they come.
  std::shared_ptr<ITimer> Recorded() {
    auto timer = time.Create();
    timer->OnTick([this] { ticks.push_back(time.Ms()); });
    return timer;
  }
  Time time;
  std::vector<int64_t> ticks;
};

using Times = ::testing::Types<VirtualTime, RealTime>;
TYPED_TEST_SUITE(TimerContractTest, Times);

TYPED_TEST(TimerContractTest, ANewTimerIsSilentAndAnEnabledOneTicksEveryInterval) {
  auto timer = this->Recorded();
  timer->Interval(10);
  this->time.RunFor(30);
  EXPECT_TRUE(this->ticks.empty());
  EXPECT_FALSE(timer->Enabled());

  const int64_t start = this->time.Ms();
  timer->Enabled(true);
  ASSERT_TRUE(this->time.RunUntil([&] { return this->ticks.size() >= 3; }));
  EXPECT_GE(this->ticks[0] - start, 10);
  EXPECT_LE(this->ticks[0] - start, 10 + TypeParam::kSlack);
  EXPECT_GE(this->ticks[2] - start, 30);
  EXPECT_LE(this->ticks[2] - start, 30 + TypeParam::kSlack);

  timer->Enabled(false);
  const size_t at_disable = this->ticks.size();
  this->time.RunFor(30);
  EXPECT_EQ(this->ticks.size(), at_disable);
}

TYPED_TEST(TimerContractTest, DisableThenEnableRestartsTheFullInterval) {
  auto timer = this->Recorded();
  timer->Interval(40);
  timer->Enabled(true);
  this->time.RunFor(30);
  const int64_t restart = this->time.Ms();
  timer->Enabled(false);
  timer->Enabled(true);
  timer->Enabled(true);  // enabling an enabled timer changes nothing
  this->ticks.clear();  // a slow machine may have ticked before the restart
  ASSERT_TRUE(this->time.RunUntil([&] { return !this->ticks.empty(); }));
  EXPECT_GE(this->ticks[0] - restart, 40);
  EXPECT_LE(this->ticks[0] - restart, 40 + TypeParam::kSlack);
}

// Restart postpones the tick by a full interval each time, and enables a
// disabled timer; disabled after a restart, the timer stays silent.
TYPED_TEST(TimerContractTest, RestartPostponesTheTickByAFullInterval) {
  auto timer = this->Recorded();
  timer->Interval(30);
  timer->Restart();
  EXPECT_TRUE(timer->Enabled());
  int64_t last = this->time.Ms();
  for (int i = 0; i < 8; ++i) {
    this->time.RunFor(10);
    last = this->time.Ms();
    timer->Restart();
  }
  EXPECT_TRUE(this->ticks.empty()) << "ticked although restarted every 10 ms";
  ASSERT_TRUE(this->time.RunUntil([&] { return !this->ticks.empty(); }));
  EXPECT_GE(this->ticks[0] - last, 30);
  EXPECT_LE(this->ticks[0] - last, 30 + TypeParam::kSlack);

  timer->Restart();
  timer->Enabled(false);
  const size_t at_disable = this->ticks.size();
  this->time.RunFor(60);
  EXPECT_EQ(this->ticks.size(), at_disable);
}

// Enabling an enabled timer keeps its countdown; a new interval restarts it.
TYPED_TEST(TimerContractTest, OnlyANewIntervalRestartsTheCountdown) {
  auto timer = this->Recorded();
  timer->Interval(100);
  const int64_t start = this->time.Ms();
  timer->Enabled(true);
  this->time.RunFor(90);
  timer->Enabled(true);
  ASSERT_TRUE(this->time.RunUntil([&] { return !this->ticks.empty(); }));
  EXPECT_GE(this->ticks[0] - start, 100);
  EXPECT_LE(this->ticks[0] - start, 100 + TypeParam::kSlack);

  this->time.RunFor(40);
  const int64_t retimed = this->time.Ms();
  timer->Interval(30);  // due 30 ms from now, not 60
  this->ticks.clear();
  ASSERT_TRUE(this->time.RunUntil([&] { return !this->ticks.empty(); }));
  EXPECT_GE(this->ticks[0] - retimed, 30);
  EXPECT_LE(this->ticks[0] - retimed, 30 + TypeParam::kSlack);
}

// A handler may arm another timer, which counts from that instant, and may
// drop its own timer.
TYPED_TEST(TimerContractTest, AHandlerMayArmAnotherTimerAndDropItsOwn) {
  std::shared_ptr<ITimer> once = this->time.Create();
  std::shared_ptr<ITimer> other = this->time.Create();
  int once_ticks = 0;
  int64_t armed = 0;
  once->OnTick([&] {
    ++once_ticks;
    armed = this->time.Ms();
    other->Enabled(true);
    once.reset();
  });
  other->Interval(20);
  other->OnTick([&] {
    this->ticks.push_back(this->time.Ms());
    other->Enabled(false);
  });
  once->Interval(5);
  once->Enabled(true);
  ASSERT_TRUE(this->time.RunUntil([&] { return !this->ticks.empty(); }));
  EXPECT_EQ(once_ticks, 1);
  EXPECT_EQ(once, nullptr);
  EXPECT_GE(this->ticks[0] - armed, 20);
  EXPECT_LE(this->ticks[0] - armed, 20 + TypeParam::kSlack);
  this->time.RunFor(100);
  EXPECT_EQ(this->ticks.size(), 1u);
}

TYPED_TEST(TimerContractTest, AnIntervalBelowOneNeverTicksAndReTimingStartsIt) {
  auto timer = this->Recorded();
  timer->Interval(0);
  timer->Enabled(true);
  this->time.RunFor(100);  // no interval, no ticks (and no endless loop)
  EXPECT_TRUE(this->ticks.empty());
  timer->Interval(2);
  ASSERT_TRUE(this->time.RunUntil([&] { return !this->ticks.empty(); }));
}

}  // namespace
}  // namespace orvane
