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
  // The time is to the second, and the conversion to local time costs more
  // than reading the clock: each thread converts once a second. The price
  // walk asks for every holder.
  thread_local std::time_t converted_second = -1;
  thread_local DateTime converted;
  const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  if (t == converted_second) return converted;
  std::tm local{};
  localtime_r(&t, &local);
  converted = DateTime::FromParts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                  local.tm_hour, local.tm_min, local.tm_sec);
  converted_second = t;
  return converted;
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
