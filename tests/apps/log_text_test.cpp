// Text a peer chose, made safe for a log line.

#include <gtest/gtest.h>

#include <string>

#include "log_text.h"

namespace orvane::apps {
namespace {

TEST(LogTextTest, ControlCharactersAndTheBackslashAreWrittenAsHex) {
  EXPECT_EQ(LogText("alice"), "alice");
  EXPECT_EQ(LogText("a\nb\r\tc"), "a\\x0ab\\x0d\\x09c");
  EXPECT_EQ(LogText("\x1b[31mred"), "\\x1b[31mred");
  EXPECT_EQ(LogText(std::string("nul\0del\x7f", 8)), "nul\\x00del\\x7f");
  EXPECT_EQ(LogText("C:\\x0a"), "C:\\x5cx0a");  // an escape cannot be forged
  EXPECT_EQ(LogText("caf\xc3\xa9"), "caf\\xc3\\xa9");
}

TEST(LogTextTest, LongTextIsCutWithAnEllipsis) {
  EXPECT_EQ(LogText(std::string(64, 'x')), std::string(64, 'x'));
  EXPECT_EQ(LogText(std::string(65, 'x')), std::string(64, 'x') + "...");
  EXPECT_EQ(LogText("abcdef", 3), "abc...");
  EXPECT_EQ(LogText("\n\n\n\n", 2), "\\x0a\\x0a...");
}

}  // namespace
}  // namespace orvane::apps
