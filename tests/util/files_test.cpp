#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "support/errors.h"
#include "orvane/core/clock.h"
#include "orvane/core/error.h"
#include "orvane/util/file_process.h"
#include "orvane/util/log_file.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

// A fresh directory per test, removed afterwards.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_dir = fs::temp_directory_path() /
            ("orvane_util_" + std::to_string(::getpid()) + "_" + info->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  std::string PathOf(const std::string& name) const { return (m_dir / name).string(); }

  static std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  // Whether an action raises a file error whose text names `named`.
  static bool RaisesFileError(const std::function<void()>& action, const std::string& named = "") {
    const auto [code, what] = test::ErrorOf(action);
    return code == ErrorCode::FileError && what.find(named) != std::string::npos;
  }

  fs::path m_dir;
  CFileProcess files;
};

using LogFileTest = TempDirTest;

TEST_F(LogFileTest, WritesStampedLinesUpToTheLevel) {
  auto clock = std::make_shared<FixedClock>(DateTime::FromParts(2024, 3, 5, 14, 7, 9));
  ScopedClock scoped(clock);
  CLogFile log;  // enabled, level 1
  log.FileName(PathOf("server.log"));
  EXPECT_FALSE(log.AddEntry("too detailed", 2));
  EXPECT_FALSE(fs::exists(PathOf("server.log")));
  EXPECT_TRUE(log.AddEntry("first", 1));
  clock->AdvanceSeconds(3600 * 10 + 1);
  EXPECT_TRUE(log.AddEntry("second", 0));
  log.LogEnabled(false);
  EXPECT_FALSE(log.AddEntry("off", 0));
  log.LogEnabled(true);
  log.LogLevel(3);
  EXPECT_TRUE(log.AddEntry("detail", 3));
  EXPECT_EQ(Contents(PathOf("server.log")),
            "05-03-24 14:07:09 : first\r\n06-03-24 00:07:10 : second\r\n"
            "06-03-24 00:07:10 : detail\r\n");
}

TEST_F(LogFileTest, FailureToWriteStillPassesTheFilter) {
  CLogFile log;
  log.FileName(PathOf("missing_dir/x.log"));
  EXPECT_TRUE(log.AddEntry("lost", 1));
  log.Deallocate();
  log.FileName(PathOf("after.log"));
  EXPECT_TRUE(log.AddEntry("kept", 1));
  EXPECT_NE(Contents(PathOf("after.log")).find(" : kept\r\n"), std::string::npos);
}

using FileProcessTest = TempDirTest;

TEST_F(FileProcessTest, WritesLinesInEveryMode) {
  const std::string path = PathOf("a.txt");
  // Append creates a missing file with one line.
  EXPECT_EQ(files.PutEntry("one", path, APPEND_TYPE), "");
  EXPECT_EQ(files.PutEntry("two", path, APPEND_TYPE), "");
  EXPECT_EQ(Contents(path), "one\r\ntwo\r\n");
  EXPECT_EQ(files.OpenFile(path, OUTPUT_TYPE), "");
  files.AddEntry("fresh");
  files.AddEntry("");
  files.CloseFile();
  EXPECT_EQ(Contents(path), "fresh\r\n\r\n");
  files.ClearFile(path);
  EXPECT_EQ(Contents(path), "");

  // Writing with nothing open, or to a file open for reading, is an error.
  EXPECT_THROW(files.AddEntry("x"), Error);
  EXPECT_EQ(files.OpenFile(path, INPUT_TYPE), "");
  EXPECT_THROW(files.AddEntry("x"), Error);
  // Another mode opens nothing, and closes what was open.
  EXPECT_EQ(files.OpenFile(path, static_cast<OpenTypeEnum>(7)), "");
  std::string line = "same";
  EXPECT_EQ(files.CurrentLine(line), ReadFail);
  // A mode that writes nothing is an error, never a silent success, and
  // leaves no file open.
  for (OpenTypeEnum mode : {INPUT_TYPE, static_cast<OpenTypeEnum>(0)}) {
    EXPECT_TRUE(RaisesFileError([&] { files.PutEntry("x", path, mode); })) << mode;
    EXPECT_EQ(files.CurrentLine(line), ReadFail);
  }
  EXPECT_EQ(Contents(path), "");

  // Open failures are texts.
  EXPECT_NE(files.OpenFile(PathOf("none.txt"), INPUT_TYPE), "");
  EXPECT_NE(files.OpenFile(m_dir.string(), APPEND_TYPE), "");
  EXPECT_NE(files.PutEntry("x", PathOf("no/dir.txt"), APPEND_TYPE), "");
  EXPECT_EQ(files.CurrentLine(line), ReadFail);
  EXPECT_EQ(files.CurrentEntry(line), ReadFail);
}

TEST_F(FileProcessTest, ReadsLinesToTheEnd) {
  const std::string path = PathOf("lines.txt");
  Write(path, "alpha\r\n\r\nbeta, gamma\rdelta\nlast");
  ASSERT_EQ(files.OpenFile(path, INPUT_TYPE), "");
  std::string line;
  for (const char* text : {"alpha", "", "beta, gamma", "delta", "last"}) {
    ASSERT_EQ(files.CurrentLine(line), ReadSuccess);
    EXPECT_EQ(line, text);
  }
  EXPECT_EQ(files.CurrentLine(line), ReadEOF);
  EXPECT_EQ(line, "last");
  files.CloseFile();
  EXPECT_EQ(files.CurrentLine(line), ReadFail);

  EXPECT_EQ(files.NumberOfLinesInFile(path), 5);
  Write(path, "");
  EXPECT_EQ(files.NumberOfLinesInFile(path), 0);
  EXPECT_THROW(files.NumberOfLinesInFile(PathOf("none.txt")), Error);
}

TEST_F(FileProcessTest, ReadsFields) {
  const std::string path = PathOf("fields.csv");
  Write(path, "1, \"a, b\" ,x  \r\n\"q\"tail,\r\nlast");
  ASSERT_EQ(files.OpenFile(path, INPUT_TYPE), "");
  std::string field;
  for (const char* text : {"1", "a, b", "x", "q", "", "last"}) {
    ASSERT_EQ(files.CurrentEntry(field), ReadSuccess);
    EXPECT_EQ(field, text);
  }
  EXPECT_EQ(files.CurrentEntry(field), ReadEOF);
  files.CloseFile();

  EXPECT_EQ(files.GetEntry(path, 6), "last");
  EXPECT_TRUE(RaisesFileError([&] { files.GetEntry(path, 7); }));
  EXPECT_TRUE(RaisesFileError([&] { files.GetEntry(PathOf("none.csv"), 1); }, "none.csv"));
}

TEST_F(FileProcessTest, GetAndDeleteLineByNumber) {
  const std::string path = PathOf("g.txt");
  Write(path, "l1\r\nl2\r\nl3\r\n");
  std::string line = "unchanged";
  EXPECT_EQ(files.GetLine(path, 2, line), ReadSuccess);
  EXPECT_EQ(line, "l2");
  line = "unchanged";
  EXPECT_EQ(files.GetLine(path, 4, line), ReadFail);
  EXPECT_EQ(files.GetLine(path, 0, line), ReadFail);
  EXPECT_EQ(files.GetLine(PathOf("none"), 1, line), ReadFail);
  EXPECT_EQ(line, "unchanged");

  files.DeleteLine(path, 2);
  EXPECT_EQ(Contents(path), "l1\r\nl3\r\n");
  Write(path, "a\nb");
  files.DeleteLine(path, 9);
  EXPECT_EQ(Contents(path), "a\r\nb\r\n");
  files.DeleteLine(PathOf("none.txt"), 1);
  EXPECT_FALSE(fs::exists(PathOf("none.txt")));
  // No file is left open: the file can be removed and its name reused.
  files.RemoveFile(path);
  EXPECT_FALSE(files.IfFileExists(path));
}

TEST_F(FileProcessTest, ExistenceAndRemoval) {
  const std::string path = PathOf("r.txt");
  EXPECT_FALSE(files.IfFileExists(path));
  EXPECT_FALSE(files.IfFileExists(m_dir.string()));
  files.RemoveFile(path);  // missing: nothing happens
  Write(path, "x");
  fs::permissions(path, fs::perms::owner_read);
  EXPECT_TRUE(files.IfFileExists(path));
  files.RemoveFile(path);
  EXPECT_FALSE(fs::exists(path));
  files.RemoveFile(m_dir.string());
  EXPECT_TRUE(fs::exists(m_dir));
}

}  // namespace
}  // namespace orvane
