#ifndef ORVANE_APPS_SERVER_LOG_ON_THROTTLE_H_
#define ORVANE_APPS_SERVER_LOG_ON_THROTTLE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace orvane::apps {

struct ThrottleOptions {
  // After the n-th failed log-on of a user or from an address in a row, the
  // next answer to a log-on of that user or from that address waits
  // first_delay_ms * 2^(n-1), at most max_delay_ms (0: no throttling).
  int64_t first_delay_ms = 250;
  int64_t max_delay_ms = 30000;
  // A user with this many failed log-ons in a row is locked out: every
  // log-on of it is refused until the lock-outs are lifted (0: never).
  size_t lockout_failures = 20;
  // Failures older than this are forgotten (the burst is over).
  int64_t forget_after_ms = 15 * 60 * 1000;
  // Users and addresses tracked at once; a new one beyond it is not tracked
  // until older ones are forgotten.
  size_t max_tracked = 100000;
};

// Slows down password guessing. Failed log-ons are counted per user name
// (known users only, so junk names take no memory) and per address; the
// answer to any later log-on of that user or from that address, right
// password or not, is due no sooner than the delay its failures earn. One
// log-on of a known user is answered at a time (its password may be checked
// on another thread), and one from a throttled address: another is refused
// at once, its password unread, so that parallel connections guess no
// faster than one. Time is elapsed milliseconds given by the caller; the
// throttle holds no timers.
class LogOnThrottle {
 public:
  explicit LogOnThrottle(ThrottleOptions options = {}) : m_options(options) {}

  // New delays and limits from now on; failures counted so far stay.
  void options(const ThrottleOptions& options) { m_options = options; }
  const ThrottleOptions& options() const { return m_options; }

  // Milliseconds from `now` until a log-on that arrived now may be answered
  // (0: at once), reserving that slot for it; -1 when another log-on of the
  // user (`known`: the name exists) or from the throttled address is being
  // answered already. A log-on given a slot is Released once answered, or
  // once gone unanswered (its slot is then given back).
  int64_t reserve(const std::string& user, bool known, const std::string& address, int64_t now);
  void release(const std::string& user, const std::string& address, bool answered);

  // A failed log-on answered at `now`; `known` tells whether the user name
  // exists. True when it starts a burst for the user or the address (the
  // one failure of the burst worth a log line). `locked` is set when this
  // failure locks the user out.
  bool failed(const std::string& user, bool known, const std::string& address, int64_t now,
              bool& locked);
  // A successful log-on: the user's and the address's failures are
  // forgotten. Returns the burst summaries that ended (for the log).
  std::vector<std::string> succeeded(const std::string& user, const std::string& address);
  bool locked_out(const std::string& user) const;
  // Lifts every lock-out and forgets every failure; how many users were
  // locked out.
  size_t lift_lock_outs();
  // Drops what is older than the forgetting span; returns the summaries of
  // the bursts that ended.
  std::vector<std::string> forget(int64_t now);

  // Users and addresses whose log-ons are delayed now.
  size_t throttled() const;

 private:
  struct Failures {
    size_t count = 0;      // in a row
    int64_t last = 0;      // when the last one was answered
    int64_t next_free = 0;  // when the next answer may go
    size_t waiting = 0;     // log-ons given a slot, not yet released
    int64_t given_back = 0;  // next_free before the waiting log-on's reservation
    bool locked = false;
  };
  int64_t delay_after(size_t failures) const;
  Failures* find(const std::string& key);
  // Finds or starts the entry of `key`; none when no more can be tracked.
  Failures* track(const std::string& key, int64_t now);
  bool count(const std::string& key, int64_t now, bool& locked, bool lockable);
  void summarise(const std::string& key, const Failures& f, std::vector<std::string>& out) const;

  ThrottleOptions m_options;
  std::unordered_map<std::string, Failures> m_failures;  // "u" + user, "a" + address
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_SERVER_LOG_ON_THROTTLE_H_
