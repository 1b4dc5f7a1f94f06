#include "orvane/market/detail/price_rounding.h"

#include <charconv>
#include <cmath>
#include <cstdio>
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
  std::snprintf(buffer, sizeof buffer, "%.*e", kSignificant - 1, std::fabs(value));
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
  // digit first. `keep` digits of the decimal form stay; the next one
  // decides the rounding.
  const long keep = static_cast<long>(exponent) + decimals + 1;
  std::string units;
  bool round_up = false;
  if (keep >= 0) {
    const long copied = keep < kSignificant ? keep : kSignificant;
    units.assign(digits, static_cast<size_t>(copied));
    if (keep > kSignificant) units.append(static_cast<size_t>(keep - kSignificant), '0');
    round_up = keep < kSignificant && digits[keep] >= '5';
  }
  if (round_up) {
    long i = static_cast<long>(units.size()) - 1;
    for (; i >= 0 && units[static_cast<size_t>(i)] == '9'; --i) {
      units[static_cast<size_t>(i)] = '0';
    }
    if (i >= 0) {
      ++units[static_cast<size_t>(i)];
    } else {
      units.insert(units.begin(), '1');
    }
  }
  const size_t first = units.find_first_not_of('0');
  const bool is_zero = first == std::string::npos;
  units = is_zero ? std::string() : units.substr(first);

  const auto width = static_cast<size_t>(decimals);
  if (units.size() < width + 1) units.insert(0, width + 1 - units.size(), '0');
  std::string text;
  text.reserve(units.size() + 2);
  if (value < 0 && !is_zero) text += '-';
  text.append(units, 0, units.size() - width);
  if (width > 0) {
    text += '.';
    text.append(units, units.size() - width, width);
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
  const double units = fraction > 0.5 ? whole + 1 : whole;
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
