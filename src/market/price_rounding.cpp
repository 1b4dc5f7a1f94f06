#include "orvane/market/detail/price_rounding.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "orvane/core/conversions.h"

namespace orvane::detail {
namespace {

constexpr int kSignificant = 15;
constexpr double kPow10[16] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                               1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// Relative distance from a rounding half within which the fast path cannot
// tell the side: covers the 15-digit decimal form (5e-15 relative) and the
// scaling product (1.1e-16 relative) with room to spare.
constexpr double kGuard = 2e-14;

// The 15 significant digits of |value| and the decimal exponent of the
// first: |value| ~ d0.d1d2...d14 x 10^exponent.
void significant_digits(double value, char (&digits)[kSignificant], int& exponent) {
  char buffer[40];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer - 1, std::fabs(value),
                                    std::chars_format::scientific, kSignificant - 1);
  *result.ptr = '\0';
  // buffer: "d.dddddddddddddde[+-]xx"
  digits[0] = buffer[0];
  for (int i = 1; i < kSignificant; ++i) digits[i] = buffer[i + 1];
  exponent = std::atoi(buffer + kSignificant + 2);
}

}  // namespace

std::string FixedHalfAwayText(double value, int decimals) {
  if (!std::isfinite(value)) return NumberText(value);
  if (decimals < 0) decimals = 0;
  char digits[kSignificant];
  int exponent = 0;
  significant_digits(value, digits, exponent);
  if (value == 0) exponent = 0;

  // The rounded number as a count of 10^-decimals units, most significant
  // digit first, with one spare leading place for a carry. `keep` digits of
  // the decimal form stay; the next one decides the rounding.
  const long keep = static_cast<long>(exponent) + decimals + 1;
  const size_t kept = keep > 0 ? static_cast<size_t>(keep) : 0;
  std::string units(kept + 1, '0');
  for (size_t i = 0; i < kept && i < static_cast<size_t>(kSignificant); ++i) {
    units[i + 1] = digits[i];
  }
  if (keep >= 0 && keep < kSignificant && digits[keep] >= '5') {
    size_t i = kept;
    while (units[i] == '9') units[i--] = '0';
    ++units[i];
  }
  size_t first = 0;
  while (first < units.size() && units[first] == '0') ++first;
  const bool is_zero = first == units.size();
  const size_t width = static_cast<size_t>(decimals);
  // At least one digit before the decimal point.
  const size_t significant = units.size() - first;
  const size_t whole_digits = significant > width ? significant - width : 1;
  const size_t padding = whole_digits + width - significant;

  const bool negative = value < 0 && !is_zero;
  std::string text(static_cast<size_t>(negative) + whole_digits + (width > 0 ? width + 1 : 0),
                   '0');
  size_t at = 0;
  if (negative) text[at++] = '-';
  for (size_t i = 0; i < whole_digits + width; ++i) {
    if (i == whole_digits) text[at++] = '.';
    const char digit = i < padding ? '0' : units[first + i - padding];
    text[at++] = digit;
  }
  return text;
}

double ParseFixedText(const std::string& text) {
  double value = 0;
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  if (begin != end && *begin == '-') {
    std::from_chars(begin + 1, end, value);
    return -value;
  }
  std::from_chars(begin, end, value);
  return value;
}

bool TryRoundHalfAwayFast(double value, int decimals, double& out) {
  if (decimals < 0 || decimals > 15) return false;
  const double scale = kPow10[decimals];
  const double y = std::fabs(value) * scale;
  if (!(y < 1e15)) return false;  // also catches NaN
  const double whole = std::floor(y);
  const double fraction = y - whole;
  const double guard = kGuard * (y > 1 ? y : 1);
  if (std::fabs(fraction - 0.5) <= guard) return false;
  // Which way a price goes is a coin toss: no branch.
  const uint64_t up = uint64_t{0} - static_cast<uint64_t>(fraction > 0.5);
  const double units = whole + std::bit_cast<double>(std::bit_cast<uint64_t>(1.0) & up);
  if (units == 0) {
    out = 0.0;
  } else {
    out = value < 0 ? -(units / scale) : units / scale;
  }
  return true;
}

double RoundHalfAwayPrice(double value, int decimals) {
  if (!std::isfinite(value)) return value;
  double out;
  if (TryRoundHalfAwayFast(value, decimals, out)) return out;
  return ParseFixedText(FixedHalfAwayText(value, decimals));
}

}  // namespace orvane::detail
