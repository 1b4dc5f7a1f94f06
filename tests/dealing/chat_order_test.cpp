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
