// Pending orders: entry orders (limits and stops) and the stop-loss and
// take-profit orders that guard positions; placed, changed and deleted by
// clients, filled or closed by the engine's hits, deleted at their expiry.

#include <cmath>

#include "desk.h"
#include "desk_detail.h"
#include "market_time.h"
#include "orvane/accounts/account.h"
#include "orvane/accounts/open_position.h"
#include "orvane/accounts/open_positions.h"
#include "orvane/accounts/order.h"
#include "orvane/accounts/orders.h"
#include "orvane/clients/client.h"
#include "orvane/clients/client_param.h"
#include "orvane/core/clock.h"
#include "orvane/core/conversions.h"
#include "orvane/market/symbol.h"
#include "orvane/util/generals.h"

namespace orvane::apps {

using desk_detail::kNoQuoteYet;
using desk_detail::lot_key;
using desk_detail::pip_of;
using desk_detail::refused;
using desk_detail::symbol_of;

namespace {

bool is_entry_direction(int32_t direction) {
  return direction == BuyType || direction == BuyStopType || direction == SellType ||
         direction == SellStopType;
}

std::string level_name(bool stop_loss) { return stop_loss ? "stop-loss" : "take-profit"; }

}  // namespace

model::OrderNumber Desk::check_pending(const PendingOrder& order) const {
  model::OrderNumber outcome;
  auto account = order_account(order.username, order.number, order.client, order.account, outcome);
  if (!account) return outcome;
  OrderCode code = kExecuted;
  if (order.kind != LimitOrdersType && order.kind != SlTpType) {
    return refused(outcome, kBadOrderType,
                   "An order is an entry order (2) or a stop-loss and take-profit order (3)");
  }
  const bool entry = order.kind == LimitOrdersType;
  std::shared_ptr<COrder> held;
  if (order.action != PendingOrder::Action::kPlace) {
    held = account->Orders()->Item(KeyOf(order.id));
    if (!held || held->OrderType() != order.kind) {
      return refused(outcome, kUnknownOrder,
                     "Account " + KeyOf(order.account) + " holds no " +
                         (entry ? "entry" : "stop-loss and take-profit") + " order " +
                         KeyOf(order.id));
    }
    if (order.action == PendingOrder::Action::kDelete) return outcome;
  }
  std::string wrong = entry ? check_entry(order, *account, held.get(), code)
                            : check_guard(order, *account, held.get(), code);
  if (!wrong.empty()) return refused(outcome, code, std::move(wrong));
  return outcome;
}

// An entry order placed, or changed (`held`).
std::string Desk::check_entry(const PendingOrder& order, const CAccount& account,
                              const COrder* held, OrderCode& code) const {
  const int32_t symbol = held ? symbol_of(held->SymbolParam()) : order.symbol;
  const int32_t direction = held ? held->operationType() : order.direction;
  if (!is_entry_direction(direction)) {
    code = kBadOrderType;
    return "An entry order is a buy limit (1), buy stop (2), sell limit (-1) or sell stop (-2)";
  }
  std::string wrong = check_tradable(order.username, order.client, symbol, code);
  if (wrong.empty()) wrong = check_lots(order.client, symbol, order.lots, code);
  if (wrong.empty() && !held) wrong = check_hedging(account, symbol, direction, code);
  if (wrong.empty()) wrong = check_entry_price(order.client, symbol, direction, order.price, code);
  if (wrong.empty()) {
    // Its levels guard the position it opens, measured from its price.
    wrong = check_levels(order.client, symbol, direction > 0 ? BuyType : SellType, order.price,
                        order.sl, order.tp, code);
  }
  if (wrong.empty()) wrong = check_margin(order.account, symbol, order.lots, code);
  if (wrong.empty()) wrong = check_expiry(order.expiry, code);
  return wrong;
}

std::string Desk::check_expiry(const std::string& text, OrderCode& code) const {
  if (text.empty()) return {};
  DateTime expiry;
  code = kBadExpiry;
  if (!model::read_time(text, expiry)) return "The expiry must read dd/mm/yyyy hh:nn:ss";
  if (expiry.Serial() <= market_time().Serial()) {
    return "The expiry " + text + " is not after market time " + market_time_text();
  }
  code = kExecuted;
  return {};
}

// A stop-loss and take-profit order placed on a position, or moved (`held`).
std::string Desk::check_guard(const PendingOrder& order, const CAccount& account,
                              const COrder* held, OrderCode& code) const {
  const int32_t ticket = held ? held->IoID() : order.ticket;
  auto position = account.OpenPositions()->Item(KeyOf(ticket));
  if (!position) {
    code = kUnknownPosition;
    return "Account " + KeyOf(order.account) + " holds no position " + KeyOf(ticket);
  }
  if (!held) {
    for (const auto& guard : account.Orders()->Items()) {
      if (guard->OrderType() == SlTpType && guard->IoID() == ticket) {
        code = kAlreadyGuarded;
        return "Ticket " + KeyOf(ticket) + " is guarded by order " + KeyOf(guard->OrderId()) +
               " already: change that one";
      }
    }
  }
  if (order.sl <= 0 && order.tp <= 0) {
    code = kNoLevels;
    return "Neither a stop-loss nor a take-profit was given";
  }
  const int32_t symbol = symbol_of(position->SymbolParam());
  std::string wrong = check_tradable(order.username, order.client, symbol, code);
  if (wrong.empty()) {
    wrong = check_levels(order.client, symbol, position->Type_no(), position->ClosePrice(),
                         order.sl, order.tp, code);
  }
  return wrong;
}

// A buy limit waits below the ask and a buy stop above it; a sell limit
// waits above the bid and a sell stop below it.
std::string Desk::check_entry_price(int32_t client, int32_t symbol_id, int32_t direction,
                                  double price, OrderCode& code) const {
  auto found = m_limits.find(lot_key(client, symbol_id));
  const Limits limits = found == m_limits.end() ? Limits{} : found->second;
  const double pip = pip_of(*symbol(symbol_id));
  const bool buy = direction == BuyType || direction == BuyStopType;
  const bool limit = direction == BuyType || direction == SellType;
  const double now = *deal_price(client, symbol_id, buy ? BuyType : SellType, false);
  const double offset = (limit ? limits.limit_offset : limits.stop_offset) * pip;
  // Below the price for a buy limit and a sell stop, above it otherwise.
  const bool below = buy == limit;
  const double bound = below ? now - offset : now + offset;
  const bool holds = std::isfinite(price) && price > 0 &&
                     (below ? price <= bound + pip / 1000 : price >= bound - pip / 1000);
  if (holds) return {};
  code = kTooNearThePrice;
  return std::string("A ") + (buy ? "buy " : "sell ") + (limit ? "limit" : "stop") + " of " +
         symbol_name(symbol_id) + " must lie " + (below ? "at or below " : "at or above ") +
         symbol(symbol_id)->FormatPrice(bound) + " (the " + (buy ? "ask " : "bid ") +
         NumberText(now) + (below ? " less " : " plus ") +
         NumberText(limit ? limits.limit_offset : limits.stop_offset) + " pips)";
}

// `from` is the price the position closes at (or, for an entry order's own
// levels, the price it opens at). A position that closes with a sell (a
// buy) has its stop-loss below and its take-profit above; one that closes
// with a buy the other way.
std::string Desk::check_levels(int32_t client, int32_t symbol_id, int32_t position_direction,
                              double from, double sl, double tp, OrderCode& code) const {
  auto found = m_limits.find(lot_key(client, symbol_id));
  const Limits limits = found == m_limits.end() ? Limits{} : found->second;
  const double pip = pip_of(*symbol(symbol_id));
  const bool long_position = position_direction == BuyType;
  for (const bool stop_loss : {true, false}) {
    const double level = stop_loss ? sl : tp;
    if (!std::isfinite(level)) {
      code = kTooNearThePrice;
      return "The " + level_name(stop_loss) + " must be a number";
    }
    if (level <= 0) continue;
    const double offset = (stop_loss ? limits.stop_offset : limits.limit_offset) * pip;
    const bool below = long_position == stop_loss;
    const double bound = below ? from - offset : from + offset;
    if (below ? level <= bound + pip / 1000 : level >= bound - pip / 1000) continue;
    code = kTooNearThePrice;
    return "The " + level_name(stop_loss) + " of a " + (long_position ? "buy" : "sell") + " of " +
           symbol_name(symbol_id) + " must lie " + (below ? "at or below " : "at or above ") +
           symbol(symbol_id)->FormatPrice(bound) + " (" + NumberText(from) +
           (below ? " less " : " plus ") +
           NumberText(stop_loss ? limits.stop_offset : limits.limit_offset) + " pips)";
  }
  return {};
}

void Desk::execute_pending_order(const PendingOrder& order, model::OrderNumber& outcome) {
  auto account = m_engine->Account(order.client, order.account);
  const bool entry = order.kind == LimitOrdersType;
  const char* what = entry ? "entry order " : "stop-loss and take-profit order ";
  if (order.action == PendingOrder::Action::kDelete) {
    remove_order(order.client, order.account, order.id, "deleted");
    outcome.ticket = order.id;
    outcome.text = std::string("deleted ") + what + KeyOf(order.id);
    return;
  }
  if (order.action == PendingOrder::Action::kChange) {
    auto held = account->Orders()->Item(KeyOf(order.id));
    model::Order changed = order_record(order.client, order.account, *held);
    if (entry) {
      changed.price = order.price;
      changed.lots = order.lots;
      changed.expiry = order.expiry;
    } else {
      changed.lots = account->OpenPositions()->Item(KeyOf(held->IoID()))->lots();
    }
    changed.sl = order.sl;
    changed.tp = order.tp;
    apply_order_change(changed);
    const model::Order record = order_record(order.client, order.account, *held);
    this->record(model::OrderChanged{record});
    tell(model::OrderChanged{record});
    outcome.ticket = order.id;
    outcome.price = entry ? record.price : 0;
    outcome.text = std::string("changed ") + what + KeyOf(order.id);
    return;
  }
  if (!entry) {
    auto position = account->OpenPositions()->Item(KeyOf(order.ticket));
    outcome.ticket = place_guard(order.client, order.account, *position, order.sl, order.tp,
                                "order number " + KeyOf(order.number));
    outcome.text = std::string("placed ") + what + KeyOf(outcome.ticket);
    return;
  }
  model::Order placed;
  placed.client = order.client;
  placed.account = order.account;
  placed.direction = order.direction;
  placed.lots = order.lots;
  placed.symbol = order.symbol;
  placed.kind = LimitOrdersType;
  placed.price = order.price;
  placed.sl = order.sl;
  placed.tp = order.tp;
  placed.note = "order number " + KeyOf(order.number);
  placed.expiry = order.expiry;
  const model::Order record = place_order(std::move(placed));
  outcome.ticket = record.id;
  outcome.price = record.price;
  outcome.text = std::string("placed ") + what + KeyOf(record.id);
}

model::Order Desk::place_order(model::Order order) {
  order.id = ++m_last_order;
  order.time = m_market_time_text.empty() ? kNoQuoteYet : m_market_time_text;
  load_order(order);
  auto account = m_engine->Account(order.client, order.account);
  const model::Order record =
      order_record(order.client, order.account, *account->Orders()->Item(KeyOf(order.id)));
  this->record(model::OrderPlaced{record});
  tell(model::OrderPlaced{record});
  return record;
}

int32_t Desk::place_guard(int32_t client, int32_t account, const COpenPosition& position, double sl,
                         double tp, const std::string& note) {
  model::Order guard;
  guard.client = client;
  guard.account = account;
  guard.direction = position.Type_no() == BuyType ? SellType : BuyType;  // the closing deal
  guard.lots = position.lots();
  guard.symbol = symbol_of(position.SymbolParam());
  guard.kind = SlTpType;
  guard.position = position.Ticket();
  guard.sl = sl;
  guard.tp = tp;
  guard.note = note;
  return place_order(std::move(guard)).id;
}

// The engine's order takes the change in place, so that it keeps its turn
// among the account's orders.
void Desk::apply_order_change(const model::Order& changed) {
  auto account = m_engine->Account(changed.client, changed.account);
  auto held = account->Orders()->Item(KeyOf(changed.id));
  held->lots(changed.lots);
  held->LimitPrice(changed.price);
  held->slPrice(changed.sl);
  held->tpPrice(changed.tp);
  track_expiry(changed);
}

void Desk::track_expiry(const model::Order& order) {
  untrack_expiry(order.id);
  DateTime expiry;
  if (order.expiry.empty() || !model::read_time(order.expiry, expiry)) return;
  const ExpiryKey key{expiry.Serial(), order.client, order.account, order.id};
  m_expiries.insert(key);
  m_expiry_of[order.id] = {key, order.expiry};
}

void Desk::untrack_expiry(int32_t id) {
  auto found = m_expiry_of.find(id);
  if (found == m_expiry_of.end()) return;
  m_expiries.erase(found->second.key);
  m_expiry_of.erase(found);
}

// Entry orders whose expiry market time has reached leave the book before
// the quote that reached it is checked for hits.
void Desk::expire_orders() {
  const double now = market_time().Serial();
  while (!m_expiries.empty() && std::get<0>(*m_expiries.begin()) <= now) {
    const auto [when, client, account, id] = *m_expiries.begin();
    const std::string expiry = m_expiry_of[id].text;
    remove_order(client, account, id, "expired");
    tell(Logged{"account " + KeyOf(account) + ": entry order " + KeyOf(id) + " expired at " +
                expiry});
  }
}

void Desk::audit(const PendingOrder& order, const model::OrderNumber& outcome) {
  auto symbol = this->symbol(order.symbol);
  const double bid = symbol ? symbol->Bid() : 0;
  const double ask = symbol ? symbol->Ask() : 0;
  static const char* const kActions[] = {"place", "change", "delete"};
  const model::AuditEntry entry{
      order.client, order.account,
      CGenerals().OrdersAuditRowString(
          order.client, order.account, static_cast<OrdersTypeEnum>(order.kind), order.number,
          outcome.code, outcome.ticket, order.ticket,
          order.kind == LimitOrdersType ? order.price : order.sl, order.tp, order.lots,
          order.symbol, ask, bid, static_cast<OperationTypeEnum>(order.direction),
          std::string(kActions[static_cast<int>(order.action)]) + ": " + outcome.text)};
  keep(m_audit, entry);
  record(model::AuditAdded{entry});
}

}  // namespace orvane::apps
