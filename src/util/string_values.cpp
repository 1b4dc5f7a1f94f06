#include "orvane/util/string_values.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "orvane/core/conversions.h"
#include "orvane/core/error.h"
#include "orvane/core/number_format.h"

namespace orvane {
namespace {

// The substitution tables of Code and DeCode: the same 58 characters, the
// coded one a fixed permutation of the plain one without fixed points.
constexpr std::string_view kPlainTable =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ!#$%&()*+-./:;<=>?@[]_";
constexpr std::string_view kCodedTable =
    "5P@4G8:M;/7=[WAXNT*.D&1-E0<I$!L3?URV%)#YF2BS6O](+HQJC>ZK_9";
static_assert(kPlainTable.size() == 58 && kCodedTable.size() == 58);

// Serials of 1 January 100 and 31 December 9999, the dates a text form
// exists for.
constexpr double kFirstSerial = -657434.0;
constexpr double kLastSerial = 2958466.0;

constexpr const char* kMonthNames[] = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};
constexpr const char* kDayNames[] = {"Sunday",   "Monday", "Tuesday",
                                     "Wednesday", "Thursday", "Friday",
                                     "Saturday"};

char lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// Position of `needle` in `hay` at or after `from`, letters compared without
// regard to case; npos when absent or when `needle` is empty.
size_t find_nocase(std::string_view hay, std::string_view needle, size_t from) {
  if (needle.empty() || needle.size() > hay.size()) return std::string_view::npos;
  for (size_t i = from; i + needle.size() <= hay.size(); ++i) {
    size_t k = 0;
    while (k < needle.size() && lower(hay[i + k]) == lower(needle[k])) ++k;
    if (k == needle.size()) return i;
  }
  return std::string_view::npos;
}

std::string replace_all(std::string_view text, std::string_view from,
                        std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  size_t start = 0;
  for (size_t at = text.find(from); at != std::string_view::npos;
       at = text.find(from, start)) {
    out.append(text.substr(start, at - start));
    out.append(to);
    start = at + from.size();
  }
  out.append(text.substr(start));
  return out;
}

std::string padded(int value, int width) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
  return buffer;
}

bool in_date_range(DateTime t) {
  return t.Serial() >= kFirstSerial && t.Serial() < kLastSerial;
}

// The number of characters from `at` that repeat `c` (either case).
size_t run_length(std::string_view pattern, size_t at, char c) {
  size_t n = 0;
  while (at + n < pattern.size() && lower(pattern[at + n]) == c) ++n;
  return n;
}

int day_of_year(DateTime t) {
  const DateTime first = DateTime::FromParts(t.Year(), 1, 1);
  return static_cast<int>(t.DatePart() - first) + 1;
}

// Formats `t` (within the date range) by the pattern letters; see MyFormat.
std::string format_date(DateTime t, std::string_view pattern) {
  std::string out;
  bool after_hour = false;
  size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (c == '"') {
      const size_t end = pattern.find('"', i + 1);
      const size_t stop = end == std::string_view::npos ? pattern.size() : end;
      out.append(pattern.substr(i + 1, stop - i - 1));
      i = stop + 1;
      continue;
    }
    if (c == '\\') {
      if (i + 1 < pattern.size()) out.push_back(pattern[i + 1]);
      i += 2;
      continue;
    }
    const char lc = lower(c);
    const size_t run = run_length(pattern, i, lc);
    size_t take = 1;
    switch (lc) {
      case 'd':
        take = std::min<size_t>(run, 4);
        if (take <= 2) {
          out += padded(t.Day(), static_cast<int>(take));
        } else {
          const std::string name = kDayNames[t.Weekday() - 1];
          out += take == 3 ? name.substr(0, 3) : name;
        }
        after_hour = false;
        break;
      case 'm':
        take = std::min<size_t>(run, 4);
        if (take <= 2 && after_hour) {
          out += padded(t.Minute(), static_cast<int>(take));
        } else if (take <= 2) {
          out += padded(t.Month(), static_cast<int>(take));
        } else {
          const std::string name = kMonthNames[t.Month() - 1];
          out += take == 3 ? name.substr(0, 3) : name;
        }
        after_hour = false;
        break;
      case 'y':
        take = run >= 4 ? 4 : (run >= 2 ? 2 : 1);
        if (take == 4) {
          out += padded(t.Year(), 4);
        } else if (take == 2) {
          out += padded(t.Year() % 100, 2);
        } else {
          out += std::to_string(day_of_year(t));
        }
        after_hour = false;
        break;
      case 'h':
        take = std::min<size_t>(run, 2);
        out += padded(t.Hour(), static_cast<int>(take));
        after_hour = true;
        break;
      case 'n':
        take = std::min<size_t>(run, 2);
        out += padded(t.Minute(), static_cast<int>(take));
        after_hour = false;
        break;
      case 's':
        take = std::min<size_t>(run, 2);
        out += padded(t.Second(), static_cast<int>(take));
        after_hour = false;
        break;
      default:
        out.push_back(c);
        break;
    }
    i += take;
  }
  return out;
}

// The date a variant holds: dates, numbers as serials, and date texts.
bool variant_date(const Variant& value, DateTime& out) {
  switch (value.kind()) {
    case Variant::Kind::DateTime:
    case Variant::Kind::Number:
    case Variant::Kind::String:
      return value.TryDateValue(out);
    default:
      return false;
  }
}

// Seconds since midnight of a time-of-day text; false when it is none.
bool time_of_day(std::string_view text, int64_t& seconds) {
  DateTime t;
  if (!Variant(Trim(text)).TryDateValue(t) || !in_date_range(t)) return false;
  seconds = t.Hour() * 3600 + t.Minute() * 60 + t.Second();
  return true;
}

// text[from, to) when both ends lie inside the text in order, else "".
std::string_view cut(std::string_view text, size_t from, size_t to) {
  if (from == std::string_view::npos || to == std::string_view::npos ||
      from > to || to > text.size()) {
    return {};
  }
  return text.substr(from, to - from);
}

std::string_view tail(std::string_view text, size_t from) {
  if (from == std::string_view::npos || from > text.size()) return {};
  return text.substr(from);
}

int16_t part(std::string_view text) { return ToInt16(Val(text)); }

size_t find_sep(std::string_view text, std::string_view sep, bool last) {
  if (sep.empty()) return std::string_view::npos;
  return last ? text.rfind(sep) : text.find(sep);
}

size_t after(size_t at, size_t length) {
  return at == std::string_view::npos ? at : at + length;
}

// Inserts the thousands separator into a run of digits.
std::string grouped(std::string_view digits, char separator) {
  std::string out;
  const size_t lead = digits.size() % 3;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (i - lead) % 3 == 0) out.push_back(separator);
    out.push_back(digits[i]);
  }
  return out;
}

}  // namespace

bool CStringValues::IsInPeriod(std::string_view vTime, std::string_view FromTime,
                               std::string_view ToTime) const {
  int64_t at = 0, from = 0, to = 0;
  if (!time_of_day(vTime, at) || !time_of_day(FromTime, from) ||
      !time_of_day(ToTime, to)) {
    return false;
  }
  return at >= from && at <= to;
}

bool CStringValues::equal_one_of(std::string_view Item, std::string_view v_array,
                                 std::string_view seperator) const {
  size_t pos = 0;
  bool found = false;
  if (!seperator.empty()) {
    for (size_t at = v_array.find(seperator, pos);
         at != std::string_view::npos && !found;
         at = v_array.find(seperator, pos)) {
      found = v_array.substr(pos, at - pos) == Item;
      pos = at + 1;
    }
  }
  return found || v_array.substr(pos) == Item;
}

std::string CStringValues::get_first_val(std::string v_array,
                                         std::string& remain_values,
                                         std::string_view seperator) const {
  const size_t at = find_nocase(v_array, seperator, 0);
  if (at == std::string_view::npos) {
    remain_values.clear();
    return v_array;
  }
  remain_values = v_array.substr(at + seperator.size());
  v_array.resize(at);
  return v_array;
}

std::string CStringValues::get_element(std::string_view v_array,
                                       int16_t v_element,
                                       std::string_view seperator) const {
  if (v_element < 1) return "-1";
  if (seperator.empty()) return v_element == 1 ? std::string(v_array) : "-1";
  size_t start = 0;
  size_t at = std::string_view::npos;
  for (int k = 1; k < v_element; ++k) {
    at = v_array.find(seperator, at == std::string_view::npos ? 0 : at + 1);
    if (at == std::string_view::npos) return "-1";
    start = at + 1;
  }
  const size_t end = v_array.find(seperator, start);
  return std::string(v_array.substr(
      start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

std::string CStringValues::NumberToString(const Variant& Num) const {
  if (Num.IsNullOrEmptyText() || !Num.IsNumeric()) return std::string();
  return std::string(Trim(NumberText(Num.NumberValue())));
}

Variant CStringValues::NumberToVariant(const Variant& Num) const {
  if (!Num.IsNumeric()) return Variant(Null);
  return Variant(StringToNumber2(Num, ".", ","));
}

double CStringValues::StringToNumber2(const Variant& Num,
                                      std::string_view LocalDecimal,
                                      std::string_view LocalThousand) const {
  return Val(FormatStringAsNumber(Num, LocalDecimal, LocalThousand));
}

std::string CStringValues::FormatStringAsNumber(
    const Variant& Num, std::string_view LocalDecimal,
    std::string_view LocalThousand) const {
  if (!Num.IsNumeric()) return std::string();
  const std::string without_grouping =
      replace_all(Num.TextValue(), LocalThousand, "");
  return replace_all(without_grouping, LocalDecimal, ".");
}

std::string CStringValues::BooleanToString(bool vBool) const {
  return vBool ? "TRUE" : "FALSE";
}

std::string CStringValues::DateToString(const Variant& vDate,
                                        std::string_view vFormat) const {
  DateTime t;
  const bool is_date =
      (vDate.kind() == Variant::Kind::DateTime ||
       vDate.kind() == Variant::Kind::String) &&
      vDate.TryDateValue(t);
  if (!is_date) return std::string();
  return MyFormat(t, vFormat);
}

std::string CStringValues::MyFormat(const Variant& vDate,
                                    std::string_view vFormat) const {
  DateTime t;
  if (variant_date(vDate, t)) return MyFormat(t, vFormat);
  if (vDate.kind() == Variant::Kind::String) return vDate.TextValue();
  return std::string();
}

std::string CStringValues::MyFormat(DateTime vDate,
                                    std::string_view vFormat) const {
  if (!in_date_range(vDate)) return std::string();
  if (vFormat.empty()) return Variant(vDate).TextValue();
  std::string pattern = replace_all(vFormat, "/", "&&");
  pattern = replace_all(pattern, ":", "__");
  std::string text = format_date(vDate, pattern);
  text = replace_all(text, "&&", "/");
  return replace_all(text, "__", ":");
}

Variant CStringValues::inString(std::string_view String1,
                                std::string_view String2, int32_t /*Start*/,
                                int32_t Occurrence) const {
  if (Occurrence < 1 || String1.empty()) return Variant(0);
  size_t from = 0;
  size_t at = std::string_view::npos;
  for (int32_t k = 0; k < Occurrence; ++k) {
    if (String2.empty()) {
      at = from < String1.size() ? from : std::string_view::npos;
    } else {
      at = find_nocase(String1, String2, from);
    }
    if (at == std::string_view::npos) return Variant(0);
    from = at + 1;
  }
  return Variant(static_cast<int32_t>(at + 1));
}

std::string CStringValues::ToCurrencyVal(const Variant& vVal,
                                         bool ShowComma) const {
  if (vVal.IsNullOrEmptyText() || !vVal.IsNumeric()) return std::string();
  const double value = RoundHalfAway(vVal.NumberValue(), 2);
  if (!std::isfinite(value)) return NumberText(value);
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%.2f", std::fabs(value));
  const std::string_view plain(buffer);
  const size_t point = plain.find('.');
  const NumberFormat& format = CurrentNumberFormat();
  std::string text = value < 0 && plain != "0.00" ? "-" : "";
  text += ShowComma ? grouped(plain.substr(0, point), format.thousands)
                    : std::string(plain.substr(0, point));
  text.push_back(format.decimal);
  text.append(plain.substr(point + 1));
  return text;
}

std::string CStringValues::FormatGMTDate(
    std::string_view vDate, double ToGMTOffset, double ServerGMTOffset,
    GMTConvertTypeEnum ConvertType, std::string_view DateDelimiter,
    std::string_view TimeDelimiter, DateFormatsEnum vDateFormat) const {
  if (vDate.empty()) return std::string();
  try {
    const DateTime read =
        ToDateTime(vDate, DateDelimiter, TimeDelimiter, vDateFormat);
    const DateTime shifted =
        ConvertGMTVal(read, ToGMTOffset, ServerGMTOffset, ConvertType);
    return MyFormat(shifted,
                    FormatString(vDateFormat, DateDelimiter, TimeDelimiter));
  } catch (const Error&) {
    return std::string();
  }
}

DateTime CStringValues::ConvertGMTVal(DateTime vDate, double ToGMTOffset,
                                      double ServerGMTOffset,
                                      GMTConvertTypeEnum ConvertType) const {
  return vDate +
         ClientServerGMTOffset(ToGMTOffset, ServerGMTOffset, ConvertType) / 24.0;
}

double CStringValues::ClientServerGMTOffset(
    double ToGMTOffset, double ServerGMTOffset,
    GMTConvertTypeEnum ConvertType) const {
  return static_cast<double>(ConvertType) * (ToGMTOffset - ServerGMTOffset);
}

std::string CStringValues::FormatString(DateFormatsEnum vFormat,
                                        std::string_view DateDelimiter,
                                        std::string_view TimeDelimiter) const {
  const std::string d(DateDelimiter);
  const std::string t(TimeDelimiter);
  const std::string day_first = "DD" + d + "MM" + d;
  const std::string hh_nn = "HH" + t + "NN";
  switch (vFormat) {
    case DDspMMspYYYY:
      return day_first + "YYYY";
    case DDspMMspYY:
      return day_first + "YY";
    case DDspMMspYYYY_HHspNNspSS:
      return day_first + "YYYY " + hh_nn + t + "SS";
    case DDspMMspYY_HHspNNspSS:
      return day_first + "YY " + hh_nn + t + "SS";
    case YYYYspMMspDD_HHspNNspSS:
      return "YYYY" + d + "MM" + d + "DD " + hh_nn + t + "SS";
    case YYspMMspDD_HHspNNspSS:
      return "YY" + d + "MM" + d + "DD " + hh_nn + t + "SS";
    case HHspNN:
      return hh_nn;
    case HHspNNspSS:
      return hh_nn + t + "SS";
    case DDspMMspYYYY_HHspNN:
      return day_first + "YYYY " + hh_nn;
    case YYYYspMMspDD_HHspNN:
      return "YYYY" + d + "MM" + d + "DD " + hh_nn;
  }
  return std::string();
}

DateTime CStringValues::ToDate(std::string_view str,
                               std::string_view DateDelimiter) const {
  return ToDateTime(str, DateDelimiter, ":", DDspMMspYYYY);
}

DateTime CStringValues::ToDateTime(std::string_view vDate,
                                   std::string_view DateDelimiter,
                                   std::string_view TimeDelimiter,
                                   DateFormatsEnum vDateFormat) const {
  if (vDate.empty()) return DateTime::FromParts(1900, 1, 1);
  const std::string_view text = Trim(vDate);
  const size_t dl = DateDelimiter.size();
  const size_t tl = TimeDelimiter.size();
  const size_t first_d = find_sep(text, DateDelimiter, false);
  const size_t last_d = find_sep(text, DateDelimiter, true);
  const size_t first_t = find_sep(text, TimeDelimiter, false);
  const size_t last_t = find_sep(text, TimeDelimiter, true);
  const size_t space = text.rfind(' ');
  const size_t last_space = space == std::string_view::npos ? text.size() : space;

  const int format = vDateFormat;
  const bool day_first = format == 0 || format == 1 || format == 2 ||
                         format == 3 || format == 8;
  const bool year_first = format == 4 || format == 5 || format == 9;
  const bool time_only = format == 6 || format == 7;
  const bool with_seconds = (format >= 2 && format <= 5) || format == 7;

  int16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (day_first || year_first) {
    const int16_t first = part(cut(text, 0, first_d));
    month = part(cut(text, after(first_d, dl), last_d));
    const int16_t third = part(cut(text, after(last_d, dl), last_space));
    day = day_first ? first : third;
    year = day_first ? third : first;
  }
  if (format >= 2 && format <= 9 && first_t != std::string_view::npos) {
    const size_t hour_from = time_only ? 0 : last_space + 1;
    hour = part(cut(text, hour_from, first_t));
    if (with_seconds) {
      minute = part(cut(text, after(first_t, tl), last_t));
      second = part(tail(text, after(last_t, tl)));
    } else {
      minute = part(tail(text, after(first_t, tl)));
    }
  }
  return DateTimeSerial(year, month, day, hour, minute, second);
}

DateTime CStringValues::DateTimeSerial(int16_t Year, int16_t Month,
                                       int16_t day, int16_t Hour,
                                       int16_t Minute, int16_t Second) const {
  return DateTime::FromParts(Year, Month, day, Hour, Minute, Second);
}

std::string CStringValues::Translate(std::string str,
                                     std::string_view CharsToReplace,
                                     std::string_view ReplacedWith) const {
  constexpr int kAbsent = -1;
  std::array<int, 256> position;
  position.fill(kAbsent);
  for (size_t j = CharsToReplace.size(); j-- > 0;) {
    position[static_cast<unsigned char>(CharsToReplace[j])] = static_cast<int>(j);
  }
  std::string out;
  out.reserve(str.size());
  for (char c : str) {
    const int j = position[static_cast<unsigned char>(c)];
    if (j == kAbsent) {
      out.push_back(c);
    } else if (static_cast<size_t>(j) < ReplacedWith.size()) {
      out.push_back(ReplacedWith[static_cast<size_t>(j)]);
    }
  }
  return out;
}

std::string CStringValues::Char(std::string_view str, int32_t Loc) const {
  if (Loc < 1 || static_cast<size_t>(Loc) > str.size()) return std::string();
  return std::string(1, str[static_cast<size_t>(Loc - 1)]);
}

std::string CStringValues::Code(std::string_view str) const {
  return Translate(std::string(str), kPlainTable, kCodedTable);
}

std::string CStringValues::DeCode(std::string_view str) const {
  return Translate(std::string(str), kCodedTable, kPlainTable);
}

std::string CStringValues::DoubleToTime(double vGMTOffset) const {
  if (vGMTOffset == 0 || !std::isfinite(vGMTOffset)) return "00:00";
  const double hours = std::floor(vGMTOffset);
  const double minutes = RoundHalfEven((vGMTOffset - hours) * 60.0, 0);
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%s%02.0f:%02.0f",
                vGMTOffset < 0 ? "-" : "+", std::fabs(hours), minutes);
  return buffer;
}

double CStringValues::TimeToDouble(std::string_view vTime) const {
  const size_t colon = vTime.find(':');
  if (colon == std::string_view::npos) return 0;
  try {
    const int16_t hours = ToInt16(Val(vTime.substr(0, colon)));
    const int16_t minutes = ToInt16(Val(vTime.substr(colon + 1)));
    return hours + minutes / 60.0;
  } catch (const Error&) {
    return 0;
  }
}

}  // namespace orvane
