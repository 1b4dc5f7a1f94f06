#ifndef ORVANE_UTIL_FILE_PROCESS_H_
#define ORVANE_UTIL_FILE_PROCESS_H_

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "orvane/core/object.h"

namespace orvane {

// How OpenFile opens a file.
enum OpenTypeEnum : int32_t {
  INPUT_TYPE = 1,   // read
  OUTPUT_TYPE = 2,  // create or truncate, then write
  APPEND_TYPE = 3,  // write at the end, creating the file when missing
};

// The outcome of reading the next field or line.
enum ReadFileResultEnum : int32_t {
  ReadSuccess = 1,
  ReadFail = 2,
  ReadEOF = 3,
};

// Line-oriented text files for the hosts. Lines are written ended by CR LF;
// when reading, CR LF, a lone CR and a lone LF all end a line. At most one
// current file is open at a time (OpenFile closes the previous one);
// NumberOfLinesInFile, IfFileExists and DeleteLine use handles of their own.
class CFileProcess : public Object, public ISafeObject, private NonCopyable {
 public:
  CFileProcess() = default;
  ~CFileProcess() override;

  // Closes the current file, stores `FileName` and opens it as the current
  // file. Returns "" on success, else a description of the failure (never
  // throws). Another OpenType value opens nothing and returns "".
  std::string OpenFile(std::string_view FileName, OpenTypeEnum OpenType);
  // Creates the file or cuts it to length 0, through OpenFile and CloseFile
  // (so the current file is closed). Failures are ignored.
  void ClearFile(std::string_view FileName);
  // Closes the current file, if one is open.
  void CloseFile();
  // OpenFile(FileName, OpenType); when that succeeded, writes `entry` as one
  // line and closes the file. Returns what OpenFile returned. A mode that
  // opens nothing for writing (INPUT_TYPE, or a value outside the
  // enumeration) throws Error(FileError) as AddEntry does, with no file left
  // open, rather than reporting a line that was never written.
  std::string PutEntry(std::string_view entry, std::string_view FileName,
                       OpenTypeEnum OpenType);
  // Writes `entry` as one line to the current file, which stays open.
  // Throws Error(FileError) when no file is open for writing.
  void AddEntry(std::string_view entry);
  // Reads the next comma-separated field of the current file: leading
  // blanks are skipped, a field in double quotes may hold commas, and a
  // comma or a line end ends it. ReadEOF at the end of the file (entry
  // unchanged), ReadFail when no file is open for reading.
  ReadFileResultEnum CurrentEntry(std::string& entry);
  // As CurrentEntry, for the whole next line.
  ReadFileResultEnum CurrentLine(std::string& entry);
  // Opens the file for reading, reads `LineNumber` fields, closes it and
  // returns the last field read ("" for a LineNumber below 1). Throws
  // Error(FileError) when the file cannot be opened or holds fewer fields.
  std::string GetEntry(std::string_view FileName, int32_t LineNumber);
  // Opens the file for reading, reads `LineNumber` lines, closes it and
  // gives line `LineNumber` (from 1) in LineVal. ReadFail, LineVal
  // unchanged, when the file cannot be opened, holds fewer lines, or
  // LineNumber is below 1.
  ReadFileResultEnum GetLine(std::string_view FileName, int32_t LineNumber,
                             std::string& LineVal);

  const std::string& FileName() const { return m_file_name; }
  void FileName(std::string_view value) { m_file_name = value; }

  // The number of lines of the file (0 when empty; a last line without a
  // line end counts). Throws Error(FileError) when it cannot be opened.
  int32_t NumberOfLinesInFile(std::string_view File_name);
  // Rewrites the file without line `LineNumber` (from 1), every kept line
  // ended by CR LF. A missing file is left alone; a LineNumber outside the
  // file's lines only adds a missing final line end. Write errors are
  // ignored.
  void DeleteLine(std::string_view fname, int32_t LineNumber);
  // Whether the file can be opened for reading; false for a directory.
  bool IfFileExists(std::string_view FileName);
  // Deletes the file, read-only or not. Errors, a missing file and a
  // directory are ignored.
  void RemoveFile(std::string_view FileName);

  // Holds no references; the current file stays open until CloseFile or
  // destruction.
  void Deallocate() override {}

 private:
  bool m_reading = false;
  bool m_writing = false;
  std::fstream m_file;
  std::string m_file_name;
};

}  // namespace orvane

#endif  // ORVANE_UTIL_FILE_PROCESS_H_
