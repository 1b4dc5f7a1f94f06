#include "orvane/core/clock.h"

#include <chrono>
#include <ctime>
#include <utility>

namespace orvane {
namespace {

std::shared_ptr<Clock>& current_clock() {
  static std::shared_ptr<Clock> clock = std::make_shared<SystemClock>();
  return clock;
}

}  // namespace

DateTime SystemClock::Now() const {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  return DateTime::FromParts(local.tm_year + 1900, local.tm_mon + 1,
                             local.tm_mday, local.tm_hour, local.tm_min,
                             local.tm_sec);
}

DateTime Now() { return current_clock()->Now(); }

void SetClock(std::shared_ptr<Clock> clock) {
  current_clock() = clock ? std::move(clock) : std::make_shared<SystemClock>();
}

ScopedClock::ScopedClock(std::shared_ptr<Clock> clock)
    : m_previous(current_clock()) {
  SetClock(std::move(clock));
}

ScopedClock::~ScopedClock() { SetClock(std::move(m_previous)); }

}  // namespace orvane
