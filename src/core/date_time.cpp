#include "orvane/core/date_time.h"

#include <cmath>

namespace orvane {
namespace {

constexpr int64_t kSecondsPerDay = 86400;

constexpr int64_t floor_div(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// Days since 1970-01-01 for a proleptic Gregorian date (month 1..12).
constexpr int64_t days_from_civil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = floor_div(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civil_from_days(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = floor_div(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

// 1899-12-30 relative to 1970-01-01. A constant, so that a date made while
// other files are still being initialised (a static DateTime) is right.
constexpr int64_t kSerialZero = days_from_civil(1899, 12, 30);
static_assert(kSerialZero == -25569);

}  // namespace

DateTime DateTime::FromParts(int year, int month, int day, int hour, int minute,
                             int second) {
  int64_t y = year;
  if (y >= 0 && y < 30) y += 2000;
  else if (y >= 30 && y < 100) y += 1900;
  int64_t m0 = static_cast<int64_t>(month) - 1;
  y += floor_div(m0, 12);
  m0 -= floor_div(m0, 12) * 12;
  const int64_t days = days_from_civil(y, m0 + 1, 1) - kSerialZero + day - 1;
  const int64_t secs = static_cast<int64_t>(hour) * 3600 +
                       static_cast<int64_t>(minute) * 60 + second;
  return DateTime(static_cast<double>(days) +
                  static_cast<double>(secs) / kSecondsPerDay);
}

DateTime::Parts DateTime::Split() const {
  const double whole = std::floor(m_serial);
  int64_t days = static_cast<int64_t>(whole);
  int64_t secs = std::llround((m_serial - whole) * kSecondsPerDay);
  if (secs >= kSecondsPerDay) {
    ++days;
    secs -= kSecondsPerDay;
  }
  return {days, secs};
}

int DateTime::Year() const {
  int y, m, d;
  civil_from_days(Split().days + kSerialZero, y, m, d);
  return y;
}

int DateTime::Month() const {
  int y, m, d;
  civil_from_days(Split().days + kSerialZero, y, m, d);
  return m;
}

int DateTime::Day() const {
  int y, m, d;
  civil_from_days(Split().days + kSerialZero, y, m, d);
  return d;
}

int DateTime::Hour() const { return static_cast<int>(Split().seconds / 3600); }
int DateTime::Minute() const { return static_cast<int>(Split().seconds / 60 % 60); }
int DateTime::Second() const { return static_cast<int>(Split().seconds % 60); }

int DateTime::Weekday() const {
  // Serial day 0 (1899-12-30) was a Saturday.
  const int64_t w = (Split().days + 6) % 7;
  return static_cast<int>((w < 0 ? w + 7 : w) + 1);
}

DateTime DateTime::DatePart() const {
  return DateTime(static_cast<double>(Split().days));
}

DateTime DateTime::TimePart() const {
  return DateTime(static_cast<double>(Split().seconds) / kSecondsPerDay);
}

}  // namespace orvane
