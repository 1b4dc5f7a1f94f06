#include "orvane/market/detail/price_rounding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "orvane/market/symbol.h"

namespace orvane::detail {
namespace {

TEST(PriceText, HalfAwayFromZeroOnTheDecimalForm) {
  EXPECT_EQ(FixedHalfAwayText(1.23445, 4), "1.2345");  // binary a hair below
  EXPECT_EQ(FixedHalfAwayText(0.5, 0), "1");
  EXPECT_EQ(FixedHalfAwayText(-0.5, 0), "-1");
  EXPECT_EQ(FixedHalfAwayText(2.675, 2), "2.68");
  EXPECT_EQ(FixedHalfAwayText(9.99995, 4), "10.0000");
  EXPECT_EQ(FixedHalfAwayText(0.00005, 4), "0.0001");
  EXPECT_EQ(FixedHalfAwayText(-0.00004, 4), "0.0000");
  EXPECT_EQ(FixedHalfAwayText(5e-324, 3), "0.000");
  EXPECT_EQ(FixedHalfAwayText(123456789012.345, 2), "123456789012.35");
  EXPECT_EQ(FixedHalfAwayText(1e20, 2), "100000000000000000000.00");
}

TEST(PriceRounding, FastPathRefusesHalvesAndOutOfRangeInput) {
  double out = 42;
  EXPECT_FALSE(TryRoundHalfAwayFast(1.23445, 4, out));
  EXPECT_FALSE(TryRoundHalfAwayFast(1.5, 16, out));
  EXPECT_FALSE(TryRoundHalfAwayFast(1e12, 4, out));
  EXPECT_FALSE(TryRoundHalfAwayFast(std::nan(""), 2, out));
  EXPECT_EQ(out, 42);
  EXPECT_TRUE(TryRoundHalfAwayFast(1.23446, 4, out));
  EXPECT_EQ(out, 1.2345);
  EXPECT_EQ(RoundHalfAwayPrice(1.23445, 4), 1.2345);
  EXPECT_EQ(RoundHalfAwayPrice(-1.23445, 4), -1.2345);
  EXPECT_TRUE(std::isinf(RoundHalfAwayPrice(HUGE_VAL, 4)));
}

// Prices a feed would send: a random number of decimals up to one more
// than the symbol shows, so that many land exactly on a rounding half once
// the tenth of a pip is added; plus their binary neighbours and plain
// uniform values, of both signs.
class PriceSource {
 public:
  explicit PriceSource(int decimals) : m_scale(std::pow(10.0, decimals + 1)) {}

  double Next() {
    const int kind = static_cast<int>(m_rng() % 4);
    double value;
    if (kind == 0) {
      value = static_cast<double>(m_rng() >> 11) * 0x1p-53 * 2000;
    } else {
      value = static_cast<double>(m_rng() % 200000000ULL) / m_scale;
      if (kind == 2) value = std::nextafter(value, HUGE_VAL);
      if (kind == 3) value = std::nextafter(value, 0.0);
    }
    return (m_rng() & 1) ? -value : value;
  }

 private:
  double m_scale;
  std::mt19937_64 m_rng{20261205};
};

TEST(PriceRounding, FastPathMatchesTheTextFormOverManyPrices) {
  constexpr int kPerLocation = 100000;
  for (int pip_location = -1; pip_location >= -6; --pip_location) {
    const int decimals = -pip_location;
    const double tenth = CSymbol::PipsFormula(0.1, static_cast<int16_t>(pip_location));
    PriceSource source(decimals);
    int fast = 0;
    int mismatches = 0;
    for (int i = 0; i < kPerLocation; ++i) {
      const double x = source.Next() + tenth;
      const double exact = ParseFixedText(FixedHalfAwayText(x, decimals));
      double rounded;
      if (TryRoundHalfAwayFast(x, decimals, rounded)) {
        ++fast;
      } else {
        rounded = RoundHalfAwayPrice(x, decimals);
      }
      if (rounded != exact && ++mismatches <= 5) {
        ADD_FAILURE() << "pip location " << pip_location << ": x=" << x << " rounded="
                      << rounded << " text=" << FixedHalfAwayText(x, decimals);
      }
    }
    EXPECT_EQ(mismatches, 0) << "pip location " << pip_location;
    // Only values next to a half leave the fast path: a quarter of the
    // uniform draws never do, and most grid values do not land on a half.
    EXPECT_GT(fast, kPerLocation / 2) << "pip location " << pip_location;
  }
}

}  // namespace
}  // namespace orvane::detail
