#include "orvane/util/string_values.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "orvane/core/error.h"
#include "orvane/core/number_format.h"

namespace orvane {
namespace {

// Restores the process-wide number form when a test changes it.
class ScopedNumberFormat {
 public:
  explicit ScopedNumberFormat(NumberFormat format)
      : m_saved(CurrentNumberFormat()) {
    SetNumberFormat(format);
  }
  ~ScopedNumberFormat() { SetNumberFormat(m_saved); }

 private:
  NumberFormat m_saved;
};

DateTime At(int y, int m, int d, int h = 0, int n = 0, int s = 0) {
  return DateTime::FromParts(y, m, d, h, n, s);
}

class StringValuesTest : public ::testing::Test {
 protected:
  CStringValues sv;
};

TEST_F(StringValuesTest, ListElements) {
  EXPECT_EQ(sv.get_element("a,b,c", 2), "b");
  EXPECT_EQ(sv.get_element("a,b,c", 3), "c");
  EXPECT_EQ(sv.get_element("a,b,c", 4), "-1");
  EXPECT_EQ(sv.get_element("a,b,c", 0), "-1");
  EXPECT_EQ(sv.get_element("a,,c", 2), "");
  // A longer separator leaves its remainder on the next element.
  EXPECT_EQ(sv.get_element("a;;b", 2, ";;"), ";b");
  EXPECT_EQ(sv.get_element("a,b", 1, ""), "a,b");
  EXPECT_EQ(sv.get_element("a,b", 2, ""), "-1");
}

TEST_F(StringValuesTest, FirstValueAndRemainder) {
  std::string rest = "untouched";
  EXPECT_EQ(sv.get_first_val("a,b,c", rest), "a");
  EXPECT_EQ(rest, "b,c");
  EXPECT_EQ(sv.get_first_val("abc", rest), "abc");
  EXPECT_EQ(rest, "");
  // The separator is found without regard to case and skipped whole.
  EXPECT_EQ(sv.get_first_val("12xY34xy5", rest, "XY"), "12");
  EXPECT_EQ(rest, "34xy5");
  EXPECT_EQ(sv.get_first_val("a,b", rest, ""), "a,b");
  EXPECT_EQ(rest, "");
}

TEST_F(StringValuesTest, EqualOneOf) {
  EXPECT_FALSE(sv.equal_one_of("B", "a,b,c"));
  EXPECT_TRUE(sv.equal_one_of("c", "a,b,c"));
  EXPECT_FALSE(sv.equal_one_of("a,b", "a,b,c"));
  EXPECT_TRUE(sv.equal_one_of("", "a,,c"));
  EXPECT_FALSE(sv.equal_one_of("b", "a;;b", ";;"));
  EXPECT_TRUE(sv.equal_one_of(";b", "a;;b", ";;"));
  EXPECT_TRUE(sv.equal_one_of("a,b", "a,b", ""));
}

TEST_F(StringValuesTest, NumbersAsText) {
  for (const Variant& none : {Variant(), Variant(Null), Variant(""), Variant("abc")}) {
    EXPECT_EQ(sv.NumberToString(none), "");
  }
  EXPECT_EQ(sv.NumberToString(" 1,234.50 "), "1234.5");
  EXPECT_EQ(sv.NumberToString(0.1 + 0.2), "0.3");

  EXPECT_EQ(sv.FormatStringAsNumber("1,234.5"), "1234.5");
  EXPECT_EQ(sv.FormatStringAsNumber("1.234,5", ",", "."), "1234.5");
  EXPECT_EQ(sv.FormatStringAsNumber("x1"), "");
  EXPECT_DOUBLE_EQ(sv.StringToNumber2("1.234,5", ",", "."), 1234.5);
  EXPECT_TRUE(sv.NumberToVariant("abc").IsNull());
  EXPECT_EQ(sv.NumberToVariant("2,500.25"), Variant(2500.25));
  EXPECT_EQ(sv.BooleanToString(false), "FALSE");
}

TEST_F(StringValuesTest, CurrencyRoundsHalvesAwayFromZero) {
  EXPECT_EQ(sv.ToCurrencyVal(2.675), "2.68");  // binary 2.67499999...
  EXPECT_EQ(sv.ToCurrencyVal(-0.125), "-0.13");
  EXPECT_EQ(sv.ToCurrencyVal(1234567.891), "1,234,567.89");
  EXPECT_EQ(sv.ToCurrencyVal(1234567.891, false), "1234567.89");
  EXPECT_EQ(sv.ToCurrencyVal(999.999), "1,000.00");
  EXPECT_EQ(sv.ToCurrencyVal(-0.001), "0.00");
  EXPECT_EQ(sv.ToCurrencyVal(Null), "");
  EXPECT_EQ(sv.ToCurrencyVal("n/a"), "");
  {
    ScopedNumberFormat comma_decimal({',', '.'});
    EXPECT_EQ(sv.ToCurrencyVal(-1234.5), "-1.234,50");
  }
}

TEST_F(StringValuesTest, InStringIgnoresStartAndCountsOverlaps) {
  EXPECT_EQ(sv.inString("abcabc", "bc", 3, 2), Variant(5));
  EXPECT_EQ(sv.inString("abcabc", "bc", 3, 3), Variant(0));
  EXPECT_EQ(sv.inString("abcabc", "BC"), Variant(2));
  EXPECT_EQ(sv.inString("aaaa", "aa", 1, 3), Variant(3));
  EXPECT_EQ(sv.inString("abc", "b", 1, 0), Variant(0));
  EXPECT_EQ(sv.inString("abc", "abcd"), Variant(0));
}

TEST_F(StringValuesTest, LayoutPatterns) {
  EXPECT_EQ(sv.FormatString(DDspMMspYYYY_HHspNNspSS), "DD/MM/YYYY HH:NN:SS");
  EXPECT_EQ(sv.FormatString(DDspMMspYY_HHspNNspSS, "-", "."), "DD-MM-YY HH.NN.SS");
  EXPECT_EQ(sv.FormatString(YYspMMspDD_HHspNNspSS), "YY/MM/DD HH:NN:SS");
  EXPECT_EQ(sv.FormatString(HHspNN), "HH:NN");
  EXPECT_EQ(sv.FormatString(YYYYspMMspDD_HHspNN), "YYYY/MM/DD HH:NN");
  EXPECT_EQ(sv.FormatString(static_cast<DateFormatsEnum>(10)), "");
  EXPECT_EQ(sv.FormatString(static_cast<DateFormatsEnum>(-1)), "");
}

TEST_F(StringValuesTest, ReadsEveryLayout) {
  const DateTime full = At(2024, 3, 5, 14, 7, 9);
  EXPECT_EQ(sv.ToDateTime("05/03/24", "/", ":", DDspMMspYY), At(2024, 3, 5));
  EXPECT_EQ(sv.ToDateTime("05/03/2024 14:07:09"), full);
  EXPECT_EQ(sv.ToDateTime("05-03-24 14.07.09", "-", ".", DDspMMspYY_HHspNNspSS),
            full);
  EXPECT_EQ(sv.ToDateTime("2024/03/05 14:07:09", "/", ":", YYYYspMMspDD_HHspNNspSS),
            full);
  EXPECT_EQ(sv.ToDateTime("24/03/05 14:07:09", "/", ":", YYspMMspDD_HHspNNspSS),
            full);
  EXPECT_EQ(sv.ToDateTime("14:07", "/", ":", HHspNN).TimePart(),
            At(1899, 12, 30, 14, 7).TimePart());
  EXPECT_EQ(sv.ToDateTime("14:07:09", "/", ":", HHspNNspSS).TimePart(),
            full.TimePart());
  EXPECT_EQ(sv.ToDateTime("2024/03/05 14:07", "/", ":", YYYYspMMspDD_HHspNN),
            At(2024, 3, 5, 14, 7));
  // Date-only layouts ignore a time; years before 30 are this century.
  EXPECT_EQ(sv.ToDate("  05/03/2024 14:07:09 "), At(2024, 3, 5));
  EXPECT_EQ(sv.ToDate("31/12/99"), At(1999, 12, 31));
  EXPECT_EQ(sv.ToDate("05.03.2024", "."), At(2024, 3, 5));
}

TEST_F(StringValuesTest, ReadsBadDateTextsWithoutRejecting) {
  EXPECT_EQ(sv.ToDateTime(""), At(1900, 1, 1));
  // Parts roll over: month 13 is January of the next year.
  EXPECT_EQ(sv.ToDateTime("31/13/2023 25:61:61"), At(2024, 1, 31, 25, 61, 61));
  EXPECT_EQ(At(2024, 1, 31, 25, 61, 61), At(2024, 2, 1, 2, 2, 1));
  // Missing separators leave their parts 0 (day 0 of month 0 of 2000).
  EXPECT_EQ(sv.ToDateTime("garbage"), At(1999, 11, 30));
  EXPECT_EQ(sv.ToDateTime("05/03/2024", "-"), At(1999, 11, 30));
  // A time without a space before it reads hour 0.
  EXPECT_EQ(sv.ToDateTime("05/03/2024T14:07:09"), At(2024, 3, 5, 0, 7, 9));
  // A second and a half rounds to even.
  EXPECT_EQ(sv.ToDateTime("05/03/2024 10:00:2.5"), At(2024, 3, 5, 10, 0, 2));
  EXPECT_EQ(sv.ToDateTime("05/03/2024 10:00:3.5"), At(2024, 3, 5, 10, 0, 4));
  try {
    (void)sv.ToDateTime("05/03/40000");
    FAIL() << "a year of 40000 was accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), ErrorCode::Overflow);
    EXPECT_NE(std::string(e.what()).find("40000"), std::string::npos);
  }
}

TEST_F(StringValuesTest, DateSerialRollsOver) {
  EXPECT_EQ(sv.DateTimeSerial(2024, 3, 0), At(2024, 2, 29));
  EXPECT_EQ(sv.DateTimeSerial(45, 1, 1).Year(), 1945);
}

TEST_F(StringValuesTest, FormatterKeepsSlashAndColonLiteral) {
  const DateTime t = At(2024, 3, 5, 14, 7, 9);
  EXPECT_EQ(sv.MyFormat(t, "DD/MM/YYYY HH:NN:SS"), "05/03/2024 14:07:09");
  EXPECT_EQ(sv.MyFormat(t, "dd-mm-yyyy hh-mm-ss"), "05-03-2024 14-07-09");
  EXPECT_EQ(sv.MyFormat(t, "d/m/yy h:n:s"), "5/3/24 14:7:9");
  EXPECT_EQ(sv.MyFormat(t, "a&&b__c"), "a/b:c");
  EXPECT_EQ(sv.MyFormat(t, ""), "05/03/2024 14:07:09");
  // The pattern does not depend on the local number form.
  {
    ScopedNumberFormat comma_decimal({',', '.'});
    EXPECT_EQ(sv.MyFormat(t, "dd/mm/yyyy"), "05/03/2024");
  }
  EXPECT_EQ(sv.MyFormat(Variant("05/03/2024"), "yyyy"), "2024");
  EXPECT_EQ(sv.MyFormat(Variant("not a date"), "yyyy"), "not a date");
  EXPECT_EQ(sv.MyFormat(Variant(Null), "yyyy"), "");
  EXPECT_EQ(sv.MyFormat(DateTime(1e12), "yyyy"), "");

  EXPECT_EQ(sv.DateToString("05/03/2024 14:07", "hh:nn"), "14:07");
  EXPECT_EQ(sv.DateToString(Null), "");
  EXPECT_EQ(sv.DateToString("tomorrow"), "");
  EXPECT_EQ(sv.DateToString(45356.0), "");
}

TEST_F(StringValuesTest, GmtConversion) {
  const std::string server = "05/03/2024 14:07:09";
  EXPECT_EQ(sv.FormatGMTDate(server, 5, 2, ServerToClient), "05/03/2024 17:07:09");
  EXPECT_EQ(sv.FormatGMTDate(server, 5, 2, ClientToServer), "05/03/2024 11:07:09");
  EXPECT_EQ(sv.FormatGMTDate("05/03/2024 23:30:00", 5.5, 0, ServerToClient),
            "06/03/2024 05:00:00");
  EXPECT_EQ(sv.FormatGMTDate("2024-03-05 14.07", 1, 2, ServerToClient, "-", ".",
                             YYYYspMMspDD_HHspNN),
            "2024-03-05 13.07");
  EXPECT_EQ(sv.FormatGMTDate("", 5, 2, ServerToClient), "");
  EXPECT_EQ(sv.FormatGMTDate("05/03/99999", 5, 2, ServerToClient), "");
  EXPECT_DOUBLE_EQ(sv.ClientServerGMTOffset(5, 2, ClientToServer), -3);
  EXPECT_NEAR(sv.ConvertGMTVal(At(2024, 3, 5, 23), 3, 1, ServerToClient) -
                  At(2024, 3, 6, 1),
              0, 1e-9);
}

TEST_F(StringValuesTest, OffsetTexts) {
  EXPECT_EQ(sv.DoubleToTime(0), "00:00");
  EXPECT_EQ(sv.DoubleToTime(3), "+03:00");
  EXPECT_EQ(sv.DoubleToTime(-3.5), "-04:30");
  // 0.375 h is 22.5 minutes: the half goes to the even 22.
  EXPECT_EQ(sv.DoubleToTime(0.375), "+00:22");
  EXPECT_EQ(sv.DoubleToTime(0.625), "+00:38");  // 37.5 -> 38

  EXPECT_DOUBLE_EQ(sv.TimeToDouble("-04:30"), -3.5);
  EXPECT_DOUBLE_EQ(sv.TimeToDouble("0530"), 0);
  EXPECT_DOUBLE_EQ(sv.TimeToDouble("99999:00"), 0);
  EXPECT_DOUBLE_EQ(sv.TimeToDouble("x:y"), 0);
  for (double offset : {-12.0, -9.5, -3.5, -0.75, 0.25, 5.75, 13.0}) {
    EXPECT_DOUBLE_EQ(sv.TimeToDouble(sv.DoubleToTime(offset)), offset) << offset;
  }
}

TEST_F(StringValuesTest, Periods) {
  EXPECT_TRUE(sv.IsInPeriod("10:00", "10:00", "12:00"));
  EXPECT_FALSE(sv.IsInPeriod("12:00:01", "10:00", "12:00"));
  EXPECT_FALSE(sv.IsInPeriod("23:30", "22:00", "02:00"));
  EXPECT_FALSE(sv.IsInPeriod("01:00", "22:00", "02:00"));
  EXPECT_TRUE(sv.IsInPeriod("05/03/2024 11:00", "10:00", "12:00"));
  EXPECT_FALSE(sv.IsInPeriod("noon", "10:00", "12:00"));
}

TEST_F(StringValuesTest, TranslateAndCharacters) {
  EXPECT_EQ(sv.Translate("abcab", "ab", "ba"), "bacba");
  EXPECT_EQ(sv.Translate("abc", "abc", "x"), "x");
  EXPECT_EQ(sv.Translate("aab", "aa", "xy"), "xxb");
  EXPECT_EQ(sv.Char("abc", 4), "");
  EXPECT_EQ(sv.Char("abc", 0), "");
}

TEST_F(StringValuesTest, CodeIsAReversiblePermutation) {
  const std::string plain =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ!#$%&()*+-./:;<=>?@[]_";
  const std::string coded = sv.Code(plain);
  ASSERT_EQ(coded.size(), 58u);
  EXPECT_NE(coded, plain);
  EXPECT_EQ(std::set<char>(coded.begin(), coded.end()),
            std::set<char>(plain.begin(), plain.end()));

  std::string every;
  for (int c = 1; c < 256; ++c) every.push_back(static_cast<char>(c));
  EXPECT_EQ(sv.DeCode(sv.Code(every)), every);
  EXPECT_EQ(sv.Code(sv.DeCode(every)), every);
  EXPECT_EQ(sv.Code("abc xyz"), "abc xyz");
}

}  // namespace
}  // namespace orvane
