// The message layouts of the reference hosts: rows read back to what was
// written (numbers exactly), and rows that do not read are refused.

#include "wire.h"

#include <gtest/gtest.h>

namespace orvane::apps::wire {
namespace {

TEST(WireTest, NumbersReadBackExactly) {
  for (double value : {1.1962, 0.1 + 0.2, -1000.25, 123456789.125, 1e-7, 0.0}) {
    double read = -1;
    ASSERT_TRUE(ReadNumber(Number(value), read)) << Number(value);
    EXPECT_EQ(read, value);
  }
  double untouched = 7;
  for (const char* bad : {"", "1.5x", "nan", "inf", " 1", "1,5"}) {
    EXPECT_FALSE(ReadNumber(bad, untouched)) << bad;
  }
  EXPECT_EQ(untouched, 7);
  int32_t integer = 0;
  EXPECT_FALSE(ReadInteger("99999999999", integer));
  EXPECT_FALSE(ReadInteger("12.0", integer));
}

TEST(WireTest, RowsReadBackToWhatWasWritten) {
  SymbolRecord s;
  s.id = 9;
  s.name = "XAUUSD";
  s.pip_location = -2;
  s.factor = 100;
  s.price_case = 1;
  s.ref_id = 1;
  s.ref_price_case = 1;
  s.margin_per_lot = 2050;
  s.close_day = "FRIDAY", s.close_time = "22:00", s.open_day = "SUNDAY", s.open_time = "22:00";
  SymbolRecord back;
  ASSERT_TRUE(ReadSymbolRow(SymbolRow(s, 1900.15, 1900.65), back));
  EXPECT_EQ(back.name, "XAUUSD");
  EXPECT_EQ(back.bid, 1900.15);
  EXPECT_EQ(back.ask, 1900.65);
  EXPECT_EQ(back.break_close, "");
  EXPECT_EQ(back.margin_per_lot, 2050);

  AccountRecord a;
  a.client = 10, a.account = 100, a.type = 1, a.deposit = 2000, a.net_profit = -123.45;
  a.margin_requirement = -1000, a.dont_liquidate = true;
  AccountRecord a_back;
  ASSERT_TRUE(ReadAccountRow(AccountRow(a), a_back));
  EXPECT_EQ(a_back.net_profit, -123.45);
  EXPECT_EQ(a_back.margin_requirement, -1000);
  EXPECT_TRUE(a_back.dont_liquidate);

  ClientRecord c;
  c.id = 10, c.liquidation_type = 2, c.liquidation_point = 50, c.comm_calc_type = 2;
  c.name = "Alice Smith";
  ClientRecord c_back;
  std::string parameters;
  ASSERT_TRUE(ReadClientRow(ClientRow(c, "1,,0,0,0,0,100,0.01,0"), c_back, parameters));
  EXPECT_EQ(c_back.name, "Alice Smith");
  EXPECT_EQ(parameters, "1,,0,0,0,0,100,0.01,0");

  int32_t client = 0, account = 0;
  std::string order;
  ASSERT_TRUE(ReadOrderRow(OrderRow(20, 200, "8R,@x R,@1"), client, account, order));
  EXPECT_EQ(client, 20);
  EXPECT_EQ(account, 200);
  EXPECT_EQ(order, "8R,@x R,@1");

  Totals t{10, 100, 5, -1000, 12.34, 2000, 0, 0, 0};
  Totals t_back;
  ASSERT_TRUE(ReadTotals(TotalsParameters(t), t_back));
  EXPECT_EQ(t_back.net_profit, 12.34);
  EXPECT_EQ(t_back.margin_requirement, -1000);
}

TEST(WireTest, MalformedRowsAreRefused) {
  SymbolRecord s;
  EXPECT_FALSE(ReadSymbolRow("9R,@XAUUSD", s));
  AccountRecord a;
  const std::string good = AccountRow(a);
  EXPECT_TRUE(ReadAccountRow(good, a));
  EXPECT_FALSE(ReadAccountRow(good + "R,@1", a));
  std::string bad_flag = good;
  bad_flag.replace(bad_flag.size() - 1, 1, "2");  // dont_liquidate must be 0 or 1
  EXPECT_FALSE(ReadAccountRow(bad_flag, a));
  Figures f;
  EXPECT_FALSE(ReadFiguresRow("1R,@2R,@3R,@xR,@5", f));
  int32_t client = 0, account = 0;
  std::string order;
  EXPECT_FALSE(ReadOrderRow("20R,@8", client, account, order));
  Totals t;
  EXPECT_FALSE(ReadTotals({"1", "2", "3"}, t));
}

TEST(WireTest, ParametersTakeSentPricesAsTheyStand) {
  EXPECT_EQ(PricesAsSent("1,0,0,0,0,0,100,0.01,0,2,2,1,3,4,5,100,0.01,-2"),
            "1,,0,0,0,0,100,0.01,0,2,,0,3,4,5,100,0.01,0");
}

TEST(WireTest, QuoteTimes) {
  DateTime time;
  ASSERT_TRUE(ReadTime("03/03/2027 12:00:01", time));
  EXPECT_EQ(time, DateTime::FromParts(2027, 3, 3, 12, 0, 1));
  for (const char* bad : {"31/02/2027 12:00:00", "03/03/2027 24:00:00", "3/3/2027 12:00:00",
                          "03-03-2027 12:00:00"}) {
    EXPECT_FALSE(ReadTime(bad, time)) << bad;
  }
  EXPECT_FALSE(CellSafe("a+3!b"));
  EXPECT_TRUE(CellSafe("Alice Smith"));
}

}  // namespace
}  // namespace orvane::apps::wire
