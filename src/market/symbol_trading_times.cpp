#include "orvane/market/symbol_trading_times.h"

#include <cmath>
#include <cstdio>

#include "orvane/core/clock.h"
#include "orvane/core/conversions.h"
#include "orvane/core/error.h"

namespace orvane {
namespace {

constexpr const char* kDayNames[7] = {"SUNDAY",   "MONDAY", "TUESDAY", "WEDNESDAY",
                                      "THURSDAY", "FRIDAY", "SATURDAY"};
constexpr int32_t kSecondsPerDay = 86400;

// 1..7 for a day name of the table (exact comparison), 0 for anything else.
int day_number(const std::string& name) {
  for (int i = 0; i < 7; ++i) {
    if (name == kDayNames[i]) return i + 1;
  }
  return 0;
}

// The seconds of the day of a date-time, rounded to the nearest second.
int32_t seconds_of_day(DateTime t) {
  const double fraction = t.Serial() - std::floor(t.Serial());
  const auto seconds = static_cast<int32_t>(std::lround(fraction * kSecondsPerDay));
  return seconds >= kSecondsPerDay ? seconds - kSecondsPerDay : seconds;
}

// The seconds of the day of a value that must read as a time.
int32_t required_seconds(const Variant& value) {
  DateTime t;
  if (!value.TryDateValue(t)) {
    throw Error(ErrorCode::TypeMismatch,
                "Type mismatch: '" + value.TextValue() + "' is not a time");
  }
  return seconds_of_day(t);
}

std::string time_text(int32_t seconds) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", seconds / 3600,
                seconds / 60 % 60, seconds % 60);
  return buffer;
}

// The weekly closure: the close day, the days after it, wrapping from 7 to
// 1, up to and including the open day; eight entries when both are equal.
// Whether `day` lies on the walk from the closing day forward to the opening
// day, both included. When the two are the same day the walk goes round the
// whole week and back to it, so every day lies on it.
bool in_closure_span(int day, int close_day, int open_day) {
  const int length = open_day == close_day ? 7 : (open_day - close_day + 7) % 7;
  return (day - close_day + 7) % 7 <= length;
}

}  // namespace

CSymbolTradingTimes::CSymbolTradingTimes() {
  for (DailyBreak& daily : m_daily) {
    daily.close = TimeOrNull(Null);
    daily.open = TimeOrNull(Null);
  }
}

void CSymbolTradingTimes::CloseDay(const std::string& value) {
  m_close_day = ToUpper(Trim(value));
  m_close_day_number = day_number(m_close_day);
  Forget();
}

void CSymbolTradingTimes::OpenDay(const std::string& value) {
  m_open_day = ToUpper(Trim(value));
  m_open_day_number = day_number(m_open_day);
  Forget();
}

void CSymbolTradingTimes::SetWeeklyTime(const std::string& value, std::string& text,
                                        int32_t& seconds) {
  const int32_t read = required_seconds(Variant(value));
  seconds = read;
  text = time_text(read);
}

void CSymbolTradingTimes::CloseTime(const std::string& value) {
  SetWeeklyTime(value, m_close_time, m_close_seconds);
  Forget();
}

void CSymbolTradingTimes::OpenTime(const std::string& value) {
  SetWeeklyTime(value, m_open_time, m_open_seconds);
  Forget();
}

Variant CSymbolTradingTimes::TimeOrNull(const Variant& value) {
  DateTime t;
  if (!value.TryDateValue(t)) return Null;
  return t.TimePart();
}

bool CSymbolTradingTimes::IsInPeriod(const Variant& curTime, const Variant& Loc2From,
                                     const Variant& Loc2To) const {
  if (Loc2From.IsNull() || Loc2To.IsNull()) return false;
  const int32_t now = required_seconds(curTime);
  return now >= required_seconds(Loc2From) && now <= required_seconds(Loc2To);
}

bool CSymbolTradingTimes::WeeklyClosed(int day, int32_t seconds) const {
  if (m_closed) return true;
  const int close_day = m_close_day_number;
  const int open_day = m_open_day_number;
  if (close_day == 0 || open_day == 0) return true;

  if (!in_closure_span(day, close_day, open_day)) return false;

  if (close_day != open_day) {
    if (day == open_day && seconds >= m_open_seconds) return false;
    if (day == close_day && seconds < m_close_seconds) return false;
    return true;
  }
  return !(day == open_day && seconds >= m_open_seconds && seconds < m_close_seconds);
}

bool CSymbolTradingTimes::TradeIsOpen() const {
  const DateTime now = Now();
  if (m_answered && now == m_answered_at) return m_open_then;
  const bool open = WorkOutTradeIsOpen(now);
  m_answered_at = now;
  m_open_then = open;
  m_answered = true;
  return open;
}

bool CSymbolTradingTimes::WorkOutTradeIsOpen(DateTime now) const {
  // Taken to the minute: the seconds of the clock are dropped.
  const int32_t seconds = now.Hour() * 3600 + now.Minute() * 60;
  if (WeeklyClosed(now.Weekday(), seconds)) return false;
  const Variant now_time = DateTime(static_cast<double>(seconds) / kSecondsPerDay);
  for (const DailyBreak& daily : m_daily) {
    if (daily.close.IsNull()) continue;
    if (IsInPeriod(now_time, daily.close, daily.open)) return false;
  }
  return true;
}

}  // namespace orvane
