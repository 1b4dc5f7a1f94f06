// The hosts' numeric options: a whole decimal number within its range, and
// everything else refused with a message that names the option.

#include "strict_number.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <string>

namespace orvane::apps {
namespace {

// The message of the refusal, or "accepted".
template <typename Read>
std::string Refusal(Read read) {
  try {
    read();
  } catch (const std::invalid_argument& e) {
    return e.what();
  }
  return "accepted";
}

TEST(StrictNumberTest, ReadsWholeNumbersInRange) {
  EXPECT_EQ(StrictNumber::integer("--port", "0", 0, 65535), 0);
  EXPECT_EQ(StrictNumber::integer("--port", "65535", 0, 65535), 65535);
  EXPECT_EQ(StrictNumber::integer("--x", "-12", -20, 20), -12);
  EXPECT_EQ(StrictNumber::unsigned_number("--seed", "18446744073709551615"),
            std::numeric_limits<uint64_t>::max());
  EXPECT_DOUBLE_EQ(StrictNumber::real("--rate", "0.25", 0.001, 1e6), 0.25);
  EXPECT_DOUBLE_EQ(StrictNumber::real("--rate", "1e3", 0.001, 1e6), 1000);
  EXPECT_DOUBLE_EQ(StrictNumber::real("--rate", "0.001", 0.001, 1e6), 0.001);
}

TEST(StrictNumberTest, RefusesNanAndInfinities) {
  for (const char* text : {"nan", "NaN", "-nan", "nan(1)", "inf", "-inf", "infinity", "INF"}) {
    EXPECT_THROW(StrictNumber::real("--rate", text, -1e9, 1e9), std::invalid_argument) << text;
  }
  EXPECT_EQ(Refusal([] { StrictNumber::real("--rate", "nan", 0.001, 1000000); }),
            "--rate takes a number from 0.001 to 1000000, not 'nan'");
}

TEST(StrictNumberTest, RefusesTrailingLeadingAndEmptyText) {
  for (const char* text : {"1abc", "1 ", " 1", "", "+1", "1.5", "0x10", "1e3", "12-", "--1"}) {
    EXPECT_THROW(StrictNumber::integer("--port", text, -100000, 100000), std::invalid_argument)
        << "'" << text << "'";
    EXPECT_THROW(StrictNumber::unsigned_number("--ticks", text), std::invalid_argument)
        << "'" << text << "'";
  }
  for (const char* text : {"1abc", "2.5x", "1,5", " 2", "2 ", "", "+2", "0x1p3", "."}) {
    EXPECT_THROW(StrictNumber::real("--seconds", text, 0, 1e7), std::invalid_argument)
        << "'" << text << "'";
  }
  EXPECT_EQ(Refusal([] { StrictNumber::integer("--port", "1abc", 0, 65535); }),
            "--port takes a whole number from 0 to 65535, not '1abc'");
}

TEST(StrictNumberTest, RefusesValuesOutOfRange) {
  EXPECT_THROW(StrictNumber::integer("--port", "65536", 0, 65535), std::invalid_argument);
  EXPECT_THROW(StrictNumber::integer("--port", "-1", 0, 65535), std::invalid_argument);
  EXPECT_THROW(StrictNumber::integer("--port", "99999999999999999999", 0, 65535),
               std::invalid_argument);
  // A negative count is not read as a huge one.
  EXPECT_THROW(StrictNumber::unsigned_number("--ticks", "-1"), std::invalid_argument);
  EXPECT_THROW(StrictNumber::unsigned_number("--ticks", "18446744073709551616"),
               std::invalid_argument);
  EXPECT_THROW(StrictNumber::unsigned_number("--wait-sessions", "5001", 5000),
               std::invalid_argument);
  EXPECT_EQ(StrictNumber::unsigned_number("--wait-sessions", "5000", 5000), 5000u);
  EXPECT_THROW(StrictNumber::real("--rate", "0", 0.001, 1e6), std::invalid_argument);
  EXPECT_THROW(StrictNumber::real("--rate", "-5", 0.001, 1e6), std::invalid_argument);
  EXPECT_THROW(StrictNumber::real("--rate", "1000000.5", 0.001, 1e6), std::invalid_argument);
  EXPECT_THROW(StrictNumber::real("--rate", "1e400", 0.001, std::numeric_limits<double>::max()), std::invalid_argument);
  EXPECT_EQ(Refusal([] { StrictNumber::real("--rate", "0", 0.001, 1000000); }),
            "--rate takes a number from 0.001 to 1000000, not '0'");
}

}  // namespace
}  // namespace orvane::apps
