// The SQLite store: the durable stores' contract over a directory (a disk
// that refuses writes or syncs under a commit), a lock that holds against
// other processes, and a store of the first schema.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "book_import.h"
#include "password_hash.h"
#include "scratch_directory.h"
#include "sqlite_store.h"
#include "store_contract.h"
#include "trading_fixture.h"

namespace orvane::apps {
namespace {

using store_test::CommitFault;

// The default VFS, whose writes or syncs fail while armed: a disk that
// fills up or loses its data under a commit. Its files are the default
// VFS's own, each kind of file's methods copied with those two wrapped.
class FaultyDisk {
 public:
  enum class Fault { kNone, kWrite, kSync };
  static constexpr const char* kName = "faulty";

  static void Arm(Fault fault) {
    static const bool registered = [] {
      s_real = sqlite3_vfs_find(nullptr);
      s_vfs = *s_real;
      s_vfs.pNext = nullptr;
      s_vfs.zName = kName;
      s_vfs.xOpen = [](sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags,
                       int* out) {
        const int code = s_real->xOpen(s_real, name, file, flags, out);
        if (file->pMethods == nullptr) return code;
        auto [wrapped, added] = s_wrapped.try_emplace(file->pMethods, *file->pMethods);
        wrapped->second.xWrite = [](sqlite3_file* f, const void* data, int n, sqlite3_int64 at) {
          if (s_fault == Fault::kWrite) return SQLITE_IOERR_WRITE;
          return RealOf(f).xWrite(f, data, n, at);
        };
        wrapped->second.xSync = [](sqlite3_file* f, int sync_flags) {
          if (s_fault == Fault::kSync) return SQLITE_IOERR_FSYNC;
          return RealOf(f).xSync(f, sync_flags);
        };
        file->pMethods = &wrapped->second;
        return code;
      };
      return sqlite3_vfs_register(&s_vfs, 0) == SQLITE_OK;
    }();
    ASSERT_TRUE(registered);
    s_fault = fault;
  }

 private:
  // The default VFS's methods of a file whose methods are a wrapped copy.
  static const sqlite3_io_methods& RealOf(sqlite3_file* file) {
    for (const auto& [real, wrapped] : s_wrapped) {
      if (&wrapped == file->pMethods) return *real;
    }
    std::abort();
  }

  static inline sqlite3_vfs* s_real = nullptr;
  static inline sqlite3_vfs s_vfs{};
  static inline std::map<const sqlite3_io_methods*, sqlite3_io_methods> s_wrapped;
  static inline Fault s_fault = Fault::kNone;
};

// A directory of its own, its store reached through the faulty disk.
class SqlitePlace {
 public:
  static constexpr int kLoadEvery = 1;
  static constexpr bool kSignedZero = false;  // SQLite stores -0.0 as the integer 0
  static constexpr const char* kCountTables = "SELECT count(*) FROM sqlite_master";
  static constexpr const char* kFirstSchema[] = {
      "DROP TABLE entries", "DROP INDEX history_by_client",
      "ALTER TABLE clients DROP COLUMN type", "ALTER TABLE clients DROP COLUMN parent",
      "ALTER TABLE clients DROP COLUMN manual_dealing",
      "ALTER TABLE clients DROP COLUMN auto_liquidation",
      "UPDATE meta SET value = '1' WHERE key = 'schema_version'"};

  SqlitePlace() { FaultyDisk::Arm(FaultyDisk::Fault::kNone); }
  std::unique_ptr<SqliteStore> Open() {
    return SqliteStore::open(m_directory->path(), FaultyDisk::kName);
  }
  void MoveOn() { m_directory = std::make_unique<ScratchDirectory>(); }
  const std::string& directory() const { return m_directory->path(); }
  std::string Where() const { return m_directory->path() + "/orvane.db"; }
  std::string InUse() const {
    return "store directory " + m_directory->path() + " is in use by another server (process " +
           std::to_string(::getpid()) + ")";
  }
  std::string Query(const std::string& sql) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(Where().c_str(), &db), SQLITE_OK);
    std::string first;
    auto row = [](void* out, int, char** values, char**) {
      *static_cast<std::string*>(out) = values[0] != nullptr ? values[0] : "";
      return 0;
    };
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), row, &first, nullptr), SQLITE_OK)
        << sql << ": " << sqlite3_errmsg(db);
    sqlite3_close(db);
    return first;
  }
  static std::vector<CommitFault<SqlitePlace>> Faults() {
    using F = FaultyDisk::Fault;
    auto arm = [](F fault) { return [fault](SqlitePlace&) { FaultyDisk::Arm(fault); }; };
    return {{"writes fail", arm(F::kWrite), arm(F::kNone), "", true},
            {"syncs fail", arm(F::kSync), arm(F::kNone), "", true}};
  }

 private:
  std::unique_ptr<ScratchDirectory> m_directory = std::make_unique<ScratchDirectory>();
};

INSTANTIATE_TYPED_TEST_SUITE_P(Sqlite, StoreContract, SqlitePlace);

using SqliteStoreTest = StoreContract<SqlitePlace>;

// The lock holds against another process too, and a directory that is not
// there or holds something else than a database is refused.
TEST_F(SqliteStoreTest, AnotherProcessAndAnythingButADatabaseAreRefused) {
  auto first = m_place.Open();
  const std::string in_use = m_place.InUse();
  const pid_t child = ::fork();
  if (child == 0) ::_exit(store_test::OpenError(m_place) == in_use ? 0 : 1);
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_THROW(SqliteStore::open(m_place.directory() + "/missing"), StoreError);
  m_place.MoveOn();
  std::ofstream(m_place.Where()) << "SYMBOL 1 USD -4 1 1 1 1 0 1 1 FRIDAY 22:00 SUNDAY 22:00\n";
  EXPECT_THROW(m_place.Open(), StoreError);
}

// A store written by the first schema, kept as SQL text (a server seeded
// from the trading book, 30 quotes applied): every later version opens it,
// bringing it up to its own schema, and reads what it held.
TEST_F(SqliteStoreTest, AStoreOfTheFirstSchemaOpensAndReads) {
  const char* root = std::getenv("ORVANE_SOURCE_DIR");
  ASSERT_NE(root, nullptr);
  std::ifstream in(std::string(root) + "/tests/apps/data/store_v1.sql");
  ASSERT_TRUE(in);
  const std::string dump((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  m_place.Query(dump);

  auto store = m_place.Open();
  EXPECT_EQ(store->meta("schema_version"), "3");
  const model::Snapshot stored = store->load();
  const model::Snapshot book = import_book(kBook, "book");
  EXPECT_EQ(stored.symbols, book.symbols);
  EXPECT_EQ(stored.clients, book.clients);
  ASSERT_EQ(stored.users.size(), book.users.size());
  EXPECT_TRUE(verify_password(stored.users[0].password, book.users[0].password));
  EXPECT_EQ(stored.accounts.size(), book.accounts.size());
  EXPECT_EQ(stored.positions.size(), 1u);
  EXPECT_EQ(stored.market_time_text, "03/03/2027 12:00:00");
  EXPECT_EQ(store->meta("feed_delivered"), "30");

  // The opening entries explain each account's totals as they stood.
  std::vector<model::MoneyEntry> opening;
  for (const model::Account& a : stored.accounts) {
    for (model::MoneyEntry& entry :
         model::opening_entries(a.client, a.account, a.totals, stored.market_time_text)) {
      opening.push_back(std::move(entry));
    }
  }
  EXPECT_EQ(opening.size(), stored.accounts.size());  // a deposit each
  EXPECT_EQ(stored.entries, opening);
  store_test::ExpectEntriesExplain(m_place, stored.accounts);

  const model::MoneyEntry paid{10, 100, model::Ledger::kDeposit, -12.5, "03/03/2027 12:00:01",
                               0, "withdrawal"};
  store->append(model::AlertRemoved{10, 1});
  store->append(model::MoneyBooked{paid});
  EXPECT_TRUE(store->commit().ok());
  store.reset();
  const model::Snapshot reopened = m_place.Open()->load();
  ASSERT_EQ(reopened.entries.size(), opening.size() + 1);
  EXPECT_EQ(reopened.entries.back(), paid);
}

}  // namespace
}  // namespace orvane::apps
