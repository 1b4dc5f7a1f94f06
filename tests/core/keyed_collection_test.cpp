#include "orvane/core/keyed_collection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "orvane/core/event_source.h"

namespace orvane {
namespace {

struct Item {
  explicit Item(int v) : value(v) {}
  int value;
};

std::vector<int> values(const KeyedCollection<Item>& c) {
  std::vector<int> out;
  for (const auto& item : c) out.push_back(item->value);
  return out;
}

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
    if (in_model == model.end()) {
      ASSERT_EQ(item, nullptr) << key;
    } else {
      ASSERT_NE(item, nullptr) << key;
      ASSERT_EQ(item->value, in_model->second) << key;
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
// every key shares one home.
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

TEST(KeyedCollectionTest, FindGivesTheStoredReferenceWithoutSharingIt) {
  KeyedCollection<Item> c;
  EXPECT_EQ(c.Find("1"), nullptr);
  auto seven = std::make_shared<Item>(7);
  c.Add("7", seven);
  const auto* found = c.Find("7");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->get(), seven.get());
  EXPECT_EQ(seven.use_count(), 2);  // ours and the collection's
  EXPECT_EQ(c.Find("70"), nullptr);
  EXPECT_EQ(c.Find(""), nullptr);
  EXPECT_FALSE(c.Contains("8"));
  EXPECT_TRUE(c.Contains("7"));
}

TEST(KeyedCollectionTest, RemovingTheNewestMemberAndClearing) {
  KeyedCollection<Item> c;
  for (int i = 1; i <= 40; ++i) c.Add(KeyOf(i), std::make_shared<Item>(i));
  for (int i = 20; i <= 39; ++i) c.Remove(KeyOf(i));  // holes before "40"
  EXPECT_EQ(c.Remove("40")->value, 40);               // the newest goes
  EXPECT_EQ(c.Count(), 19);
  EXPECT_EQ(c.Item(19)->value, 19);
  EXPECT_EQ(c.Item(20), nullptr);
  EXPECT_TRUE(c.Add("40", std::make_shared<Item>(41)));
  EXPECT_EQ(c.Item(20)->value, 41);
  EXPECT_EQ(values(c).size(), 20u);
  c.Clear();
  EXPECT_TRUE(c.Empty());
  EXPECT_EQ(c.begin(), c.end());
  EXPECT_EQ(c.Item("1"), nullptr);
  EXPECT_EQ(c.Remove("1"), nullptr);
  EXPECT_TRUE(c.Add("1", std::make_shared<Item>(1)));
  EXPECT_EQ(values(c), (std::vector<int>{1}));
}

TEST(KeyedCollectionTest, CopiesAreIndependentAndMovedFromIsEmpty) {
  KeyedCollection<Item> original;
  for (int i = 1; i <= 30; ++i) original.Add(KeyOf(i), std::make_shared<Item>(i));
  for (int i = 1; i <= 20; ++i) original.Remove(KeyOf(i));
  KeyedCollection<Item> copy = original;
  copy.Remove("25");
  copy.Add("1", std::make_shared<Item>(100));
  EXPECT_EQ(original.Count(), 10);
  EXPECT_EQ(original.Item("25")->value, 25);
  EXPECT_EQ(original.Item("1"), nullptr);
  EXPECT_EQ(copy.Item(copy.Count())->value, 100);

  KeyedCollection<Item> moved = std::move(original);
  EXPECT_EQ(moved.Item("21")->value, 21);
  EXPECT_TRUE(original.Empty());  // NOLINT: moved-from state is part of the contract
  EXPECT_EQ(original.Item("21"), nullptr);
  EXPECT_TRUE(original.Add("21", std::make_shared<Item>(0)));
  moved = KeyedCollection<Item>();
  EXPECT_EQ(moved.Count(), 0);
  EXPECT_EQ(moved.Item("22"), nullptr);
}

TEST(KeyedCollectionTest, KeysOfNegativeIds) {
  EXPECT_EQ(KeyOf(-12), "-12");
  EXPECT_EQ(KeyOf(0), "0");
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
