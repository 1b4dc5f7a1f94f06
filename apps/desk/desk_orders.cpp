#include "desk.h"

#include "desk_detail.h"

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

using desk_detail::LotKey;
using desk_detail::Money;
using desk_detail::SymbolOf;

// ---- market orders ----

std::optional<double> Desk::DealPrice(int32_t client_id, int32_t symbol, int32_t direction,
                                      bool closing) const {
  auto client = m_engine->Clients()->Item(KeyOf(client_id));
  auto param = client ? client->SymbolParam(symbol) : nullptr;
  if (!param || !param->Symbol()) return std::nullopt;
  if (closing) return param->ClosePriceWithSpread(static_cast<OperationTypeEnum>(direction));
  return direction == BuyType ? param->AskWithSpread() : param->BidWithSpread();
}

int32_t Desk::LastOrderNumber(const std::string& username) const {
  int32_t last = 0;
  for (const model::OrderNumber& n : m_order_numbers) {
    if (n.username == username) last = std::max(last, n.number);
  }
  return last;
}

std::optional<model::OrderNumber> Desk::Execute(const MarketOrder& order) {
  if (Halted()) return std::nullopt;
  for (const model::OrderNumber& n : m_order_numbers) {
    if (n.username == order.username && n.number == order.number) return n;  // a repeat
  }
  double price = 0, ref_price = 0;
  model::OrderNumber outcome =
      order.hedge_ticket != 0 ? CheckHedge(order) : Check(order, price, ref_price);
  if (outcome.code == kExecuted && order.hedge_ticket != 0) {
    CloseByHedge(order, outcome);
  } else if (outcome.code == kExecuted && order.ticket == 0) {
    auto position = OpenPosition(order.client, order.account, order.symbol, order.direction,
                                 order.lots, price, "order number " + KeyOf(order.number));
    if (position) {
      outcome.ticket = position->Ticket();
      outcome.price = position->Price();
      outcome.text = "opened ticket " + KeyOf(outcome.ticket);
    } else {
      outcome.code = kUnknownSymbol;
      outcome.text = "The position could not be opened on symbol " + KeyOf(order.symbol);
    }
  } else if (outcome.code == kExecuted) {
    ClosePosition(order.client, order.account, order.ticket, price, ref_price, "client",
                  order.lots);
    outcome.ticket = order.ticket;
    outcome.price = price;
    outcome.text = "closed ticket " + KeyOf(order.ticket);
  }
  Audit(order, outcome);
  m_order_numbers.push_back(outcome);
  Record(model::OrderNumberUsed{outcome});
  // Only the latest outcomes of a user are kept.
  const auto of_user = [&](const model::OrderNumber& n) { return n.username == order.username; };
  if (static_cast<size_t>(std::count_if(m_order_numbers.begin(), m_order_numbers.end(),
                                        of_user)) > model::kOrderNumbersKept) {
    m_order_numbers.erase(
        std::find_if(m_order_numbers.begin(), m_order_numbers.end(), of_user));
  }
  if (!Finish()) return std::nullopt;
  return outcome;
}

// The rules of a market order, in the order they are checked. Leaves the
// execution price (and, for a close, the reference price) in `price`.
// The first rules of every market order: a number still kept, and an
// account of the order's client. None, with `outcome` refused, otherwise.
std::shared_ptr<CAccount> Desk::OrderAccount(const MarketOrder& order,
                                             model::OrderNumber& outcome) const {
  outcome = model::OrderNumber{order.username, order.number, kExecuted, "", 0, 0};
  if (order.number <= LastOrderNumber(order.username) - int32_t{model::kOrderNumbersKept}) {
    outcome.code = kOrderNumberUsed;
    outcome.text = "Order number " + KeyOf(order.number) + " was used before";
    return nullptr;
  }
  auto account = m_engine->Account(order.client, order.account);
  if (!account) {
    outcome.code = kUnknownAccount;
    outcome.text = "Client " + KeyOf(order.client) + " holds no account " + KeyOf(order.account);
  }
  return account;
}

model::OrderNumber Desk::Check(const MarketOrder& order, double& price, double& ref_price) const {
  model::OrderNumber outcome;
  auto account = OrderAccount(order, outcome);
  if (!account) return outcome;
  auto refuse = [&](OrderCode code, std::string text) {
    outcome.code = code;
    outcome.text = std::move(text);
    return outcome;
  };
  std::shared_ptr<COpenPosition> position;
  int32_t symbol_id = order.symbol;
  int32_t direction = order.direction;
  double lots = order.lots;
  if (order.ticket != 0) {
    position = account->OpenPositions()->Item(KeyOf(order.ticket));
    if (!position) {
      return refuse(kUnknownPosition, "Account " + KeyOf(order.account) +
                                          " holds no position " + KeyOf(order.ticket));
    }
    symbol_id = SymbolOf(position->SymbolParam());
    direction = position->Type_no();
    if (lots <= 0) lots = position->lots();
  }
  auto client = account->Client();
  auto param = client ? client->SymbolParam(symbol_id) : nullptr;
  auto symbol = Symbol(symbol_id);
  if (!param || !symbol || symbol_id == 1 || (direction != BuyType && direction != SellType)) {
    return refuse(kUnknownSymbol, "Symbol " + KeyOf(symbol_id) + " cannot be traded");
  }
  const std::string name = symbol->Name().TextValue();
  if (!symbol->SymbolTradingTimes() || !symbol->SymbolTradingTimes()->TradeIsOpen()) {
    return refuse(kMarketClosed, "The market of " + name + " is closed");
  }
  const double step = std::pow(10.0, -m_rules.lot_decimals);
  const double steps = lots / step;
  if (!std::isfinite(steps) || lots <= 0 || std::fabs(steps - std::round(steps)) > 1e-6) {
    return refuse(kLotStep, "Lots must be a positive multiple of " + NumberText(step));
  }
  if (position) {
    if (lots > position->lots() + step / 2) {
      return refuse(kLotsOutOfRange, "Ticket " + KeyOf(order.ticket) + " holds only " +
                                         NumberText(position->lots()) + " lots");
    }
    if (lots < position->lots() - step / 2 && !Client(order.client)->partial_close) {
      return refuse(kPartialCloseNotAllowed, "The client may close only whole positions");
    }
  } else {
    auto limits = m_lot_limits.find(LotKey(order.client, symbol_id));
    const double min_lots = limits == m_lot_limits.end() ? 0 : limits->second.first;
    const double max_lots = limits == m_lot_limits.end() ? 0 : limits->second.second;
    if (lots < min_lots - step / 2 || (max_lots > 0 && lots > max_lots + step / 2)) {
      return refuse(kLotsOutOfRange, "Lots of " + name + " must lie between " +
                                         NumberText(min_lots) + " and " + NumberText(max_lots));
    }
    if (!Client(order.client)->hedging) {
      for (const auto& held : account->OpenPositions()->Items()) {
        if (SymbolOf(held->SymbolParam()) == symbol_id && held->Type_no() != direction) {
          return refuse(kHedgingNotAllowed,
                        "The client may not hold a buy and a sell of " + name + " at once");
        }
      }
    }
  }
  // A buy opens at the ask and closes at the bid; a sell the other way.
  const bool opening = !position;
  price = *DealPrice(order.client, symbol_id, direction, !opening);
  if (position) ref_price = position->RefClosePrice();
  const int32_t pip_location = static_cast<int32_t>(symbol->PipLocation().NumberValue());
  const double pip = std::pow(10.0, pip_location == 100 ? -2 : pip_location);
  if (std::fabs(price - order.price) > m_rules.max_deviation_pips * pip + pip / 1000) {
    outcome.price = price;
    return refuse(kRequote, "The price of " + name + " is now " + NumberText(price));
  }
  if (opening) {
    const double needed = m_margin_per_lot.at(symbol_id) * lots;
    auto figures = FiguresOf(order.account);
    const double effective = figures ? figures->effective_margin : 0;
    if (effective - needed < 0) {
      return refuse(kNotEnoughMargin, "Not enough margin: the trade needs " + Money(needed) +
                                          " and the account has " + Money(effective));
    }
  }
  return outcome;
}

model::OrderNumber Desk::CheckHedge(const MarketOrder& order) const {
  model::OrderNumber outcome;
  auto account = OrderAccount(order, outcome);
  if (!account) return outcome;
  auto refuse = [&](OrderCode code, std::string text) {
    outcome.code = code;
    outcome.text = std::move(text);
    return outcome;
  };
  auto one = account->OpenPositions()->Item(KeyOf(order.ticket));
  auto other = account->OpenPositions()->Item(KeyOf(order.hedge_ticket));
  if (!one || !other || order.ticket == order.hedge_ticket) {
    return refuse(kUnknownPosition, "Account " + KeyOf(order.account) +
                                        " does not hold both positions " + KeyOf(order.ticket) +
                                        " and " + KeyOf(order.hedge_ticket));
  }
  const int32_t symbol_id = SymbolOf(one->SymbolParam());
  if (symbol_id != SymbolOf(other->SymbolParam()) || one->Type_no() == other->Type_no()) {
    return refuse(kNotAHedge, "Tickets " + KeyOf(order.ticket) + " and " +
                                  KeyOf(order.hedge_ticket) +
                                  " are not a buy and a sell of one symbol");
  }
  auto symbol = Symbol(symbol_id);
  if (!symbol || !symbol->SymbolTradingTimes() || !symbol->SymbolTradingTimes()->TradeIsOpen()) {
    return refuse(kMarketClosed, "The market of " + SymbolName(symbol_id) + " is closed");
  }
  return outcome;
}

void Desk::CloseByHedge(const MarketOrder& order, model::OrderNumber& outcome) {
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
  ClosePosition(order.client, order.account, buy_ticket, price, buy->RefClosePrice(), "hedge",
                lots);
  ClosePosition(order.client, order.account, sell_ticket, price, sell->RefClosePrice(), "hedge",
                lots);
  Tell(Hedged{order.client, order.account, buy_ticket, sell_ticket, lots});
  outcome.ticket = order.ticket;
  outcome.price = price;
  outcome.text = "closed " + NumberText(lots) + " lots of tickets " + KeyOf(buy_ticket) +
                 " and " + KeyOf(sell_ticket) + " against each other";
}

void Desk::Audit(const MarketOrder& order, const model::OrderNumber& outcome) {
  auto symbol = Symbol(order.symbol);
  const double bid = symbol ? symbol->Bid() : 0;
  const double ask = symbol ? symbol->Ask() : 0;
  const model::AuditEntry entry{
      order.client, order.account,
      CGenerals().OrdersAuditRowString(
          order.client, order.account, MarketDataType, order.number, outcome.code,
          outcome.ticket, order.ticket, ask, bid, order.lots, order.symbol, order.price,
          order.price, static_cast<OperationTypeEnum>(order.direction), outcome.text)};
  m_audit.push_back(entry);
  Record(model::AuditAdded{entry});
}


}  // namespace orvane::apps
