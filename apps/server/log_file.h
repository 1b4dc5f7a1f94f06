#ifndef ORVANE_APPS_SERVER_LOG_FILE_H_
#define ORVANE_APPS_SERVER_LOG_FILE_H_

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace orvane::apps {

// The server's log: one line per event, "2026-12-07T22:58:59.123Z INFO
// text", the time in UTC to the millisecond. It goes to standard error or
// to a file opened for appending, which reopen() opens again by name (after
// logrotate has moved it away). A line that cannot be written (the reader of
// a piped log gone, a full disk) is counted and dropped: writing never
// throws and never stops the server. The host ignores SIGPIPE, so that a
// write to a pipe without a reader fails instead of killing the process.
class LogFile {
 public:
  enum class Level { kInfo, kWarn, kError };

  // Writes to `descriptor` (standard error unless told otherwise), which it
  // does not own.
  explicit LogFile(int descriptor = 2);
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Appends to the file at `path` (created when missing) from now on, or to
  // standard error when `path` is empty. On failure it keeps writing where
  // it did and returns why; empty on success.
  std::string open(const std::string& path);
  // Opens the same path again; standard error needs nothing.
  std::string reopen() { return open(m_path); }

  void write(Level level, std::string_view text);
  void info(std::string_view text) { write(Level::kInfo, text); }
  void warn(std::string_view text) { write(Level::kWarn, text); }
  void error(std::string_view text) { write(Level::kError, text); }

  // The file written to; empty for standard error (or a given descriptor).
  const std::string& path() const { return m_path; }
  // Lines dropped because they could not be written.
  size_t lost_lines() const { return m_lost; }

  // One line as written, with its newline.
  static std::string line(std::chrono::system_clock::time_point at, Level level,
                          std::string_view text);

 private:
  int m_descriptor;
  bool m_owned = false;
  std::string m_path;
  size_t m_lost = 0;
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_SERVER_LOG_FILE_H_
