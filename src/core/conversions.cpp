#include "orvane/core/conversions.h"

#include <bit>
#include <charconv>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <limits>

#include "orvane/core/error.h"
#include "orvane/core/number_format.h"

namespace orvane {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Parses a plain "[-+]digits[.digits][e[-+]digits]" text; false when it is
// not one completely or is out of range.
bool parse_plain(std::string_view text, double& out) {
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text[0] == '+' || text[0] == '-') return false;
  double value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(),
                                      value, std::chars_format::general);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) {
    return false;
  }
  out = negative ? -value : value;
  return true;
}

// The length of the longest prefix of `text` that the Val rule reads.
size_t val_prefix_length(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && is_digit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && is_digit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && is_digit(text[j])) {
      while (j < text.size() && is_digit(text[j])) ++j;
      i = j;
    }
  }
  return i;
}

// Whether y (a value already scaled so that the rounding unit is 1) lies on
// a decimal half: its fractional part is .5 up to the representation error
// of a 15-significant-digit decimal.
bool is_decimal_half(double y, double floor_y) {
  const double tolerance = std::max(std::fabs(y), 1.0) * 1e-15;
  return std::fabs((y - floor_y) - 0.5) <= tolerance;
}

double pow10(int decimals) {
  static const double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6, 1e7,
                                   1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  if (decimals < 0) decimals = 0;
  if (decimals > 15) decimals = 15;
  return kPowers[decimals];
}

template <typename Int>
Int round_to_int(double value, const char* type_name) {
  const double rounded = std::nearbyint(value);
  if (!(rounded >= static_cast<double>(std::numeric_limits<Int>::min()) &&
        rounded <= static_cast<double>(std::numeric_limits<Int>::max()))) {
    throw Error(ErrorCode::Overflow, "Overflow: " + NumberText(value) +
                                         " does not fit a " + type_name +
                                         " integer");
  }
  return static_cast<Int>(rounded);
}

template <typename Int>
Int variant_to_int(const Variant& value, const char* type_name) {
  if (!value.IsNumeric()) {
    throw Error(ErrorCode::TypeMismatch,
                "Type mismatch: '" + value.TextValue() + "' is not a number");
  }
  return round_to_int<Int>(value.NumberValue(), type_name);
}

// Converts text in the local number form to the plain form; false when it
// is not numeric.
bool local_to_plain(std::string_view text, std::string& plain) {
  const NumberFormat& format = CurrentNumberFormat();
  text = Trim(text);
  plain.clear();
  bool seen_digit = false;
  for (char c : text) {
    if (c == format.thousands && c != format.decimal) {
      if (!seen_digit) return false;
      continue;
    }
    if (c == format.decimal) {
      plain.push_back('.');
    } else {
      if (is_digit(c)) seen_digit = true;
      plain.push_back(c);
    }
  }
  return seen_digit;
}

}  // namespace

double Val(std::string_view text) {
  size_t start = 0;
  while (start < text.size() && is_blank(text[start])) ++start;
  text.remove_prefix(start);
  const size_t length = val_prefix_length(text);
  double value = 0;
  if (length == 0 || !parse_plain(text.substr(0, length), value)) return 0;
  return value;
}

int16_t ToInt16(double value) { return round_to_int<int16_t>(value, "16-bit"); }
int32_t ToInt32(double value) { return round_to_int<int32_t>(value, "32-bit"); }
int16_t ToInt16(const Variant& value) {
  return variant_to_int<int16_t>(value, "16-bit");
}
int32_t ToInt32(const Variant& value) {
  return variant_to_int<int32_t>(value, "32-bit");
}
int32_t TextToInt32(std::string_view text) { return ToInt32(Variant(text)); }
int16_t TextToInt16(std::string_view text) { return ToInt16(Variant(text)); }

namespace {

// Rounds to the nearest whole number, halves to even, without a library
// call: adding and taking away 1.5 * 2^52 leaves the double's rounding to
// the hardware (round to nearest even). Valid for |y| < 2^51.
double nearest_whole(double y) {
  constexpr double kShift = 6755399441055744.0;
  return (y + kShift) - kShift;
}

// 1.0 or 0.0 without a branch: the cases it serves are coin tosses for money,
// which a branch predictor loses half the time.
double one_if(bool condition) {
  const uint64_t mask = uint64_t{0} - static_cast<uint64_t>(condition);
  return std::bit_cast<double>(std::bit_cast<uint64_t>(1.0) & mask);
}

constexpr double kWholeLimit = 2251799813685248.0;  // 2^51

// Rounds value * 10^decimals to a whole number, deciding decimal halves by
// `half`: f(floor) -> the whole number the half goes to.
template <typename HalfRule>
double round_scaled(double value, double scale, HalfRule half) {
  const double y = value * scale;
  if (!(std::fabs(y) < kWholeLimit)) return value;  // not finite, or whole already
  double r = nearest_whole(y);
  const double f = r - one_if(r > y);
  if (is_decimal_half(y, f)) r = half(f, y);
  return r / scale + 0.0;
}

}  // namespace

namespace {

// A decimal half goes to the even whole number.
double half_to_even(double f, double) { return nearest_whole(f * 0.5) * 2 == f ? f : f + 1; }

}  // namespace

double RoundHalfEven(double value, int decimals) {
  return round_scaled(value, pow10(decimals), half_to_even);
}

double RoundHalfAway(double value, int decimals) {
  return round_scaled(value, pow10(decimals),
                      [](double f, double y) { return y > 0 ? f + 1 : f; });
}

// Cents: the scale is a constant, not a table read.
double RoundMoney(double value) { return round_scaled(value, 100.0, half_to_even); }

std::string NumberText(double value) {
  if (value == 0) return "0";
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.15G", value);
  std::string text(buffer);
  const char decimal = CurrentNumberFormat().decimal;
  if (decimal != '.') {
    for (char& c : text) {
      if (c == '.') c = decimal;
    }
  }
  return text;
}

bool IsNumericText(std::string_view text) {
  std::string plain;
  double value;
  return local_to_plain(text, plain) && parse_plain(plain, value);
}

bool ParseLocalNumber(std::string_view text, double& out) {
  std::string plain;
  return local_to_plain(text, plain) && parse_plain(plain, out);
}

Variant Nvl(const Variant& value, const Variant& fallback) {
  return value.IsNullOrEmptyText() ? fallback : value;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text;
}

std::string ToUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string ToLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace orvane
