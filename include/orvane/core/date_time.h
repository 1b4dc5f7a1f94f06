#ifndef ORVANE_CORE_DATE_TIME_H_
#define ORVANE_CORE_DATE_TIME_H_

#include <compare>
#include <cstdint>

namespace orvane {

// A local date and time held as a serial number of days since
// 30 December 1899; the fraction is the time of day. So "one hour later" is
// `t + 1.0 / 24` and the difference of two date-times is in days.
//
// Parts read back are rounded to the nearest second. Years below 100 given
// to FromParts are placed in a century as two-digit years are: 0..29 mean
// 2000..2029 and 30..99 mean 1930..1999.
class DateTime {
 public:
  constexpr DateTime() = default;
  constexpr explicit DateTime(double serial) : m_serial(serial) {}

  // Builds a date-time from calendar parts; out-of-range parts roll over as
  // in ordinary date arithmetic (month 13 is January of the next year,
  // day 0 is the last day of the previous month, minute 61 is 1 h 1 min).
  static DateTime FromParts(int year, int month, int day, int hour = 0,
                            int minute = 0, int second = 0);

  constexpr double Serial() const { return m_serial; }

  int Year() const;
  int Month() const;
  int Day() const;
  int Hour() const;
  int Minute() const;
  int Second() const;
  // 1 = Sunday ... 7 = Saturday.
  int Weekday() const;

  // The date at midnight, and the time of day alone (a serial below 1).
  DateTime DatePart() const;
  DateTime TimePart() const;

  DateTime operator+(double days) const { return DateTime(m_serial + days); }
  DateTime operator-(double days) const { return DateTime(m_serial - days); }
  double operator-(DateTime other) const { return m_serial - other.m_serial; }
  DateTime& operator+=(double days) {
    m_serial += days;
    return *this;
  }

  friend bool operator==(DateTime a, DateTime b) { return a.m_serial == b.m_serial; }
  friend auto operator<=>(DateTime a, DateTime b) { return a.m_serial <=> b.m_serial; }

 private:
  struct Parts {
    int64_t days;     // whole days since the epoch
    int64_t seconds;  // 0 .. 86399
  };
  Parts Split() const;

  double m_serial = 0.0;
};

}  // namespace orvane

#endif  // ORVANE_CORE_DATE_TIME_H_
