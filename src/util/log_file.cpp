#include "orvane/util/log_file.h"

#include <fstream>

#include "orvane/core/clock.h"
#include "orvane/util/generals.h"

namespace orvane {

CLogFile::CLogFile() : m_generals(std::make_unique<CGenerals>()) {}

CLogFile::~CLogFile() = default;

void CLogFile::Deallocate() { m_generals.reset(); }

bool CLogFile::AddEntry(std::string_view entry, int16_t EntryLevel) {
  if (!m_enabled || EntryLevel > m_level) return false;
  if (!m_generals) m_generals = std::make_unique<CGenerals>();
  std::string line = m_generals->MonthDayYearTime(Now());
  line += " : ";
  line += entry;
  line += "\r\n";
  std::ofstream file(m_file_name, std::ios::binary | std::ios::app);
  if (file) file.write(line.data(), static_cast<std::streamsize>(line.size()));
  return true;
}

}  // namespace orvane
