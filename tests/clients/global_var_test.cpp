#include "orvane/clients/global_var.h"

#include <gtest/gtest.h>

#include "orvane/core/number_format.h"

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

TEST(GlobalVarTest, ShortOrEmptyTextSetsOnlyThePositionsPresent) {
  CGlobalVar g;
  Preset(g);
  g.SetValues("2,,5");
  EXPECT_FALSE(g.MultiSessionsAllowed());  // 2 is not 1
  EXPECT_EQ(g.PriceChangedTimer(), 5);
  EXPECT_EQ(g.ValidLotsLocation(), 3);
  EXPECT_EQ(g.WebSecurityID(), "old");
  g.SetValues("");  // sets nothing
  EXPECT_EQ(g.PriceChangedTimer(), 5);
}

TEST(GlobalVarTest, NumbersAreLeadingNumbersRoundedHalfToEven) {
  CGlobalVar g;
  Preset(g);
  g.SetValues(" 1.0,,2.5,3.5,1abc,  60.5 ,61.5,  key ,-2.5");
  EXPECT_TRUE(g.MultiSessionsAllowed());
  EXPECT_EQ(g.PriceChangedTimer(), 2);
  EXPECT_EQ(g.ValidLotsLocation(), 4);
  EXPECT_TRUE(g.CustumizeTradeMsg());
  EXPECT_EQ(g.ClientConnectTimer(), 60);
  EXPECT_EQ(g.ClientTimeoutTimer(), 62);
  EXPECT_EQ(g.WebSecurityID(), "  key ");  // texts are not trimmed
  EXPECT_EQ(g.ServerGMT(), -2.5);
  g.SetValues("yes,,abc");  // no number reads 0
  EXPECT_FALSE(g.MultiSessionsAllowed());
  EXPECT_EQ(g.PriceChangedTimer(), 0);
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

TEST(GlobalVarTest, OverflowStopsTheAssignmentAtThatPosition) {
  CGlobalVar g;
  Preset(g);
  g.SetValues("0,,32767,32768,0,1,2,new,4");
  EXPECT_EQ(g.PriceChangedTimer(), 32767);
  EXPECT_EQ(g.ValidLotsLocation(), 3);  // 32768 overflows a 16-bit value
  EXPECT_TRUE(g.CustumizeTradeMsg());
  EXPECT_EQ(g.WebSecurityID(), "old");

  g.SetValues("1,,1,1,1,2147483648,5");
  EXPECT_EQ(g.ValidLotsLocation(), 1);
  EXPECT_EQ(g.ClientConnectTimer(), 11);
  EXPECT_EQ(g.ClientTimeoutTimer(), 13);
}

TEST(GlobalVarTest, PositionsAfterTheNinthAreIgnored) {
  CGlobalVar g;
  g.SetValues("1,,1,1,1,1,1,id,1.5,99999999999,zzz");
  EXPECT_EQ(g.WebSecurityID(), "id");
  EXPECT_EQ(g.ServerGMT(), 1.5);
}

}  // namespace
}  // namespace orvane
