// The PostgreSQL store against a real server that this program starts: the
// durable stores' contract over a database (a statement the server refuses,
// a connection lost under a commit), its statements, and how it names what
// it cannot open.

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <memory>
#include <string>
#include <vector>

#include "apps/store_contract.h"
#include "connection/integration/peers.h"
#include "pg_statement.h"
#include "postgres_store.h"
#include "scratch_cluster.h"

namespace orvane::apps {
namespace {

using store_test::CommitFault;
using store_test::OpenError;
using test::ScratchCluster;

// A database of its own on the scratch cluster.
class PostgresPlace {
 public:
  static constexpr int kLoadEvery = 10;
  static constexpr bool kSignedZero = true;
  static constexpr const char* kCountTables =
      "SELECT count(*) FROM pg_tables WHERE schemaname = 'public'";
  static constexpr const char* kFirstSchema[] = {
      "DROP TABLE entries", "DROP INDEX history_by_client",
      "ALTER TABLE clients DROP COLUMN type, DROP COLUMN parent",
      "ALTER TABLE clients DROP COLUMN manual_dealing, DROP COLUMN auto_liquidation",
      "UPDATE meta SET value = '1' WHERE key = 'schema_version'"};

  PostgresPlace() {
    EXPECT_EQ(ScratchCluster::Get()->error(), "");
    MoveOn();
  }
  std::unique_ptr<PostgresStore> Open() { return PostgresStore::open(Conninfo()); }
  void MoveOn() {
    static int databases = 0;
    m_database = "store_" + std::to_string(++databases);
    Query("CREATE DATABASE " + m_database, "postgres");
  }
  std::string Where() const {
    return "database " + m_database + " at 127.0.0.1:" +
           std::to_string(ScratchCluster::Get()->port());
  }
  std::string InUse() const {
    return "cannot open PostgreSQL " + Where() +
           ": the database is in use by another server";
  }
  std::string Conninfo() const { return ScratchCluster::Get()->Conninfo(m_database); }
  // Runs `sql` on a connection of the test's own; its first value, if any.
  std::string Query(const std::string& sql, const std::string& database = "") {
    const std::string conninfo = ScratchCluster::Get()->Conninfo(
        database.empty() ? m_database : database);
    PGconn* connection = PQconnectdb(conninfo.c_str());
    PGresult* result = PQexec(connection, sql.c_str());
    const ExecStatusType status = PQresultStatus(result);
    EXPECT_TRUE(status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
        << sql << ": " << PQerrorMessage(connection);
    std::string value = PQntuples(result) > 0 ? PQgetvalue(result, 0, 0) : "";
    PQclear(result);
    PQfinish(connection);
    return value;
  }
  static std::vector<CommitFault<PostgresPlace>> Faults() {
    auto nothing = [](PostgresPlace&) {};
    return {{"a statement the server refuses",
             [](PostgresPlace& place) {
               place.Query("ALTER TABLE audit ADD CONSTRAINT no_more CHECK (false) NOT VALID");
             },
             [](PostgresPlace& place) { place.Query("ALTER TABLE audit DROP CONSTRAINT no_more"); },
             "no_more", true},
            {"the connection lost",
             [](PostgresPlace& place) {
               EXPECT_EQ(place.Query("SELECT count(pg_terminate_backend(pid, 5000)) FROM "
                                     "pg_stat_activity WHERE datname = current_database() AND "
                                     "pid <> pg_backend_pid()"),
                         "1");
             },
             nothing, "", false}};
  }

 private:
  std::string m_database;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Postgres, StoreContract, PostgresPlace);

using PostgresStoreTest = StoreContract<PostgresPlace>;

TEST_F(PostgresStoreTest, AQueryTellsHowManyRowsItReturnedOnceRun) {
  PGconn* connection = PQconnectdb(m_place.Conninfo().c_str());
  ASSERT_EQ(PQstatus(connection), CONNECTION_OK);
  {
    PgStatement query(connection, "SELECT generate_series(1, $1)");
    for (const int32_t rows : {3, 0, 5}) {
      query.bind(rows);
      EXPECT_EQ(query.rows(), 0u);
      int32_t read = 0;
      while (query.step()) {
        EXPECT_EQ(query.rows(), static_cast<size_t>(rows));
        int32_t value = 0;
        query.column(value);
        EXPECT_EQ(value, ++read);
      }
      EXPECT_EQ(read, rows);
      EXPECT_EQ(query.rows(), 0u);  // readied for the next run
    }
  }
  PQfinish(connection);
}

TEST_F(PostgresStoreTest, AnotherDatabaseIsAnotherStoreAndWhatCannotBeReachedIsNamed) {
  auto first = m_place.Open();
  m_place.MoveOn();  // another database of the same server
  EXPECT_EQ(OpenError(m_place), "");
  const auto error_of = [](const std::string& conninfo) {
    try {
      PostgresStore::open(conninfo);
    } catch (const StoreError& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  EXPECT_NE(error_of(ScratchCluster::Get()->Conninfo("missing"))
                .find("database \"missing\" does not exist"),
            std::string::npos);
  const std::string closed =
      "postgresql://orvane@127.0.0.1:" + std::to_string(orvane::test::FreePort()) + "/x";
  EXPECT_NE(error_of(closed).find("Connection refused"), std::string::npos) << error_of(closed);
  EXPECT_NE(error_of("port=").find("cannot open PostgreSQL"), std::string::npos);
}

}  // namespace
}  // namespace orvane::apps
