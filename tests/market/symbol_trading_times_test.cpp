#include "orvane/market/symbol_trading_times.h"

#include <gtest/gtest.h>

#include <memory>

#include "orvane/core/clock.h"
#include "orvane/core/error.h"

namespace orvane {
namespace {

// 4 December 2026 is a Friday; the days around it give one full week.
DateTime At(int day_of_december, int hour, int minute, int second = 0) {
  return DateTime::FromParts(2026, 12, day_of_december, hour, minute, second);
}
constexpr int kFriday = 4, kSaturday = 5, kSunday = 6, kMonday = 7, kThursday = 10;

class TradingTimesTest : public ::testing::Test {
 protected:
  bool OpenAt(DateTime t) {
    m_clock->Set(t);
    return m_times.TradeIsOpen();
  }
  void WeekendClosure() {
    m_times.CloseDay("FRIDAY");
    m_times.CloseTime("22:00");
    m_times.OpenDay("SUNDAY");
    m_times.OpenTime("23:00");
  }

  std::shared_ptr<FixedClock> m_clock = std::make_shared<FixedClock>();
  ScopedClock m_scope{m_clock};
  CSymbolTradingTimes m_times;
};

TEST_F(TradingTimesTest, DayNamesTrimmedAndUpperCasedTimesStoredAsTimeTextOrRefused) {
  m_times.CloseDay(" friday ");
  m_times.OpenDay("\tsunday");
  m_times.CloseTime("22:00");
  m_times.OpenTime(" 7:05:09 ");
  EXPECT_EQ(m_times.CloseDay(), "FRIDAY");
  EXPECT_EQ(m_times.OpenDay(), "SUNDAY");
  EXPECT_EQ(m_times.CloseTime(), "22:00:00");
  EXPECT_EQ(m_times.OpenTime(), "07:05:09");
  try {
    m_times.CloseTime("late");
    ADD_FAILURE() << "expected a type error";
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), ErrorCode::TypeMismatch);
  }
  EXPECT_EQ(m_times.CloseTime(), "22:00:00");
  m_times.CloseTime(" ");
  EXPECT_EQ(m_times.CloseTime(), "");
}

TEST_F(TradingTimesTest, WeekendClosureFromFridayToSunday) {
  WeekendClosure();
  EXPECT_TRUE(OpenAt(At(kFriday, 21, 59, 59)));  // seconds are dropped
  EXPECT_FALSE(OpenAt(At(kFriday, 22, 0)));
  EXPECT_FALSE(OpenAt(At(kSaturday, 12, 0)));
  EXPECT_FALSE(OpenAt(At(kSunday, 22, 59)));
  EXPECT_TRUE(OpenAt(At(kSunday, 23, 0)));
  for (int day = kMonday; day <= kThursday; ++day) {
    EXPECT_TRUE(OpenAt(At(day, 3, 0))) << "December " << day;
    EXPECT_TRUE(OpenAt(At(day, 22, 30))) << "December " << day;
  }
}

TEST_F(TradingTimesTest, ClosureWrappingFromSaturdayOverTheWeekEnd) {
  // Saturday 10:00 to Monday 01:00 wraps from day 7 to day 1.
  m_times.CloseDay("SATURDAY");
  m_times.CloseTime("10:00");
  m_times.OpenDay("MONDAY");
  m_times.OpenTime("01:00");
  EXPECT_TRUE(OpenAt(At(kSaturday, 9, 59)));
  EXPECT_FALSE(OpenAt(At(kSaturday, 10, 0)));
  EXPECT_FALSE(OpenAt(At(kMonday, 0, 59)));
  EXPECT_TRUE(OpenAt(At(kMonday, 1, 0)));
  EXPECT_TRUE(OpenAt(At(kFriday, 23, 0)));
}

TEST_F(TradingTimesTest, SameCloseAndOpenDayOpensOnlyInsideThatDaysWindow) {
  m_times.CloseDay("SUNDAY");
  m_times.OpenDay("SUNDAY");
  m_times.OpenTime("08:00");
  m_times.CloseTime("20:00");
  EXPECT_FALSE(OpenAt(At(kSunday, 7, 59)));
  EXPECT_TRUE(OpenAt(At(kSunday, 8, 0)));
  EXPECT_TRUE(OpenAt(At(kSunday, 19, 59)));
  EXPECT_FALSE(OpenAt(At(kSunday, 20, 0)));
  EXPECT_FALSE(OpenAt(At(kMonday, 12, 0)));
}

TEST_F(TradingTimesTest, UnknownOrMissingDayNameIsClosedWithoutHanging) {
  EXPECT_FALSE(OpenAt(At(kMonday, 12, 0)));  // nothing set yet
  m_times.CloseDay("FRIDAY");
  m_times.OpenDay("SONDAY");
  EXPECT_FALSE(OpenAt(At(kMonday, 12, 0)));
  m_times.OpenDay("SUNDAY");
  m_times.CloseDay("FRI");
  EXPECT_FALSE(OpenAt(At(kMonday, 12, 0)));
  m_times.CloseDay("FRIDAY");
  EXPECT_TRUE(OpenAt(At(kMonday, 12, 0)));
}

TEST_F(TradingTimesTest, ClosedSwitchWinsAtEveryMoment) {
  WeekendClosure();
  m_times.Closed(true);
  EXPECT_FALSE(OpenAt(At(kMonday, 12, 0)));
  EXPECT_FALSE(OpenAt(At(kSunday, 23, 30)));
}

TEST_F(TradingTimesTest, DailyBreaks) {
  WeekendClosure();
  m_times.DailyCloseTime1("23:00");
  m_times.DailyOpenTime1("23:59");
  EXPECT_TRUE(OpenAt(At(kMonday, 22, 59)));
  EXPECT_FALSE(OpenAt(At(kMonday, 23, 0)));
  EXPECT_FALSE(OpenAt(At(kMonday, 23, 59, 30)));
  EXPECT_TRUE(OpenAt(At(kMonday + 1, 0, 0)));
  // Past midnight, or without an open time, a break never closes trading.
  m_times.DailyCloseTime1(Null);
  m_times.DailyCloseTime2("23:00");
  m_times.DailyOpenTime2("01:00");
  m_times.DailyCloseTime3("12:00");  // no open time: the break is off
  EXPECT_TRUE(OpenAt(At(kMonday, 23, 30)));
  EXPECT_TRUE(OpenAt(At(kMonday, 12, 0)));
}

TEST_F(TradingTimesTest, DailyTimesKeepTheTimePartOrBecomeNull) {
  m_times.DailyCloseTime2("abc");
  EXPECT_TRUE(m_times.DailyCloseTime2().IsNull());
  m_times.DailyCloseTime3(At(kMonday, 14, 30));
  EXPECT_EQ(m_times.DailyCloseTime3(), Variant(DateTime(14.5 / 24)));
  m_times.DailyOpenTime3("05/03/2024 16:00:00");
  EXPECT_EQ(m_times.DailyOpenTime3(), Variant(DateTime(16.0 / 24)));
}

TEST_F(TradingTimesTest, IsInPeriodBoundsAndNulls) {
  EXPECT_TRUE(m_times.IsInPeriod("10:00", "10:00", "11:00"));
  EXPECT_FALSE(m_times.IsInPeriod("11:01", "10:00", "11:00"));
  EXPECT_FALSE(m_times.IsInPeriod("10:30", Null, "11:00"));
  EXPECT_FALSE(m_times.IsInPeriod("10:30", "10:00", Null));
  EXPECT_THROW(m_times.IsInPeriod("noon", "10:00", "11:00"), Error);
}

}  // namespace
}  // namespace orvane
