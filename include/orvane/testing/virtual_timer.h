#ifndef ORVANE_TESTING_VIRTUAL_TIMER_H_
#define ORVANE_TESTING_VIRTUAL_TIMER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "orvane/core/clock.h"
#include "orvane/core/object.h"
#include "orvane/io/timer.h"

namespace orvane {

// A scheduler of virtual time for tests: the timers it creates tick only
// inside Advance, never on their own, so timer-driven behaviour (retries,
// supervision, pacing) runs in microseconds and deterministically.
//
// Advance(ms) moves virtual time forward and fires every tick that falls due
// on the way, in time order; ticks due at the same instant fire in the order
// their timers were armed (enabled, re-timed or last ticked). A timer whose
// interval passes several times inside one Advance ticks that many times.
// Timers may outlive the scheduler; they then never tick again.
//
// It is also the loop of an in-memory test world: work posted to it (text
// on its way to a MemorySocket's peer, a connection being accepted) runs on
// a later turn, in posting order, at the current virtual instant. Advance
// runs the posted work first and again after every tick, so whatever a tick
// sets off has settled before the next tick fires.
class VirtualTimeScheduler : public ITimerFactory, private NonCopyable {
 public:
  // With a clock, Advance also moves it forward, so that orvane::Now() read
  // inside a tick handler is the tick's own virtual instant.
  explicit VirtualTimeScheduler(std::shared_ptr<FixedClock> clock = nullptr);
  ~VirtualTimeScheduler() override;

  std::shared_ptr<ITimer> CreateTimer() override;

  // Moves virtual time forward by `milliseconds` (a negative amount does
  // nothing; 0 runs the posted work only). Ticks scheduled by handlers
  // inside the window fire too.
  void Advance(int64_t milliseconds);
  // Runs `task` on a later turn (the next RunUntilIdle or Advance), after
  // the work posted before it; virtual time does not move for it.
  void Post(std::function<void()> task);
  // Runs posted work, including work it posts in turn, until none is left;
  // timers do not tick and virtual time stands still. Returns how many
  // tasks ran. Work that keeps posting more keeps it running.
  int64_t RunUntilIdle();
  // Tasks posted and not yet run.
  size_t PendingTasks() const;

  // Milliseconds of virtual time since the scheduler was created.
  int64_t Elapsed() const;
  // Ticks fired so far, over all timers.
  int64_t TickCount() const;

  class Core;

 private:
  std::shared_ptr<Core> m_core;
};

}  // namespace orvane

#endif  // ORVANE_TESTING_VIRTUAL_TIMER_H_
