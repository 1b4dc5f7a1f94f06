#include "orvane/dealing/chat_order.h"

#include <gtest/gtest.h>

#include "orvane/core/clock.h"

namespace orvane {
namespace {

// A host's dealer connection that records being deallocated.
class FakeDealerLink : public Object, public ISafeObject {
 public:
  void Deallocate() override { ++deallocations; }
  int deallocations = 0;
};

class ChatOrderTest : public ::testing::Test {
 protected:
  // Friday 21:59:00.
  std::shared_ptr<FixedClock> m_clock =
      std::make_shared<FixedClock>(DateTime::FromParts(2026, 12, 4, 21, 59, 0));
  ScopedClock m_scope{m_clock};
};

TEST_F(ChatOrderTest, NewOrderIsStampedAndNotSent) {
  CChatOrder order;
  EXPECT_EQ(order.CreatedDate(), m_clock->Now());
  EXPECT_FALSE(order.IsSent());
  EXPECT_EQ(order.TimeAfterSend(), -1);
}

TEST_F(ChatOrderTest, WritingDealerStampsReceivedTime) {
  CChatOrder order;
  m_clock->AdvanceSeconds(5);
  order.Dealer(42);
  EXPECT_EQ(order.ReceivedTime(), m_clock->Now());
  m_clock->AdvanceSeconds(7);
  order.Dealer(42);  // the same dealer again still stamps
  const DateTime second = m_clock->Now();
  EXPECT_EQ(order.ReceivedTime(), second);
  // No other accessor stamps anything.
  m_clock->AdvanceSeconds(7);
  order.ID(3);
  order.status(NewOrder_RequestType);
  order.OrderSentNow();
  EXPECT_EQ(order.ReceivedTime(), second);
}

TEST_F(ChatOrderTest, TimeAfterSendCountsWholeSecondsAndIsNeverNegative) {
  CChatOrder order;
  order.OrderSentNow();
  EXPECT_TRUE(order.IsSent());
  EXPECT_EQ(order.TimeAfterSend(), 0);
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

TEST_F(ChatOrderTest, OrderNotSentReturnsTheOrderToNoDealer) {
  CChatOrder order;
  order.Dealer(8);
  order.OrderSentNow();
  auto link = std::make_shared<FakeDealerLink>();
  order.SentToDealer(link);
  m_clock->AdvanceSeconds(12);

  order.OrderNotSent();
  EXPECT_EQ(order.Dealer(), -1);
  EXPECT_EQ(order.ReceivedTime(), m_clock->Now());
  EXPECT_FALSE(order.IsSent());
  EXPECT_EQ(order.TimeAfterSend(), -1);
  EXPECT_EQ(link->deallocations, 1);
  EXPECT_EQ(link.use_count(), 1);
}

TEST_F(ChatOrderTest, OrderNotSentOnANeverSentOrder) {
  CChatOrder order;
  auto plain = std::make_shared<Object>();  // offers no Deallocate
  order.SentToDealer(plain);
  order.OrderNotSent();
  EXPECT_EQ(order.Dealer(), -1);
  EXPECT_FALSE(order.IsSent());
  EXPECT_EQ(plain.use_count(), 1);
}

TEST_F(ChatOrderTest, DeallocateReleasesTheDealerLinkWithoutDeallocatingIt) {
  CChatOrder order;
  auto link = std::make_shared<FakeDealerLink>();
  order.SentToDealer(link);
  order.Deallocate();
  EXPECT_EQ(order.SentToDealer(), nullptr);
  EXPECT_EQ(link->deallocations, 0);
  EXPECT_EQ(link.use_count(), 1);
}

}  // namespace
}  // namespace orvane
