#include "memory_store.h"

namespace orvane::apps {

StoreStatus MemoryStore::Commit() {
  std::vector<model::Change> batch;
  batch.swap(m_batch);
  if (!m_failure.empty()) return StoreStatus::Failed(m_failure);
  if (batch.empty()) return StoreStatus::Ok();
  for (const model::Change& change : batch) model::Apply(m_state, change);
  if (m_keep_log) m_committed.insert(m_committed.end(), batch.begin(), batch.end());
  ++m_batches;
  return StoreStatus::Ok();
}

}  // namespace orvane::apps
