#ifndef ORVANE_UTIL_STRING_VALUES_H_
#define ORVANE_UTIL_STRING_VALUES_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "orvane/core/date_time.h"
#include "orvane/core/object.h"
#include "orvane/core/variant.h"

namespace orvane {

// The date and time layouts of the platform ("sp" is a separator).
enum DateFormatsEnum : int32_t {
  DDspMMspYYYY = 0,
  DDspMMspYY = 1,
  DDspMMspYYYY_HHspNNspSS = 2,
  DDspMMspYY_HHspNNspSS = 3,
  YYYYspMMspDD_HHspNNspSS = 4,
  YYspMMspDD_HHspNNspSS = 5,
  HHspNN = 6,
  HHspNNspSS = 7,
  DDspMMspYYYY_HHspNN = 8,
  YYYYspMMspDD_HHspNN = 9,
};

// The direction of a time conversion between the server's and a client's
// time zone; it is the sign of the offset applied.
enum GMTConvertTypeEnum : int32_t {
  ServerToClient = 1,
  ClientToServer = -1,
};

// The stateless toolbox for the text forms of values: separated lists,
// numbers in the local number form, dates in the platform's fixed layouts,
// time-zone conversions and offsets, and a fixed character substitution.
// Its output is stored and sent, so every text form here is exact.
//
// Numbers are read from text by the Val rule (non-numeric text reads as 0)
// unless stated otherwise. Dates are valid from year 100 to 9999; a date
// outside that range is formatted as the empty string.
class CStringValues : public Object, public ISafeObject, private NonCopyable {
 public:
  CStringValues() = default;

  // Whether the time of day of `vTime` lies in FromTime..ToTime, both ends
  // included. The texts are "hh:nn[:ss]", optionally after a date
  // "dd/mm/yyyy ". A period crossing midnight never matches; a text that is
  // no time gives false.
  bool IsInPeriod(std::string_view vTime, std::string_view FromTime,
                  std::string_view ToTime) const;
  // Whether `Item` equals (case-sensitively) an element of `v_array` split at
  // `seperator`. After each separator the scan resumes one character past its
  // start, so a longer separator leaves its remainder on the next element.
  // An empty separator compares the whole list.
  bool equal_one_of(std::string_view Item, std::string_view v_array,
                    std::string_view seperator = ",") const;
  // The text before the first separator (matched without regard to case);
  // `remain_values` receives the text after it. Without a separator (or with
  // an empty one) the whole text, and `remain_values` becomes empty.
  std::string get_first_val(std::string v_array, std::string& remain_values,
                            std::string_view seperator = ",") const;
  // Element `v_element` (from 1) of the list, or "-1" when there is none.
  // Elements start one character past their separator's start, so lists
  // should use a one-character separator. An empty separator makes the
  // whole text element 1.
  std::string get_element(std::string_view v_array, int16_t v_element,
                          std::string_view seperator = ",") const;

  // The ordinary text form of a numeric value (15 significant digits, local
  // decimal separator, no grouping); empty for null, empty or non-numeric.
  std::string NumberToString(const Variant& Num) const;
  // Null when `Num` is not numeric, else StringToNumber2(Num, ".", ",").
  Variant NumberToVariant(const Variant& Num) const;
  // The Val rule applied to FormatStringAsNumber(Num, LocalDecimal,
  // LocalThousand).
  double StringToNumber2(const Variant& Num, std::string_view LocalDecimal,
                         std::string_view LocalThousand) const;
  // Empty when `Num` is not numeric; otherwise its text with every
  // `LocalThousand` removed and then every `LocalDecimal` turned into ".".
  std::string FormatStringAsNumber(const Variant& Num,
                                   std::string_view LocalDecimal = ".",
                                   std::string_view LocalThousand = ",") const;
  // "TRUE" or "FALSE".
  std::string BooleanToString(bool vBool) const;

  // MyFormat(vDate, vFormat) for a date-time, or text that reads as
  // "dd/mm/yyyy[ hh:nn[:ss]]"; empty for anything else (numbers included).
  std::string DateToString(const Variant& vDate,
                           std::string_view vFormat = "dd/mm/yyyy") const;
  // Formats a date with a pattern of the letters d, dd, ddd, dddd (day,
  // weekday name), m, mm (month, or minutes right after an hour), mmm, mmmm
  // (month name), y (day of the year), yy, yyyy, h, hh (24-hour), n, nn, s,
  // ss, in either case; text in double quotes and a character after "\" are
  // literal, every other character is copied. "/" and ":" always come out
  // as themselves, and so do "&&" and "__" (they stand for them).
  // Numbers are date serials, text is read as "dd/mm/yyyy[ hh:nn[:ss]]";
  // text that is no date comes back unchanged, null and other values give
  // the empty string. An empty pattern gives the general form
  // "dd/mm/yyyy hh:nn:ss".
  std::string MyFormat(const Variant& vDate, std::string_view vFormat) const;
  std::string MyFormat(DateTime vDate, std::string_view vFormat) const;
  // The 1-based position of the `Occurrence`-th occurrence of `String2` in
  // `String1`, letters compared without regard to case, overlapping
  // occurrences counted; 0 when there are fewer or `Occurrence` < 1. The
  // search always begins at the first character: `Start` has no effect.
  Variant inString(std::string_view String1, std::string_view String2,
                   int32_t Start = 1, int32_t Occurrence = 1) const;
  // The value with exactly two decimals (halves away from zero, as the
  // decimal text shows them), grouped by thousands when `ShowComma`, in the
  // local number form; zero carries no sign. Empty for null, empty or
  // non-numeric values.
  std::string ToCurrencyVal(const Variant& vVal, bool ShowComma = true) const;

  // Reads `vDate` in `vDateFormat`, shifts it by the time-zone difference
  // and writes it back in the same layout. Any failure (an unreadable part
  // that overflows, a date out of range) gives the empty string, as does an
  // empty `vDate`.
  std::string FormatGMTDate(std::string_view vDate, double ToGMTOffset,
                            double ServerGMTOffset,
                            GMTConvertTypeEnum ConvertType,
                            std::string_view DateDelimiter = "/",
                            std::string_view TimeDelimiter = ":",
                            DateFormatsEnum vDateFormat =
                                DDspMMspYYYY_HHspNNspSS) const;
  // `vDate` plus ClientServerGMTOffset(...) hours.
  DateTime ConvertGMTVal(DateTime vDate, double ToGMTOffset,
                         double ServerGMTOffset,
                         GMTConvertTypeEnum ConvertType) const;
  // ConvertType x (ToGMTOffset - ServerGMTOffset), in hours.
  double ClientServerGMTOffset(double ToGMTOffset, double ServerGMTOffset,
                               GMTConvertTypeEnum ConvertType) const;
  // The pattern of a layout with the given separators ("DD/MM/YYYY
  // HH:NN:SS" for DDspMMspYYYY_HHspNNspSS); empty for a value outside 0..9.
  std::string FormatString(DateFormatsEnum vFormat,
                           std::string_view DateDelimiter = "/",
                           std::string_view TimeDelimiter = ":") const;
  // ToDateTime(str, DateDelimiter, ":", DDspMMspYYYY).
  DateTime ToDate(std::string_view str,
                  std::string_view DateDelimiter = "/") const;
  // Reads a date-time in a layout by cutting the text at its separators:
  // the first and last date separator, the first and last time separator
  // and the last space. Each part is read by the Val rule and rounded to a
  // 16-bit integer; a part the layout lacks, or whose separators are missing
  // or out of order, is 0; the parts roll over as DateTimeSerial does. So a
  // text in the wrong layout still gives a date. The empty text gives
  // 1 January 1900. A layout outside 0..9 reads no part. Time-only layouts
  // give a time on 30 November 1999 (the date of zero parts). Throws
  // Error(Overflow) when a part does not fit 16 bits.
  DateTime ToDateTime(std::string_view vDate,
                      std::string_view DateDelimiter = "/",
                      std::string_view TimeDelimiter = ":",
                      DateFormatsEnum vDateFormat =
                          DDspMMspYYYY_HHspNNspSS) const;
  // The calendar date plus the time of day, parts rolling over (month 13 is
  // January of the next year). Years 0..29 mean 2000..2029, 30..99 mean
  // 1930..1999.
  DateTime DateTimeSerial(int16_t Year, int16_t Month, int16_t day,
                          int16_t Hour = 0, int16_t Minute = 0,
                          int16_t Second = 0) const;

  // Replaces each character of `str` found in `CharsToReplace` (first match)
  // by the character at the same position of `ReplacedWith`, or drops it
  // when `ReplacedWith` is shorter. Replacements are never translated again.
  std::string Translate(std::string str, std::string_view CharsToReplace,
                        std::string_view ReplacedWith) const;
  // The character at position `Loc` (from 1); empty outside the text.
  std::string Char(std::string_view str, int32_t Loc) const;
  // The fixed substitution of digits, upper-case letters and 22 punctuation
  // characters; every other character passes unchanged, and
  // DeCode(Code(s)) == s for every text.
  std::string Code(std::string_view str) const;
  std::string DeCode(std::string_view str) const;

  // A time-zone offset in hours as "+hh:nn" / "-hh:nn" ("00:00" for 0): the
  // hours are rounded towards minus infinity and the minutes added to them,
  // so -3.5 is "-04:30". A value that is no finite number gives "00:00".
  std::string DoubleToTime(double vGMTOffset) const;
  // The inverse of DoubleToTime: hours (with their sign) + minutes / 60.
  // 0 for a text without ":" or with a part that does not fit 16 bits.
  double TimeToDouble(std::string_view vTime) const;

  // Holds no references; nothing to release.
  void Deallocate() override {}
};

}  // namespace orvane

#endif  // ORVANE_UTIL_STRING_VALUES_H_
