#ifndef ORVANE_TESTS_APPS_STORE_CONTRACT_H_
#define ORVANE_TESTS_APPS_STORE_CONTRACT_H_

// What every durable store keeps, run over each store by the program that
// can reach it: what a store loads after random batches of changes is held
// against what model::apply makes of them. A Place is where one store lives; it provides:
//   std::unique_ptr<DurableStore> Open();  the store there
//   void MoveOn();                         an empty place from now on
//   std::string Where();                   the store as its messages name it
//   std::string Query(const std::string&); runs SQL beside the store: its first value
//   std::string InUse();                   why a second Open is refused
//   static std::vector<CommitFault<Place>> Faults();
//   kLoadEvery (batches between full loads), kSignedZero (whether -0 comes
//   back with its sign), kCountTables (SQL) and
//   kFirstSchema (the statements that turn a store back to the first schema).

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "change.h"
#include "durable_store.h"
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
         model::opening_entries(a.client, a.account, a.totals, book.market_time_text)) {
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
  double Any() {
    return Chance(50) ? AnyDouble(m_random) : static_cast<double>(m_random() % 1000) / 8;
  }
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

// What a durable store's load_state gives for `snapshot`: all but the records
// that only grow.
inline model::Snapshot StateOf(model::Snapshot snapshot) {
  snapshot.history.clear();
  snapshot.audit.clear();
  snapshot.entries.clear();
  return snapshot;
}


// A way to make a commit fail, and to undo it.
template <typename Place>
struct CommitFault {
  std::string name;
  std::function<void(Place&)> arm;
  std::function<void(Place&)> heal;
  std::string detail;  // in the failed commit's message, when not empty
  bool reads_after;    // whether the store still loads once the commit failed
};

// What Open threw, or "" when it opened.
template <typename Place>
std::string OpenError(Place& place) {
  try {
    place.Open();
  } catch (const StoreError& e) {
    return e.what();
  }
  return "";
}

// What the entries of each account add up to per ledger, as any SQL client
// reads them: the account's totals, to the cent.
template <typename Place>
void ExpectEntriesExplain(Place& place, const std::vector<model::Account>& accounts) {
  for (const model::Account& a : accounts) {
    for (model::Ledger ledger : model::kLedgers) {
      const std::string sum = place.Query(
          "SELECT coalesce(SUM(amount), 0) FROM entries WHERE account = " +
          std::to_string(a.account) + " AND ledger = " +
          std::to_string(static_cast<int32_t>(ledger)));
      EXPECT_NEAR(std::stod(sum), model::ledger_total(a.totals, ledger), 0.005)
          << "account " << a.account << ", ledger " << static_cast<int32_t>(ledger);
    }
  }
}

}  // namespace orvane::apps::store_test

namespace orvane::apps {

template <typename Place>
class StoreContract : public ::testing::Test {
 protected:
  Place m_place;
};
TYPED_TEST_SUITE_P(StoreContract);

TYPED_TEST_P(StoreContract, LoadsWhatTheModelMakesOfTheCommittedBatches) {
  std::mt19937_64 random(11);
  model::Snapshot expected = store_test::Book(random);
  {
    auto store = this->m_place.Open();
    ASSERT_TRUE(store->seed(expected).ok());
    ASSERT_TRUE(store->load() == expected);
    store_test::ChangeMaker maker(12);
    std::array<int, std::variant_size_v<model::Change>> applied{}, ignored{};
    for (int batch = 0; batch < 400; ++batch) {
      const size_t size = 1 + random() % 20;
      for (size_t i = 0; i < size; ++i) {
        const model::Change change = maker.Next(expected);
        ++(model::apply(expected, change) ? applied : ignored)[change.index()];
        store->append(change);
      }
      // A client's history is read from the store, the open batch's included.
      if (batch % 25 == 0 && !expected.history.empty()) {
        const int32_t client = expected.history.back().client;
        ASSERT_TRUE(store->history(client) == store_test::HistoryOf(expected, client))
            << "in batch " << batch;
      }
      ASSERT_TRUE(store->commit().ok());
      if (batch % TypeParam::kLoadEvery == 0) {
        ASSERT_TRUE(store->load() == expected) << "after batch " << batch;
        ASSERT_TRUE(store->load_state() == store_test::StateOf(expected))
            << "after batch " << batch;
      }
    }
    for (size_t kind = 0; kind < applied.size(); ++kind) {
      EXPECT_GT(applied[kind], 0) << "change kind " << kind;
      // Only history, audit, order numbers and money entries are always taken.
      if (kind != 9 && kind != 10 && kind != 11 && kind != 13) {
        EXPECT_GT(ignored[kind], 0) << "change kind " << kind;
      }
    }
    EXPECT_EQ(expected.order_numbers["legacy"].size(), 300u);  // one in, one out
    EXPECT_EQ(expected.order_numbers["alice"].size(), model::kOrderNumbersKept);
    EXPECT_TRUE(expected.order_numbers.count("idle"));
    ASSERT_TRUE(store->load() == expected);
  }
  EXPECT_TRUE(this->m_place.Open()->load() == expected);
}

TYPED_TEST_P(StoreContract, AFailedCommitLeavesTheLastCommittedBatchAndRefusesLaterOnes) {
  for (const store_test::CommitFault<TypeParam>& fault : TypeParam::Faults()) {
    SCOPED_TRACE(fault.name);
    TypeParam& place = this->m_place;
    place.MoveOn();
    std::mt19937_64 random(5);
    model::Snapshot expected = store_test::Book(random);
    store_test::ChangeMaker maker(6);
    {
      auto store = place.Open();
      ASSERT_TRUE(store->seed(expected).ok());
      for (int i = 0; i < 50; ++i) {
        const model::Change change = maker.Next(expected);
        model::apply(expected, change);
        store->append(change);
      }
      ASSERT_TRUE(store->commit().ok());
      fault.arm(place);
      for (int i = 0; i < 50; ++i) store->append(maker.Next(expected));
      store->append(model::AuditAdded{{1, 2, "refused"}});
      const StoreStatus failed = store->commit();
      fault.heal(place);
      ASSERT_FALSE(failed.ok());
      EXPECT_NE(failed.message().find("commit to " + place.Where() + " failed: "),
                std::string::npos)
          << failed.message();
      if (!fault.detail.empty()) {
        EXPECT_NE(failed.message().find(fault.detail), std::string::npos) << failed.message();
      }
      if (fault.reads_after) {
        EXPECT_TRUE(store->load() == expected);
      } else {
        EXPECT_THROW(store->load(), StoreError);
      }
      // The fault is gone, but the store no longer trusts what is beneath it.
      store->append(model::AuditAdded{{1, 2, "after"}});
      EXPECT_NE(store->commit().message().find("refuses commits since one failed"),
                std::string::npos);
      EXPECT_FALSE(store->seed(model::Snapshot{}).ok());
    }
    auto reopened = place.Open();
    EXPECT_TRUE(reopened->load() == expected);
    reopened->append(model::AuditAdded{{1, 2, "after"}});
    EXPECT_TRUE(reopened->commit().ok());
    EXPECT_EQ(reopened->load().audit.back().row, "after");
  }
}

TYPED_TEST_P(StoreContract, APlaceHoldsOneOpenStoreAtATime) {
  auto first = this->m_place.Open();
  EXPECT_EQ(store_test::OpenError(this->m_place), this->m_place.InUse());
  first.reset();
  EXPECT_EQ(store_test::OpenError(this->m_place), "");
}

TYPED_TEST_P(StoreContract, RefusesANewerSchemaAndAnotherProgramsTables) {
  TypeParam& place = this->m_place;
  place.Open();
  place.Query("UPDATE meta SET value = '4' WHERE key = 'schema_version'");
  EXPECT_NE(store_test::OpenError(place).find(place.Where() +
                                  ": its schema version is 4, newer than this server's 3"),
            std::string::npos)
      << store_test::OpenError(place);
  place.MoveOn();
  place.Query("CREATE TABLE notes (text text)");
  EXPECT_NE(store_test::OpenError(place).find("holds no schema version of this server"),
            std::string::npos);
  EXPECT_EQ(place.Query(TypeParam::kCountTables), "1");
}

TYPED_TEST_P(StoreContract, SeedsOnlyAnEmptyStoreAndKeepsMetaWithTheBatch) {
  TypeParam& place = this->m_place;
  std::mt19937_64 random(9);
  model::Snapshot book = store_test::Book(random);
  // Doubles come back bit for bit, the sign of a zero too where the store
  // keeps it.
  const std::array<double, 4> odd = {TypeParam::kSignedZero ? -0.0 : 0.0,
                                     std::numeric_limits<double>::denorm_min(),
                                     -std::numeric_limits<double>::infinity(),
                                     0x1.fffffffffffffp-1};
  book.accounts[0].totals = {odd[0], odd[1], odd[2], odd[3], 0, 0, 0};
  {
    auto store = place.Open();
    EXPECT_TRUE(store->empty());
    // Market time alone is something held.
    store->append(model::MarketTimeAdvanced{DateTime(1), ""});
    ASSERT_TRUE(store->commit().ok());
    EXPECT_FALSE(store->empty());
    EXPECT_NE(store->seed(book).message().find("already holds a book"), std::string::npos);
    EXPECT_EQ(store->load().market_time, DateTime(1));
    EXPECT_TRUE(store->load().symbols.empty());
  }
  place.MoveOn();
  const std::string feed("tape.txt:42\0", 12);
  {
    auto store = place.Open();
    ASSERT_TRUE(store->seed(book).ok());
    EXPECT_FALSE(store->seed(model::Snapshot{}).ok());
    const model::Snapshot loaded = store->load();
    EXPECT_TRUE(loaded == book);
    const model::Totals& totals = loaded.accounts[0].totals;
    const std::array<double, 4> back = {totals.commission, totals.margin_requirement,
                                        totals.net_profit, totals.deposit};
    for (size_t i = 0; i < odd.size(); ++i) {
      EXPECT_EQ(std::bit_cast<uint64_t>(back[i]), std::bit_cast<uint64_t>(odd[i])) << i;
    }
    store->set_meta("feed", feed);
    EXPECT_EQ(store->meta("feed"), feed);  // the open batch's
    EXPECT_THROW(store->load(), StoreError);
    ASSERT_TRUE(store->commit().ok());
    EXPECT_EQ(store->meta("nothing"), std::nullopt);
  }
  auto store = place.Open();
  EXPECT_EQ(store->meta("feed"), feed);
  store->set_meta("schema_version", "7");
  EXPECT_FALSE(store->commit().ok());
  EXPECT_EQ(store->meta("schema_version"), "3");
}

// A store of the first schema that holds every kind of total: the step to
// the second writes the entries that explain them, in the order of the
// accounts and ledgers.
TYPED_TEST_P(StoreContract, TheStepToMoneyEntriesExplainsEveryTotal) {
  TypeParam& place = this->m_place;
  std::mt19937_64 random(21);
  model::Snapshot book = store_test::Book(random);
  book.accounts[1].totals = {-7.5, -100, -250.25, 9000, 0, 0, -1.5};
  book.entries.clear();
  ASSERT_TRUE(place.Open()->seed(book).ok());
  for (const char* statement : TypeParam::kFirstSchema) place.Query(statement);

  auto store = place.Open();
  EXPECT_EQ(store->meta("schema_version"), "3");
  const model::Snapshot migrated = store->load();
  for (const model::Account& a : book.accounts) {
    for (model::MoneyEntry& entry :
         model::opening_entries(a.client, a.account, a.totals, book.market_time_text)) {
      book.entries.push_back(std::move(entry));
    }
  }
  EXPECT_EQ(book.entries.size(), 6u + 4u);  // no margin requirement, no zero
  EXPECT_TRUE(migrated == book);
  EXPECT_EQ(migrated.entries, book.entries);
  store_test::ExpectEntriesExplain(place, book.accounts);

  const model::MoneyEntry paid{20, 200, model::Ledger::kNetProfit, 12.34, "03/03/2027 12:00:01",
                               3, std::string("close\0", 7)};
  store->append(model::MoneyBooked{paid});
  ASSERT_TRUE(store->commit().ok());
  store.reset();
  const model::Snapshot reopened = place.Open()->load();
  ASSERT_EQ(reopened.entries.size(), book.entries.size() + 1);
  EXPECT_EQ(reopened.entries.back(), paid);
}

REGISTER_TYPED_TEST_SUITE_P(StoreContract, LoadsWhatTheModelMakesOfTheCommittedBatches,
                            AFailedCommitLeavesTheLastCommittedBatchAndRefusesLaterOnes,
                            APlaceHoldsOneOpenStoreAtATime,
                            RefusesANewerSchemaAndAnotherProgramsTables,
                            SeedsOnlyAnEmptyStoreAndKeepsMetaWithTheBatch,
                            TheStepToMoneyEntriesExplainsEveryTotal);

}  // namespace orvane::apps

#endif  // ORVANE_TESTS_APPS_STORE_CONTRACT_H_
