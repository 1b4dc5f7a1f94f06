#ifndef ORVANE_APPS_STORE_POSTGRES_STORE_H_
#define ORVANE_APPS_STORE_POSTGRES_STORE_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "durable_store.h"

typedef struct pg_conn PGconn;

namespace orvane::apps {

struct PostgresStatements;  // the store's prepared statements (postgres_store.cpp)

// The desk's durable store in a PostgreSQL database: a table per record
// kind in the connection's schema, alike the SQLite store's, with texts as
// bytea (any bytes) and doubles kept bit for bit. A batch is one
// transaction, begun at the first change appended and committed by Commit.
// Load after any committed batches gives exactly what model::apply gives
// for them, every list in the order the desk wrote it.
//
// One server per database: the store holds a session-level advisory lock
// while it is open, and a second Open, from anywhere, is refused.
//
// When a batch fails (a change the server refused, a lost connection, or
// the commit itself), it is rolled back and the store refuses every later
// commit until it is opened again. The store never reconnects: after a lost
// connection Load throws too. As with any server, a connection lost during
// COMMIT leaves it unknown whether the batch is in; the next Open tells.
class PostgresStore : public DurableStore {
 public:
  static constexpr int kSchemaVersion = 3;
  // The advisory lock that says which server holds the database.
  static constexpr int64_t kLockKey = 0x4f7276616e65;

  // Connects with `conninfo` (a postgresql:// URI or key=value pairs), takes
  // the database, creates the schema when there is none and brings an older
  // one up to this version. Throws StoreError when the server cannot be
  // reached or refuses, the database is in use by another server, holds
  // tables of another program, or its schema is newer than this code's.
  static std::unique_ptr<PostgresStore> open(const std::string& conninfo);
  ~PostgresStore() override;
  PostgresStore(const PostgresStore&) = delete;
  PostgresStore& operator=(const PostgresStore&) = delete;

  // The committed state. Throws StoreError while a batch is open, or when
  // the database cannot be read.
  model::Snapshot load() override;
  // Leaves history, audit and money entries in the database: History reads
  // a client's history from it (an index by client keeps that quick).
  model::Snapshot load_state() override;
  bool keeps_history() const override { return true; }
  std::vector<model::HistoryEntry> history(int32_t client) override;
  // Joins the open batch (opening it); a change that fails here fails the
  // batch's Commit. A change naming a record the store does not hold
  // changes nothing, as in model::apply.
  void append(const model::Change& change) override;
  StoreStatus commit() override;

  bool empty() override;
  StoreStatus seed(const model::Snapshot& snapshot) override;
  void set_meta(const std::string& key, const std::string& value) override;
  std::optional<std::string> meta(const std::string& key) override;

  // "database NAME at HOST:PORT", for messages.
  const std::string& where() const { return m_where; }

 private:
  explicit PostgresStore(PGconn* connection);
  void lock();
  int schema_version();
  // Load, with the records that only grow or without them.
  model::Snapshot read(bool growing);
  // Brings the schema from version `from` up to kSchemaVersion, one step a
  // version, in one transaction.
  void migrate(int from);
  void execute(const std::string& sql);
  void begin_batch();
  void write_snapshot(const model::Snapshot& snapshot);
  // Drops the open transaction, if any, after a failure.
  void rollback();
  StoreStatus refused() const;

  PGconn* m_connection;
  std::string m_where;
  std::unique_ptr<PostgresStatements> m_statements;
  // How many outcomes each owner has in the store, the open batch's
  // included; learnt at an owner's first outcome, forgotten on a rollback.
  std::unordered_map<std::string, int64_t> m_kept_numbers;
  bool m_batch_open = false;
  std::string m_batch_error;  // the first failure of the open batch
  std::string m_broken;       // why commits are refused; empty while they are not
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_STORE_POSTGRES_STORE_H_
