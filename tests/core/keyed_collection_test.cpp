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
