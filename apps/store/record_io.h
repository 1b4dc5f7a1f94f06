#ifndef ORVANE_APPS_STORE_RECORD_IO_H_
#define ORVANE_APPS_STORE_RECORD_IO_H_

// What the database stores share beside their columns: binding a record's
// fields to a prepared statement and reading them back, and writing each
// change as model::Apply applies it. A statement type has Bind, Column,
// Step, Reset and Run; a statements type has one statement of each name the
// writer uses and Inserted hooks for what follows a new position or order.

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
    statement.Bind(value);
    return *this;
  }
  Binder& operator()(const std::string& value) {
    statement.Bind(std::string_view(value));
    return *this;
  }
  Binder& operator()(const model::Ledger& value) {
    statement.Bind(static_cast<int32_t>(value));
    return *this;
  }
};

template <typename Statement>
struct Reader {
  Statement& statement;
  template <typename T>
  Reader& operator()(T& value) {
    statement.Column(value);
    return *this;
  }
  Reader& operator()(model::Ledger& value) {
    int32_t code = 0;
    statement.Column(code);
    value = static_cast<model::Ledger>(code);
    return *this;
  }
};

template <typename Statement, typename R, typename Fields>
Statement& BindRecord(Statement& statement, const R& record, Fields fields) {
  Binder<Statement> binder{statement};
  fields(binder, record);
  return statement;
}

// Reads every row of `select` into `records`, with room made for them all at
// once when the statement tells how many rows its query returned.
template <typename Statement, typename R, typename Fields>
void ReadAll(Statement& select, std::vector<R>& records, Fields fields) {
  bool first = true;
  while (select.Step()) {
    if constexpr (requires { select.Rows(); }) {
      if (first) records.reserve(records.size() + select.Rows());
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
std::vector<model::HistoryEntry> ReadHistory(Statement& select, int32_t client) {
  std::vector<model::HistoryEntry> entries;
  select.Bind(client);
  ReadAll(select, entries, HistoryFields<Reader<Statement>, model::HistoryEntry>);
  select.Reset();
  return entries;
}

// Writes one change as model::Apply applies it to a snapshot.
template <typename Statements>
class ChangeWriter {
  using Statement = decltype(Statements::open_position);
  using Bind = Binder<Statement>;

 public:
  ChangeWriter(Statements& s, KeptNumbers& kept) : m_s(s), m_kept(kept) {}

  void operator()(const model::PositionOpened& c) {
    BindRecord(m_s.open_position, c.position, PositionFields<Bind, const model::Position>).Run();
    m_s.Inserted(c.position);
  }
  void operator()(const model::PositionClosed& c) {
    m_s.close_position.Bind(c.client).Bind(c.account).Bind(c.ticket).Run();
  }
  void operator()(const model::PositionChanged& c) {
    BindRecord(m_s.change_position, c.position, PositionFields<Bind, const model::Position>)
        .Run();
  }
  void operator()(const model::OrderPlaced& c) {
    BindRecord(m_s.place_order, c.order, OrderFields<Bind, const model::Order>).Run();
    m_s.Inserted(c.order);
  }
  void operator()(const model::OrderChanged& c) {
    BindRecord(m_s.change_order, c.order, OrderFields<Bind, const model::Order>).Run();
  }
  void operator()(const model::OrderRemoved& c) {
    m_s.remove_order.Bind(c.client).Bind(c.account).Bind(c.id).Run();
  }
  void operator()(const model::TotalsBooked& c) {
    m_s.book_totals.Bind(c.client).Bind(c.account);
    BindRecord(m_s.book_totals, c.totals, TotalsFields<Bind, const model::Totals>).Run();
  }
  void operator()(const model::AlertRemoved& c) {
    m_s.remove_alert.Bind(c.client).Bind(c.id).Run();
  }
  void operator()(const model::MarketTimeAdvanced& c) {
    m_s.advance_market_time.Bind(c.time.Serial()).Bind(std::string_view(c.text)).Run();
  }
  void operator()(const model::HistoryAdded& c) {
    BindRecord(m_s.insert_history, c.entry, HistoryFields<Bind, const model::HistoryEntry>)
        .Run();
  }
  void operator()(const model::AuditAdded& c) {
    BindRecord(m_s.insert_audit, c.entry, AuditFields<Bind, const model::AuditEntry>).Run();
  }
  // The owner's oldest outcome goes once more than a desk keeps are there.
  void operator()(const model::OrderNumberUsed& c) {
    const std::string& owner = c.number.username;
    int64_t& kept = Kept(owner);
    m_s.insert_order_number.Bind(std::string_view(owner));
    BindRecord(m_s.insert_order_number, c.number,
               OrderNumberFields<Bind, const model::OrderNumber>)
        .Run();
    if (++kept > static_cast<int64_t>(model::kOrderNumbersKept)) {
      m_s.drop_oldest_number.Bind(std::string_view(owner)).Run();
      --kept;
    }
  }
  void operator()(const model::InterestAdded& c) {
    m_s.add_interest.Bind(c.client).Bind(c.account).Bind(c.ticket).Bind(c.interest).Run();
  }
  void operator()(const model::MoneyBooked& c) {
    BindRecord(m_s.insert_entry, c.entry, EntryFields<Bind, const model::MoneyEntry>).Run();
  }
  void operator()(const model::ClientAdded& c) {
    BindRecord(m_s.add_client, c.client, ClientFields<Bind, const model::Client>).Run();
  }
  void operator()(const model::ClientChanged& c) {
    BindRecord(m_s.change_client, c.client, ClientFields<Bind, const model::Client>).Run();
  }
  void operator()(const model::AccountAdded& c) {
    BindRecord(m_s.add_account, c.account, AccountFields<Bind, const model::Account>).Run();
  }
  void operator()(const model::UserAdded& c) {
    BindRecord(m_s.add_user, c.user, UserFields<Bind, const model::User>).Run();
  }

 private:
  int64_t& Kept(const std::string& owner) {
    auto known = m_kept.find(owner);
    if (known != m_kept.end()) return known->second;
    int64_t count = 0;
    Statement& select = m_s.count_order_numbers;
    select.Bind(std::string_view(owner));
    if (select.Step()) select.Column(count);
    select.Reset();
    return m_kept.emplace(owner, count).first->second;
  }

  Statements& m_s;
  KeptNumbers& m_kept;
};

// Writes every record of `snapshot` (into an empty store, within a batch).
template <typename Statements>
void WriteSnapshot(Statements& s, const model::Snapshot& snapshot) {
  using Statement = decltype(Statements::insert_symbol);
  using Bind = Binder<Statement>;
  auto insert_all = [](Statement& insert, const auto& records, auto fields) {
    for (const auto& record : records) BindRecord(insert, record, fields).Run();
  };
  insert_all(s.insert_symbol, snapshot.symbols, SymbolFields<Bind, const model::Symbol>);
  insert_all(s.insert_client, snapshot.clients, ClientFields<Bind, const model::Client>);
  insert_all(s.insert_account, snapshot.accounts, AccountFields<Bind, const model::Account>);
  insert_all(s.insert_position, snapshot.positions, PositionFields<Bind, const model::Position>);
  insert_all(s.insert_order, snapshot.orders, OrderFields<Bind, const model::Order>);
  insert_all(s.insert_alert, snapshot.alerts, AlertFields<Bind, const model::Alert>);
  insert_all(s.insert_user, snapshot.users, UserFields<Bind, const model::User>);
  insert_all(s.insert_history, snapshot.history, HistoryFields<Bind, const model::HistoryEntry>);
  insert_all(s.insert_audit, snapshot.audit, AuditFields<Bind, const model::AuditEntry>);
  for (const auto& [owner, kept] : snapshot.order_numbers) {
    // An owner with no outcome is kept too, so that Load gives its place back.
    if (kept.empty()) s.insert_owner.Bind(std::string_view(owner)).Run();
    for (const model::OrderNumber& number : kept) {
      s.insert_order_number.Bind(std::string_view(owner));
      BindRecord(s.insert_order_number, number, OrderNumberFields<Bind, const model::OrderNumber>)
          .Run();
    }
  }
  insert_all(s.insert_interest_rate, snapshot.interest_rates,
             InterestRateFields<Bind, const model::InterestRate>);
  insert_all(s.insert_entry, snapshot.entries, EntryFields<Bind, const model::MoneyEntry>);
  s.set_sequences.Bind(snapshot.sequences.ticket).Bind(snapshot.sequences.order).Run();
  s.set_market_time.Bind(snapshot.market_time.Serial())
      .Bind(std::string_view(snapshot.market_time_text))
      .Run();
  const std::string platform = model::PlatformText(snapshot.platform);
  s.set_meta.Bind(std::string_view(kPlatformKey)).Bind(std::string_view(platform)).Run();
}

// Reads every record back, lists in the order they were written; without
// `growing`, the records that only grow (history, audit, money entries) stay
// out.
template <typename Statements>
void ReadSnapshot(Statements& s, model::Snapshot& snapshot, bool growing = true) {
  using Read = Reader<decltype(Statements::select_symbols)>;
  ReadAll(s.select_symbols, snapshot.symbols, SymbolFields<Read, model::Symbol>);
  ReadAll(s.select_clients, snapshot.clients, ClientFields<Read, model::Client>);
  ReadAll(s.select_accounts, snapshot.accounts, AccountFields<Read, model::Account>);
  ReadAll(s.select_positions, snapshot.positions, PositionFields<Read, model::Position>);
  ReadAll(s.select_orders, snapshot.orders, OrderFields<Read, model::Order>);
  ReadAll(s.select_alerts, snapshot.alerts, AlertFields<Read, model::Alert>);
  ReadAll(s.select_users, snapshot.users, UserFields<Read, model::User>);
  if (growing) {
    ReadAll(s.select_history, snapshot.history, HistoryFields<Read, model::HistoryEntry>);
    ReadAll(s.select_audit, snapshot.audit, AuditFields<Read, model::AuditEntry>);
    ReadAll(s.select_entries, snapshot.entries, EntryFields<Read, model::MoneyEntry>);
  }
  while (s.select_owners.Step()) {
    std::string owner;
    s.select_owners.Column(owner);
    snapshot.order_numbers[owner];
  }
  while (s.select_order_numbers.Step()) {
    std::string owner;
    s.select_order_numbers.Column(owner);
    Read reader{s.select_order_numbers};
    OrderNumberFields(reader, snapshot.order_numbers[owner].emplace_back());
  }
  ReadAll(s.select_interest_rates, snapshot.interest_rates,
          InterestRateFields<Read, model::InterestRate>);
  if (s.select_sequences.Step()) {
    s.select_sequences.Column(snapshot.sequences.ticket).Column(snapshot.sequences.order);
    s.select_sequences.Reset();
  }
  if (s.select_market_time.Step()) {
    double serial = 0;
    s.select_market_time.Column(serial).Column(snapshot.market_time_text);
    snapshot.market_time = DateTime(serial);
    s.select_market_time.Reset();
  }
  s.meta.Bind(std::string_view(kPlatformKey));
  if (s.meta.Step()) {
    std::string text;
    s.meta.Column(text);
    snapshot.platform = model::PlatformFromText(text);
    s.meta.Reset();
  }
}

}  // namespace orvane::apps::record_io

#endif  // ORVANE_APPS_STORE_RECORD_IO_H_
