#include "orvane/accounts/delivery_items.h"

#include <gtest/gtest.h>

#include "support/errors.h"

namespace orvane {
namespace {

using test::Throws;

std::shared_ptr<CDeliveryItem> MakeItem(const std::string& id, double weight = 1.0) {
  auto item = std::make_shared<CDeliveryItem>();
  item->ID(id);
  item->Weight(weight);
  return item;
}

void Fill(CDeliveryItems& items, std::initializer_list<const char*> ids) {
  for (const char* id : ids) {
    auto item = MakeItem(id);
    items.Add(item);
  }
}

TEST(DeliveryItemsTest, AddTakesTheCallersItemOrRaisesAndChangesNothing) {
  CDeliveryItems items;
  auto x = MakeItem("7", 31.1);
  CDeliveryItem* const added = x.get();
  auto result = items.Add(x);
  EXPECT_EQ(x, nullptr);
  EXPECT_EQ(result.get(), added);
  EXPECT_EQ(items.Item("7").get(), added);

  auto second = MakeItem("7", 2.0);
  EXPECT_TRUE(Throws(ErrorCode::DuplicateKey, [&] { items.Add(second); }));
  EXPECT_NE(second, nullptr);  // still the caller's
  EXPECT_EQ(items.Item("7")->Weight(), 31.1);
  std::shared_ptr<CDeliveryItem> none;
  EXPECT_THROW(items.Add(none), Error);
  EXPECT_EQ(items.Count(), 1);
}

TEST(DeliveryItemsTest, ItemByKeyTextOrPosition) {
  CDeliveryItems items;
  Fill(items, {"20", "10", "30"});
  // The text "10" is a key, the number 1 a position in insertion order.
  EXPECT_EQ(items.Item("10")->ID(), "10");
  EXPECT_EQ(items.Item(1)->ID(), "20");
  EXPECT_EQ(items.Item(4), nullptr);
  EXPECT_EQ(items.Item("1"), nullptr);
  EXPECT_EQ(items.Item(Null), nullptr);
}

TEST(DeliveryItemsTest, RemoveByKeyOrPositionIgnoresMisses) {
  CDeliveryItems items;
  Fill(items, {"a", "b", "c", "d"});
  items.Remove("b");
  items.Remove("missing");
  items.Remove(9);
  items.Remove(2);  // now "c"
  ASSERT_EQ(items.Count(), 2);
  EXPECT_EQ(items.Item(1)->ID(), "a");
  EXPECT_EQ(items.Item(2)->ID(), "d");
  Fill(items, {"b"});  // a removed key can be added again
  EXPECT_EQ(items.Item(3)->ID(), "b");
}

}  // namespace
}  // namespace orvane
