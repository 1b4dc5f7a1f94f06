#include "orvane/core/keyed_collection.h"

#include <gtest/gtest.h>

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

TEST(KeyedCollectionTest, KeepsInsertionOrderAndRefusesDuplicates) {
  KeyedCollection<Item> c;
  EXPECT_TRUE(c.Add("3", std::make_shared<Item>(3)));
  EXPECT_TRUE(c.Add("1", std::make_shared<Item>(1)));
  EXPECT_FALSE(c.Add("3", std::make_shared<Item>(33)));
  EXPECT_EQ(c.Item("3")->value, 3);
  EXPECT_EQ(values(c), (std::vector<int>{3, 1}));
  EXPECT_EQ(c.Item(1)->value, 3);
  EXPECT_EQ(c.Item(2)->value, 1);
  EXPECT_EQ(c.Item(0), nullptr);
  EXPECT_EQ(c.Item(3), nullptr);
  EXPECT_EQ(c.Item("9"), nullptr);
}

TEST(KeyedCollectionTest, RemoveKeepsOrderAndPositions) {
  KeyedCollection<Item> c;
  for (int i = 1; i <= 100; ++i) c.Add(KeyOf(i), std::make_shared<Item>(i));
  for (int i = 1; i <= 100; i += 2) c.Remove(KeyOf(i));  // forces compaction
  c.Remove("1000");
  EXPECT_EQ(c.Count(), 50);
  EXPECT_EQ(c.Item(1)->value, 2);
  EXPECT_EQ(c.Item(50)->value, 100);
  EXPECT_EQ(c.Item("4")->value, 4);
  EXPECT_EQ(c.Item("3"), nullptr);
  EXPECT_TRUE(c.Add("3", std::make_shared<Item>(3)));
  EXPECT_EQ(c.Item(51)->value, 3);
  EXPECT_EQ(values(c).back(), 3);
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
