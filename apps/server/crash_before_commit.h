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
  static void KillNow();

  static constexpr const char* kVariable = "ORVANE_CRASH_BEFORE_COMMIT";

  // N from the variable's text: none when unset; a text that is not a
  // count from 1 throws std::invalid_argument naming the variable.
  static std::optional<uint64_t> CommitFromEnvironment(const char* text);

  CrashBeforeCommit(Store& inner, uint64_t crash_at_commit, Kill kill = KillNow);

  model::Snapshot Load() override { return m_inner.Load(); }
  model::Snapshot LoadState() override { return m_inner.LoadState(); }
  bool KeepsHistory() const override { return m_inner.KeepsHistory(); }
  std::vector<model::HistoryEntry> History(int32_t client) override {
    return m_inner.History(client);
  }
  void Append(const model::Change& change) override { m_inner.Append(change); }
  StoreStatus Commit() override;
  void SetMeta(const std::string& key, const std::string& value) override {
    m_inner.SetMeta(key, value);
  }
  std::optional<std::string> Meta(const std::string& key) override { return m_inner.Meta(key); }

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
