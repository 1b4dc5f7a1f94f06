#ifndef ORVANE_APPS_STORE_RECORD_IO_H_
#define ORVANE_APPS_STORE_RECORD_IO_H_

// What the database stores share beside their columns: binding a record's
// fields to a prepared statement and reading them back, and writing each
// change as model::apply applies it. A statement type has bind, column,
// step, reset and run; a statements type has one statement of each name the
// writer uses and inserted hooks for what follows a new position or order.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "change.h"
#include "orvane/core/date_time.h"
#include "platform.h"
#include "record_columns.h"
#include "records.h"

namespace orvane::apps::record_io {

using namespace columns;

template <typename Statement>
struct Binder {
  Statement& statement;
  template <typename T>
  Binder& operator()(const T& value) {
    statement.bind(value);
    return *this;
  }
  Binder& operator()(const std::string& value) {
    statement.bind(std::string_view(value));
    return *this;
  }
  Binder& operator()(const model::Ledger& value) {
    statement.bind(static_cast<int32_t>(value));
    return *this;
  }
};

template <typename Statement>
struct Reader {
  Statement& statement;
  template <typename T>
  Reader& operator()(T& value) {
    statement.column(value);
    return *this;
  }
  Reader& operator()(model::Ledger& value) {
    int32_t code = 0;
    statement.column(code);
    value = static_cast<model::Ledger>(code);
    return *this;
  }
};

template <typename Statement, typename R, typename Fields>
Statement& bind_record(Statement& statement, const R& record, Fields fields) {
  Binder<Statement> binder{statement};
  fields(binder, record);
  return statement;
}

// Reads every row of `select` into `records`, with room made for them all at
// once when the statement tells how many rows its query returned.
template <typename Statement, typename R, typename Fields>
void read_all(Statement& select, std::vector<R>& records, Fields fields) {
  bool first = true;
  while (select.step()) {
    if constexpr (requires { select.rows(); }) {
      if (first) records.reserve(records.size() + select.rows());
    }
    first = false;
    Reader<Statement> reader{select};
    fields(reader, records.emplace_back());
  }
}

// The meta key of the platform's settings, kept as the text the server hands
// to terminals.
inline constexpr char kPlatformKey[] = "platform";

// How many order-number outcomes each owner has in the store.
using KeptNumbers = std::unordered_map<std::string, int64_t>;

// Reads the client's history (the statement takes the client as its one
// parameter).
template <typename Statement>
std::vector<model::HistoryEntry> read_history(Statement& select, int32_t client) {
  std::vector<model::HistoryEntry> entries;
  select.bind(client);
  read_all(select, entries, history_fields<Reader<Statement>, model::HistoryEntry>);
  select.reset();
  return entries;
}

// Writes one change as model::apply applies it to a snapshot.
template <typename Statements>
class ChangeWriter {
  using Statement = decltype(Statements::open_position);
  using Bind = Binder<Statement>;

 public:
  ChangeWriter(Statements& s, KeptNumbers& kept) : m_s(s), m_kept(kept) {}

  void operator()(const model::PositionOpened& c) {
    bind_record(m_s.open_position, c.position, position_fields<Bind, const model::Position>).run();
    m_s.inserted(c.position);
  }
  void operator()(const model::PositionClosed& c) {
    m_s.close_position.bind(c.client).bind(c.account).bind(c.ticket).run();
  }
  void operator()(const model::PositionChanged& c) {
    bind_record(m_s.change_position, c.position, position_fields<Bind, const model::Position>)
        .run();
  }
  void operator()(const model::OrderPlaced& c) {
    bind_record(m_s.place_order, c.order, order_fields<Bind, const model::Order>).run();
    m_s.inserted(c.order);
  }
  void operator()(const model::OrderChanged& c) {
    bind_record(m_s.change_order, c.order, order_fields<Bind, const model::Order>).run();
  }
  void operator()(const model::OrderRemoved& c) {
    m_s.remove_order.bind(c.client).bind(c.account).bind(c.id).run();
  }
  void operator()(const model::TotalsBooked& c) {
    m_s.book_totals.bind(c.client).bind(c.account);
    bind_record(m_s.book_totals, c.totals, totals_fields<Bind, const model::Totals>).run();
  }
  void operator()(const model::AlertRemoved& c) {
    m_s.remove_alert.bind(c.client).bind(c.id).run();
  }
  void operator()(const model::MarketTimeAdvanced& c) {
    m_s.advance_market_time.bind(c.time.Serial()).bind(std::string_view(c.text)).run();
  }
  void operator()(const model::HistoryAdded& c) {
    bind_record(m_s.insert_history, c.entry, history_fields<Bind, const model::HistoryEntry>)
        .run();
  }
  void operator()(const model::AuditAdded& c) {
    bind_record(m_s.insert_audit, c.entry, audit_fields<Bind, const model::AuditEntry>).run();
  }
  // The owner's oldest outcome goes once more than a desk keeps are there.
  void operator()(const model::OrderNumberUsed& c) {
    const std::string& owner = c.number.username;
    int64_t& kept = this->kept(owner);
    m_s.insert_order_number.bind(std::string_view(owner));
    bind_record(m_s.insert_order_number, c.number,
               order_number_fields<Bind, const model::OrderNumber>)
        .run();
    if (++kept > static_cast<int64_t>(model::kOrderNumbersKept)) {
      m_s.drop_oldest_number.bind(std::string_view(owner)).run();
      --kept;
    }
  }
  void operator()(const model::InterestAdded& c) {
    m_s.add_interest.bind(c.client).bind(c.account).bind(c.ticket).bind(c.interest).run();
  }
  void operator()(const model::MoneyBooked& c) {
    bind_record(m_s.insert_entry, c.entry, entry_fields<Bind, const model::MoneyEntry>).run();
  }
  void operator()(const model::ClientAdded& c) {
    bind_record(m_s.add_client, c.client, client_fields<Bind, const model::Client>).run();
  }
  void operator()(const model::ClientChanged& c) {
    bind_record(m_s.change_client, c.client, client_fields<Bind, const model::Client>).run();
  }
  void operator()(const model::AccountAdded& c) {
    bind_record(m_s.add_account, c.account, account_fields<Bind, const model::Account>).run();
  }
  void operator()(const model::UserAdded& c) {
    bind_record(m_s.add_user, c.user, user_fields<Bind, const model::User>).run();
  }

 private:
  int64_t& kept(const std::string& owner) {
    auto known = m_kept.find(owner);
    if (known != m_kept.end()) return known->second;
    int64_t count = 0;
    Statement& select = m_s.count_order_numbers;
    select.bind(std::string_view(owner));
    if (select.step()) select.column(count);
    select.reset();
    return m_kept.emplace(owner, count).first->second;
  }

  Statements& m_s;
  KeptNumbers& m_kept;
};

// Writes every record of `snapshot` (into an empty store, within a batch).
template <typename Statements>
void write_snapshot(Statements& s, const model::Snapshot& snapshot) {
  using Statement = decltype(Statements::insert_symbol);
  using Bind = Binder<Statement>;
  auto insert_all = [](Statement& insert, const auto& records, auto fields) {
    for (const auto& record : records) bind_record(insert, record, fields).run();
  };
  insert_all(s.insert_symbol, snapshot.symbols, symbol_fields<Bind, const model::Symbol>);
  insert_all(s.insert_client, snapshot.clients, client_fields<Bind, const model::Client>);
  insert_all(s.insert_account, snapshot.accounts, account_fields<Bind, const model::Account>);
  insert_all(s.insert_position, snapshot.positions, position_fields<Bind, const model::Position>);
  insert_all(s.insert_order, snapshot.orders, order_fields<Bind, const model::Order>);
  insert_all(s.insert_alert, snapshot.alerts, alert_fields<Bind, const model::Alert>);
  insert_all(s.insert_user, snapshot.users, user_fields<Bind, const model::User>);
  insert_all(s.insert_history, snapshot.history, history_fields<Bind, const model::HistoryEntry>);
  insert_all(s.insert_audit, snapshot.audit, audit_fields<Bind, const model::AuditEntry>);
  for (const auto& [owner, kept] : snapshot.order_numbers) {
    // An owner with no outcome is kept too, so that Load gives its place back.
    if (kept.empty()) s.insert_owner.bind(std::string_view(owner)).run();
    for (const model::OrderNumber& number : kept) {
      s.insert_order_number.bind(std::string_view(owner));
      bind_record(s.insert_order_number, number,
                  order_number_fields<Bind, const model::OrderNumber>)
          .run();
    }
  }
  insert_all(s.insert_interest_rate, snapshot.interest_rates,
             interest_rate_fields<Bind, const model::InterestRate>);
  insert_all(s.insert_entry, snapshot.entries, entry_fields<Bind, const model::MoneyEntry>);
  s.set_sequences.bind(snapshot.sequences.ticket).bind(snapshot.sequences.order).run();
  s.set_market_time.bind(snapshot.market_time.Serial())
      .bind(std::string_view(snapshot.market_time_text))
      .run();
  const std::string platform = model::platform_text(snapshot.platform);
  s.set_meta.bind(std::string_view(kPlatformKey)).bind(std::string_view(platform)).run();
}

// Reads every record back, lists in the order they were written; without
// `growing`, the records that only grow (history, audit, money entries) stay
// out.
template <typename Statements>
void read_snapshot(Statements& s, model::Snapshot& snapshot, bool growing = true) {
  using Read = Reader<decltype(Statements::select_symbols)>;
  read_all(s.select_symbols, snapshot.symbols, symbol_fields<Read, model::Symbol>);
  read_all(s.select_clients, snapshot.clients, client_fields<Read, model::Client>);
  read_all(s.select_accounts, snapshot.accounts, account_fields<Read, model::Account>);
  read_all(s.select_positions, snapshot.positions, position_fields<Read, model::Position>);
  read_all(s.select_orders, snapshot.orders, order_fields<Read, model::Order>);
  read_all(s.select_alerts, snapshot.alerts, alert_fields<Read, model::Alert>);
  read_all(s.select_users, snapshot.users, user_fields<Read, model::User>);
  if (growing) {
    read_all(s.select_history, snapshot.history, history_fields<Read, model::HistoryEntry>);
    read_all(s.select_audit, snapshot.audit, audit_fields<Read, model::AuditEntry>);
    read_all(s.select_entries, snapshot.entries, entry_fields<Read, model::MoneyEntry>);
  }
  while (s.select_owners.step()) {
    std::string owner;
    s.select_owners.column(owner);
    snapshot.order_numbers[owner];
  }
  while (s.select_order_numbers.step()) {
    std::string owner;
    s.select_order_numbers.column(owner);
    Read reader{s.select_order_numbers};
    order_number_fields(reader, snapshot.order_numbers[owner].emplace_back());
  }
  read_all(s.select_interest_rates, snapshot.interest_rates,
          interest_rate_fields<Read, model::InterestRate>);
  if (s.select_sequences.step()) {
    s.select_sequences.column(snapshot.sequences.ticket).column(snapshot.sequences.order);
    s.select_sequences.reset();
  }
  if (s.select_market_time.step()) {
    double serial = 0;
    s.select_market_time.column(serial).column(snapshot.market_time_text);
    snapshot.market_time = DateTime(serial);
    s.select_market_time.reset();
  }
  s.meta.bind(std::string_view(kPlatformKey));
  if (s.meta.step()) {
    std::string text;
    s.meta.column(text);
    snapshot.platform = model::platform_from_text(text);
    s.meta.reset();
  }
}

}  // namespace orvane::apps::record_io

#endif  // ORVANE_APPS_STORE_RECORD_IO_H_
