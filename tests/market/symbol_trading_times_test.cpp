#include "orvane/market/symbol_trading_times.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "orvane/core/clock.h"
#include "support/errors.h"

namespace orvane {
namespace {

using test::Throws;

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
  // Blank text is no time either.
  for (const char* text : {"late", "", " "}) {
    EXPECT_TRUE(Throws(ErrorCode::TypeMismatch, [&] { m_times.CloseTime(text); })) << text;
    EXPECT_TRUE(Throws(ErrorCode::TypeMismatch, [&] { m_times.OpenTime(text); })) << text;
  }
  EXPECT_EQ(m_times.CloseTime(), "22:00:00");
  EXPECT_EQ(m_times.OpenTime(), "07:05:09");
}

struct Probe {
  int day, hour, minute, second;
  bool open;
};

// One row per weekly closure: the moments probed and whether trading is open.
struct WeekCase {
  const char* name;
  const char *close_day, *close_time, *open_day, *open_time;
  std::vector<Probe> probes;
};

TEST_F(TradingTimesTest, WeeklyClosures) {
  const WeekCase cases[] = {
      // Seconds are dropped: 21:59:59 is still 21:59.
      {"Friday to Sunday", "FRIDAY", "22:00", "SUNDAY", "23:00",
       {{kFriday, 21, 59, 59, true}, {kFriday, 22, 0, 0, false}, {kSaturday, 12, 0, 0, false},
        {kSunday, 22, 59, 0, false}, {kSunday, 23, 0, 0, true}, {kMonday, 3, 0, 0, true},
        {kMonday + 1, 22, 30, 0, true}, {kMonday + 2, 3, 0, 0, true},
        {kThursday, 22, 30, 0, true}}},
      {"wrapping from day 7 to day 1", "SATURDAY", "10:00", "MONDAY", "01:00",
       {{kSaturday, 9, 59, 0, true}, {kSaturday, 10, 0, 0, false}, {kMonday, 0, 59, 0, false},
        {kMonday, 1, 0, 0, true}, {kFriday, 23, 0, 0, true}}},
      // The same day closes and opens: the span runs over eight days, and only
      // that day's window between open and close trades.
      {"same close and open day", "SUNDAY", "20:00", "SUNDAY", "08:00",
       {{kSunday, 7, 59, 0, false}, {kSunday, 8, 0, 0, true}, {kSunday, 19, 59, 0, true},
        {kSunday, 20, 0, 0, false}, {kMonday, 12, 0, 0, false}}},
      // An unknown or missing day name is closed, without hanging.
      {"unknown open day", "FRIDAY", "22:00", "SONDAY", "23:00", {{kMonday, 12, 0, 0, false}}},
      {"abbreviated close day", "FRI", "22:00", "SUNDAY", "23:00", {{kMonday, 12, 0, 0, false}}},
      {"no days", "", "22:00", "", "23:00", {{kMonday, 12, 0, 0, false}}},
  };
  for (const WeekCase& c : cases) {
    SCOPED_TRACE(c.name);
    m_times.CloseDay(c.close_day);
    m_times.CloseTime(c.close_time);
    m_times.OpenDay(c.open_day);
    m_times.OpenTime(c.open_time);
    for (const Probe& p : c.probes) {
      EXPECT_EQ(OpenAt(At(p.day, p.hour, p.minute, p.second)), p.open)
          << "December " << p.day << " " << p.hour << ":" << p.minute;
    }
  }
}

TEST_F(TradingTimesTest, DailyBreaksAndTheClosedSwitch) {
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
  // The Closed switch wins at every moment.
  m_times.Closed(true);
  EXPECT_FALSE(OpenAt(At(kMonday, 12, 0)));
  EXPECT_FALSE(OpenAt(At(kSunday, 23, 30)));
}

// Asked again at the same moment, the answer follows every setting changed
// in between.
TEST_F(TradingTimesTest, SameMomentAnswerFollowsEachChangedSetting) {
  WeekendClosure();
  m_clock->Set(At(kMonday, 12, 0));
  EXPECT_TRUE(m_times.TradeIsOpen());
  m_times.Closed(true);
  EXPECT_FALSE(m_times.TradeIsOpen());
  m_times.Closed(false);
  EXPECT_TRUE(m_times.TradeIsOpen());
  m_times.DailyCloseTime2("11:00");
  m_times.DailyOpenTime2("13:00");
  EXPECT_FALSE(m_times.TradeIsOpen());
  m_times.DailyOpenTime2(Null);
  EXPECT_TRUE(m_times.TradeIsOpen());
  m_times.OpenDay("TUESDAY");  // the weekly closure now runs to Tuesday
  EXPECT_FALSE(m_times.TradeIsOpen());
  m_times.OpenDay("SUNDAY");
  m_times.CloseDay("MONDAY");
  m_times.CloseTime("11:00");
  EXPECT_FALSE(m_times.TradeIsOpen());
  m_times.CloseTime("13:00");
  EXPECT_TRUE(m_times.TradeIsOpen());
  m_times.OpenTime("10:00");
  m_times.OpenDay("MONDAY");  // closed Monday 13:00 to Monday 10:00: open at noon
  EXPECT_TRUE(m_times.TradeIsOpen());
  m_clock->Set(At(kMonday, 13, 0));
  EXPECT_FALSE(m_times.TradeIsOpen());
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
