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
  // The current local date-time.
  virtual DateTime Now() const = 0;
};

// The local time of the machine.
class SystemClock : public Clock {
 public:
  // The machine's local time now.
  DateTime Now() const override;
};

// A clock that stands still until told otherwise.
class FixedClock : public Clock {
 public:
  // Stands at `now`.
  explicit FixedClock(DateTime now = DateTime()) : m_now(now) {}
  // The time it stands at.
  DateTime Now() const override { return m_now; }
  // Moves to `now`.
  void Set(DateTime now) { m_now = now; }
  // Moves on by `days` (fractions are parts of a day; negative goes back).
  void Advance(double days) { m_now += days; }
  // Moves on by `seconds`.
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
  // Installs `clock` (nullptr: the system clock) until the destructor.
  explicit ScopedClock(std::shared_ptr<Clock> clock);
  ~ScopedClock();
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  std::shared_ptr<Clock> m_previous;
};

// Pins the process-wide clock for the lifetime of the scope, in one line:
//   ScopedFixedClock pin(DateTime::FromParts(2024, 3, 5, 14, 7, 9));
// The time moves only when told (pin->AdvanceSeconds(5), pin->Set(t)); the
// previous clock is back when the scope ends.
class ScopedFixedClock {
 public:
  // Pins the clock at `now`.
  explicit ScopedFixedClock(DateTime now)
      : m_clock(std::make_shared<FixedClock>(now)), m_scope(m_clock) {}
  // The pinned clock, to move it.
  FixedClock* operator->() const { return m_clock.get(); }

 private:
  std::shared_ptr<FixedClock> m_clock;
  ScopedClock m_scope;
};

}  // namespace orvane

#endif  // ORVANE_CORE_CLOCK_H_
