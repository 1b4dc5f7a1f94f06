#include "memory_store.h"

namespace orvane::apps {

StoreStatus MemoryStore::commit() {
  std::vector<model::Change> batch;
  batch.swap(m_batch);
  std::map<std::string, std::string> meta;
  meta.swap(m_batch_meta);
  if (!m_failure.empty()) return StoreStatus::failed(m_failure);
  for (auto& [key, value] : meta) m_meta[key] = std::move(value);
  if (batch.empty()) return StoreStatus::success();
  for (const model::Change& change : batch) model::apply(m_state, change);
  if (m_keep_log) m_committed.insert(m_committed.end(), batch.begin(), batch.end());
  ++m_batches;
  return StoreStatus::success();
}

std::optional<std::string> MemoryStore::meta(const std::string& key) {
  for (const auto* values : {&m_batch_meta, &m_meta}) {
    if (auto it = values->find(key); it != values->end()) return it->second;
  }
  return std::nullopt;
}

}  // namespace orvane::apps
