#include "orvane/core/conversions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "orvane/core/clock.h"
#include "orvane/core/date_time.h"
#include "orvane/core/error.h"
#include "orvane/core/event_source.h"
#include "orvane/core/keyed_collection.h"
#include "support/errors.h"
#include "support/number_format.h"

namespace orvane {
namespace {

using Numbers = std::vector<double>;

TEST(ValTest, ReadsTheLeadingNumberAndStopsAtTheFirstMisfit) {
  // The comma is no part of a number, whatever the local number form.
  EXPECT_EQ((Numbers{Val("  12.5abc"), Val("-3.25e2x"), Val("1.2.3"), Val("1e"), Val(".5"),
                     Val("+7"), Val("abc"), Val(""), Val("-"), Val("+-3"), Val("1,234.5")}),
            (Numbers{12.5, -325, 1.2, 1, 0.5, 7, 0, 0, 0, 0, 1}));
  test::ScopedNumberFormat comma_decimal({',', '.'});
  EXPECT_DOUBLE_EQ(Val("1.5"), 1.5);
}

TEST(IntegerRoundingTest, HalvesToEvenAndOverflowAtTheEdges) {
  EXPECT_EQ((std::vector<int32_t>{ToInt32(2.5), ToInt32(3.5), ToInt32(-2.5), ToInt16(2.51),
                                  ToInt16(32767.4), ToInt16(-32768.4),
                                  ToInt32(-2147483648.0)}),
            (std::vector<int32_t>{2, 4, -2, 3, 32767, -32768, INT32_MIN}));
  // 32767.5 rounds to 32768.
  EXPECT_EQ(test::ErrorOf([] { ToInt16(32767.5); }).code, ErrorCode::Overflow);
  EXPECT_THROW(ToInt32(2147483648.0), Error);
  // Text that is no number is a type mismatch naming it.
  const auto [code, what] = test::ErrorOf([] { TextToInt32("12a"); });
  EXPECT_EQ(code, ErrorCode::TypeMismatch);
  EXPECT_NE(what.find("12a"), std::string::npos);
  EXPECT_EQ(TextToInt32(" 1,234 "), 1234);
  EXPECT_EQ(ToInt32(Variant(true)), 1);
}

TEST(MoneyRoundingTest, DecimalHalvesGoToEvenOrAway) {
  // 2.675 is binary 2.67499999...; 1.005 is binary 1.00499999...
  const Numbers even = {RoundMoney(2.675),  RoundMoney(2.665),  RoundMoney(0.125),
                        RoundMoney(0.135),  RoundMoney(-0.125), RoundMoney(1.005),
                        RoundMoney(1.0051), RoundMoney(123456789.125), RoundMoney(-10.456),
                        RoundHalfEven(1.23455, 4), RoundHalfEven(1.23445, 4)};
  const Numbers want_even = {2.68, 2.66, 0.12, 0.14, -0.12, 1.0, 1.01, 123456789.12, -10.46,
                             1.2346, 1.2344};
  const Numbers away = {RoundHalfAway(0.125, 2), RoundHalfAway(-0.125, 2),
                        RoundHalfAway(1.23455, 4), RoundHalfAway(1.23444, 4)};
  const Numbers want_away = {0.13, -0.13, 1.2346, 1.2344};
  for (size_t i = 0; i < even.size(); ++i) EXPECT_DOUBLE_EQ(even[i], want_even[i]) << i;
  for (size_t i = 0; i < away.size(); ++i) EXPECT_DOUBLE_EQ(away[i], want_away[i]) << i;
}

TEST(NumberTextTest, FifteenSignificantDigitsTrimmed) {
  EXPECT_EQ((std::vector<std::string>{NumberText(0.1 + 0.2), NumberText(1234.5), NumberText(-0.0),
                                      NumberText(100), NumberText(123456789012345.0),
                                      NumberText(1e15), NumberText(0.0001), NumberText(0.00001),
                                      NumberText(1.23456789012345678)}),
            (std::vector<std::string>{"0.3", "1234.5", "0", "100", "123456789012345", "1E+15",
                                      "0.0001", "1E-05", "1.23456789012346"}));
  test::ScopedNumberFormat comma_decimal({',', '.'});
  EXPECT_EQ(NumberText(1.5), "1,5");
  EXPECT_TRUE(IsNumericText("1.234,5"));
  EXPECT_DOUBLE_EQ(Variant("1.234,5").NumberValue(), 1234.5);
}

TEST(IsNumericTest, WholeTextMustBeANumberAndNvlReplacesOnlyEmpty) {
  EXPECT_EQ((std::vector<bool>{IsNumericText(" 12 "), IsNumericText("-1,234.5"),
                               IsNumericText("1e3"), IsNumericText(""), IsNumericText("12a"),
                               IsNumericText(","), IsNumericText("."), IsNumeric(Variant()),
                               IsNumeric(Variant(Null)), IsNumeric(Variant(3))}),
            (std::vector<bool>{true, true, true, false, false, false, false, false, false, true}));
  EXPECT_EQ((std::vector<Variant>{Nvl(Null, "d"), Nvl("", "d"), Nvl(" ", "d"), Nvl(0, "d")}),
            (std::vector<Variant>{"d", "d", " ", 0}));
}

TEST(VariantDateTest, ReadsDayFirstDatesAndTimesOnly) {
  DateTime t;
  ASSERT_TRUE(Variant("05/03/2024 14:07:09").TryDateValue(t));
  EXPECT_EQ(t, DateTime::FromParts(2024, 3, 5, 14, 7, 9));
  ASSERT_TRUE(Variant(" 05/03/2024 ").TryDateValue(t));
  EXPECT_EQ(t, DateTime::FromParts(2024, 3, 5));
  ASSERT_TRUE(Variant("23:30").TryDateValue(t));
  EXPECT_EQ(t.Hour() * 100 + t.Minute(), 2330);
  for (const Variant& bad : {Variant("13/13/2024"), Variant("99999999999999999999/1/2024"),
                             Variant("05/03/2024 x"), Variant("abc"), Variant(Null)}) {
    EXPECT_FALSE(bad.TryDateValue(t)) << bad.TextValue();
  }
  EXPECT_EQ(Variant(DateTime::FromParts(2024, 3, 5, 14, 7, 9)).TextValue(),
            "05/03/2024 14:07:09");
}

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

TEST(ClockTest, ScopedClocksPinAndMoveNowAndRestoreTheOuterClock) {
  const DateTime outer = DateTime::FromParts(2024, 3, 8, 21, 59);
  {
    ScopedClock scope(std::make_shared<FixedClock>(outer));
    EXPECT_EQ(Now(), outer);
  }
  EXPECT_GT(Now().Year(), 2000);
  ScopedFixedClock outer_pin(outer);
  outer_pin->AdvanceSeconds(60);
  const DateTime moved = Now();
  EXPECT_EQ(moved.Hour(), 22);
  {
    ScopedFixedClock pin(DateTime::FromParts(2026, 12, 31, 23, 59, 59));
    EXPECT_EQ(Now(), DateTime::FromParts(2026, 12, 31, 23, 59, 59));
    pin->AdvanceSeconds(1);
    EXPECT_EQ(Parts(Now()), (std::vector<int>{2027, 1, 1, 0, 0, 0, 6}));
  }
  EXPECT_EQ(Now(), moved);
}

struct Item {
  explicit Item(int v) : value(v) {}
  int value;
};

TEST(KeyedCollectionTest, SnapshotAllowsRemovalDuringTheWalk) {
  KeyedCollection<Item> c;
  for (int i = 1; i <= 5; ++i) c.Add(KeyOf(i), std::make_shared<Item>(i));
  int seen = 0;
  for (const auto& item : c.Snapshot()) {
    c.Remove(KeyOf(item->value));
    ++seen;
  }
  EXPECT_EQ(seen, 5);
  EXPECT_TRUE(c.Empty());
}

// Decimal keys whose hashes share their top ten bits, all ones: in any index
// of up to 1,024 buckets they share the last bucket as home, so their probe
// run collides from the first key on and wraps round to the first bucket.
std::vector<std::string> KeysHomedAtTheLastBucket(size_t count) {
  std::vector<std::string> keys;
  for (int64_t id = 1; keys.size() < count; ++id) {
    std::string key = KeyOf(id);
    if ((detail::HashKey(key) >> 54) == 0x3ff) keys.push_back(std::move(key));
  }
  return keys;
}

// A plain ordered model: the members (key, value) in insertion order.
using Model = std::vector<std::pair<std::string, int>>;

void ExpectSameAs(const KeyedCollection<Item>& c, const Model& model,
                  const std::vector<std::string>& universe) {
  ASSERT_EQ(c.Count(), static_cast<int32_t>(model.size()));
  std::vector<std::pair<std::string, int>> walked;
  for (auto it = c.begin(); it != c.end(); ++it) {
    walked.emplace_back(it.key(), (*it)->value);
  }
  ASSERT_EQ(walked, model);
  for (const std::string& key : universe) {
    auto in_model = std::find_if(model.begin(), model.end(),
                                 [&](const auto& m) { return m.first == key; });
    const auto item = c.Item(key);
    ASSERT_EQ(c.Contains(key), in_model != model.end()) << key;
    if (in_model == model.end()) {
      ASSERT_EQ(item, nullptr) << key;
    } else {
      ASSERT_NE(item, nullptr) << key;
      ASSERT_EQ(item->value, in_model->second) << key;
      ASSERT_EQ(c.Find(key)->get(), item.get()) << key;
    }
  }
  for (size_t i = 0; i < model.size(); ++i) {
    ASSERT_EQ(c.Item(static_cast<int32_t>(i + 1))->value, model[i].second);
  }
  ASSERT_EQ(c.Item(0), nullptr);
  ASSERT_EQ(c.Item(c.Count() + 1), nullptr);
}

// Random adds and removals over keys that all collide, checked against the
// model (insertion order, refused duplicates, positions from 1 to Count):
// backward-shift deletion across the wrapped probe run, removal then
// re-add of one key, growth of the index and compaction of the slots while
// every key shares one home; copies that change apart from the original,
// moves that leave an empty collection behind, and a clear midway.
TEST(KeyedCollectionTest, CollidingKeysBehaveLikeAnOrderedModel) {
  std::vector<std::string> universe = KeysHomedAtTheLastBucket(120);
  universe.push_back("");
  universe.push_back(std::string(40, 'x'));
  universe.push_back(std::string(20, 'x') + "y" + std::string(19, 'x'));
  KeyedCollection<Item> c;
  Model model;
  std::mt19937 random(7);
  int next_value = 0;
  for (int step = 0; step < 3000; ++step) {
    const std::string& key = universe[random() % universe.size()];
    auto in_model = std::find_if(model.begin(), model.end(),
                                 [&](const auto& m) { return m.first == key; });
    if (random() % 5 < 3) {
      const bool added = c.Add(key, std::make_shared<Item>(++next_value));
      ASSERT_EQ(added, in_model == model.end()) << key;
      if (added) model.emplace_back(key, next_value);
    } else {
      const auto removed = c.Remove(key);
      if (in_model == model.end()) {
        ASSERT_EQ(removed, nullptr) << key;
      } else {
        ASSERT_NE(removed, nullptr) << key;
        ASSERT_EQ(removed->value, in_model->second);
        model.erase(in_model);
      }
    }
    if (step % 97 == 0) ExpectSameAs(c, model, universe);
    if (step % 251 == 250) {
      KeyedCollection<Item> copy = c;
      copy.Remove(key);
      ASSERT_TRUE(copy.Add("copy only", std::make_shared<Item>(0)));
      ExpectSameAs(c, model, universe);
      ASSERT_FALSE(c.Contains("copy only"));
      KeyedCollection<Item> moved = std::move(c);
      ASSERT_TRUE(c.Empty());  // NOLINT: the moved-from state is part of the contract
      ASSERT_EQ(c.Item(key), nullptr);
      ASSERT_TRUE(c.Add("after the move", std::make_shared<Item>(0)));
      c = std::move(moved);
      ASSERT_TRUE(moved.Empty());  // NOLINT
      ExpectSameAs(c, model, universe);
    }
    if (step == 1500) {
      c.Clear();
      model.clear();
      ExpectSameAs(c, model, universe);
    }
  }
  ExpectSameAs(c, model, universe);
  while (!model.empty()) {  // drain from the front: holes, then compaction
    ASSERT_EQ(c.Remove(model.front().first)->value, model.front().second);
    model.erase(model.begin());
  }
  ExpectSameAs(c, model, universe);
}

TEST(KeyedCollectionTest, GrowsAndCompactsAtScale) {
  KeyedCollection<Item> c;
  constexpr int kMembers = 20000;
  for (int i = 1; i <= kMembers; ++i) {
    ASSERT_TRUE(c.Add(KeyOf(i), std::make_shared<Item>(i)));
  }
  for (int i = 1; i <= kMembers; i += 3) ASSERT_EQ(c.Remove(KeyOf(i))->value, i);
  for (int i = 1; i <= kMembers; ++i) {
    const auto item = c.Item(KeyOf(i));
    ASSERT_EQ(item == nullptr, i % 3 == 1) << i;
  }
  EXPECT_EQ(c.Count(), kMembers - (kMembers + 2) / 3);
  EXPECT_EQ(c.Item(1)->value, 2);
  EXPECT_EQ(c.Item(c.Count())->value, kMembers);
  EXPECT_EQ(c.Item(KeyOf(kMembers + 1)), nullptr);
}

TEST(KeyedCollectionTest, FindGivesTheStoredReferenceWithoutSharingItAndKeysOfIds) {
  KeyedCollection<Item> c;
  EXPECT_EQ(c.Find("1"), nullptr);
  auto seven = std::make_shared<Item>(7);
  c.Add("7", seven);
  const auto* found = c.Find("7");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->get(), seven.get());
  EXPECT_EQ(seven.use_count(), 2);  // ours and the collection's
  EXPECT_EQ(c.Find("70"), nullptr);
  EXPECT_EQ(KeyOf(-12), "-12");
  EXPECT_EQ(KeyOf(0), "0");
  for (const int64_t id : {int64_t{0}, int64_t{7}, int64_t{-12}, int64_t{1234567},
                           INT64_MAX, INT64_MIN}) {
    EXPECT_EQ(std::string_view(IdKey(id)), KeyOf(id));
  }
  EXPECT_EQ(c.Item(IdKey(7)), seven);
}

struct Listener {
  virtual ~Listener() = default;
  virtual void Fired(int) {}
};

struct Recorder : Listener {
  std::vector<int>* log;
  int id;
  EventSource<Listener>* source = nullptr;
  Listener* drop = nullptr;
  Recorder(std::vector<int>* l, int i) : log(l), id(i) {}
  void Fired(int) override {
    log->push_back(id);
    if (source && drop) source->Unadvise(drop);
  }
};

TEST(EventSourceTest, RaisesInSubscriptionOrderAndToleratesUnadviseInHandler) {
  std::vector<int> log;
  EventSource<Listener> source;
  Recorder a(&log, 1), b(&log, 2), c(&log, 3);
  source.Advise(&a);
  source.Advise(&b);
  source.Advise(&c);
  source.Advise(&a);  // once only
  a.source = &source;
  a.drop = &b;  // a removes b before b's turn
  source.Raise([](Listener& l) { l.Fired(0); });
  EXPECT_EQ(log, (std::vector<int>{1, 3}));
  log.clear();
  source.Raise([](Listener& l) { l.Fired(0); });
  EXPECT_EQ(log, (std::vector<int>{1, 3}));
}

}  // namespace
}  // namespace orvane
