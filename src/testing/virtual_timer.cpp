#include "orvane/testing/virtual_timer.h"

#include <algorithm>
#include <deque>
#include <utility>
#include <vector>

namespace orvane {

namespace {

constexpr double kMillisecondsPerDay = 86400000.0;

}  // namespace

class VirtualTimer;

// The shared state of one scheduler: virtual time and the live timers.
class VirtualTimeScheduler::Core {
 public:
  explicit Core(std::shared_ptr<FixedClock> clock)
      : m_clock(std::move(clock)),
        m_clock_start(m_clock ? m_clock->Now() : DateTime()) {}

  int64_t now = 0;
  int64_t ticks = 0;
  uint64_t next_arm = 0;
  std::vector<VirtualTimer*> timers;
  std::deque<std::function<void()>> tasks;

  void MoveTo(int64_t time) {
    now = time;
    if (m_clock) {
      m_clock->Set(m_clock_start + static_cast<double>(now) / kMillisecondsPerDay);
    }
  }

 private:
  std::shared_ptr<FixedClock> m_clock;
  DateTime m_clock_start;
};

class VirtualTimer : public ITimer, private NonCopyable {
 public:
  explicit VirtualTimer(std::shared_ptr<VirtualTimeScheduler::Core> core)
      : m_core(std::move(core)) {
    m_core->timers.push_back(this);
  }
  ~VirtualTimer() override { std::erase(m_core->timers, this); }

  int32_t Interval() const override { return m_interval; }
  void Interval(int32_t milliseconds) override {
    m_interval = milliseconds;
    if (m_enabled) Arm();
  }
  bool Enabled() const override { return m_enabled; }
  void Enabled(bool value) override {
    if (value == m_enabled) return;
    m_enabled = value;
    if (m_enabled) Arm();
  }
  void OnTick(std::function<void()> handler) override {
    m_handler = std::move(handler);
  }

  bool Due(int64_t limit) const {
    return m_enabled && m_interval >= 1 && m_due <= limit;
  }
  bool Before(const VirtualTimer& other) const {
    return m_due != other.m_due ? m_due < other.m_due : m_arm < other.m_arm;
  }
  int64_t due() const { return m_due; }

  // Re-arms for the next interval and returns the handler to run (a copy,
  // so that the handler may destroy this timer).
  std::function<void()> TakeTick() {
    m_due += m_interval;
    m_arm = m_core->next_arm++;
    return m_handler;
  }

 private:
  void Arm() {
    m_due = m_core->now + m_interval;
    m_arm = m_core->next_arm++;
  }

  std::shared_ptr<VirtualTimeScheduler::Core> m_core;
  int32_t m_interval = 0;
  bool m_enabled = false;
  int64_t m_due = 0;
  uint64_t m_arm = 0;
  std::function<void()> m_handler;
};

VirtualTimeScheduler::VirtualTimeScheduler(std::shared_ptr<FixedClock> clock)
    : m_core(std::make_shared<Core>(std::move(clock))) {}

VirtualTimeScheduler::~VirtualTimeScheduler() = default;

std::shared_ptr<ITimer> VirtualTimeScheduler::CreateTimer() {
  return std::make_shared<VirtualTimer>(m_core);
}

void VirtualTimeScheduler::Post(std::function<void()> task) {
  if (task) m_core->tasks.push_back(std::move(task));
}

int64_t VirtualTimeScheduler::RunUntilIdle() {
  // A task may drop the last reference to this scheduler.
  std::shared_ptr<Core> core = m_core;
  int64_t ran = 0;
  while (!core->tasks.empty()) {
    std::function<void()> task = std::move(core->tasks.front());
    core->tasks.pop_front();
    task();
    ++ran;
  }
  return ran;
}

size_t VirtualTimeScheduler::PendingTasks() const {
  return m_core->tasks.size();
}

void VirtualTimeScheduler::Advance(int64_t milliseconds) {
  if (milliseconds < 0) return;
  RunUntilIdle();
  const int64_t target = m_core->now + milliseconds;
  for (;;) {
    VirtualTimer* next = nullptr;
    for (VirtualTimer* timer : m_core->timers) {
      if (timer->Due(target) && (next == nullptr || timer->Before(*next))) {
        next = timer;
      }
    }
    if (next == nullptr) break;
    m_core->MoveTo(next->due());
    std::function<void()> handler = next->TakeTick();
    ++m_core->ticks;
    if (handler) handler();
    RunUntilIdle();
  }
  m_core->MoveTo(target);
}

int64_t VirtualTimeScheduler::Elapsed() const { return m_core->now; }

int64_t VirtualTimeScheduler::TickCount() const { return m_core->ticks; }

}  // namespace orvane
