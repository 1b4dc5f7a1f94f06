#include "orvane/accounts/acc_history_row.h"

#include <gtest/gtest.h>

#include <vector>

#include "orvane/clients/client_param.h"
#include "support/errors.h"
#include "orvane/market/symbol.h"
#include "orvane/market/symbols.h"

namespace orvane {
namespace {

using test::Throws;

std::string Row(std::initializer_list<std::string> cells) {
  std::string row, delimiter;
  for (const auto& cell : cells) {
    row += delimiter + cell;
    delimiter = "R,@";
  }
  return row;
}

class AccHistoryRowTest : public ::testing::Test {
 protected:
  AccHistoryRowTest() {
    eurusd->ID(2);
    symbols->Items().Add("2", eurusd);
  }
  ~AccHistoryRowTest() override { symbols->Deallocate(); }

  std::shared_ptr<CSymbols> symbols = std::make_shared<CSymbols>();
  std::shared_ptr<CSymbol> eurusd = std::make_shared<CSymbol>();
  CAccHistoryRow row;
};

TEST_F(AccHistoryRowTest, FullRowFillsSixteenTrimmedFields) {
  row.DefineRow(symbols, Row({" 1234 ", "01/03/2026 10:00:00", "N", " 2", "1.5", "1",
                              "28/02/2026 09:00:00", "1.1000", " 1.1050 ", "", "-7.5",
                              "-1.2", "-1", "1", "750", " EURUSD ", "M", "a note"}));
  EXPECT_EQ(row.Ticket(), 1234);
  EXPECT_EQ(row.Symbol(), eurusd);
  EXPECT_TRUE(row.Checked());  // any number but 0
  // The cells stay text: "1.1000" is not read as a number.
  const std::vector<Variant> cells{row.HisTime(),    row.HisType(),   row.lots(),
                                   row.BuySell(),    row.OpenTime(),  row.OpenPrice(),
                                   row.ClosePrice(), row.AccTransAmount(), row.Comm(),
                                   row.Interest(),   row.RefPrice(),  row.Profit(),
                                   row.SymbolName()};
  EXPECT_EQ(cells, (std::vector<Variant>{"01/03/2026 10:00:00", "N", "1.5", "1",
                                         "28/02/2026 09:00:00", "1.1000", "1.1050", "", "-7.5",
                                         "-1.2", "1", "750", "EURUSD"}));

  // A symbol number Symbols does not hold leaves Symbol empty.
  row.DefineRow(symbols, Row({"7", "t", "DP", "99", "", "", "", "", "", "500", "", "", "0",
                              "", "", "", "", ""}));
  EXPECT_EQ(row.Symbol(), nullptr);
  EXPECT_EQ(row.AccTransAmount(), Variant("500"));
  EXPECT_FALSE(row.Checked());
}

TEST_F(AccHistoryRowTest, BadRowsFailAfterTheCellsBeforeTheFault) {
  EXPECT_TRUE(Throws(ErrorCode::SubscriptOutOfRange, [&] {
    row.DefineRow(symbols, Row({"8", "t", "WD", "2", "0.5", "-1", "o", "1.2", "1.3", "", "", "",
                                "1", "1"}));
  }));
  EXPECT_EQ(row.RefPrice(), Variant("1"));  // cell 14, the last one there
  EXPECT_TRUE(row.Profit().IsEmpty());

  const auto with = [](const std::string& ticket, const std::string& checked) {
    return Row({ticket, "t", "N", "2", "", "", "", "", "", "", "", "", checked, "", "", "",
                "", ""});
  };
  EXPECT_TRUE(Throws(ErrorCode::TypeMismatch, [&] { row.DefineRow(symbols, with("12a", "0")); }));
  EXPECT_EQ(row.Ticket(), 8);
  EXPECT_THROW(row.DefineRow(symbols, with("5", "yes")), Error);
  EXPECT_EQ(row.Ticket(), 5);  // the cells before the Boolean were read
  row.DefineRow(symbols, with("5", "true"));
  EXPECT_TRUE(row.Checked());
}

TEST_F(AccHistoryRowTest, DefineSetsFieldsButNeverTheSymbol) {
  row.Symbol(eurusd);
  auto entry = std::make_shared<CClientParam>();
  row.Define(42.5, "t", "N", entry, 2, -1, "o", 1.1, 1.2, Variant(), -3, 0.5, true, 1, 99,
             "EURUSD");
  EXPECT_EQ(row.Ticket(), 42);  // halves to even
  EXPECT_EQ(row.Symbol(), eurusd);
  const std::vector<Variant> fields{row.lots(), row.BuySell(), row.ClosePrice(), row.Profit(),
                                    row.SymbolName()};
  EXPECT_EQ(fields, (std::vector<Variant>{2, -1, 1.2, 99, "EURUSD"}));
  EXPECT_THROW(row.Define("x", "", "", nullptr, 0, 0, "", 0, 0, 0, 0, 0, false, 0, 0, ""),
               Error);
  EXPECT_EQ(row.Ticket(), 42);
}

}  // namespace
}  // namespace orvane
