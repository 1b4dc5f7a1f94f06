#include "orvane/clients/global_var.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "orvane/core/number_format.h"
#include "orvane/core/variant.h"

namespace orvane {
namespace {

// A settings object whose every property holds a recognisable value, to see
// which ones a call leaves alone.
void Preset(CGlobalVar& g) {
  g.MultiSessionsAllowed(true);
  g.PriceChangedTimer(7);
  g.ValidLotsLocation(3);
  g.CustumizeTradeMsg(true);
  g.ClientConnectTimer(11);
  g.ClientTimeoutTimer(13);
  g.WebSecurityID("old");
}

TEST(GlobalVarTest, DefaultLotsFollowTheValidLotsLocation) {
  CGlobalVar g;
  g.SetValues("1,x,30,2,0,60,120,abc,3");
  EXPECT_FALSE(g.CustumizeTradeMsg());
  EXPECT_DOUBLE_EQ(g.DefaultLots(), 0.01);
  g.ValidLotsLocation(0);
  EXPECT_EQ(g.DefaultLots(), 1.0);
}

// The eight settings the text reaches, in the order of their positions.
std::vector<Variant> ValuesOf(const CGlobalVar& g) {
  return {g.MultiSessionsAllowed(), g.PriceChangedTimer(),  g.ValidLotsLocation(),
          g.CustumizeTradeMsg(),    g.ClientConnectTimer(), g.ClientTimeoutTimer(),
          g.WebSecurityID(),        g.ServerGMT()};
}

// Each text applied to the preset settings (ServerGMT starting at 0).
TEST(GlobalVarTest, EachPositionSetsItsPropertyOrStopsTheAssignment) {
  const std::pair<const char*, std::vector<Variant>> cases[] = {
      {"1,x,30,2,0,60,120,abc,3", {true, 30, 2, false, 60, 120, "abc", 3}},
      // A short text sets the positions present, an empty one nothing.
      {"2,,5", {false, 5, 3, true, 11, 13, "old", 0}},
      {"", {true, 7, 3, true, 11, 13, "old", 0}},
      // Leading numbers, integers rounded half to even, texts not trimmed.
      {" 1.0,,2.5,3.5,1abc,  60.5 ,61.5,  key ,-2.5", {true, 2, 4, true, 60, 62, "  key ", -2.5}},
      {"yes,,abc", {false, 0, 3, true, 11, 13, "old", 0}},  // no number reads 0
      // A number too large for its property leaves it and every later one.
      {"0,,32767,32768,0,1,2,new,4", {false, 32767, 3, true, 11, 13, "old", 0}},
      {"1,,1,1,1,2147483648,5", {true, 1, 1, true, 11, 13, "old", 0}},
      {"1,,1,1,1,1,1,id,1.5,99999999999,zzz", {true, 1, 1, true, 1, 1, "id", 1.5}},
  };
  for (const auto& [text, expected] : cases) {
    CGlobalVar g;
    Preset(g);
    g.SetValues(text);
    EXPECT_EQ(ValuesOf(g), expected) << "\"" << text << "\"";
  }
}

TEST(GlobalVarTest, DecimalPointIsADotWhateverTheLocalForm) {
  struct RestoreFormat {
    ~RestoreFormat() { SetNumberFormat(NumberFormat{}); }
  } restore;
  SetNumberFormat(NumberFormat{',', '.'});
  CGlobalVar g;
  g.SetValues("0,,,,,,,,2.5");
  EXPECT_EQ(g.ServerGMT(), 2.5);
  g.SetValues("0,,,,,,,,2,5");
  EXPECT_EQ(g.ServerGMT(), 2.0);  // the comma splits positions
}

}  // namespace
}  // namespace orvane
