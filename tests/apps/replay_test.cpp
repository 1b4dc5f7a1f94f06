// The risk replay tool end to end on a small book whose outcome is worked out
// by hand, and its refusal of bad input.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "book_import.h"
#include "replay.h"
#include "report.h"

namespace orvane::replay {
namespace {

// Alice (client 10, margin level 50 %, commission on close) is long 1 lot of
// EURUSD from 1.2000 with 2,000 deposited and 1,000 margin. Bob (client 20,
// equity point 0, commission 5 a lot booked on opening) waits with a buy
// limit at 1.1950 and a sell stop at 1.1820. Spreads: 2 pips on the ask.
const char* kBook = R"(# a hand-worked book
SYMBOL 1 USD -4 1 1 1 1 0 1 1 FRIDAY 22:00 SUNDAY 22:00
SYMBOL 2 EURUSD -4 100000 1 1 1 1000 1.2000 1.2001 FRIDAY 22:00 SUNDAY 22:00
PARAMSET plain 1,0,0,0,0,0,100,0.01,0,2,2,0,0,0,0,100,0.01,0
PARAMSET charged 1,0,0,0,0,0,100,0.01,0,2,2,0,0,0,5,100,0.01,0
CLIENT 10 plain 2 50 2 0 Alice Smith
ACCOUNT 10 100 1 0 0 2000 0 -1000 0 0 0 0
POSITION 10 100 10R,@100R,@1R,@03/03/2027 09:00:00R,@BuyR,@1R,@2R,@1.2000R,@R,@R,@0R,@1R,@EURUSDR,@0R,@R,@
ALERT 10 1 2 2 1.1900
CLIENT 20 charged 1 0 1 0 Bob
ACCOUNT 20 200 1 0 0 5000 0 0 0 0 0 0
ORDER 20 200 8R,@03/03/2027 09:00:00R,@1R,@1R,@2R,@1.1950R,@LOR,@0R,@0R,@0R,@0R,@
ORDER 20 200 9R,@03/03/2027 09:00:00R,@-2R,@1R,@2R,@1.1820R,@LOR,@0R,@0R,@0R,@0R,@
)";

// Wednesday 3 March 2027, then the weekend.
const char* kTape = R"(03/03/2027 12:00:00 2 1.1960 1.1961
03/03/2027 12:00:01 2 1.1948 1.1949
03/03/2027 12:00:02 2 1.1990 1.1991
03/03/2027 12:00:03 2 1.1840 1.1841
06/03/2027 12:00:00 2 1.1800 1.1801
07/03/2027 22:00:00 2 1.1810 1.1811
)";

const AccountResult& AccountOf(const ReplayResult& result, int32_t account) {
  auto it = std::find_if(result.accounts.begin(), result.accounts.end(),
                         [&](const AccountResult& a) { return a.account == account; });
  EXPECT_NE(it, result.accounts.end());
  return *it;
}

// Balance, equity, margin requirement, open positions, hits, liquidations.
std::vector<double> Figures(const AccountResult& a) {
  return {a.balance, a.equity, a.margin_requirement, static_cast<double>(a.open_positions),
          static_cast<double>(a.hits), static_cast<double>(a.liquidations)};
}

bool Logged(const ReplayResult& result, const std::string& line) {
  return std::find(result.events.begin(), result.events.end(), line) != result.events.end();
}

// The message of the input error `parse` raises, or "accepted".
template <typename Parse>
std::string ErrorOf(Parse&& parse) {
  try {
    parse();
  } catch (const InputError& e) {
    return e.what();
  }
  return "accepted";
}

class ReplayTest : public ::testing::Test {
 protected:
  ReplayResult Run() {
    const Book book = import_book(kBook, "book.txt");
    return run_replay(book, import_tape(kTape, "tape.txt", book), {});
  }
};

TEST_F(ReplayTest, AHandWorkedBookEndsAsCalculated) {
  const ReplayResult result = Run();
  ASSERT_EQ(result.ticks, 6u);

  // 12:00:03: Alice's buy is 1,600 down (1.1840 - 1.2000), equity 400 on
  // 1,000 margin: 40 %, at or below 50 %, so it is closed at 1.1840.
  EXPECT_EQ(Figures(AccountOf(result, 100)), (std::vector<double>{400, 400, 0, 0, 0, 1}));

  // 12:00:01: the ask with spread 1.1950 fills Bob's buy limit (5 commission).
  // Saturday: the symbol is closed, the sell stop waits. Sunday 22:00: the bid
  // 1.1810 fills it (another 5). Buy: (1.1810 - 1.1950) * 100000 = -1400;
  // sell: closes at the ask with spread 1.1812, -20.
  const AccountResult& bob = AccountOf(result, 200);
  EXPECT_EQ(Figures(bob), (std::vector<double>{4990, 3570, -2000, 2, 2, 0}));
  EXPECT_DOUBLE_EQ(bob.margin_level, 1.785);

  EXPECT_EQ(result.order_hits, 2u);
  EXPECT_EQ(result.alert_hits, 1u);  // fired once, then deleted by the host
  EXPECT_EQ(result.liquidated_positions, 1u);
  EXPECT_TRUE(Logged(result, "03/03/2027 12:00:01  account 200: entry order 8 hit at 1.195"));
  EXPECT_TRUE(Logged(result, "03/03/2027 12:00:01  account 200: opened ticket 2 buy 1 lots at 1.195"));
  EXPECT_TRUE(Logged(result, "03/03/2027 12:00:03  client 10: alert 1 fired at 1.184"));
  EXPECT_TRUE(Logged(result,
                     "03/03/2027 12:00:03  Account 100 reached the liquidation point Margin "
                     "Level = 50 (Balance = 2000 Credit = 0 Flt P/L = -1600 Equity = 400 M Req "
                     "= -1000 M Level = 40% Eff Margin = 1000)"));
  EXPECT_TRUE(Logged(result, "03/03/2027 12:00:03  account 100: closed ticket 1 (liquidation) "
                             "at 1.184, profit -1600"));
  EXPECT_TRUE(Logged(result, "07/03/2027 22:00:00  account 200: entry order 9 hit at 1.181"));
  for (const std::string& line : result.events) {
    EXPECT_EQ(line.find("06/03/2027"), std::string::npos) << line;  // nothing while closed
  }
}

TEST_F(ReplayTest, ReportsShowTheFiguresAndCharts) {
  const ReplayResult result = Run();
  std::ostringstream table, html;
  write_table(table, result);
  EXPECT_NE(table.str().find("      10      100        400.00        400.00         -     0     0    1"),
            std::string::npos)
      << table.str();
  EXPECT_NE(table.str().find("178.50"), std::string::npos);
  write_html(html, result, "t");
  const std::string page = html.str();
  size_t charts = 0;
  for (size_t at = page.find("<svg"); at != std::string::npos; at = page.find("<svg", at + 1)) {
    ++charts;
  }
  EXPECT_EQ(charts, 4u);  // equity and margin level for each account
  EXPECT_EQ(page.find("http://"), page.find("http://www.w3.org/2000/svg"));  // nothing fetched
}

TEST(ReplayInputTest, BadInputNamesFileLineAndField) {
  const std::string symbols =
      "SYMBOL 1 USD -4 1 1 1 1 0 1 1 FRIDAY 22:00 SUNDAY 22:00\n"
      "SYMBOL 2 EURUSD -4 100000 1 1 1 1000 1.2 1.2001 FRIDAY 22:00 SUNDAY 22:00\n";
  const std::pair<std::string, std::string> books[] = {
      {"SYMBOL 1 USD -4 1 1 1 1 0 x 1 FRIDAY 22:00 SUNDAY 22:00\n",
       "b.txt:1: field 'bid': not a number: 'x'"},
      {"\n# c\nSYMBOL 1 USD -4 1 1 1 1 0 1 1 FRIDAY 22:00 FUNDAY 22:00\n",
       "b.txt:3: field 'open_day': not a day name: 'FUNDAY'"},
      {symbols + "SYMBOL 3 X -4 1 1 9 1 0 1 1 FRIDAY 22:00 SUNDAY 22:00\n",
       "b.txt:3: field 'ref_id': no symbol 9"},
      {symbols + "PARAMSET p 1,0,0,0,0,0,100,0.01\n",
       "b.txt:3: field 'groups': expected groups of nine fields, found 8 fields"},
      {symbols + "ACCOUNT 10 100 1 0 0 2000 0 -1000 0 0 0 0\n",
       "b.txt:3: field 'client': no client 10"},
      {symbols + "PARAMSET p 1,0,0,0,0,0,100,0.01,0\nCLIENT 10 p 2 50 2 0 A\n"
       "ACCOUNT 10 100 1 0 0 2000 0 -1000 0 0 0 0\nPOSITION 10 100 1R,@2R,@3\n",
       "b.txt:6: field 'position-row': expected 16 cells, found 3"},
      {symbols + "PARAMSET p 1,0,0,0,0,0,100,0.01,0\nCLIENT 10 p 2 50 2 0 A\n"
       "ACCOUNT 10 100 1 0 0 2000 0 -1000 0 0 0 0\n"
       "POSITION 10 100 10R,@100R,@1R,@tR,@BuyR,@1R,@2R,@1.2R,@R,@R,@0R,@1R,@ER,@0R,@R,@\n",
       "b.txt:6: field 'position-row cell 7 (symbol)': the client's parameter set does not "
       "price symbol 2 and its reference symbol"},
      {"NOTE hello\n", "b.txt:1: field 'record': unknown record kind 'NOTE'"},
      {"", "b.txt: field 'SYMBOL': the unit symbol 1 (account currency) is not defined"},
  };
  for (const auto& c : books) {
    EXPECT_EQ(ErrorOf([&] { import_book(c.first, "b.txt"); }), c.second) << c.first;
  }
  const Book book = import_book(kBook, "book.txt");
  const std::pair<std::string, std::string> tapes[] = {
      {"03/03/2027 12:00:00 2 1.1 1.1\n30/02/2027 12:00:00 2 1.1 1.1\n",
       "t.txt:2: field 'date': no such date: '30/02/2027'"},
      {"03/03/2027 12:00:01 2 1.1 1.1\n03/03/2027 12:00:00 2 1.1 1.1\n",
       "t.txt:2: field 'time': earlier than the tick before it"},
      {"03/03/2027 12:00:00 1 1 1\n", "t.txt:1: field 'symbol': no tradable symbol 1 in the book"},
      {"03/03/2027 12:00:00 2 1.2 1.1\n", "t.txt:1: field 'ask': below the bid"},
      {"03/03/2027 12:00:00 2 1.2\n",
       "t.txt:1: field 'record': expected date time symbol bid ask, found 4 fields"},
  };
  for (const auto& c : tapes) {
    EXPECT_EQ(ErrorOf([&] { import_tape(c.first, "t.txt", book); }), c.second) << c.first;
  }
}

}  // namespace
}  // namespace orvane::replay
