#include <algorithm>
#include <cmath>

#include "desk.h"
#include "desk_detail.h"
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

using desk_detail::lot_key;
using desk_detail::money;
using desk_detail::pip_of;
using desk_detail::refused;
using desk_detail::symbol_of;

// ---- market orders ----

std::optional<double> Desk::deal_price(int32_t client_id, int32_t symbol, int32_t direction,
                                      bool closing) const {
  auto client = m_engine->Clients()->Item(KeyOf(client_id));
  auto param = client ? client->SymbolParam(symbol) : nullptr;
  if (!param || !param->Symbol()) return std::nullopt;
  if (closing) return param->ClosePriceWithSpread(static_cast<OperationTypeEnum>(direction));
  return direction == BuyType ? param->AskWithSpread() : param->BidWithSpread();
}

int32_t Desk::last_order_number(const std::string& username) const {
  auto kept = m_order_numbers.find(username);
  if (kept == m_order_numbers.end()) return 0;
  int32_t last = 0;
  for (const model::OrderNumber& n : kept->second) last = std::max(last, n.number);
  return last;
}

std::optional<model::OrderNumber> Desk::execute(const MarketOrder& order) {
  return once(order, [&] {
    double price = 0, ref_price = 0;
    model::OrderNumber outcome =
        order.hedge_ticket != 0 ? check_hedge(order) : check(order, price, ref_price);
    if (outcome.code != kExecuted) return outcome;
    if (order.hedge_ticket != 0) {
      close_by_hedge(order, outcome);
    } else if (order.ticket == 0) {
      auto position = open_position(order.client, order.account, order.symbol, order.direction,
                                   order.lots, price, "order number " + KeyOf(order.number));
      if (position) {
        outcome.ticket = position->Ticket();
        outcome.price = position->Price();
        outcome.text = "opened ticket " + KeyOf(outcome.ticket);
      } else {
        outcome.code = kUnknownSymbol;
        outcome.text = "The position could not be opened on symbol " + KeyOf(order.symbol);
      }
    } else {
      close_position(order.client, order.account, order.ticket, price, ref_price,
                    order.dealer.empty() ? "client" : "dealer",
                    order.lots);
      outcome.ticket = order.ticket;
      outcome.price = price;
      outcome.text = (order.lots > 0 ? "closed " + NumberText(order.lots) + " lots of ticket "
                                      : std::string("closed ticket ")) +
                     KeyOf(order.ticket);
    }
    return outcome;
  });
}

std::optional<model::OrderNumber> Desk::execute(const PendingOrder& order) {
  return once(order, [&] {
    model::OrderNumber outcome = check_pending(order);
    if (outcome.code == kExecuted) execute_pending_order(order, outcome);
    return outcome;
  });
}

// ---- the rules ----
//
// Each check returns what was wrong, with its code, or nothing when the
// rule holds.

std::shared_ptr<CAccount> Desk::order_account(const std::string& username, int32_t number,
                                             int32_t client, int32_t account_id,
                                             model::OrderNumber& outcome) const {
  outcome = model::OrderNumber{username, number, kExecuted, "", 0, 0};
  if (number <= last_order_number(username) - int32_t{model::kOrderNumbersKept}) {
    outcome.code = kOrderNumberUsed;
    outcome.text = "Order number " + KeyOf(number) + " was used before";
    return nullptr;
  }
  auto account = m_engine->Account(client, account_id);
  if (!account) {
    outcome.code = kUnknownAccount;
    outcome.text = "Client " + KeyOf(client) + " holds no account " + KeyOf(account_id);
  }
  return account;
}

std::string Desk::check_tradable(const std::string& username, int32_t client_id, int32_t symbol_id,
                                OrderCode& code) const {
  auto client = m_engine->Clients()->Item(KeyOf(client_id));
  auto param = client ? client->SymbolParam(symbol_id) : nullptr;
  auto symbol = this->symbol(symbol_id);
  if (!param || !symbol || symbol_id == 1) {
    code = kUnknownSymbol;
    return "Symbol " + KeyOf(symbol_id) + " cannot be traded";
  }
  if (!symbol->SymbolTradingTimes() || !symbol->SymbolTradingTimes()->TradeIsOpen()) {
    code = kMarketClosed;
    return "The market of " + symbol->Name().TextValue() + " is closed";
  }
  const model::User* user = this->user(username);
  if (user && !user->symbols.empty() &&
      ("," + user->symbols + ",").find("," + KeyOf(symbol_id) + ",") == std::string::npos) {
    code = kSymbolNotAllowed;
    return "User " + username + " may not trade " + symbol->Name().TextValue();
  }
  return {};
}

std::string Desk::check_lots(int32_t client, int32_t symbol, double lots, OrderCode& code) const {
  const double step = std::pow(10.0, -m_rules.lot_decimals);
  const double steps = lots / step;
  if (!std::isfinite(steps) || lots <= 0 || std::fabs(steps - std::round(steps)) > 1e-6) {
    code = kLotStep;
    return "Lots must be a positive multiple of " + NumberText(step);
  }
  auto found = m_limits.find(lot_key(client, symbol));
  const Limits limits = found == m_limits.end() ? Limits{} : found->second;
  if (lots < limits.min_lots - step / 2 ||
      (limits.max_lots > 0 && lots > limits.max_lots + step / 2)) {
    code = kLotsOutOfRange;
    return "Lots of " + symbol_name(symbol) + " must lie between " + NumberText(limits.min_lots) +
           " and " + NumberText(limits.max_lots);
  }
  return {};
}

std::string Desk::check_hedging(const CAccount& account, int32_t symbol, int32_t direction,
                               OrderCode& code) const {
  if (client(account.ClientID())->hedging) return {};
  const int32_t side = direction > 0 ? BuyType : SellType;
  for (const auto& held : account.OpenPositions()->Items()) {
    if (symbol_of(held->SymbolParam()) == symbol && held->Type_no() != side) {
      code = kHedgingNotAllowed;
      return "The client may not hold a buy and a sell of " + symbol_name(symbol) + " at once";
    }
  }
  return {};
}

std::string Desk::check_margin(int32_t account, int32_t symbol, double lots,
                               OrderCode& code) const {
  const double needed = m_margin_per_lot.at(symbol) * lots;
  auto figures = figures_of(account);
  const double effective = figures ? figures->effective_margin : 0;
  if (effective - needed >= 0) return {};
  code = kNotEnoughMargin;
  return "Not enough margin: the trade needs " + money(needed) + " and the account has " +
         money(effective);
}

model::OrderNumber Desk::check(const MarketOrder& order, double& price, double& ref_price) const {
  model::OrderNumber outcome;
  auto account = order_account(order.username, order.number, order.client, order.account, outcome);
  if (!account) return outcome;
  OrderCode code = kExecuted;
  std::shared_ptr<COpenPosition> position;
  int32_t symbol_id = order.symbol;
  int32_t direction = order.direction;
  double lots = order.lots;
  if (order.ticket != 0) {
    position = account->OpenPositions()->Item(KeyOf(order.ticket));
    if (!position) {
      return refused(
          outcome, kUnknownPosition,
          "Account " + KeyOf(order.account) + " holds no position " + KeyOf(order.ticket));
    }
    symbol_id = symbol_of(position->SymbolParam());
    direction = position->Type_no();
    if (lots <= 0) lots = position->lots();
  }
  if (direction != BuyType && direction != SellType) {
    return refused(outcome, kBadOrderType, "A market order is a buy (1) or a sell (-1)");
  }
  if (std::string wrong = check_tradable(order.username, order.client, symbol_id, code);
      !wrong.empty()) {
    return refused(outcome, code, std::move(wrong));
  }
  const double step = std::pow(10.0, -m_rules.lot_decimals);
  if (position) {
    if (lots > position->lots() + step / 2) {
      return refused(outcome, kLotsOutOfRange,
                     "Ticket " + KeyOf(order.ticket) + " holds only " +
                         NumberText(position->lots()) + " lots");
    }
    if (lots < position->lots() - step / 2 && !client(order.client)->partial_close) {
      return refused(outcome, kPartialCloseNotAllowed, "The client may close only whole positions");
    }
  } else if (std::string wrong = check_lots(order.client, symbol_id, lots, code); !wrong.empty()) {
    return refused(outcome, code, std::move(wrong));
  } else if (wrong = check_hedging(*account, symbol_id, direction, code); !wrong.empty()) {
    return refused(outcome, code, std::move(wrong));
  }
  // A buy opens at the ask and closes at the bid; a sell the other way.
  price = *deal_price(order.client, symbol_id, direction, position != nullptr);
  if (position) ref_price = position->RefClosePrice();
  const double pip = pip_of(*symbol(symbol_id));
  if (!order.dealer.empty()) {
    if (!(order.price > 0) || !std::isfinite(order.price)) {
      return refused(outcome, kBadAmount, "A dealer's price must be a positive number");
    }
    price = order.price;
  } else if (std::fabs(price - order.price) > m_rules.max_deviation_pips * pip + pip / 1000) {
    outcome.price = price;
    return refused(outcome, kRequote,
                   "The price of " + symbol_name(symbol_id) + " is now " + NumberText(price));
  }
  if (!position) {
    if (std::string wrong = check_margin(order.account, symbol_id, lots, code); !wrong.empty()) {
      return refused(outcome, code, std::move(wrong));
    }
  }
  return outcome;
}

model::OrderNumber Desk::check_hedge(const MarketOrder& order) const {
  model::OrderNumber outcome;
  auto account = order_account(order.username, order.number, order.client, order.account, outcome);
  if (!account) return outcome;
  auto one = account->OpenPositions()->Item(KeyOf(order.ticket));
  auto other = account->OpenPositions()->Item(KeyOf(order.hedge_ticket));
  if (!one || !other || order.ticket == order.hedge_ticket) {
    return refused(outcome, kUnknownPosition,
                   "Account " + KeyOf(order.account) + " does not hold both positions " +
                       KeyOf(order.ticket) + " and " + KeyOf(order.hedge_ticket));
  }
  const int32_t symbol_id = symbol_of(one->SymbolParam());
  if (symbol_id != symbol_of(other->SymbolParam()) || one->Type_no() == other->Type_no()) {
    return refused(outcome, kNotAHedge,
                   "Tickets " + KeyOf(order.ticket) + " and " + KeyOf(order.hedge_ticket) +
                       " are not a buy and a sell of one symbol");
  }
  auto symbol = this->symbol(symbol_id);
  if (!symbol || !symbol->SymbolTradingTimes() || !symbol->SymbolTradingTimes()->TradeIsOpen()) {
    return refused(outcome, kMarketClosed,
                   "The market of " + symbol_name(symbol_id) + " is closed");
  }
  return outcome;
}

void Desk::close_by_hedge(const MarketOrder& order, model::OrderNumber& outcome) {
  auto account = m_engine->Account(order.client, order.account);
  auto one = account->OpenPositions()->Item(KeyOf(order.ticket));
  auto other = account->OpenPositions()->Item(KeyOf(order.hedge_ticket));
  auto buy = one->Type_no() == BuyType ? one : other;
  auto sell = one->Type_no() == BuyType ? other : one;
  const double lots = std::min(buy->lots(), sell->lots());
  const int32_t buy_ticket = buy->Ticket(), sell_ticket = sell->Ticket();
  // The buy closes at the sell's open price and the sell at its own: the
  // pair's result is the difference of their open prices.
  const double price = sell->Price();
  close_position(order.client, order.account, buy_ticket, price, buy->RefClosePrice(), "hedge",
                lots);
  close_position(order.client, order.account, sell_ticket, price, sell->RefClosePrice(), "hedge",
                lots);
  tell(Hedged{order.client, order.account, buy_ticket, sell_ticket, lots});
  outcome.ticket = order.ticket;
  outcome.price = price;
  outcome.text = "closed " + NumberText(lots) + " lots of tickets " + KeyOf(buy_ticket) + " and " +
                 KeyOf(sell_ticket) + " against each other";
}

void Desk::audit(const MarketOrder& order, const model::OrderNumber& outcome) {
  auto symbol = this->symbol(order.symbol);
  const double bid = symbol ? symbol->Bid() : 0;
  const double ask = symbol ? symbol->Ask() : 0;
  const model::AuditEntry entry{
      order.client, order.account,
      CGenerals().OrdersAuditRowString(
          order.client, order.account, MarketDataType, order.number, outcome.code, outcome.ticket,
          order.ticket, ask, bid, order.lots, order.symbol, order.price, order.price,
          static_cast<OperationTypeEnum>(order.direction),
          order.dealer.empty() ? outcome.text : outcome.text + " (dealer " + order.dealer + ")")};
  keep(m_audit, entry);
  record(model::AuditAdded{entry});
}

}  // namespace orvane::apps
