#include "orvane/connection/queue.h"

#include <utility>

#include "orvane/core/error.h"

namespace orvane {

CQueue::CQueue() = default;

CQueue::~CQueue() { Deallocate(); }

QueueStatus CQueue::Enqueue(std::shared_ptr<IQueueNode> j) {
  if (!j) throw Error(ErrorCode::ObjectRequired, "a queue node is required");
  if (isFullQueue()) return OVERFLOW;
  m_rear = Next(m_rear);
  m_slots[m_rear] = std::move(j);
  ++m_count;
  return SUCCESS;
}

QueueStatus CQueue::Dequeue() {
  if (isEmptyQueue()) return UNDERFLOW;
  // Moved out first: releasing the node may run code that reads the queue.
  std::shared_ptr<IQueueNode> released = std::move(m_slots[m_front]);
  m_front = Next(m_front);
  --m_count;
  return SUCCESS;
}

QueueStatus CQueue::Top(std::shared_ptr<IQueueNode>& x) const {
  if (isEmptyQueue()) return UNDERFLOW;
  x = m_slots[m_front];
  return SUCCESS;
}

void CQueue::Clear() {
  for (auto& slot : m_slots) slot.reset();
  m_front = 1;
  m_rear = 0;
  m_count = 0;
}

std::vector<std::shared_ptr<IQueueNode>> CQueue::Elements() const {
  return std::vector<std::shared_ptr<IQueueNode>>(m_slots.begin(),
                                                  m_slots.end());
}

void CQueue::Deallocate() {
  for (auto& slot : m_slots) {
    std::shared_ptr<IQueueNode> node = std::move(slot);
    slot.reset();
    if (auto safe = std::dynamic_pointer_cast<ISafeObject>(node)) {
      safe->Deallocate();
    }
  }
  m_front = 1;
  m_rear = 0;
  m_count = 0;
}

}  // namespace orvane
