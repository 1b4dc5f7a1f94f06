#include "postgres_store.h"

#include <libpq-fe.h>

#include <iterator>
#include <utility>
#include <variant>

#include "pg_statement.h"
#include "record_columns.h"
#include "record_io.h"

namespace orvane::apps {

namespace {

using namespace columns;
using namespace record_io;

constexpr char kVersionKey[] = "schema_version";

// Each step brings the schema from version i to version i + 1; a step, once
// released, never changes. Every list keeps the desk's order in `seq`;
// texts are bytea, since a record's text may hold any bytes.
constexpr const char* kMigrations[] = {
    // 0 -> 1: the first schema.
    R"(CREATE TABLE meta (key bytea PRIMARY KEY, value bytea NOT NULL);
CREATE TABLE symbols (seq bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  id integer NOT NULL, name bytea NOT NULL, pip_location integer NOT NULL,
  factor double precision NOT NULL, price_case integer NOT NULL, ref_id integer NOT NULL,
  ref_price_case integer NOT NULL, margin_per_lot double precision NOT NULL,
  bid double precision NOT NULL, ask double precision NOT NULL, close_day bytea NOT NULL,
  close_time bytea NOT NULL, open_day bytea NOT NULL, open_time bytea NOT NULL,
  break_close bytea NOT NULL, break_open bytea NOT NULL);
CREATE TABLE clients (seq bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  id integer NOT NULL, parameters bytea NOT NULL, liquidation_type integer NOT NULL,
  liquidation_point double precision NOT NULL, comm_calc_type integer NOT NULL,
  enable_interest boolean NOT NULL, name bytea NOT NULL, hedging boolean NOT NULL,
  partial_close boolean NOT NULL);
CREATE TABLE accounts (seq bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  client integer NOT NULL, account integer NOT NULL, type integer NOT NULL,
  margin_account boolean NOT NULL, dont_liquidate boolean NOT NULL,
  commission double precision NOT NULL, margin_requirement double precision NOT NULL,
  net_profit double precision NOT NULL, deposit double precision NOT NULL,
  credit double precision NOT NULL, previous_margin double precision NOT NULL,
  interest double precision NOT NULL);
CREATE INDEX accounts_by_key ON accounts (client, account);
CREATE TABLE positions (seq bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  client integer NOT NULL, account integer NOT NULL, ticket integer NOT NULL,
  time bytea NOT NULL, direction integer NOT NULL, lots double precision NOT NULL,
  symbol integer NOT NULL, price double precision NOT NULL,
  interest double precision NOT NULL, note bytea NOT NULL);
CREATE INDEX positions_by_key ON positions (account, ticket);
CREATE TABLE orders (seq bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  client integer NOT NULL, account integer NOT NULL, id integer NOT NULL, time bytea NOT NULL,
  direction integer NOT NULL, lots double precision NOT NULL, symbol integer NOT NULL,
  kind integer NOT NULL, price double precision NOT NULL, position integer NOT NULL,
  sl double precision NOT NULL, tp double precision NOT NULL, status integer NOT NULL,
  note bytea NOT NULL, expiry bytea NOT NULL);
CREATE INDEX orders_by_key ON orders (account, id);
CREATE TABLE alerts (seq bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  client integer NOT NULL, id integer NOT NULL, symbol integer NOT NULL,
  condition integer NOT NULL, value double precision NOT NULL);
CREATE INDEX alerts_by_key ON alerts (client, id);
CREATE TABLE users (seq bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  username bytea NOT NULL, password bytea NOT NULL, client integer NOT NULL,
  privileges bytea NOT NULL, type integer NOT NULL, symbols bytea NOT NULL);
CREATE TABLE history (seq bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  client integer NOT NULL, account integer NOT NULL, ticket integer NOT NULL,
  time bytea NOT NULL, symbol integer NOT NULL, lots double precision NOT NULL,
  direction integer NOT NULL, open_time bytea NOT NULL, open_price double precision NOT NULL,
  close_price double precision NOT NULL, commission double precision NOT NULL,
  interest double precision NOT NULL, ref_price double precision NOT NULL,
  profit double precision NOT NULL, note bytea NOT NULL);
CREATE TABLE audit (seq bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  client integer NOT NULL, account integer NOT NULL, row bytea NOT NULL);
CREATE TABLE order_numbers (seq bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  owner bytea NOT NULL, username bytea NOT NULL, number integer NOT NULL,
  code integer NOT NULL, text bytea NOT NULL, ticket integer NOT NULL,
  price double precision NOT NULL);
CREATE INDEX order_numbers_by_owner ON order_numbers (owner, seq);
CREATE TABLE order_number_owners (owner bytea PRIMARY KEY);
CREATE TABLE interest_rates (seq bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  symbol integer NOT NULL, buy_rate double precision NOT NULL,
  sell_rate double precision NOT NULL, year_days integer NOT NULL);
CREATE TABLE sequences (one integer PRIMARY KEY CHECK (one = 1),
  last_ticket integer NOT NULL, last_order integer NOT NULL);
INSERT INTO sequences VALUES (1, 0, 0);
CREATE TABLE market_time (one integer PRIMARY KEY CHECK (one = 1),
  serial double precision NOT NULL, text bytea NOT NULL);
INSERT INTO market_time VALUES (1, 0, '');)",
    // 1 -> 2: money entries, the opening ones explaining each account's totals.
    R"(CREATE TABLE entries (seq bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  client integer NOT NULL, account integer NOT NULL, ledger integer NOT NULL,
  amount double precision NOT NULL, time bytea NOT NULL, ticket integer NOT NULL,
  note bytea NOT NULL);
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
SELECT client, account, ledger, amount, (SELECT text FROM market_time), 0, 'opening'::bytea
FROM totals WHERE amount <> 0 ORDER BY seq, ledger;)",
    // 2 -> 3: the broker's tree and each client's dealing.
    R"(ALTER TABLE clients ADD COLUMN type integer NOT NULL DEFAULT 1,
  ADD COLUMN parent integer NOT NULL DEFAULT 0,
  ADD COLUMN manual_dealing boolean NOT NULL DEFAULT false,
  ADD COLUMN auto_liquidation boolean NOT NULL DEFAULT true;)",
};
static_assert(std::size(kMigrations) == PostgresStore::kSchemaVersion);


size_t count_columns(std::string_view columns) {
  size_t n = 1;
  for (char c : columns) n += c == ',';
  return n;
}

// "$1, $2, ..." for each of the columns, from `first` on.
std::string placeholders(std::string_view columns, size_t first = 1) {
  std::string text;
  const size_t n = count_columns(columns);
  for (size_t i = first; i < first + n; ++i) {
    text += (i > first ? ", $" : "$") + std::to_string(i);
  }
  return text;
}

std::string insert(std::string_view table, std::string_view columns) {
  return "INSERT INTO " + std::string(table) + " (" + std::string(columns) + ") VALUES (" +
         placeholders(columns) + ")";
}

// Inserts a record unless one of the same account and number is there ($2
// and $3 are those columns) and, when it went in, raises the last number
// handed out to its number.
std::string insert_new(std::string_view table, std::string_view columns, std::string_view number,
                      std::string_view last) {
  const std::string t(table), n(number), l(last);
  return "WITH added AS (INSERT INTO " + t + " (" + std::string(columns) + ") SELECT " +
         placeholders(columns) + " WHERE NOT EXISTS (SELECT 1 FROM " + t +
         " WHERE account = $2 AND " + n + " = $3) RETURNING " + n +
         ") UPDATE sequences SET " + l + " = greatest(" + l + ", added." + n + ") FROM added";
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

std::string update(std::string_view table, std::string_view columns, std::string_view key) {
  return "UPDATE " + std::string(table) + " SET (" + std::string(columns) + ") = (" +
         placeholders(columns) + ") WHERE " + first(table, key);
}

std::string words(const char* message) {
  std::string text = message != nullptr ? message : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text.empty() ? "no answer from the server" : text;
}

std::string where_of(PGconn* connection) {
  const char* db = PQdb(connection);
  const char* host = PQhost(connection);
  const char* port = PQport(connection);
  return "database " + std::string(db != nullptr ? db : "?") + " at " +
         (host != nullptr ? host : "?") + ":" + (port != nullptr ? port : "?");
}

}  // namespace

// Every statement the store runs; each is prepared on the server at its
// first run.
struct PostgresStatements {
  explicit PostgresStatements(PGconn* c)
      : insert_symbol(c, insert("symbols", kSymbolColumns)),
        insert_client(c, insert("clients", kClientColumns)),
        insert_account(c, insert("accounts", kAccountColumns)),
        insert_position(c, insert("positions", kPositionColumns)),
        insert_order(c, insert("orders", kOrderColumns)),
        insert_alert(c, insert("alerts", kAlertColumns)),
        insert_user(c, insert("users", kUserColumns)),
        insert_history(c, insert("history", kHistoryColumns)),
        insert_audit(c, insert("audit", kAuditColumns)),
        insert_order_number(c, insert("order_numbers", kOrderNumberColumns)),
        insert_owner(c, "INSERT INTO order_number_owners (owner) VALUES ($1) "
                        "ON CONFLICT DO NOTHING"),
        insert_interest_rate(c, insert("interest_rates", kInterestRateColumns)),
        insert_entry(c, insert("entries", kEntryColumns)),
        set_sequences(c, "UPDATE sequences SET last_ticket = $1, last_order = $2"),
        set_market_time(c, "UPDATE market_time SET serial = $1, text = $2"),
        open_position(c, insert_new("positions", kPositionColumns, "ticket", "last_ticket")),
        close_position(c, "DELETE FROM positions WHERE " +
                              first("positions", "account = $2 AND ticket = $3 AND client = $1")),
        change_position(c, update("positions", kPositionColumns,
                                  "account = $2 AND ticket = $3 AND client = $1")),
        add_interest(c, "UPDATE positions SET interest = $4 WHERE " +
                            first("positions", "account = $2 AND ticket = $3 AND client = $1")),
        place_order(c, insert_new("orders", kOrderColumns, "id", "last_order")),
        change_order(c,
                     update("orders", kOrderColumns, "account = $2 AND id = $3 AND client = $1")),
        remove_order(c, "DELETE FROM orders WHERE " +
                            first("orders", "account = $2 AND id = $3 AND client = $1")),
        book_totals(c, "UPDATE accounts SET (" + std::string(kTotalsColumns) + ") = (" +
                           placeholders(kTotalsColumns, 3) + ") WHERE " +
                           first("accounts", "client = $1 AND account = $2")),
        remove_alert(c, "DELETE FROM alerts WHERE " + first("alerts", "client = $1 AND id = $2")),
        add_client(c, insert_unless("clients", kClientColumns, "id = $1")),
        add_account(c, insert_unless("accounts", kAccountColumns, "account = $2")),
        add_user(c, insert_unless("users", kUserColumns, "username = $1")),
        change_client(c, update("clients", kClientColumns, "id = $1")),
        // Market time never goes backwards. The server orders NaN above every
        // number where model::apply finds it neither less nor more: a NaN kept
        // never refuses a time, and a NaN given is never less.
        advance_market_time(c,
                            "UPDATE market_time SET serial = $1, text = $2 WHERE text = '' "
                            "OR NOT ($1 < serial AND serial <> 'NaN'::double precision)"),
        count_order_numbers(c, "SELECT count(*) FROM order_numbers WHERE owner = $1"),
        drop_oldest_number(
            c, "DELETE FROM order_numbers WHERE " + first("order_numbers", "owner = $1")),
        set_meta(c, "INSERT INTO meta (key, value) VALUES ($1, $2) "
                    "ON CONFLICT (key) DO UPDATE SET value = excluded.value"),
        meta(c, "SELECT value FROM meta WHERE key = $1"),
        select_symbols(c, select("symbols", kSymbolColumns)),
        select_clients(c, select("clients", kClientColumns)),
        select_accounts(c, select("accounts", kAccountColumns)),
        select_positions(c, select("positions", kPositionColumns)),
        select_orders(c, select("orders", kOrderColumns)),
        select_alerts(c, select("alerts", kAlertColumns)),
        select_users(c, select("users", kUserColumns)),
        select_history(c, select("history", kHistoryColumns)),
        select_audit(c, select("audit", kAuditColumns)),
        select_order_numbers(c, select("order_numbers", kOrderNumberColumns)),
        select_owners(c, "SELECT owner FROM order_number_owners"),
        select_interest_rates(c, select("interest_rates", kInterestRateColumns)),
        select_entries(c, select("entries", kEntryColumns)),
        select_history_of(c, "SELECT " + std::string(kHistoryColumns) +
                                 " FROM history WHERE client = $1 ORDER BY seq"),
        select_sequences(c, "SELECT last_ticket, last_order FROM sequences"),
        select_market_time(c, "SELECT serial, text FROM market_time"),
        holds_anything(c,
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
                       "OR EXISTS (SELECT 1 FROM market_time WHERE serial <> 0 OR text <> '')") {}

  PgStatement insert_symbol, insert_client, insert_account, insert_position, insert_order,
      insert_alert, insert_user, insert_history, insert_audit, insert_order_number, insert_owner,
      insert_interest_rate, insert_entry, set_sequences, set_market_time;
  PgStatement open_position, close_position, change_position, add_interest, place_order,
      change_order, remove_order, book_totals, remove_alert, add_client, add_account, add_user, change_client,
      advance_market_time,
      count_order_numbers, drop_oldest_number;
  PgStatement set_meta, meta;
  PgStatement select_symbols, select_clients, select_accounts, select_positions, select_orders,
      select_alerts, select_users, select_history, select_audit, select_order_numbers,
      select_owners, select_interest_rates, select_entries, select_history_of, select_sequences,
      select_market_time;
  PgStatement holds_anything;

  // The inserts raise the sequences themselves.
  void inserted(const model::Position&) {}
  void inserted(const model::Order&) {}
};

std::unique_ptr<PostgresStore> PostgresStore::open(const std::string& conninfo) {
  // The caller's own timeout, when it gives one, stands over this.
  const char* keywords[] = {"connect_timeout", "fallback_application_name", "dbname", nullptr};
  const char* values[] = {"10", "orvane-server", conninfo.c_str(), nullptr};
  PGconn* connection = PQconnectdbParams(keywords, values, 1);
  if (connection == nullptr) throw StoreError("cannot open the PostgreSQL store: out of memory");
  if (PQstatus(connection) != CONNECTION_OK) {
    const std::string message = "cannot open PostgreSQL " + where_of(connection) + ": " +
                                words(PQerrorMessage(connection));
    PQfinish(connection);
    throw StoreError(message);
  }
  std::unique_ptr<PostgresStore> store(new PostgresStore(connection));
  try {
    store->lock();
    const int version = store->schema_version();
    if (version > kSchemaVersion) {
      throw StoreError("its schema version is " + std::to_string(version) +
                       ", newer than this server's " + std::to_string(kSchemaVersion) +
                       ": run a server that knows it");
    }
    if (version < kSchemaVersion) store->migrate(version);
  } catch (const StoreError& e) {
    throw StoreError("cannot open PostgreSQL " + store->m_where + ": " + e.what());
  }
  return store;
}

PostgresStore::PostgresStore(PGconn* connection)
    : m_connection(connection),
      m_where(where_of(connection)),
      m_statements(std::make_unique<PostgresStatements>(connection)) {
  // The server's notices (say, of a table it created) are no one's business.
  PQsetNoticeProcessor(connection, [](void*, const char*) {}, nullptr);
}

PostgresStore::~PostgresStore() {
  rollback();
  m_statements.reset();
  PQfinish(m_connection);  // ends the session, and with it the lock
}

void PostgresStore::lock() {
  PgStatement lock(m_connection, "SELECT pg_try_advisory_lock($1)");
  bool taken = false;
  lock.bind(kLockKey);
  if (lock.step()) lock.column(taken);
  lock.reset();
  if (!taken) throw StoreError("the database is in use by another server");
}

int PostgresStore::schema_version() {
  PgStatement tables(m_connection,
                     "SELECT count(*), count(*) FILTER (WHERE tablename = 'meta') "
                     "FROM pg_tables WHERE schemaname = current_schema()");
  int64_t all = 0, meta = 0;
  if (tables.step()) tables.column(all).column(meta);
  tables.reset();
  if (all == 0) return 0;
  std::optional<std::string> text;
  if (meta > 0) {
    PgStatement read(m_connection, "SELECT value FROM meta WHERE key = $1");
    read.bind(std::string_view(kVersionKey));
    if (read.step()) read.column(text.emplace());
    read.reset();
  }
  const bool digits = text && !text->empty() && text->size() < 6 &&
                      text->find_first_not_of("0123456789") == std::string::npos;
  if (!digits) throw StoreError("the database holds no schema version of this server");
  return std::stoi(*text);
}

void PostgresStore::migrate(int from) {
  std::string script = "BEGIN;\n";
  for (int version = from; version < kSchemaVersion; ++version) {
    script += kMigrations[version];
    script += "\n";
  }
  script += "INSERT INTO meta (key, value) VALUES ('" + std::string(kVersionKey) + "', '" +
            std::to_string(kSchemaVersion) +
            "') ON CONFLICT (key) DO UPDATE SET value = excluded.value;\nCOMMIT;";
  try {
    execute(script);
  } catch (const StoreError& e) {
    rollback();
    throw StoreError("migrating its schema from version " + std::to_string(from) +
                     " failed: " + e.what());
  }
}

void PostgresStore::execute(const std::string& sql) {
  PGresult* result = PQexec(m_connection, sql.c_str());
  const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
  // An aborted transaction answers COMMIT with a rollback.
  const bool rolled_back = ok && std::string_view(PQcmdStatus(result)) == "ROLLBACK" &&
                           sql.ends_with("COMMIT");
  std::string error;
  if (!ok) {
    const char* message = PQresultErrorMessage(result);
    error = words(message != nullptr && *message != '\0' ? message : PQerrorMessage(m_connection));
  }
  PQclear(result);
  if (!ok) throw StoreError(error);
  if (rolled_back) throw StoreError("the server rolled the transaction back");
}

model::Snapshot PostgresStore::load() { return read(true); }

model::Snapshot PostgresStore::load_state() { return read(false); }

std::vector<model::HistoryEntry> PostgresStore::history(int32_t client) {
  try {
    return read_history(m_statements->select_history_of, client);
  } catch (const StoreError& e) {
    m_statements->select_history_of.reset();
    throw StoreError("cannot read the history of " + m_where + ": " + e.what());
  }
}

model::Snapshot PostgresStore::read(bool growing) {
  if (m_batch_open) throw StoreError("cannot load " + m_where + " while a batch is open");
  PostgresStatements& s = *m_statements;
  model::Snapshot snapshot;
  try {
    execute("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    m_batch_open = true;
    read_snapshot(s, snapshot, growing);
    execute("COMMIT");
    m_batch_open = false;
  } catch (const StoreError& e) {
    rollback();
    throw StoreError("cannot load " + m_where + ": " + e.what());
  }
  return snapshot;
}

void PostgresStore::append(const model::Change& change) {
  if (!m_broken.empty() || !m_batch_error.empty()) return;
  try {
    begin_batch();
    ChangeWriter<PostgresStatements> writer(*m_statements, m_kept_numbers);
    std::visit(writer, change);
  } catch (const StoreError& e) {
    m_batch_error = e.what();
  }
}

StoreStatus PostgresStore::commit() {
  if (!m_broken.empty()) {
    rollback();
    m_batch_error.clear();
    return refused();
  }
  std::string failure = std::exchange(m_batch_error, {});
  if (failure.empty()) {
    if (!m_batch_open) return StoreStatus::success();
    try {
      execute("COMMIT");
      m_batch_open = false;
      return StoreStatus::success();
    } catch (const StoreError& e) {
      failure = e.what();
    }
  }
  rollback();
  m_broken = failure;
  return StoreStatus::failed("commit to " + m_where + " failed: " + failure);
}

bool PostgresStore::empty() {
  PgStatement& holds = m_statements->holds_anything;
  bool anything = false;
  try {
    if (holds.step()) holds.column(anything);
    holds.reset();
  } catch (const StoreError& e) {
    throw StoreError("cannot read " + m_where + ": " + e.what());
  }
  return !anything;
}

StoreStatus PostgresStore::seed(const model::Snapshot& snapshot) {
  if (!m_broken.empty()) return refused();
  if (m_batch_open || !m_batch_error.empty()) {
    return StoreStatus::failed("cannot seed " + m_where + " while a batch is open");
  }
  try {
    begin_batch();
    if (!empty()) {
      rollback();
      return StoreStatus::failed(m_where + " already holds a book, which a seed never overwrites");
    }
    write_snapshot(snapshot);
    execute("COMMIT");
    m_batch_open = false;
    m_kept_numbers.clear();
    return StoreStatus::success();
  } catch (const StoreError& e) {
    rollback();
    m_broken = e.what();
    return StoreStatus::failed("seeding " + m_where + " failed: " + e.what());
  }
}

void PostgresStore::set_meta(const std::string& key, const std::string& value) {
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

std::optional<std::string> PostgresStore::meta(const std::string& key) {
  PgStatement& meta = m_statements->meta;
  std::optional<std::string> value;
  try {
    meta.bind(std::string_view(key));
    if (meta.step()) {
      meta.column(value.emplace());
      meta.reset();
    }
  } catch (const StoreError& e) {
    throw StoreError("cannot read " + m_where + ": " + e.what());
  }
  return value;
}

void PostgresStore::begin_batch() {
  if (m_batch_open) return;
  execute("BEGIN");
  m_batch_open = true;
}

void PostgresStore::write_snapshot(const model::Snapshot& snapshot) {
  record_io::write_snapshot(*m_statements, snapshot);
}

void PostgresStore::rollback() {
  if (PQtransactionStatus(m_connection) == PQTRANS_INTRANS ||
      PQtransactionStatus(m_connection) == PQTRANS_INERROR) {
    PQclear(PQexec(m_connection, "ROLLBACK"));
  }
  m_batch_open = false;
  m_kept_numbers.clear();
}

StoreStatus PostgresStore::refused() const {
  return StoreStatus::failed(m_where + " refuses commits since one failed (" + m_broken +
                             "); open the store again");
}

}  // namespace orvane::apps
