// The broker's tree, its dealers and the platform's settings as a book gives
// them, and as the desk and a terminal take them.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "book_import.h"
#include "desk.h"
#include "memory_store.h"
#include "orvane/accounts/account.h"
#include "orvane/clients/clients.h"
#include "orvane/clients/global_var.h"
#include "orvane/core/clock.h"
#include "orvane/vocabulary/client_type_enum.h"
#include "orvane/vocabulary/user_type_enum.h"
#include "platform.h"

namespace orvane::apps {
namespace {

const std::string kSymbols =
    "SYMBOL 1 USD -4 1 1 1 1 0 1 1 FRIDAY 22:00 SUNDAY 22:00\n"
    "SYMBOL 2 EURUSD -4 100000 1 1 1 1000 1.2 1.2001 FRIDAY 22:00 SUNDAY 22:00\n"
    "PARAMSET p 2,,0,0,0,0,100,0.01,0\n";

const std::string kTree = kSymbols +
                          "OFFICE 1000 0 Head office\n"
                          "GROUP 1100 1000 Desk A\n"
                          "CLIENT 10 p 1 100 2 0 Ann\n"
                          "CLIENT 20 p 1 100 2 0 Bob\n"
                          "PARENT 10 1100\n"
                          "ACCOUNT 10 100 1 0 0 2000 0 0 0 0 0 0\n"
                          "ACCOUNT 20 200 1 0 0 2000 0 0 0 0 0 0\n"
                          "SETTINGS 10 1 1 1 0\n"
                          "DEALER dana pw 1100 3,23,71\n"
                          "PLATFORM price_changed_timer 15\n"
                          "PLATFORM dealer_timer 7\n"
                          "PLATFORM server_gmt 2.5\n";

std::string ErrorOf(const std::string& book) {
  try {
    import_book(book, "b.txt");
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

TEST(BookTreeTest, OfficesGroupsDealersAndSettingsAreRead) {
  const model::Snapshot book = import_book(kTree, "b.txt");
  ASSERT_EQ(book.clients.size(), 4u);
  EXPECT_EQ(book.clients[0].type, OFFICE_TYPE);
  EXPECT_EQ(book.clients[1].type, OTHER_GROUPS_TYPE);
  EXPECT_EQ(book.clients[1].parent, 1000);
  EXPECT_EQ(book.clients[2].parent, 1100);
  EXPECT_TRUE(book.clients[2].manual_dealing);
  EXPECT_FALSE(book.clients[2].auto_liquidation);
  EXPECT_EQ(book.clients[3].parent, 0);
  EXPECT_FALSE(book.clients[3].manual_dealing);
  ASSERT_EQ(book.users.size(), 1u);
  EXPECT_EQ(book.users[0].type, DEALER_USER_TYPE);
  EXPECT_EQ(book.users[0].client, 1100);
  EXPECT_EQ(book.platform.price_changed_timer, 15);
  EXPECT_EQ(book.platform.dealer_timer, 7);
  EXPECT_EQ(book.platform.client_timeout_timer, model::Platform{}.client_timeout_timer);
}

// Each record's refusal names its line and field; a good record reads.
TEST(BookTreeTest, BadTreeAndInterestRecordsNameTheirLineAndField) {
  const std::pair<std::string, std::string> cases[] = {
      {"OFFICE 1000 5 Head\n", "b.txt:4: field 'parent': no office or group 5"},
      {"OFFICE 1000 0 A\nGROUP 1100 1000 B\nPARENT 1000 1100\n",
       "b.txt:6: field 'parent': would put the client below itself"},
      {"OFFICE 1000 0 A\nACCOUNT 1000 1 1 0 0 1 0 0 0 0 0 0\n",
       "b.txt:5: field 'client': no client 1000"},
      {"OFFICE 1000 0 A\nSETTINGS 1000 1 1 1\n", "b.txt:5: field 'client': no client 1000"},
      {"DEALER d pw 77 3\n", "b.txt:4: field 'tree': no client, office or group 77"},
      {"DEALER d pw 0 201\n", "b.txt:4: field 'privileges': must lie in 1..200"},
      {"PLATFORM price_changed_timer 0\n", "b.txt:4: field 'value': seconds must lie in 1..3600"},
      {"PLATFORM colour blue\n", "b.txt:4: field 'name': no platform setting 'colour'"},
      {"INTEREST 2 -0.5 +0.25 360\n", ""},
      {"INTEREST 3 1 1 365\n", "b.txt:4: field 'symbol': no tradable symbol 3"},
      {"INTEREST 1 1 1 365\n", "b.txt:4: field 'symbol': no tradable symbol 1"},
      {"INTEREST 2 1 1 365\nINTEREST 2 2 2 365\n",
       "b.txt:5: field 'symbol': interest rates given twice"},
      {"INTEREST 2 1% 1 365\n", "b.txt:4: field 'yearly_buy_rate': not a number: '1%'"},
      {"INTEREST 2 1 1 0\n", "b.txt:4: field 'year_days': must lie in 1..366"},
      {"INTEREST 2 1 1 367\n", "b.txt:4: field 'year_days': must lie in 1..366"},
      {"INTEREST 2 1 1\n",
       "b.txt:4: field 'record': expected INTEREST symbol "
       "yearly_buy_rate yearly_sell_rate year_days, found 4 fields"},
  };
  for (const auto& [records, error] : cases) {
    EXPECT_EQ(ErrorOf(kSymbols + records), error) << records;
  }
}

// The text a terminal receives is the one CGlobalVar reads, and reads back
// to the same settings.
TEST(BookTreeTest, PlatformTextIsWhatTheLibraryReads) {
  model::Platform p;
  p.multi_sessions_allowed = true;
  p.dealer_timer = 9;
  p.price_changed_timer = 12;
  p.valid_lots_location = 1;
  p.client_connect_timer = 4;
  p.client_timeout_timer = 11;
  p.server_gmt = -3.5;
  const std::string text = model::platform_text(p);
  CGlobalVar values;
  values.SetValues(text);
  EXPECT_TRUE(values.MultiSessionsAllowed());
  EXPECT_EQ(values.PriceChangedTimer(), 12);
  EXPECT_DOUBLE_EQ(values.DefaultLots(), 0.1);
  EXPECT_EQ(values.ClientConnectTimer(), 4);
  EXPECT_EQ(values.ClientTimeoutTimer(), 11);
  EXPECT_EQ(values.ServerGMT(), -3.5);
  EXPECT_EQ(model::platform_from_text(text), p);
  // A short text keeps the defaults of what it does not reach.
  const model::Platform short_text = model::platform_from_text("1,8");
  EXPECT_TRUE(short_text.multi_sessions_allowed);
  EXPECT_EQ(short_text.dealer_timer, 8);
  EXPECT_EQ(short_text.price_changed_timer, model::Platform{}.price_changed_timer);
}

TEST(BookTreeTest, TheDeskKnowsTheTreeAndWhoIsLiquidated) {
  MemoryStore store(import_book(kTree, "b.txt"));
  Desk desk(store, std::make_shared<FixedClock>(DateTime::FromParts(2027, 3, 3, 12, 0, 0)),
            nullptr);
  desk.load();
  EXPECT_TRUE(desk.sees(1000, 10));  // two levels down
  EXPECT_TRUE(desk.sees(1100, 10));
  EXPECT_FALSE(desk.sees(1100, 20));
  EXPECT_TRUE(desk.sees(0, 20));
  EXPECT_FALSE(desk.sees(1100, 99));
  EXPECT_TRUE(desk.engine().Clients()->Account(10, 100)->DontLiquidate());
  EXPECT_FALSE(desk.engine().Clients()->Account(20, 200)->DontLiquidate());
  EXPECT_EQ(desk.platform().dealer_timer, 7);
  EXPECT_EQ(desk.snapshot().clients, store.load().clients);
}

}  // namespace
}  // namespace orvane::apps
