#ifndef ORVANE_APPS_SERVER_CRASH_BEFORE_COMMIT_H_
#define ORVANE_APPS_SERVER_CRASH_BEFORE_COMMIT_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "store.h"

namespace orvane::apps {

// A store for crash tests: it forwards every call to the store it wraps and
// ends the process at its N-th commit, once that batch's changes have been
// appended and before the wrapped store commits them. That is the moment a
// crash loses most: the batch is decided, nobody has been told, and nothing
// of it may survive. orvane-server installs it only when the environment
// variable ORVANE_CRASH_BEFORE_COMMIT holds N.
class CrashBeforeCommit : public Store {
 public:
  // What ends the process. The default ends it at once, as a power cut or
  // SIGKILL would: no flush, no destructor, no exit handler. A kill that
  // returns (a test's) lets the commit go on to the wrapped store.
  using Kill = std::function<void()>;
  static void kill_now();

  static constexpr const char* kVariable = "ORVANE_CRASH_BEFORE_COMMIT";

  // N from the variable's text: none when unset; a text that is not a
  // count from 1 throws std::invalid_argument naming the variable.
  static std::optional<uint64_t> commit_from_environment(const char* text);

  CrashBeforeCommit(Store& inner, uint64_t crash_at_commit, Kill kill = kill_now);

  model::Snapshot load() override { return m_inner.load(); }
  model::Snapshot load_state() override { return m_inner.load_state(); }
  bool keeps_history() const override { return m_inner.keeps_history(); }
  std::vector<model::HistoryEntry> history(int32_t client) override {
    return m_inner.history(client);
  }
  void append(const model::Change& change) override { m_inner.append(change); }
  StoreStatus commit() override;
  void set_meta(const std::string& key, const std::string& value) override {
    m_inner.set_meta(key, value);
  }
  std::optional<std::string> meta(const std::string& key) override { return m_inner.meta(key); }

  // Commits asked for so far, the fatal one included.
  uint64_t commits() const { return m_commits; }

 private:
  Store& m_inner;
  const uint64_t m_crash_at;
  Kill m_kill;
  uint64_t m_commits = 0;
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_SERVER_CRASH_BEFORE_COMMIT_H_
