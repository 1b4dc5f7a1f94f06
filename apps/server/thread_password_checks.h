#ifndef ORVANE_APPS_SERVER_THREAD_PASSWORD_CHECKS_H_
#define ORVANE_APPS_SERVER_THREAD_PASSWORD_CHECKS_H_

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "password_checks.h"

namespace asio {
class io_context;
}  // namespace asio

namespace orvane::apps {

// Checks passwords in turn on a thread of its own and posts each answer to
// the io_context, where `done` runs. Checks not yet answered when it goes
// are dropped; so are answers the io_context never runs.
class ThreadPasswordChecks : public PasswordChecks {
 public:
  explicit ThreadPasswordChecks(asio::io_context& io);
  ~ThreadPasswordChecks() override;
  ThreadPasswordChecks(const ThreadPasswordChecks&) = delete;
  ThreadPasswordChecks& operator=(const ThreadPasswordChecks&) = delete;

  void check(std::string hash, std::string password, std::function<void(bool)> done) override;

 private:
  struct Job {
    std::string hash;
    std::string password;
    std::function<void(bool)> done;
  };
  void work();

  asio::io_context& m_io;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::deque<Job> m_jobs;
  bool m_stopping = false;
  std::thread m_thread;  // last: it starts once the rest is made
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_SERVER_THREAD_PASSWORD_CHECKS_H_
