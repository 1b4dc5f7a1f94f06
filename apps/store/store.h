#ifndef ORVANE_APPS_STORE_STORE_H_
#define ORVANE_APPS_STORE_STORE_H_

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "change.h"
#include "records.h"

namespace orvane::apps {

// The outcome of a store operation: ok, or what went wrong in words.
class StoreStatus {
 public:
  static StoreStatus success() { return StoreStatus(); }
  static StoreStatus failed(std::string message) { return StoreStatus(std::move(message)); }

  bool ok() const { return m_message.empty(); }
  const std::string& message() const { return m_message; }

 private:
  StoreStatus() = default;
  explicit StoreStatus(std::string message)
      : m_message(message.empty() ? "unknown store failure" : std::move(message)) {}

  std::string m_message;
};

// Where a desk keeps its state of record, in the manner of a write-ahead
// log: the desk loads a snapshot once, then appends the changes of one
// batch and commits them together. A committed batch is part of every later
// load; a batch that failed to commit is not, and a desk that saw a commit
// fail takes no more commands.
class Store {
 public:
  virtual ~Store() = default;

  // The state to start from: the records, the sequences and market time.
  virtual model::Snapshot load() = 0;
  // What a desk trades from: load, less the records that only grow (history,
  // audit and money entries) when the store keeps them (keeps_history).
  virtual model::Snapshot load_state() { return load(); }
  // Whether the store answers history itself, so that a desk need not hold
  // the records that only grow in memory.
  virtual bool keeps_history() const { return false; }
  // The client's history, oldest first, the open batch's included; only a
  // store that keeps_history answers it (others: none). Throws StoreError
  // when the store cannot be read.
  virtual std::vector<model::HistoryEntry> history(int32_t client) {
    (void)client;
    return {};
  }
  // Adds a change to the open batch.
  virtual void append(const model::Change& change) = 0;
  // Makes the open batch durable and opens a new one. On failure the batch
  // is dropped and the status says why.
  virtual StoreStatus commit() = 0;

  // A small fact of the host's own (the feed's position, say) under `key`,
  // set within the open batch and kept or dropped with it.
  virtual void set_meta(const std::string& key, const std::string& value) = 0;
  // The value last set under `key` (the open batch's included); none for a
  // key never set.
  virtual std::optional<std::string> meta(const std::string& key) = 0;
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_STORE_STORE_H_
