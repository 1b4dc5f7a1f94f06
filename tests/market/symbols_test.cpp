#include "orvane/market/symbols.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "orvane/core/clock.h"
#include "orvane/market/symbol_trading_times.h"
#include "support/errors.h"
#include "support/symbols.h"

namespace orvane {
namespace {

// The fields a host passes to CSymbols::Add, with plain defaults.
struct SymbolFields {
  Variant spread = Null;
  int16_t source_plus = 0;
  Variant ref_id = 0;
  Variant pip_location = -4;
  Variant bid = 1.2;
  Variant ask = 1.2003;
  SymbolTypeEnum type = symbol_type;
  Variant id = 7;
  std::string open_time = "23:00";
  std::string close_time = "22:00";
  int16_t spread_offset = 0;
  std::shared_ptr<Object> ref1;
};

std::shared_ptr<CSymbol> AddSymbol(CSymbols& symbols, const SymbolFields& f) {
  return symbols.Add(f.spread, f.source_plus, 0.5, 1, 2, 100000, "10:15:00", 1.1, 1.3, f.bid,
                     f.ask, 1.25, true, false, f.ref_id, f.pip_location, f.type, "EURUSD", f.id,
                     "sunday", f.open_time, "friday", f.close_time, "12:00", "12:05", Null, Null,
                     Null, Null, false, "dde", true, FromAsk, FromBid, true, false, 3,
                     f.spread_offset, 9, 2, "bank", true, 30, "G1", 255, true, AtMarketMO,
                     "Euro", FromAvgSpread, false, true, false, "31/12/2026", 1.19, 1.18, f.ref1);
}

std::shared_ptr<CSymbol> AddWithId(CSymbols& symbols, int id, int ref_id = 0) {
  SymbolFields f;
  f.id = id;
  f.ref_id = ref_id;
  return AddSymbol(symbols, f);
}

TEST(SymbolsAdd, EveryFieldReachesTheSymbolWithPricesRounded) {
  CSymbols symbols;
  auto ref1 = std::make_shared<CSymbol>();
  SymbolFields f;
  f.pip_location = -2;
  f.bid = 1.23456;
  f.ref1 = ref1;
  f.spread = "2";
  f.spread_offset = 1;
  auto s = AddSymbol(symbols, f);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->Bid(), 1.24);  // two decimals after the tenth pip
  EXPECT_EQ(s->Spread(), Variant(3.0));  // the offset is added on reading
  // Neighbouring arguments hold different values, so a shifted argument shows.
  const std::vector<Variant> fields{s->DayOpenPrice(), s->PriceCase(),   s->RefPriceCase(),
                                    s->HighType(),     s->PriceOffset(), s->SortOrder(),
                                    s->AmountUnitID(), s->BuyOnly()};
  EXPECT_EQ(fields, (std::vector<Variant>{1.19, 2, 1, FromAsk, 3, 9, 2, true}));
  EXPECT_EQ(s->Ref1(), ref1);
  const auto& times = *s->SymbolTradingTimes();
  EXPECT_EQ(times.OpenDay(), "SUNDAY");
  EXPECT_EQ(times.CloseTime(), "22:00:00");
  EXPECT_EQ(times.DailyOpenTime1(), Variant(DateTime((12 + 5.0 / 60) / 24)));
  EXPECT_TRUE(times.DailyCloseTime2().IsNull());
}

TEST(SymbolsAdd, FailuresReturnNoneAndLeaveTheCollectionUnchanged) {
  CSymbols symbols;
  auto first = AddWithId(symbols, 7);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(AddWithId(symbols, 7), nullptr);  // ID already present
  SymbolFields f;
  f.id = "x";
  EXPECT_EQ(AddSymbol(symbols, f), nullptr);
  f.id = 8;
  for (const char* blank : {"late", "", " "}) {
    f.close_time = blank;
    EXPECT_EQ(AddSymbol(symbols, f), nullptr) << blank;
  }
  f.close_time = "22:00";
  f.open_time = "";
  EXPECT_EQ(AddSymbol(symbols, f), nullptr);
  f.open_time = "23:00";
  f.spread = "";
  auto blank = AddSymbol(symbols, f);
  ASSERT_NE(blank, nullptr);
  EXPECT_TRUE(blank->Spread().IsNull());
  EXPECT_EQ(symbols.Count(), 2);
  EXPECT_EQ(symbols.Item("7"), first);
}

TEST(SymbolsLookup, CountByKindKeyTextOrPositionAndNewEnumWhileRemoving) {
  CSymbols symbols;
  for (int id : {7, 3}) AddWithId(symbols, id);
  SymbolFields group;
  group.id = 5;
  group.type = Group_Type;
  AddSymbol(symbols, group);
  EXPECT_EQ(symbols.SymbolsCount(Group_Type), 1);
  EXPECT_EQ(symbols.SymbolsCount(symbol_type), 2);
  EXPECT_EQ(symbols.Item(2), symbols.Item("3"));
  EXPECT_EQ(symbols.Item(4), nullptr);
  EXPECT_EQ(symbols.Item("2"), nullptr);
  EXPECT_EQ(symbols.Item(" 7"), nullptr);
  std::vector<int32_t> walked;
  for (const auto& s : symbols.NewEnum()) {
    walked.push_back(s->ID());
    symbols.Remove(KeyOf(s->ID()));
  }
  EXPECT_EQ(walked, (std::vector<int32_t>{7, 3, 5}));
  EXPECT_EQ(symbols.Count(), 0);
}

TEST(SymbolsReferences, LaterReferenceLinkedOnlyBySetSymbolsRefSymbols) {
  CSymbols symbols;
  auto user = AddWithId(symbols, 5, 2);
  auto self = AddWithId(symbols, 6, 6);  // refers to a symbol not present yet
  auto ref = AddWithId(symbols, 2);
  auto early_user = AddWithId(symbols, 9, 2);
  EXPECT_EQ(user->RefSymbol(), nullptr);
  EXPECT_EQ(self->RefSymbol(), nullptr);
  EXPECT_EQ(early_user->RefSymbol(), ref);  // present when added
  symbols.SetSymbolsRefSymbols();
  EXPECT_EQ(user->RefSymbol(), ref);
  EXPECT_EQ(self->RefSymbol(), self);
  EXPECT_EQ(ref->RefSymbol(), nullptr);  // RefID 0 names no symbol
  SymbolFields no_ref;
  no_ref.id = 10;
  no_ref.ref_id = Variant();  // an empty RefID reads as 0
  auto unlinked = AddSymbol(symbols, no_ref);
  ASSERT_NE(unlinked, nullptr);
  EXPECT_EQ(unlinked->RefID(), Variant(0));
}

TEST(SymbolsRemove, RemoveReleasesTheSymbolAndClearRemovesAll) {
  CSymbols symbols;
  auto a = AddWithId(symbols, 7, 3);
  auto b = AddWithId(symbols, 3);
  AddWithId(symbols, 4);
  symbols.SetSymbolsRefSymbols();
  ASSERT_EQ(a->RefSymbol(), b);
  symbols.Remove("7");
  EXPECT_EQ(a->RefSymbol(), nullptr);  // released through Deallocate
  EXPECT_EQ(symbols.Count(), 2);
  symbols.Remove("99");
  symbols.Remove(5);
  symbols.Remove(2);
  EXPECT_EQ(symbols.Item(1), b);
  symbols.ClearSymbols();
  EXPECT_EQ(symbols.Count(), 0);
  EXPECT_EQ(b->SymbolTradingTimes(), nullptr);
}

TEST(SymbolsLifetime, DestroyObjectsDecidesWhetherSymbolsAreReleased) {
  auto kept = test::MakeSymbol(1);
  auto released = test::MakeSymbol(1);
  {
    CSymbols symbols;
    symbols.AddByObject(kept);
    symbols.DestroyObjects(false);
  }
  EXPECT_NE(kept->SymbolTradingTimes(), nullptr);
  {
    CSymbols symbols;
    EXPECT_TRUE(symbols.DestroyObjects());
    EXPECT_EQ(symbols.AddByObject(released), released);
    EXPECT_EQ(symbols.AddByObject(released), nullptr);
    EXPECT_EQ(symbols.AddByObject(nullptr), nullptr);
  }
  EXPECT_EQ(released->SymbolTradingTimes(), nullptr);
}

TEST(SymbolsParameters, WellFormedStringsUpdatePresentSymbolsOnly) {
  CSymbols symbols;
  auto a = AddWithId(symbols, 7);
  auto b = AddWithId(symbols, 8);
  a->ClientPriceOffset(4);
  // ID, spread, source plus, limit, stop, commission, max lots, min lots, price offset
  symbols.UpdateParameters("99,1,1,1,1,1,1,1,1,7,3,2,10,20,2.5,50,0,5,8,,-1,0,0,0,0,-1,0");
  const std::vector<Variant> applied{a->Spread(),     a->SourcePlus(),  a->LimitOffset(),
                                     a->StopOffset(), a->Commission(),  a->MaxLots(),
                                     a->MinLots(),    a->PriceOffset(), a->ClientPriceOffset()};
  // A minimum of 0 or less reads 0.1; the client's own offset stays.
  EXPECT_EQ(applied, (std::vector<Variant>{3.0, 2, 10, 20, 2.5, 50, 0.1, 5, 4}));
  EXPECT_TRUE(b->Spread().IsNull());
  EXPECT_EQ(b->SourcePlus(), -1);
  // An empty string, an incomplete group or a non-number applies nothing.
  symbols.UpdateParameters("");
  symbols.UpdateParameters("7,4,9,11,21,3.5,51,1,6,8");
  symbols.UpdateParameters("7,4,x,11,21,3.5,51,1,6");
  EXPECT_EQ(a->Spread(), Variant(3.0));
  EXPECT_EQ(a->SourcePlus(), 2);
}

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

TEST_F(TradingTimesTest, DailyTimesKeepTheTimePartOrBecomeNullAndPeriods) {
  m_times.DailyCloseTime2("abc");
  EXPECT_TRUE(m_times.DailyCloseTime2().IsNull());
  m_times.DailyCloseTime3(At(kMonday, 14, 30));
  EXPECT_EQ(m_times.DailyCloseTime3(), Variant(DateTime(14.5 / 24)));
  m_times.DailyOpenTime3("05/03/2024 16:00:00");
  EXPECT_EQ(m_times.DailyOpenTime3(), Variant(DateTime(16.0 / 24)));
  // Periods include their bounds; a missing bound is no period.
  EXPECT_TRUE(m_times.IsInPeriod("10:00", "10:00", "11:00"));
  EXPECT_FALSE(m_times.IsInPeriod("11:01", "10:00", "11:00"));
  EXPECT_FALSE(m_times.IsInPeriod("10:30", Null, "11:00"));
  EXPECT_FALSE(m_times.IsInPeriod("10:30", "10:00", Null));
  EXPECT_THROW(m_times.IsInPeriod("noon", "10:00", "11:00"), Error);
}

}  // namespace
}  // namespace orvane
