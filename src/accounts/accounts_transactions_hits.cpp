// The checks of the account engine on the server side: entry-order,
// stop-loss/take-profit and alert hits, liquidation, and the execution
// results that come back from the host.

#include <cstddef>
#include <string>
#include <vector>

#include "accounts_transactions_scratch.h"
#include "orvane/accounts/account.h"
#include "orvane/accounts/account_refs.h"
#include "orvane/accounts/account_type_enum.h"
#include "orvane/accounts/accounts_transactions.h"
#include "orvane/accounts/alert.h"
#include "orvane/accounts/alerts.h"
#include "orvane/accounts/open_position.h"
#include "orvane/accounts/open_positions.h"
#include "orvane/accounts/order.h"
#include "orvane/accounts/orders.h"
#include "orvane/accounts/summaries.h"
#include "orvane/clients/client.h"
#include "orvane/clients/client_param.h"
#include "orvane/clients/client_params.h"
#include "orvane/core/conversions.h"
#include "orvane/core/error.h"
#include "orvane/core/keyed_collection.h"
#include "orvane/market/symbol.h"
#include "orvane/market/symbol_trading_times.h"
#include "orvane/util/string_values.h"

namespace orvane {

namespace {

constexpr int16_t kLogLevel = 1;

bool is_being_executed(int16_t status) { return status == 1 || status == 11; }

int32_t symbol_id_of(const CClientParam& param) {
  // An entry names its symbol without taking a count on it.
  if (const CSymbol* symbol = param.SymbolPtr()) return symbol->ID();
  auto symbol = param.Symbol();
  return symbol ? symbol->ID() : 0;
}

}  // namespace

DateTime CAccountsTransactions::LastQuoteTime(const CSymbol& symbol) const {
  // A quote time that cannot be read gives the zero date rather than
  // stopping the price flow.
  if (!m_string_values) return DateTime();
  try {
    return m_string_values->ToDateTime(symbol.LastQuteTime(), "/", ":",
                                       DDspMMspYYYY_HHspNNspSS);
  } catch (const Error&) {
    return DateTime();
  }
}

void CAccountsTransactions::Log(std::string message) {
  int16_t level = kLogLevel;
  m_events.Raise([&](CAccountsTransactionsEvents& l) { l.AddLogEntry(message, level); });
}

bool CAccountsTransactions::AnnounceHit(int32_t order_type, double price,
                                        const std::shared_ptr<COrder>& order,
                                        const std::shared_ptr<CAccount>& account,
                                        bool second_hit, int16_t sl_or_tp) {
  order->hitPrice(price);
  if (auto param = order->SymbolParam()) {
    if (auto symbol = param->Symbol()) order->hitTime(LastQuoteTime(*symbol));
  }
  auto kind = static_cast<OrdersTypeEnum>(order_type);
  auto order_ref = order;
  auto account_ref = account;
  ++m_hits_raised;
  // The host's answer to this hit alone: a handler that works the engine
  // again before it returns may raise and answer other hits meanwhile.
  bool done = false;
  m_events.Raise([&](CAccountsTransactionsEvents& l) {
    l.RaiseHitOrder(kind, order_ref, account_ref, second_hit, done, sl_or_tp);
  });
  return done;
}

namespace {

// What the client's prices now do to a pending order: hit it at `price`
// (kind LimitOrdersType for an entry order, SlTpType with sl_or_tp 1 for the
// stop-loss and 2 for the take-profit), or nothing (kind 0).
struct OrderHit {
  int32_t kind;
  double price;
  int16_t sl_or_tp;
};

OrderHit entry_order_hit(const COrder& order, const CClientParam& param) {
  const double limit = order.LimitPrice();
  double price = 0;
  bool hit = false;
  switch (order.operationType()) {
    case BuyType:
      price = param.AskWithSpread();
      hit = price <= limit;
      break;
    case BuyStopType:
      price = param.AskWithSpread();
      hit = price >= limit;
      break;
    case SellType:
      price = param.BidWithSpread();
      hit = price >= limit;
      break;
    default:
      price = param.BidWithSpread();
      hit = price <= limit;
      break;
  }
  return {hit ? LimitOrdersType : 0, price, 1};
}

OrderHit stop_order_hit(const COrder& order, const CClientParam& param) {
  // The order's direction is that of the closing deal: a buy closes a sold
  // position at the ask, anything else closes a bought one at the bid.
  const bool closes_at_ask = order.operationType() == BuyType;
  const double price = closes_at_ask ? param.AskWithSpread() : param.BidWithSpread();
  const double stop_loss = order.slPrice();
  if (stop_loss > 0 && (closes_at_ask ? price >= stop_loss : price <= stop_loss)) {
    return {SlTpType, price, 1};
  }
  const double take_profit = order.tpPrice();
  if (take_profit > 0 && (closes_at_ask ? price <= take_profit : price >= take_profit)) {
    return {SlTpType, price, 2};
  }
  return {0, price, 0};
}

// The hit of an order waiting on the quoted symbol; none for an order of
// another symbol, one not waiting (status) or of another kind.
OrderHit hit_of(const COrder& order, int32_t symbol_id, const CClientParam& param) {
  const auto& own = order.SymbolParam();  // read here only: no count taken
  if (!own || symbol_id_of(*own) != symbol_id || order.status() != 0) return {0, 0, 0};
  if (order.OrderType() == LimitOrdersType) return entry_order_hit(order, param);
  if (order.OrderType() == SlTpType) return stop_order_hit(order, param);
  return {0, 0, 0};
}

// Whether any order of `orders` is hit now. Raises nothing and changes
// nothing, so the orders are read in place.
bool any_hit(const COrders& orders, int32_t symbol_id, const CClientParam& param) {
  for (const auto& order : orders.Items()) {
    if (hit_of(*order, symbol_id, param).kind != 0) return true;
  }
  return false;
}

}  // namespace

void CAccountsTransactions::CheckOrdersHit(const std::shared_ptr<CAccount>& AccountRefInfo,
                                           const std::shared_ptr<CClientParam>& SymbolParam) {
  if (!AccountRefInfo || !SymbolParam) return;
  const int32_t symbol_id = symbol_id_of(*SymbolParam);
  auto orders = AccountRefInfo->Orders();
  // A quote seldom hits an order. The orders are copied, as a hit's handler
  // may change them, only when one is hit; the walk then tries them all
  // again from the first, which nothing has changed.
  if (any_hit(*orders, symbol_id, *SymbolParam)) {
    ScratchLease scratch(*this);
    for (const auto& order : orders->Items()) scratch->orders.push_back(order);
    const uint64_t hits_before = m_hits_raised;
    bool second_hit = false;
    for (const auto& order : scratch->orders) {
      // A handler may have removed an order that this pass still holds.
      if (m_hits_raised != hits_before &&
          orders->Items().Item(IdKey(order->OrderId())) != order) {
        continue;
      }
      const OrderHit hit = hit_of(*order, symbol_id, *SymbolParam);
      if (hit.kind != 0 &&
          AnnounceHit(hit.kind, hit.price, order, AccountRefInfo, second_hit, hit.sl_or_tp)) {
        second_hit = true;
      }
    }
  }
  AccountRefInfo->LockLiquidate(false);
}

// While nothing is hit, no handler runs and nothing changes: the accounts
// are tried through their listed addresses, without taking them. At the
// first hit the walk takes the accounts still to come, as listed (the list
// has not changed), and goes on through the public objects, since each hit's
// handler may change anything.
void CAccountsTransactions::CheckListedOrders(const CAccountRefs& refs, int32_t symbol_id,
                                              Scratch& scratch) {
  const std::vector<CAccountRefs::Listed>& listed = refs.Accounts();
  const IdKey key(symbol_id);
  size_t first_hit = 0;
  for (; first_hit < listed.size(); ++first_hit) {
    if (listed[first_hit].account.expired()) continue;
    CAccount& account = *listed[first_hit].address;
    const CClient* client = account.ClientPtr();
    if (client == nullptr) continue;
    const auto* param = client->Params()->Items().Find(key);
    if (param == nullptr) continue;
    if (any_hit(*account.Orders(), symbol_id_of(**param), **param)) break;
    account.LockLiquidate(false);
  }
  for (size_t i = first_hit; i < listed.size(); ++i) {
    if (auto account = listed[i].account.lock()) scratch.accounts.push_back(std::move(account));
  }
  for (const auto& account : scratch.accounts) {
    auto client = account->Client();
    if (!client) continue;
    if (auto param = client->SymbolParam(symbol_id)) CheckOrdersHit(account, param);
  }
  scratch.accounts.clear();
}

void CAccountsTransactions::CheckAlertsHit(const std::shared_ptr<CClient>& vClient,
                                           const std::shared_ptr<CClientParam>& SymbolParam) {
  if (!vClient || !SymbolParam) return;
  const int32_t symbol_id = symbol_id_of(*SymbolParam);
  ScratchLease scratch(*this);
  for (const auto& alert : vClient->Alerts()->Items()) {
    auto symbol = alert->Symbol();
    if (symbol && symbol->ID() == symbol_id) scratch->alerts.push_back(alert);
  }
  bool raised = false;
  const auto alerts = vClient->Alerts();
  for (const auto& alert : scratch->alerts) {
    // A handler may have deleted or replaced an alert this pass still holds.
    if (raised && alerts->Items().Item(KeyOf(alert->ID())) != alert) continue;
    const double value = alert->AlertValue();
    double price = 0;
    bool hit = false;
    switch (alert->AlertCondition()) {
      case BID_GREATER:
        price = SymbolParam->BidWithSpread();
        hit = price > value;
        break;
      case BID_LESS:
        price = SymbolParam->BidWithSpread();
        hit = price < value;
        break;
      case ASK_GREATER:
        price = SymbolParam->AskWithSpread();
        hit = price > value;
        break;
      default:
        price = SymbolParam->AskWithSpread();
        hit = price < value;
        break;
    }
    if (!hit) continue;
    alert->hitPrice(price);
    if (auto symbol = alert->Symbol()) alert->hitTime(LastQuoteTime(*symbol));
    auto alert_ref = alert;
    auto client_ref = vClient;
    raised = true;
    m_events.Raise(
        [&](CAccountsTransactionsEvents& l) { l.RaiseHitAlert(alert_ref, client_ref); });
  }
}

void CAccountsTransactions::CheckLiquidation(const std::shared_ptr<CAccount>& account) {
  if (m_side != SERVER_SIDE_EXECUTION || !account || account->DontLiquidate()) return;
  const auto client = account->Client();
  CheckLiquidation(account, client.get());
}

void CAccountsTransactions::CheckLiquidation(const std::shared_ptr<CAccount>& account,
                                             const CClient* client) {
  const auto& summaries = account->SummeryInfo();
  if (client == nullptr || !summaries) return;
  if (AtLiquidationPoint(*summaries, *client)) LiquidateAtPoint(account);
}

bool CAccountsTransactions::AtLiquidationPoint(const CSummaries& summaries,
                                               const CClient& client) {
  double value = 0;
  switch (client.LiquidationType()) {
    case EQUITY_LIQUIDATION:
      value = summaries.Equity();
      break;
    case MARGIN_LEVEL_LIQUIDATION:
      value = summaries.marginLevel() * 100;
      break;
    default:
      return false;  // no liquidation kind chosen: such an account is never liquidated
  }
  // The figure is compared rounded to cents, which moves it by half a cent
  // at most: only one within a cent of the point needs rounding.
  const double point = client.LiquidationPoint();
  if (value < point - 0.01) return true;
  if (value > point + 0.01) return false;
  return RoundMoney(value) <= point;
}

void CAccountsTransactions::LiquidateAtPoint(const std::shared_ptr<CAccount>& account) {
  if (account->OpenPositions()->Count() == 0) return;
  if (account->AccountType() != NormalAccountType) return;
  for (const auto& order : account->Orders()->Items()) {
    if (!is_being_executed(order->status())) continue;
    if (order->OrderId() > 0) {
      Log("Liquidation point for account " + KeyOf(account->AccountID()) +
          " but has pending order " + KeyOf(order->OrderId()));
      return;
    }
    break;
  }
  LiquidateAccount(account);
}

void CAccountsTransactions::LiquidateAccount(const std::shared_ptr<CAccount>& account) {
  if (account->LockLiquidate()) {
    Log("Liquidation is locked for account " + KeyOf(account->AccountID()));
    return;
  }
  int32_t client_id = account->ClientID();
  int32_t account_id = account->AccountID();
  // Held for the closing log line: a handler may delete the account.
  const auto client = account->Client();
  const auto summaries = account->SummeryInfo();
  const auto positions = account->OpenPositions();
  ScratchLease scratch(*this);
  for (const auto& position : positions->Items()) scratch->positions.push_back(position);
  bool sent = false;
  bool raised = false;
  for (const auto& position : scratch->positions) {
    // A handler may have closed a position this pass still holds.
    if (raised && positions->Items().Item(KeyOf(position->Ticket())) != position) continue;
    if (position->Liquidated()) continue;
    auto param = position->SymbolParam();
    auto symbol = param ? param->Symbol() : nullptr;
    auto times = symbol ? symbol->SymbolTradingTimes() : nullptr;
    if (times && times->TradeIsOpen()) {
      position->Liquidated(true);
      int32_t ticket = position->Ticket();
      int32_t symbol_id = symbol->ID();
      double close_price = position->ClosePrice();
      double ref_price = position->RefClosePrice();
      double lots = position->lots();
      double effective_margin = summaries ? summaries->EffectiveMargin() : 0.0;
      m_events.Raise([&](CAccountsTransactionsEvents& l) {
        l.SendLiqPosition(client_id, account_id, ticket, symbol_id, close_price, ref_price,
                          lots, effective_margin);
      });
      sent = true;
    } else {
      Log("Ticket " + KeyOf(position->Ticket()) + " trading is closed");
    }
    raised = true;
  }
  if (!sent) return;
  if (client && summaries) {
    const CSummaries& s = *summaries;
    Log("Account " + KeyOf(account_id) + " reached the liquidation point " +
        (client->LiquidationType() == EQUITY_LIQUIDATION ? "Equity = " : "Margin Level = ") +
        NumberText(client->LiquidationPoint()) + " (Balance = " + NumberText(s.Balance()) +
        " Credit = " + NumberText(s.Credit()) + " Flt P/L = " +
        NumberText(s.FloatingProfitLoss()) + " Equity = " + NumberText(s.Equity()) +
        " M Req = " + NumberText(s.MarginRequirement()) + " M Level = " +
        NumberText(s.marginLevel() * 100) + "%" + " Eff Margin = " +
        NumberText(s.EffectiveMargin()) + ")");
  }
  m_events.Raise(
      [&](CAccountsTransactionsEvents& l) { l.SendLiquidateAccount(client_id, account_id); });
}

// ---- results coming back ---------------------------------------------------

void CAccountsTransactions::OrderStatusChanged(int32_t vClient, int32_t vAccount,
                                               int32_t OrderId) {
  DeleteOrder(vClient, vAccount, OrderId);
}

void CAccountsTransactions::OrderRejected(MarketOrLimitOrderEnum vType, int32_t vClient,
                                          int32_t vAccount, int32_t OrderId,
                                          int32_t vTicket) {
  auto account = Account(vClient, vAccount);
  if (!account) return;
  if (vType == MarketOrderType) {
    if (auto position = account->OpenPositions()->Item(KeyOf(vTicket))) {
      position->Liquidated(false);
    }
  } else if (auto order = account->Orders()->Item(KeyOf(OrderId))) {
    order->status(0);
  }
}

void CAccountsTransactions::CloseResultReceived(int32_t ReturnVal, int32_t vClient,
                                                int32_t vAccount, int32_t Ticket) {
  auto account = Account(vClient, vAccount);
  if (!account || !account->OpenPositions()->Item(KeyOf(Ticket))) return;
  switch (ReturnVal) {
    case -51:
    case -50:
    case -5:
      OrderRejected(MarketOrderType, vClient, vAccount, 0, Ticket);
      break;
    case -10:
      DeleteOpenPosition(vClient, vAccount, Ticket);
      break;
    default:
      break;
  }
}

}  // namespace orvane
