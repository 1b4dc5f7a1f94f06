#include "orvane/dealing/chat_order.h"
#include "orvane/dealing/chat_orders.h"

#include <gtest/gtest.h>

#include <vector>

#include "orvane/core/clock.h"
#include "support/errors.h"

namespace orvane {
namespace {

using test::Throws;

// A host's dealer connection that records being deallocated.
class FakeDealerLink : public Object, public ISafeObject {
 public:
  void Deallocate() override { ++deallocations; }
  int deallocations = 0;
};

// Friday 21:59:00.
class ChatOrderTest : public ::testing::Test {
 protected:
  std::shared_ptr<CChatOrder> AddOrder(int32_t id,
                                       DateTime asked = CChatOrders::UnsetRequestTime()) {
    return m_orders.Add(MarketOrderType, id, 3, 1, 1, 1, BuyType, 1, 1, 1, 1, 1, NewType,
                        NewOrder_RequestType, 1, "", 0, -1, 0, asked);
  }

  std::shared_ptr<FixedClock> m_clock =
      std::make_shared<FixedClock>(DateTime::FromParts(2026, 12, 4, 21, 59, 0));
  ScopedClock m_scope{m_clock};
  CChatOrders m_orders;
};

TEST_F(ChatOrderTest, OnlyWritingTheDealerStampsTheReceivedTime) {
  CChatOrder order;
  EXPECT_EQ(order.CreatedDate(), m_clock->Now());
  m_clock->AdvanceSeconds(5);
  order.Dealer(42);
  m_clock->AdvanceSeconds(7);
  order.Dealer(42);  // the same dealer again still stamps
  const DateTime stamped = m_clock->Now();
  EXPECT_EQ(order.ReceivedTime(), stamped);
  m_clock->AdvanceSeconds(7);
  order.ID(3);
  order.status(NewOrder_RequestType);
  order.OrderSentNow();
  EXPECT_EQ(order.ReceivedTime(), stamped);
}

TEST_F(ChatOrderTest, TimeAfterSendCountsWholeSecondsAndIsNeverNegative) {
  CChatOrder order;
  EXPECT_EQ(order.TimeAfterSend(), -1);
  order.OrderSentNow();
  EXPECT_TRUE(order.IsSent());
  m_clock->AdvanceSeconds(90);
  EXPECT_EQ(order.TimeAfterSend(), 90);
  m_clock->Set(DateTime::FromParts(2026, 12, 4, 21, 58, 30));  // set back
  EXPECT_EQ(order.TimeAfterSend(), 30);
  m_clock->Set(DateTime::FromParts(2026, 12, 6, 23, 0, 0));  // Sunday 23:00
  EXPECT_EQ(order.TimeAfterSend(), 2 * 86400 + 3660);
  order.OrderSentNow();  // sending again restarts the count
  m_clock->AdvanceSeconds(3);
  EXPECT_EQ(order.TimeAfterSend(), 3);
}

TEST_F(ChatOrderTest, OrderNotSentReturnsTheOrderToNoDealerAndDropsTheLink) {
  CChatOrder sent;
  sent.Dealer(8);
  sent.OrderSentNow();
  auto link = std::make_shared<FakeDealerLink>();
  sent.SentToDealer(link);
  m_clock->AdvanceSeconds(12);
  sent.OrderNotSent();
  EXPECT_EQ(sent.Dealer(), -1);
  EXPECT_EQ(sent.ReceivedTime(), m_clock->Now());
  EXPECT_EQ(sent.TimeAfterSend(), -1);
  EXPECT_EQ(link->deallocations, 1);
  EXPECT_EQ(link.use_count(), 1);

  CChatOrder never_sent;
  auto plain = std::make_shared<Object>();  // offers no Deallocate
  never_sent.SentToDealer(plain);
  never_sent.OrderNotSent();
  EXPECT_EQ(never_sent.Dealer(), -1);
  EXPECT_FALSE(never_sent.IsSent());
  EXPECT_EQ(plain.use_count(), 1);
}

TEST_F(ChatOrderTest, AddFillsEveryField) {
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

TEST_F(ChatOrderTest, RequestTimeOfFirstJanuary1900MeansNow) {
  auto unset = m_orders.Add(MarketOrderType, 1, 3, 100, 200, 15, SellType, 2.5, 1.2345, 1.2001,
                            1.2344, 0.9, LiquidateType, RequestLiqSell, 201, "", 4.0);
  EXPECT_EQ(unset->ClientSID(), -1);
  EXPECT_EQ(unset->RequestTime(), m_clock->Now());
  EXPECT_EQ(AddOrder(2, DateTime::FromParts(1900, 1, 1))->RequestTime(), m_clock->Now());
  EXPECT_EQ(AddOrder(3, DateTime::FromParts(1900, 1, 2))->RequestTime(),
            DateTime::FromParts(1900, 1, 2));
}

TEST_F(ChatOrderTest, DuplicateIdIsAnErrorAndKeepsTheFirst) {
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
TEST_F(ChatOrderTest, NewEnumFollowsInsertionOrderWhileTheWalkRemoves) {
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

// Deallocating an order, or releasing its collection, lets go of the dealer
// link without deallocating it.
TEST(ChatOrdersLifetime, ReleasingTheCollectionReleasesEachDealerLink) {
  auto link = std::make_shared<FakeDealerLink>();
  std::shared_ptr<CChatOrder> kept;
  {
    CChatOrders orders;
    kept = orders.Add(MarketOrderType, 1, 3, 1, 1, 1, BuyType, 1, 1, 1, 1, 1, NewType,
                      NewOrder_RequestType, 1, "", 0);
    kept->SentToDealer(link);
  }
  EXPECT_EQ(kept->SentToDealer(), nullptr);
  EXPECT_EQ(link.use_count(), 1);
  CChatOrder order;
  order.SentToDealer(link);
  order.Deallocate();
  EXPECT_EQ(order.SentToDealer(), nullptr);
  EXPECT_EQ(link->deallocations, 0);
  EXPECT_EQ(link.use_count(), 1);
}

}  // namespace
}  // namespace orvane
