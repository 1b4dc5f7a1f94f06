#ifndef ORVANE_IO_TIMER_H_
#define ORVANE_IO_TIMER_H_

#include <cstdint>
#include <functional>
#include <memory>

#include "orvane/core/object.h"

namespace orvane {

// A repeating timer on the host's thread. While enabled it calls its tick
// handler every Interval() milliseconds.
//
// - A new timer is disabled, with interval 0 and no handler.
// - Enabling a disabled timer starts a full interval from that moment;
//   enabling an enabled timer changes nothing. So disable-then-enable
//   restarts the countdown.
// - Setting the interval of an enabled timer restarts the countdown with the
//   new interval.
// - An interval below 1 ms never ticks, even when enabled.
// - A tick handler may disable, re-enable or re-time its own timer or any
//   other, and may drop the last reference to its own timer.
class ITimer : public Object {
 public:
  // Milliseconds between ticks.
  virtual int32_t Interval() const = 0;
  virtual void Interval(int32_t milliseconds) = 0;
  virtual bool Enabled() const = 0;
  virtual void Enabled(bool value) = 0;
  // Replaces the tick handler (an empty function removes it).
  virtual void OnTick(std::function<void()> handler) = 0;
  // Disables and enables the timer, restarting its countdown: for a caller
  // that restarts it often (at every sign of life), which a timer may serve
  // more cheaply than the two calls.
  virtual void Restart() {
    Enabled(false);
    Enabled(true);
  }
};

// Makes timers; owners that need timers take one, so tests hand them
// virtual-time timers and hosts real ones.
class ITimerFactory {
 public:
  virtual ~ITimerFactory() = default;
  // A new timer, owned by the caller.
  virtual std::shared_ptr<ITimer> CreateTimer() = 0;
};

}  // namespace orvane

#endif  // ORVANE_IO_TIMER_H_
