// A server stopped and started again on its SQLite store goes on where it
// stood: the same positions, totals and tickets, market time and the feed's
// next quote, as if it had never stopped.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "crash_before_commit.h"
#include "memory_store.h"
#include "orvane/vocabulary/operation_type_enum.h"
#include "scratch_directory.h"
#include "sqlite_store.h"
#include "trading_fixture.h"

namespace orvane::apps {
namespace {

constexpr double kRate = 10;     // quotes a second
constexpr size_t kQuotes = 100;  // the walk's length
constexpr uint64_t kSeed = 7;

// One server life on `store` over virtual time: its own clock, network and
// random walk of the store's symbols, fed from where the store says.
class Life {
 public:
  // With `hand_over`, the server is given the state read for the feed, as
  // orvane-server gives it.
  explicit Life(Store& store, bool hand_over = false) {
    const model::Snapshot book = store.load();
    ServerOptions options;
    options.rate = kRate;
    options.rules.max_deviation_pips = 1e9;  // any price seen is near enough
    options.gateway.throttle.first_delay_ms = 0;
    ServerEnvironment environment{std::make_shared<MemoryAcceptor>(m_network), m_time,
                                  [this] { return m_time->Elapsed(); }, &store};
    environment.post = [this](std::function<void()> task) { m_time->Post(std::move(task)); };
    if (hand_over) environment.loaded = book;
    m_server = std::make_unique<TradingServer>(
        book, PriceFeed::random_walk(book, kSeed, kRate, kQuotes), m_clock,
        std::move(environment), options);
    m_port = m_server->start("127.0.0.1", 0);
  }

  void Run(int64_t ms) { m_time->Advance(ms); }

  // Alice buys 0.1 lot at the market; the ticket, or the refusal code.
  int32_t Buy(int32_t number) {
    Peer alice = LogOnPeer(*m_network, m_time, m_port, "alice", "secret");
    last_order = alice.last_order;
    const wire::OrderAnswer answer =
        alice.Order(wire::OpenRequest{number, 100, 2, BuyType, 0.1, 1.2});
    return answer.code == 0 ? answer.ticket : answer.code;
  }

  TradingServer& server() { return *m_server; }
  int32_t last_order = 0;  // as the last log-on was told

 private:
  std::shared_ptr<FixedClock> m_clock = std::make_shared<FixedClock>();
  ScopedClock m_scoped{m_clock};
  std::shared_ptr<VirtualTimeScheduler> m_time = std::make_shared<VirtualTimeScheduler>();
  std::shared_ptr<MemoryNetwork> m_network = MemoryNetwork::Create(m_time, false);
  std::unique_ptr<TradingServer> m_server;
  int32_t m_port = 0;
};

// A store in memory that counts how often it is read whole.
class CountingStore : public MemoryStore {
 public:
  using MemoryStore::MemoryStore;
  model::Snapshot load() override {
    ++loads;
    return MemoryStore::load();
  }
  int loads = 0;
};

model::Snapshot Seeded() {
  const model::Snapshot book = import_book(kBook, "book");
  return seed_book(book, PriceFeed::random_walk(book, kSeed, kRate, kQuotes), 1);
}

TEST(StoreRestartTest, AServerStartedAgainOnItsStoreGoesOnAsIfItHadNeverStopped) {
  // Never stopped: half the walk, an order, the other half.
  const model::Snapshot seed = Seeded();  // one salt for each user's hash in both lives
  MemoryStore memory(seed);
  model::Snapshot unbroken;
  int32_t first_ticket = 0;
  int32_t second_ticket = 0;
  {
    Life life(memory);
    life.Run(5000);
    first_ticket = life.Buy(1);
    life.Run(5000);
    second_ticket = life.Buy(2);
    unbroken = life.server().desk().snapshot();
    EXPECT_EQ(life.server().quotes_applied(), kQuotes);
  }
  ASSERT_GT(first_ticket, 0);
  ASSERT_GT(second_ticket, first_ticket);

  // Stopped after the first order, started again on the store.
  ScratchDirectory directory;
  {
    auto store = SqliteStore::open(directory.path());
    ASSERT_TRUE(store->seed(seed).ok());
    Life life(*store);
    life.Run(5000);
    EXPECT_EQ(life.Buy(1), first_ticket);
  }
  auto store = SqliteStore::open(directory.path());
  Life life(*store);
  EXPECT_EQ(life.server().quotes_applied(), kQuotes / 2);  // the feed resumes, not restarts
  life.Run(5000);
  EXPECT_EQ(life.Buy(2), second_ticket);  // the same ticket, never one used before
  EXPECT_EQ(life.server().quotes_applied(), kQuotes);
  // The records that only grow stay in the store, and queries read them there.
  model::Snapshot trading = unbroken;
  trading.history.clear();
  trading.audit.clear();
  trading.entries.clear();
  EXPECT_EQ(life.server().desk().snapshot(), trading);
  for (const model::Client& client : unbroken.clients) {
    std::vector<model::HistoryEntry> history;
    for (const model::HistoryEntry& e : unbroken.history) {
      if (e.client == client.id) history.push_back(e);
    }
    EXPECT_EQ(life.server().desk().history(client.id), history) << "client " << client.id;
  }
  // The store holds what the store of the unbroken life holds, record for
  // record and in the same order.
  EXPECT_EQ(store->load(), memory.load());
}

TEST(StoreRestartTest, AnOrderSentAgainAfterTheRestartIsNotExecutedTwice) {
  ScratchDirectory directory;
  int32_t ticket = 0;
  {
    auto store = SqliteStore::open(directory.path());
    ASSERT_TRUE(store->seed(Seeded()).ok());
    Life life(*store);
    life.Run(1000);
    ticket = life.Buy(1);
    ASSERT_GT(ticket, 0);
    life.Run(500);  // quotes within one second of market time: nothing to commit but the feed
  }
  auto store = SqliteStore::open(directory.path());
  Life life(*store);
  EXPECT_EQ(life.server().quotes_applied(), 15u);
  const size_t positions = life.server().desk().snapshot().positions.size();
  // Its answer was lost in the stop: the terminal sends it again.
  EXPECT_EQ(life.Buy(1), ticket);
  EXPECT_EQ(life.last_order, 1);
  EXPECT_EQ(life.server().desk().snapshot().positions.size(), positions);
}

TEST(StoreRestartTest, ASeededBookExplainsEveryBalanceByOpeningEntries) {
  const model::Snapshot seed = Seeded();
  ASSERT_FALSE(seed.market_time_text.empty());  // the feed's first quote time
  std::vector<model::MoneyEntry> opening;
  for (const model::Account& a : seed.accounts) {
    ASSERT_NE(a.totals.deposit, 0);
    for (model::MoneyEntry& entry :
         model::opening_entries(a.client, a.account, a.totals, seed.market_time_text)) {
      opening.push_back(std::move(entry));
    }
  }
  EXPECT_EQ(seed.entries, opening);
  // A book that has its entries keeps them as they are.
  EXPECT_EQ(seed_book(seed, PriceFeed::random_walk(seed, kSeed, kRate, kQuotes), 1).entries,
            opening);
}

TEST(StoreRestartTest, AServerGivenTheStoresStateStartsFromItWithoutReadingTheStoreAgain) {
  CountingStore store(Seeded());
  int32_t ticket = 0;
  {
    Life life(store);
    life.Run(2000);
    ticket = life.Buy(1);
    ASSERT_GT(ticket, 0);
  }
  store.loads = 0;
  model::Snapshot read_again;
  size_t quotes = 0;
  {
    Life life(store);
    EXPECT_EQ(store.loads, 2);  // for the feed, then by the desk
    read_again = life.server().desk().snapshot();
    quotes = life.server().quotes_applied();
  }
  store.loads = 0;
  Life life(store, /*hand_over=*/true);
  EXPECT_EQ(store.loads, 1);
  EXPECT_EQ(life.server().desk().snapshot(), read_again);
  const std::vector<model::Position> positions = life.server().desk().snapshot().positions;
  EXPECT_TRUE(std::any_of(positions.begin(), positions.end(),
                          [&](const model::Position& p) { return p.ticket == ticket; }));
  EXPECT_EQ(life.server().quotes_applied(), quotes);  // the feed resumes where it stood
  EXPECT_EQ(life.Buy(1), ticket);  // the repeat is known: the kept numbers came along
}

// ---- crash before commit ----
// The crash hook of the crash campaign: it must end the process at exactly
// the commit asked for, with that batch appended but not committed, and be
// invisible otherwise.

model::Change Tick(int second) {
  model::MarketTimeAdvanced change;
  change.text = "03/03/2027 12:00:" + std::string(second < 10 ? "0" : "") + std::to_string(second);
  return change;
}

// What the wrapped store held each time the kill came.
struct Kills {
  std::vector<size_t> batches_committed;
  std::vector<size_t> changes_committed;
};

TEST(CrashBeforeCommitTest, KillsAtTheNthCommitBeforeTheStoreBeneathCommits) {
  for (const size_t nth : {1u, 3u}) {
    MemoryStore inner({}, true);
    Kills kills;
    CrashBeforeCommit store(inner, nth, [&] {
      kills.batches_committed.push_back(inner.batches());
      kills.changes_committed.push_back(inner.committed().size());
    });
    for (size_t batch = 1; batch <= 5; ++batch) {
      store.append(Tick(static_cast<int>(batch)));
      EXPECT_TRUE(store.commit().ok());
      EXPECT_EQ(kills.batches_committed.size(), batch >= nth ? 1u : 0u) << "after commit " << batch;
    }
    ASSERT_EQ(kills.batches_committed.size(), 1u);
    EXPECT_EQ(kills.batches_committed[0], nth - 1);  // the nth batch was not committed yet
    EXPECT_EQ(kills.changes_committed[0], nth - 1);
    EXPECT_EQ(store.commits(), 5u);
    EXPECT_EQ(inner.batches(), 5u);
  }
}

TEST(CrashBeforeCommitTest, ForwardsEveryCallAndTheStoresAnswers) {
  model::Snapshot book;
  book.sequences.ticket = 41;
  MemoryStore inner(book, true);
  int killed = 0;
  CrashBeforeCommit store(inner, 100, [&] { ++killed; });
  EXPECT_EQ(store.load().sequences.ticket, 41);

  store.append(Tick(1));
  store.append(Tick(2));
  store.set_meta("feed_delivered", "7");
  EXPECT_EQ(store.meta("feed_delivered"), "7");
  EXPECT_EQ(store.meta("never set"), std::nullopt);
  EXPECT_TRUE(store.commit().ok());
  ASSERT_EQ(inner.committed().size(), 2u);
  EXPECT_EQ(std::get<model::MarketTimeAdvanced>(inner.committed()[1]).text,
            "03/03/2027 12:00:02");
  EXPECT_EQ(inner.meta("feed_delivered"), "7");

  inner.fail_commits("disk full");
  store.append(Tick(3));
  const StoreStatus failed = store.commit();
  EXPECT_FALSE(failed.ok());
  EXPECT_EQ(failed.message(), "disk full");
  EXPECT_EQ(inner.committed().size(), 2u);
  EXPECT_EQ(killed, 0);
}

TEST(CrashBeforeCommitTest, LeavesHistoryWhereTheStoreBeneathKeepsIt) {
  ScratchDirectory directory;
  auto inner = SqliteStore::open(directory.path());
  model::Snapshot book;
  model::HistoryEntry entry;
  entry.client = 10;
  entry.ticket = 7;
  book.history = {entry};
  ASSERT_TRUE(inner->seed(book).ok());
  CrashBeforeCommit store(*inner, 100, [] {});
  EXPECT_TRUE(store.keeps_history());
  EXPECT_TRUE(store.load_state().history.empty());
  ASSERT_EQ(store.history(10).size(), 1u);
  EXPECT_EQ(store.history(10)[0].ticket, 7);
  EXPECT_TRUE(store.history(20).empty());
}

TEST(CrashBeforeCommitTest, ReadsTheCommitFromTheEnvironmentStrictly) {
  EXPECT_EQ(CrashBeforeCommit::commit_from_environment(nullptr), std::nullopt);
  EXPECT_EQ(CrashBeforeCommit::commit_from_environment("1"), 1u);
  EXPECT_EQ(CrashBeforeCommit::commit_from_environment("250"), 250u);
  for (const char* bad : {"", "0", "-3", "2x", " 4", "1.5", "nan"}) {
    EXPECT_THROW(CrashBeforeCommit::commit_from_environment(bad), std::invalid_argument) << bad;
  }
  try {
    CrashBeforeCommit::commit_from_environment("abc");
    FAIL() << "abc was taken";
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find("ORVANE_CRASH_BEFORE_COMMIT"), std::string::npos)
        << e.what();
  }
}

}  // namespace
}  // namespace orvane::apps
