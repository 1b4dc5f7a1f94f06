#ifndef ORVANE_ASIO_ASIO_TIMER_H_
#define ORVANE_ASIO_ASIO_TIMER_H_

#include <cstdint>
#include <functional>
#include <memory>

#include "orvane/core/object.h"
#include "orvane/io/timer.h"

namespace asio {
class io_context;
}  // namespace asio

namespace orvane {

class AsioTimerCore;

// An ITimer on an Asio steady timer: ticks arrive on the thread that runs
// the io_context, every Interval() milliseconds measured from the previous
// tick's due time (a late tick does not shift the ones after it, and
// ticks missed while the thread was busy are not made up). The io_context
// must outlive the timer.
class AsioTimer : public ITimer, private NonCopyable {
 public:
  explicit AsioTimer(asio::io_context& io);
  ~AsioTimer() override;

  int32_t Interval() const override;
  void Interval(int32_t milliseconds) override;
  bool Enabled() const override;
  void Enabled(bool value) override;
  void OnTick(std::function<void()> handler) override;
  // Moves the due time of an enabled timer without touching the wait in
  // progress, which waits again for the rest when it ends early.
  void Restart() override;

 private:
  std::shared_ptr<AsioTimerCore> m_core;
};

// Makes AsioTimers on one io_context.
class AsioTimerFactory : public ITimerFactory {
 public:
  explicit AsioTimerFactory(asio::io_context& io) : m_io(io) {}
  std::shared_ptr<ITimer> CreateTimer() override;

 private:
  asio::io_context& m_io;
};

}  // namespace orvane

#endif  // ORVANE_ASIO_ASIO_TIMER_H_
