#include "orvane/util/generals.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "orvane/core/clock.h"
#include "orvane/core/error.h"
#include "orvane/protocol/row.h"

namespace orvane {
namespace {

std::vector<std::string> Cells(const std::string& row_string) {
  CRow row;
  row.Add(row_string);
  std::vector<std::string> cells;
  for (int32_t i = 1; i <= row.Count(); ++i) cells.push_back(row.Item(i));
  return cells;
}

ErrorCode CodeOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.code();
  }
  ADD_FAILURE() << "no error was raised";
  return ErrorCode::InvalidArgument;
}

struct PosFields {
  int32_t client = -1, account = -1, ticket = -1, cur = -1;
  std::string time, sl, tp, name, method, note;
  OperationTypeEnum buy_sell = static_cast<OperationTypeEnum>(99);
  double lots = -1, price = -1, original = -1, interest = -1;
  int16_t checked = -1;
};

void SplitPos(CGenerals& g, const std::string& row, PosFields& f) {
  g.SplitPosRow(row, f.client, f.account, f.ticket, f.time, f.buy_sell, f.lots,
                f.cur, f.price, f.sl, f.tp, f.checked, f.original, f.name,
                f.interest, f.method, f.note);
}

class GeneralsTest : public ::testing::Test {
 protected:
  CGenerals g;
};

TEST_F(GeneralsTest, PositionRowCellsAndRoundTrip) {
  const std::string row = g.PosRowString(
      17, "  42abc", 1001, "05/03/2024 14:07:09", 1.5, 1.23456, " 7 ", 1.2345,
      Null, BuyType, 1, 2.5, "EURUSD", -0.75, "Dealer", Null);
  // The account is read by the Val rule; stop-loss is only a marker.
  EXPECT_EQ(Cells(row), (std::vector<std::string>{
                            "17", "42", "1001", "05/03/2024 14:07:09", "Buy",
                            "1.5", "7", "1.23456", "M", "", "1", "2.5",
                            "EURUSD", "-0.75", "Dealer", ""}));

  PosFields f;
  SplitPos(g, row, f);
  EXPECT_EQ((std::vector<int32_t>{f.client, f.account, f.ticket, f.buy_sell,
                                  f.cur, f.checked}),
            (std::vector<int32_t>{17, 42, 1001, BuyType, 7, 1}));
  EXPECT_EQ((std::vector<double>{f.lots, f.price, f.original, f.interest}),
            (std::vector<double>{1.5, 1.23456, 2.5, -0.75}));
  EXPECT_EQ((std::vector<std::string>{f.time, f.sl, f.tp, f.name, f.method, f.note}),
            (std::vector<std::string>{"05/03/2024 14:07:09", "M", "", "EURUSD",
                                      "Dealer", ""}));
}

TEST_F(GeneralsTest, PositionRowDirectionsAndEmptyNumbers) {
  // A buy stop is written as "Buy" and so reads back as a plain buy.
  std::string row = g.PosRowString(1, 2, 3, "t", "", 1, 4, 0, 0, BuyStopType, 0,
                                   1, "", 0, "", "note");
  std::vector<std::string> cells = Cells(row);
  EXPECT_EQ(cells[4], "Buy");
  EXPECT_EQ(cells[5], "");  // empty lots stay an empty cell
  EXPECT_EQ(cells[8], "");
  EXPECT_EQ(cells[15], "note");
  PosFields f;
  SplitPos(g, row, f);
  EXPECT_EQ(f.buy_sell, BuyType);
  EXPECT_DOUBLE_EQ(f.lots, 0);

  cells = Cells(g.PosRowString(1, 2, 3, "t", 1, 1, 4, 0, "0.5", SellStopType, 0,
                               1, "", 0, "", ""));
  EXPECT_EQ(cells[4], "Sell");
  EXPECT_EQ(cells[9], "M");
  // The operation type is read by the Val rule: 1.5 rounds to the even 2.
  cells = Cells(g.PosRowString(1, 2, 3, "t", 1, 1, 4, 0, 0, "1.5", 0, 1, "", 0,
                               "", ""));
  EXPECT_EQ(cells[4], "Buy");
  EXPECT_EQ(CodeOf([&] {
              g.PosRowString(1, 2, 3, "t", 1, 1, 4, 0, 0, 1e12, 0, 1, "", 0, "", "");
            }),
            ErrorCode::Overflow);
}

TEST_F(GeneralsTest, PositionRowBadCells) {
  const std::string good =
      g.PosRowString(1, 2, 3, "t", 1, 1, 4, 0, 0, BuyType, 0, 1, "", 0, "", "");
  PosFields f;
  // An integer cell with text raises a type mismatch naming it; the cells
  // before it are already read.
  std::string bad = good;
  bad.replace(bad.find("R,@3R,@"), 7, "R,@x3R,@");
  try {
    SplitPos(g, bad, f);
    FAIL() << "a ticket of x3 was accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), ErrorCode::TypeMismatch);
    EXPECT_NE(std::string(e.what()).find("x3"), std::string::npos);
  }
  EXPECT_EQ(f.client, 1);
  EXPECT_EQ(f.account, 2);
  EXPECT_EQ(f.ticket, -1);
  // Val cells read text as 0; a short row is an index error.
  PosFields g2;
  EXPECT_EQ(CodeOf([&] { SplitPos(g, "1R,@2R,@3", g2); }),
            ErrorCode::SubscriptOutOfRange);
  EXPECT_EQ(CodeOf([&] { SplitPos(g, "", g2); }), ErrorCode::SubscriptOutOfRange);
}

TEST_F(GeneralsTest, OrderRowRoundTrip) {
  const std::string row = g.OrderRowString(55, "05/03/2024 10:00:00", SellType,
                                           0.25, " 9 ", 1.1, Null, "  8", 1.05,
                                           Null, 2, Null);
  EXPECT_EQ(row,
            "55R,@05/03/2024 10:00:00R,@-1R,@0.25R,@9R,@1.1R,@R,@  8R,@1.05R,@"
            "R,@2R,@");
  std::string o, t, bs, lots, cur, price, op, io, sl, tp, status, note = "x";
  g.SplitOrderRow(row, o, t, bs, lots, cur, price, op, io, sl, tp, status, note);
  EXPECT_EQ((std::vector<std::string>{o, t, bs, lots, cur, price, op, io, sl,
                                      tp, status, note}),
            Cells(row));  // in cell order, untrimmed
  EXPECT_EQ(CodeOf([&] {
              g.SplitOrderRow("1R,@2", o, t, bs, lots, cur, price, op, io, sl,
                              tp, status, note);
            }),
            ErrorCode::SubscriptOutOfRange);
}

TEST_F(GeneralsTest, OrderAuditRowCarriesTheBuildTime) {
  auto clock = std::make_shared<FixedClock>(DateTime::FromParts(2024, 3, 5, 14, 7, 9));
  ScopedClock scoped(clock);
  const std::string row = g.OrdersAuditRowString(
      3, 4, LimitOrdersType, 77, 1, Null, Null, " 1.2 ", "1.3", 5, " 6", Null,
      "", SellStopType, "a note");
  const std::vector<std::string> cells = Cells(row);
  ASSERT_EQ(cells.size(), 16u);
  EXPECT_EQ(cells[5], "0");
  EXPECT_EQ(cells[7], "05/03/2024 14:07:09");
  EXPECT_EQ(cells[8], "1.2");
  EXPECT_EQ(cells[12], "");
  EXPECT_EQ(cells[14], "-2");

  clock->AdvanceSeconds(61);
  std::string out[16];
  g.SplitOrderAuditRow(
      g.OrdersAuditRowString(3, 4, SlTpType, 77, 1, 9, " 10 ", 11, 12, 13, 14,
                             15, 16, BuyType, "c"),
      out[0], out[1], out[2], out[3], out[4], out[5], out[6], out[7], out[8],
      out[9], out[10], out[11], out[12], out[13], out[14], out[15]);
  EXPECT_EQ(std::vector<std::string>(out, out + 16),
            (std::vector<std::string>{"3", "4", "3", "77", "1", "9", "10",
                                      "05/03/2024 14:08:10", "11", "12", "13",
                                      "14", "15", "16", "1", "c"}));
}

TEST_F(GeneralsTest, HistoryRowSkipsTheNote) {
  const std::string row = g.AccHistoryRowString(
      9001, "05/03/2024", "DP", 4, 0.5, BuyType, "04/03/2024", 1.1, 1.2, 100.5,
      -2, 0.25, 1, 1.15, Null, "GOLD", "Manual", "last cell");
  EXPECT_EQ(Cells(row), (std::vector<std::string>{
                            "9001", "05/03/2024", "DP", "4", "0.5", "1",
                            "04/03/2024", "1.1", "1.2", "100.5", "-2", "0.25",
                            "1", "1.15", "", "GOLD", "Manual", "last cell"}));
  std::string out[17];
  g.SplitHistoryRow(" 1 R,@ t R,@" + row.substr(row.find("DP")), out[0], out[1],
                    out[2], out[3], out[4], out[5], out[6], out[7], out[8],
                    out[9], out[10], out[11], out[12], out[13], out[14], out[15],
                    out[16]);
  // Trimmed, in cell order; the last output is the method, not the note.
  EXPECT_EQ(std::vector<std::string>(out, out + 17),
            (std::vector<std::string>{"1", "t", "DP", "4", "0.5", "1",
                                      "04/03/2024", "1.1", "1.2", "100.5", "-2",
                                      "0.25", "1", "1.15", "", "GOLD", "Manual"}));
}

TEST_F(GeneralsTest, ClosedPositions) {
  std::vector<std::string> a[10];
  for (auto& v : a) v = {"keep"};
  auto split = [&](const std::string& text) {
    return g.SplitClosesPos(text, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7],
                            a[8], a[9]);
  };
  EXPECT_EQ(split(""), 0);
  EXPECT_EQ(a[0], std::vector<std::string>{"keep"});

  std::string twenty;
  for (int i = 1; i <= 20; ++i) {
    if (i > 1) twenty += ',';
    twenty += std::to_string(i);
  }
  EXPECT_EQ(split(twenty), 2);
  for (auto& v : a) ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ(a[0][0], "");
  EXPECT_EQ(a[0][1], "1");
  EXPECT_EQ(a[9][1], "10");
  EXPECT_EQ(a[0][2], "11");
  EXPECT_EQ(a[9][2], "20");

  // 25 fields make room for round(2.5) = 2 groups: the third fails whole.
  EXPECT_EQ(CodeOf([&] { split(twenty + ",a,b,c,d,e"); }),
            ErrorCode::SubscriptOutOfRange);
  EXPECT_EQ(a[0].size(), 3u);
  EXPECT_EQ(a[9][2], "20");
  // 26 fields make room for 3: the incomplete third stores what it has.
  EXPECT_EQ(CodeOf([&] { split(twenty + ",a,b,c,d,e,f"); }),
            ErrorCode::SubscriptOutOfRange);
  ASSERT_EQ(a[5].size(), 4u);
  EXPECT_EQ(a[5][3], "f");
  EXPECT_EQ(a[6][3], "");
  // Empty fields are kept.
  EXPECT_EQ(split(",,,,,,,,,"), 1);
  EXPECT_EQ(a[9][1], "");
}

TEST_F(GeneralsTest, ClientParameters) {
  std::vector<int32_t> sym;
  std::vector<Variant> spread;
  std::vector<int16_t> plus, offset;
  std::vector<double> limit, stop, comm, max_lots, min_lots;
  auto split = [&](std::string_view text) {
    return g.SplitClientParameters(text, sym, spread, plus, limit, stop, comm,
                                   max_lots, min_lots, offset);
  };
  EXPECT_EQ(split("   "), 0);
  EXPECT_TRUE(sym.empty());

  ASSERT_EQ(split("5,2.5,1,10,20,0.5,100,0.1,-3"), 1);
  ASSERT_EQ(sym.size(), 2u);
  EXPECT_EQ(sym[1], 5);
  EXPECT_EQ(spread[1], Variant("2.5"));
  EXPECT_EQ(plus[1], 1);
  EXPECT_DOUBLE_EQ(comm[1], 0.5);
  EXPECT_DOUBLE_EQ(min_lots[1], 0.1);
  EXPECT_EQ(offset[1], -3);

  // Resizing keeps what was there.
  ASSERT_EQ(split("5,2.5,1,10,20,0.5,100,0.1,-3,6,3,0,1,2,3,4,5,6"), 2);
  EXPECT_EQ(sym[2], 6);
  EXPECT_EQ(offset[2], 6);

  // An incomplete group is an index error after the complete ones.
  sym.assign(1, 0);
  try {
    split("8,1,0,1,1,1,1,1,0,9,1");
    FAIL() << "an incomplete group was accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), ErrorCode::SubscriptOutOfRange);
    EXPECT_NE(std::string(e.what()).find("'9,1'"), std::string::npos) << e.what();
  }
  ASSERT_GE(sym.size(), 2u);
  EXPECT_EQ(sym[1], 8);
  EXPECT_EQ(CodeOf([&] { split("x5,1,0,1,1,1,1,1,0"); }), ErrorCode::TypeMismatch);
  EXPECT_EQ(CodeOf([&] { split("5,1,0,1,1,,1,1,0"); }), ErrorCode::TypeMismatch);
  EXPECT_EQ(CodeOf([&] { split("5,1,40000,1,1,1,1,1,0"); }), ErrorCode::Overflow);
}

TEST_F(GeneralsTest, ParametersStringWritesSevenFields) {
  const std::vector<int32_t> sym{0, 5, 6};
  const std::vector<Variant> spread{Variant(), "2.50", 3};
  const std::vector<double> limit{0, 10, 11}, stop{0, 20, 21}, comm{0, 0.5, 0},
      max_lots{0, 100, 50}, min_lots{0, 0.1, 0.01};
  EXPECT_EQ(g.ParametersString(sym, spread, limit, stop, comm, max_lots, min_lots),
            "5,2.5,10,20,0.5,100,0.1,6,3,11,21,0,50,0.01");
  EXPECT_EQ(g.ParametersString({0}, {}, {}, {}, {}, {}, {}), "");
  EXPECT_EQ(g.ParametersString({}, {}, {}, {}, {}, {}, {}), "");
  EXPECT_EQ(CodeOf([&] {
              g.ParametersString(sym, spread, limit, stop, comm, max_lots, {0, 1});
            }),
            ErrorCode::SubscriptOutOfRange);
}

TEST_F(GeneralsTest, DirectionTexts) {
  struct Case {
    OperationTypeEnum code;
    const char* plain;
    const char* with_limit_stop;
  };
  const Case cases[] = {{BuyType, "Buy", "Buy Limit"},
                        {SellType, "Sell", "Sell Limit"},
                        {BuyStopType, "Buy", "Buy Stop"},
                        {static_cast<OperationTypeEnum>(7), "Sell", "Sell Stop"}};
  for (const Case& c : cases) {
    EXPECT_EQ(g.BuySellDesc(c.code), c.plain) << c.code;
    EXPECT_EQ(g.BuySellDesc(c.code, true), c.with_limit_stop) << c.code;
  }
  // The first code whose text matches wins; case and blanks matter.
  EXPECT_EQ(g.BuySellCode("Buy"), BuyType);
  EXPECT_EQ(g.BuySellCode("Sell Stop"), SellStopType);
  EXPECT_EQ(g.BuySellCode("buy"), 0);
  EXPECT_EQ(g.BuySellCode("Buy "), 0);
  EXPECT_EQ(g.BuySellRevCode(SellStopType), BuyStopType);
  EXPECT_EQ(g.BuySellRevCode(static_cast<OperationTypeEnum>(0)), 0);
  EXPECT_EQ(g.SlTpDesc(Null), "");
  EXPECT_EQ(g.SlTpDesc("0"), "");
  EXPECT_EQ(g.SlTpDesc(0.0001), "M");
  EXPECT_EQ(g.NVL("", "d"), Variant("d"));
  EXPECT_EQ(g.NVL(" ", "d"), Variant(" "));
  EXPECT_EQ(g.NVL(0, "d"), Variant(0));
}

// Values with a shared text, the fallbacks and the unknown values.
TEST_F(GeneralsTest, Descriptions) {
  EXPECT_EQ(g.ClientDescription(CLIENT_TYPE, LOGICAL_SERVER_SUB_TYPE), "Client");
  EXPECT_EQ(g.ClientDescription(OTHER_GROUPS_TYPE), "Group");
  EXPECT_EQ(g.ClientDescription(OTHER_GROUPS_TYPE, LOGICAL_SERVER_SUB_TYPE),
            "Real Server");
  EXPECT_EQ(g.ClientDescription(OTHER_GROUPS_TYPE, LOGICAL_SERVER_SUB_TYPE,
                                static_cast<LogicalServerTypeEnum>(4)),
            "");
  EXPECT_EQ(g.OrderDescription(static_cast<OrdersTypeEnum>(4)), "");
  EXPECT_EQ(g.MarketOrderStatusDesc(InvalidPrice), "Rejected");
  EXPECT_EQ(g.MarketOrderStatusDesc(FutureSellPriceChanged),
            "Changed - client offline");
  EXPECT_EQ(g.MarketOrderStatusDesc(static_cast<MarketOrderStatusEnum>(5)), "");
  EXPECT_EQ(g.AccountTransDesc(DeliveryAccTrans), "Physical Redemption");
  EXPECT_EQ(g.TransactionDesc(static_cast<TransactionTypeEnum>(9)), Variant("Delete"));
  EXPECT_EQ(g.UserTypeDesc(WEB_SERVER_TYPE), "Demo Client");
  EXPECT_EQ(g.AccountHistoryDesc(LiquidatePositionAccHis, DepositAccTrans), "L");
  EXPECT_EQ(g.AccountHistoryDesc(AccountTransAccHis), "WD");
  EXPECT_EQ(g.AccountHistoryDesc(AccountTransAccHis, DeliveryAccTrans), "PR");
  EXPECT_EQ(g.TransactionLogDesc(LiqPositionTransLog, 0, 1234), "L-1234");
  EXPECT_EQ(g.TransactionLogDesc(AccountTransTransLog, -3, 0), "Credit out");
  EXPECT_EQ(g.TransactionLogDesc(LimitStopTransLog, 2, 0), "Buy Stop");
  EXPECT_EQ(g.TransactionLogDesc(static_cast<TransactionLogTypeEnum>(6), 2, 0), "");
}

TEST_F(GeneralsTest, DateTexts) {
  const DateTime t = DateTime::FromParts(2024, 3, 5, 14, 7, 9);
  EXPECT_EQ(g.MonthDayYear(t), "05-03-24");
  EXPECT_EQ(g.HourMinuteSecond(t), "14:07:09");
  EXPECT_EQ(g.MonthDayYearTime(t), "05-03-24 14:07:09");
  EXPECT_EQ(g.YearMonthDateFileName(t), "05-03-2024");
  EXPECT_EQ(g.YearMonthDateTimeFileName(t), "05-03-2024 14-07-09");
  {
    ScopedClock same_year(std::make_shared<FixedClock>(DateTime::FromParts(2024, 12, 31)));
    EXPECT_EQ(g.FormatDateString(t), "Mar 05 14:07");
  }
  {
    ScopedClock next_year(std::make_shared<FixedClock>(DateTime::FromParts(2025, 1, 1)));
    EXPECT_EQ(g.FormatDateString(t), "Mar 05  2024");
  }
}

TEST_F(GeneralsTest, UsableAfterDeallocate) {
  g.Deallocate();
  g.Deallocate();
  EXPECT_EQ(g.MonthDayYear(DateTime::FromParts(2024, 3, 5)), "05-03-24");
  EXPECT_EQ(Cells(g.OrderRowString(1, "", 1, 1, 1, 1, 1, 1, 1, 1, 1, 1)).size(), 12u);
}

}  // namespace
}  // namespace orvane
