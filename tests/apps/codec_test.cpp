// The message layouts of the reference hosts: rows read back to what was
// written (numbers exactly), and rows that do not read are refused.

#include "messages.h"
#include "rows.h"

#include <gtest/gtest.h>

#include "orvane/protocol/data_protocol.h"
#include "orvane/protocol/process.h"
#include "orvane/vocabulary/operation_type_enum.h"
#include "orvane/vocabulary/orders_type_enum.h"

namespace orvane::apps::wire {
namespace {

TEST(WireTest, NumbersReadBackExactly) {
  for (double value : {1.1962, 0.1 + 0.2, -1000.25, 123456789.125, 1e-7, 0.0}) {
    double read = -1;
    ASSERT_TRUE(read_number(number(value), read)) << number(value);
    EXPECT_EQ(read, value);
  }
  double untouched = 7;
  for (const char* bad : {"", "1.5x", "nan", "inf", " 1", "1,5"}) {
    EXPECT_FALSE(read_number(bad, untouched)) << bad;
  }
  EXPECT_EQ(untouched, 7);
  int32_t integer = 0;
  EXPECT_FALSE(read_integer("99999999999", integer));
  EXPECT_FALSE(read_integer("12.0", integer));
}

TEST(WireTest, RowsReadBackToWhatWasWritten) {
  const model::Symbol s{9, "XAUUSD", -2, 100, 1, 1, 1, 2050, 1900.15, 1900.65,
                        "FRIDAY", "22:00", "SUNDAY", "22:00", "", ""};
  model::Symbol back;
  ASSERT_TRUE(read_symbol_row(symbol_row(s, s.bid, s.ask), back));
  EXPECT_EQ(back, s);

  const model::Account a{10, 100, 1, false, true, {5, -1000, -123.45, 2000, 300, 7, -0.25}};
  model::Account a_back;
  ASSERT_TRUE(read_account_row(account_row(a), a_back));
  EXPECT_EQ(a_back, a);

  const model::Client c{10, "1,,0,0,0,0,100,0.01,0", 2, 50, 2, false, "Alice Smith",
                        true, true, 1, 0, false, true};
  model::Client c_back;
  ASSERT_TRUE(read_client_row(client_row(c), c_back));
  EXPECT_EQ(c_back.name, "Alice Smith");
  EXPECT_EQ(c_back.parameters, "1,,0,0,0,0,100,0.01,0");

  // Positions and orders travel as the library writes their rows.
  const model::Position p{10, 100, 7, "03/03/2027 09:00:00", SellType, 1.5, 2, 1.23456,
                          -2.75, "from order 8"};
  model::Position p_back;
  const std::string position_row = wire::position_row(p, "EURUSD", true, false);
  EXPECT_EQ(split_cells(position_row)[4], "Sell");
  EXPECT_EQ(split_cells(position_row)[8], "M");  // a stop-loss guards it
  ASSERT_TRUE(read_position_row(position_row, p_back));
  EXPECT_EQ(p_back, p);

  model::Order o{20, 200, 8, "03/03/2027 09:00:00", -2, 0.5, 2, LimitOrdersType, 1.1820,
                 0, 0, 0, 0, "book", "05/03/2027 17:00:00"};
  model::Order o_back;
  ASSERT_TRUE(read_order_row(order_row(o), o_back));
  EXPECT_EQ(o_back, o);
  o.kind = SlTpType, o.position = 7, o.sl = 1.19, o.tp = 1.25, o.price = 0;
  ASSERT_TRUE(read_order_row(order_row(o), o_back));
  EXPECT_EQ(o_back, o);

}

TEST(WireTest, MalformedRowsAreRefused) {
  model::Symbol s;
  EXPECT_FALSE(read_symbol_row("9R,@XAUUSD", s));
  model::Account a;
  const std::string good = account_row(a);
  EXPECT_TRUE(read_account_row(good, a));
  EXPECT_FALSE(read_account_row(good + "R,@1", a));
  std::string bad_flag = good;
  bad_flag.replace(bad_flag.size() - 1, 1, "2");  // dont_liquidate must be 0 or 1
  EXPECT_FALSE(read_account_row(bad_flag, a));
  Figures f;
  EXPECT_FALSE(read_figures_row("1R,@2R,@3R,@xR,@5", f));
  model::Order o;
  EXPECT_FALSE(read_order_row("20R,@8", o));
  model::Position p;
  EXPECT_FALSE(read_position_row("1R,@2R,@3", p));
  EXPECT_FALSE(read_position_row(position_row(p, "", false, false).replace(0, 1, "x"), p));
}

TEST(WireTest, QuoteTimes) {
  DateTime time;
  ASSERT_TRUE(read_time("03/03/2027 12:00:01", time));
  EXPECT_EQ(time, DateTime::FromParts(2027, 3, 3, 12, 0, 1));
  for (const char* bad : {"31/02/2027 12:00:00", "03/03/2027 24:00:00", "3/3/2027 12:00:00",
                          "03-03-2027 12:00:00"}) {
    EXPECT_FALSE(read_time(bad, time)) << bad;
  }
  EXPECT_FALSE(cell_safe("a+3!b"));
  EXPECT_TRUE(cell_safe("Alice Smith"));
}

// A message goes out framed by the library and is read back whole.
template <typename Message>
Message RoundTrip(const std::string& text) {
  CDataProtocol split;
  std::vector<std::string> messages;
  EXPECT_EQ(split.SplitBuffer(text, messages), 1);
  CProcess process;
  process.DefineProcessByCommand(5, messages.at(1));
  EXPECT_EQ(process.TokenID(), Message::kToken);
  Message back;
  EXPECT_TRUE(decode(process, back));
  return back;
}

TEST(WireTest, MessagesReadBackToWhatWasSent) {
  const Price price =
      RoundTrip<Price>(response(Price{2, 1.08491, 1.0851, "03/03/2027 12:00:01", 7}));
  EXPECT_EQ(price.bid, 1.08491);
  EXPECT_EQ(price.ask, 1.0851);
  EXPECT_EQ(price.time, "03/03/2027 12:00:01");
  EXPECT_EQ(price.sequence, 7);

  const LogOn logon = RoundTrip<LogOn>(request(-1, LogOn{"alice", "pass word"}));
  EXPECT_EQ(logon.password, "pass word");

  const model::PositionClosed closed{10, 100, 7, 1.185, 1, -150.5, "03/03/2027 12:00:03",
                                     "stop-loss"};
  EXPECT_EQ(RoundTrip<PositionClosedPush>(response(PositionClosedPush{closed})).closed, closed);
  const model::TotalsBooked booked{10, 100, {5, -1000, 12.34, 2000, 300, -7, 0.01}};
  EXPECT_EQ(RoundTrip<TotalsPush>(response(TotalsPush{booked})).booked, booked);
  const model::Position p{10, 100, 7, "03/03/2027 09:00:00", BuyType, 0.25, 2, 1.2, 0, ""};
  EXPECT_EQ(RoundTrip<PositionOpenedPush>(response(PositionOpenedPush{p, "EURUSD", false, true}))
                .position,
            p);
  const model::HistoryEntry h{10, 100, 7, "03/03/2027 12:00:03", 2, 0.4, SellType,
                             "03/03/2027 12:00:00", 1.2, 1.2002, 1.2, -0.35, 1, -9.2, "client"};
  EXPECT_EQ(RoundTrip<HistoryPush>(response(HistoryPush{h, "EURUSD"})).entry, h);
  const OpenRequest open =
      RoundTrip<OpenRequest>(request(5, OpenRequest{3, 100, 2, SellType, 0.25, 1.2}));
  EXPECT_EQ(open.direction, SellType);
  EXPECT_EQ(open.lots, 0.25);
  const Refusal refusal =
      RoundTrip<Refusal>(response(Refusal{kNotAllowed, "Not allowed: x", GET_ACCOUNTS_TOKEN}));
  EXPECT_EQ(refusal.code, kNotAllowed);
  EXPECT_EQ(refusal.token, GET_ACCOUNTS_TOKEN);
}

TEST(WireTest, AMessageMissingOrMisreadingAParameterIsRefusedWhole) {
  CProcess short_price;
  short_price.DefineProcessByCommand(5, response_text(MARKET_DATA_TOKEN, {"2", "1.1", "1.2"}));
  Price price{9, 1, 1, "kept", 3};
  EXPECT_FALSE(decode(short_price, price));
  EXPECT_EQ(price.symbol, 9);  // untouched
  CProcess bad_number;
  bad_number.DefineProcessByCommand(
      5, response_text(MARKET_DATA_TOKEN, {"2", "1.1x", "1.2", "t", "1"}));
  EXPECT_FALSE(decode(bad_number, price));
  EXPECT_EQ(price.time, "kept");
}

}  // namespace
}  // namespace orvane::apps::wire
