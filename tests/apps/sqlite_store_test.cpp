// The SQLite store: what it loads is what model::Apply makes of the same
// committed batches, before and after a reopen; a commit the disk refuses
// leaves the last committed batch; one store per directory; a newer schema
// and a second seed are refused.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "apps/store_batches.h"
#include "book_import.h"
#include "desk.h"
#include "memory_store.h"
#include "orvane/core/clock.h"
#include "orvane/util/operation_type_enum.h"
#include "password_hash.h"
#include "scratch_directory.h"
#include "sqlite_store.h"
#include "trading_fixture.h"

namespace orvane::apps {
namespace {

using store_test::Book;
using store_test::ChangeMaker;
using store_test::HistoryOf;
using store_test::StateOf;

// The default VFS, whose writes or syncs fail while armed: a disk that
// fills up or loses its data under a commit.
class FaultyDisk {
 public:
  enum class Fault { kNone, kWrite, kSync };
  static constexpr const char* kName = "faulty";

  static void Arm(Fault fault) {
    Register();
    s_fault = fault;
  }

 private:
  struct File {
    sqlite3_file base;
    sqlite3_file* real;  // follows this in the same allocation
  };
  static sqlite3_file* Real(sqlite3_file* file) { return reinterpret_cast<File*>(file)->real; }

  static void Register() {
    static const bool registered = [] {
      s_real = sqlite3_vfs_find(nullptr);
      s_vfs = *s_real;
      s_vfs.pNext = nullptr;
      s_vfs.zName = kName;
      s_vfs.szOsFile = static_cast<int>(sizeof(File)) + s_real->szOsFile;
      s_vfs.xOpen = [](sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags,
                       int* out) {
        auto* wrapper = reinterpret_cast<File*>(file);
        wrapper->real = reinterpret_cast<sqlite3_file*>(wrapper + 1);
        const int code = s_real->xOpen(s_real, name, wrapper->real, flags, out);
        wrapper->base.pMethods = wrapper->real->pMethods != nullptr ? &s_methods : nullptr;
        return code;
      };
      s_methods = Methods();
      return sqlite3_vfs_register(&s_vfs, 0) == SQLITE_OK;
    }();
    ASSERT_TRUE(registered);
  }

  static sqlite3_io_methods Methods() {
    sqlite3_io_methods m{};
    m.iVersion = 3;
    m.xClose = [](sqlite3_file* f) { return Real(f)->pMethods->xClose(Real(f)); };
    m.xRead = [](sqlite3_file* f, void* data, int n, sqlite3_int64 at) {
      return Real(f)->pMethods->xRead(Real(f), data, n, at);
    };
    m.xWrite = [](sqlite3_file* f, const void* data, int n, sqlite3_int64 at) {
      if (s_fault == Fault::kWrite) return SQLITE_IOERR_WRITE;
      return Real(f)->pMethods->xWrite(Real(f), data, n, at);
    };
    m.xTruncate = [](sqlite3_file* f, sqlite3_int64 size) {
      return Real(f)->pMethods->xTruncate(Real(f), size);
    };
    m.xSync = [](sqlite3_file* f, int flags) {
      if (s_fault == Fault::kSync) return SQLITE_IOERR_FSYNC;
      return Real(f)->pMethods->xSync(Real(f), flags);
    };
    m.xFileSize = [](sqlite3_file* f, sqlite3_int64* size) {
      return Real(f)->pMethods->xFileSize(Real(f), size);
    };
    m.xLock = [](sqlite3_file* f, int lock) { return Real(f)->pMethods->xLock(Real(f), lock); };
    m.xUnlock = [](sqlite3_file* f, int lock) {
      return Real(f)->pMethods->xUnlock(Real(f), lock);
    };
    m.xCheckReservedLock = [](sqlite3_file* f, int* out) {
      return Real(f)->pMethods->xCheckReservedLock(Real(f), out);
    };
    m.xFileControl = [](sqlite3_file* f, int op, void* arg) {
      return Real(f)->pMethods->xFileControl(Real(f), op, arg);
    };
    m.xSectorSize = [](sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); };
    m.xDeviceCharacteristics = [](sqlite3_file* f) {
      return Real(f)->pMethods->xDeviceCharacteristics(Real(f));
    };
    m.xShmMap = [](sqlite3_file* f, int region, int size, int extend, void volatile** out) {
      return Real(f)->pMethods->xShmMap(Real(f), region, size, extend, out);
    };
    m.xShmLock = [](sqlite3_file* f, int offset, int n, int flags) {
      return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags);
    };
    m.xShmBarrier = [](sqlite3_file* f) { Real(f)->pMethods->xShmBarrier(Real(f)); };
    m.xShmUnmap = [](sqlite3_file* f, int remove) {
      return Real(f)->pMethods->xShmUnmap(Real(f), remove);
    };
    m.xFetch = [](sqlite3_file* f, sqlite3_int64 at, int n, void** out) {
      return Real(f)->pMethods->xFetch(Real(f), at, n, out);
    };
    m.xUnfetch = [](sqlite3_file* f, sqlite3_int64 at, void* page) {
      return Real(f)->pMethods->xUnfetch(Real(f), at, page);
    };
    return m;
  }

  static inline sqlite3_vfs* s_real = nullptr;
  static inline sqlite3_vfs s_vfs{};
  static inline sqlite3_io_methods s_methods{};
  static inline Fault s_fault = Fault::kNone;
};

TEST(SqliteStoreTest, LoadsWhatTheModelMakesOfTheCommittedBatches) {
  ScratchDirectory directory;
  std::mt19937_64 random(11);
  model::Snapshot expected = Book(random);
  {
    auto store = SqliteStore::Open(directory.path());
    ASSERT_TRUE(store->Seed(expected).ok());
    ASSERT_TRUE(store->Load() == expected);
    ChangeMaker maker(12);
    std::array<int, std::variant_size_v<model::Change>> applied{}, ignored{};
    for (int batch = 0; batch < 400; ++batch) {
      const size_t size = 1 + random() % 20;
      for (size_t i = 0; i < size; ++i) {
        const model::Change change = maker.Next(expected);
        ++(model::Apply(expected, change) ? applied : ignored)[change.index()];
        store->Append(change);
      }
      // A client's history is read from the store, the open batch's included.
      if (batch % 25 == 0 && !expected.history.empty()) {
        const int32_t client = expected.history.back().client;
        ASSERT_TRUE(store->History(client) == HistoryOf(expected, client)) << "in batch " << batch;
      }
      ASSERT_TRUE(store->Commit().ok());
      ASSERT_TRUE(store->Load() == expected) << "after batch " << batch;
      ASSERT_TRUE(store->LoadState() == StateOf(expected)) << "after batch " << batch;
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
  }
  auto reopened = SqliteStore::Open(directory.path());
  EXPECT_TRUE(reopened->Load() == expected);
}

// A desk over a store, on a market time of its own.
struct DeskOn {
  explicit DeskOn(Store& store) : desk(store, clock, nullptr) {}
  // Runs `work` on the desk with the process's clock its own.
  template <typename Work>
  auto operator()(Work work) {
    ScopedClock scoped(clock);
    return work(desk);
  }
  std::shared_ptr<FixedClock> clock = std::make_shared<FixedClock>();
  Desk desk;
};

TEST(SqliteStoreTest, KeepsWhatADeskDecidesAsAStoreInMemoryDoes) {
  ScratchDirectory directory;
  const model::Snapshot book = ImportBook(kBook, "book");
  MemoryStore memory(book);
  auto sqlite = SqliteStore::Open(directory.path());
  ASSERT_TRUE(sqlite->Seed(book).ok());
  DeskOn on_memory(memory), on_sqlite(*sqlite);
  TradingRules any_price;
  any_price.max_deviation_pips = 1e9;
  for (DeskOn* on : {&on_memory, &on_sqlite}) {
    (*on)([&](Desk& desk) {
      desk.Rules(any_price);
      desk.Load();
    });
  }
  std::mt19937 random(3);
  std::normal_distribution<double> move(0, 0.0005);
  double mid = 1.2;
  int executed = 0;
  for (int i = 0; i < 300; ++i) {
    mid *= 1 + move(random);
    const double bid = std::round(mid * 1e4) / 1e4;
    char text[32];
    std::snprintf(text, sizeof text, "03/03/2027 12:%02d:%02d", i / 60, i % 60);
    const model::Quote quote{DateTime::FromParts(2027, 3, 3, 12, i / 60, i % 60), text, 2, bid,
                             bid + 0.0001};
    auto apply = [&](Desk& desk) { return desk.ApplyQuote(quote); };
    ASSERT_TRUE(on_memory(apply) && on_sqlite(apply));
    const bool alice = i % 2 == 0;
    MarketOrder order;
    order.username = alice ? "alice" : "bob";
    order.number = i + 1;
    order.client = alice ? 10 : 20;
    order.account = alice ? 100 : 200;
    order.symbol = 2;
    order.direction = random() % 2 ? BuyType : SellType;
    order.lots = 0.1 * static_cast<double>(1 + random() % 5);
    const auto positions = on_memory.desk.Positions(order.client);
    if (!positions.empty() && random() % 2) {
      order.ticket = positions[random() % positions.size()].ticket;
      order.lots = random() % 2 ? 0 : 0.1;
    }
    auto execute = [&](Desk& desk) { return desk.Execute(order); };
    const auto outcome = on_memory(execute);
    ASSERT_TRUE(outcome.has_value());
    ASSERT_TRUE(on_sqlite(execute) == outcome);
    if (outcome->code == kExecuted) ++executed;
  }
  EXPECT_GT(executed, 100);
  ASSERT_TRUE(sqlite->Load() == memory.Load());
  sqlite.reset();
  EXPECT_TRUE(SqliteStore::Open(directory.path())->Load() == memory.Load());
}

TEST(SqliteStoreTest, AFailedCommitLeavesTheLastCommittedBatch) {
  for (const auto fault : {FaultyDisk::Fault::kWrite, FaultyDisk::Fault::kSync}) {
    SCOPED_TRACE(fault == FaultyDisk::Fault::kWrite ? "writes fail" : "syncs fail");
    ScratchDirectory directory;
    std::mt19937_64 random(5);
    model::Snapshot expected = Book(random);
    ChangeMaker maker(6);
    FaultyDisk::Arm(FaultyDisk::Fault::kNone);
    {
      auto store = SqliteStore::Open(directory.path(), FaultyDisk::kName);
      ASSERT_TRUE(store->Seed(expected).ok());
      for (int i = 0; i < 50; ++i) {
        const model::Change change = maker.Next(expected);
        model::Apply(expected, change);
        store->Append(change);
      }
      ASSERT_TRUE(store->Commit().ok());
      for (int i = 0; i < 50; ++i) store->Append(maker.Next(expected));
      FaultyDisk::Arm(fault);
      const StoreStatus failed = store->Commit();
      FaultyDisk::Arm(FaultyDisk::Fault::kNone);
      ASSERT_FALSE(failed.ok());
      EXPECT_NE(failed.message().find("commit to " + directory.path() + "/orvane.db failed"),
                std::string::npos)
          << failed.message();
      EXPECT_TRUE(store->Load() == expected);
      // The disk is healed, but the store no longer trusts it.
      store->Append(model::AuditAdded{{1, 2, "after"}});
      const StoreStatus refused = store->Commit();
      EXPECT_NE(refused.message().find("refuses commits since one failed"), std::string::npos)
          << refused.message();
    }
    auto reopened = SqliteStore::Open(directory.path());
    EXPECT_TRUE(reopened->Load() == expected);
    reopened->Append(model::AuditAdded{{1, 2, "after"}});
    EXPECT_TRUE(reopened->Commit().ok());
    EXPECT_EQ(reopened->Load().audit.back().row, "after");
  }
}

TEST(SqliteStoreTest, ADirectoryHoldsOneOpenStoreAtATime) {
  ScratchDirectory directory;
  auto first = SqliteStore::Open(directory.path());
  const std::string in_use =
      "store directory " + directory.path() + " is in use by another server (process " +
      std::to_string(::getpid()) + ")";
  try {
    SqliteStore::Open(directory.path());
    ADD_FAILURE() << "a second store opened";
  } catch (const StoreError& e) {
    EXPECT_EQ(std::string(e.what()), in_use);
  }
  // Another process is refused as well.
  const pid_t child = ::fork();
  if (child == 0) {
    try {
      SqliteStore::Open(directory.path());
    } catch (const StoreError& e) {
      ::_exit(std::string(e.what()) == in_use ? 0 : 2);
    }
    ::_exit(1);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  first.reset();
  EXPECT_NO_THROW(SqliteStore::Open(directory.path()));
  EXPECT_THROW(SqliteStore::Open(directory.path() + "/missing"), StoreError);
}

TEST(SqliteStoreTest, RefusesANewerSchemaAndAnythingButADatabaseOfItsOwn) {
  ScratchDirectory directory;
  const std::string file = directory.path() + "/orvane.db";
  SqliteStore::Open(directory.path());
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "UPDATE meta SET value = '4' WHERE key = 'schema_version'", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  try {
    SqliteStore::Open(directory.path());
    ADD_FAILURE() << "a newer schema opened";
  } catch (const StoreError& e) {
    EXPECT_NE(std::string(e.what()).find(file + ": its schema version is 4, newer than this "
                                                "server's 3"),
              std::string::npos)
        << e.what();
  }
  std::filesystem::remove(file);
  std::filesystem::remove(file + "-wal");
  std::filesystem::remove(file + "-shm");
  std::ofstream(file) << "SYMBOL 1 USD -4 1 1 1 1 0 1 1 FRIDAY 22:00 SUNDAY 22:00\n";
  EXPECT_THROW(SqliteStore::Open(directory.path()), StoreError);
  // Another program's database.
  std::filesystem::remove(file);
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE notes (text)", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  try {
    SqliteStore::Open(directory.path());
    ADD_FAILURE() << "a foreign database opened";
  } catch (const StoreError& e) {
    EXPECT_NE(std::string(e.what()).find("holds no schema version of this server"),
              std::string::npos)
        << e.what();
  }
}

TEST(SqliteStoreTest, SeedsOnlyAnEmptyStoreAndKeepsMetaWithTheBatch) {
  ScratchDirectory directory;
  std::mt19937_64 random(9);
  const model::Snapshot book = Book(random);
  {
    auto store = SqliteStore::Open(directory.path());
    EXPECT_TRUE(store->Empty());
    // Market time alone is something held.
    store->Append(model::MarketTimeAdvanced{DateTime(1), ""});
    ASSERT_TRUE(store->Commit().ok());
    EXPECT_FALSE(store->Empty());
    EXPECT_NE(store->Seed(book).message().find("already holds a book"), std::string::npos);
    EXPECT_EQ(store->Load().market_time, DateTime(1));
    EXPECT_TRUE(store->Load().symbols.empty());
  }
  std::filesystem::remove_all(directory.path());
  std::filesystem::create_directory(directory.path());
  {
    auto store = SqliteStore::Open(directory.path());
    ASSERT_TRUE(store->Seed(book).ok());
    EXPECT_FALSE(store->Seed(model::Snapshot{}).ok());
    EXPECT_TRUE(store->Load() == book);
    store->SetMeta("feed", "tape.txt:42");
    EXPECT_EQ(store->Meta("feed"), "tape.txt:42");  // the open batch's
    EXPECT_THROW(store->Load(), StoreError);
    ASSERT_TRUE(store->Commit().ok());
    EXPECT_EQ(store->Meta("nothing"), std::nullopt);
  }
  auto store = SqliteStore::Open(directory.path());
  EXPECT_EQ(store->Meta("feed"), "tape.txt:42");
  store->SetMeta("schema_version", "7");
  EXPECT_FALSE(store->Commit().ok());
  EXPECT_EQ(store->Meta("schema_version"), "3");
}

// What the entries of each account add up to per ledger, as any SQL client
// reads them: the account's totals, to the cent.
void ExpectEntriesExplain(const std::string& file, const std::vector<model::Account>& accounts) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  std::map<std::pair<int32_t, int32_t>, double> sums;
  auto row = [](void* out, int, char** values, char**) {
    (*static_cast<std::map<std::pair<int32_t, int32_t>, double>*>(out))[{
        std::atoi(values[0]), std::atoi(values[1])}] = std::atof(values[2]);
    return 0;
  };
  ASSERT_EQ(sqlite3_exec(db,
                         "SELECT account, ledger, SUM(amount) FROM entries "
                         "GROUP BY account, ledger",
                         row, &sums, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  for (const model::Account& a : accounts) {
    for (model::Ledger ledger : model::kLedgers) {
      const auto sum = sums.find({a.account, static_cast<int32_t>(ledger)});
      EXPECT_NEAR(sum == sums.end() ? 0 : sum->second, model::LedgerTotal(a.totals, ledger),
                  0.005)
          << "account " << a.account << ", ledger " << static_cast<int32_t>(ledger);
    }
  }
}

// A store written by the first schema, kept as SQL text (a server seeded
// from the trading book, 30 quotes applied): every later version opens it,
// bringing it up to its own schema, and reads what it held.
TEST(SqliteStoreTest, AStoreOfTheFirstSchemaOpensAndReads) {
  const char* root = std::getenv("ORVANE_SOURCE_DIR");
  ASSERT_NE(root, nullptr);
  std::ifstream in(std::string(root) + "/tests/apps/data/store_v1.sql");
  ASSERT_TRUE(in);
  const std::string dump((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ScratchDirectory directory;
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((directory.path() + "/orvane.db").c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, dump.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);

  auto store = SqliteStore::Open(directory.path());
  EXPECT_EQ(store->Meta("schema_version"), "3");
  const model::Snapshot stored = store->Load();
  const model::Snapshot book = ImportBook(kBook, "book");
  EXPECT_EQ(stored.symbols, book.symbols);
  EXPECT_EQ(stored.clients, book.clients);
  ASSERT_EQ(stored.users.size(), book.users.size());
  EXPECT_TRUE(VerifyPassword(stored.users[0].password, book.users[0].password));
  EXPECT_EQ(stored.accounts.size(), book.accounts.size());
  EXPECT_EQ(stored.positions.size(), 1u);
  EXPECT_EQ(stored.market_time_text, "03/03/2027 12:00:00");
  EXPECT_EQ(store->Meta("feed_delivered"), "30");

  // The opening entries explain each account's totals as they stood.
  std::vector<model::MoneyEntry> opening;
  for (const model::Account& a : stored.accounts) {
    for (model::MoneyEntry& entry :
         model::OpeningEntries(a.client, a.account, a.totals, stored.market_time_text)) {
      opening.push_back(std::move(entry));
    }
  }
  EXPECT_EQ(opening.size(), stored.accounts.size());  // a deposit each
  EXPECT_EQ(stored.entries, opening);
  ExpectEntriesExplain(directory.path() + "/orvane.db", stored.accounts);

  const model::MoneyEntry paid{10, 100, model::Ledger::kDeposit, -12.5, "03/03/2027 12:00:01",
                               0, "withdrawal"};
  store->Append(model::AlertRemoved{10, 1});
  store->Append(model::MoneyBooked{paid});
  EXPECT_TRUE(store->Commit().ok());
  store.reset();
  const model::Snapshot reopened = SqliteStore::Open(directory.path())->Load();
  ASSERT_EQ(reopened.entries.size(), opening.size() + 1);
  EXPECT_EQ(reopened.entries.back(), paid);
}

// A store of the first schema that holds every kind of total: the step to
// the second writes the entries that explain them, in the order of the
// accounts and ledgers.
TEST(SqliteStoreTest, TheStepToMoneyEntriesExplainsEveryTotal) {
  ScratchDirectory directory;
  std::mt19937_64 random(21);
  model::Snapshot book = Book(random);
  book.accounts[1].totals = {-7.5, -100, -250.25, 9000, 0, 0, -1.5};
  book.entries.clear();
  ASSERT_TRUE(SqliteStore::Open(directory.path())->Seed(book).ok());
  const std::string file = directory.path() + "/orvane.db";
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "DROP TABLE entries; DROP INDEX history_by_client; "
                         "ALTER TABLE clients DROP COLUMN type; "
                         "ALTER TABLE clients DROP COLUMN parent; "
                         "ALTER TABLE clients DROP COLUMN manual_dealing; "
                         "ALTER TABLE clients DROP COLUMN auto_liquidation; "
                         "UPDATE meta SET value = '1' WHERE key = 'schema_version'",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);

  auto store = SqliteStore::Open(directory.path());
  EXPECT_EQ(store->Meta("schema_version"), "3");
  const model::Snapshot migrated = store->Load();
  for (const model::Account& a : book.accounts) {
    for (model::MoneyEntry& entry :
         model::OpeningEntries(a.client, a.account, a.totals, book.market_time_text)) {
      book.entries.push_back(std::move(entry));
    }
  }
  EXPECT_EQ(book.entries.size(), 6u + 4u);  // no margin requirement, no zero
  EXPECT_TRUE(migrated == book);
  EXPECT_EQ(migrated.entries, book.entries);
  ExpectEntriesExplain(file, migrated.accounts);
}

}  // namespace
}  // namespace orvane::apps
