// The desk: every effect it decides reaches the store as a change, so that
// the store alone gives back its state; a refused commit stops it without a
// word about the batch; market time never goes backwards.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
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

// Counts what a desk tells.
struct Told : DeskEvents {
  void logged(const std::string& text) override { lines.push_back(text); }
  void position_closed(const model::PositionClosed&) override { ++closed; }
  void position_opened(const model::Position&) override { ++opened; }
  void alert_fired(int32_t, int32_t, const std::string&) override { ++alerts; }
  void interest_booked(const model::Position&) override { ++interest; }
  void halted(const std::string& reason) override { halts.push_back(reason); }
  std::vector<std::string> lines;
  std::vector<std::string> halts;
  int closed = 0, opened = 0, alerts = 0, interest = 0;
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
    EXPECT_GT(told.interest, 0) << "seed " << seed;
    EXPECT_GT(opens, 10) << "seed " << seed;
    EXPECT_GT(closes, 10) << "seed " << seed;
    EXPECT_GT(pendings, 10) << "seed " << seed;
    EXPECT_TRUE(std::any_of(told.lines.begin(), told.lines.end(), [](const std::string& line) {
      return line.find(" expired at ") != std::string::npos;
    })) << "seed " << seed;
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

}  // namespace
}  // namespace orvane::apps
