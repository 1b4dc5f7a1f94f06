#include "orvane/market/symbol.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "orvane/core/clock.h"
#include "orvane/core/error.h"
#include "orvane/market/detail/price_rounding.h"
#include "support/errors.h"
#include "support/number_format.h"
#include "support/symbols.h"

namespace orvane {
namespace {

using namespace detail;

using test::Throws;

// Symbol 7, referring to none.
std::shared_ptr<CSymbol> MakeSymbol(int16_t pip_location, double bid, double ask) {
  return test::MakeSymbol(7, 0, bid, ask, pip_location);
}

TEST(SymbolStoredPrices, TenthPipIsAddedBeforeRoundingHalfAwayFromZero) {
  auto s = MakeSymbol(-4, 1.234442, 1.234438);
  EXPECT_EQ(s->Bid(), 1.2345);  // 1.234452 rounds up
  EXPECT_EQ(s->Ask(), 1.2344);  // 1.234448 rounds down
  s->Bid(1.23444);              // 1.23445 exactly on the half: away from zero
  EXPECT_EQ(s->Bid(), 1.2345);
  s->PipLocation(-2);
  s->High(1.23456);
  EXPECT_EQ(s->High(), 1.24);
  s->Low(-1.006);  // -1.005: the half goes away from zero
  EXPECT_EQ(s->Low(), -1.01);
  s->PipLocation(-5);
  s->DayOpenPrice(110.123454);
  s->DayClosePrice(0.000004);
  EXPECT_EQ(s->DayOpenPrice(), 110.12346);
  EXPECT_EQ(s->DayClosePrice(), 0.00001);
  // A pip location of 100 stores prices unrounded and formats plain text.
  s->PipLocation(100);
  s->Bid(1.23456789);
  EXPECT_EQ(s->Bid(), 1.23456789);
  EXPECT_EQ(s->FormatPrice(1.23456789), "1.23456789");
  EXPECT_EQ(s->Pips(1), 1e100);
}

TEST(SymbolFormat, FixedDecimalsLocalSeparatorAndAverageDecimals) {
  auto s = MakeSymbol(-4, 1, 1);
  // -0.00004 is -0.00003 with the tenth pip: a rounded zero has no sign.
  const std::pair<Variant, const char*> prices[] = {
      {1.2, "1.2000"},         {-0.00004, "0.0000"},  {-0.00006, "-0.0001"}, {Null, ""},
      {1234567.25, "1234567.2500"}, {"1.23444", "1.2345"}, {"abc", ""}};
  for (const auto& [price, text] : prices) EXPECT_EQ(s->FormatPrice(price), text) << text;
  EXPECT_EQ(CSymbol::FormatPriceFormula(2.4, 0), "3");
  EXPECT_EQ(CSymbol::FormatPriceFormula(149, 2), "159.00");  // a pip of 100
  {
    test::ScopedNumberFormat comma_decimal({',', '.'});
    EXPECT_EQ(s->FormatPrice(1.2), "1,2000");
    EXPECT_EQ(s->AvgFormatPrice(1.2), "1,2000");
  }
  // The average shows the symbol's decimals and up to four more.
  EXPECT_EQ(s->AvgFormatPrice(1.23456789), "1.23456789");
  EXPECT_EQ(s->AvgFormatPrice(1.234567891), "1.23456789");
  EXPECT_EQ(s->AvgFormatPrice(Null), "");
  EXPECT_TRUE(Throws(ErrorCode::TypeMismatch, [&] { s->AvgFormatPrice("abc"); }));
  // Halves go to the even neighbour here, unlike FormatPrice.
  EXPECT_EQ(CSymbol::MyFormatNumber(2.5, 0, 0), "2");
  EXPECT_EQ(CSymbol::MyFormatNumber(1.125, 0, 2), "1.12");
  EXPECT_EQ(CSymbol::MyFormatNumber(3, 1, 4), "3.0");
}

TEST(SymbolUnit, IdOneQuotesOneEverywhere) {
  auto s = MakeSymbol(-4, 1.3, 1.4);
  s->ID(1);
  s->Spread(5);
  s->SourcePlus(3);
  s->PriceOffset(2);
  s->Bid(1.5);
  // The offsets are not summed either, so 32767 does not overflow.
  for (double p : {s->Ask(), s->LastPrice(), s->AskWithSpread(), s->AskWithSpread2(7, 0, 32767)})
    EXPECT_EQ(p, 1.0);
  s->ID(2);  // the setters stored 1.0 while the ID was 1
  EXPECT_EQ(s->Bid(), 1.0);
}

TEST(SymbolSpread, NullForEmptyOrNonNumericAndOffsetAddedOnRead) {
  auto s = MakeSymbol(-4, 1.2, 1.2003);
  s->SpreadOffset(1);
  s->Spread("");
  EXPECT_TRUE(s->Spread().IsNull());
  s->Spread("abc");
  EXPECT_TRUE(s->Spread().IsNull());
  s->Spread("2");
  EXPECT_EQ(s->Spread(), Variant(3.0));
  EXPECT_TRUE(s->SpreadFormula(Null).IsNull());
  EXPECT_EQ(s->SpreadFormula(4), Variant(5.0));
  EXPECT_TRUE(Throws(ErrorCode::TypeMismatch, [&] { s->SpreadFormula("wide"); }));
}

// One row per way of laying the spread on the quote 1.2000 / 1.2003 at four
// decimals: the forms without arguments use the symbol's own Spread,
// SourcePlus and ClientPriceOffset, the forms with arguments the row's.
struct SpreadCase {
  const char* name;
  SpreadCalTypeEnum type;
  double ask;
  Variant spread;
  int16_t spread_offset, source_plus, price_offset, client_offset;
  double bid_own, ask_own;
  Variant arg_spread;
  int16_t arg_source_plus, arg_offset;
  double bid_arg, ask_arg;
};

TEST(SymbolPricesWithSpread, EveryPlacementOfSourceAndFixedSpreads) {
  const SpreadCase cases[] = {
      // The bid moves only by the offsets (unrounded); the whole plus goes to the ask.
      {"bid placement, source", FromBidSpread, 1.2003, Null, 0, 2, 1, 1, 1.2002, 1.2007, Null,
       3, -1, 1.2, 1.2006},
      // An odd plus: ask +floor(SP/2), bid -ceil(SP/2); a negative one mirrors it.
      {"average, source", FromAvgSpread, 1.2003, Null, 0, 3, 0, 0, 1.1998, 1.2004, Null, 4, 0,
       1.1998, 1.2005},
      {"average, negative plus", FromAvgSpread, 1.2003, Null, 0, -3, 0, 0, 1.2001, 1.2001,
       Null, 0, 0, 1.2, 1.2003},
      // A fixed spread builds the ask from the bid, whatever the stored ask;
      // the own forms count SpreadOffset twice, the argument forms once.
      {"bid placement, fixed", FromBidSpread, 1.3, 3, 1, 0, 0, 0, 1.2, 1.2005, 3, 0, 0, 1.2,
       1.2004},
      // Around the mid 1.2002: 5 pips own (bid -3, ask +2), 4 pips with arguments.
      {"average, fixed", FromAvgSpread, 1.2004, 3, 1, 0, 0, 0, 1.1999, 1.2004, 3, 0, 0, 1.2,
       1.2004},
  };
  for (const SpreadCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto s = MakeSymbol(-4, 1.2000, c.ask);
    s->SpreadType(c.type);
    s->Spread(c.spread);
    s->SpreadOffset(c.spread_offset);
    s->SourcePlus(c.source_plus);
    s->PriceOffset(c.price_offset);
    s->ClientPriceOffset(c.client_offset);
    EXPECT_DOUBLE_EQ(s->BidWithSpread(), c.bid_own);
    EXPECT_DOUBLE_EQ(s->AskWithSpread(), c.ask_own);
    EXPECT_DOUBLE_EQ(s->BidWithSpread2(c.arg_spread, c.arg_source_plus, c.arg_offset), c.bid_arg);
    EXPECT_DOUBLE_EQ(s->AskWithSpread2(c.arg_spread, c.arg_source_plus, c.arg_offset), c.ask_arg);
    // The pricing path's form, with the spread read out of its variant.
    const std::optional<double> pips =
        c.arg_spread.IsNull() ? std::nullopt : std::optional<double>(c.arg_spread.NumberValue());
    EXPECT_EQ(s->ClosePriceWithSpreadPips(pips, c.arg_source_plus, c.arg_offset, BuyType),
              c.bid_arg);
    EXPECT_EQ(s->ClosePriceWithSpreadPips(pips, c.arg_source_plus, c.arg_offset, SellType),
              s->ClosePriceWithSpread2(c.arg_spread, c.arg_source_plus, c.arg_offset, SellType));
  }
}

TEST(SymbolPricesWithSpread, PipsFormEmptySpreadAndOffsetOverflow) {
  auto s = MakeSymbol(-4, 1.2000, 1.2003);
  s->SpreadType(FromBidSpread);
  s->SpreadOffset(2);
  EXPECT_EQ(s->ClosePriceWithSpreadPips(0.0, 0, 0, SellType), 1.2002);
  EXPECT_EQ(s->ClosePriceWithSpread2(Variant(), 0, 0, SellType), 1.2002);
  // No spread at all: the source ask widened by the source plus.
  EXPECT_EQ(s->ClosePriceWithSpreadPips(std::nullopt, 1, 0, SellType), 1.2004);
  // An offset sum beyond 16 bits is an overflow, in either direction.
  s->PriceOffset(32767);
  EXPECT_TRUE(
      Throws(ErrorCode::Overflow, [&] { s->ClosePriceWithSpreadPips(0.0, 0, 1, BuyType); }));
  EXPECT_TRUE(Throws(ErrorCode::Overflow, [&] { s->BidWithSpread2(Null, 0, 1); }));
  s->PriceOffset(-32768);
  EXPECT_TRUE(Throws(ErrorCode::Overflow, [&] { s->AskWithSpread2(Null, 0, -1); }));
  EXPECT_NO_THROW(s->AskWithSpread2(Null, 0, 1));
  // The unit symbol is 1 whatever the spread.
  s->ID(1);
  EXPECT_EQ(s->ClosePriceWithSpreadPips(5.0, 0, 0, SellType), 1.0);
}

// The prices with a spread are kept between calls; after any change of the
// symbol each must be what a new symbol given the same changes works out.
// Two symbols are asked with the same arguments, so that their kept prices
// meet in the same places.
TEST(SymbolPricesWithSpread, KeptPricesFollowEveryChange) {
  using Change = std::function<void(CSymbol&)>;
  std::mt19937 random(11);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  std::vector<Change> changes[2];
  std::shared_ptr<CSymbol> kept[2] = {std::make_shared<CSymbol>(), std::make_shared<CSymbol>()};
  auto apply = [&](int which, Change change) {
    change(*kept[which]);
    changes[which].push_back(std::move(change));
  };
  for (int which : {0, 1}) {
    apply(which, [which](CSymbol& s) { s.ID(7 + which); });
    apply(which, [](CSymbol& s) { s.PipLocation(-4); });
  }
  const std::optional<double> spreads[] = {std::nullopt, 0.0, 3.0, 4.5};
  for (int step = 0; step < 300; ++step) {
    const int which = pick(2);
    const double price = 1.2 + pick(40) * 0.00013;
    switch (pick(6)) {
      case 0: apply(which, [price](CSymbol& s) { s.Bid(price); }); break;
      case 1: apply(which, [price](CSymbol& s) { s.Ask(price); }); break;
      case 2: apply(which, [v = pick(5) - 2](CSymbol& s) { s.SpreadOffset(int16_t(v)); }); break;
      case 3: apply(which, [v = pick(5) - 2](CSymbol& s) { s.PriceOffset(int16_t(v)); }); break;
      case 4:
        apply(which, [v = pick(2)](CSymbol& s) {
          s.SpreadType(v ? FromBidSpread : FromAvgSpread);
        });
        break;
      default: apply(which, [v = pick(3)](CSymbol& s) { s.PipLocation(int16_t(-2 - v)); });
    }
    CSymbol fresh[2];
    for (int w : {0, 1}) {
      for (const Change& change : changes[w]) change(fresh[w]);
    }
    for (int ask = 0; ask < 8; ++ask) {
      const std::optional<double> spread = spreads[pick(4)];
      const auto source_plus = static_cast<int16_t>(pick(3));
      const auto offset = static_cast<int16_t>(pick(3) - 1);
      const auto side = pick(2) ? BuyType : SellType;
      for (int w : {0, 1}) {
        SCOPED_TRACE(testing::Message() << "step " << step << " symbol " << w);
        EXPECT_EQ(kept[w]->ClosePriceWithSpreadPips(spread, source_plus, offset, side),
                  fresh[w].ClosePriceWithSpreadPips(spread, source_plus, offset, side));
        EXPECT_EQ(kept[w]->AskWithSpread2(Null, source_plus, offset),
                  fresh[w].AskWithSpread2(Null, source_plus, offset));
      }
    }
  }
  // Symbols given the same calls share their price stamps; more of them
  // than there are kept places must still each get their own price.
  std::vector<std::unique_ptr<CSymbol>> many;
  for (int i = 0; i < 200; ++i) {
    many.push_back(std::make_unique<CSymbol>());
    many.back()->ID(9);
    many.back()->PipLocation(-4);
    many.back()->Bid(1.2 + i * 0.0001);
    many.back()->Ask(1.2002 + i * 0.0001);
  }
  for (int round = 0; round < 2; ++round) {
    double last = 0;
    for (const auto& s : many) {
      const double ask = s->AskWithSpread2(Null, 1, 0);
      EXPECT_GT(ask, last) << "round " << round;
      EXPECT_NEAR(ask, s->Ask() + 0.0001, 1e-9);
      last = ask;
    }
  }
}

TEST(SymbolPricesWithSpread, DirectionPicksTheSide) {
  auto s = MakeSymbol(-4, 1.2000, 1.2003);
  s->SourcePlus(2);
  // A buy deals at the ask and closes at the bid; every other type the reverse.
  EXPECT_EQ(s->PriceWithSpread(BuyType), 1.2005);
  EXPECT_EQ(s->PriceWithSpread2(3, 0, 0, BuyStopType), 1.2);
  EXPECT_EQ(s->ClosePriceWithSpread(SellType), 1.2005);
  EXPECT_EQ(s->ClosePriceWithSpread2(Null, 0, 0, SellType), 1.2003);
  EXPECT_EQ(s->ClosePriceWithSpread2(Null, 0, 0, BuyType), 1.2);
  EXPECT_EQ(s->Price(BuyType), 1.2003);
  EXPECT_EQ(s->Price(SellStopType), 1.2);
  EXPECT_EQ(s->ClosePrice(BuyType), Variant(1.2));
  EXPECT_NEAR(s->BidAskSpread(), 0.0003, 1e-12);
}

TEST(SymbolChanges, NetAndPercentChangeAgainstPreviousClose) {
  auto s = MakeSymbol(-4, 1.2100, 1.2104);
  EXPECT_EQ(s->PercentChange(), 0);
  s->DayClosePrice(1.1);
  s->ClientPriceOffset(10);
  EXPECT_NEAR(s->NetChange(), 0.11, 1e-12);
  EXPECT_NEAR(s->NetChangeWithSpread(), 0.111, 1e-12);
  EXPECT_NEAR(s->PercentChange(), 0.1, 1e-12);
}

class SymbolDealProfit : public ::testing::Test {
 protected:
  SymbolDealProfit() {
    m_s->PriceCase(1);
    m_s->RefPriceCase(1);
    m_s->Factor(100000);
  }
  double Profit(double open, double close, OperationTypeEnum side, CommCalcTypeEnum comm,
                double ref_price = -1.0, bool with_comm = true) {
    return m_s->DealProfit(open, close, 2, side, 7, -5, comm, ref_price, with_comm).NumberValue();
  }
  std::shared_ptr<CSymbol> m_s = MakeSymbol(-4, 1.2000, 1.2003);
};

TEST_F(SymbolDealProfit, SignCommissionAndReciprocalCases) {
  EXPECT_NEAR(Profit(1.2, 1.201, BuyType, ON_OPEN_TYPE, 1), 200, 1e-6);
  EXPECT_NEAR(Profit(1.2, 1.201, SellType, ON_OPEN_TYPE, 1), -200, 1e-6);
  EXPECT_NEAR(Profit(1.2, 1.201, BuyType, ON_CLOSE_TYPE, 1), 200 - 5 + 7, 1e-6);
  EXPECT_NEAR(Profit(1.2, 1.201, BuyType, ON_CLOSE_TYPE, 1, false), 200, 1e-6);
  EXPECT_NEAR(Profit(1.2, 1.201, BuyType, static_cast<CommCalcTypeEnum>(0), 1), 200, 1e-6);
  // Reciprocal price and reference cases, where the reciprocal of 0 is 0.
  m_s->PriceCase(2);
  m_s->Factor(1);
  // (1/125 - 1/100) x 1 x 2 lots = -0.004
  EXPECT_NEAR(Profit(100, 125, BuyType, ON_OPEN_TYPE, 1), -0.004, 1e-15);
  EXPECT_NEAR(Profit(0, 125, BuyType, ON_OPEN_TYPE, 1), 0.016, 1e-15);  // C(0) = 0
  m_s->PriceCase(1);
  m_s->RefPriceCase(2);
  EXPECT_NEAR(Profit(1, 1.5, BuyType, ON_OPEN_TYPE, 4), 0.25, 1e-15);
  EXPECT_EQ(Profit(1, 1.5, BuyType, ON_OPEN_TYPE, 0), 0);  // R(0) = 0
}

TEST_F(SymbolDealProfit, DefaultReferencePriceIsTheReferenceSymbolsClosePrice) {
  EXPECT_TRUE(
      Throws(ErrorCode::ObjectRequired, [&] { Profit(1.2, 1.201, BuyType, ON_OPEN_TYPE); }));
  auto ref = MakeSymbol(-2, 1.50, 1.60);
  ref->SourcePlus(10);
  m_s->RefSymbol(ref);
  EXPECT_NEAR(Profit(1.2, 1.201, BuyType, ON_OPEN_TYPE), 200 * 1.5, 1e-6);  // bid
  EXPECT_NEAR(Profit(1.2, 1.201, SellType, ON_OPEN_TYPE), -200 * 1.7, 1e-6);  // ask + 10
  m_s->Deallocate();
  EXPECT_EQ(m_s->RefSymbol(), nullptr);
}

TEST(SymbolSettings, SetterRulesAndConversions) {
  CSymbol s;
  s.MinLots(0);
  EXPECT_EQ(s.MinLots(), 0.1);
  s.PipLocation("-3");
  EXPECT_EQ(s.PipLocation(), Variant(-3));
  EXPECT_TRUE(Throws(ErrorCode::TypeMismatch, [&] { s.PipLocation("abc"); }));
  EXPECT_TRUE(Throws(ErrorCode::Overflow, [&] { s.PipLocation(40000); }));
  EXPECT_EQ(s.PipLocation(), Variant(-3));
  s.RefID(2.5);  // half to even
  EXPECT_EQ(s.RefID(), Variant(2));
  s.RefID(Variant());  // an empty value converts as 0, like TickPips
  EXPECT_EQ(s.RefID(), Variant(0));
  s.PipLocation(Variant());
  EXPECT_EQ(s.PipLocation(), Variant(0));
  EXPECT_TRUE(Throws(ErrorCode::TypeMismatch, [&] { s.TickPips("x"); }));
}

TEST(SymbolStaleQuotes, QuoteAgeAgainstTheLimitInWholeSeconds) {
  auto clock = std::make_shared<FixedClock>(DateTime::FromParts(2026, 12, 5, 10, 0, 0));
  ScopedClock scope(clock);
  CSymbol s;
  EXPECT_TRUE(s.ValidateStopTradeIfNoPrices("garbage"));
  s.StopTradeIfNoPrices(true);
  EXPECT_TRUE(s.ValidateStopTradeIfNoPrices("05/12/2026 09:59:00"));
  EXPECT_FALSE(s.ValidateStopTradeIfNoPrices("05/12/2026 09:58:59"));
  EXPECT_FALSE(s.ValidateStopTradeIfNoPrices("05/12/2026 10:01:01"));
  EXPECT_FALSE(s.ValidateStopTradeIfNoPrices("garbage"));
}

TEST(SymbolLifetime, DeallocateBreaksReferenceCycles) {
  std::weak_ptr<CSymbol> watch_a, watch_b;
  {
    auto a = std::make_shared<CSymbol>();
    auto b = std::make_shared<CSymbol>();
    a->RefSymbol(b);
    b->RefSymbol(a);
    a->Ref1(b);
    watch_a = a;
    watch_b = b;
    a->Deallocate();
    EXPECT_EQ(a->SymbolTradingTimes(), nullptr);
    EXPECT_EQ(a->Ref1(), nullptr);
    b->Deallocate();
  }
  EXPECT_TRUE(watch_a.expired());
  EXPECT_TRUE(watch_b.expired());
}

TEST(SymbolQuoteTime, TodayJoinedWithTheQuoteTimeMovedTowardsThePresent) {
  auto clock = std::make_shared<FixedClock>();
  ScopedClock scope(clock);
  CSymbol s;
  struct {
    DateTime now;
    const char *quote_time, *expected;
  } const cases[] = {
      {DateTime::FromParts(2026, 12, 5, 12, 0, 0), "10:15:30", "05/12/2026 10:15:30"},
      // Exactly 10 hours ahead is not moved; a second more is yesterday's.
      {DateTime::FromParts(2026, 12, 5, 12, 0, 0), "22:00:00", "05/12/2026 22:00:00"},
      {DateTime::FromParts(2026, 12, 5, 12, 0, 0), "22:00:01", "04/12/2026 22:00:01"},
      {DateTime::FromParts(2026, 12, 5, 0, 30, 0), "23:59:10", "04/12/2026 23:59:10"},
      {DateTime::FromParts(2026, 12, 31, 23, 50, 0), "00:05:00", "01/01/2027 00:05:00"},
  };
  for (const auto& c : cases) {
    clock->Set(c.now);
    s.LastQuteTime(c.quote_time);
    EXPECT_EQ(s.LastQuteDateTime(), c.expected) << c.quote_time;
  }
  s.Deallocate();
  EXPECT_TRUE(Throws(ErrorCode::ObjectRequired, [&] { s.LastQuteDateTime(); }));
}

// 1.23445 is binary a hair below the half.
TEST(PriceText, HalfAwayFromZeroOnTheDecimalForm) {
  const std::tuple<double, int, const char*> cases[] = {
      {1.23445, 4, "1.2345"}, {0.5, 0, "1"},          {-0.5, 0, "-1"},
      {2.675, 2, "2.68"},     {9.99995, 4, "10.0000"}, {0.00005, 4, "0.0001"},
      {-0.00004, 4, "0.0000"}, {5e-324, 3, "0.000"},  {123456789012.345, 2, "123456789012.35"},
      {1e20, 2, "100000000000000000000.00"}};
  for (const auto& [x, decimals, text] : cases) EXPECT_EQ(FixedHalfAwayText(x, decimals), text);
}

TEST(PriceRounding, FastPathRefusesHalvesAndOutOfRangeInput) {
  double out = 42;
  for (auto [x, decimals] : {std::pair{1.23445, 4}, {1.5, 16}, {1e12, 4}, {std::nan(""), 2}})
    EXPECT_FALSE(TryRoundHalfAwayFast(x, decimals, out)) << x;
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
}  // namespace orvane
