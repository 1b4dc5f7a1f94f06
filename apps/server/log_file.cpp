#include "log_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace orvane::apps {

namespace {

const char* level_name(LogFile::Level level) {
  switch (level) {
    case LogFile::Level::kInfo:
      return "INFO";
    case LogFile::Level::kWarn:
      return "WARN";
    case LogFile::Level::kError:
      return "ERROR";
  }
  return "INFO";
}

}  // namespace

LogFile::LogFile(int descriptor) : m_descriptor(descriptor) {}

LogFile::~LogFile() {
  if (m_owned) ::close(m_descriptor);
}

std::string LogFile::open(const std::string& path) {
  int descriptor = STDERR_FILENO;
  if (!path.empty()) {
    descriptor = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (descriptor < 0) return "cannot open the log file " + path + ": " + std::strerror(errno);
  }
  if (m_owned) ::close(m_descriptor);
  m_descriptor = descriptor;
  m_owned = !path.empty();
  m_path = path;
  return {};
}

void LogFile::write(Level level, std::string_view text) {
  const std::string line = LogFile::line(std::chrono::system_clock::now(), level, text);
  size_t written = 0;
  while (written < line.size()) {
    const ssize_t n = ::write(m_descriptor, line.data() + written, line.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ++m_lost;
      return;
    }
    written += static_cast<size_t>(n);
  }
}

std::string LogFile::line(std::chrono::system_clock::time_point at, Level level,
                          std::string_view text) {
  using namespace std::chrono;
  const auto since_epoch = at.time_since_epoch();
  const auto seconds = floor<std::chrono::seconds>(since_epoch);
  const auto millis = duration_cast<milliseconds>(since_epoch - seconds).count();
  const std::time_t whole = static_cast<std::time_t>(seconds.count());
  std::tm utc{};
  gmtime_r(&whole, &utc);
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ ", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(millis));
  std::string line = stamp;
  line += level_name(level);
  line += ' ';
  line += text;
  line += '\n';
  return line;
}

}  // namespace orvane::apps
