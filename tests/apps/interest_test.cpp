// Daily interest on the server's desk: each rollover that market time passes
// books a day's interest (three on Wednesday, none at the weekend) to the
// positions of clients with interest enabled, into the account's totals for
// clients booked on open, once, also across a restart; every effect reaches
// the store as a change. Also the INTEREST record of a book and the
// server's rollover option.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "book_import.h"
#include "desk.h"
#include "memory_store.h"
#include "orvane/core/clock.h"
#include "orvane/vocabulary/operation_type_enum.h"
#include "replay.h"
#include "time_of_day.h"

namespace orvane::apps {
namespace {

// EURUSD pays 3.65 a year on a buy and costs 1.2 on a sell; GBPUSD has no
// rates. Client 1 books interest on open and holds a buy of 1 lot of EURUSD
// (1,000 a day) and a sell of GBPUSD; client 2 books on close and holds a
// sell of 0.5 lots of EURUSD (-164.3835 a day); client 3 has interest off.
const char* kBook = R"(SYMBOL 1 USD -4 1 1 1 1 0 1 1 FRIDAY 22:00 SUNDAY 22:00
SYMBOL 2 EURUSD -4 100000 1 1 1 1000 1.2000 1.2002 FRIDAY 22:00 SUNDAY 22:00
SYMBOL 3 GBPUSD -4 100000 1 1 1 1000 1.3000 1.3002 FRIDAY 22:00 SUNDAY 22:00
INTEREST 2 3.65 -1.2 365
PARAMSET p 1,0,0,0,0,0,100,0.01,0,2,0,0,0,0,0,100,0.01,0,3,0,0,0,0,0,100,0.01,0
CLIENT 1 p 0 0 1 1 On Open
USER u1 pw 1 4,5
ACCOUNT 1 10 1 0 0 100000 0 -2000 0 0 0 0
POSITION 1 10 1R,@10R,@101R,@01/03/2027 09:00:00R,@BuyR,@1R,@2R,@1.2000R,@R,@R,@0R,@1R,@EURUSDR,@0R,@R,@
POSITION 1 10 1R,@10R,@102R,@01/03/2027 09:00:00R,@SellR,@1R,@3R,@1.3000R,@R,@R,@0R,@1R,@GBPUSDR,@0R,@R,@
CLIENT 2 p 0 0 2 1 On Close
ACCOUNT 2 20 1 0 0 100000 0 -500 0 0 0 0
POSITION 2 20 2R,@20R,@201R,@01/03/2027 09:00:00R,@SellR,@0.5R,@2R,@1.2000R,@R,@R,@0R,@0.5R,@EURUSDR,@0R,@R,@
CLIENT 3 p 0 0 1 0 No Interest
ACCOUNT 3 30 1 0 0 100000 0 -1000 0 0 0 0
POSITION 3 30 3R,@30R,@301R,@01/03/2027 09:00:00R,@BuyR,@1R,@2R,@1.2000R,@R,@R,@0R,@1R,@EURUSDR,@0R,@R,@
)";

struct Recorder : DeskEvents {
  void logged(const std::string& text) override { lines.push_back(text); }
  void interest_booked(const model::Position& position) override { interest.push_back(position); }
  void totals_booked(const model::TotalsBooked& booked) override { totals.push_back(booked); }
  bool Said(const std::string& part) const {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
      return line.find(part) != std::string::npos;
    });
  }
  std::vector<std::string> lines;
  std::vector<model::Position> interest;
  std::vector<model::TotalsBooked> totals;
};

std::optional<model::Position> PositionIn(const std::vector<model::Position>& positions,
                                          int32_t ticket) {
  for (const model::Position& p : positions) {
    if (p.ticket == ticket) return p;
  }
  return std::nullopt;
}

class InterestTest : public ::testing::Test {
 protected:
  // A quote of EURUSD (or GBPUSD) at the book's prices (1 March 2027 is a
  // Monday).
  model::Quote At(const std::string& time, int32_t symbol = 2) const {
    const std::string prices = symbol == 2 ? " 2 1.2000 1.2002\n" : " 3 1.3000 1.3002\n";
    return import_tape(time + prices, "tape", m_book).front();
  }

  // The store starts from the book with market time at `time`.
  MemoryStore& StoreAt(const std::string& time) {
    model::Snapshot start = m_book;
    const model::Quote q = At(time);
    start.market_time = q.time;
    start.market_time_text = q.time_text;
    m_store = std::make_unique<MemoryStore>(start);
    return *m_store;
  }

  std::unique_ptr<Desk> OpenDesk(ExecutionModeEnum side = SERVER_SIDE_EXECUTION) {
    auto desk = std::make_unique<Desk>(*m_store, m_clock, &m_told, side);
    TradingRules rules;
    rules.max_deviation_pips = 1e9;
    rules.rollover_seconds = 22 * 3600;
    desk->rules(rules);
    desk->load();
    return desk;
  }

  static double InterestOf(const Desk& desk, int32_t client, int32_t ticket) {
    const auto p = PositionIn(desk.positions(client), ticket);
    EXPECT_TRUE(p.has_value()) << "no position " << ticket;
    return p ? p->interest : -1e9;
  }
  double StoredInterestOf(int32_t ticket) const {
    const auto p = PositionIn(m_store->load().positions, ticket);
    EXPECT_TRUE(p.has_value()) << "no stored position " << ticket;
    return p ? p->interest : -1e9;
  }
  static model::Totals TotalsOf(const Desk& desk, int32_t client) {
    return desk.accounts(client).at(0).totals;
  }

  std::shared_ptr<FixedClock> m_clock = std::make_shared<FixedClock>();
  ScopedClock m_scoped{m_clock};
  model::Snapshot m_book = import_book(kBook, "book");
  std::unique_ptr<MemoryStore> m_store;
  Recorder m_told;
};

TEST_F(InterestTest, ARolloverBooksADayToEachClientAsItsCommissionTypeSays) {
  StoreAt("02/03/2027 21:59:59");  // a Tuesday
  auto desk = OpenDesk();
  const AccountFigures open = *desk->figures_of(10);
  const AccountFigures close = *desk->figures_of(20);
  const AccountFigures off = *desk->figures_of(30);
  // The rollover itself, by a quote of the other symbol: figures of
  // EURUSD's holders move by the interest alone.
  ASSERT_TRUE(desk->apply_quote(At("02/03/2027 22:00:00", 3)));

  // On open: 3.65 x 1 lot x 100,000 / 365 in the position and in the
  // account's interest total, so in the balance.
  EXPECT_DOUBLE_EQ(InterestOf(*desk, 1, 101), 1000);
  EXPECT_DOUBLE_EQ(InterestOf(*desk, 1, 102), 0);  // GBPUSD has no rates
  EXPECT_DOUBLE_EQ(TotalsOf(*desk, 1).interest, 1000);
  EXPECT_NEAR(desk->figures_of(10)->balance - open.balance, 1000, 1e-9);
  EXPECT_NEAR(desk->figures_of(10)->equity - open.equity, 1000, 1e-9);
  // On close: -1.2 x 0.5 x 100,000 / 365 = -164.3835 stays with the
  // position; the balance keeps, the equity carries it.
  EXPECT_DOUBLE_EQ(InterestOf(*desk, 2, 201), -164.38);
  EXPECT_DOUBLE_EQ(TotalsOf(*desk, 2).interest, 0);
  EXPECT_DOUBLE_EQ(desk->figures_of(20)->balance, close.balance);
  EXPECT_NEAR(desk->figures_of(20)->equity - close.equity, -164.38, 1e-9);
  // Interest off: untouched.
  EXPECT_DOUBLE_EQ(InterestOf(*desk, 3, 301), 0);
  EXPECT_DOUBLE_EQ(desk->figures_of(30)->balance, off.balance);
  EXPECT_DOUBLE_EQ(desk->figures_of(30)->equity, off.equity);

  // Told and stored.
  ASSERT_EQ(m_told.interest.size(), 2u);
  EXPECT_EQ(m_told.interest[0].ticket, 101);
  EXPECT_DOUBLE_EQ(m_told.interest[0].interest, 1000);
  EXPECT_EQ(m_told.interest[1].ticket, 201);
  EXPECT_DOUBLE_EQ(m_told.interest[1].interest, -164.38);
  ASSERT_EQ(m_told.totals.size(), 1u);
  EXPECT_EQ(m_told.totals[0].account, 10);
  EXPECT_DOUBLE_EQ(m_told.totals[0].totals.interest, 1000);
  EXPECT_TRUE(m_told.Said("rollover 02/03/2027 22:00:00: 1 day of interest booked to 2 accounts"));
  EXPECT_DOUBLE_EQ(StoredInterestOf(101), 1000);
  EXPECT_DOUBLE_EQ(StoredInterestOf(201), -164.38);
  EXPECT_DOUBLE_EQ(m_store->load().accounts.at(0).totals.interest, 1000);

  // Later the same evening: nothing more.
  ASSERT_TRUE(desk->apply_quote(At("02/03/2027 23:30:00")));
  EXPECT_DOUBLE_EQ(InterestOf(*desk, 1, 101), 1000);
  EXPECT_EQ(m_told.interest.size(), 2u);
}

// Market time moving from a start through EURUSD quotes: the interest the
// buy (booked on open) and the sell (on close) then hold, the bookings told,
// and a line of the log.
TEST_F(InterestTest, EachRolloverPassedIsBookedOnceAndTheWeekendNone) {
  const struct {
    const char* start;
    std::vector<const char*> quotes;
    double buy, sell;
    size_t told;
    const char* said;
  } cases[] = {
      // Monday to Wednesday before its rollover: two days booked one by
      // one, 2 x -164.38 (one booking of two days would give -328.77).
      {"01/03/2027 21:00:00", {"03/03/2027 21:00:00"}, 2000, -328.76, 4,
       "rollover 02/03/2027 22:00:00"},
      // -1.2 x 3 x 50,000 / 365 = -493.1507 in one booking (three bookings
      // of a day would give -493.14).
      {"03/03/2027 21:59:00", {"03/03/2027 22:00:01"}, 3000, -493.15, 2,
       "rollover 03/03/2027 22:00:00: 3 days of interest"},
      // Friday's rollover books a day; Saturday's and Sunday's nothing;
      // Monday's a day.
      {"05/03/2027 21:59:59", {"06/03/2027 12:00:00", "08/03/2027 21:59:59"}, 1000, -164.38, 2,
       "rollover 05/03/2027 22:00:00: 1 day"},
      {"05/03/2027 21:59:59", {"06/03/2027 12:00:00", "08/03/2027 21:59:59", "08/03/2027 22:00:00"},
       2000, -328.76, 4, "rollover 08/03/2027 22:00:00: 1 day"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.quotes.back());
    m_told = Recorder();
    StoreAt(c.start);
    auto desk = OpenDesk();
    for (const char* time : c.quotes) ASSERT_TRUE(desk->apply_quote(At(time)));
    EXPECT_DOUBLE_EQ(InterestOf(*desk, 1, 101), c.buy);
    EXPECT_DOUBLE_EQ(TotalsOf(*desk, 1).interest, c.buy);
    EXPECT_DOUBLE_EQ(InterestOf(*desk, 2, 201), c.sell);
    EXPECT_EQ(m_told.interest.size(), c.told);
    EXPECT_TRUE(m_told.Said(c.said));
    // The store keeps the time, also past rollovers that booked nothing.
    EXPECT_EQ(m_store->load().market_time_text, c.quotes.back());
  }
}

TEST_F(InterestTest, ADeskLoadedFromTheStoreBooksOnlyLaterRollovers) {
  StoreAt("02/03/2027 21:59:59");
  auto desk = OpenDesk();
  ASSERT_TRUE(desk->apply_quote(At("02/03/2027 22:00:05")));
  ASSERT_DOUBLE_EQ(InterestOf(*desk, 1, 101), 1000);
  desk = OpenDesk();  // a restart
  EXPECT_DOUBLE_EQ(InterestOf(*desk, 1, 101), 1000);
  EXPECT_DOUBLE_EQ(TotalsOf(*desk, 1).interest, 1000);
  EXPECT_DOUBLE_EQ(InterestOf(*desk, 2, 201), -164.38);
  ASSERT_TRUE(desk->apply_quote(At("02/03/2027 23:00:00")));
  EXPECT_DOUBLE_EQ(InterestOf(*desk, 1, 101), 1000);
  EXPECT_DOUBLE_EQ(TotalsOf(*desk, 1).interest, 1000);
  ASSERT_TRUE(desk->apply_quote(At("03/03/2027 22:00:00")));  // Wednesday: three days
  EXPECT_DOUBLE_EQ(InterestOf(*desk, 1, 101), 4000);
  EXPECT_DOUBLE_EQ(TotalsOf(*desk, 1).interest, 4000);
  EXPECT_DOUBLE_EQ(InterestOf(*desk, 2, 201), -164.38 - 493.15);
}

TEST_F(InterestTest, ARolloverWithNothingToBookIsRememberedAcrossARestart) {
  m_book.positions.clear();
  StoreAt("02/03/2027 21:59:59");
  auto desk = OpenDesk();
  ASSERT_TRUE(desk->apply_quote(At("02/03/2027 22:00:05")));
  EXPECT_TRUE(m_told.interest.empty());
  desk = OpenDesk();
  // A buy of 1 lot opened after Tuesday's rollover earns nothing for it.
  MarketOrder buy;
  buy.username = "u1";
  buy.number = 1;
  buy.client = 1;
  buy.account = 10;
  buy.symbol = 2;
  buy.direction = BuyType;
  buy.lots = 1;
  buy.price = desk->deal_price(1, 2, BuyType, false).value();
  const auto outcome = desk->execute(buy);
  ASSERT_TRUE(outcome.has_value());
  ASSERT_EQ(outcome->code, kExecuted) << outcome->text;
  ASSERT_TRUE(desk->apply_quote(At("02/03/2027 23:00:00")));
  EXPECT_DOUBLE_EQ(InterestOf(*desk, 1, outcome->ticket), 0);
  ASSERT_TRUE(desk->apply_quote(At("03/03/2027 22:00:00")));
  EXPECT_DOUBLE_EQ(InterestOf(*desk, 1, outcome->ticket), 3000);
}

TEST_F(InterestTest, ATerminalsDeskBooksNoInterestOfItsOwn) {
  StoreAt("02/03/2027 21:59:59");
  auto desk = OpenDesk(CLIENT_SIDE_EXECUTION);
  ASSERT_TRUE(desk->apply_quote(At("03/03/2027 22:00:00")));
  EXPECT_DOUBLE_EQ(InterestOf(*desk, 1, 101), 0);
  EXPECT_DOUBLE_EQ(TotalsOf(*desk, 1).interest, 0);
  EXPECT_TRUE(m_told.interest.empty());
}

TEST_F(InterestTest, InterestBookedElsewhereIsAppliedAndStored) {
  StoreAt("02/03/2027 21:59:59");
  auto desk = OpenDesk(CLIENT_SIDE_EXECUTION);
  const AccountFigures before = *desk->figures_of(20);
  EXPECT_TRUE(desk->apply_change(model::InterestAdded{2, 20, 201, -12.5}));
  EXPECT_DOUBLE_EQ(InterestOf(*desk, 2, 201), -12.5);
  EXPECT_NEAR(desk->figures_of(20)->equity - before.equity, -12.5, 1e-9);
  EXPECT_DOUBLE_EQ(StoredInterestOf(201), -12.5);
  ASSERT_EQ(m_told.interest.size(), 1u);
  EXPECT_EQ(m_told.interest[0].ticket, 201);
  EXPECT_FALSE(desk->apply_change(model::InterestAdded{2, 20, 999, 1}));
  EXPECT_FALSE(desk->apply_change(model::InterestAdded{1, 20, 201, 1}));  // not client 1's
  EXPECT_DOUBLE_EQ(InterestOf(*desk, 2, 201), -12.5);
}

TEST_F(InterestTest, ADeskRefusesRatesOfASymbolItDoesNotHold) {
  m_book.interest_rates.push_back({7, 1, 1, 365});
  StoreAt("02/03/2027 21:59:59");
  Desk desk(*m_store, m_clock, nullptr);
  EXPECT_THROW(desk.load(), DeskError);
}

// The replay judges risk over a tape and books no interest, so rates and
// enabled clients change nothing in what it reports.
TEST_F(InterestTest, TheReplayBooksNoInterest) {
  model::Snapshot plain = m_book;
  plain.interest_rates.clear();
  for (model::Client& c : plain.clients) c.enable_interest = false;
  const std::vector<model::Quote> tape =
      import_tape("01/03/2027 12:00:00 2 1.2000 1.2002\n03/03/2027 23:00:00 2 1.2010 1.2012\n",
                 "tape", m_book);
  const replay::ReplayResult with = replay::run_replay(m_book, tape);
  const replay::ReplayResult without = replay::run_replay(plain, tape);
  EXPECT_EQ(with.events, without.events);
  ASSERT_EQ(with.accounts.size(), without.accounts.size());
  for (size_t i = 0; i < with.accounts.size(); ++i) {
    EXPECT_EQ(with.accounts[i].balance, without.accounts[i].balance);
    EXPECT_EQ(with.accounts[i].equity, without.accounts[i].equity);
  }
}

TEST(InterestBookTest, RatesAreRead) {
  const model::Snapshot book = import_book(kBook, "book");
  ASSERT_EQ(book.interest_rates.size(), 1u);
  EXPECT_EQ(book.interest_rates[0], (model::InterestRate{2, 3.65, -1.2, 365}));
}

TEST(RolloverOptionTest, ATimeOfDayIsReadToTheSecond) {
  EXPECT_EQ(parse_time_of_day("22:00:00"), 79200);
  EXPECT_EQ(parse_time_of_day("00:00:00"), 0);
  EXPECT_EQ(parse_time_of_day("23:59:59"), 86399);
  EXPECT_EQ(parse_time_of_day("07:05:09"), 25509);
  for (const char* bad : {"24:00:00", "22:60:00", "22:00:60", "22:00", "2:00:00", "22:00:00x",
                          "22-00-00", "-1:00:00", "", "ab:cd:ef"}) {
    EXPECT_EQ(parse_time_of_day(bad), std::nullopt) << bad;
  }
}

}  // namespace
}  // namespace orvane::apps
