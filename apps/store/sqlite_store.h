#ifndef ORVANE_APPS_STORE_SQLITE_STORE_H_
#define ORVANE_APPS_STORE_SQLITE_STORE_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "durable_store.h"

struct sqlite3;

namespace orvane::apps {

struct SqliteStatements;  // the store's prepared statements (sqlite_store.cpp)

// The desk's durable store: one SQLite database, `orvane.db`, in a
// directory of its own, with a table per record kind. A batch is one
// transaction, begun at the first change appended and made durable by
// Commit (write-ahead log, synced on every commit). Load after any committed
// batches gives exactly what model::apply gives for them, doubles and texts
// bit for bit and every list in the order the desk wrote it.
//
// One store per directory: while it is open, the directory is locked
// (`orvane.lock`, which also names the holder's process) and a second Open,
// from this process or another, is refused.
//
// When a batch fails (a change that could not be written, or the commit
// itself), it is rolled back and the store refuses every later commit until
// it is opened again: the disk is no longer trusted. A failed batch is not in
// Load, nor after a clean close; but if the process dies after a failed sync,
// before the store is closed, the next open may find the batch committed,
// as after a crash between a commit and its answer. A batch still open when
// the store closes is dropped.
class SqliteStore : public DurableStore {
 public:
  static constexpr int kSchemaVersion = 3;
  static constexpr const char* kDatabaseFile = "orvane.db";
  static constexpr const char* kLockFile = "orvane.lock";

  // Opens the store in `directory`, which must exist; creates the database
  // when there is none and brings an older schema up to this version.
  // `vfs` names a registered SQLite VFS to reach the file through (empty:
  // the default one). Throws StoreError when the directory is in use, the
  // file is no database of this server or its schema is newer than this
  // code's.
  static std::unique_ptr<SqliteStore> open(const std::string& directory,
                                           const std::string& vfs = "");
  ~SqliteStore() override;
  SqliteStore(const SqliteStore&) = delete;
  SqliteStore& operator=(const SqliteStore&) = delete;

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

  const std::string& directory() const { return m_directory; }

 private:
  SqliteStore(std::string directory, int lock_fd);
  void open_database(const std::string& vfs);
  int schema_version();
  // Load, with the records that only grow or without them.
  model::Snapshot read(bool growing);
  // Brings the schema from version `from` up to kSchemaVersion, one step a
  // version, in one transaction.
  void migrate(int from);
  void begin_batch();
  void write_snapshot(const model::Snapshot& snapshot);
  // Drops the open transaction, if any, after a failure.
  void rollback();
  std::string where() const;

  std::string m_directory;
  int m_lock_fd;
  sqlite3* m_db = nullptr;
  std::unique_ptr<SqliteStatements> m_statements;
  // How many outcomes each owner has in the store, the open batch's
  // included; learnt at an owner's first outcome, forgotten on a rollback.
  std::unordered_map<std::string, int64_t> m_kept_numbers;
  bool m_batch_open = false;
  std::string m_batch_error;  // the first failure of the open batch
  std::string m_broken;       // why commits are refused; empty while they are not
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_STORE_SQLITE_STORE_H_
