#include "orvane/core/date_time.h"

#include <gtest/gtest.h>

#include "orvane/core/clock.h"

namespace orvane {
namespace {

TEST(DateTimeTest, SerialZeroIsThirtiethOfDecember1899) {
  const DateTime t = DateTime::FromParts(1899, 12, 30);
  EXPECT_EQ(t.Serial(), 0);
  EXPECT_EQ(DateTime::FromParts(1900, 1, 1).Serial(), 2);
  EXPECT_EQ(DateTime::FromParts(2024, 3, 5).Serial(), 45356);
}

TEST(DateTimeTest, PartsRollOver) {
  const DateTime t = DateTime::FromParts(2023, 13, 1);
  EXPECT_EQ(t.Year(), 2024);
  EXPECT_EQ(t.Month(), 1);
  const DateTime feb = DateTime::FromParts(2024, 2, 30);
  EXPECT_EQ(feb.Month(), 3);
  EXPECT_EQ(feb.Day(), 1);  // 2024 is a leap year
  const DateTime back = DateTime::FromParts(2024, 3, 0);
  EXPECT_EQ(back.Day(), 29);
  const DateTime late = DateTime::FromParts(2024, 12, 31, 23, 59, 60);
  EXPECT_EQ(late.Year(), 2025);
  EXPECT_EQ(late.Hour(), 0);
  const DateTime month0 = DateTime::FromParts(2024, 0, 15);
  EXPECT_EQ(month0.Year(), 2023);
  EXPECT_EQ(month0.Month(), 12);
}

TEST(DateTimeTest, TwoDigitYearsAreWindowed) {
  EXPECT_EQ(DateTime::FromParts(24, 3, 5).Year(), 2024);
  EXPECT_EQ(DateTime::FromParts(29, 1, 1).Year(), 2029);
  EXPECT_EQ(DateTime::FromParts(30, 1, 1).Year(), 1930);
}

TEST(DateTimeTest, PartsBackAndWeekday) {
  const DateTime t = DateTime::FromParts(2024, 3, 5, 14, 7, 9);
  EXPECT_EQ(t.Year(), 2024);
  EXPECT_EQ(t.Month(), 3);
  EXPECT_EQ(t.Day(), 5);
  EXPECT_EQ(t.Hour(), 14);
  EXPECT_EQ(t.Minute(), 7);
  EXPECT_EQ(t.Second(), 9);
  EXPECT_EQ(t.Weekday(), 3);  // a Tuesday
  EXPECT_EQ(DateTime::FromParts(2024, 3, 3).Weekday(), 1);  // Sunday
  EXPECT_EQ(DateTime::FromParts(2024, 3, 9).Weekday(), 7);  // Saturday
  EXPECT_EQ(DateTime::FromParts(1899, 12, 28).Weekday(), 5);  // before the epoch
  EXPECT_EQ(t.DatePart(), DateTime::FromParts(2024, 3, 5));
  EXPECT_EQ(t.TimePart().Hour(), 14);
  EXPECT_LT(t.TimePart().Serial(), 1);
}

TEST(DateTimeTest, AddingFractionsOfADay) {
  const DateTime t = DateTime::FromParts(2024, 3, 5, 23, 0, 0) + 2.0 / 24;
  EXPECT_EQ(t.Day(), 6);
  EXPECT_EQ(t.Hour(), 1);
  EXPECT_EQ(t.Minute(), 0);
  EXPECT_EQ(t.Second(), 0);  // no 0:59:59.999 from binary fractions
}

TEST(ClockTest, ScopedClockReplacesAndRestoresNow) {
  auto fixed = std::make_shared<FixedClock>(DateTime::FromParts(2024, 3, 8, 21, 59));
  {
    ScopedClock scope(fixed);
    EXPECT_EQ(Now(), DateTime::FromParts(2024, 3, 8, 21, 59));
    fixed->AdvanceSeconds(60);
    EXPECT_EQ(Now().Hour(), 22);
  }
  EXPECT_GT(Now().Year(), 2000);
}

}  // namespace
}  // namespace orvane
