#include "orvane/util/string_values.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "orvane/core/error.h"
#include "support/errors.h"
#include "support/number_format.h"

namespace orvane {
namespace {

using Texts = std::vector<std::string>;

using test::ScopedNumberFormat;

DateTime At(int y, int m, int d, int h = 0, int n = 0, int s = 0) {
  return DateTime::FromParts(y, m, d, h, n, s);
}

class StringValuesTest : public ::testing::Test {
 protected:
  CStringValues sv;
};

TEST_F(StringValuesTest, ListElements) {
  // A longer separator leaves its remainder on the next element.
  EXPECT_EQ((Texts{sv.get_element("a,b,c", 2), sv.get_element("a,b,c", 3),
                   sv.get_element("a,b,c", 4), sv.get_element("a,b,c", 0),
                   sv.get_element("a,,c", 2), sv.get_element("a;;b", 2, ";;"),
                   sv.get_element("a,b", 1, ""), sv.get_element("a,b", 2, "")}),
            (Texts{"b", "c", "-1", "-1", "", ";b", "a,b", "-1"}));

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

  EXPECT_EQ((std::vector<bool>{sv.equal_one_of("B", "a,b,c"), sv.equal_one_of("c", "a,b,c"),
                               sv.equal_one_of("a,b", "a,b,c"), sv.equal_one_of("", "a,,c"),
                               sv.equal_one_of("b", "a;;b", ";;"),
                               sv.equal_one_of(";b", "a;;b", ";;"),
                               sv.equal_one_of("a,b", "a,b", "")}),
            (std::vector<bool>{false, true, false, true, false, true, true}));
}

TEST_F(StringValuesTest, NumbersAsText) {
  for (const Variant& none : {Variant(), Variant(Null), Variant(""), Variant("abc")}) {
    EXPECT_EQ(sv.NumberToString(none), "");
  }
  EXPECT_EQ((Texts{sv.NumberToString(" 1,234.50 "), sv.NumberToString(0.1 + 0.2),
                   sv.FormatStringAsNumber("1,234.5"), sv.FormatStringAsNumber("1.234,5", ",", "."),
                   sv.FormatStringAsNumber("x1"), sv.BooleanToString(false)}),
            (Texts{"1234.5", "0.3", "1234.5", "1234.5", "", "FALSE"}));
  EXPECT_DOUBLE_EQ(sv.StringToNumber2("1.234,5", ",", "."), 1234.5);
  EXPECT_TRUE(sv.NumberToVariant("abc").IsNull());
  EXPECT_EQ(sv.NumberToVariant("2,500.25"), Variant(2500.25));
}

TEST_F(StringValuesTest, CurrencyRoundsHalvesAwayFromZero) {
  // 2.675 is binary 2.67499999...
  EXPECT_EQ((Texts{sv.ToCurrencyVal(2.675), sv.ToCurrencyVal(-0.125),
                   sv.ToCurrencyVal(1234567.891), sv.ToCurrencyVal(1234567.891, false),
                   sv.ToCurrencyVal(999.999), sv.ToCurrencyVal(-0.001), sv.ToCurrencyVal(Null),
                   sv.ToCurrencyVal("n/a")}),
            (Texts{"2.68", "-0.13", "1,234,567.89", "1234567.89", "1,000.00", "0.00", "", ""}));
  ScopedNumberFormat comma_decimal({',', '.'});
  EXPECT_EQ(sv.ToCurrencyVal(-1234.5), "-1.234,50");
}

TEST_F(StringValuesTest, InStringIgnoresStartAndCountsOverlaps) {
  EXPECT_EQ((std::vector<Variant>{sv.inString("abcabc", "bc", 3, 2), sv.inString("abcabc", "bc", 3, 3),
                                  sv.inString("abcabc", "BC"), sv.inString("aaaa", "aa", 1, 3),
                                  sv.inString("abc", "b", 1, 0), sv.inString("abc", "abcd")}),
            (std::vector<Variant>{5, 0, 2, 3, 0, 0}));
}

TEST_F(StringValuesTest, LayoutPatterns) {
  EXPECT_EQ((Texts{sv.FormatString(DDspMMspYYYY_HHspNNspSS),
                   sv.FormatString(DDspMMspYY_HHspNNspSS, "-", "."),
                   sv.FormatString(YYspMMspDD_HHspNNspSS), sv.FormatString(HHspNN),
                   sv.FormatString(YYYYspMMspDD_HHspNN),
                   sv.FormatString(static_cast<DateFormatsEnum>(10)),
                   sv.FormatString(static_cast<DateFormatsEnum>(-1))}),
            (Texts{"DD/MM/YYYY HH:NN:SS", "DD-MM-YY HH.NN.SS", "YY/MM/DD HH:NN:SS", "HH:NN",
                   "YYYY/MM/DD HH:NN", "", ""}));
}

TEST_F(StringValuesTest, ReadsEveryLayout) {
  const DateTime full = At(2024, 3, 5, 14, 7, 9);
  EXPECT_EQ(sv.ToDateTime("05/03/24", "/", ":", DDspMMspYY), At(2024, 3, 5));
  EXPECT_EQ(sv.ToDateTime("05/03/2024 14:07:09"), full);
  EXPECT_EQ(sv.ToDateTime("05-03-24 14.07.09", "-", ".", DDspMMspYY_HHspNNspSS), full);
  EXPECT_EQ(sv.ToDateTime("2024/03/05 14:07:09", "/", ":", YYYYspMMspDD_HHspNNspSS), full);
  EXPECT_EQ(sv.ToDateTime("24/03/05 14:07:09", "/", ":", YYspMMspDD_HHspNNspSS), full);
  EXPECT_EQ(sv.ToDateTime("14:07", "/", ":", HHspNN).TimePart(), At(1899, 12, 30, 14, 7));
  EXPECT_EQ(sv.ToDateTime("14:07:09", "/", ":", HHspNNspSS).TimePart(), full.TimePart());
  EXPECT_EQ(sv.ToDateTime("2024/03/05 14:07", "/", ":", YYYYspMMspDD_HHspNN), At(2024, 3, 5, 14, 7));
  // Date-only layouts ignore a time; years before 30 are this century.
  EXPECT_EQ(sv.ToDate("  05/03/2024 14:07:09 "), At(2024, 3, 5));
  EXPECT_EQ(sv.ToDate("31/12/99"), At(1999, 12, 31));
  EXPECT_EQ(sv.ToDate("05.03.2024", "."), At(2024, 3, 5));
  // Serial parts roll over.
  EXPECT_EQ(sv.DateTimeSerial(2024, 3, 0), At(2024, 2, 29));
  EXPECT_EQ(sv.DateTimeSerial(45, 1, 1).Year(), 1945);
}

TEST_F(StringValuesTest, ReadsBadDateTextsWithoutRejecting) {
  EXPECT_EQ(sv.ToDateTime(""), At(1900, 1, 1));
  // Parts roll over: month 13 is January of the next year.
  EXPECT_EQ(sv.ToDateTime("31/13/2023 25:61:61"), At(2024, 2, 1, 2, 2, 1));
  // Missing separators leave those fields at 0 (day 0 of month 0 of 2000).
  EXPECT_EQ(sv.ToDateTime("garbage"), At(1999, 11, 30));
  EXPECT_EQ(sv.ToDateTime("05/03/2024", "-"), At(1999, 11, 30));
  // A time without a space before it reads hour 0.
  EXPECT_EQ(sv.ToDateTime("05/03/2024T14:07:09"), At(2024, 3, 5, 0, 7, 9));
  // A second and a half rounds to even.
  EXPECT_EQ(sv.ToDateTime("05/03/2024 10:00:2.5"), At(2024, 3, 5, 10, 0, 2));
  EXPECT_EQ(sv.ToDateTime("05/03/2024 10:00:3.5"), At(2024, 3, 5, 10, 0, 4));
  const auto [code, what] = test::ErrorOf([&] { (void)sv.ToDateTime("05/03/40000"); });
  EXPECT_EQ(code, ErrorCode::Overflow);
  EXPECT_NE(what.find("40000"), std::string::npos);
}

TEST_F(StringValuesTest, FormatterKeepsSlashAndColonLiteral) {
  const DateTime t = At(2024, 3, 5, 14, 7, 9);
  EXPECT_EQ((Texts{sv.MyFormat(t, "DD/MM/YYYY HH:NN:SS"), sv.MyFormat(t, "dd-mm-yyyy hh-mm-ss"),
                   sv.MyFormat(t, "d/m/yy h:n:s"), sv.MyFormat(t, "a&&b__c"), sv.MyFormat(t, ""),
                   sv.MyFormat(Variant("05/03/2024"), "yyyy"),
                   sv.MyFormat(Variant("not a date"), "yyyy"), sv.MyFormat(Variant(Null), "yyyy"),
                   sv.MyFormat(DateTime(1e12), "yyyy")}),
            (Texts{"05/03/2024 14:07:09", "05-03-2024 14-07-09", "5/3/24 14:7:9", "a/b:c",
                   "05/03/2024 14:07:09", "2024", "not a date", "", ""}));
  EXPECT_EQ((Texts{sv.DateToString("05/03/2024 14:07", "hh:nn"), sv.DateToString(Null),
                   sv.DateToString("tomorrow"), sv.DateToString(45356.0)}),
            (Texts{"14:07", "", "", ""}));
  // The pattern does not depend on the local number form.
  ScopedNumberFormat comma_decimal({',', '.'});
  EXPECT_EQ(sv.MyFormat(t, "dd/mm/yyyy"), "05/03/2024");
}

TEST_F(StringValuesTest, GmtConversion) {
  const std::string server = "05/03/2024 14:07:09";
  EXPECT_EQ((Texts{sv.FormatGMTDate(server, 5, 2, ServerToClient),
                   sv.FormatGMTDate(server, 5, 2, ClientToServer),
                   sv.FormatGMTDate("05/03/2024 23:30:00", 5.5, 0, ServerToClient),
                   sv.FormatGMTDate("2024-03-05 14.07", 1, 2, ServerToClient, "-", ".",
                                    YYYYspMMspDD_HHspNN),
                   sv.FormatGMTDate("", 5, 2, ServerToClient),
                   sv.FormatGMTDate("05/03/99999", 5, 2, ServerToClient)}),
            (Texts{"05/03/2024 17:07:09", "05/03/2024 11:07:09", "06/03/2024 05:00:00",
                   "2024-03-05 13.07", "", ""}));
  EXPECT_DOUBLE_EQ(sv.ClientServerGMTOffset(5, 2, ClientToServer), -3);
  EXPECT_NEAR(sv.ConvertGMTVal(At(2024, 3, 5, 23), 3, 1, ServerToClient) - At(2024, 3, 6, 1), 0,
              1e-9);
}

TEST_F(StringValuesTest, OffsetTexts) {
  // 0.375 h is 22.5 minutes: the half goes to the even 22; 37.5 goes to 38.
  EXPECT_EQ((Texts{sv.DoubleToTime(0), sv.DoubleToTime(3), sv.DoubleToTime(-3.5),
                   sv.DoubleToTime(0.375), sv.DoubleToTime(0.625)}),
            (Texts{"00:00", "+03:00", "-04:30", "+00:22", "+00:38"}));
  EXPECT_EQ((std::vector<double>{sv.TimeToDouble("-04:30"), sv.TimeToDouble("0530"),
                                 sv.TimeToDouble("99999:00"), sv.TimeToDouble("x:y")}),
            (std::vector<double>{-3.5, 0, 0, 0}));
  for (double offset : {-12.0, -9.5, -3.5, -0.75, 0.25, 5.75, 13.0}) {
    EXPECT_DOUBLE_EQ(sv.TimeToDouble(sv.DoubleToTime(offset)), offset) << offset;
  }
}

TEST_F(StringValuesTest, PeriodsTranslateAndCharacters) {
  EXPECT_EQ((std::vector<bool>{sv.IsInPeriod("10:00", "10:00", "12:00"),
                               sv.IsInPeriod("12:00:01", "10:00", "12:00"),
                               sv.IsInPeriod("23:30", "22:00", "02:00"),
                               sv.IsInPeriod("01:00", "22:00", "02:00"),
                               sv.IsInPeriod("05/03/2024 11:00", "10:00", "12:00"),
                               sv.IsInPeriod("noon", "10:00", "12:00")}),
            (std::vector<bool>{true, false, false, false, true, false}));
  EXPECT_EQ((Texts{sv.Translate("abcab", "ab", "ba"), sv.Translate("abc", "abc", "x"),
                   sv.Translate("aab", "aa", "xy"), sv.Char("abc", 4), sv.Char("abc", 0)}),
            (Texts{"bacba", "x", "xxb", "", ""}));
}

TEST_F(StringValuesTest, CodeIsAReversiblePermutation) {
  const std::string plain = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ!#$%&()*+-./:;<=>?@[]_";
  const std::string coded = sv.Code(plain);
  ASSERT_EQ(coded.size(), 58u);
  EXPECT_NE(coded, plain);
  EXPECT_EQ(std::set<char>(coded.begin(), coded.end()), std::set<char>(plain.begin(), plain.end()));
  std::string every;
  for (int c = 1; c < 256; ++c) every.push_back(static_cast<char>(c));
  EXPECT_EQ(sv.DeCode(sv.Code(every)), every);
  EXPECT_EQ(sv.Code(sv.DeCode(every)), every);
  EXPECT_EQ(sv.Code("abc xyz"), "abc xyz");
}

}  // namespace
}  // namespace orvane
