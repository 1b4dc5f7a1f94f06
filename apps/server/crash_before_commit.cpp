#include "crash_before_commit.h"

#include <unistd.h>

#include <csignal>
#include <limits>
#include <utility>

#include "strict_number.h"

namespace orvane::apps {

void CrashBeforeCommit::kill_now() {
  ::kill(::getpid(), SIGKILL);
  ::_exit(137);  // only if SIGKILL could not be sent
}

std::optional<uint64_t> CrashBeforeCommit::commit_from_environment(const char* text) {
  if (text == nullptr) return std::nullopt;
  return static_cast<uint64_t>(
      StrictNumber::integer(kVariable, text, 1, std::numeric_limits<int64_t>::max()));
}

CrashBeforeCommit::CrashBeforeCommit(Store& inner, uint64_t crash_at_commit, Kill kill)
    : m_inner(inner), m_crash_at(crash_at_commit), m_kill(std::move(kill)) {}

StoreStatus CrashBeforeCommit::commit() {
  if (++m_commits == m_crash_at) m_kill();
  return m_inner.commit();
}

}  // namespace orvane::apps
