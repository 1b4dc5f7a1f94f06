#include "memory_store.h"

namespace orvane::apps {

StoreStatus MemoryStore::Commit() {
  std::vector<model::Change> batch;
  batch.swap(m_batch);
  std::map<std::string, std::string> meta;
  meta.swap(m_batch_meta);
  if (!m_failure.empty()) return StoreStatus::Failed(m_failure);
  for (auto& [key, value] : meta) m_meta[key] = std::move(value);
  if (batch.empty()) return StoreStatus::Ok();
  for (const model::Change& change : batch) model::Apply(m_state, change);
  if (m_keep_log) m_committed.insert(m_committed.end(), batch.begin(), batch.end());
  ++m_batches;
  return StoreStatus::Ok();
}

std::optional<std::string> MemoryStore::Meta(const std::string& key) {
  for (const auto* values : {&m_batch_meta, &m_meta}) {
    if (auto it = values->find(key); it != values->end()) return it->second;
  }
  return std::nullopt;
}

}  // namespace orvane::apps
