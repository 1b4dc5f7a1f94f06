#include "orvane/dealing/chat_orders.h"

#include <gtest/gtest.h>

#include <vector>

#include "orvane/core/clock.h"
#include "support/errors.h"

namespace orvane {
namespace {

using test::Throws;

class ChatOrdersTest : public ::testing::Test {
 protected:
  std::shared_ptr<CChatOrder> AddOrder(int32_t id,
                                       DateTime asked = CChatOrders::UnsetRequestTime()) {
    return m_orders.Add(MarketOrderType, id, 3, 1, 1, 1, BuyType, 1, 1, 1, 1, 1, NewType,
                        NewOrder_RequestType, 1, "", 0, -1, 0, asked);
  }

  std::shared_ptr<FixedClock> m_clock =
      std::make_shared<FixedClock>(DateTime::FromParts(2026, 12, 6, 23, 0, 0));
  ScopedClock m_scope{m_clock};
  CChatOrders m_orders;
};

TEST_F(ChatOrdersTest, AddFillsEveryField) {
  const DateTime asked = DateTime::FromParts(2026, 12, 6, 22, 59, 58);
  auto order = m_orders.Add(LimitOrderType, 77, 5, 100, 200, 15, BuyType, 2.5, 1.2345, 1.2001,
                            1.2344, 0.9, NewType, RequestNewBuy, 201, "10.1.2.3", 4.0, 9, 55,
                            asked, true);
  ASSERT_NE(order, nullptr);
  // Neighbouring arguments differ, so a shifted argument shows.
  const std::vector<Variant> fields{
      order->ID(),       order->Dealer(),      order->AccountID(), order->ClientID(),
      order->SymbolID(), order->lots(),        order->Price(),     order->OpenPrice(),
      order->hitPrice(), order->RefHitPrice(), order->status(),    order->MakerClientID(),
      order->OpenLots(), order->ClientSID(),   order->OpenTicket()};
  EXPECT_EQ(fields, (std::vector<Variant>{77, 5, 100, 200, 15, 2.5, 1.2345, 1.2001, 1.2344, 0.9,
                                          RequestNewBuy, 201, 4.0, 9, 55}));
  EXPECT_EQ(order->ReceivedTime(), m_clock->Now());
  EXPECT_EQ(order->RequestTime(), asked);
  EXPECT_TRUE(order->FromSystem());
}

TEST_F(ChatOrdersTest, RequestTimeOfFirstJanuary1900MeansNow) {
  auto unset = m_orders.Add(MarketOrderType, 1, 3, 100, 200, 15, SellType, 2.5, 1.2345, 1.2001,
                            1.2344, 0.9, LiquidateType, RequestLiqSell, 201, "", 4.0);
  EXPECT_EQ(unset->ClientSID(), -1);
  EXPECT_EQ(unset->RequestTime(), m_clock->Now());
  EXPECT_EQ(AddOrder(2, DateTime::FromParts(1900, 1, 1))->RequestTime(), m_clock->Now());
  EXPECT_EQ(AddOrder(3, DateTime::FromParts(1900, 1, 2))->RequestTime(),
            DateTime::FromParts(1900, 1, 2));
}

TEST_F(ChatOrdersTest, DuplicateIdIsAnErrorAndKeepsTheFirst) {
  auto first = AddOrder(12);
  EXPECT_TRUE(Throws(ErrorCode::DuplicateKey, [&] { AddOrder(12); }));
  auto again = std::make_shared<CChatOrder>();
  again->ID(12);
  EXPECT_THROW(m_orders.AddObject(again), Error);
  EXPECT_THROW(m_orders.AddObject(nullptr), Error);
  EXPECT_EQ(m_orders.Count(), 1);
  EXPECT_EQ(m_orders.Item("12"), first);
}

// Lookups by key text or position go through the shared index-key rule,
// pinned with the delivery items.
TEST_F(ChatOrdersTest, NewEnumFollowsInsertionOrderWhileTheWalkRemoves) {
  for (int32_t id : {5, 1, 9, -3}) AddOrder(id);
  EXPECT_EQ(m_orders.Item("-3")->ID(), -3);
  m_orders.Remove(2);  // by position: order 1
  std::vector<int32_t> ids;
  for (const auto& order : m_orders.NewEnum()) {
    ids.push_back(order->ID());
    m_orders.Remove(KeyOf(order->ID()));
  }
  EXPECT_EQ(ids, (std::vector<int32_t>{5, 9, -3}));
  EXPECT_EQ(m_orders.Count(), 0);
}

TEST(ChatOrdersLifetime, ReleasingTheCollectionReleasesEachDealerLink) {
  auto link = std::make_shared<Object>();
  std::shared_ptr<CChatOrder> kept;
  {
    CChatOrders orders;
    kept = orders.Add(MarketOrderType, 1, 3, 1, 1, 1, BuyType, 1, 1, 1, 1, 1, NewType,
                      NewOrder_RequestType, 1, "", 0);
    kept->SentToDealer(link);
  }
  EXPECT_EQ(kept->SentToDealer(), nullptr);
  EXPECT_EQ(link.use_count(), 1);
}

}  // namespace
}  // namespace orvane
