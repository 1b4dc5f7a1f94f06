// The PostgreSQL store against a real server that this program starts: what
// it loads is what model::Apply makes of the same committed batches, before
// and after a reopen; a refused statement or a lost connection leaves the
// last committed batch; one store per database; a newer schema, another
// program's tables and a second seed are refused.

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <pwd.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <memory>
#include <random>
#include <string>

#include "apps/store_batches.h"
#include "connection/integration/peers.h"
#include "pg_statement.h"
#include "postgres_store.h"
#include "scratch_cluster.h"

namespace orvane::apps {
namespace {

using store_test::Book;
using store_test::ChangeMaker;
using store_test::HistoryOf;
using store_test::StateOf;
using test::ScratchCluster;


// A connection of the test's own, beside the store's.
class Admin {
 public:
  explicit Admin(const std::string& database)
      : m_connection(PQconnectdb(ScratchCluster::Get()->Conninfo(database).c_str())) {}
  ~Admin() { PQfinish(m_connection); }

  // Runs `sql`; its first value, if it returns one.
  std::string operator()(const std::string& sql) {
    PGresult* result = PQexec(m_connection, sql.c_str());
    const ExecStatusType status = PQresultStatus(result);
    EXPECT_TRUE(status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
        << sql << ": " << PQerrorMessage(m_connection);
    std::string value = PQntuples(result) > 0 ? PQgetvalue(result, 0, 0) : "";
    PQclear(result);
    return value;
  }

 private:
  PGconn* m_connection;
};

// Each test in a database of its own.
class PostgresStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(ScratchCluster::Get(), nullptr);
    ASSERT_EQ(ScratchCluster::Get()->error(), "");
    m_database = NewDatabase();
  }

  std::string NewDatabase() {
    static int databases = 0;
    const std::string name = "store_" + std::to_string(++databases);
    Admin{"postgres"}("CREATE DATABASE " + name);
    return name;
  }
  std::string Conninfo() const { return ScratchCluster::Get()->Conninfo(m_database); }
  std::unique_ptr<PostgresStore> Open() { return PostgresStore::Open(Conninfo()); }

  std::string m_database;
};

// What Open threw, or "" when it opened.
std::string OpenError(const std::string& conninfo) {
  try {
    PostgresStore::Open(conninfo);
  } catch (const StoreError& e) {
    return e.what();
  }
  return "";
}

TEST_F(PostgresStoreTest, LoadsWhatTheModelMakesOfTheCommittedBatches) {
  std::mt19937_64 random(11);
  model::Snapshot expected = Book(random);
  {
    auto store = Open();
    ASSERT_TRUE(store->Seed(expected).ok());
    ASSERT_TRUE(store->Load() == expected);
    ChangeMaker maker(12);
    std::array<int, std::variant_size_v<model::Change>> applied{}, ignored{};
    for (int batch = 0; batch < 200; ++batch) {
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
      if (batch % 10 == 0) {
        ASSERT_TRUE(store->Load() == expected) << "after batch " << batch;
        ASSERT_TRUE(store->LoadState() == StateOf(expected)) << "after batch " << batch;
      }
    }
    for (size_t kind = 0; kind < applied.size(); ++kind) {
      EXPECT_GT(applied[kind], 0) << "change kind " << kind;
      if (kind != 9 && kind != 10 && kind != 11 && kind != 13) {
        EXPECT_GT(ignored[kind], 0) << "change kind " << kind;
      }
    }
    EXPECT_EQ(expected.order_numbers["legacy"].size(), 300u);
    EXPECT_TRUE(expected.order_numbers.count("idle"));
    ASSERT_TRUE(store->Load() == expected);
  }
  EXPECT_TRUE(Open()->Load() == expected);
}

TEST_F(PostgresStoreTest, AQueryTellsHowManyRowsItReturnedOnceRun) {
  PGconn* connection = PQconnectdb(Conninfo().c_str());
  ASSERT_EQ(PQstatus(connection), CONNECTION_OK);
  {
    PgStatement query(connection, "SELECT generate_series(1, $1)");
    for (const int32_t rows : {3, 0, 5}) {
      query.Bind(rows);
      EXPECT_EQ(query.Rows(), 0u);
      int32_t read = 0;
      while (query.Step()) {
        EXPECT_EQ(query.Rows(), static_cast<size_t>(rows));
        int32_t value = 0;
        query.Column(value);
        EXPECT_EQ(value, ++read);
      }
      EXPECT_EQ(read, rows);
      EXPECT_EQ(query.Rows(), 0u);  // readied for the next run
    }
  }
  PQfinish(connection);
}

TEST_F(PostgresStoreTest, AStatementTheServerRefusesFailsTheBatchAndLaterCommits) {
  std::mt19937_64 random(5);
  model::Snapshot expected = Book(random);
  ChangeMaker maker(6);
  {
    auto store = Open();
    ASSERT_TRUE(store->Seed(expected).ok());
    for (int i = 0; i < 50; ++i) {
      const model::Change change = maker.Next(expected);
      model::Apply(expected, change);
      store->Append(change);
    }
    ASSERT_TRUE(store->Commit().ok());
    Admin admin(m_database);
    admin("ALTER TABLE audit ADD CONSTRAINT no_more CHECK (false) NOT VALID");
    store->Append(model::HistoryAdded{});
    store->Append(model::AuditAdded{{1, 2, "refused"}});
    store->Append(model::HistoryAdded{});
    const StoreStatus failed = store->Commit();
    ASSERT_FALSE(failed.ok());
    EXPECT_NE(failed.message().find("commit to " + store->where() + " failed: "),
              std::string::npos)
        << failed.message();
    EXPECT_NE(failed.message().find("no_more"), std::string::npos) << failed.message();
    EXPECT_TRUE(store->Load() == expected);
    admin("ALTER TABLE audit DROP CONSTRAINT no_more");
    store->Append(model::AuditAdded{{1, 2, "after"}});
    EXPECT_NE(store->Commit().message().find("refuses commits since one failed"),
              std::string::npos);
    EXPECT_FALSE(store->Seed(model::Snapshot{}).ok());
  }
  auto reopened = Open();
  EXPECT_TRUE(reopened->Load() == expected);
  reopened->Append(model::AuditAdded{{1, 2, "after"}});
  EXPECT_TRUE(reopened->Commit().ok());
  EXPECT_EQ(reopened->Load().audit.back().row, "after");
}

TEST_F(PostgresStoreTest, ALostConnectionFailsTheCommitAndLeavesTheLastBatch) {
  std::mt19937_64 random(7);
  model::Snapshot expected = Book(random);
  ChangeMaker maker(8);
  {
    auto store = Open();
    ASSERT_TRUE(store->Seed(expected).ok());
    for (int i = 0; i < 20; ++i) store->Append(maker.Next(expected));
    Admin admin(m_database);
    EXPECT_EQ(admin("SELECT count(pg_terminate_backend(pid, 5000)) FROM pg_stat_activity "
                    "WHERE datname = current_database() AND pid <> pg_backend_pid()"),
              "1");
    const StoreStatus failed = store->Commit();
    EXPECT_FALSE(failed.ok());
    EXPECT_NE(failed.message().find("commit to " + store->where() + " failed: "),
              std::string::npos)
        << failed.message();
    EXPECT_THROW(store->Load(), StoreError);
    store->Append(model::AuditAdded{{1, 2, "after"}});
    EXPECT_NE(store->Commit().message().find("refuses commits since one failed"),
              std::string::npos);
  }
  EXPECT_TRUE(Open()->Load() == expected);
}

TEST_F(PostgresStoreTest, ADatabaseHoldsOneOpenStoreAtATime) {
  auto first = Open();
  const std::string in_use = "cannot open PostgreSQL database " + m_database + " at 127.0.0.1:" +
                             std::to_string(ScratchCluster::Get()->port()) +
                             ": the database is in use by another server";
  EXPECT_EQ(OpenError(Conninfo()), in_use);
  first.reset();
  EXPECT_EQ(OpenError(Conninfo()), "");
  // Another database of the same server is another store.
  first = Open();
  EXPECT_EQ(OpenError(ScratchCluster::Get()->Conninfo(NewDatabase())), "");

  EXPECT_NE(OpenError(ScratchCluster::Get()->Conninfo("missing")).find(
                "database \"missing\" does not exist"),
            std::string::npos);
  const std::string closed =
      "postgresql://orvane@127.0.0.1:" + std::to_string(orvane::test::FreePort()) + "/x";
  EXPECT_NE(OpenError(closed).find("Connection refused"), std::string::npos) << OpenError(closed);
  EXPECT_NE(OpenError("port=").find("cannot open PostgreSQL"), std::string::npos);
}

TEST_F(PostgresStoreTest, RefusesANewerSchemaAndAnotherProgramsTables) {
  Open();
  Admin{m_database}("UPDATE meta SET value = '4' WHERE key = 'schema_version'");
  EXPECT_NE(OpenError(Conninfo()).find(m_database + " at 127.0.0.1:" +
                                       std::to_string(ScratchCluster::Get()->port()) +
                                       ": its schema version is 4, newer than this server's 3"),
            std::string::npos)
      << OpenError(Conninfo());
  const std::string other = NewDatabase();
  Admin{other}("CREATE TABLE notes (text text)");
  EXPECT_NE(OpenError(ScratchCluster::Get()->Conninfo(other))
                .find("holds no schema version of this server"),
            std::string::npos);
  EXPECT_EQ(Admin{other}("SELECT count(*) FROM pg_tables WHERE schemaname = 'public'"), "1");
}

TEST_F(PostgresStoreTest, SeedsOnlyAnEmptyStoreAndKeepsMetaWithTheBatch) {
  std::mt19937_64 random(9);
  model::Snapshot book = Book(random);
  // Doubles come back bit for bit, the sign of a zero too.
  const std::array<double, 4> odd = {-0.0, std::numeric_limits<double>::denorm_min(),
                                     -std::numeric_limits<double>::infinity(), 0x1.fffffffffffffp-1};
  book.accounts[0].totals = {odd[0], odd[1], odd[2], odd[3], 0, 0, 0};
  {
    auto store = Open();
    EXPECT_TRUE(store->Empty());
    store->Append(model::MarketTimeAdvanced{DateTime(1), ""});
    ASSERT_TRUE(store->Commit().ok());
    EXPECT_FALSE(store->Empty());
    EXPECT_NE(store->Seed(book).message().find("already holds a book"), std::string::npos);
    EXPECT_EQ(store->Load().market_time, DateTime(1));
    EXPECT_TRUE(store->Load().symbols.empty());
  }
  m_database = NewDatabase();
  {
    auto store = Open();
    ASSERT_TRUE(store->Seed(book).ok());
    EXPECT_FALSE(store->Seed(model::Snapshot{}).ok());
    const model::Snapshot loaded = store->Load();
    EXPECT_TRUE(loaded == book);
    const model::Totals& totals = loaded.accounts[0].totals;
    const std::array<double, 4> back = {totals.commission, totals.margin_requirement,
                                        totals.net_profit, totals.deposit};
    for (size_t i = 0; i < odd.size(); ++i) {
      EXPECT_EQ(std::bit_cast<uint64_t>(back[i]), std::bit_cast<uint64_t>(odd[i])) << i;
    }
    store->SetMeta("feed", std::string("tape.txt:42\0", 12));
    EXPECT_EQ(store->Meta("feed"), std::string("tape.txt:42\0", 12));  // the open batch's
    EXPECT_THROW(store->Load(), StoreError);
    ASSERT_TRUE(store->Commit().ok());
    EXPECT_EQ(store->Meta("nothing"), std::nullopt);
  }
  auto store = Open();
  EXPECT_EQ(store->Meta("feed"), std::string("tape.txt:42\0", 12));
  store->SetMeta("schema_version", "7");
  EXPECT_FALSE(store->Commit().ok());
  EXPECT_EQ(store->Meta("schema_version"), "3");
}

// A store of the first schema that holds every kind of total: the step to
// the second writes the entries that explain them, in the order of the
// accounts and ledgers, and any SQL client sums them to the totals.
TEST_F(PostgresStoreTest, TheStepToMoneyEntriesExplainsEveryTotal) {
  std::mt19937_64 random(21);
  model::Snapshot book = Book(random);
  book.accounts[1].totals = {-7.5, -100, -250.25, 9000, 0, 0, -1.5};
  book.entries.clear();
  ASSERT_TRUE(Open()->Seed(book).ok());
  Admin admin{m_database};
  admin("DROP TABLE entries");
  admin("DROP INDEX history_by_client");
  admin("ALTER TABLE clients DROP COLUMN type, DROP COLUMN parent, DROP COLUMN manual_dealing, "
        "DROP COLUMN auto_liquidation");
  admin("UPDATE meta SET value = '1' WHERE key = 'schema_version'");

  auto store = Open();
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
  for (const model::Account& a : book.accounts) {
    for (model::Ledger ledger : model::kLedgers) {
      const std::string sum = admin(
          "SELECT coalesce(SUM(amount), 0) FROM entries WHERE account = " +
          std::to_string(a.account) + " AND ledger = " +
          std::to_string(static_cast<int32_t>(ledger)));
      EXPECT_NEAR(std::stod(sum), model::LedgerTotal(a.totals, ledger), 0.005)
          << "account " << a.account << ", ledger " << static_cast<int32_t>(ledger);
    }
  }

  const model::MoneyEntry paid{20, 200, model::Ledger::kNetProfit, 12.34, "03/03/2027 12:00:01",
                               3, std::string("close\0", 7)};
  store->Append(model::MoneyBooked{paid});
  ASSERT_TRUE(store->Commit().ok());
  store.reset();
  const model::Snapshot reopened = Open()->Load();
  ASSERT_EQ(reopened.entries.size(), book.entries.size() + 1);
  EXPECT_EQ(reopened.entries.back(), paid);
}

}  // namespace
}  // namespace orvane::apps
