#include "orvane/util/generals.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "orvane/core/clock.h"
#include "orvane/core/error.h"
#include "orvane/util/row.h"
#include "orvane/util/string_values.h"
#include "support/errors.h"
#include "support/number_format.h"

namespace orvane {
namespace {

using test::ErrorOf;

using Texts = std::vector<std::string>;

// The cells `row` reads from `text`.
Texts Read(CRow& row, const std::string& text) {
  row.Add(text);
  Texts cells;
  for (int32_t i = 1; i <= row.Count(); ++i) cells.push_back(row.Item(i));
  return cells;
}

Texts Cells(const std::string& text) {
  CRow row;
  return Read(row, text);
}

struct PosFields {
  int32_t client = -1, account = -1, ticket = -1, cur = -1;
  std::string time, sl, tp, name, method, note;
  OperationTypeEnum buy_sell = static_cast<OperationTypeEnum>(99);
  double lots = -1, price = -1, original = -1, interest = -1;
  int16_t checked = -1;
};

void SplitPos(CGenerals& g, const std::string& row, PosFields& f) {
  g.SplitPosRow(row, f.client, f.account, f.ticket, f.time, f.buy_sell, f.lots, f.cur, f.price,
                f.sl, f.tp, f.checked, f.original, f.name, f.interest, f.method, f.note);
}

class GeneralsTest : public ::testing::Test {
 protected:
  CGenerals g;
  CStringValues sv;
};

TEST_F(GeneralsTest, PositionRowCellsAndRoundTrip) {
  const std::string row = g.PosRowString(17, "  42abc", 1001, "05/03/2024 14:07:09", 1.5, 1.23456,
                                         " 7 ", 1.2345, Null, BuyType, 1, 2.5, "EURUSD", -0.75,
                                         "Dealer", Null);
  // The account is read by the Val rule; stop-loss is only a marker.
  EXPECT_EQ(Cells(row), (Texts{"17", "42", "1001", "05/03/2024 14:07:09", "Buy", "1.5", "7",
                               "1.23456", "M", "", "1", "2.5", "EURUSD", "-0.75", "Dealer", ""}));
  PosFields f;
  SplitPos(g, row, f);
  EXPECT_EQ((std::vector<int32_t>{f.client, f.account, f.ticket, f.buy_sell, f.cur, f.checked}),
            (std::vector<int32_t>{17, 42, 1001, BuyType, 7, 1}));
  EXPECT_EQ((std::vector<double>{f.lots, f.price, f.original, f.interest}),
            (std::vector<double>{1.5, 1.23456, 2.5, -0.75}));
  EXPECT_EQ((Texts{f.time, f.sl, f.tp, f.name, f.method, f.note}),
            (Texts{"05/03/2024 14:07:09", "M", "", "EURUSD", "Dealer", ""}));
}

TEST_F(GeneralsTest, PositionRowDirectionsAndEmptyNumbers) {
  // A buy stop is written as "Buy" and so reads back as a plain buy.
  std::string row = g.PosRowString(1, 2, 3, "t", "", 1, 4, 0, 0, BuyStopType, 0, 1, "", 0, "",
                                   "note");
  Texts cells = Cells(row);
  EXPECT_EQ((Texts{cells[4], cells[5], cells[8], cells[15]}), (Texts{"Buy", "", "", "note"}));
  PosFields f;
  SplitPos(g, row, f);
  EXPECT_EQ(f.buy_sell, BuyType);
  EXPECT_DOUBLE_EQ(f.lots, 0);

  cells = Cells(g.PosRowString(1, 2, 3, "t", 1, 1, 4, 0, "0.5", SellStopType, 0, 1, "", 0, "", ""));
  EXPECT_EQ(cells[4], "Sell");
  EXPECT_EQ(cells[9], "M");
  // The operation type is read by the Val rule: 1.5 rounds to the even 2.
  cells = Cells(g.PosRowString(1, 2, 3, "t", 1, 1, 4, 0, 0, "1.5", 0, 1, "", 0, "", ""));
  EXPECT_EQ(cells[4], "Buy");
  EXPECT_EQ(ErrorOf([&] {
              g.PosRowString(1, 2, 3, "t", 1, 1, 4, 0, 0, 1e12, 0, 1, "", 0, "", "");
            }).code,
            ErrorCode::Overflow);
}

TEST_F(GeneralsTest, PositionRowBadCells) {
  std::string bad = g.PosRowString(1, 2, 3, "t", 1, 1, 4, 0, 0, BuyType, 0, 1, "", 0, "", "");
  bad.replace(bad.find("R,@3R,@"), 7, "R,@x3R,@");
  // An integer cell with text raises a type mismatch naming it; the cells
  // before it are already read.
  PosFields f;
  const auto [code, what] = ErrorOf([&] { SplitPos(g, bad, f); });
  EXPECT_EQ(code, ErrorCode::TypeMismatch);
  EXPECT_NE(what.find("x3"), std::string::npos);
  EXPECT_EQ((std::vector<int32_t>{f.client, f.account, f.ticket}),
            (std::vector<int32_t>{1, 2, -1}));
  // Val cells read text as 0; a short row is an index error.
  for (const char* shorter : {"1R,@2R,@3", ""}) {
    EXPECT_EQ(ErrorOf([&] { SplitPos(g, shorter, f); }).code, ErrorCode::SubscriptOutOfRange);
  }
}

TEST_F(GeneralsTest, OrderRowRoundTrip) {
  const std::string row = g.OrderRowString(55, "05/03/2024 10:00:00", SellType, 0.25, " 9 ", 1.1,
                                           Null, "  8", 1.05, Null, 2, Null);
  EXPECT_EQ(row, "55R,@05/03/2024 10:00:00R,@-1R,@0.25R,@9R,@1.1R,@R,@  8R,@1.05R,@R,@2R,@");
  Texts o(12, "x");
  auto split = [&](const std::string& text) {
    g.SplitOrderRow(text, o[0], o[1], o[2], o[3], o[4], o[5], o[6], o[7], o[8], o[9], o[10], o[11]);
  };
  split(row);
  EXPECT_EQ(o, Cells(row));  // in cell order, untrimmed
  EXPECT_EQ(ErrorOf([&] { split("1R,@2"); }).code, ErrorCode::SubscriptOutOfRange);
}

TEST_F(GeneralsTest, OrderAuditRowCarriesTheBuildTime) {
  auto clock = std::make_shared<FixedClock>(DateTime::FromParts(2024, 3, 5, 14, 7, 9));
  ScopedClock scoped(clock);
  const Texts cells = Cells(g.OrdersAuditRowString(3, 4, LimitOrdersType, 77, 1, Null, Null,
                                                   " 1.2 ", "1.3", 5, " 6", Null, "",
                                                   SellStopType, "a note"));
  ASSERT_EQ(cells.size(), 16u);
  EXPECT_EQ((Texts{cells[5], cells[7], cells[8], cells[12], cells[14]}),
            (Texts{"0", "05/03/2024 14:07:09", "1.2", "", "-2"}));

  clock->AdvanceSeconds(61);
  std::string out[16];
  g.SplitOrderAuditRow(g.OrdersAuditRowString(3, 4, SlTpType, 77, 1, 9, " 10 ", 11, 12, 13, 14,
                                              15, 16, BuyType, "c"),
                       out[0], out[1], out[2], out[3], out[4], out[5], out[6], out[7], out[8],
                       out[9], out[10], out[11], out[12], out[13], out[14], out[15]);
  EXPECT_EQ(Texts(out, out + 16), (Texts{"3", "4", "3", "77", "1", "9", "10",
                                         "05/03/2024 14:08:10", "11", "12", "13", "14", "15",
                                         "16", "1", "c"}));
}

TEST_F(GeneralsTest, HistoryRowSkipsTheNote) {
  const std::string row = g.AccHistoryRowString(9001, "05/03/2024", "DP", 4, 0.5, BuyType,
                                                "04/03/2024", 1.1, 1.2, 100.5, -2, 0.25, 1, 1.15,
                                                Null, "GOLD", "Manual", "last cell");
  EXPECT_EQ(Cells(row), (Texts{"9001", "05/03/2024", "DP", "4", "0.5", "1", "04/03/2024", "1.1",
                               "1.2", "100.5", "-2", "0.25", "1", "1.15", "", "GOLD", "Manual",
                               "last cell"}));
  std::string out[17];
  g.SplitHistoryRow(" 1 R,@ t R,@" + row.substr(row.find("DP")), out[0], out[1], out[2], out[3],
                    out[4], out[5], out[6], out[7], out[8], out[9], out[10], out[11], out[12],
                    out[13], out[14], out[15], out[16]);
  // Trimmed, in cell order; the last output is the method, not the note.
  EXPECT_EQ(Texts(out, out + 17), (Texts{"1", "t", "DP", "4", "0.5", "1", "04/03/2024", "1.1",
                                         "1.2", "100.5", "-2", "0.25", "1", "1.15", "", "GOLD",
                                         "Manual"}));
}

TEST_F(GeneralsTest, ClosedPositions) {
  Texts a[10];
  for (auto& v : a) v = {"keep"};
  auto split = [&](const std::string& text) {
    return g.SplitClosesPos(text, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9]);
  };
  EXPECT_EQ(split(""), 0);
  EXPECT_EQ(a[0], Texts{"keep"});

  std::string twenty = "1";
  for (int i = 2; i <= 20; ++i) twenty += "," + std::to_string(i);
  EXPECT_EQ(split(twenty), 2);
  for (auto& v : a) ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ((Texts{a[0][0], a[0][1], a[9][1], a[0][2], a[9][2]}),
            (Texts{"", "1", "10", "11", "20"}));

  // 25 fields make room for round(2.5) = 2 groups: the third fails whole.
  EXPECT_EQ(ErrorOf([&] { split(twenty + ",a,b,c,d,e"); }).code, ErrorCode::SubscriptOutOfRange);
  EXPECT_EQ(a[0].size(), 3u);
  EXPECT_EQ(a[9][2], "20");
  // 26 fields make room for 3: the incomplete third stores what it has.
  EXPECT_EQ(ErrorOf([&] { split(twenty + ",a,b,c,d,e,f"); }).code,
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
    return g.SplitClientParameters(text, sym, spread, plus, limit, stop, comm, max_lots, min_lots,
                                   offset);
  };
  EXPECT_EQ(split("   "), 0);
  EXPECT_TRUE(sym.empty());

  ASSERT_EQ(split("5,2.5,1,10,20,0.5,100,0.1,-3"), 1);
  ASSERT_EQ(sym.size(), 2u);
  EXPECT_EQ((std::vector<int32_t>{sym[1], plus[1], offset[1]}), (std::vector<int32_t>{5, 1, -3}));
  EXPECT_EQ(spread[1], Variant("2.5"));
  EXPECT_EQ((std::vector<double>{comm[1], min_lots[1]}), (std::vector<double>{0.5, 0.1}));

  // Resizing keeps what was there.
  ASSERT_EQ(split("5,2.5,1,10,20,0.5,100,0.1,-3,6,3,0,1,2,3,4,5,6"), 2);
  EXPECT_EQ((std::vector<int32_t>{sym[1], sym[2], offset[2]}), (std::vector<int32_t>{5, 6, 6}));

  // An incomplete group is an index error after the complete ones.
  sym.assign(1, 0);
  const auto [code, what] = ErrorOf([&] { split("8,1,0,1,1,1,1,1,0,9,1"); });
  EXPECT_EQ(code, ErrorCode::SubscriptOutOfRange);
  EXPECT_NE(what.find("'9,1'"), std::string::npos) << what;
  ASSERT_GE(sym.size(), 2u);
  EXPECT_EQ(sym[1], 8);
  EXPECT_EQ(ErrorOf([&] { split("x5,1,0,1,1,1,1,1,0"); }).code, ErrorCode::TypeMismatch);
  EXPECT_EQ(ErrorOf([&] { split("5,1,0,1,1,,1,1,0"); }).code, ErrorCode::TypeMismatch);
  EXPECT_EQ(ErrorOf([&] { split("5,1,40000,1,1,1,1,1,0"); }).code, ErrorCode::Overflow);
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
  EXPECT_EQ(ErrorOf([&] {
              g.ParametersString(sym, spread, limit, stop, comm, max_lots, {0, 1});
            }).code,
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
  EXPECT_EQ((std::vector<int32_t>{g.BuySellCode("Buy"), g.BuySellCode("Sell Stop"),
                                  g.BuySellCode("buy"), g.BuySellCode("Buy ")}),
            (std::vector<int32_t>{BuyType, SellStopType, 0, 0}));
  EXPECT_EQ(g.BuySellRevCode(SellStopType), BuyStopType);
  EXPECT_EQ(g.BuySellRevCode(static_cast<OperationTypeEnum>(0)), 0);
  EXPECT_EQ((Texts{g.SlTpDesc(Null), g.SlTpDesc("0"), g.SlTpDesc(0.0001)}), (Texts{"", "", "M"}));
  EXPECT_EQ(g.NVL("", "d"), Variant("d"));
  EXPECT_EQ(g.NVL(" ", "d"), Variant(" "));
  EXPECT_EQ(g.NVL(0, "d"), Variant(0));
}

// Values with a shared text, the fallbacks and the unknown values.
TEST_F(GeneralsTest, Descriptions) {
  const std::pair<std::string, const char*> cases[] = {
      {g.ClientDescription(CLIENT_TYPE, LOGICAL_SERVER_SUB_TYPE), "Client"},
      {g.ClientDescription(OTHER_GROUPS_TYPE), "Group"},
      {g.ClientDescription(OTHER_GROUPS_TYPE, LOGICAL_SERVER_SUB_TYPE), "Real Server"},
      {g.ClientDescription(OTHER_GROUPS_TYPE, LOGICAL_SERVER_SUB_TYPE,
                           static_cast<LogicalServerTypeEnum>(4)), ""},
      {g.OrderDescription(static_cast<OrdersTypeEnum>(4)), ""},
      {g.MarketOrderStatusDesc(InvalidPrice), "Rejected"},
      {g.MarketOrderStatusDesc(FutureSellPriceChanged), "Changed - client offline"},
      {g.MarketOrderStatusDesc(static_cast<MarketOrderStatusEnum>(5)), ""},
      {g.AccountTransDesc(DeliveryAccTrans), "Physical Redemption"},
      {g.TransactionDesc(static_cast<TransactionTypeEnum>(9)).TextValue(), "Delete"},
      {g.UserTypeDesc(WEB_SERVER_TYPE), "Demo Client"},
      {g.AccountHistoryDesc(LiquidatePositionAccHis, DepositAccTrans), "L"},
      {g.AccountHistoryDesc(AccountTransAccHis), "WD"},
      {g.AccountHistoryDesc(AccountTransAccHis, DeliveryAccTrans), "PR"},
      {g.TransactionLogDesc(LiqPositionTransLog, 0, 1234), "L-1234"},
      {g.TransactionLogDesc(AccountTransTransLog, -3, 0), "Credit out"},
      {g.TransactionLogDesc(LimitStopTransLog, 2, 0), "Buy Stop"},
      {g.TransactionLogDesc(static_cast<TransactionLogTypeEnum>(6), 2, 0), ""}};
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].first, cases[i].second) << i;
}

TEST_F(GeneralsTest, DateTexts) {
  const DateTime t = DateTime::FromParts(2024, 3, 5, 14, 7, 9);
  EXPECT_EQ((Texts{g.MonthDayYear(t), g.HourMinuteSecond(t), g.MonthDayYearTime(t),
                   g.YearMonthDateFileName(t), g.YearMonthDateTimeFileName(t)}),
            (Texts{"05-03-24", "14:07:09", "05-03-24 14:07:09", "05-03-2024",
                   "05-03-2024 14-07-09"}));
  // Within the current year the time shows, otherwise the year.
  auto clock = std::make_shared<FixedClock>(DateTime::FromParts(2024, 12, 31));
  ScopedClock scoped(clock);
  EXPECT_EQ(g.FormatDateString(t), "Mar 05 14:07");
  clock->AdvanceSeconds(86400);
  EXPECT_EQ(g.FormatDateString(t), "Mar 05  2024");
}

TEST_F(GeneralsTest, UsableAfterDeallocate) {
  g.Deallocate();
  g.Deallocate();
  EXPECT_EQ(g.MonthDayYear(DateTime::FromParts(2024, 3, 5)), "05-03-24");
  EXPECT_EQ(Cells(g.OrderRowString(1, "", 1, 1, 1, 1, 1, 1, 1, 1, 1, 1)).size(), 12u);
}

TEST(RowBuild, CellsJoinAndNullsAndNumbers) {
  CRow row;
  row.AddCell("old");
  row.NewRow();
  EXPECT_TRUE(row.RowVal().IsNull());
  row.AddCell("a");
  row.AddCell("");
  row.AddCell("c");
  EXPECT_EQ(row.RowVal(), Variant("aR,@R,@c"));
  EXPECT_EQ(Read(row, row.RowVal().TextValue()), (Texts{"a", "", "c"}));

  // A single cell is kept as given; later cells turn it into text.
  row.NewRow();
  row.AddCell(12.5);
  EXPECT_EQ(row.RowVal(), Variant(12.5));
  row.AddCell(-3);
  row.AddCell(true);
  EXPECT_EQ(row.RowVal(), Variant("12.5R,@-3R,@True"));

  // A null first cell is lost; a later null is an empty cell.
  row.NewRow();
  row.AddCell(Null);
  EXPECT_TRUE(row.RowVal().IsNull());
  row.AddCell("x");
  row.AddCell(Null);
  row.AddCell("y");
  EXPECT_EQ(row.RowVal(), Variant("xR,@R,@y"));
}

TEST(RowBuild, ChangedDelimiterJoinsAndSplits) {
  CRow row;
  row.Delimiter("|");
  row.AddCell("1");
  row.AddCell("2");
  EXPECT_EQ(row.RowVal(), Variant("1|2"));
  EXPECT_EQ(Read(row, "aR,@b|c||"), (Texts{"aR,@b", "c", "", ""}));
  row.Delimiter("");
  EXPECT_EQ(Read(row, "xR,@y"), (Texts{"xR,@y"}));
}

TEST(RowRead, CountsAndBounds) {
  CRow row;
  EXPECT_EQ(row.Count(), 0);
  EXPECT_EQ(Read(row, "R,@").size(), 2u);
  EXPECT_EQ(Read(row, "").size(), 0u);
  // A partial delimiter is part of the cell.
  EXPECT_EQ(Read(row, "aR,bR,@R,"), (Texts{"aR,b", "R,"}));
  for (int32_t outside : {0, 3}) {
    EXPECT_EQ(test::ErrorOf([&] { (void)row.Item(outside); }).code,
              ErrorCode::SubscriptOutOfRange)
        << "cell " << outside << " of 2";
  }
  // Reading does not touch the row being built.
  row.NewRow();
  row.AddCell("a");
  row.Add("xR,@y");
  row.AddCell("b");
  EXPECT_EQ(row.RowVal(), Variant("aR,@b"));
  EXPECT_EQ(row.Count(), 2);
}

using test::ScopedNumberFormat;

DateTime At(int y, int m, int d, int h = 0, int n = 0, int s = 0) {
  return DateTime::FromParts(y, m, d, h, n, s);
}

using StringValuesTest = GeneralsTest;

TEST_F(StringValuesTest, ListElements) {
  // A longer separator leaves its remainder on the next element.
  EXPECT_EQ((Texts{sv.get_element("a,b,c", 2), sv.get_element("a,b,c", 3),
                   sv.get_element("a,b,c", 4), sv.get_element("a,b,c", 0),
                   sv.get_element("a,,c", 2), sv.get_element("a;;b", 2, ";;"),
                   sv.get_element("a,b", 1, ""), sv.get_element("a,b", 2, "")}),
            (Texts{"b", "c", "-1", "-1", "", ";b", "a,b", "-1"}));

  std::string rest = "untouched";
  EXPECT_EQ(sv.get_first_val("a,b,c", rest), "a");
  EXPECT_EQ(rest, "b,c");
  EXPECT_EQ(sv.get_first_val("abc", rest), "abc");
  EXPECT_EQ(rest, "");
  // The separator is found without regard to case and skipped whole.
  EXPECT_EQ(sv.get_first_val("12xY34xy5", rest, "XY"), "12");
  EXPECT_EQ(rest, "34xy5");
  EXPECT_EQ(sv.get_first_val("a,b", rest, ""), "a,b");
  EXPECT_EQ(rest, "");

  EXPECT_EQ((std::vector<bool>{sv.equal_one_of("B", "a,b,c"), sv.equal_one_of("c", "a,b,c"),
                               sv.equal_one_of("a,b", "a,b,c"), sv.equal_one_of("", "a,,c"),
                               sv.equal_one_of("b", "a;;b", ";;"),
                               sv.equal_one_of(";b", "a;;b", ";;"),
                               sv.equal_one_of("a,b", "a,b", "")}),
            (std::vector<bool>{false, true, false, true, false, true, true}));
}

TEST_F(StringValuesTest, NumbersAsText) {
  for (const Variant& none : {Variant(), Variant(Null), Variant(""), Variant("abc")}) {
    EXPECT_EQ(sv.NumberToString(none), "");
  }
  EXPECT_EQ((Texts{sv.NumberToString(" 1,234.50 "), sv.NumberToString(0.1 + 0.2),
                   sv.FormatStringAsNumber("1,234.5"), sv.FormatStringAsNumber("1.234,5", ",", "."),
                   sv.FormatStringAsNumber("x1"), sv.BooleanToString(false)}),
            (Texts{"1234.5", "0.3", "1234.5", "1234.5", "", "FALSE"}));
  EXPECT_DOUBLE_EQ(sv.StringToNumber2("1.234,5", ",", "."), 1234.5);
  EXPECT_TRUE(sv.NumberToVariant("abc").IsNull());
  EXPECT_EQ(sv.NumberToVariant("2,500.25"), Variant(2500.25));
}

TEST_F(StringValuesTest, CurrencyRoundsHalvesAwayFromZero) {
  // 2.675 is binary 2.67499999...
  EXPECT_EQ((Texts{sv.ToCurrencyVal(2.675), sv.ToCurrencyVal(-0.125),
                   sv.ToCurrencyVal(1234567.891), sv.ToCurrencyVal(1234567.891, false),
                   sv.ToCurrencyVal(999.999), sv.ToCurrencyVal(-0.001), sv.ToCurrencyVal(Null),
                   sv.ToCurrencyVal("n/a")}),
            (Texts{"2.68", "-0.13", "1,234,567.89", "1234567.89", "1,000.00", "0.00", "", ""}));
  ScopedNumberFormat comma_decimal({',', '.'});
  EXPECT_EQ(sv.ToCurrencyVal(-1234.5), "-1.234,50");
}

TEST_F(StringValuesTest, InStringIgnoresStartAndCountsOverlaps) {
  EXPECT_EQ((std::vector<Variant>{sv.inString("abcabc", "bc", 3, 2),
                                  sv.inString("abcabc", "bc", 3, 3), sv.inString("abcabc", "BC"),
                                  sv.inString("aaaa", "aa", 1, 3), sv.inString("abc", "b", 1, 0),
                                  sv.inString("abc", "abcd")}),
            (std::vector<Variant>{5, 0, 2, 3, 0, 0}));
}

TEST_F(StringValuesTest, LayoutPatterns) {
  EXPECT_EQ((Texts{sv.FormatString(DDspMMspYYYY_HHspNNspSS),
                   sv.FormatString(DDspMMspYY_HHspNNspSS, "-", "."),
                   sv.FormatString(YYspMMspDD_HHspNNspSS), sv.FormatString(HHspNN),
                   sv.FormatString(YYYYspMMspDD_HHspNN),
                   sv.FormatString(static_cast<DateFormatsEnum>(10)),
                   sv.FormatString(static_cast<DateFormatsEnum>(-1))}),
            (Texts{"DD/MM/YYYY HH:NN:SS", "DD-MM-YY HH.NN.SS", "YY/MM/DD HH:NN:SS", "HH:NN",
                   "YYYY/MM/DD HH:NN", "", ""}));
}

TEST_F(StringValuesTest, ReadsEveryLayout) {
  const DateTime full = At(2024, 3, 5, 14, 7, 9);
  EXPECT_EQ(sv.ToDateTime("05/03/24", "/", ":", DDspMMspYY), At(2024, 3, 5));
  EXPECT_EQ(sv.ToDateTime("05/03/2024 14:07:09"), full);
  EXPECT_EQ(sv.ToDateTime("05-03-24 14.07.09", "-", ".", DDspMMspYY_HHspNNspSS), full);
  EXPECT_EQ(sv.ToDateTime("2024/03/05 14:07:09", "/", ":", YYYYspMMspDD_HHspNNspSS), full);
  EXPECT_EQ(sv.ToDateTime("24/03/05 14:07:09", "/", ":", YYspMMspDD_HHspNNspSS), full);
  EXPECT_EQ(sv.ToDateTime("14:07", "/", ":", HHspNN).TimePart(), At(1899, 12, 30, 14, 7));
  EXPECT_EQ(sv.ToDateTime("14:07:09", "/", ":", HHspNNspSS).TimePart(), full.TimePart());
  EXPECT_EQ(sv.ToDateTime("2024/03/05 14:07", "/", ":", YYYYspMMspDD_HHspNN),
            At(2024, 3, 5, 14, 7));
  // Date-only layouts ignore a time; years before 30 are this century.
  EXPECT_EQ(sv.ToDate("  05/03/2024 14:07:09 "), At(2024, 3, 5));
  EXPECT_EQ(sv.ToDate("31/12/99"), At(1999, 12, 31));
  EXPECT_EQ(sv.ToDate("05.03.2024", "."), At(2024, 3, 5));
  // Serial parts roll over.
  EXPECT_EQ(sv.DateTimeSerial(2024, 3, 0), At(2024, 2, 29));
  EXPECT_EQ(sv.DateTimeSerial(45, 1, 1).Year(), 1945);
}

TEST_F(StringValuesTest, ReadsBadDateTextsWithoutRejecting) {
  EXPECT_EQ(sv.ToDateTime(""), At(1900, 1, 1));
  // Parts roll over: month 13 is January of the next year.
  EXPECT_EQ(sv.ToDateTime("31/13/2023 25:61:61"), At(2024, 2, 1, 2, 2, 1));
  // Missing separators leave those fields at 0 (day 0 of month 0 of 2000).
  EXPECT_EQ(sv.ToDateTime("garbage"), At(1999, 11, 30));
  EXPECT_EQ(sv.ToDateTime("05/03/2024", "-"), At(1999, 11, 30));
  // A time without a space before it reads hour 0.
  EXPECT_EQ(sv.ToDateTime("05/03/2024T14:07:09"), At(2024, 3, 5, 0, 7, 9));
  // A second and a half rounds to even.
  EXPECT_EQ(sv.ToDateTime("05/03/2024 10:00:2.5"), At(2024, 3, 5, 10, 0, 2));
  EXPECT_EQ(sv.ToDateTime("05/03/2024 10:00:3.5"), At(2024, 3, 5, 10, 0, 4));
  const auto [code, what] = test::ErrorOf([&] { (void)sv.ToDateTime("05/03/40000"); });
  EXPECT_EQ(code, ErrorCode::Overflow);
  EXPECT_NE(what.find("40000"), std::string::npos);
}

TEST_F(StringValuesTest, FormatterKeepsSlashAndColonLiteral) {
  const DateTime t = At(2024, 3, 5, 14, 7, 9);
  EXPECT_EQ((Texts{sv.MyFormat(t, "DD/MM/YYYY HH:NN:SS"), sv.MyFormat(t, "dd-mm-yyyy hh-mm-ss"),
                   sv.MyFormat(t, "d/m/yy h:n:s"), sv.MyFormat(t, "a&&b__c"), sv.MyFormat(t, ""),
                   sv.MyFormat(Variant("05/03/2024"), "yyyy"),
                   sv.MyFormat(Variant("not a date"), "yyyy"), sv.MyFormat(Variant(Null), "yyyy"),
                   sv.MyFormat(DateTime(1e12), "yyyy")}),
            (Texts{"05/03/2024 14:07:09", "05-03-2024 14-07-09", "5/3/24 14:7:9", "a/b:c",
                   "05/03/2024 14:07:09", "2024", "not a date", "", ""}));
  EXPECT_EQ((Texts{sv.DateToString("05/03/2024 14:07", "hh:nn"), sv.DateToString(Null),
                   sv.DateToString("tomorrow"), sv.DateToString(45356.0)}),
            (Texts{"14:07", "", "", ""}));
  // The pattern does not depend on the local number form.
  ScopedNumberFormat comma_decimal({',', '.'});
  EXPECT_EQ(sv.MyFormat(t, "dd/mm/yyyy"), "05/03/2024");
}

TEST_F(StringValuesTest, GmtConversion) {
  const std::string server = "05/03/2024 14:07:09";
  EXPECT_EQ((Texts{sv.FormatGMTDate(server, 5, 2, ServerToClient),
                   sv.FormatGMTDate(server, 5, 2, ClientToServer),
                   sv.FormatGMTDate("05/03/2024 23:30:00", 5.5, 0, ServerToClient),
                   sv.FormatGMTDate("2024-03-05 14.07", 1, 2, ServerToClient, "-", ".",
                                    YYYYspMMspDD_HHspNN),
                   sv.FormatGMTDate("", 5, 2, ServerToClient),
                   sv.FormatGMTDate("05/03/99999", 5, 2, ServerToClient)}),
            (Texts{"05/03/2024 17:07:09", "05/03/2024 11:07:09", "06/03/2024 05:00:00",
                   "2024-03-05 13.07", "", ""}));
  EXPECT_DOUBLE_EQ(sv.ClientServerGMTOffset(5, 2, ClientToServer), -3);
  EXPECT_NEAR(sv.ConvertGMTVal(At(2024, 3, 5, 23), 3, 1, ServerToClient) - At(2024, 3, 6, 1), 0,
              1e-9);
}

TEST_F(StringValuesTest, OffsetTexts) {
  // 0.375 h is 22.5 minutes: the half goes to the even 22; 37.5 goes to 38.
  EXPECT_EQ((Texts{sv.DoubleToTime(0), sv.DoubleToTime(3), sv.DoubleToTime(-3.5),
                   sv.DoubleToTime(0.375), sv.DoubleToTime(0.625)}),
            (Texts{"00:00", "+03:00", "-04:30", "+00:22", "+00:38"}));
  EXPECT_EQ((std::vector<double>{sv.TimeToDouble("-04:30"), sv.TimeToDouble("0530"),
                                 sv.TimeToDouble("99999:00"), sv.TimeToDouble("x:y")}),
            (std::vector<double>{-3.5, 0, 0, 0}));
  for (double offset : {-12.0, -9.5, -3.5, -0.75, 0.25, 5.75, 13.0}) {
    EXPECT_DOUBLE_EQ(sv.TimeToDouble(sv.DoubleToTime(offset)), offset) << offset;
  }
}

TEST_F(StringValuesTest, PeriodsTranslateAndCharacters) {
  EXPECT_EQ((std::vector<bool>{sv.IsInPeriod("10:00", "10:00", "12:00"),
                               sv.IsInPeriod("12:00:01", "10:00", "12:00"),
                               sv.IsInPeriod("23:30", "22:00", "02:00"),
                               sv.IsInPeriod("01:00", "22:00", "02:00"),
                               sv.IsInPeriod("05/03/2024 11:00", "10:00", "12:00"),
                               sv.IsInPeriod("noon", "10:00", "12:00")}),
            (std::vector<bool>{true, false, false, false, true, false}));
  EXPECT_EQ((Texts{sv.Translate("abcab", "ab", "ba"), sv.Translate("abc", "abc", "x"),
                   sv.Translate("aab", "aa", "xy"), sv.Char("abc", 4), sv.Char("abc", 0)}),
            (Texts{"bacba", "x", "xxb", "", ""}));
}

TEST_F(StringValuesTest, CodeIsAReversiblePermutation) {
  const std::string plain = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ!#$%&()*+-./:;<=>?@[]_";
  const std::string coded = sv.Code(plain);
  ASSERT_EQ(coded.size(), 58u);
  EXPECT_NE(coded, plain);
  EXPECT_EQ(std::set<char>(coded.begin(), coded.end()), std::set<char>(plain.begin(), plain.end()));
  std::string every;
  for (int c = 1; c < 256; ++c) every.push_back(static_cast<char>(c));
  EXPECT_EQ(sv.DeCode(sv.Code(every)), every);
  EXPECT_EQ(sv.Code(sv.DeCode(every)), every);
  EXPECT_EQ(sv.Code("abc xyz"), "abc xyz");
}

}  // namespace
}  // namespace orvane
