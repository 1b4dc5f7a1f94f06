// Text a peer chose, made safe for a log line.

#include <gtest/gtest.h>

#include <string>

#include "log_text.h"

namespace orvane::apps {
namespace {

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
