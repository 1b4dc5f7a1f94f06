#include "orvane/util/file_process.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "orvane/core/error.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kLineEnd = "\r\n";

fs::path path_of(std::string_view name) { return fs::path(std::string(name)); }

bool is_directory(std::string_view name) {
  std::error_code ec;
  return fs::is_directory(path_of(name), ec);
}

std::string open_failure(std::string_view name, int error) {
  const std::string reason =
      error != 0 ? std::strerror(error) : std::string("Cannot open file");
  return reason + ": " + std::string(name);
}

// Reads one line from `in`; false at the end of the input. CR LF, CR and
// LF end a line.
bool read_line(std::istream& in, std::string& line) {
  if (in.peek() == std::char_traits<char>::eof()) return false;
  line.clear();
  for (int c = in.get(); c != std::char_traits<char>::eof(); c = in.get()) {
    if (c == '\n') break;
    if (c == '\r') {
      if (in.peek() == '\n') in.get();
      break;
    }
    line.push_back(static_cast<char>(c));
  }
  return true;
}

bool is_blank(int c) { return c == ' ' || c == '\t'; }

// Consumes the end of a field: a comma, or a line end.
void skip_field_end(std::istream& in) {
  const int c = in.peek();
  if (c == ',' || c == '\n') {
    in.get();
  } else if (c == '\r') {
    in.get();
    if (in.peek() == '\n') in.get();
  }
}

// Reads one comma-separated field; false at the end of the input.
bool read_field(std::istream& in, std::string& field) {
  constexpr int kEof = std::char_traits<char>::eof();
  while (is_blank(in.peek())) in.get();
  if (in.peek() == kEof) return false;
  field.clear();
  if (in.peek() == '"') {
    in.get();
    for (int c = in.get(); c != kEof && c != '"'; c = in.get()) {
      field.push_back(static_cast<char>(c));
    }
    // Whatever follows the closing quote up to the field's end is dropped.
    for (int c = in.peek(); c != kEof && c != ',' && c != '\r' && c != '\n';
         c = in.peek()) {
      in.get();
    }
  } else {
    for (int c = in.peek(); c != kEof && c != ',' && c != '\r' && c != '\n';
         c = in.peek()) {
      field.push_back(static_cast<char>(in.get()));
    }
    while (!field.empty() && is_blank(field.back())) field.pop_back();
  }
  skip_field_end(in);
  return true;
}

}  // namespace

CFileProcess::~CFileProcess() { CloseFile(); }

std::string CFileProcess::OpenFile(std::string_view FileName,
                                   OpenTypeEnum OpenType) {
  CloseFile();
  m_file_name = FileName;
  std::ios::openmode mode = std::ios::binary;
  switch (OpenType) {
    case INPUT_TYPE:
      mode |= std::ios::in;
      break;
    case OUTPUT_TYPE:
      mode |= std::ios::out | std::ios::trunc;
      break;
    case APPEND_TYPE:
      mode |= std::ios::out | std::ios::app;
      break;
    default:
      return std::string();
  }
  if (is_directory(FileName)) return open_failure(FileName, EISDIR);
  errno = 0;
  m_file.open(m_file_name, mode);
  if (!m_file.is_open()) {
    const int error = errno;
    m_file.clear();
    return open_failure(FileName, error);
  }
  m_reading = OpenType == INPUT_TYPE;
  m_writing = !m_reading;
  return std::string();
}

void CFileProcess::ClearFile(std::string_view FileName) {
  OpenFile(FileName, OUTPUT_TYPE);
  CloseFile();
}

void CFileProcess::CloseFile() {
  if (m_file.is_open()) m_file.close();
  m_file.clear();
  m_reading = false;
  m_writing = false;
}

std::string CFileProcess::PutEntry(std::string_view entry,
                                   std::string_view FileName,
                                   OpenTypeEnum OpenType) {
  std::string result = OpenFile(FileName, OpenType);
  if (!result.empty()) return result;
  try {
    AddEntry(entry);
  } catch (const Error&) {
    CloseFile();
    throw;
  }
  CloseFile();
  return result;
}

void CFileProcess::AddEntry(std::string_view entry) {
  if (!m_writing) {
    throw Error(ErrorCode::FileError,
                "Bad file mode: no file is open for writing (" + m_file_name + ")");
  }
  m_file.write(entry.data(), static_cast<std::streamsize>(entry.size()));
  m_file.write(kLineEnd.data(), static_cast<std::streamsize>(kLineEnd.size()));
  m_file.flush();
}

ReadFileResultEnum CFileProcess::CurrentEntry(std::string& entry) {
  if (!m_reading || m_file.bad()) return ReadFail;
  m_file.clear();
  std::string field;
  if (!read_field(m_file, field)) return ReadEOF;
  if (m_file.bad()) return ReadFail;
  entry = std::move(field);
  return ReadSuccess;
}

ReadFileResultEnum CFileProcess::CurrentLine(std::string& entry) {
  if (!m_reading || m_file.bad()) return ReadFail;
  m_file.clear();
  std::string line;
  if (!read_line(m_file, line)) return ReadEOF;
  if (m_file.bad()) return ReadFail;
  entry = std::move(line);
  return ReadSuccess;
}

std::string CFileProcess::GetEntry(std::string_view FileName,
                                   int32_t LineNumber) {
  const std::string failure = OpenFile(FileName, INPUT_TYPE);
  if (!failure.empty()) throw Error(ErrorCode::FileError, failure);
  std::string field;
  for (int32_t i = 1; i <= LineNumber; ++i) {
    if (CurrentEntry(field) != ReadSuccess) {
      CloseFile();
      throw Error(ErrorCode::FileError,
                  "Input past end of file: field " + std::to_string(LineNumber) +
                      " of " + std::string(FileName) + " (" +
                      std::to_string(i - 1) + " fields)");
    }
  }
  CloseFile();
  return field;
}

ReadFileResultEnum CFileProcess::GetLine(std::string_view FileName,
                                         int32_t LineNumber,
                                         std::string& LineVal) {
  if (LineNumber < 1) return ReadFail;
  if (!OpenFile(FileName, INPUT_TYPE).empty()) return ReadFail;
  std::string line;
  for (int32_t i = 1; i <= LineNumber; ++i) {
    if (CurrentLine(line) != ReadSuccess) {
      CloseFile();
      return ReadFail;
    }
  }
  CloseFile();
  LineVal = std::move(line);
  return ReadSuccess;
}

int32_t CFileProcess::NumberOfLinesInFile(std::string_view File_name) {
  std::ifstream in;
  if (!is_directory(File_name)) in.open(path_of(File_name), std::ios::binary);
  if (!in.is_open()) {
    throw Error(ErrorCode::FileError, open_failure(File_name, ENOENT));
  }
  int32_t count = 0;
  std::string line;
  while (read_line(in, line)) ++count;
  return count;
}

void CFileProcess::DeleteLine(std::string_view fname, int32_t LineNumber) {
  if (!IfFileExists(fname)) return;
  std::string text;
  {
    std::ifstream in(path_of(fname), std::ios::binary);
    std::string line;
    for (int32_t number = 1; read_line(in, line); ++number) {
      if (number == LineNumber) continue;
      text += line;
      text += kLineEnd;
    }
  }
  std::ofstream out(path_of(fname), std::ios::binary | std::ios::trunc);
  if (out) out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

bool CFileProcess::IfFileExists(std::string_view FileName) {
  if (FileName.empty() || is_directory(FileName)) return false;
  std::ifstream in(path_of(FileName), std::ios::binary);
  return in.is_open();
}

void CFileProcess::RemoveFile(std::string_view FileName) {
  if (FileName.empty() || is_directory(FileName)) return;
  std::error_code ec;
  fs::remove(path_of(FileName), ec);
}

}  // namespace orvane
