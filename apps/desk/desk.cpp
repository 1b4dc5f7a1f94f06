#include "desk.h"

#include "desk_detail.h"

#include <algorithm>
#include <cmath>
#include <utility>

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

using desk_detail::kNoQuoteYet;
using desk_detail::lot_key;
using desk_detail::money;
using desk_detail::totals_of;

Desk::Desk(Store& store, std::shared_ptr<FixedClock> clock, DeskEvents* events,
           ExecutionModeEnum side)
    : m_store(store),
      m_clock(std::move(clock)),
      m_events(events ? events : &m_no_events),
      m_engine(std::make_shared<CAccountsTransactions>()),
      m_symbols(std::make_shared<CSymbols>()) {
  m_engine->Advise(this);
  m_engine->InitializeNeededData(m_symbols, side);
}

Desk::~Desk() {
  m_engine->Unadvise(this);
  m_engine->Deallocate();
  m_symbols->Deallocate();
}

// ---- loading ----

void Desk::load() { load(m_store.load_state()); }

void Desk::load(model::Snapshot snapshot) {
  m_market_time_text = snapshot.market_time_text;
  if (!m_market_time_text.empty()) m_clock->Set(snapshot.market_time);
  m_last_ticket = snapshot.sequences.ticket;
  m_last_order = snapshot.sequences.order;
  for (const model::Symbol& s : snapshot.symbols) load_symbol(s);
  m_symbols->SetSymbolsRefSymbols();
  load_interest_rates(snapshot.interest_rates);
  for (const model::Client& c : snapshot.clients) load_client(c);
  m_engine->Clients()->SetClientsParents();
  m_platform = snapshot.platform;
  for (const model::Account& a : snapshot.accounts) load_account(a);
  for (const model::Position& p : snapshot.positions) load_position(p);
  for (const model::Order& o : snapshot.orders) load_order(o);
  for (const model::Alert& a : snapshot.alerts) {
    m_engine->AddNewAlert(a.client, a.id, a.symbol, a.condition, a.value, 2, true);
  }
  for (const model::User& u : snapshot.users) {
    m_user_index[u.username] = m_users.size();
    m_users.push_back(u);
  }
  m_store_keeps_history = m_store.keeps_history();
  if (!m_store_keeps_history) {
    m_history = std::move(snapshot.history);
    m_entries = std::move(snapshot.entries);
    m_audit = std::move(snapshot.audit);
  }
  m_order_numbers = std::move(snapshot.order_numbers);
  m_engine->RefreshListView();
  finish();
}

void Desk::load_symbol(const model::Symbol& s) {
  const Variant break_close = s.break_close.empty() ? Variant(Null) : Variant(s.break_close);
  const Variant break_open = s.break_open.empty() ? Variant(Null) : Variant(s.break_open);
  const std::string quote_time = m_market_time_text.empty() ? kNoQuoteYet : m_market_time_text;
  auto symbol = m_engine->NewSymbol(
      0, s.ref_price_case, s.price_case, s.factor, quote_time, s.bid, s.ask, s.bid, s.ask, true,
      true, s.ref_id, s.pip_location, symbol_type, s.name, s.id, s.open_day, s.open_time,
      s.close_day, s.close_time, break_close, break_open, Null, Null, Null, Null, false, "",
      false, "1", "1", false, false, "0", "0", "", false, "60", FromBidSpread, "", s.bid, s.bid);
  if (!symbol) throw DeskError("symbol " + KeyOf(s.id) + " could not be added");
  m_symbol_by_id[s.id] = symbol;
  m_margin_per_lot[s.id] = s.margin_per_lot;
  m_symbol_records.push_back(s);
}

void Desk::load_client(const model::Client& c) {
  const int16_t entries = m_engine->ExecutionSide() == SERVER_SIDE_EXECUTION ? 2 : 1;
  const Variant parent = c.parent == 0 ? Variant(Null) : Variant(c.parent);
  auto client = m_engine->AddNewClient(
      c.id, c.parameters, parent, static_cast<ClientTypeEnum>(c.type), c.enable_interest,
      static_cast<LiquidationTypeEnum>(c.liquidation_type), c.liquidation_point, c.name, "", "",
      "", c.name, entries, static_cast<CommCalcTypeEnum>(c.comm_calc_type));
  if (!client) throw DeskError("client " + KeyOf(c.id) + " could not be added");
  client->ParamsLoaded(true);
  std::vector<int32_t> symbols;
  std::vector<Variant> spreads;
  std::vector<int16_t> source_plus, price_offsets;
  std::vector<double> limit_offsets, stop_offsets, commissions, max_lots, min_lots;
  const int32_t groups = CGenerals().SplitClientParameters(
      c.parameters, symbols, spreads, source_plus, limit_offsets, stop_offsets, commissions,
      max_lots, min_lots, price_offsets);
  for (int32_t g = 1; g <= groups; ++g) {
    m_limits[lot_key(c.id, symbols[g])] = {min_lots[g], max_lots[g], limit_offsets[g],
                                          stop_offsets[g]};
  }
  m_client_index[c.id] = m_clients.size();
  m_clients.push_back(c);
}

void Desk::load_account(const model::Account& a) {
  const model::Totals& t = a.totals;
  auto account = m_engine->AddNewAccount(
      a.client, a.account, a.type, a.type == 0 ? 1 : 0, t.commission, t.margin_requirement,
      t.net_profit, t.deposit, t.credit, t.previous_margin, liquidates(a) ? 0 : 1,
      t.interest, false, a.margin_account, true);
  if (!account) throw DeskError("account " + KeyOf(a.account) + " could not be added");
  m_accounts_by_client[a.client].push_back(m_accounts.size());
  m_accounts.push_back(a);
  m_booked_totals[{a.client, a.account}] = t;
}

bool Desk::liquidates(const model::Account& a) const {
  const model::Client* client = this->client(a.client);
  return !a.dont_liquidate && (client == nullptr || client->auto_liquidation);
}

void Desk::load_position(const model::Position& p) {
  auto account = m_engine->Account(p.client, p.account);
  std::shared_ptr<COpenPosition> position;
  if (account) {
    account->LockLiquidate(false);
    try {
      position = m_engine->AddNewOpenPosition(p.client, p.account, p.ticket, p.symbol, p.lots,
                                              p.price, p.direction, p.interest, p.time, p.note,
                                              false);
    } catch (const Error&) {
    }
  }
  if (!position) {
    throw DeskError("position " + KeyOf(p.ticket) + " of account " + KeyOf(p.account) +
                    " could not be added");
  }
}

void Desk::load_order(const model::Order& o) {
  std::shared_ptr<COrder> order;
  try {
    order = m_engine->AddNewOrder(o.client, o.account, o.id, o.kind, o.direction, o.position,
                                  o.lots, o.symbol, o.price, o.sl, o.tp,
                                  static_cast<int16_t>(o.status), 0, Now(), o.time, o.note);
  } catch (const Error&) {
  }
  if (!order) {
    throw DeskError("order " + KeyOf(o.id) + " of account " + KeyOf(o.account) +
                    " could not be added");
  }
  m_last_order = std::max(m_last_order, o.id);
  track_expiry(o);
}

// ---- commands ----

bool Desk::apply_quote(const model::Quote& quote) {
  if (halted()) return false;
  const auto symbol = this->symbol(quote.symbol);
  if (!symbol) return true;
  const DateTime before = m_clock->Now();
  const bool had_time = !m_market_time_text.empty();
  advance_market_time(quote);
  if (had_time) book_rollovers(before);
  if (m_engine->ExecutionSide() == SERVER_SIDE_EXECUTION) expire_orders();
  symbol->Bid(quote.bid);
  symbol->Ask(quote.ask);
  symbol->LastQuteTime(quote.time_text);
  m_engine->DealWithChangedSymbolPrices(symbol);
  execute_pending();
  return finish();
}

void Desk::advance_market_time(const model::Quote& quote) {
  if (!m_market_time_text.empty() && quote.time.Serial() <= m_clock->Now().Serial()) return;
  m_clock->Set(quote.time);
  m_market_time_text = quote.time_text;
  m_time_moved = true;
}

bool Desk::apply_change(const model::Change& change) {
  if (halted()) return false;
  if (const auto* c = std::get_if<model::InterestAdded>(&change)) return apply_interest(*c);
  bool applied = true;
  if (const auto* c = std::get_if<model::PositionOpened>(&change)) {
    const model::Position& p = c->position;
    auto account = m_engine->Account(p.client, p.account);
    std::shared_ptr<COpenPosition> position;
    if (account && !account->OpenPositions()->Item(KeyOf(p.ticket))) {
      try {
        position = m_engine->AddNewOpenPosition(p.client, p.account, p.ticket, p.symbol, p.lots,
                                                p.price, p.direction, p.interest, p.time,
                                                p.note, false);
      } catch (const Error&) {
      }
    }
    applied = position != nullptr;
    if (applied) {
      m_last_ticket = std::max(m_last_ticket, p.ticket);
      tell(p);
    }
  } else if (const auto* c = std::get_if<model::PositionClosed>(&change)) {
    auto account = m_engine->Account(c->client, c->account);
    applied = account && account->OpenPositions()->Item(KeyOf(c->ticket));
    if (applied) {
      m_engine->DeleteOpenPosition(c->client, c->account, c->ticket);
      tell(*c);
    }
  } else if (const auto* c = std::get_if<model::PositionChanged>(&change)) {
    const model::Position& p = c->position;
    auto account = m_engine->Account(p.client, p.account);
    applied = account && account->OpenPositions()->Item(KeyOf(p.ticket)) && p.lots > 0;
    if (applied) {
      m_engine->UpdateOpenPosition(p.client, p.account, p.ticket, p.lots, p.price, p.direction,
                                   p.symbol, p.interest, p.time, p.note);
      tell(*c);
    }
  } else if (const auto* c = std::get_if<model::HistoryAdded>(&change)) {
    keep(m_history, c->entry);
    tell(*c);
  } else if (const auto* c = std::get_if<model::MoneyBooked>(&change)) {
    keep(m_entries, c->entry);
  } else if (const auto* c = std::get_if<model::AuditAdded>(&change)) {
    keep(m_audit, c->entry);
  } else if (const auto* c = std::get_if<model::OrderNumberUsed>(&change)) {
    std::vector<model::OrderNumber>& kept = m_order_numbers[c->number.username];
    kept.push_back(c->number);
    if (kept.size() > model::kOrderNumbersKept) kept.erase(kept.begin());
  } else if (const auto* c = std::get_if<model::OrderPlaced>(&change)) {
    auto account = m_engine->Account(c->order.client, c->order.account);
    applied = account && !account->Orders()->Item(KeyOf(c->order.id));
    try {
      if (applied) load_order(c->order);
    } catch (const DeskError&) {
      applied = false;
    }
    if (applied) tell(*c);
  } else if (const auto* c = std::get_if<model::OrderChanged>(&change)) {
    auto account = m_engine->Account(c->order.client, c->order.account);
    applied = account && account->Orders()->Item(KeyOf(c->order.id));
    if (applied) {
      apply_order_change(c->order);
      tell(*c);
    }
  } else if (const auto* c = std::get_if<model::OrderRemoved>(&change)) {
    applied = m_engine->DeleteOrder(c->client, c->account, c->id) != nullptr;
    if (applied) {
      untrack_expiry(c->id);
      tell(*c);
    }
  } else if (const auto* c = std::get_if<model::TotalsBooked>(&change)) {
    const model::Totals& t = c->totals;
    applied = m_engine->Account(c->client, c->account) != nullptr;
    if (applied) {
      m_engine->UpdateAccountSummaries(c->client, c->account, t.commission,
                                       t.margin_requirement, t.net_profit, t.deposit, t.credit,
                                       t.previous_margin, false, t.interest);
      // Its entries, if any, come as changes of their own.
      m_booked_totals[{c->client, c->account}] = t;
      tell(*c);
    }
  } else if (const auto* c = std::get_if<model::AlertRemoved>(&change)) {
    auto client = m_engine->Clients()->Item(KeyOf(c->client));
    applied = client && client->Alerts()->Item(KeyOf(c->id));
    if (applied) m_engine->DeleteAlert(c->client, c->id);
  } else if (const auto* c = std::get_if<model::MarketTimeAdvanced>(&change)) {
    advance_market_time(model::Quote{c->time, c->text, 0, 0, 0});
    return finish();
  }
  if (applied) record(change);
  return finish() && applied;
}

// ---- batches ----

void Desk::record(model::Change change) { m_batch.push_back(std::move(change)); }

void Desk::tell(Told told) { m_told.push_back(std::move(told)); }

bool Desk::finish() {
  if (!m_batch.empty() || m_keep_time) {
    if (m_time_moved) {
      m_store.append(model::MarketTimeAdvanced{m_clock->Now(), m_market_time_text});
    }
    for (const model::Change& change : m_batch) m_store.append(change);
    m_batch.clear();
    m_time_moved = false;
    m_keep_time = false;
    m_uncommitted = true;
  }
  if (m_post && waiting()) {
    schedule_flush();
    return true;
  }
  return commit();
}

bool Desk::commit() {
  if (m_uncommitted) {
    const StoreStatus status = m_store.commit();
    m_uncommitted = false;
    if (!status.ok()) {
      m_told.clear();
      m_halt_reason = "the store refused a batch: " + status.message();
      m_events->halted(m_halt_reason);
      return false;
    }
  }
  // A handler may not call back, but delivery still works on its own list.
  std::vector<Told> told;
  told.swap(m_told);
  for (const Told& t : told) deliver(t);
  told.clear();
  if (m_told.empty()) m_told.swap(told);  // keeps the capacity
  return true;
}

void Desk::defer_commits(std::function<void(std::function<void()>)> post) {
  m_post = std::move(post);
}

void Desk::schedule_flush() {
  if (m_flush_posted) return;
  m_flush_posted = true;
  m_post([this, alive = std::weak_ptr<bool>(m_alive)] {
    if (alive.expired()) return;
    m_flush_posted = false;
    flush();
  });
}

bool Desk::flush() {
  if (halted()) return false;
  return commit();
}

void Desk::after_commit(std::function<void()> work) {
  if (halted()) return;
  if (!waiting()) return work();
  tell(std::move(work));
  if (m_post) schedule_flush();
}

void Desk::deliver(const Told& told) {
  struct Visitor {
    DeskEvents& e;
    void operator()(const Logged& t) { e.logged(t.text); }
    void operator()(const AccountFigures& t) { e.figures_changed(t); }
    void operator()(const Executed& t) { e.order_executed(t.account); }
    void operator()(const model::Position& t) { e.position_opened(t); }
    void operator()(const model::PositionClosed& t) { e.position_closed(t); }
    void operator()(const model::PositionChanged& t) { e.position_changed(t.position); }
    void operator()(const model::HistoryAdded& t) { e.history_added(t.entry); }
    void operator()(const model::OrderPlaced& t) { e.order_placed(t.order); }
    void operator()(const model::OrderChanged& t) { e.order_changed(t.order); }
    void operator()(const model::OrderRemoved& t) { e.order_removed(t); }
    void operator()(const model::TotalsBooked& t) { e.totals_booked(t); }
    void operator()(const Liquidated& t) { e.account_liquidated(t.client, t.account); }
    void operator()(const Fired& t) { e.alert_fired(t.client, t.alert, t.text); }
    void operator()(const Hedged& t) {
      e.closed_by_hedge(t.client, t.account, t.buy, t.sell, t.lots);
    }
    void operator()(const Accrued& t) { e.interest_booked(t.position); }
    void operator()(const std::function<void()>& work) { work(); }
  };
  std::visit(Visitor{*m_events}, told);
}

// ---- engine events ----

void Desk::NewAccountSummeriesData(int32_t& cl_no, int32_t& acc_no, double& Balance,
                                   double& /*flt*/, double& /*Credit*/, double& Equity,
                                   double& MarginReq, double& marginLevel, double& EffMargin,
                                   int32_t& OpenPositions) {
  keep_figures(cl_no, acc_no, Balance, Equity, MarginReq, marginLevel, EffMargin, OpenPositions);
}

void Desk::UpdateListView(int32_t& cl_no, int32_t& acc_no, double& Balance, double& /*flt*/,
                          double& /*Credit*/, double& Equity, double& MarginReq,
                          double& marginLevel, double& EffMargin, int32_t& OpenPos) {
  keep_figures(cl_no, acc_no, Balance, Equity, MarginReq, marginLevel, EffMargin, OpenPos);
}

void Desk::keep_figures(const int32_t& client, const int32_t& account, const double& balance,
                        const double& equity, const double& margin_requirement,
                        const double& margin_level, const double& effective_margin,
                        const int32_t& open_positions) {
  const auto fill = [&](AccountFigures& figures) {
    figures.client = client;
    figures.account = account;
    figures.balance = balance;
    figures.equity = equity;
    figures.margin_requirement = margin_requirement;
    figures.margin_level = margin_level;
    figures.effective_margin = effective_margin;
    figures.open_positions = open_positions;
  };
  fill(m_figures[account]);
  fill(std::get<AccountFigures>(m_told.emplace_back(std::in_place_type<AccountFigures>)));
}

void Desk::RaiseHitOrder(OrdersTypeEnum& OrderType, std::shared_ptr<COrder>& Order,
                         std::shared_ptr<CAccount>& AccInfo, bool& /*SecondHit*/, bool& Done,
                         int16_t& SLorTP) {
  Done = true;
  Order->status(1);  // being executed: it blocks liquidation until it is done
  const bool entry = OrderType == LimitOrdersType;
  m_pending.push_back(Pending{entry ? Work::kEntry : Work::kStop, AccInfo->ClientID(),
                              AccInfo->AccountID(), Order->OrderId(), Order->hitPrice(), 0,
                              SLorTP});
  ++m_counts.order_hits;
  tell(Logged{"account " + KeyOf(AccInfo->AccountID()) + ": " +
              (entry ? "entry order " : SLorTP == 1 ? "stop-loss " : "take-profit ") +
              KeyOf(Order->OrderId()) + " hit at " + NumberText(Order->hitPrice())});
}

void Desk::RaiseHitAlert(std::shared_ptr<CAlert>& vAlert, std::shared_ptr<CClient>& vClient) {
  ++m_counts.alert_hits;
  m_pending.push_back(Pending{Work::kAlert, vClient->ClientID(), 0, vAlert->ID(), 0, 0, 0});
  const std::string text = "client " + KeyOf(vClient->ClientID()) + ": alert " +
                           KeyOf(vAlert->ID()) + " fired at " + NumberText(vAlert->hitPrice());
  tell(Logged{text});
  tell(Fired{vClient->ClientID(), vAlert->ID(), text});
}

void Desk::SendLiqPosition(int32_t& vClient, int32_t& vAccount, int32_t& vTicket,
                           int32_t& vSymID, double& vClosePrice, double& vRefPrice,
                           double& vLots, double& /*EffMargin*/) {
  ++m_counts.liquidated_positions;
  m_pending.push_back(
      Pending{Work::kLiquidation, vClient, vAccount, vTicket, vClosePrice, vRefPrice, 0});
  tell(Logged{"account " + KeyOf(vAccount) + ": liquidating ticket " + KeyOf(vTicket) + " (" +
              NumberText(vLots) + " lots of symbol " + KeyOf(vSymID) + ") at " +
              NumberText(vClosePrice)});
}

void Desk::SendLiquidateAccount(int32_t& vClient, int32_t& vAccount) {
  tell(Liquidated{vClient, vAccount});
  tell(Logged{"account " + KeyOf(vAccount) + ": liquidated"});
}

void Desk::AddLogEntry(std::string& msg, int16_t& /*LogLevel*/) { tell(Logged{msg}); }

// ---- execution ----

void Desk::execute_pending() {
  // Executions may raise new work (a close can bring an account to its
  // liquidation point); it runs in the same loop.
  while (!m_pending.empty()) {
    const Pending work = m_pending.front();
    m_pending.pop_front();
    switch (work.work) {
      case Work::kEntry:
        open_from_order(work);
        break;
      case Work::kStop:
        close_from_order(work);
        break;
      case Work::kLiquidation:
        close_position(work.client, work.account, work.id, work.price, work.ref_price,
                      "liquidation");
        break;
      case Work::kAlert:
        try {
          m_engine->DeleteAlert(work.client, work.id);
          record(model::AlertRemoved{work.client, work.id});
        } catch (const Error& e) {
          tell(Logged{"client " + KeyOf(work.client) + ": alert " + KeyOf(work.id) +
                      " could not be deleted: " + e.what()});
        }
        break;
    }
  }
}

void Desk::open_from_order(const Pending& work) {
  auto account = m_engine->Account(work.client, work.account);
  auto order = account ? account->Orders()->Item(KeyOf(work.id)) : nullptr;
  if (!order || !order->SymbolParam() || !order->SymbolParam()->Symbol()) return;
  const int32_t symbol = order->SymbolParam()->Symbol()->ID();
  const int32_t direction = order->operationType() > 0 ? BuyType : SellType;
  const int32_t ticket = ++m_last_ticket;
  const double lots = order->lots();
  const double sl = order->slPrice(), tp = order->tpPrice();
  auto position = m_engine->AddNewOpenPosition(
      work.client, work.account, ticket, symbol, lots, work.price, direction, 0,
      m_market_time_text.empty() ? kNoQuoteYet : m_market_time_text, "order " + KeyOf(work.id),
      false);
  remove_order(work.client, work.account, work.id, "filled");
  if (!position) return;
  book_opening(*account, *position, true);
  // The entry order's levels now guard the position it opened.
  if (sl > 0 || tp > 0) {
    place_guard(work.client, work.account, *position, sl, tp, "order " + KeyOf(work.id));
  }
}

std::shared_ptr<COpenPosition> Desk::open_position(int32_t client, int32_t account_id,
                                                  int32_t symbol, int32_t direction, double lots,
                                                  double price, const std::string& note) {
  auto account = m_engine->Account(client, account_id);
  if (!account) return nullptr;
  std::shared_ptr<COpenPosition> position;
  try {
    position = m_engine->AddNewOpenPosition(
        client, account_id, m_last_ticket + 1, symbol, lots, price, direction, 0,
        m_market_time_text.empty() ? kNoQuoteYet : m_market_time_text, note, false);
  } catch (const Error&) {
  }
  if (!position) return nullptr;
  ++m_last_ticket;
  book_opening(*account, *position, false);
  return position;
}

// Books a new position: its record, commission of ON_OPEN clients, the
// margin it takes, and the account's new totals.
void Desk::book_opening(CAccount& account, const COpenPosition& position, bool from_order) {
  const int32_t client_id = account.ClientID();
  const model::Position record = position_record(client_id, account.AccountID(), position);
  this->record(model::PositionOpened{record});
  CSummaries& s = *account.SummeryInfo();
  auto client = account.Client();
  if (client && client->CommCalcType() == ON_OPEN_TYPE) {
    s.TotalCommission(s.TotalCommission() + position.Commission());
  }
  s.MarginRequirement(s.MarginRequirement() - m_margin_per_lot[record.symbol] * record.lots);
  if (from_order) tell(Executed{record.account});
  tell(Logged{"account " + KeyOf(record.account) + ": opened ticket " + KeyOf(record.ticket) +
              " " + (record.direction == BuyType ? "buy " : "sell ") + NumberText(record.lots) +
              " lots at " + NumberText(position.Price())});
  tell(record);
  book_totals(account, record.ticket, "open");
}

void Desk::close_from_order(const Pending& work) {
  auto account = m_engine->Account(work.client, work.account);
  auto order = account ? account->Orders()->Item(KeyOf(work.id)) : nullptr;
  if (!order) return;
  auto position = account->OpenPositions()->Item(KeyOf(order->IoID()));
  if (!position) {
    remove_order(work.client, work.account, work.id, "position closed");
    return;
  }
  tell(Executed{work.account});
  close_position(work.client, work.account, order->IoID(), work.price, position->RefClosePrice(),
                work.sl_or_tp == 1 ? "stop-loss" : "take-profit");
}

void Desk::remove_order(int32_t client, int32_t account, int32_t id, const std::string& reason) {
  m_engine->OrderStatusChanged(client, account, id);
  untrack_expiry(id);
  const model::OrderRemoved removed{client, account, id, reason};
  record(removed);
  tell(removed);
}

void Desk::close_position(int32_t client_id, int32_t account_id, int32_t ticket, double price,
                         double ref_price, const std::string& reason, double lots) {
  auto account = m_engine->Account(client_id, account_id);
  auto position = account ? account->OpenPositions()->Item(KeyOf(ticket)) : nullptr;
  if (!position) return;
  auto param = position->SymbolParam();
  auto symbol = param->Symbol();
  auto client = account->Client();
  const auto comm_calc = client ? client->CommCalcType() : ON_CLOSE_TYPE;
  const double held = position->lots();
  const bool whole = lots <= 0 || lots >= held;
  const double closed = whole ? held : lots;
  // Interest goes with the lots closed, pro rata.
  const double interest = whole ? position->Interest() : position->Interest() * closed / held;
  const double commission = param->CommissionValue(closed);
  const double profit = RoundMoney(
      symbol
          ->DealProfit(position->Price(), price, closed, position->Type_no(), interest,
                       commission, comm_calc, ref_price, true)
          .NumberValue());
  CSummaries& s = *account->SummeryInfo();
  s.NetProfit(s.NetProfit() + profit);
  s.MarginRequirement(s.MarginRequirement() + m_margin_per_lot[symbol->ID()] * closed);
  if (std::fabs(s.MarginRequirement()) < 0.005) s.MarginRequirement(0);
  tell(Logged{"account " + KeyOf(account_id) + ": closed " +
              (whole ? std::string() : NumberText(closed) + " lots of ") + "ticket " +
              KeyOf(ticket) + " (" + reason + ") at " + NumberText(price) + ", profit " +
              money(profit)});
  model::HistoryEntry entry;
  entry.client = client_id;
  entry.account = account_id;
  entry.ticket = ticket;
  entry.time = m_market_time_text;
  entry.symbol = symbol->ID();
  entry.lots = closed;
  entry.direction = position->Type_no();
  entry.open_time = position->PosTime();
  entry.open_price = position->Price();
  entry.close_price = price;
  entry.commission = comm_calc == ON_CLOSE_TYPE ? commission : 0;
  entry.interest = interest;
  entry.ref_price = ref_price;
  entry.profit = profit;
  entry.note = reason;
  if (whole) {
    // The orders that guard the position go with it.
    for (const auto& order : account->Orders()->Items()) {
      if (order->IoID() != ticket) continue;
      const model::OrderRemoved removed{client_id, account_id, order->OrderId(),
                                        "position closed"};
      record(removed);
      tell(removed);
    }
    m_engine->DeleteOpenPosition(client_id, account_id, ticket);
    const model::PositionClosed record{client_id, account_id, ticket, price, ref_price, profit,
                                       m_market_time_text, reason};
    this->record(record);
    tell(record);
  } else {
    m_engine->ClosePosition(client_id, account_id, ticket, closed);
    position->Interest(position->Interest() - interest);
    const model::Position record = position_record(client_id, account_id, *position);
    this->record(model::PositionChanged{record});
    tell(model::PositionChanged{record});
  }
  keep(m_history, entry);
  record(model::HistoryAdded{entry});
  tell(model::HistoryAdded{entry});
  book_totals(*account, ticket, reason);
}

// The account's totals as the server books them, back into the engine
// (which reports the figures and checks the liquidation point).
void Desk::book_totals(const CAccount& account, int32_t ticket, const std::string& note) {
  const model::TotalsBooked booked{account.ClientID(), account.AccountID(), totals_of(account)};
  record(booked);
  book_entries(booked, ticket, note);
  tell(booked);
  const model::Totals& t = booked.totals;
  m_engine->UpdateAccountSummaries(account.ClientID(), account.AccountID(), t.commission,
                                   t.margin_requirement, t.net_profit, t.deposit, t.credit,
                                   t.previous_margin, false, t.interest);
}

// Each move is the difference of the totals rounded to cents, so that the
// entries of a ledger add up to its total, rounded, however many moves
// there were.
void Desk::book_entries(const model::TotalsBooked& booked, int32_t ticket,
                       const std::string& note) {
  model::Totals& last = m_booked_totals[{booked.client, booked.account}];
  for (model::Ledger ledger : model::kLedgers) {
    const double amount = RoundMoney(RoundMoney(model::ledger_total(booked.totals, ledger)) -
                                     RoundMoney(model::ledger_total(last, ledger)));
    if (amount == 0 || !std::isfinite(amount)) continue;
    const model::MoneyEntry entry{booked.client, booked.account, ledger, amount,
                                  m_market_time_text, ticket, note};
    keep(m_entries, entry);
    record(model::MoneyBooked{entry});
  }
  last = booked.totals;
}

}  // namespace orvane::apps
