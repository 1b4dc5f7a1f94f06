#include "orvane/dealing/chat_orders.h"

#include <gtest/gtest.h>

#include "orvane/core/clock.h"
#include "orvane/core/error.h"

namespace orvane {
namespace {

class ChatOrdersTest : public ::testing::Test {
 protected:
  std::shared_ptr<CChatOrder> AddOrder(CChatOrders& orders, int32_t id) {
    return orders.Add(MarketOrderType, id, 3, 100, 200, 15, SellType, 2.5, 1.2345,
                      1.2001, 1.2344, 0.9, LiquidateType, RequestLiqSell, 201, "10.1.2.3",
                      4.0);
  }

  std::shared_ptr<FixedClock> m_clock =
      std::make_shared<FixedClock>(DateTime::FromParts(2026, 12, 6, 23, 0, 0));
  ScopedClock m_scope{m_clock};
};

TEST_F(ChatOrdersTest, AddFillsEveryField) {
  CChatOrders orders;
  const DateTime asked = DateTime::FromParts(2026, 12, 6, 22, 59, 58);
  auto order = orders.Add(LimitOrderType, 77, 5, 100, 200, 15, BuyType, 2.5, 1.2345, 1.2001,
                          1.2344, 0.9, NewType, RequestNewBuy, 201, "10.1.2.3", 4.0, 9, 55,
                          asked, true);
  ASSERT_NE(order, nullptr);
  // Neighbouring arguments differ, so a shifted argument shows.
  EXPECT_EQ(order->ID(), 77);
  EXPECT_EQ(order->Dealer(), 5);
  EXPECT_EQ(order->ReceivedTime(), m_clock->Now());
  EXPECT_EQ(order->AccountID(), 100);
  EXPECT_EQ(order->ClientID(), 200);
  EXPECT_EQ(order->SymbolID(), 15);
  EXPECT_EQ(order->lots(), 2.5);
  EXPECT_EQ(order->Price(), 1.2345);
  EXPECT_EQ(order->OpenPrice(), 1.2001);
  EXPECT_EQ(order->hitPrice(), 1.2344);
  EXPECT_EQ(order->RefHitPrice(), 0.9);
  EXPECT_EQ(order->status(), RequestNewBuy);
  EXPECT_EQ(order->MakerClientID(), 201);
  EXPECT_EQ(order->OpenLots(), 4.0);
  EXPECT_EQ(order->ClientSID(), 9);
  EXPECT_EQ(order->OpenTicket(), 55);
  EXPECT_EQ(order->RequestTime(), asked);
  EXPECT_TRUE(order->FromSystem());
}

TEST_F(ChatOrdersTest, OptionalArgumentsDefaultAndRequestTimeMeansNow) {
  CChatOrders orders;
  auto order = AddOrder(orders, 1);
  EXPECT_EQ(order->ClientSID(), -1);
  EXPECT_EQ(order->RequestTime(), m_clock->Now());

  // 1 January 1900 given explicitly also means now; the day after does not.
  EXPECT_EQ(CChatOrders::UnsetRequestTime().Serial(), 2.0);
  auto explicit_default = orders.Add(MarketOrderType, 2, 3, 1, 1, 1, BuyType, 1, 1, 1, 1, 1,
                                     NewType, NewOrder_RequestType, 1, "", 0, -1, 0,
                                     DateTime::FromParts(1900, 1, 1));
  EXPECT_EQ(explicit_default->RequestTime(), m_clock->Now());
  auto next_day = orders.Add(MarketOrderType, 3, 3, 1, 1, 1, BuyType, 1, 1, 1, 1, 1, NewType,
                             NewOrder_RequestType, 1, "", 0, -1, 0,
                             DateTime::FromParts(1900, 1, 2));
  EXPECT_EQ(next_day->RequestTime(), DateTime::FromParts(1900, 1, 2));
}

TEST_F(ChatOrdersTest, DuplicateIdIsAnErrorAndKeepsTheFirst) {
  CChatOrders orders;
  auto first = AddOrder(orders, 12);
  try {
    AddOrder(orders, 12);
    FAIL() << "a second order 12 must raise";
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), ErrorCode::DuplicateKey);
  }
  auto again = std::make_shared<CChatOrder>();
  again->ID(12);
  EXPECT_THROW(orders.AddObject(again), Error);
  EXPECT_THROW(orders.AddObject(nullptr), Error);
  EXPECT_EQ(orders.Count(), 1);
  EXPECT_EQ(orders.Item("12"), first);
}

TEST_F(ChatOrdersTest, ItemByKeyTextAndByPositionReachTheSameOrder) {
  CChatOrders orders;
  AddOrder(orders, 30);
  auto second = AddOrder(orders, 4);
  AddOrder(orders, -7);
  EXPECT_EQ(orders.Item("4"), second);
  EXPECT_EQ(orders.Item(2), second);
  EXPECT_EQ(orders.Item("-7")->ID(), -7);
  EXPECT_EQ(orders.Item(4), nullptr);
  EXPECT_EQ(orders.Item("2"), nullptr);  // a key text, not a position
}

TEST_F(ChatOrdersTest, RemoveAndEnumerationFollowInsertionOrder) {
  CChatOrders orders;
  for (int32_t id : {5, 1, 9, 3}) AddOrder(orders, id);
  orders.Remove("1");
  orders.Remove(3);     // position 3 is now order 3
  orders.Remove("88");  // ignored
  orders.Remove(10);    // ignored
  std::vector<int32_t> ids;
  for (const auto& order : orders) ids.push_back(order->ID());
  EXPECT_EQ(ids, (std::vector<int32_t>{5, 9}));
  ids.clear();
  for (const auto& order : orders.NewEnum()) {
    ids.push_back(order->ID());
    orders.Remove(KeyOf(order->ID()));
  }
  EXPECT_EQ(ids, (std::vector<int32_t>{5, 9}));
  EXPECT_EQ(orders.Count(), 0);
}

TEST_F(ChatOrdersTest, ReleasingTheCollectionReleasesEachDealerLink) {
  auto link = std::make_shared<Object>();
  std::shared_ptr<CChatOrder> kept;
  {
    CChatOrders orders;
    kept = AddOrder(orders, 1);
    kept->SentToDealer(link);
    EXPECT_EQ(link.use_count(), 2);
  }
  EXPECT_EQ(kept->SentToDealer(), nullptr);
  EXPECT_EQ(link.use_count(), 1);
}

}  // namespace
}  // namespace orvane
