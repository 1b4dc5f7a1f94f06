#include "log_on_throttle.h"

#include <algorithm>

#include "log_text.h"

namespace orvane::apps {

namespace {

std::string user_key(const std::string& user) { return "u" + user; }
std::string address_key(const std::string& address) { return "a" + address; }

std::string describe(const std::string& key) {
  const std::string_view name = std::string_view(key).substr(1);
  return key[0] == 'u' ? "user '" + log_text(name) + "'" : "address " + log_text(name);
}

}  // namespace

int64_t LogOnThrottle::delay_after(size_t failures) const {
  if (failures == 0 || m_options.first_delay_ms <= 0) return 0;
  int64_t delay = m_options.first_delay_ms;
  for (size_t i = 1; i < failures && delay < m_options.max_delay_ms; ++i) delay *= 2;
  return std::min(delay, m_options.max_delay_ms);
}

LogOnThrottle::Failures* LogOnThrottle::find(const std::string& key) {
  auto it = m_failures.find(key);
  return it == m_failures.end() ? nullptr : &it->second;
}

int64_t LogOnThrottle::reserve(const std::string& user, bool known, const std::string& address,
                               int64_t now) {
  Failures* keys[] = {known ? track(user_key(user), now) : nullptr, find(address_key(address))};
  int64_t due = now;
  for (const Failures* f : keys) {
    if (f == nullptr) continue;
    if (f->waiting > 0) return -1;
    due = std::max(due, f->next_free);
  }
  for (Failures* f : keys) {
    if (f == nullptr) continue;
    ++f->waiting;
    f->given_back = f->next_free;
    f->next_free = due + delay_after(f->count);
  }
  return due - now;
}

void LogOnThrottle::release(const std::string& user, const std::string& address,
                            bool answered) {
  for (Failures* f : {find(user_key(user)), find(address_key(address))}) {
    if (f == nullptr || f->waiting == 0) continue;
    --f->waiting;
    if (!answered) f->next_free = f->given_back;
  }
}

LogOnThrottle::Failures* LogOnThrottle::track(const std::string& key, int64_t now) {
  if (Failures* f = find(key)) return f;
  if (m_failures.size() >= m_options.max_tracked) forget(now);
  if (m_failures.size() >= m_options.max_tracked) return nullptr;
  Failures& f = m_failures[key];
  f.last = now;
  return &f;
}

bool LogOnThrottle::count(const std::string& key, int64_t now, bool& locked, bool lockable) {
  Failures* f = track(key, now);
  if (f == nullptr) return false;
  ++f->count;
  f->last = now;
  f->next_free = std::max(f->next_free, now + delay_after(f->count));
  if (lockable && !f->locked && m_options.lockout_failures > 0 &&
      f->count >= m_options.lockout_failures) {
    f->locked = true;
    locked = true;
  }
  return f->count == 1;
}

bool LogOnThrottle::failed(const std::string& user, bool known, const std::string& address,
                           int64_t now, bool& locked) {
  locked = false;
  bool starts = false;
  if (known) starts = count(user_key(user), now, locked, true);
  bool ignored = false;
  return count(address_key(address), now, ignored, false) || starts;
}

void LogOnThrottle::summarise(const std::string& key, const Failures& f,
                              std::vector<std::string>& out) const {
  if (f.count > 1) {
    out.push_back("log-on failures of " + describe(key) + " ended: " + std::to_string(f.count) +
                  " in a row");
  }
}

std::vector<std::string> LogOnThrottle::succeeded(const std::string& user,
                                                  const std::string& address) {
  std::vector<std::string> ended;
  for (const std::string& key : {user_key(user), address_key(address)}) {
    auto it = m_failures.find(key);
    if (it == m_failures.end() || it->second.locked) continue;
    summarise(key, it->second, ended);
    m_failures.erase(it);
  }
  return ended;
}

bool LogOnThrottle::locked_out(const std::string& user) const {
  auto it = m_failures.find(user_key(user));
  return it != m_failures.end() && it->second.locked;
}

size_t LogOnThrottle::lift_lock_outs() {
  const auto locked = std::count_if(m_failures.begin(), m_failures.end(),
                                    [](const auto& entry) { return entry.second.locked; });
  m_failures.clear();
  return static_cast<size_t>(locked);
}

std::vector<std::string> LogOnThrottle::forget(int64_t now) {
  std::vector<std::string> ended;
  for (auto it = m_failures.begin(); it != m_failures.end();) {
    const Failures& f = it->second;
    if (!f.locked && f.waiting == 0 && now - f.last >= m_options.forget_after_ms &&
        now >= f.next_free) {
      summarise(it->first, f, ended);
      it = m_failures.erase(it);
    } else {
      ++it;
    }
  }
  return ended;
}

size_t LogOnThrottle::throttled() const {
  if (m_options.first_delay_ms <= 0) return 0;
  return static_cast<size_t>(std::count_if(m_failures.begin(), m_failures.end(),
                                           [](const auto& entry) { return entry.second.count > 0; }));
}

}  // namespace orvane::apps
