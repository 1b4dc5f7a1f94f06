#include "orvane/connection/queue.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "orvane/connection/tcp_send_object.h"
#include "orvane/core/error.h"

namespace orvane {
namespace {

// A node that counts how often it was deallocated.
class CountingNode : public IQueueNode, public ISafeObject {
 public:
  explicit CountingNode(std::string id) : m_id(std::move(id)) {}
  std::string ID() const override { return m_id; }
  void Deallocate() override { ++deallocations; }
  int deallocations = 0;

 private:
  std::string m_id;
};

std::shared_ptr<CountingNode> Node(int n) {
  return std::make_shared<CountingNode>(std::to_string(n));
}

std::string TopID(const CQueue& q) {
  std::shared_ptr<IQueueNode> x;
  EXPECT_EQ(q.Top(x), SUCCESS);
  return x ? x->ID() : "<none>";
}

TEST(QueueTest, NewQueueIsEmptyAndRefusesReads) {
  CQueue q;
  EXPECT_TRUE(q.isEmptyQueue());
  EXPECT_FALSE(q.isFullQueue());
  EXPECT_EQ(q.Count(), Variant(0.0));
  EXPECT_EQ(q.Dequeue(), UNDERFLOW);
  auto keep = Node(42);
  std::shared_ptr<IQueueNode> x = keep;
  EXPECT_EQ(q.Top(x), UNDERFLOW);
  EXPECT_EQ(x, keep);  // out argument untouched
  EXPECT_THROW(q.Enqueue(nullptr), Error);
  EXPECT_TRUE(q.isEmptyQueue());
}

TEST(QueueTest, HoldsExactly5000AndWrapsToSlotOne) {
  CQueue q;
  for (int i = 1; i <= 5000; ++i) ASSERT_EQ(q.Enqueue(Node(i)), SUCCESS);
  EXPECT_TRUE(q.isFullQueue());
  auto extra = Node(5001);
  EXPECT_EQ(q.Enqueue(extra), OVERFLOW);
  EXPECT_EQ(extra.use_count(), 1);  // not stored anywhere
  EXPECT_EQ(q.Count().NumberValue(), 5000.0);
  EXPECT_EQ(TopID(q), "1");
  EXPECT_EQ(TopID(q), "1");  // Top leaves the node queued

  ASSERT_EQ(q.Dequeue(), SUCCESS);
  ASSERT_EQ(q.Enqueue(Node(9001)), SUCCESS);
  ASSERT_EQ(q.Dequeue(), SUCCESS);
  // Elements are in slot order, not queue order; a dequeued slot is empty.
  auto slots = q.Elements();
  ASSERT_EQ(slots.size(), 5001u);
  EXPECT_EQ(slots[0], nullptr);
  EXPECT_EQ(slots[1]->ID(), "9001");  // the rear wrapped to slot 1
  EXPECT_EQ(slots[2], nullptr);
  EXPECT_EQ(slots[3]->ID(), "3");

  // FIFO order holds across the wrap.
  for (int i = 3; i <= 5000; ++i) {
    ASSERT_EQ(TopID(q), std::to_string(i));
    ASSERT_EQ(q.Dequeue(), SUCCESS);
  }
  EXPECT_EQ(TopID(q), "9001");
  ASSERT_EQ(q.Dequeue(), SUCCESS);
  EXPECT_TRUE(q.isEmptyQueue());
  EXPECT_EQ(q.Dequeue(), UNDERFLOW);
}

TEST(QueueTest, OnlyDeallocateAndDestructionDeallocateNodes) {
  auto dequeued = Node(1);
  auto cleared = Node(2);
  auto held = Node(3);
  auto send = std::make_shared<CTCPSendObject>();
  send->SendText("quote");
  {
    auto q = std::make_shared<CQueue>();
    q->Enqueue(dequeued);
    q->Enqueue(send);
    q->Dequeue();
    q->Dequeue();
    q->Enqueue(cleared);
    q->Clear();  // back to the new state: the next node goes to slot one
    EXPECT_TRUE(q->isEmptyQueue());
    q->Enqueue(held);
    {
      const auto slots = q->Elements();
      EXPECT_EQ(slots[1], held);
      for (int i = 2; i <= 5000; ++i) ASSERT_EQ(slots[i], nullptr) << i;
    }
    EXPECT_EQ(q->Count().NumberValue(), 1.0);
    EXPECT_EQ(dequeued->deallocations, 0);
    EXPECT_EQ(cleared->deallocations, 0);
    EXPECT_EQ(send->SendText(), "quote");
    EXPECT_EQ(held.use_count(), 2);
  }
  EXPECT_EQ(held->deallocations, 1);
  EXPECT_EQ(held.use_count(), 1);

  CQueue q;
  auto a = Node(4);
  q.Enqueue(a);
  q.Enqueue(std::make_shared<IQueueNode>());  // offers no Deallocate
  q.Deallocate();
  EXPECT_EQ(a->deallocations, 1);
  EXPECT_TRUE(q.isEmptyQueue());
  ASSERT_EQ(q.Enqueue(Node(5)), SUCCESS);
  EXPECT_EQ(q.Elements()[1]->ID(), "5");
}

}  // namespace
}  // namespace orvane
