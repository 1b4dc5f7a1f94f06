#include "memory_store.h"

namespace orvane::apps {

StoreStatus MemoryStore::commit() {
  // The batch's storage is kept for the next one: a replay commits once a tick.
  struct Cleared {
    MemoryStore& store;
    ~Cleared() {
      store.m_batch.clear();
      store.m_batch_meta.clear();
    }
  } cleared{*this};
  if (!m_failure.empty()) return StoreStatus::failed(m_failure);
  for (auto& [key, value] : m_batch_meta) m_meta[key] = std::move(value);
  if (m_batch.empty()) return StoreStatus::success();
  for (const model::Change& change : m_batch) model::apply(m_state, change);
  if (m_keep_log) m_committed.insert(m_committed.end(), m_batch.begin(), m_batch.end());
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
