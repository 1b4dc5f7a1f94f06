#include "book_engine.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "orvane/accounts/account.h"
#include "orvane/accounts/alert.h"
#include "orvane/accounts/open_position.h"
#include "orvane/accounts/open_positions.h"
#include "orvane/accounts/order.h"
#include "orvane/accounts/orders.h"
#include "orvane/accounts/summaries.h"
#include "orvane/clients/client.h"
#include "orvane/clients/client_param.h"
#include "orvane/core/clock.h"
#include "orvane/core/conversions.h"
#include "orvane/core/error.h"
#include "orvane/market/symbol.h"
#include "orvane/market/symbols.h"

namespace orvane::apps {

namespace {

std::string Money(double value) { return NumberText(RoundMoney(value)); }

}  // namespace

BookEngine::BookEngine(const Book& book, std::shared_ptr<FixedClock> clock,
                       std::string first_quote_time, BookEngineEvents* events,
                       ExecutionModeEnum side)
    : m_book(book),
      m_clock(std::move(clock)),
      m_first_quote_time(std::move(first_quote_time)),
      m_events(events ? events : &m_no_events),
      m_engine(std::make_shared<CAccountsTransactions>()),
      m_symbols(std::make_shared<CSymbols>()) {
  m_engine->Advise(this);
  m_engine->InitializeNeededData(m_symbols, side);
}

BookEngine::~BookEngine() {
  m_engine->Unadvise(this);
  m_engine->Deallocate();
  m_symbols->Deallocate();
}

void BookEngine::Load() {
  for (const SymbolRecord& s : m_book.symbols) LoadSymbol(s);
  m_symbols->SetSymbolsRefSymbols();
  std::unordered_map<std::string, std::string> paramsets;
  for (const ParamSetRecord& p : m_book.paramsets) paramsets[p.name] = p.text;
  for (const ClientRecord& c : m_book.clients) {
    auto client = m_engine->AddNewClient(
        c.id, paramsets.at(c.paramset), Null, CLIENT_TYPE, c.enable_interest,
        static_cast<LiquidationTypeEnum>(c.liquidation_type), c.liquidation_point, c.name, "",
        "", "", c.name, 2, static_cast<CommCalcTypeEnum>(c.comm_calc_type));
    if (!client) Fail(c.line, "the client could not be added");
    client->ParamsLoaded(true);
  }
  for (const AccountRecord& a : m_book.accounts) {
    auto account = m_engine->AddNewAccount(
        a.client, a.account, a.type, a.type == 0 ? 1 : 0, a.commission, a.margin_requirement,
        a.net_profit, a.deposit, a.credit, a.previous_margin, a.dont_liquidate ? 1 : 0,
        a.interest, false, a.margin_account, true);
    if (!account) Fail(a.line, "the account could not be added");
  }
  for (const PositionRecord& p : m_book.positions) {
    if (!m_engine->DefineOpenPosRow(p.client, p.account, p.ticket, p.row)) {
      Fail(p.line, "the position could not be added");
    }
    m_next_ticket = std::max(m_next_ticket, p.ticket);
  }
  for (const OrderRecord& o : m_book.orders) {
    if (!m_engine->DefineOrder(o.client, o.account, o.row)) {
      Fail(o.line, "the order could not be added");
    }
  }
  for (const AlertRecord& a : m_book.alerts) {
    m_engine->AddNewAlert(a.client, a.id, a.symbol, a.condition, a.value, 2, true);
  }
  m_engine->RefreshListView();
}

void BookEngine::ApplyTick(const Tick& tick) {
  const auto symbol = Symbol(tick.symbol);
  if (!symbol) return;
  m_now = &tick;
  m_clock->Set(tick.time);
  symbol->Bid(tick.bid);
  symbol->Ask(tick.ask);
  symbol->LastQuteTime(tick.time_text);
  m_engine->DealWithChangedSymbolPrices(symbol);
  ExecutePending();
  m_now = nullptr;
}

std::shared_ptr<CSymbol> BookEngine::Symbol(int32_t id) const {
  auto it = m_symbol_by_id.find(id);
  return it == m_symbol_by_id.end() ? nullptr : it->second;
}

// ---- engine events ----

void BookEngine::NewAccountSummeriesData(int32_t& cl_no, int32_t& acc_no, double& Balance,
                                         double& /*flt*/, double& /*Credit*/, double& Equity,
                                         double& MarginReq, double& marginLevel,
                                         double& EffMargin, int32_t& OpenPositions) {
  Report({cl_no, acc_no, Balance, Equity, MarginReq, marginLevel, EffMargin, OpenPositions});
}

void BookEngine::UpdateListView(int32_t& cl_no, int32_t& acc_no, double& Balance,
                                double& /*flt*/, double& /*Credit*/, double& Equity,
                                double& MarginReq, double& marginLevel, double& EffMargin,
                                int32_t& OpenPos) {
  Report({cl_no, acc_no, Balance, Equity, MarginReq, marginLevel, EffMargin, OpenPos});
}

void BookEngine::RaiseHitOrder(OrdersTypeEnum& OrderType, std::shared_ptr<COrder>& Order,
                               std::shared_ptr<CAccount>& AccInfo, bool& /*SecondHit*/,
                               bool& Done, int16_t& SLorTP) {
  Done = true;
  Order->status(1);  // being executed: it blocks liquidation until it is done
  const bool entry = OrderType == LimitOrdersType;
  m_pending.push_back(Pending{entry ? Work::kEntry : Work::kStop, AccInfo->ClientID(),
                              AccInfo->AccountID(), Order->OrderId(), Order->hitPrice(), 0,
                              SLorTP});
  ++m_counts.order_hits;
  Log("account " + KeyOf(AccInfo->AccountID()) + ": " +
      (entry ? "entry order " : SLorTP == 1 ? "stop-loss " : "take-profit ") +
      KeyOf(Order->OrderId()) + " hit at " + NumberText(Order->hitPrice()));
}

void BookEngine::RaiseHitAlert(std::shared_ptr<CAlert>& vAlert,
                               std::shared_ptr<CClient>& vClient) {
  ++m_counts.alert_hits;
  m_pending.push_back(Pending{Work::kAlert, vClient->ClientID(), 0, vAlert->ID(), 0, 0, 0});
  const std::string text = "client " + KeyOf(vClient->ClientID()) + ": alert " +
                           KeyOf(vAlert->ID()) + " fired at " + NumberText(vAlert->hitPrice());
  Log(text);
  m_events->AlertFired(vClient->ClientID(), vAlert->ID(), text);
}

void BookEngine::SendLiqPosition(int32_t& vClient, int32_t& vAccount, int32_t& vTicket,
                                 int32_t& vSymID, double& vClosePrice, double& vRefPrice,
                                 double& vLots, double& /*EffMargin*/) {
  ++m_counts.liquidated_positions;
  m_pending.push_back(
      Pending{Work::kLiquidation, vClient, vAccount, vTicket, vClosePrice, vRefPrice, 0});
  Log("account " + KeyOf(vAccount) + ": liquidating ticket " + KeyOf(vTicket) + " (" +
      NumberText(vLots) + " lots of symbol " + KeyOf(vSymID) + ") at " +
      NumberText(vClosePrice));
}

void BookEngine::SendLiquidateAccount(int32_t& vClient, int32_t& vAccount) {
  m_events->AccountLiquidated(vClient, vAccount);
  Log("account " + KeyOf(vAccount) + ": liquidated");
}

void BookEngine::AddLogEntry(std::string& msg, int16_t& /*LogLevel*/) { Log(msg); }

// ---- execution ----

void BookEngine::Fail(int line, const std::string& problem) const {
  throw InputError(m_book.file + ":" + std::to_string(line) + ": field 'record': " + problem);
}

void BookEngine::LoadSymbol(const SymbolRecord& s) {
  const Variant break_close = s.break_close.empty() ? Variant(Null) : Variant(s.break_close);
  const Variant break_open = s.break_open.empty() ? Variant(Null) : Variant(s.break_open);
  auto symbol = m_engine->NewSymbol(
      0, s.ref_price_case, s.price_case, s.factor, m_first_quote_time, s.bid, s.ask, s.bid,
      s.ask, true, true, s.ref_id, s.pip_location, symbol_type, s.name, s.id, s.open_day,
      s.open_time, s.close_day, s.close_time, break_close, break_open, Null, Null, Null, Null,
      false, "", false, "1", "1", false, false, "0", "0", "", false, "60", FromBidSpread, "",
      s.bid, s.bid);
  if (!symbol) Fail(s.line, "the symbol could not be added");
  m_symbol_by_id[s.id] = symbol;
  m_margin_per_lot[s.id] = s.margin_per_lot;
}

void BookEngine::Report(const AccountFigures& figures) { m_events->FiguresChanged(figures); }

void BookEngine::Log(const std::string& text) { m_events->Logged(text); }

void BookEngine::ExecutePending() {
  // Executions may raise new work (a close can bring an account to its
  // liquidation point); it runs in the same loop.
  while (!m_pending.empty()) {
    const Pending work = m_pending.front();
    m_pending.pop_front();
    switch (work.work) {
      case Work::kEntry:
        OpenFromOrder(work);
        break;
      case Work::kStop:
        CloseFromOrder(work);
        break;
      case Work::kLiquidation:
        ClosePosition(work.client, work.account, work.id, work.price, work.ref_price,
                      "liquidation");
        break;
      case Work::kAlert:
        try {
          m_engine->DeleteAlert(work.client, work.id);
        } catch (const Error&) {
        }
        break;
    }
  }
}

void BookEngine::OpenFromOrder(const Pending& work) {
  auto account = m_engine->Account(work.client, work.account);
  auto order = account ? account->Orders()->Item(KeyOf(work.id)) : nullptr;
  if (!order || !order->SymbolParam() || !order->SymbolParam()->Symbol()) return;
  const int32_t symbol = order->SymbolParam()->Symbol()->ID();
  const int32_t direction = order->operationType() > 0 ? BuyType : SellType;
  const int32_t ticket = ++m_next_ticket;
  const double lots = order->lots();
  auto position = m_engine->AddNewOpenPosition(
      work.client, work.account, ticket, symbol, lots, work.price, direction, 0,
      m_now ? m_now->time_text : m_first_quote_time, "order " + KeyOf(work.id), false);
  m_engine->OrderStatusChanged(work.client, work.account, work.id);
  m_events->OrderFinished(work.client, work.account, work.id);
  if (!position) return;
  CSummaries& s = *account->SummeryInfo();
  auto client = account->Client();
  if (client && client->CommCalcType() == ON_OPEN_TYPE) {
    s.TotalCommission(s.TotalCommission() + position->Commission());
  }
  s.MarginRequirement(s.MarginRequirement() - m_margin_per_lot[symbol] * lots);
  m_events->OrderExecuted(work.account);
  Log("account " + KeyOf(work.account) + ": opened ticket " + KeyOf(ticket) + " " +
      (direction == BuyType ? "buy " : "sell ") + NumberText(lots) + " lots at " +
      NumberText(position->Price()));
  m_events->PositionOpened(*position);
  BookTotals(*account);
}

void BookEngine::CloseFromOrder(const Pending& work) {
  auto account = m_engine->Account(work.client, work.account);
  auto order = account ? account->Orders()->Item(KeyOf(work.id)) : nullptr;
  if (!order) return;
  auto position = account->OpenPositions()->Item(KeyOf(order->IoID()));
  if (!position) {
    m_engine->OrderStatusChanged(work.client, work.account, work.id);
    m_events->OrderFinished(work.client, work.account, work.id);
    return;
  }
  m_events->OrderExecuted(work.account);
  ClosePosition(work.client, work.account, order->IoID(), work.price, position->RefClosePrice(),
                work.sl_or_tp == 1 ? "stop-loss" : "take-profit");
}

void BookEngine::ClosePosition(int32_t client_id, int32_t account_id, int32_t ticket,
                               double price, double ref_price, const std::string& reason) {
  auto account = m_engine->Account(client_id, account_id);
  auto position = account ? account->OpenPositions()->Item(KeyOf(ticket)) : nullptr;
  if (!position) return;
  auto param = position->SymbolParam();
  auto symbol = param->Symbol();
  auto client = account->Client();
  const auto comm_calc = client ? client->CommCalcType() : ON_CLOSE_TYPE;
  const double lots = position->lots();
  const double profit = RoundMoney(
      symbol
          ->DealProfit(position->Price(), price, lots, position->Type_no(), position->Interest(),
                       param->CommissionValue(lots), comm_calc, ref_price, true)
          .NumberValue());
  CSummaries& s = *account->SummeryInfo();
  s.NetProfit(s.NetProfit() + profit);
  s.MarginRequirement(s.MarginRequirement() + m_margin_per_lot[symbol->ID()] * lots);
  if (std::fabs(s.MarginRequirement()) < 0.005) s.MarginRequirement(0);
  Log("account " + KeyOf(account_id) + ": closed ticket " + KeyOf(ticket) + " (" + reason +
      ") at " + NumberText(price) + ", profit " + Money(profit));
  m_engine->DeleteOpenPosition(client_id, account_id, ticket);
  m_events->PositionClosed(client_id, account_id, ticket);
  BookTotals(*account);
}

// The account's totals as the server books them, back into the engine
// (which reports the figures and checks the liquidation point).
void BookEngine::BookTotals(const CAccount& account) {
  const CSummaries& s = *account.SummeryInfo();
  m_events->TotalsBooked(account);
  m_engine->UpdateAccountSummaries(account.ClientID(), account.AccountID(), s.TotalCommission(),
                                   s.MarginRequirement(), s.NetProfit(), s.TotalDeposit(),
                                   s.Credit(), s.PreviousMargin(), false, s.TotalInterest());
}

}  // namespace orvane::apps
