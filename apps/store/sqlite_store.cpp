#include "sqlite_store.h"

#include <errno.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <iterator>
#include <utility>
#include <variant>

#include "record_columns.h"
#include "record_io.h"
#include "sqlite_statement.h"

namespace orvane::apps {

namespace {

using namespace columns;
using namespace record_io;

constexpr char kVersionKey[] = "schema_version";

// Each step brings the schema from version i to version i + 1; a step, once
// released, never changes. Every list keeps the desk's order in `seq`.
constexpr const char* kMigrations[] = {
    // 0 -> 1: the first schema.
    R"(CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;
CREATE TABLE symbols (seq INTEGER PRIMARY KEY, id INTEGER NOT NULL, name TEXT NOT NULL,
  pip_location INTEGER NOT NULL, factor REAL, price_case INTEGER NOT NULL,
  ref_id INTEGER NOT NULL, ref_price_case INTEGER NOT NULL, margin_per_lot REAL, bid REAL,
  ask REAL, close_day TEXT NOT NULL, close_time TEXT NOT NULL, open_day TEXT NOT NULL,
  open_time TEXT NOT NULL, break_close TEXT NOT NULL, break_open TEXT NOT NULL);
CREATE TABLE clients (seq INTEGER PRIMARY KEY, id INTEGER NOT NULL, parameters TEXT NOT NULL,
  liquidation_type INTEGER NOT NULL, liquidation_point REAL, comm_calc_type INTEGER NOT NULL,
  enable_interest INTEGER NOT NULL, name TEXT NOT NULL, hedging INTEGER NOT NULL,
  partial_close INTEGER NOT NULL);
CREATE TABLE accounts (seq INTEGER PRIMARY KEY, client INTEGER NOT NULL,
  account INTEGER NOT NULL, type INTEGER NOT NULL, margin_account INTEGER NOT NULL,
  dont_liquidate INTEGER NOT NULL, commission REAL, margin_requirement REAL, net_profit REAL,
  deposit REAL, credit REAL, previous_margin REAL, interest REAL);
CREATE INDEX accounts_by_key ON accounts (client, account);
CREATE TABLE positions (seq INTEGER PRIMARY KEY, client INTEGER NOT NULL,
  account INTEGER NOT NULL, ticket INTEGER NOT NULL, time TEXT NOT NULL,
  direction INTEGER NOT NULL, lots REAL, symbol INTEGER NOT NULL, price REAL, interest REAL,
  note TEXT NOT NULL);
CREATE INDEX positions_by_key ON positions (account, ticket);
CREATE TABLE orders (seq INTEGER PRIMARY KEY, client INTEGER NOT NULL,
  account INTEGER NOT NULL, id INTEGER NOT NULL, time TEXT NOT NULL,
  direction INTEGER NOT NULL, lots REAL, symbol INTEGER NOT NULL, kind INTEGER NOT NULL,
  price REAL, position INTEGER NOT NULL, sl REAL, tp REAL, status INTEGER NOT NULL,
  note TEXT NOT NULL, expiry TEXT NOT NULL);
CREATE INDEX orders_by_key ON orders (account, id);
CREATE TABLE alerts (seq INTEGER PRIMARY KEY, client INTEGER NOT NULL, id INTEGER NOT NULL,
  symbol INTEGER NOT NULL, condition INTEGER NOT NULL, value REAL);
CREATE INDEX alerts_by_key ON alerts (client, id);
CREATE TABLE users (seq INTEGER PRIMARY KEY, username TEXT NOT NULL, password TEXT NOT NULL,
  client INTEGER NOT NULL, privileges TEXT NOT NULL, type INTEGER NOT NULL,
  symbols TEXT NOT NULL);
CREATE TABLE history (seq INTEGER PRIMARY KEY, client INTEGER NOT NULL,
  account INTEGER NOT NULL, ticket INTEGER NOT NULL, time TEXT NOT NULL,
  symbol INTEGER NOT NULL, lots REAL, direction INTEGER NOT NULL, open_time TEXT NOT NULL,
  open_price REAL, close_price REAL, commission REAL, interest REAL, ref_price REAL,
  profit REAL, note TEXT NOT NULL);
CREATE TABLE audit (seq INTEGER PRIMARY KEY, client INTEGER NOT NULL,
  account INTEGER NOT NULL, row TEXT NOT NULL);
CREATE TABLE order_numbers (seq INTEGER PRIMARY KEY, owner TEXT NOT NULL,
  username TEXT NOT NULL, number INTEGER NOT NULL, code INTEGER NOT NULL, text TEXT NOT NULL,
  ticket INTEGER NOT NULL, price REAL);
CREATE INDEX order_numbers_by_owner ON order_numbers (owner);
CREATE TABLE order_number_owners (owner TEXT PRIMARY KEY) WITHOUT ROWID;
CREATE TABLE interest_rates (seq INTEGER PRIMARY KEY, symbol INTEGER NOT NULL, buy_rate REAL,
  sell_rate REAL, year_days INTEGER NOT NULL);
CREATE TABLE sequences (one INTEGER PRIMARY KEY CHECK (one = 1),
  last_ticket INTEGER NOT NULL, last_order INTEGER NOT NULL);
INSERT INTO sequences VALUES (1, 0, 0);
CREATE TABLE market_time (one INTEGER PRIMARY KEY CHECK (one = 1), serial REAL,
  text TEXT NOT NULL);
INSERT INTO market_time VALUES (1, 0, '');)",
    // 1 -> 2: money entries, the opening ones explaining each account's totals.
    R"(CREATE TABLE entries (seq INTEGER PRIMARY KEY AUTOINCREMENT, client INTEGER NOT NULL,
  account INTEGER NOT NULL, ledger INTEGER NOT NULL, amount REAL, time TEXT NOT NULL,
  ticket INTEGER NOT NULL, note TEXT NOT NULL);
CREATE INDEX entries_by_account ON entries (account, ledger);
CREATE INDEX history_by_client ON history (client, seq);
WITH totals (seq, client, account, ledger, amount) AS (
  SELECT seq, client, account, 1, deposit FROM accounts
  UNION ALL SELECT seq, client, account, 2, previous_margin FROM accounts
  UNION ALL SELECT seq, client, account, 3, net_profit FROM accounts
  UNION ALL SELECT seq, client, account, 4, commission FROM accounts
  UNION ALL SELECT seq, client, account, 5, interest FROM accounts
  UNION ALL SELECT seq, client, account, 6, credit FROM accounts)
INSERT INTO entries (client, account, ledger, amount, time, ticket, note)
SELECT client, account, ledger, amount, (SELECT text FROM market_time), 0, 'opening'
FROM totals WHERE amount IS NOT 0 ORDER BY seq, ledger;)",
    // 2 -> 3: the broker's tree and each client's dealing.
    R"(ALTER TABLE clients ADD COLUMN type INTEGER NOT NULL DEFAULT 1;
ALTER TABLE clients ADD COLUMN parent INTEGER NOT NULL DEFAULT 0;
ALTER TABLE clients ADD COLUMN manual_dealing INTEGER NOT NULL DEFAULT 0;
ALTER TABLE clients ADD COLUMN auto_liquidation INTEGER NOT NULL DEFAULT 1;)",
};
static_assert(std::size(kMigrations) == SqliteStore::kSchemaVersion);


// "?1, ?2, ..." for each of the columns.
std::string placeholders(std::string_view columns) {
  std::string text;
  int n = 1;
  for (char c : columns) {
    if (c == ',') ++n;
  }
  for (int i = 1; i <= n; ++i) text += (i > 1 ? ", ?" : "?") + std::to_string(i);
  return text;
}

std::string insert(std::string_view table, std::string_view columns) {
  return "INSERT INTO " + std::string(table) + " (" + std::string(columns) + ") VALUES (" +
         placeholders(columns) + ")";
}

// Inserts a record unless one of the same account and number is there
// (?2 and ?3 are those columns).
std::string insert_new(std::string_view table, std::string_view columns, std::string_view number) {
  return "INSERT INTO " + std::string(table) + " (" + std::string(columns) + ") SELECT " +
         placeholders(columns) + " WHERE NOT EXISTS (SELECT 1 FROM " + std::string(table) +
         " WHERE account = ?2 AND " + std::string(number) + " = ?3)";
}

// Inserts a record unless one that `key` matches is there.
std::string insert_unless(std::string_view table, std::string_view columns, std::string_view key) {
  return "INSERT INTO " + std::string(table) + " (" + std::string(columns) + ") SELECT " +
         placeholders(columns) + " WHERE NOT EXISTS (SELECT 1 FROM " + std::string(table) +
         " WHERE " + std::string(key) + ")";
}

std::string select(std::string_view table, std::string_view columns) {
  return "SELECT " + std::string(columns) + " FROM " + std::string(table) + " ORDER BY seq";
}

// The first record (in the desk's order) that `key` matches, as a condition.
std::string first(std::string_view table, std::string_view key) {
  return "seq = (SELECT seq FROM " + std::string(table) + " WHERE " + std::string(key) +
         " ORDER BY seq LIMIT 1)";
}

std::string errno_text(int error) { return std::strerror(error); }

// The process that holds the lock file, as it wrote itself there; empty
// when that cannot be told.
std::string lock_holder(int fd) {
  char text[32] = {};
  const ssize_t read = ::pread(fd, text, sizeof text - 1, 0);
  std::string pid;
  for (ssize_t i = 0; i < read && text[i] >= '0' && text[i] <= '9'; ++i) pid += text[i];
  return pid;
}

// Locks the directory for this store's life; the lock file's descriptor.
int lock_directory(const std::string& directory) {
  const std::string path = directory + "/" + SqliteStore::kLockFile;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) throw StoreError("cannot open " + path + ": " + errno_text(errno));
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    const std::string holder = lock_holder(fd);
    ::close(fd);
    if (error != EWOULDBLOCK) throw StoreError("cannot lock " + path + ": " + errno_text(error));
    throw StoreError("store directory " + directory + " is in use by another server" +
                     (holder.empty() ? std::string() : " (process " + holder + ")"));
  }
  // The holder's pid is only information for the next one refused: a
  // failure to write it changes nothing.
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) == 0) {
    [[maybe_unused]] const ssize_t written = ::pwrite(fd, pid.data(), pid.size(), 0);
  }
  return fd;
}

}  // namespace

// Every statement the store runs, prepared once when it opens.
struct SqliteStatements {
  explicit SqliteStatements(sqlite3* db)
      : begin(db, "BEGIN"),
        commit(db, "COMMIT"),
        insert_symbol(db, insert("symbols", kSymbolColumns)),
        insert_client(db, insert("clients", kClientColumns)),
        insert_account(db, insert("accounts", kAccountColumns)),
        insert_position(db, insert("positions", kPositionColumns)),
        insert_order(db, insert("orders", kOrderColumns)),
        insert_alert(db, insert("alerts", kAlertColumns)),
        insert_user(db, insert("users", kUserColumns)),
        insert_history(db, insert("history", kHistoryColumns)),
        insert_audit(db, insert("audit", kAuditColumns)),
        insert_order_number(db, insert("order_numbers", kOrderNumberColumns)),
        insert_owner(db, "INSERT OR IGNORE INTO order_number_owners (owner) VALUES (?1)"),
        insert_interest_rate(db, insert("interest_rates", kInterestRateColumns)),
        insert_entry(db, insert("entries", kEntryColumns)),
        set_sequences(db, "UPDATE sequences SET last_ticket = ?1, last_order = ?2"),
        set_market_time(db, "UPDATE market_time SET serial = ?1, text = ?2"),
        open_position(db, insert_new("positions", kPositionColumns, "ticket")),
        raise_ticket(db, "UPDATE sequences SET last_ticket = max(last_ticket, ?1)"),
        close_position(db, "DELETE FROM positions WHERE " +
                               first("positions", "account = ?2 AND ticket = ?3 AND client = ?1")),
        change_position(db, "UPDATE positions SET (" + std::string(kPositionColumns) + ") = (" +
                                placeholders(kPositionColumns) + ") WHERE " +
                                first("positions", "account = ?2 AND ticket = ?3 AND client = ?1")),
        add_interest(db, "UPDATE positions SET interest = ?4 WHERE " +
                             first("positions", "account = ?2 AND ticket = ?3 AND client = ?1")),
        place_order(db, insert_new("orders", kOrderColumns, "id")),
        raise_order(db, "UPDATE sequences SET last_order = max(last_order, ?1)"),
        change_order(db, "UPDATE orders SET (" + std::string(kOrderColumns) + ") = (" +
                             placeholders(kOrderColumns) + ") WHERE " +
                             first("orders", "account = ?2 AND id = ?3 AND client = ?1")),
        remove_order(db, "DELETE FROM orders WHERE " +
                             first("orders", "account = ?2 AND id = ?3 AND client = ?1")),
        book_totals(db, "UPDATE accounts SET (" + std::string(kTotalsColumns) +
                            ") = (?3, ?4, ?5, ?6, ?7, ?8, ?9) WHERE " +
                            first("accounts", "client = ?1 AND account = ?2")),
        remove_alert(db, "DELETE FROM alerts WHERE " + first("alerts", "client = ?1 AND id = ?2")),
        add_client(db, insert_unless("clients", kClientColumns, "id = ?1")),
        add_account(db, insert_unless("accounts", kAccountColumns, "account = ?2")),
        add_user(db, insert_unless("users", kUserColumns, "username = ?1")),
        change_client(db, "UPDATE clients SET (" + std::string(kClientColumns) + ") = (" +
                              placeholders(kClientColumns) + ") WHERE " +
                              first("clients", "id = ?1")),
        // Market time never goes backwards; a NaN compares as model::apply's
        // does (never less), and so does a NULL kept for one.
        advance_market_time(db,
                            "UPDATE market_time SET serial = ?1, text = ?2 "
                            "WHERE text = '' OR NOT coalesce(?1 < serial, 0)"),
        count_order_numbers(db, "SELECT count(*) FROM order_numbers WHERE owner = ?1"),
        drop_oldest_number(
            db, "DELETE FROM order_numbers WHERE " + first("order_numbers", "owner = ?1")),
        set_meta(db,
                 "INSERT INTO meta (key, value) VALUES (?1, ?2) "
                 "ON CONFLICT (key) DO UPDATE SET value = excluded.value"),
        meta(db, "SELECT value FROM meta WHERE key = ?1"),
        select_symbols(db, select("symbols", kSymbolColumns)),
        select_clients(db, select("clients", kClientColumns)),
        select_accounts(db, select("accounts", kAccountColumns)),
        select_positions(db, select("positions", kPositionColumns)),
        select_orders(db, select("orders", kOrderColumns)),
        select_alerts(db, select("alerts", kAlertColumns)),
        select_users(db, select("users", kUserColumns)),
        select_history(db, select("history", kHistoryColumns)),
        select_audit(db, select("audit", kAuditColumns)),
        select_order_numbers(db, select("order_numbers", kOrderNumberColumns)),
        select_owners(db, "SELECT owner FROM order_number_owners"),
        select_interest_rates(db, select("interest_rates", kInterestRateColumns)),
        select_entries(db, select("entries", kEntryColumns)),
        select_history_of(db, "SELECT " + std::string(kHistoryColumns) +
                                 " FROM history WHERE client = ?1 ORDER BY seq"),
        select_sequences(db, "SELECT last_ticket, last_order FROM sequences"),
        select_market_time(db, "SELECT serial, text FROM market_time"),
        holds_anything(db,
                       "SELECT EXISTS (SELECT 1 FROM symbols) OR EXISTS (SELECT 1 FROM clients) "
                       "OR EXISTS (SELECT 1 FROM accounts) OR EXISTS (SELECT 1 FROM positions) "
                       "OR EXISTS (SELECT 1 FROM orders) OR EXISTS (SELECT 1 FROM alerts) "
                       "OR EXISTS (SELECT 1 FROM users) OR EXISTS (SELECT 1 FROM history) "
                       "OR EXISTS (SELECT 1 FROM audit) OR EXISTS (SELECT 1 FROM order_numbers) "
                       "OR EXISTS (SELECT 1 FROM order_number_owners) "
                       "OR EXISTS (SELECT 1 FROM interest_rates) "
                       "OR EXISTS (SELECT 1 FROM entries) "
                       "OR EXISTS (SELECT 1 FROM sequences WHERE last_ticket <> 0 OR "
                       "last_order <> 0) "
                       "OR EXISTS (SELECT 1 FROM market_time WHERE serial IS NOT 0 OR "
                       "text <> '')"),
        db(db) {}

  SqlStatement begin, commit;
  SqlStatement insert_symbol, insert_client, insert_account, insert_position, insert_order,
      insert_alert, insert_user, insert_history, insert_audit, insert_order_number, insert_owner,
      insert_interest_rate, insert_entry, set_sequences, set_market_time;
  SqlStatement open_position, raise_ticket, close_position, change_position, add_interest,
      place_order, raise_order, change_order, remove_order, book_totals, remove_alert,
      add_client, add_account, add_user, change_client, advance_market_time, count_order_numbers, drop_oldest_number;
  SqlStatement set_meta, meta;
  SqlStatement select_symbols, select_clients, select_accounts, select_positions, select_orders,
      select_alerts, select_users, select_history, select_audit, select_order_numbers,
      select_owners, select_interest_rates, select_entries, select_history_of, select_sequences,
      select_market_time;
  SqlStatement holds_anything;
  sqlite3* db;

  // After an insert that took, the sequences never fall behind a stored id.
  void inserted(const model::Position& p) {
    if (sqlite3_changes(db) > 0) raise_ticket.bind(p.ticket).run();
  }
  void inserted(const model::Order& o) {
    if (sqlite3_changes(db) > 0) raise_order.bind(o.id).run();
  }
};

std::unique_ptr<SqliteStore> SqliteStore::open(const std::string& directory,
                                               const std::string& vfs) {
  struct stat status {};
  if (::stat(directory.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
    throw StoreError("store directory " + directory + " does not exist");
  }
  std::unique_ptr<SqliteStore> store(new SqliteStore(directory, lock_directory(directory)));
  store->open_database(vfs);
  return store;
}

SqliteStore::SqliteStore(std::string directory, int lock_fd)
    : m_directory(std::move(directory)), m_lock_fd(lock_fd) {}

SqliteStore::~SqliteStore() {
  rollback();
  m_statements.reset();
  sqlite3_close(m_db);
  ::close(m_lock_fd);
}

void SqliteStore::open_database(const std::string& vfs) {
  const std::string path = where();
  const int code = sqlite3_open_v2(
      path.c_str(), &m_db,
      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE,
      vfs.empty() ? nullptr : vfs.c_str());
  if (code != SQLITE_OK) {
    throw StoreError("cannot open " + path + ": " +
                     (m_db != nullptr ? sqlite3_errmsg(m_db) : sqlite3_errstr(code)));
  }
  try {
    SqlStatement journal(m_db, "PRAGMA journal_mode=WAL");
    std::string mode;
    if (journal.step()) journal.column(mode);
    journal.reset();
    if (mode != "wal") throw StoreError("the file system does not allow a write-ahead log");
    SqlStatement(m_db, "PRAGMA synchronous=FULL").run();
    const int version = schema_version();
    if (version > kSchemaVersion) {
      throw StoreError("its schema version is " + std::to_string(version) +
                       ", newer than this server's " + std::to_string(kSchemaVersion) +
                       ": run a server that knows it");
    }
    if (version < kSchemaVersion) migrate(version);
    m_statements = std::make_unique<SqliteStatements>(m_db);
  } catch (const StoreError& e) {
    throw StoreError("cannot open " + path + ": " + e.what());
  }
}

int SqliteStore::schema_version() {
  SqlStatement tables(m_db, "SELECT count(*), count(*) FILTER (WHERE name = 'meta') "
                            "FROM sqlite_schema WHERE type = 'table'");
  int32_t all = 0, meta = 0;
  if (tables.step()) tables.column(all).column(meta);
  tables.reset();
  if (all == 0) return 0;
  std::string text;
  if (meta > 0) {
    SqlStatement read(m_db, "SELECT value FROM meta WHERE key = ?1");
    read.bind(std::string_view(kVersionKey));
    if (read.step()) read.column(text);
    read.reset();
  }
  const bool digits = !text.empty() && text.size() < 6 &&
                      text.find_first_not_of("0123456789") == std::string::npos;
  if (!digits) throw StoreError("the database holds no schema version of this server");
  return std::stoi(text);
}

void SqliteStore::migrate(int from) {
  char* error = nullptr;
  std::string script = "BEGIN;\n";
  for (int version = from; version < kSchemaVersion; ++version) {
    script += kMigrations[version];
    script += "\n";
  }
  script += "INSERT INTO meta (key, value) VALUES ('" + std::string(kVersionKey) + "', '" +
            std::to_string(kSchemaVersion) +
            "') ON CONFLICT (key) DO UPDATE SET value = excluded.value;\nCOMMIT;";
  if (sqlite3_exec(m_db, script.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string message = error != nullptr ? error : sqlite3_errmsg(m_db);
    sqlite3_free(error);
    rollback();
    throw StoreError("migrating its schema from version " + std::to_string(from) + " failed: " +
                     message);
  }
}

model::Snapshot SqliteStore::load() { return read(true); }

model::Snapshot SqliteStore::load_state() { return read(false); }

std::vector<model::HistoryEntry> SqliteStore::history(int32_t client) {
  try {
    return read_history(m_statements->select_history_of, client);
  } catch (const StoreError& e) {
    m_statements->select_history_of.reset();
    throw StoreError("cannot read the history of " + where() + ": " + e.what());
  }
}

model::Snapshot SqliteStore::read(bool growing) {
  if (m_batch_open) throw StoreError("cannot load " + where() + " while a batch is open");
  SqliteStatements& s = *m_statements;
  model::Snapshot snapshot;
  try {
    s.begin.run();
    m_batch_open = true;
    read_snapshot(s, snapshot, growing);
    s.commit.run();
    m_batch_open = false;
  } catch (const StoreError& e) {
    rollback();
    throw StoreError("cannot load " + where() + ": " + e.what());
  }
  return snapshot;
}

void SqliteStore::append(const model::Change& change) {
  if (!m_broken.empty() || !m_batch_error.empty()) return;
  try {
    begin_batch();
    ChangeWriter<SqliteStatements> writer(*m_statements, m_kept_numbers);
    std::visit(writer, change);
  } catch (const StoreError& e) {
    m_batch_error = e.what();
  }
}

StoreStatus SqliteStore::commit() {
  if (!m_broken.empty()) {
    rollback();
    m_batch_error.clear();
    return StoreStatus::failed(where() + " refuses commits since one failed (" + m_broken +
                               "); open the store again");
  }
  std::string failure = std::exchange(m_batch_error, {});
  if (failure.empty()) {
    if (!m_batch_open) return StoreStatus::success();
    try {
      m_statements->commit.run();
      m_batch_open = false;
      return StoreStatus::success();
    } catch (const StoreError& e) {
      failure = e.what();
    }
  }
  rollback();
  m_broken = failure;
  return StoreStatus::failed("commit to " + where() + " failed: " + failure);
}

bool SqliteStore::empty() {
  SqlStatement& holds = m_statements->holds_anything;
  bool anything = false;
  try {
    if (holds.step()) holds.column(anything);
    holds.reset();
  } catch (const StoreError& e) {
    throw StoreError("cannot read " + where() + ": " + e.what());
  }
  return !anything;
}

StoreStatus SqliteStore::seed(const model::Snapshot& snapshot) {
  if (!m_broken.empty()) {
    return StoreStatus::failed(where() + " refuses commits since one failed (" + m_broken +
                               "); open the store again");
  }
  if (m_batch_open || !m_batch_error.empty()) {
    return StoreStatus::failed("cannot seed " + where() + " while a batch is open");
  }
  try {
    begin_batch();
    if (!empty()) {
      rollback();
      return StoreStatus::failed(where() +
                                 " already holds a book, which a seed never overwrites");
    }
    write_snapshot(snapshot);
    m_statements->commit.run();
    m_batch_open = false;
    m_kept_numbers.clear();
    return StoreStatus::success();
  } catch (const StoreError& e) {
    rollback();
    m_broken = e.what();
    return StoreStatus::failed("seeding " + where() + " failed: " + e.what());
  }
}

void SqliteStore::set_meta(const std::string& key, const std::string& value) {
  if (!m_broken.empty() || !m_batch_error.empty()) return;
  if (key == kVersionKey) {
    m_batch_error = "the meta key " + key + " is the store's own";
    return;
  }
  try {
    begin_batch();
    m_statements->set_meta.bind(std::string_view(key)).bind(std::string_view(value)).run();
  } catch (const StoreError& e) {
    m_batch_error = e.what();
  }
}

std::optional<std::string> SqliteStore::meta(const std::string& key) {
  SqlStatement& meta = m_statements->meta;
  std::optional<std::string> value;
  try {
    meta.bind(std::string_view(key));
    if (meta.step()) {
      meta.column(value.emplace());
      meta.reset();
    }
  } catch (const StoreError& e) {
    throw StoreError("cannot read " + where() + ": " + e.what());
  }
  return value;
}

void SqliteStore::begin_batch() {
  if (m_batch_open) return;
  m_statements->begin.run();
  m_batch_open = true;
}

void SqliteStore::write_snapshot(const model::Snapshot& snapshot) {
  record_io::write_snapshot(*m_statements, snapshot);
}

void SqliteStore::rollback() {
  if (m_db != nullptr && sqlite3_get_autocommit(m_db) == 0) {
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  m_batch_open = false;
  m_kept_numbers.clear();
}

std::string SqliteStore::where() const { return m_directory + "/" + kDatabaseFile; }

}  // namespace orvane::apps
