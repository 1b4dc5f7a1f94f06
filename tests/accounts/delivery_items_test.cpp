#include "orvane/accounts/delivery_items.h"

#include <gtest/gtest.h>

#include "orvane/core/error.h"

namespace orvane {
namespace {

std::shared_ptr<CDeliveryItem> MakeItem(const std::string& id, double weight = 1.0) {
  auto item = std::make_shared<CDeliveryItem>();
  item->ID(id);
  item->Weight(weight);
  return item;
}

TEST(DeliveryItemsTest, AddClearsTheCallersVariableAndReturnsTheItem) {
  CDeliveryItems items;
  auto x = MakeItem("GOLD1", 31.1);
  CDeliveryItem* const added = x.get();
  auto result = items.Add(x);
  EXPECT_EQ(x, nullptr);
  EXPECT_EQ(result.get(), added);
  EXPECT_EQ(items.Item("GOLD1").get(), added);
  EXPECT_EQ(items.Count(), 1);
}

TEST(DeliveryItemsTest, DuplicateIdOrNoItemIsAnErrorAndChangesNothing) {
  CDeliveryItems items;
  auto first = MakeItem("7", 1.0);
  items.Add(first);
  auto second = MakeItem("7", 2.0);
  try {
    items.Add(second);
    FAIL() << "a duplicate ID must raise";
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), ErrorCode::DuplicateKey);
  }
  EXPECT_NE(second, nullptr);  // still the caller's
  EXPECT_EQ(items.Count(), 1);
  EXPECT_EQ(items.Item("7")->Weight(), 1.0);
  std::shared_ptr<CDeliveryItem> none;
  EXPECT_THROW(items.Add(none), Error);
  EXPECT_EQ(items.Count(), 1);
}

TEST(DeliveryItemsTest, ItemByKeyTextOrPosition) {
  CDeliveryItems items;
  for (const char* id : {"20", "10", "30"}) {
    auto item = MakeItem(id);
    items.Add(item);
  }
  // The text "10" is a key, the number 1 a position in insertion order.
  EXPECT_EQ(items.Item("10")->ID(), "10");
  EXPECT_EQ(items.Item(1)->ID(), "20");
  EXPECT_EQ(items.Item(4), nullptr);
  EXPECT_EQ(items.Item("1"), nullptr);
  EXPECT_EQ(items.Item(Null), nullptr);
}

TEST(DeliveryItemsTest, RemoveByKeyOrPositionIgnoresMisses) {
  CDeliveryItems items;
  for (const char* id : {"a", "b", "c", "d"}) {
    auto item = MakeItem(id);
    items.Add(item);
  }
  items.Remove("b");
  items.Remove("missing");
  items.Remove(9);
  items.Remove(2);  // now "c"
  ASSERT_EQ(items.Count(), 2);
  EXPECT_EQ(items.Item(1)->ID(), "a");
  EXPECT_EQ(items.Item(2)->ID(), "d");
  EXPECT_EQ(items.Item("c"), nullptr);
  // A removed key can be added again.
  auto again = MakeItem("b");
  items.Add(again);
  EXPECT_EQ(items.Item(3)->ID(), "b");
}

}  // namespace
}  // namespace orvane
