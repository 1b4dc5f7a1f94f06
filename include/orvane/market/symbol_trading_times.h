#ifndef ORVANE_MARKET_SYMBOL_TRADING_TIMES_H_
#define ORVANE_MARKET_SYMBOL_TRADING_TIMES_H_

#include <cstdint>
#include <string>

#include "orvane/core/date_time.h"
#include "orvane/core/object.h"
#include "orvane/core/variant.h"

namespace orvane {

// The trading hours of one symbol and the answer to "may it be traded now".
//
// Three layers close a symbol: the manual `Closed` switch, a weekly closure
// from a close day and time to an open day and time, and up to three daily
// breaks. Every read of the present goes through orvane::Now(), taken to the
// minute (seconds are dropped), so a clock pinned at 21:59:59 reads 21:59.
//
// A schedule whose `CloseDay` or `OpenDay` names none of the seven days
// (including one never set) cannot describe a week: such a symbol is treated
// as closed, and TradeIsOpen() answers false at every moment. An
// `OpenTime` or `CloseTime` never set reads as midnight.
class CSymbolTradingTimes : public Object, public ISafeObject, private NonCopyable {
 public:
  CSymbolTradingTimes();

  // Day names are stored trimmed and upper-cased ("friday " -> "FRIDAY").
  const std::string& CloseDay() const { return m_close_day; }
  void CloseDay(const std::string& value);

  bool Closed() const { return m_closed; }
  void Closed(bool value) {
    m_closed = value;
    Forget();
  }

  const std::string& OpenDay() const { return m_open_day; }
  void OpenDay(const std::string& value);

  // The weekly close and open times, stored as the text of their time value
  // ("22:00" is stored as "22:00:00"). Text that reads as no time, blank
  // text included, throws Error(TypeMismatch) and leaves the stored time in
  // place.
  const std::string& CloseTime() const { return m_close_time; }
  void CloseTime(const std::string& value);

  // The daily breaks: each is null or a time of day. A value that reads as a
  // date or time (a date-time, a serial number, "hh:nn[:ss]" or
  // "dd/mm/yyyy hh:nn:ss" text) is stored as its time part; anything else
  // stores null, which switches that break off.
  const Variant& DailyCloseTime1() const { return m_daily[0].close; }
  void DailyCloseTime1(const Variant& value) {
    m_daily[0].close = TimeOrNull(value);
    Forget();
  }
  const Variant& DailyOpenTime1() const { return m_daily[0].open; }
  void DailyOpenTime1(const Variant& value) {
    m_daily[0].open = TimeOrNull(value);
    Forget();
  }
  const Variant& DailyCloseTime2() const { return m_daily[1].close; }
  void DailyCloseTime2(const Variant& value) {
    m_daily[1].close = TimeOrNull(value);
    Forget();
  }
  const Variant& DailyCloseTime3() const { return m_daily[2].close; }
  void DailyCloseTime3(const Variant& value) {
    m_daily[2].close = TimeOrNull(value);
    Forget();
  }
  const Variant& DailyOpenTime2() const { return m_daily[1].open; }
  void DailyOpenTime2(const Variant& value) {
    m_daily[1].open = TimeOrNull(value);
    Forget();
  }
  const Variant& DailyOpenTime3() const { return m_daily[2].open; }
  void DailyOpenTime3(const Variant& value) {
    m_daily[2].open = TimeOrNull(value);
    Forget();
  }

  const std::string& OpenTime() const { return m_open_time; }
  void OpenTime(const std::string& value);

  // Whether the time of day of curTime lies from Loc2From to Loc2To, both
  // ends included. False when either bound is null; a period that runs past
  // midnight (from later than to) never matches. Values that read as no
  // time throw Error(TypeMismatch).
  bool IsInPeriod(const Variant& curTime, const Variant& Loc2From,
                  const Variant& Loc2To) const;

  // False while `Closed` is set, inside the weekly closure, and inside any
  // daily break; true otherwise. The answer is kept until the clock reads
  // another moment or a setting changes, so that asking again for every
  // account of a quote costs one clock read.
  bool TradeIsOpen() const;

  // Holds no references; nothing to release.
  void Deallocate() override {}

 private:
  struct DailyBreak {
    Variant close;
    Variant open;
  };

  static Variant TimeOrNull(const Variant& value);
  bool WorkOutTradeIsOpen(DateTime now) const;
  void Forget() { m_answered = false; }
  // Stores a weekly time from its text; see CloseTime.
  static void SetWeeklyTime(const std::string& value, std::string& text, int32_t& seconds);
  // Whether the weekly schedule (or the manual switch) closes the symbol at
  // `day` (1 = Sunday) and `minute` of the day, given as seconds of the day.
  bool WeeklyClosed(int day, int32_t seconds) const;

  bool m_closed = false;
  std::string m_close_day;
  std::string m_open_day;
  // The two days' numbers (1 = Sunday), 0 for a text that names no day.
  int m_close_day_number = 0;
  int m_open_day_number = 0;
  std::string m_close_time;
  std::string m_open_time;
  int32_t m_close_seconds = 0;
  int32_t m_open_seconds = 0;
  DailyBreak m_daily[3];
  // The last answer of TradeIsOpen and the moment it was for.
  mutable bool m_answered = false;
  mutable bool m_open_then = false;
  mutable DateTime m_answered_at;
};

}  // namespace orvane

#endif  // ORVANE_MARKET_SYMBOL_TRADING_TIMES_H_
