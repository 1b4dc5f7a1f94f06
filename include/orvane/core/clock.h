#ifndef ORVANE_CORE_CLOCK_H_
#define ORVANE_CORE_CLOCK_H_

#include <memory>

#include "orvane/core/date_time.h"

namespace orvane {

// The source of "now" (local date and time). Every read of the current time
// in the library goes through orvane::Now(), so that tests and replay tools
// can pin or step time.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual DateTime Now() const = 0;
};

// The local time of the machine.
class SystemClock : public Clock {
 public:
  DateTime Now() const override;
};

// A clock that stands still until told otherwise.
class FixedClock : public Clock {
 public:
  explicit FixedClock(DateTime now = DateTime()) : m_now(now) {}
  DateTime Now() const override { return m_now; }
  void Set(DateTime now) { m_now = now; }
  void Advance(double days) { m_now += days; }
  void AdvanceSeconds(double seconds) { m_now += seconds / 86400.0; }

 private:
  DateTime m_now;
};

// The current local date-time from the process-wide clock.
DateTime Now();

// Replaces the process-wide clock; nullptr restores the system clock.
void SetClock(std::shared_ptr<Clock> clock);

// Installs a clock for the lifetime of the scope and restores the previous
// one afterwards.
class ScopedClock {
 public:
  explicit ScopedClock(std::shared_ptr<Clock> clock);
  ~ScopedClock();
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  std::shared_ptr<Clock> m_previous;
};

}  // namespace orvane

#endif  // ORVANE_CORE_CLOCK_H_
