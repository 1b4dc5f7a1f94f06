#ifndef ORVANE_APPS_SERVER_PASSWORD_CHECKS_H_
#define ORVANE_APPS_SERVER_PASSWORD_CHECKS_H_

#include <functional>
#include <string>

namespace orvane::apps {

// Where the server checks a password against its slow hash: a check may run
// on another thread, so that a costly hash never holds the io thread, but
// its answer always comes back on the io thread, later or at once.
class PasswordChecks {
 public:
  virtual ~PasswordChecks() = default;
  // Calls `done` with whether `password` matches `hash` (see verify_password).
  virtual void check(std::string hash, std::string password, std::function<void(bool)> done) = 0;
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_SERVER_PASSWORD_CHECKS_H_
