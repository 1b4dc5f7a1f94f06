// The desk: every effect it decides reaches the store as a change, so that
// the store alone gives back its state; a refused commit stops it without a
// word about the batch; market time never goes backwards.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "book_import.h"
#include "desk.h"
#include "memory_store.h"
#include "orvane/core/clock.h"
#include "orvane/core/conversions.h"
#include "orvane/vocabulary/operation_type_enum.h"
#include "replay.h"
#include "time_of_day.h"

namespace orvane::apps {
namespace {

// Records in key order, so that two snapshots compare by content.
model::Snapshot Canonical(model::Snapshot s) {
  auto by = [](auto key) {
    return [key](const auto& a, const auto& b) { return key(a) < key(b); };
  };
  std::sort(s.accounts.begin(), s.accounts.end(),
            by([](const model::Account& a) { return a.account; }));
  std::sort(s.positions.begin(), s.positions.end(),
            by([](const model::Position& p) { return p.ticket; }));
  std::sort(s.orders.begin(), s.orders.end(), by([](const model::Order& o) { return o.id; }));
  std::sort(s.alerts.begin(), s.alerts.end(),
            by([](const model::Alert& a) { return std::make_pair(a.client, a.id); }));
  return s;
}

// What differs between a store's snapshot and a desk's, in words; empty
// when nothing does.
std::string Difference(const model::Snapshot& a, const model::Snapshot& b) {
  std::ostringstream out;
  auto section = [&](const char* name, const auto& x, const auto& y) {
    if (x.size() != y.size()) out << name << ": " << x.size() << " vs " << y.size() << "; ";
    for (size_t i = 0; i < std::min(x.size(), y.size()); ++i) {
      if (!(x[i] == y[i])) out << name << " #" << i << " differs; ";
    }
  };
  section("account", a.accounts, b.accounts);
  section("position", a.positions, b.positions);
  section("order", a.orders, b.orders);
  section("history", a.history, b.history);
  section("alert", a.alerts, b.alerts);
  const auto numbers = [](const model::Snapshot& s) {
    std::vector<model::OrderNumber> all;
    for (const auto& [user, kept] : s.order_numbers) all.insert(all.end(), kept.begin(), kept.end());
    return all;
  };
  section("order number", numbers(a), numbers(b));
  if (a.audit.size() != b.audit.size()) out << "audit " << a.audit.size() << " vs " << b.audit.size() << "; ";
  if (!(a.sequences == b.sequences)) out << "sequences; ";
  // Market time is kept with the batches that change something, so a store
  // may stand behind the desk by the quotes that changed nothing.
  if (b.market_time.Serial() < a.market_time.Serial()) {
    out << "time " << a.market_time_text << " after " << b.market_time_text << "; ";
  }
  if (!(a.symbols == b.symbols) || !(a.clients == b.clients) || !(a.users == b.users) ||
      !(a.interest_rates == b.interest_rates)) {
    out << "symbols, clients, users or interest rates; ";
  }
  return out.str();
}

// A random book: three symbols (one priced through a reference), clients
// with every liquidation rule and commission type, with and without
// interest, and accounts holding positions, entry orders, stop-loss and
// take-profit orders and alerts near the prices, so that a random walk
// fills, stops and liquidates.
std::string RandomBook(std::mt19937& random) {
  std::ostringstream book;
  book << "SYMBOL 1 USD -4 1 1 1 1 0 1 1 FRIDAY 22:00 SUNDAY 22:00\n"
          "SYMBOL 2 EURUSD -4 100000 1 1 1 1000 1.2000 1.2002 FRIDAY 22:00 SUNDAY 22:00\n"
          "SYMBOL 3 USDJPY -2 100000 1 3 2 1000 150.00 150.03 FRIDAY 22:00 SUNDAY 22:00\n"
          "SYMBOL 4 XAUUSD -2 100 1 1 1 2000 2000.00 2000.50 FRIDAY 22:00 SUNDAY 22:00 "
          "21:00 22:00\n"
          "PARAMSET p 1,0,0,0,0,0,100,0.01,0,2,2,0,0,0,3,100,0.01,0,"
          "3,2,0,0,0,0,100,0.01,0,4,,0,0,0,2,100,0.01,0\n"
          "INTEREST 2 0.0365 -0.0219 365\n"
          "INTEREST 4 -1.5 0.9 360\n";
  const double mid[] = {0, 0, 1.2001, 150.01, 2000.25};
  const double decimals[] = {0, 0, 1e4, 1e2, 1e2};  // prices lie on the symbol's grid
  auto on_grid = [&](int symbol, double price) {
    return std::round(price * decimals[symbol]) / decimals[symbol];
  };
  std::uniform_real_distribution<double> unit(0, 1);
  int ticket = 1000, order = 5000;
  for (int c = 1; c <= 6; ++c) {
    book << "CLIENT " << c << " p " << c % 3 << " " << (c % 3 == 1 ? 500 : 60) << " "
         << 1 + c % 2 << " " << (c % 3 != 0 ? 1 : 0) << " Client " << c << "\n";
    book << "USER u" << c << " pw " << c << " 4,5\n";
    for (int a = 0; a < 2; ++a) {
      const int account = c * 10 + a;
      book << "ACCOUNT " << c << " " << account << " 1 0 0 " << 1500 + 500 * a << " 0 0 0 "
           << 100 * a << " 0 0\n";
      for (int k = 0; k < 3; ++k) {
        const int symbol = 2 + static_cast<int>(unit(random) * 3);
        const bool buy = unit(random) < 0.5;
        const double lots = symbol == 4 ? 1 : 0.5;
        const int t = ++ticket;
        book << "POSITION " << c << " " << account << " " << c << "R,@" << account << "R,@" << t
             << "R,@03/03/2027 09:00:00R,@" << (buy ? "Buy" : "Sell") << "R,@" << lots
             << "R,@" << symbol << "R,@" << mid[symbol] << "R,@R,@R,@0R,@" << lots
             << "R,@SR,@0R,@R,@book\n";
        if (unit(random) < 0.7) {
          const double away = mid[symbol] * (0.002 + 0.004 * unit(random));
          book << "ORDER " << c << " " << account << " " << ++order << "R,@03/03/2027 "
               << "09:00:00R,@" << (buy ? -1 : 1) << "R,@" << lots << "R,@" << symbol
               << "R,@0R,@SLR,@" << t << "R,@" << on_grid(symbol, mid[symbol] + (buy ? -away : away))
               << "R,@" << on_grid(symbol, mid[symbol] + (buy ? away : -away)) << "R,@0R,@\n";
        }
      }
      const int symbol = 2 + static_cast<int>(unit(random) * 3);
      const int kind[] = {1, -1, 2, -2};
      const int direction = kind[static_cast<int>(unit(random) * 4)];
      const double away = mid[symbol] * 0.002 * (direction == 1 || direction == -2 ? -1 : 1);
      book << "ORDER " << c << " " << account << " " << ++order << "R,@03/03/2027 09:00:00R,@"
           << direction << "R,@0.5R,@" << symbol << "R,@" << on_grid(symbol, mid[symbol] + away)
           << "R,@LOR,@0R,@0R,@0R,@0R,@\n";
    }
    book << "ALERT " << c << " 1 " << 2 + c % 3 << " " << 1 + c % 4 << " "
         << on_grid(2 + c % 3, mid[2 + c % 3] * (c % 2 ? 1.001 : 0.999)) << "\n";
  }
  return book.str();
}

// A market order that opens a position for one of the random book's
// clients, under `number`.
MarketOrder RandomOpen(std::mt19937& random, std::uniform_int_distribution<int>& pick,
                       int32_t number) {
  const int32_t client = 1 + pick(random) % 6;
  MarketOrder order;
  order.username = "u" + std::to_string(client);
  order.number = number;
  order.client = client;
  order.account = client * 10 + pick(random) % 2;
  order.symbol = 2 + pick(random) % 3;
  order.direction = pick(random) % 2 ? BuyType : SellType;
  order.lots = (1 + pick(random) % 10) / 10.0;
  return order;
}

// Quotes of every symbol walking up to 0.3 % a step, a second apart, over a
// weekend closure (and Friday's rollover at 22:00).
std::vector<model::Quote> RandomQuotes(std::mt19937& random, size_t count) {
  std::normal_distribution<double> move(0, 0.001);
  double mid[] = {0, 0, 1.2001, 150.01, 2000.25};
  const double pip[] = {0, 0, 0.0001, 0.01, 0.01};
  DateTime time = DateTime::FromParts(2027, 3, 5, 21, 50, 0);  // Friday, before the close
  std::vector<model::Quote> quotes;
  for (size_t i = 0; i < count; ++i) {
    const int symbol = 2 + static_cast<int>(i % 3);
    mid[symbol] *= 1 + move(random);
    model::Quote q;
    q.symbol = symbol;
    q.bid = std::round(mid[symbol] / pip[symbol] - 1) * pip[symbol];
    q.ask = q.bid + 2 * pip[symbol];
    time = time + (i == count / 2 ? 2.0 : 1.0 / 86400);  // the middle one lands on Sunday
    q.time = time;
    char text[32];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", time.Day(), time.Month(),
                  time.Year(), time.Hour(), time.Minute(), time.Second());
    q.time_text = text;
    quotes.push_back(q);
  }
  return quotes;
}

// A client's random request about pending orders, about the market order
// `base` would have been: an entry order near the client's price (on either
// side, so that some are refused), expiring a few quotes on or never; a
// change or a deletion of one of the client's orders; or a guard of one of
// its positions.
PendingOrder RandomPendingOrder(const Desk& desk, const MarketOrder& base,
                                const std::vector<model::Quote>& quotes, size_t at,
                                std::mt19937& random) {
  std::uniform_int_distribution<int> pick(0, 99);
  PendingOrder order;
  order.username = base.username;
  order.number = base.number;
  order.client = base.client;
  order.account = base.account;
  order.kind = LimitOrdersType;
  order.symbol = base.symbol;
  const int32_t kinds[] = {BuyType, BuyStopType, SellType, SellStopType};
  order.direction = kinds[pick(random) % 4];
  order.lots = base.lots;
  const double pip = base.symbol == 2 ? 0.0001 : 0.01;
  const double now = desk.deal_price(base.client, base.symbol, order.direction > 0 ? 1 : -1,
                                    false).value_or(1);
  order.price = now + pip * (pick(random) % 40 - 20);
  if (pick(random) % 2 && at + 5 < quotes.size()) order.expiry = quotes[at + 5].time_text;
  const auto orders = desk.orders(base.client);
  const auto positions = desk.positions(base.client);
  const int choice = pick(random);
  if (choice < 40 && !orders.empty()) {
    const model::Order& o = orders[static_cast<size_t>(pick(random)) % orders.size()];
    order.account = o.account;
    order.kind = o.kind;
    order.id = o.id;
    order.action = pick(random) % 3 ? PendingOrder::Action::kChange : PendingOrder::Action::kDelete;
    order.price = o.price + pip * (pick(random) % 10 - 5);
    order.sl = o.sl > 0 ? o.sl + pip * (pick(random) % 10 - 5) : 0;
    order.tp = o.tp;
  } else if (choice < 70 && !positions.empty()) {
    const model::Position& p = positions[static_cast<size_t>(pick(random)) % positions.size()];
    const double close = desk.deal_price(base.client, p.symbol, p.direction, true).value_or(1);
    order.account = p.account;
    order.kind = SlTpType;
    order.ticket = p.ticket;
    order.sl = close - p.direction * pip * (pick(random) % 30);
    order.tp = pick(random) % 2 ? close + p.direction * pip * (pick(random) % 30) : 0;
  }
  return order;
}

// Records what a desk tells.
struct Told : DeskEvents {
  void logged(const std::string& text) override { lines.push_back(text); }
  void position_closed(const model::PositionClosed&) override { ++closed; }
  void position_opened(const model::Position&) override { ++opened; }
  void alert_fired(int32_t, int32_t, const std::string&) override { ++alerts; }
  void interest_booked(const model::Position& position) override { interest.push_back(position); }
  void totals_booked(const model::TotalsBooked& booked) override { totals.push_back(booked); }
  void halted(const std::string& reason) override { halts.push_back(reason); }
  bool Said(const std::string& part) const {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
      return line.find(part) != std::string::npos;
    });
  }
  std::vector<std::string> lines;
  std::vector<std::string> halts;
  std::vector<model::Position> interest;
  std::vector<model::TotalsBooked> totals;
  int closed = 0, opened = 0, alerts = 0;
};

class DeskTest : public ::testing::Test {
 protected:
  std::shared_ptr<FixedClock> m_clock = std::make_shared<FixedClock>();
  ScopedClock m_scoped{m_clock};
};

// What the entries of `snapshot` leave unexplained: each account's ledgers
// whose entries do not add up to the total, to the cent, in words.
std::string Unexplained(const model::Snapshot& snapshot) {
  std::map<std::tuple<int32_t, int32_t, model::Ledger>, double> sums;
  for (const model::MoneyEntry& e : snapshot.entries) {
    sums[{e.client, e.account, e.ledger}] += e.amount;
  }
  std::ostringstream out;
  for (const model::Account& a : snapshot.accounts) {
    for (model::Ledger ledger : model::kLedgers) {
      const double sum = sums[{a.client, a.account, ledger}];
      const double total = model::ledger_total(a.totals, ledger);
      if (std::fabs(RoundMoney(sum) - RoundMoney(total)) > 1e-6) {
        out << "account " << a.account << " ledger " << static_cast<int32_t>(ledger) << ": "
            << sum << " vs " << total << "; ";
      }
    }
  }
  return out.str();
}

model::Snapshot WithOpeningEntries(model::Snapshot book) {
  for (const model::Account& a : book.accounts) {
    for (model::MoneyEntry& entry : model::opening_entries(a.client, a.account, a.totals, "")) {
      book.entries.push_back(std::move(entry));
    }
  }
  return book;
}

// Random quotes and orders over random books: the store alone gives the
// desk's state back, a desk started again from it goes on where the other
// stood, and every total is explained by the money entries, to the cent.
TEST_F(DeskTest, TheStoredChangesGiveTheLiveStateBackAndExplainEveryTotal) {
  int hedges = 0;
  std::map<std::string, int> notes;
  for (unsigned seed = 1; seed <= 4; ++seed) {
    std::mt19937 random(seed);
    const model::Snapshot book = WithOpeningEntries(import_book(RandomBook(random), "random"));
    ASSERT_EQ(Unexplained(book), "");
    MemoryStore store(book, true);
    Told told;
    auto desk = std::make_unique<Desk>(store, m_clock, &told);
    TradingRules any_price;  // no re-quotes: every order is judged on the rest
    any_price.max_deviation_pips = 1e9;
    any_price.rollover_seconds = 22 * 3600;
    desk->rules(any_price);
    desk->load();
    const std::vector<model::Quote> quotes = RandomQuotes(random, 600);
    std::uniform_int_distribution<int> pick(0, 99);
    int32_t number = 0;
    int opens = 0, closes = 0, pendings = 0;
    for (size_t i = 0; i < quotes.size(); ++i) {
      ASSERT_TRUE(desk->apply_quote(quotes[i]));
      // Clients' market orders between the quotes: opens and closes, whole
      // or in part, some refused by the rules.
      MarketOrder order = RandomOpen(random, pick, ++number);
      const auto positions = desk->positions(order.client);
      const int choice = pick(random);
      if (choice < 40 && !positions.empty()) {
        const model::Position& p = positions[static_cast<size_t>(pick(random)) % positions.size()];
        order.account = p.account;
        order.ticket = p.ticket;
        order.lots = pick(random) % 2 ? 0 : std::min(order.lots, p.lots / (1 + choice % 3));
      } else if (choice < 50 && positions.size() >= 2) {
        // Two positions closed against each other (often refused: not a hedge).
        order.account = positions[0].account;
        order.ticket = positions[0].ticket;
        order.hedge_ticket = positions[1].ticket;
      }
      if (choice >= 50 && choice < 75) {
        // A pending order placed, changed or deleted instead (some refused).
        const auto outcome = desk->execute(RandomPendingOrder(*desk, order, quotes, i, random));
        ASSERT_TRUE(outcome.has_value());
        if (outcome->code == kExecuted) ++pendings;
        continue;
      }
      const auto outcome = desk->execute(order);
      ASSERT_TRUE(outcome.has_value());
      if (outcome->code == kExecuted) ++(order.hedge_ticket ? hedges : order.ticket ? closes : opens);
      if (i % 150 == 149) {
        ASSERT_EQ(Difference(Canonical(store.load()), Canonical(desk->snapshot())), "")
            << "seed " << seed;
        ASSERT_EQ(Unexplained(store.load()), "") << "seed " << seed << ", quote " << i;
        ASSERT_TRUE(desk->snapshot().entries == store.load().entries);
        // A desk started again from the store goes on where this one stood,
        // measuring its moves from the stored totals.
        desk = std::make_unique<Desk>(store, m_clock, &told);
        desk->rules(any_price);
        desk->load();
        ASSERT_EQ(Difference(Canonical(store.load()), Canonical(desk->snapshot())), "")
            << "seed " << seed;
      }
    }
    // The walk did execute every kind of work, so the check above saw it.
    EXPECT_GT(told.opened, 0) << "seed " << seed;
    EXPECT_GT(told.closed, 0) << "seed " << seed;
    EXPECT_GT(told.alerts, 0) << "seed " << seed;
    EXPECT_GT(told.interest.size(), 0u) << "seed " << seed;
    EXPECT_GT(opens, 10) << "seed " << seed;
    EXPECT_GT(closes, 10) << "seed " << seed;
    EXPECT_GT(pendings, 10) << "seed " << seed;
    EXPECT_TRUE(told.Said(" expired at ")) << "seed " << seed;
    const model::Snapshot stored = store.load();
    EXPECT_GT(stored.sequences.ticket, book.sequences.ticket);
    EXPECT_EQ(Unexplained(stored), "") << "seed " << seed;
    // Why the history says each ticket closed, in whole or in part.
    std::set<std::pair<int32_t, std::string>> closed_as;
    for (const model::HistoryEntry& h : stored.history) closed_as.emplace(h.ticket, h.note);
    for (size_t e = book.entries.size(); e < stored.entries.size(); ++e) {
      const model::MoneyEntry& entry = stored.entries[e];
      ++notes[entry.note];
      EXPECT_NEAR(entry.amount * 100, std::round(entry.amount * 100), 1e-6);
      EXPECT_NE(entry.amount, 0);
      EXPECT_FALSE(entry.time.empty());
      switch (entry.ledger) {
        case model::Ledger::kCommission:
          EXPECT_EQ(entry.note, "open");
          EXPECT_NE(entry.ticket, 0);
          break;
        case model::Ledger::kNetProfit:
          EXPECT_TRUE(closed_as.count({entry.ticket, entry.note}))
              << "ticket " << entry.ticket << " " << entry.note;
          break;
        case model::Ledger::kInterest:
          EXPECT_EQ(entry.note, "interest");
          break;
        default:
          ADD_FAILURE() << "trading moved ledger " << static_cast<int32_t>(entry.ledger);
      }
    }
  }
  EXPECT_GT(hedges, 0);
  // Every kind of move was booked.
  EXPECT_GT(notes["open"], 10);
  EXPECT_GT(notes["client"], 10);
  EXPECT_GT(notes["interest"], 0);
  EXPECT_GT(notes["stop-loss"] + notes["take-profit"], 0);
}

TEST_F(DeskTest, ARefusedCommitTellsNothingAndStopsTheDesk) {
  std::mt19937 random(3);
  const model::Snapshot book = import_book(RandomBook(random), "random");
  MemoryStore store(book);
  Told told;
  Desk desk(store, m_clock, &told);
  desk.load();
  const std::vector<model::Quote> quotes = RandomQuotes(random, 600);
  size_t i = 0;
  // Up to the quote before the first execution.
  for (; i < quotes.size(); ++i) {
    MemoryStore probe(desk.snapshot());
    Desk trial(probe, m_clock, nullptr);
    trial.load();
    trial.apply_quote(quotes[i]);
    if (probe.batches() > 0) break;
    ASSERT_TRUE(desk.apply_quote(quotes[i]));
  }
  ASSERT_LT(i, quotes.size());
  const model::Snapshot before = store.load();
  const size_t lines = told.lines.size();
  store.fail_commits("disk full");
  EXPECT_FALSE(desk.apply_quote(quotes[i]));
  EXPECT_EQ(told.lines.size(), lines);  // not even the hit's log line
  ASSERT_EQ(told.halts.size(), 1u);
  EXPECT_NE(told.halts[0].find("disk full"), std::string::npos);
  store.heal_commits();
  EXPECT_FALSE(desk.apply_quote(quotes[i + 1]));
  EXPECT_TRUE(desk.halted());
  EXPECT_EQ(store.load(), before);
}

TEST_F(DeskTest, MarketTimeNeverGoesBackwards) {
  std::mt19937 random(5);
  MemoryStore store(import_book(RandomBook(random), "random"));
  Desk desk(store, m_clock, nullptr);
  desk.load();
  std::vector<model::Quote> quotes = RandomQuotes(random, 2);
  ASSERT_TRUE(desk.apply_quote(quotes[1]));
  ASSERT_TRUE(desk.apply_quote(quotes[0]));  // an older quote still prices its symbol
  EXPECT_EQ(desk.market_time(), quotes[1].time);
  EXPECT_EQ(Now(), quotes[1].time);
  EXPECT_EQ(desk.market_time_text(), quotes[1].time_text);
}

TEST_F(DeskTest, AChangeNamingWhatTheDeskDoesNotHoldIsRefused) {
  std::mt19937 random(7);
  const model::Snapshot book = import_book(RandomBook(random), "random");
  MemoryStore store(book);
  Desk desk(store, m_clock, nullptr, CLIENT_SIDE_EXECUTION);
  desk.load();
  model::PositionClosed unknown;
  unknown.client = 1, unknown.account = 10, unknown.ticket = 999999;
  EXPECT_FALSE(desk.apply_change(unknown));
  EXPECT_FALSE(desk.apply_change(model::TotalsBooked{1, 999, {}}));
  model::Position twice = book.positions.front();
  EXPECT_FALSE(desk.apply_change(model::PositionOpened{twice}));  // its ticket is taken
  EXPECT_EQ(store.batches(), 0u);
  model::Position fresh = twice;
  fresh.ticket = 77777;
  EXPECT_TRUE(desk.apply_change(model::PositionOpened{fresh}));
  EXPECT_EQ(Difference(Canonical(store.load()), Canonical(desk.snapshot())), "");
}

// A commission of 0.125 a lot charged on opening 0.1 lots: each opening
// moves the total by 1.25 cents, and the entries still add up to the total
// to the cent, across a restart too.
TEST_F(DeskTest, MovesOfLessThanACentAddUpToTheTotal) {
  MemoryStore store(WithOpeningEntries(import_book(
      "SYMBOL 1 USD -4 1 1 1 1 0 1 1 FRIDAY 22:00 SUNDAY 22:00\n"
      "SYMBOL 2 EURUSD -4 100000 1 1 1 1000 1.2000 1.2002 FRIDAY 22:00 SUNDAY 22:00\n"
      "PARAMSET p 1,0,0,0,0,0,100,0.01,0,2,2,0,0,0,0.125,100,0.01,0\n"
      "CLIENT 1 p 0 0 1 0 On Open\n"
      "USER u1 pw 1 4,5\n"
      "ACCOUNT 1 10 1 0 0 100000 0 0 0 0 0 0\n",
      "book")));
  TradingRules any_price;
  any_price.max_deviation_pips = 1e9;
  int32_t number = 0;
  for (int run = 0; run < 2; ++run) {
    Desk desk(store, m_clock, nullptr);
    desk.rules(any_price);
    desk.load();
    for (int i = 0; i < 5; ++i) {
      const int second = run * 10 + i;
      const model::Quote quote{DateTime::FromParts(2027, 3, 3, 12, 0, second),
                               "03/03/2027 12:00:" + std::string(second < 10 ? "0" : "") +
                                   std::to_string(second),
                               2, 1.2, 1.2002};
      ASSERT_TRUE(desk.apply_quote(quote));
      MarketOrder order;
      order.username = "u1";
      order.number = ++number;
      order.client = 1;
      order.account = 10;
      order.symbol = 2;
      order.direction = BuyType;
      order.lots = 0.1;
      order.price = 1.2002;
      ASSERT_EQ(desk.execute(order)->code, kExecuted);
    }
  }
  const model::Snapshot stored = store.load();
  EXPECT_NEAR(stored.accounts[0].totals.commission, -0.125, 1e-12);
  EXPECT_EQ(Unexplained(stored), "");
  double charged = 0;
  for (const model::MoneyEntry& e : stored.entries) {
    if (e.ledger == model::Ledger::kCommission) charged += e.amount;
  }
  EXPECT_NEAR(charged, RoundMoney(-0.125), 1e-9);
}

// ---- interest ----
// Daily interest on the server's desk: each rollover that market time passes
// books a day's interest (three on Wednesday, none at the weekend) to the
// positions of clients with interest enabled, into the account's totals for
// clients booked on open, once, also across a restart; every effect reaches
// the store as a change. Also the INTEREST record of a book and the
// server's rollover option.

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

std::optional<model::Position> PositionIn(const std::vector<model::Position>& positions,
                                          int32_t ticket) {
  for (const model::Position& p : positions) {
    if (p.ticket == ticket) return p;
  }
  return std::nullopt;
}

class InterestTest : public DeskTest {
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

  model::Snapshot m_book = import_book(kBook, "book");
  std::unique_ptr<MemoryStore> m_store;
  Told m_told;
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
    m_told = Told();
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
