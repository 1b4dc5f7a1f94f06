#include "orvane/core/date_time.h"

#include <gtest/gtest.h>

#include <ctime>
#include <vector>

#include "orvane/core/clock.h"

namespace orvane {
namespace {

// Year, month, day, hour, minute, second and weekday of a moment.
std::vector<int> Parts(const DateTime& t) {
  return {t.Year(), t.Month(), t.Day(), t.Hour(), t.Minute(), t.Second(), t.Weekday()};
}

TEST(DateTimeTest, SerialZeroIsThirtiethOfDecember1899) {
  EXPECT_EQ(DateTime::FromParts(1899, 12, 30).Serial(), 0);
  EXPECT_EQ(DateTime::FromParts(1900, 1, 1).Serial(), 2);
  EXPECT_EQ(DateTime::FromParts(2024, 3, 5).Serial(), 45356);
}

// Weekdays count from Sunday = 1; 2024 is a leap year.
TEST(DateTimeTest, PartsRollOverAndTwoDigitYearsAreWindowed) {
  const std::pair<DateTime, std::vector<int>> cases[] = {
      {DateTime::FromParts(2024, 3, 5, 14, 7, 9), {2024, 3, 5, 14, 7, 9, 3}},
      {DateTime::FromParts(2024, 3, 3), {2024, 3, 3, 0, 0, 0, 1}},
      {DateTime::FromParts(2024, 3, 9), {2024, 3, 9, 0, 0, 0, 7}},
      {DateTime::FromParts(1899, 12, 28), {1899, 12, 28, 0, 0, 0, 5}},
      {DateTime::FromParts(2023, 13, 1), {2024, 1, 1, 0, 0, 0, 2}},
      {DateTime::FromParts(2024, 2, 30), {2024, 3, 1, 0, 0, 0, 6}},
      {DateTime::FromParts(2024, 3, 0), {2024, 2, 29, 0, 0, 0, 5}},
      {DateTime::FromParts(2024, 12, 31, 23, 59, 60), {2025, 1, 1, 0, 0, 0, 4}},
      {DateTime::FromParts(2024, 0, 15), {2023, 12, 15, 0, 0, 0, 6}},
      {DateTime::FromParts(24, 3, 5), {2024, 3, 5, 0, 0, 0, 3}},
      {DateTime::FromParts(29, 1, 1), {2029, 1, 1, 0, 0, 0, 2}},
      {DateTime::FromParts(30, 1, 1), {1930, 1, 1, 0, 0, 0, 4}},
      // No 0:59:59.999 from binary fractions of a day.
      {DateTime::FromParts(2024, 3, 5, 23, 0, 0) + 2.0 / 24, {2024, 3, 6, 1, 0, 0, 4}}};
  for (const auto& [t, parts] : cases) EXPECT_EQ(Parts(t), parts) << t.Serial();

  const DateTime t = DateTime::FromParts(2024, 3, 5, 14, 7, 9);
  EXPECT_EQ(t.DatePart(), DateTime::FromParts(2024, 3, 5));
  EXPECT_EQ(t.TimePart().Hour(), 14);
  EXPECT_LT(t.TimePart().Serial(), 1);
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

// The machine's clock keeps its local-time conversion for the rest of a
// second: what it answers is the local time of a second read around it.
TEST(ClockTest, SystemClockAnswersTheLocalTimeOfNow) {
  auto local_now = [](std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    return DateTime::FromParts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                               local.tm_hour, local.tm_min, local.tm_sec);
  };
  const SystemClock clock;
  for (int i = 0; i < 3; ++i) {
    const std::time_t before = std::time(nullptr);
    const DateTime now = clock.Now();
    const std::time_t after = std::time(nullptr);
    EXPECT_TRUE(now == local_now(before) || now == local_now(after)) << now.Serial();
  }
}

TEST(ClockTest, ScopedFixedClockPinsAndMovesNowAndRestoresTheOuterClock) {
  const DateTime outer = DateTime::FromParts(2024, 3, 8, 21, 59);
  ScopedFixedClock outer_pin(outer);
  {
    ScopedFixedClock pin(DateTime::FromParts(2026, 12, 31, 23, 59, 59));
    EXPECT_EQ(Now(), DateTime::FromParts(2026, 12, 31, 23, 59, 59));
    pin->AdvanceSeconds(1);
    EXPECT_EQ(Parts(Now()), (std::vector<int>{2027, 1, 1, 0, 0, 0, 6}));
  }
  EXPECT_EQ(Now(), outer);
}

}  // namespace
}  // namespace orvane
