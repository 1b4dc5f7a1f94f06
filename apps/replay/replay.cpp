#include "replay.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <deque>
#include <memory>
#include <unordered_map>

#include "orvane/accounts/account.h"
#include "orvane/accounts/accounts_transactions.h"
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

namespace orvane::replay {

namespace {

enum class Work { kEntry, kStop, kLiquidation, kAlert };

struct Pending {
  Work work;
  int32_t client = 0;
  int32_t account = 0;
  int32_t id = 0;  // order, ticket or alert
  double price = 0;
  double ref_price = 0;
  int16_t sl_or_tp = 0;
};

std::string Money(double value) { return NumberText(RoundMoney(value)); }

class Host : public CAccountsTransactionsEvents {
 public:
  Host(const Book& book, const std::vector<Tick>& tape, const ReplayOptions& options)
      : m_book(book),
        m_tape(tape),
        m_options(options),
        m_clock(std::make_shared<FixedClock>(tape.empty() ? DateTime() : tape.front().time)),
        m_scoped_clock(m_clock),
        m_engine(std::make_shared<CAccountsTransactions>()),
        m_symbols(std::make_shared<CSymbols>()) {
    m_engine->Advise(this);
    m_engine->InitializeNeededData(m_symbols, SERVER_SIDE_EXECUTION);
    if (!tape.empty()) {
      m_start = tape.front().time.Serial();
      m_span = tape.back().time.Serial() - m_start;
    }
  }

  ~Host() override {
    m_engine->Unadvise(this);
    m_engine->Deallocate();
    m_symbols->Deallocate();
  }

  void Load() {
    for (const SymbolRecord& s : m_book.symbols) LoadSymbol(s);
    m_symbols->SetSymbolsRefSymbols();
    std::unordered_map<std::string, std::string> paramsets;
    for (const ParamSetRecord& p : m_book.paramsets) paramsets[p.name] = p.text;
    for (const ClientRecord& c : m_book.clients) {
      auto client = m_engine->AddNewClient(
          c.id, paramsets.at(c.paramset), Null, CLIENT_TYPE, c.enable_interest,
          static_cast<LiquidationTypeEnum>(c.liquidation_type), c.liquidation_point, c.name,
          "", "", "", c.name, 2, static_cast<CommCalcTypeEnum>(c.comm_calc_type));
      if (!client) Fail(c.line, "the client could not be added");
      client->ParamsLoaded(true);
    }
    for (const AccountRecord& a : m_book.accounts) {
      m_index[a.account] = m_result.accounts.size();
      AccountResult result;
      result.client = a.client;
      result.account = a.account;
      result.chart.assign(std::max<size_t>(m_options.chart_points, 2),
                          ChartPoint{std::nan(""), 0});
      m_result.accounts.push_back(std::move(result));
      auto account = m_engine->AddNewAccount(
          a.client, a.account, a.type, a.type == 0 ? 1 : 0, a.commission,
          a.margin_requirement, a.net_profit, a.deposit, a.credit, a.previous_margin,
          a.dont_liquidate ? 1 : 0, a.interest, false, a.margin_account, true);
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

  ReplayResult Run() {
    const auto began = std::chrono::steady_clock::now();
    const std::clock_t cpu_began = std::clock();
    const size_t step = std::max<size_t>(m_tape.size() / 200, 1);
    for (size_t i = 0; i < m_tape.size(); ++i) {
      const Tick& tick = m_tape[i];
      m_now = &tick;
      m_clock->Set(tick.time);
      const auto& symbol = m_symbol_by_id[tick.symbol];
      symbol->Bid(tick.bid);
      symbol->Ask(tick.ask);
      symbol->LastQuteTime(tick.time_text);
      m_engine->DealWithChangedSymbolPrices(symbol);
      ExecutePending();
      if (m_options.progress && i % step == 0) {
        m_options.progress(static_cast<double>(i) / static_cast<double>(m_tape.size()));
      }
    }
    const auto ended = std::chrono::steady_clock::now();
    m_result.cpu_seconds =
        static_cast<double>(std::clock() - cpu_began) / static_cast<double>(CLOCKS_PER_SEC);
    if (m_options.progress) m_options.progress(1.0);
    m_result.ticks = m_tape.size();
    m_result.seconds = std::chrono::duration<double>(ended - began).count();
    if (!m_tape.empty()) {
      m_result.first_tick = m_tape.front().time_text;
      m_result.last_tick = m_tape.back().time_text;
    }
    FillCharts();
    return std::move(m_result);
  }

  // ---- engine events ----

  void NewAccountSummeriesData(int32_t& /*cl_no*/, int32_t& acc_no, double& Balance,
                               double& /*flt*/, double& /*Credit*/, double& Equity,
                               double& MarginReq, double& marginLevel, double& /*EffMargin*/,
                               int32_t& OpenPositions) override {
    Record(acc_no, Balance, Equity, MarginReq, marginLevel, OpenPositions);
  }
  void UpdateListView(int32_t& /*cl_no*/, int32_t& acc_no, double& Balance, double& /*flt*/,
                      double& /*Credit*/, double& Equity, double& MarginReq,
                      double& marginLevel, double& /*EffMargin*/, int32_t& OpenPos) override {
    Record(acc_no, Balance, Equity, MarginReq, marginLevel, OpenPos);
  }
  void RaiseHitOrder(OrdersTypeEnum& OrderType, std::shared_ptr<COrder>& Order,
                     std::shared_ptr<CAccount>& AccInfo, bool& /*SecondHit*/, bool& Done,
                     int16_t& SLorTP) override {
    Done = true;
    Order->status(1);  // being executed: it blocks liquidation until it is done
    const bool entry = OrderType == LimitOrdersType;
    m_pending.push_back(Pending{entry ? Work::kEntry : Work::kStop, AccInfo->ClientID(),
                                AccInfo->AccountID(), Order->OrderId(), Order->hitPrice(), 0,
                                SLorTP});
    ++m_result.order_hits;
    Event("account " + KeyOf(AccInfo->AccountID()) + ": " +
          (entry ? "entry order " : SLorTP == 1 ? "stop-loss " : "take-profit ") +
          KeyOf(Order->OrderId()) + " hit at " + NumberText(Order->hitPrice()));
  }
  void RaiseHitAlert(std::shared_ptr<CAlert>& vAlert, std::shared_ptr<CClient>& vClient) override {
    ++m_result.alert_hits;
    m_pending.push_back(Pending{Work::kAlert, vClient->ClientID(), 0, vAlert->ID(), 0, 0, 0});
    Event("client " + KeyOf(vClient->ClientID()) + ": alert " + KeyOf(vAlert->ID()) +
          " fired at " + NumberText(vAlert->hitPrice()));
  }
  void SendLiqPosition(int32_t& vClient, int32_t& vAccount, int32_t& vTicket, int32_t& vSymID,
                       double& vClosePrice, double& vRefPrice, double& vLots,
                       double& /*EffMargin*/) override {
    ++m_result.liquidated_positions;
    m_pending.push_back(
        Pending{Work::kLiquidation, vClient, vAccount, vTicket, vClosePrice, vRefPrice, 0});
    Event("account " + KeyOf(vAccount) + ": liquidating ticket " + KeyOf(vTicket) + " (" +
          NumberText(vLots) + " lots of symbol " + KeyOf(vSymID) + ") at " +
          NumberText(vClosePrice));
  }
  void SendLiquidateAccount(int32_t& /*vClient*/, int32_t& vAccount) override {
    if (AccountResult* result = Find(vAccount)) ++result->liquidations;
    Event("account " + KeyOf(vAccount) + ": liquidated");
  }
  void AddLogEntry(std::string& msg, int16_t& /*LogLevel*/) override { Event(msg); }

 private:
  [[noreturn]] void Fail(int line, const std::string& problem) const {
    throw InputError(m_book.file + ":" + std::to_string(line) + ": field 'record': " + problem);
  }

  void LoadSymbol(const SymbolRecord& s) {
    const std::string start_time =
        m_tape.empty() ? std::string("01/01/1900 00:00:00") : m_tape.front().time_text;
    const Variant break_close = s.break_close.empty() ? Variant(Null) : Variant(s.break_close);
    const Variant break_open = s.break_open.empty() ? Variant(Null) : Variant(s.break_open);
    auto symbol = m_engine->NewSymbol(
        0, s.ref_price_case, s.price_case, s.factor, start_time, s.bid, s.ask, s.bid, s.ask,
        true, true, s.ref_id, s.pip_location, symbol_type, s.name, s.id, s.open_day,
        s.open_time, s.close_day, s.close_time, break_close, break_open, Null, Null, Null,
        Null, false, "", false, "1", "1", false, false, "0", "0", "", false, "60",
        FromBidSpread, "", s.bid, s.bid);
    if (!symbol) Fail(s.line, "the symbol could not be added");
    m_symbol_by_id[s.id] = symbol;
    m_margin_per_lot[s.id] = s.margin_per_lot;
  }

  AccountResult* Find(int32_t account) {
    auto it = m_index.find(account);
    return it == m_index.end() ? nullptr : &m_result.accounts[it->second];
  }

  void Record(int32_t account, double balance, double equity, double margin_requirement,
              double margin_level, int32_t open_positions) {
    AccountResult* result = Find(account);
    if (!result) return;
    result->balance = balance;
    result->equity = equity;
    result->margin_requirement = margin_requirement;
    result->margin_level = margin_level;
    result->open_positions = open_positions;
    size_t bucket = 0;
    if (m_now && m_span > 0) {
      const double share = (m_now->time.Serial() - m_start) / m_span;
      bucket = static_cast<size_t>(share * static_cast<double>(result->chart.size() - 1));
    }
    result->chart[std::min(bucket, result->chart.size() - 1)] =
        ChartPoint{equity, margin_requirement != 0 ? margin_level * 100 : 0};
  }

  void Event(const std::string& text) {
    const std::string& when = m_now ? m_now->time_text : std::string("load");
    m_result.events.push_back(when + "  " + text);
  }

  void ExecutePending() {
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

  void OpenFromOrder(const Pending& work) {
    auto account = m_engine->Account(work.client, work.account);
    auto order = account ? account->Orders()->Item(KeyOf(work.id)) : nullptr;
    if (!order || !order->SymbolParam() || !order->SymbolParam()->Symbol()) return;
    const int32_t symbol = order->SymbolParam()->Symbol()->ID();
    const int32_t direction = order->operationType() > 0 ? BuyType : SellType;
    const int32_t ticket = ++m_next_ticket;
    const double lots = order->lots();
    auto position = m_engine->AddNewOpenPosition(work.client, work.account, ticket, symbol, lots,
                                                 work.price, direction, 0, m_now->time_text,
                                                 "order " + KeyOf(work.id), false);
    m_engine->OrderStatusChanged(work.client, work.account, work.id);
    if (!position) return;
    CSummaries& s = *account->SummeryInfo();
    auto client = account->Client();
    if (client && client->CommCalcType() == ON_OPEN_TYPE) {
      s.TotalCommission(s.TotalCommission() + position->Commission());
    }
    s.MarginRequirement(s.MarginRequirement() - m_margin_per_lot[symbol] * lots);
    if (AccountResult* result = Find(work.account)) ++result->hits;
    Event("account " + KeyOf(work.account) + ": opened ticket " + KeyOf(ticket) + " " +
          (direction == BuyType ? "buy " : "sell ") + NumberText(lots) + " lots at " +
          NumberText(position->Price()));
    BookTotals(*account);
  }

  void CloseFromOrder(const Pending& work) {
    auto account = m_engine->Account(work.client, work.account);
    auto order = account ? account->Orders()->Item(KeyOf(work.id)) : nullptr;
    if (!order) return;
    auto position = account->OpenPositions()->Item(KeyOf(order->IoID()));
    if (!position) {
      m_engine->OrderStatusChanged(work.client, work.account, work.id);
      return;
    }
    if (AccountResult* result = Find(work.account)) ++result->hits;
    ClosePosition(work.client, work.account, order->IoID(), work.price,
                  position->RefClosePrice(), work.sl_or_tp == 1 ? "stop-loss" : "take-profit");
  }

  void ClosePosition(int32_t client_id, int32_t account_id, int32_t ticket, double price,
                     double ref_price, const std::string& reason) {
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
            ->DealProfit(position->Price(), price, lots, position->Type_no(),
                         position->Interest(), param->CommissionValue(lots), comm_calc,
                         ref_price, true)
            .NumberValue());
    CSummaries& s = *account->SummeryInfo();
    s.NetProfit(s.NetProfit() + profit);
    s.MarginRequirement(s.MarginRequirement() + m_margin_per_lot[symbol->ID()] * lots);
    if (std::fabs(s.MarginRequirement()) < 0.005) s.MarginRequirement(0);
    Event("account " + KeyOf(account_id) + ": closed ticket " + KeyOf(ticket) + " (" + reason +
          ") at " + NumberText(price) + ", profit " + Money(profit));
    m_engine->DeleteOpenPosition(client_id, account_id, ticket);
    BookTotals(*account);
  }

  // The account's totals as the server books them, back into the engine
  // (which reports the figures and checks the liquidation point).
  void BookTotals(const CAccount& account) {
    const CSummaries& s = *account.SummeryInfo();
    m_engine->UpdateAccountSummaries(account.ClientID(), account.AccountID(),
                                     s.TotalCommission(), s.MarginRequirement(), s.NetProfit(),
                                     s.TotalDeposit(), s.Credit(), s.PreviousMargin(), false,
                                     s.TotalInterest());
  }

  // Buckets no tick reached carry the value before them.
  void FillCharts() {
    for (AccountResult& result : m_result.accounts) {
      ChartPoint last{std::nan(""), 0};
      for (ChartPoint& point : result.chart) {
        if (std::isnan(point.equity)) {
          point = last;
        } else {
          last = point;
        }
      }
      for (ChartPoint& point : result.chart) {
        if (std::isnan(point.equity)) point = ChartPoint{result.equity, 0};
      }
    }
  }

  const Book& m_book;
  const std::vector<Tick>& m_tape;
  ReplayOptions m_options;
  std::shared_ptr<FixedClock> m_clock;
  ScopedClock m_scoped_clock;
  std::shared_ptr<CAccountsTransactions> m_engine;
  std::shared_ptr<CSymbols> m_symbols;
  std::unordered_map<int32_t, std::shared_ptr<CSymbol>> m_symbol_by_id;
  std::unordered_map<int32_t, double> m_margin_per_lot;
  std::unordered_map<int32_t, size_t> m_index;
  std::deque<Pending> m_pending;
  ReplayResult m_result;
  const Tick* m_now = nullptr;
  double m_start = 0;
  double m_span = 0;
  int32_t m_next_ticket = 0;
};

}  // namespace

ReplayResult RunReplay(const Book& book, const std::vector<Tick>& tape,
                       const ReplayOptions& options) {
  Host host(book, tape, options);
  host.Load();
  return host.Run();
}

}  // namespace orvane::replay
