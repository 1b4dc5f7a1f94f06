#ifndef ORVANE_CONNECTION_QUEUE_H_
#define ORVANE_CONNECTION_QUEUE_H_

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "orvane/core/object.h"
#include "orvane/core/variant.h"
#include "orvane/io/queue_node.h"

namespace orvane {

// The outcome of a queue operation.
enum QueueStatus : int32_t {
  OVERFLOW = 0,   // the queue is full; nothing was stored
  UNDERFLOW = 1,  // the queue is empty; nothing was read or removed
  SUCCESS = 2,    // the operation took place
};

// A bounded first-in-first-out queue of nodes: exactly 5000 slots numbered
// 1 to 5000, used circularly (a position past 5000 wraps to 1). The queue
// shares ownership of each stored node; it never copies one. Only the count
// decides fullness and emptiness.
//
// Dequeue and Clear only let go of their nodes; Deallocate and destruction
// also call Deallocate on every node still stored that offers ISafeObject.
class CQueue : public Object, public ISafeObject, NonCopyable {
 public:
  static constexpr int32_t kCapacity = 5000;

  CQueue();
  ~CQueue() override;

  // Stores j behind the newest node; OVERFLOW (nothing stored) when full.
  // Throws Error(ObjectRequired) for a null node and stores nothing.
  QueueStatus Enqueue(std::shared_ptr<IQueueNode> j);
  // Drops the oldest node (read it first with Top); UNDERFLOW when empty.
  QueueStatus Dequeue();
  // Gives the oldest node without removing it; UNDERFLOW when empty, with x
  // left as it was.
  QueueStatus Top(std::shared_ptr<IQueueNode>& x) const;
  // Lets go of every node and returns to the new state (front 1, rear 0).
  void Clear();
  bool isEmptyQueue() const { return m_count == 0; }
  bool isFullQueue() const { return m_count == kCapacity; }
  // The number of stored nodes, as a number.
  Variant Count() const { return Variant(static_cast<double>(m_count)); }
  // A copy of the slots in slot order (not queue order): element i is slot i
  // for i in 1..5000, element 0 is unused; empty slots are null.
  std::vector<std::shared_ptr<IQueueNode>> Elements() const;

  void Deallocate() override;

 private:
  static int32_t Next(int32_t position) {
    return position == kCapacity ? 1 : position + 1;
  }

  std::array<std::shared_ptr<IQueueNode>, kCapacity + 1> m_slots;
  int32_t m_front = 1;
  int32_t m_rear = 0;
  int32_t m_count = 0;
};

}  // namespace orvane

#endif  // ORVANE_CONNECTION_QUEUE_H_
