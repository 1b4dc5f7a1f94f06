#ifndef ORVANE_TESTS_APPS_STORE_BATCHES_H_
#define ORVANE_TESTS_APPS_STORE_BATCHES_H_

// Books and random batches of changes for the durable stores' tests: what
// a store loads after them is held against what model::Apply makes of them.

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "change.h"
#include "records.h"

namespace orvane::apps::store_test {

// Any double but NaN (NaN equals nothing, not even itself): every bit
// pattern, so infinities, subnormals and -0 come up too.
inline double AnyDouble(std::mt19937_64& random) {
  for (;;) {
    const double value = std::bit_cast<double>(random());
    if (!std::isnan(value)) return value;
  }
}

// Up to 12 of any bytes: quotes, NUL, newlines, bytes that are no UTF-8.
inline std::string AnyText(std::mt19937_64& random) {
  std::string text(random() % 13, '\0');
  for (char& c : text) c = static_cast<char>(random() % 256);
  return text;
}

// A small book with the cases only a seed can bring: a position and an
// alert held twice, an owner of order numbers with none kept and one with
// more kept than a desk keeps.
inline model::Snapshot Book(std::mt19937_64& random) {
  model::Snapshot book;
  book.symbols = {{1, "USD", -4, 1, 1, 1, 1, 0, 1, 1, "FRIDAY", "22:00", "SUNDAY", "22:00", "", ""},
                  {2, "EUR'USD", -4, 100000, 1, 1, 1, 1000, 1.2, 1.2002, "FRIDAY", "22:00",
                   "SUNDAY", "22:00", "21:00", "22:00"}};
  book.clients = {{10, "1,0,0,0,0,0,100,0.01,0", 2, 50, 2, true, "Alice \"A\"", false, true},
                  {20, "2,2,0,0,0,3,5,0.1,0", 1, 0, 1, false, "Bob", true, false}};
  book.accounts = {{10, 100, 1, true, false, {1, -2, 3, 2000, 5, 6, 0.25}},
                   {20, 200, 0, false, true, {0, 0, 0, 9000, 0, 0, 0}}};
  for (int32_t ticket = 1; ticket <= 6; ++ticket) {
    book.positions.push_back({ticket % 2 ? 10 : 20, ticket % 2 ? 100 : 200, ticket,
                              "03/03/2027 09:00:00", ticket % 3 ? 1 : -1, 0.5, 2,
                              AnyDouble(random), 0, AnyText(random)});
    book.orders.push_back({ticket % 2 ? 10 : 20, ticket % 2 ? 100 : 200, 100 + ticket,
                           "03/03/2027 09:00:00", 1, 0.5, 2, 1, 1.19, 0, 0, 1.3, 0, "", ""});
  }
  book.positions.push_back(book.positions[0]);
  book.alerts = {{10, 1, 2, 1, 1.21}, {10, 1, 2, 2, 1.19}, {20, 1, 2, 3, 1.3}};
  book.users = {{"alice", "s'cret", 10, "4,5,8", 2, ""}, {"bob", "pw", 20, "5", 2, "2"}};
  book.history = {{10, 100, 9, "02/03/2027 10:00:00", 2, 1, 1, "01/03/2027 10:00:00", 1.1,
                   1.2, 3, 0, 1, 1000, "client"}};
  book.audit = {{10, 100, std::string("row\0with nul", 12)}};
  book.order_numbers["idle"];
  for (int32_t n = 1; n <= 300; ++n) {
    book.order_numbers["legacy"].push_back({"legacy", n, 0, "done", n, 1.2});
  }
  book.sequences = {9, 106};
  book.market_time = DateTime::FromParts(2027, 3, 3, 12, 0, 0);
  book.market_time_text = "03/03/2027 12:00:00";
  book.interest_rates = {{2, 0.0365, -0.0219, 365}};
  for (const model::Account& a : book.accounts) {
    for (model::MoneyEntry& entry :
         model::OpeningEntries(a.client, a.account, a.totals, book.market_time_text)) {
      book.entries.push_back(std::move(entry));
    }
  }
  book.entries.push_back({10, 100, model::Ledger::kCredit, AnyDouble(random), AnyText(random), 7,
                          AnyText(random)});
  return book;
}

// Random changes of every kind against the state they will meet: most name
// records that are there, some name none (and change nothing).
class ChangeMaker {
 public:
  explicit ChangeMaker(unsigned seed) : m_random(seed) {}

  model::Change Next(const model::Snapshot& now) {
    const bool known = Chance(80);
    // About a quarter are order numbers, so that a user's outcomes pass the
    // number kept.
    const uint64_t kind = m_random() % 22;
    switch (kind > 17 ? 11 : kind) {
      case 0: {
        model::Position p = AnyPosition();
        if (known && !now.positions.empty()) p.ticket = Pick(now.positions).ticket + 1000;
        if (!known && !now.positions.empty()) p = Pick(now.positions);  // its ticket is taken
        return model::PositionOpened{p};
      }
      case 1: {
        const model::Position p = known && !now.positions.empty() ? Pick(now.positions)
                                                                   : AnyPosition();
        return model::PositionClosed{p.client, p.account, p.ticket, Any(), Any(), Any(),
                                     Text(), Text()};
      }
      case 2: {
        model::Position p = AnyPosition();
        if (known && !now.positions.empty()) {
          const model::Position& held = Pick(now.positions);
          p.client = held.client, p.account = held.account, p.ticket = held.ticket;
        }
        return model::PositionChanged{p};
      }
      case 3: {
        model::Order o = AnyOrder();
        if (known && !now.orders.empty()) o.id = Pick(now.orders).id + 1000;
        if (!known && !now.orders.empty()) o = Pick(now.orders);
        return model::OrderPlaced{o};
      }
      case 4: {
        model::Order o = AnyOrder();
        if (known && !now.orders.empty()) {
          const model::Order& held = Pick(now.orders);
          o.client = held.client, o.account = held.account, o.id = held.id;
        }
        return model::OrderChanged{o};
      }
      case 5: {
        const model::Order o = known && !now.orders.empty() ? Pick(now.orders) : AnyOrder();
        return model::OrderRemoved{o.client, o.account, o.id, Text()};
      }
      case 6: {
        const model::Account& a = Pick(now.accounts);
        return model::TotalsBooked{a.client, known ? a.account : 999,
                                   {Any(), Any(), Any(), Any(), Any(), Any(), Any()}};
      }
      case 7: {
        const model::Alert a = known && !now.alerts.empty() ? Pick(now.alerts) : model::Alert{};
        return model::AlertRemoved{a.client, a.id};
      }
      case 8: {
        // Forward mostly, backwards now and then (which changes nothing).
        const double step = static_cast<double>(m_random() % 1000) / 86400.0;
        return model::MarketTimeAdvanced{now.market_time + (known ? step : -step), Text()};
      }
      case 9:
        return model::HistoryAdded{{Int(), Int(), Int(), Text(), Int(), Any(), Int(), Text(),
                                    Any(), Any(), Any(), Any(), Any(), Any(), Text()}};
      case 10:
        return model::AuditAdded{{Int(), Int(), Text()}};
      case 11: {
        static const std::array<std::string, 3> kOthers = {"legacy", "idle", "o'neil"};
        const std::string& user = Chance(50) ? "alice" : kOthers[m_random() % kOthers.size()];
        return model::OrderNumberUsed{{user, Int(), Int(), Text(), Int(), Any()}};
      }
      case 12: {
        const model::Position p = known && !now.positions.empty() ? Pick(now.positions)
                                                                   : AnyPosition();
        return model::InterestAdded{p.client, p.account, p.ticket, Any()};
      }
      case 14:
      case 15: {
        model::Client c{Int(), Text(), 1, Any(), 2, Chance(50), Text(), Chance(50), Chance(50),
                        static_cast<int32_t>(1 + m_random() % 3), Int(), Chance(50),
                        Chance(50)};
        // A new client mostly; otherwise one already there (which is refused).
        if ((kind == 14) != known && !now.clients.empty()) c.id = Pick(now.clients).id;
        if (kind == 14) return model::ClientAdded{c};
        return model::ClientChanged{c};
      }
      case 16: {
        model::Account a = Pick(now.accounts);
        if (known) a.account = Int(), a.totals = {};
        return model::AccountAdded{a};
      }
      case 17: {
        model::User u{Text(), Text(), Int(), Text(), static_cast<int32_t>(1 + m_random() % 2),
                      Text()};
        if (!known && !now.users.empty()) u.username = Pick(now.users).username;
        return model::UserAdded{u};
      }
      default: {
        const model::Account& a = Pick(now.accounts);
        const auto ledger = static_cast<model::Ledger>(1 + m_random() % 6);
        return model::MoneyBooked{{a.client, a.account, ledger, Any(), Text(), Int(), Text()}};
      }
    }
  }

 private:
  bool Chance(unsigned percent) { return m_random() % 100 < percent; }
  double Any() { return Chance(50) ? AnyDouble(m_random) : static_cast<double>(m_random() % 1000) / 8; }
  int32_t Int() { return static_cast<int32_t>(m_random()); }
  std::string Text() { return AnyText(m_random); }
  template <typename R>
  const R& Pick(const std::vector<R>& records) {
    return records[m_random() % records.size()];
  }
  model::Position AnyPosition() {
    return {Chance(50) ? 10 : 20, Chance(50) ? 100 : 200, Int(), Text(), Int(), Any(), Int(),
            Any(), Any(), Text()};
  }
  model::Order AnyOrder() {
    return {Chance(50) ? 10 : 20, Chance(50) ? 100 : 200, Int(), Text(), Int(), Any(), Int(),
            Int(), Any(), Int(), Any(), Any(), Int(), Text(), Text()};
  }

  std::mt19937_64 m_random;
};

// The client's history in `snapshot`, oldest first.
inline std::vector<model::HistoryEntry> HistoryOf(const model::Snapshot& snapshot,
                                                  int32_t client) {
  std::vector<model::HistoryEntry> history;
  for (const model::HistoryEntry& e : snapshot.history) {
    if (e.client == client) history.push_back(e);
  }
  return history;
}

// What a durable store's LoadState gives for `snapshot`: all but the records
// that only grow.
inline model::Snapshot StateOf(model::Snapshot snapshot) {
  snapshot.history.clear();
  snapshot.audit.clear();
  snapshot.entries.clear();
  return snapshot;
}

}  // namespace orvane::apps::store_test

#endif  // ORVANE_TESTS_APPS_STORE_BATCHES_H_
