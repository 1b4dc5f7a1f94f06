#include "desk.h"

#include "desk_detail.h"
#include "durable_store.h"

#include <algorithm>
#include <cmath>

#include "orvane/accounts/account.h"
#include "orvane/accounts/alert.h"
#include "orvane/accounts/alerts.h"
#include "orvane/accounts/open_position.h"
#include "orvane/accounts/open_positions.h"
#include "orvane/accounts/order.h"
#include "orvane/accounts/orders.h"
#include "orvane/accounts/summaries.h"
#include "orvane/clients/client.h"
#include "orvane/clients/client_param.h"
#include "orvane/clients/clients.h"
#include "orvane/core/clock.h"
#include "orvane/core/conversions.h"
#include "orvane/core/error.h"
#include "orvane/market/symbol.h"
#include "orvane/market/symbol_trading_times.h"
#include "orvane/market/symbols.h"
#include "orvane/util/generals.h"

namespace orvane::apps {

using desk_detail::symbol_of;
using desk_detail::totals_of;

// ---- queries ----

std::shared_ptr<CSymbol> Desk::symbol(int32_t id) const {
  const std::shared_ptr<CSymbol>* symbol = m_symbol_by_id.find(id);
  return symbol == nullptr ? nullptr : *symbol;
}

Desk::Guards Desk::guards_of(const model::Position& p) const {
  Guards guards;
  auto account = m_engine->Account(p.client, p.account);
  if (!account) return guards;
  for (const auto& order : account->Orders()->Items()) {
    if (order->IoID() != p.ticket) continue;
    guards.sl = guards.sl || order->slPrice() != 0;
    guards.tp = guards.tp || order->tpPrice() != 0;
  }
  return guards;
}

std::vector<model::Order> Desk::guard_orders(int32_t client, int32_t account_id,
                                            int32_t ticket) const {
  std::vector<model::Order> guards;
  auto account = m_engine->Account(client, account_id);
  if (!account || !account->OpenPositions()->Item(KeyOf(ticket))) return guards;
  for (const auto& order : account->Orders()->Items()) {
    if (order->OrderType() == SlTpType && order->IoID() == ticket) {
      guards.push_back(order_record(client, account_id, *order));
    }
  }
  return guards;
}

std::string Desk::symbol_name(int32_t id) const {
  auto symbol = this->symbol(id);
  return symbol ? symbol->Name().TextValue() : std::string();
}

const model::Client* Desk::client(int32_t id) const {
  auto it = m_client_index.find(id);
  return it == m_client_index.end() ? nullptr : &m_clients[it->second];
}

const model::User* Desk::user(const std::string& username) const {
  auto it = m_user_index.find(username);
  return it == m_user_index.end() ? nullptr : &m_users[it->second];
}

DateTime Desk::market_time() const { return m_clock->Now(); }

model::Account Desk::account_record(const model::Account& stored, const CAccount& live) const {
  model::Account a = stored;
  a.totals = totals_of(live);
  return a;
}

std::vector<model::Account> Desk::accounts(int32_t client) const {
  std::vector<model::Account> accounts;
  auto it = m_accounts_by_client.find(client);
  if (it == m_accounts_by_client.end()) return accounts;
  for (size_t index : it->second) {
    const model::Account& stored = m_accounts[index];
    if (auto live = m_engine->Account(client, stored.account)) {
      accounts.push_back(account_record(stored, *live));
    }
  }
  return accounts;
}

model::Position Desk::position_record(int32_t client, int32_t account,
                                     const COpenPosition& p) const {
  return {client, account, p.Ticket(), p.PosTime(), p.Type_no(), p.lots(),
          symbol_of(p.SymbolParam()), p.Price(), p.Interest(), p.Note()};
}

model::Order Desk::order_record(int32_t client, int32_t account, const COrder& o) const {
  model::Order r;
  r.client = client;
  r.account = account;
  r.id = o.OrderId();
  r.time = o.OrderTime();
  r.direction = o.operationType();
  r.lots = o.lots();
  r.symbol = symbol_of(o.SymbolParam());
  r.kind = o.OrderType();
  r.price = o.LimitPrice();
  r.position = o.IoID();
  r.sl = o.slPrice();
  r.tp = o.tpPrice();
  r.status = o.status();
  r.note = o.Note();
  auto expiry = m_expiry_of.find(r.id);
  if (expiry != m_expiry_of.end()) r.expiry = expiry->second.text;
  return r;
}

std::vector<model::Position> Desk::positions(int32_t client) const {
  std::vector<model::Position> positions;
  for (const model::Account& a : accounts(client)) {
    auto account = m_engine->Account(client, a.account);
    for (const auto& p : account->OpenPositions()->Items()) {
      positions.push_back(position_record(client, a.account, *p));
    }
  }
  return positions;
}

std::vector<model::Order> Desk::orders(int32_t client) const {
  std::vector<model::Order> orders;
  for (const model::Account& a : accounts(client)) {
    auto account = m_engine->Account(client, a.account);
    for (const auto& o : account->Orders()->Items()) {
      orders.push_back(order_record(client, a.account, *o));
    }
  }
  return orders;
}

std::vector<model::Alert> Desk::alerts(int32_t client_id) const {
  std::vector<model::Alert> alerts;
  auto client = m_engine->Clients()->Item(KeyOf(client_id));
  if (!client) return alerts;
  for (const auto& a : client->Alerts()->Items()) {
    alerts.push_back({client_id, a->ID(), a->SymbolID(), a->AlertCondition(), a->AlertValue()});
  }
  return alerts;
}

std::vector<model::HistoryEntry> Desk::history(int32_t client) const {
  if (m_store_keeps_history) {
    try {
      return m_store.history(client);
    } catch (const StoreError& e) {
      m_events->logged(std::string("history not read: ") + e.what());
      return {};
    }
  }
  std::vector<model::HistoryEntry> entries;
  for (const model::HistoryEntry& e : m_history) {
    if (e.client == client) entries.push_back(e);
  }
  return entries;
}

std::vector<AccountFigures> Desk::figures(int32_t client) const {
  std::vector<AccountFigures> figures;
  for (const model::Account& a : accounts(client)) {
    if (auto f = figures_of(a.account)) figures.push_back(*f);
  }
  return figures;
}

std::optional<AccountFigures> Desk::figures_of(int32_t account) const {
  const AccountFigures* figures = m_figures.find(account);
  if (figures == nullptr) return std::nullopt;
  return *figures;
}

int32_t Desk::account_owner(int32_t account) const {
  auto held = m_engine->Clients()->AccountByAccountID(account);
  return held ? held->ClientID() : 0;
}

bool Desk::sees(int32_t root, int32_t client) const {
  if (this->client(client) == nullptr) return false;
  return root == 0 || m_engine->Clients()->isChild(client, root);
}

model::Snapshot Desk::snapshot() const {
  model::Snapshot s;
  s.symbols = m_symbol_records;
  s.clients = m_clients;
  s.users = m_users;
  for (const model::Client& c : m_clients) {
    for (model::Account& a : accounts(c.id)) s.accounts.push_back(std::move(a));
    for (model::Position& p : positions(c.id)) s.positions.push_back(std::move(p));
    for (model::Order& o : orders(c.id)) s.orders.push_back(std::move(o));
    for (model::Alert& a : alerts(c.id)) s.alerts.push_back(a);
  }
  s.history = m_history;
  s.audit = m_audit;
  s.entries = m_entries;
  s.order_numbers = m_order_numbers;
  s.sequences.ticket = m_last_ticket;
  s.sequences.order = m_last_order;
  s.interest_rates = m_interest_rates;
  s.platform = m_platform;
  if (!m_market_time_text.empty()) {
    s.market_time = m_clock->Now();
    s.market_time_text = m_market_time_text;
  }
  return s;
}


}  // namespace orvane::apps
