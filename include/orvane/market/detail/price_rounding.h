#ifndef ORVANE_MARKET_DETAIL_PRICE_ROUNDING_H_
#define ORVANE_MARKET_DETAIL_PRICE_ROUNDING_H_

#include <string>

// How a price is written with a fixed number of decimals and which number
// that text denotes. The text rule is the reference; the numeric rounding
// is the fast path the symbol uses on every tick and must always give the
// number the text denotes.
namespace orvane::detail {

// `value` written with exactly `decimals` decimals (0 or more), rounded half
// away from zero, a leading zero before the decimal point, no grouping and
// "." as decimal point. The digits are taken from the value's
// 15-significant-digit decimal form, so 1.23445 (held in binary a hair
// below) counts as a half and gives 1.2345. A rounded zero carries no sign.
// A value that is not finite gives its plain text.
std::string FixedHalfAwayText(double value, int decimals);

// The number FixedHalfAwayText(value, decimals) denotes, read back.
double ParseFixedText(const std::string& text);

// Rounds numerically to the number FixedHalfAwayText denotes. Returns false
// (and leaves `out` alone) where it cannot be sure: a value close to a
// rounding half, more than 15 decimals, or too many digits for exact
// integer arithmetic.
bool TryRoundHalfAwayFast(double value, int decimals, double& out);

// The fast path with the text rule as fallback: always the number that
// FixedHalfAwayText(value, decimals) denotes.
double RoundHalfAwayPrice(double value, int decimals);

}  // namespace orvane::detail

#endif  // ORVANE_MARKET_DETAIL_PRICE_ROUNDING_H_
