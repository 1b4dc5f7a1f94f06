#include "orvane/asio/asio_timer.h"

#include <chrono>
#include <utility>

#include <asio.hpp>

namespace orvane {

// The timer's state; pending waits hold it alive, so a tick handler may
// drop the last AsioTimer.
class AsioTimerCore : public std::enable_shared_from_this<AsioTimerCore> {
 public:
  explicit AsioTimerCore(asio::io_context& io) : m_timer(io) {}

  int32_t Interval() const { return m_interval; }
  bool Enabled() const { return m_enabled; }

  void Interval(int32_t milliseconds) {
    m_interval = milliseconds;
    if (m_enabled) Arm(std::chrono::steady_clock::now());
  }

  void Enabled(bool value) {
    if (value == m_enabled) return;
    m_enabled = value;
    if (value) {
      Arm(std::chrono::steady_clock::now());
    } else {
      Disarm();
    }
  }

  void OnTick(std::function<void()> handler) { m_handler = std::move(handler); }
  void Restart() {
    if (!m_enabled || !m_waiting) {
      Enabled(false);
      Enabled(true);
      return;
    }
    // The wait in progress ends before the new due time (time only moves
    // on, and a new interval re-arms); it then waits for the rest.
    m_due = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_interval);
  }

  void Stop() {
    m_handler = nullptr;
    m_enabled = false;
    Disarm();
  }

 private:
  using TimePoint = std::chrono::steady_clock::time_point;

  void Disarm() {
    ++m_generation;
    m_waiting = false;
    m_timer.cancel();
  }

  void Arm(TimePoint from) {
    Disarm();
    if (m_interval < 1) return;
    m_due = from + std::chrono::milliseconds(m_interval);
    Wait();
  }

  void Wait() {
    m_timer.expires_at(m_due);
    m_waiting = true;
    uint64_t generation = m_generation;
    auto self = shared_from_this();
    m_timer.async_wait([self, generation](std::error_code ec) {
      if (ec || generation != self->m_generation) return;
      self->m_waiting = false;
      if (!self->m_enabled) return;
      if (std::chrono::steady_clock::now() < self->m_due) return self->Wait();  // restarted
      self->Tick();
    });
  }

  void Tick() {
    // The next tick is armed first, so that a handler that disables,
    // re-times or re-enables the timer has the last word.
    TimePoint next_from = m_due;
    TimePoint now = std::chrono::steady_clock::now();
    if (next_from + std::chrono::milliseconds(m_interval) < now) next_from = now;
    Arm(next_from);
    if (m_handler) {
      std::function<void()> handler = m_handler;
      handler();
    }
  }

  asio::steady_timer m_timer;
  std::function<void()> m_handler;
  int32_t m_interval = 0;
  bool m_enabled = false;
  // A wait of the current generation is in progress.
  bool m_waiting = false;
  uint64_t m_generation = 0;
  TimePoint m_due{};
};

AsioTimer::AsioTimer(asio::io_context& io)
    : m_core(std::make_shared<AsioTimerCore>(io)) {}

AsioTimer::~AsioTimer() { m_core->Stop(); }

int32_t AsioTimer::Interval() const { return m_core->Interval(); }
void AsioTimer::Interval(int32_t milliseconds) {
  m_core->Interval(milliseconds);
}
bool AsioTimer::Enabled() const { return m_core->Enabled(); }
void AsioTimer::Enabled(bool value) { m_core->Enabled(value); }
void AsioTimer::OnTick(std::function<void()> handler) {
  m_core->OnTick(std::move(handler));
}
void AsioTimer::Restart() { m_core->Restart(); }

std::shared_ptr<ITimer> AsioTimerFactory::CreateTimer() {
  return std::make_shared<AsioTimer>(m_io);
}

}  // namespace orvane
