#ifndef ORVANE_UTIL_LOG_FILE_H_
#define ORVANE_UTIL_LOG_FILE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "orvane/core/object.h"

namespace orvane {

class CGenerals;

// A leveled, time-stamped log. Each accepted entry becomes one line
// "dd-mm-yy hh:mm:ss : entry" ended by CR LF, appended to FileName with the
// file opened and closed around the entry, so the log is complete on disk
// after every call and the file is never held open.
class CLogFile : public Object, public ISafeObject, private NonCopyable {
 public:
  CLogFile();
  ~CLogFile() override;

  // Full path of the log file; empty by default.
  const std::string& FileName() const { return m_file_name; }
  void FileName(std::string_view value) { m_file_name = value; }
  // Entries are written only while enabled (default true).
  bool LogEnabled() const { return m_enabled; }
  void LogEnabled(bool value) { m_enabled = value; }
  // The most detailed level written (default 1).
  int16_t LogLevel() const { return m_level; }
  void LogLevel(int16_t value) { m_level = value; }

  // Writes `entry` when the log is enabled and EntryLevel <= LogLevel, and
  // then returns true, even when the file could not be opened or written;
  // otherwise writes nothing and returns false. The time stamp is the local
  // time of the process clock.
  bool AddEntry(std::string_view entry, int16_t EntryLevel);

  // Releases the time-stamp formatter; a later entry makes a new one.
  void Deallocate() override;

 private:
  std::string m_file_name;
  bool m_enabled = true;
  int16_t m_level = 1;
  std::unique_ptr<CGenerals> m_generals;
};

}  // namespace orvane

#endif  // ORVANE_UTIL_LOG_FILE_H_
