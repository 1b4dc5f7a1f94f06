// The server's log: every line stamped with the date, the time in UTC and a
// level; a file opened again by name after it was moved; and writes that
// fail (no reader, a closed descriptor) dropped and counted, never thrown.

#include "log_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "log_text.h"
#include "scratch_directory.h"

namespace orvane::apps {
namespace {

std::string Contents(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class ServerLogFileTest : public ::testing::Test {
 protected:
  std::string File(const std::string& name) const { return m_dir.path() + "/" + name; }

  ScratchDirectory m_dir;
};

TEST_F(ServerLogFileTest, ALineCarriesDateTimeInUtcAndLevel) {
  // 2026-12-07 22:58:59.123 UTC
  const std::chrono::system_clock::time_point at{std::chrono::milliseconds(1796684339123)};
  EXPECT_EQ(LogFile::line(at, LogFile::Level::kInfo, "listening on 127.0.0.1:4000"),
            "2026-12-07T22:58:59.123Z INFO listening on 127.0.0.1:4000\n");
  EXPECT_EQ(LogFile::line(at + std::chrono::milliseconds(7), LogFile::Level::kWarn, "w"),
            "2026-12-07T22:58:59.130Z WARN w\n");
  EXPECT_EQ(LogFile::line(std::chrono::system_clock::time_point{}, LogFile::Level::kError, "e"),
            "1970-01-01T00:00:00.000Z ERROR e\n");
}

TEST_F(ServerLogFileTest, WritesStampedLinesToItsFileAndReopensItByName) {
  LogFile log;
  ASSERT_EQ(log.open(File("server.log")), "");
  log.info("first");
  log.error("second");
  // logrotate moves the file away; lines go on to the moved file until the
  // log is reopened, then to a new file of the old name.
  std::filesystem::rename(File("server.log"), File("server.log.1"));
  log.warn("third");
  ASSERT_EQ(log.reopen(), "");
  log.info("fourth");
  const std::regex stamp(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z (INFO|WARN|ERROR) \w+\n)");
  const std::string rotated = Contents(File("server.log.1"));
  const std::string current = Contents(File("server.log"));
  std::istringstream lines(rotated + current);
  size_t count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    EXPECT_TRUE(std::regex_match(line + "\n", stamp)) << line;
  }
  EXPECT_EQ(count, 4u);
  EXPECT_NE(rotated.find(" INFO first\n"), std::string::npos) << rotated;
  EXPECT_NE(rotated.find(" ERROR second\n"), std::string::npos) << rotated;
  EXPECT_NE(rotated.find(" WARN third\n"), std::string::npos) << rotated;
  EXPECT_NE(current.find(" INFO fourth\n"), std::string::npos) << current;
  EXPECT_EQ(current.find("third"), std::string::npos) << current;
  EXPECT_EQ(log.lost_lines(), 0u);
}

TEST_F(ServerLogFileTest, AFileThatCannotBeOpenedKeepsTheOldOne) {
  LogFile log;
  ASSERT_EQ(log.open(File("server.log")), "");
  const std::string error = log.open(File("missing/server.log"));
  EXPECT_NE(error.find("cannot open the log file " + File("missing/server.log")),
            std::string::npos)
      << error;
  log.info("still here");
  EXPECT_EQ(log.path(), File("server.log"));
  EXPECT_NE(Contents(File("server.log")).find("INFO still here"), std::string::npos);
}

TEST_F(ServerLogFileTest, AWriteToAClosedDescriptorIsDroppedAndCounted) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  ::close(ends[0]);
  ::close(ends[1]);
  LogFile log(ends[1]);
  EXPECT_NO_THROW(log.info("nobody reads this"));
  EXPECT_NO_THROW(log.error("nor this"));
  EXPECT_EQ(log.lost_lines(), 2u);
}

TEST_F(ServerLogFileTest, AWriteToAPipeWithoutReaderIsDroppedAndCounted) {
  // As the server does: a broken pipe fails the write instead of killing.
  const auto previous = std::signal(SIGPIPE, SIG_IGN);
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  LogFile log(ends[1]);
  log.info("read");
  char buffer[128] = {};
  ASSERT_GT(::read(ends[0], buffer, sizeof buffer - 1), 0);
  EXPECT_NE(std::string(buffer).find("INFO read\n"), std::string::npos) << buffer;
  ::close(ends[0]);
  EXPECT_NO_THROW(log.warn("the reader has gone"));
  EXPECT_EQ(log.lost_lines(), 1u);
  ::close(ends[1]);
  std::signal(SIGPIPE, previous);
}

TEST_F(ServerLogFileTest, AFullDiskDropsTheLine) {
  const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  if (full < 0) GTEST_SKIP() << "no /dev/full";
  LogFile log(full);
  EXPECT_NO_THROW(log.info("no room"));
  EXPECT_EQ(log.lost_lines(), 1u);
  ::close(full);
}

// ---- log text ----
// Text a peer chose, made safe for a log line.

TEST(LogTextTest, ControlCharactersAndTheBackslashAreWrittenAsHex) {
  EXPECT_EQ(log_text("alice"), "alice");
  EXPECT_EQ(log_text("a\nb\r\tc"), "a\\x0ab\\x0d\\x09c");
  EXPECT_EQ(log_text("\x1b[31mred"), "\\x1b[31mred");
  EXPECT_EQ(log_text(std::string("nul\0del\x7f", 8)), "nul\\x00del\\x7f");
  EXPECT_EQ(log_text("C:\\x0a"), "C:\\x5cx0a");  // an escape cannot be forged
  EXPECT_EQ(log_text("caf\xc3\xa9"), "caf\\xc3\\xa9");
}

TEST(LogTextTest, LongTextIsCutWithAnEllipsis) {
  EXPECT_EQ(log_text(std::string(64, 'x')), std::string(64, 'x'));
  EXPECT_EQ(log_text(std::string(65, 'x')), std::string(64, 'x') + "...");
  EXPECT_EQ(log_text("abcdef", 3), "abc...");
  EXPECT_EQ(log_text("\n\n\n\n", 2), "\\x0a\\x0a...");
}

}  // namespace
}  // namespace orvane::apps
