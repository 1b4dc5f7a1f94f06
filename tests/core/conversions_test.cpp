#include "orvane/core/conversions.h"

#include <gtest/gtest.h>

#include "orvane/core/error.h"
#include "orvane/core/number_format.h"

namespace orvane {
namespace {

TEST(ValTest, ReadsTheLeadingNumberAndStopsAtTheFirstMisfit) {
  EXPECT_DOUBLE_EQ(Val("  12.5abc"), 12.5);
  EXPECT_DOUBLE_EQ(Val("-3.25e2x"), -325);
  EXPECT_DOUBLE_EQ(Val("1.2.3"), 1.2);
  EXPECT_DOUBLE_EQ(Val("1e"), 1);
  EXPECT_DOUBLE_EQ(Val(".5"), 0.5);
  EXPECT_DOUBLE_EQ(Val("+7"), 7);
  EXPECT_EQ(Val("abc"), 0);
  EXPECT_EQ(Val(""), 0);
  EXPECT_EQ(Val("-"), 0);
  EXPECT_EQ(Val("+-3"), 0);
  EXPECT_DOUBLE_EQ(Val("1,234.5"), 1);  // the comma is no part of a number
}

TEST(ValTest, IgnoresTheLocalNumberForm) {
  SetNumberFormat({',', '.'});
  EXPECT_DOUBLE_EQ(Val("1.5"), 1.5);
  SetNumberFormat({});
}

TEST(IntegerRoundingTest, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(ToInt32(2.5), 2);
  EXPECT_EQ(ToInt32(3.5), 4);
  EXPECT_EQ(ToInt32(-2.5), -2);
  EXPECT_EQ(ToInt16(2.51), 3);
  EXPECT_EQ(ToInt16(32767.4), 32767);
}

TEST(IntegerRoundingTest, OutOfRangeIsAnOverflowError) {
  EXPECT_EQ(ToInt16(-32768.4), -32768);
  try {
    ToInt16(32767.5);  // rounds to 32768
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), ErrorCode::Overflow);
  }
  EXPECT_THROW(ToInt32(2147483648.0), Error);
  EXPECT_EQ(ToInt32(-2147483648.0), INT32_MIN);
}

TEST(IntegerRoundingTest, TextThatIsNoNumberIsATypeMismatch) {
  try {
    TextToInt32("12a");
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), ErrorCode::TypeMismatch);
    EXPECT_NE(std::string(e.what()).find("12a"), std::string::npos);
  }
  EXPECT_EQ(TextToInt32(" 1,234 "), 1234);
  EXPECT_EQ(ToInt32(Variant(true)), 1);
}

TEST(MoneyRoundingTest, DecimalHalvesGoToEven) {
  EXPECT_DOUBLE_EQ(RoundMoney(2.675), 2.68);  // binary 2.67499999...
  EXPECT_DOUBLE_EQ(RoundMoney(2.665), 2.66);
  EXPECT_DOUBLE_EQ(RoundMoney(0.125), 0.12);
  EXPECT_DOUBLE_EQ(RoundMoney(0.135), 0.14);
  EXPECT_DOUBLE_EQ(RoundMoney(-0.125), -0.12);
  EXPECT_DOUBLE_EQ(RoundMoney(1.005), 1.0);
  EXPECT_DOUBLE_EQ(RoundMoney(1.0051), 1.01);
  EXPECT_DOUBLE_EQ(RoundMoney(123456789.125), 123456789.12);
  EXPECT_DOUBLE_EQ(RoundMoney(-10.456), -10.46);
}

TEST(MoneyRoundingTest, HalfAwayFromZeroDiffersOnlyOnHalves) {
  EXPECT_DOUBLE_EQ(RoundHalfAway(0.125, 2), 0.13);
  EXPECT_DOUBLE_EQ(RoundHalfAway(-0.125, 2), -0.13);
  EXPECT_DOUBLE_EQ(RoundHalfAway(1.23455, 4), 1.2346);
  EXPECT_DOUBLE_EQ(RoundHalfEven(1.23455, 4), 1.2346);
  EXPECT_DOUBLE_EQ(RoundHalfEven(1.23445, 4), 1.2344);
  EXPECT_DOUBLE_EQ(RoundHalfAway(1.23444, 4), 1.2344);
}

TEST(NumberTextTest, FifteenSignificantDigitsTrimmed) {
  EXPECT_EQ(NumberText(0.1 + 0.2), "0.3");
  EXPECT_EQ(NumberText(1234.5), "1234.5");
  EXPECT_EQ(NumberText(-0.0), "0");
  EXPECT_EQ(NumberText(100), "100");
  EXPECT_EQ(NumberText(123456789012345.0), "123456789012345");
  EXPECT_EQ(NumberText(1e15), "1E+15");
  EXPECT_EQ(NumberText(0.0001), "0.0001");
  EXPECT_EQ(NumberText(0.00001), "1E-05");
  EXPECT_EQ(NumberText(1.23456789012345678), "1.23456789012346");
}

TEST(NumberTextTest, FollowsTheLocalDecimalSeparator) {
  SetNumberFormat({',', '.'});
  EXPECT_EQ(NumberText(1.5), "1,5");
  EXPECT_TRUE(IsNumericText("1.234,5"));
  EXPECT_DOUBLE_EQ(Variant("1.234,5").NumberValue(), 1234.5);
  SetNumberFormat({});
}

TEST(IsNumericTest, WholeTextMustBeANumber) {
  EXPECT_TRUE(IsNumericText(" 12 "));
  EXPECT_TRUE(IsNumericText("-1,234.5"));
  EXPECT_TRUE(IsNumericText("1e3"));
  EXPECT_FALSE(IsNumericText(""));
  EXPECT_FALSE(IsNumericText("12a"));
  EXPECT_FALSE(IsNumericText(","));
  EXPECT_FALSE(IsNumericText("."));
  EXPECT_FALSE(IsNumeric(Variant()));
  EXPECT_FALSE(IsNumeric(Variant(Null)));
  EXPECT_TRUE(IsNumeric(Variant(3)));
}

TEST(NvlTest, ReplacesNullAndEmptyTextOnly) {
  EXPECT_EQ(Nvl(Null, "d"), Variant("d"));
  EXPECT_EQ(Nvl("", "d"), Variant("d"));
  EXPECT_EQ(Nvl(" ", "d"), Variant(" "));
  EXPECT_EQ(Nvl(0, "d"), Variant(0));
}

}  // namespace
}  // namespace orvane

namespace orvane {
namespace {

TEST(VariantDateTest, ReadsDayFirstDatesAndTimesOnly) {
  DateTime t;
  ASSERT_TRUE(Variant("05/03/2024 14:07:09").TryDateValue(t));
  EXPECT_EQ(t, DateTime::FromParts(2024, 3, 5, 14, 7, 9));
  ASSERT_TRUE(Variant(" 05/03/2024 ").TryDateValue(t));
  EXPECT_EQ(t, DateTime::FromParts(2024, 3, 5));
  ASSERT_TRUE(Variant("23:30").TryDateValue(t));
  EXPECT_EQ(t.Hour(), 23);
  EXPECT_EQ(t.Minute(), 30);
  EXPECT_FALSE(Variant("13/13/2024").TryDateValue(t));
  EXPECT_FALSE(Variant("99999999999999999999/1/2024").TryDateValue(t));
  EXPECT_FALSE(Variant("05/03/2024 x").TryDateValue(t));
  EXPECT_FALSE(Variant("abc").TryDateValue(t));
  EXPECT_FALSE(Variant(Null).TryDateValue(t));
  EXPECT_EQ(Variant(DateTime::FromParts(2024, 3, 5, 14, 7, 9)).TextValue(),
            "05/03/2024 14:07:09");
}

}  // namespace
}  // namespace orvane
