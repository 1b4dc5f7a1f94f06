#ifndef ORVANE_APPS_STORE_MEMORY_STORE_H_
#define ORVANE_APPS_STORE_MEMORY_STORE_H_

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "store.h"

namespace orvane::apps {

// A store in memory: the snapshot it was made with, with every committed
// batch applied. Tests make its commits fail on demand and may keep the log
// of committed changes.
class MemoryStore : public Store {
 public:
  explicit MemoryStore(model::Snapshot snapshot = {}, bool keep_log = false)
      : m_state(std::move(snapshot)), m_keep_log(keep_log) {}

  model::Snapshot load() override { return m_state; }
  void append(const model::Change& change) override { m_batch.push_back(change); }
  StoreStatus commit() override;
  void set_meta(const std::string& key, const std::string& value) override {
    m_batch_meta[key] = value;
  }
  std::optional<std::string> meta(const std::string& key) override;

  // While set, every Commit fails with `message` and drops its batch.
  void fail_commits(std::string message) { m_failure = std::move(message); }
  void heal_commits() { m_failure.clear(); }

  // Every committed change, in order, when the log is kept.
  const std::vector<model::Change>& committed() const { return m_committed; }
  size_t batches() const { return m_batches; }

 private:
  model::Snapshot m_state;
  std::vector<model::Change> m_batch;
  std::map<std::string, std::string> m_meta;
  std::map<std::string, std::string> m_batch_meta;
  std::vector<model::Change> m_committed;
  std::string m_failure;
  size_t m_batches = 0;
  bool m_keep_log;
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_STORE_MEMORY_STORE_H_
