#include "thread_password_checks.h"

#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <utility>

#include "password_hash.h"

namespace orvane::apps {

ThreadPasswordChecks::ThreadPasswordChecks(asio::io_context& io)
    : m_io(io), m_thread([this] { work(); }) {}

ThreadPasswordChecks::~ThreadPasswordChecks() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
  }
  m_wake.notify_one();
  m_thread.join();
}

void ThreadPasswordChecks::check(std::string hash, std::string password,
                                 std::function<void(bool)> done) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_jobs.push_back(Job{std::move(hash), std::move(password), std::move(done)});
  }
  m_wake.notify_one();
}

void ThreadPasswordChecks::work() {
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
      if (m_stopping) return;
      job = std::move(m_jobs.front());
      m_jobs.pop_front();
    }
    const bool ok = verify_password(job.hash, job.password);
    asio::post(m_io, [done = std::move(job.done), ok] { done(ok); });
  }
}

}  // namespace orvane::apps
