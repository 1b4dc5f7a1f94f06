#ifndef ORVANE_TESTS_SUPPORT_SCALED_TIMERS_H_
#define ORVANE_TESTS_SUPPORT_SCALED_TIMERS_H_

// Real timers that run `divisor` times faster: every interval a timer is
// given is divided (never below 1 ms). Tests that need the kernel (real
// sockets, TLS, proxies, processes) hand it to the hosts so that their
// retry, supervision and deadline intervals pass in a fraction of the time.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "orvane/io/timer.h"

namespace orvane::test {

class ScaledTimerFactory : public ITimerFactory {
 public:
  ScaledTimerFactory(std::shared_ptr<ITimerFactory> real, int32_t divisor)
      : m_real(std::move(real)), m_divisor(std::max(divisor, 1)) {}

  std::shared_ptr<ITimer> CreateTimer() override {
    return std::make_shared<Scaled>(m_real->CreateTimer(), m_divisor);
  }

 private:
  class Scaled : public ITimer {
   public:
    Scaled(std::shared_ptr<ITimer> real, int32_t divisor)
        : m_real(std::move(real)), m_divisor(divisor) {}
    int32_t Interval() const override { return m_interval; }
    void Interval(int32_t milliseconds) override {
      m_interval = milliseconds;
      m_real->Interval(milliseconds < 1 ? milliseconds : std::max(milliseconds / m_divisor, 1));
    }
    bool Enabled() const override { return m_real->Enabled(); }
    void Enabled(bool value) override { m_real->Enabled(value); }
    void OnTick(std::function<void()> handler) override { m_real->OnTick(std::move(handler)); }
    void Restart() override { m_real->Restart(); }

   private:
    std::shared_ptr<ITimer> m_real;
    int32_t m_divisor;
    int32_t m_interval = 0;
  };

  std::shared_ptr<ITimerFactory> m_real;
  int32_t m_divisor;
};

}  // namespace orvane::test

#endif  // ORVANE_TESTS_SUPPORT_SCALED_TIMERS_H_
