#ifndef ORVANE_APPS_COMMON_BOOK_ENGINE_H_
#define ORVANE_APPS_COMMON_BOOK_ENGINE_H_

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>

#include "book.h"
#include "orvane/accounts/accounts_transactions.h"
#include "orvane/accounts/accounts_transactions_events.h"

namespace orvane {
class CAccount;
class COpenPosition;
class CSymbol;
class CSymbols;
class FixedClock;
}  // namespace orvane

namespace orvane::apps {

// An account's figures as the engine last reported them.
struct AccountFigures {
  int32_t client = 0;
  int32_t account = 0;
  double balance = 0;
  double equity = 0;
  double margin_requirement = 0;
  double margin_level = 0;  // ratio as the engine reports it (1.0 = 100 %)
  double effective_margin = 0;
  int32_t open_positions = 0;
};

// What a BookEngine tells its host, in the order things happen. Every
// handler has an empty default, so a host listens only to what it needs.
class BookEngineEvents {
 public:
  virtual ~BookEngineEvents() = default;
  // An event log line (without time).
  virtual void Logged(const std::string& /*text*/) {}
  virtual void FiguresChanged(const AccountFigures& /*figures*/) {}
  // An entry, stop-loss or take-profit order of the account was executed.
  virtual void OrderExecuted(int32_t /*account*/) {}
  virtual void PositionOpened(const COpenPosition& /*position*/) {}
  virtual void PositionClosed(int32_t /*client*/, int32_t /*account*/, int32_t /*ticket*/) {}
  // An order left the book (executed, or its position went).
  virtual void OrderFinished(int32_t /*client*/, int32_t /*account*/, int32_t /*order*/) {}
  // New totals of the account were booked into the engine.
  virtual void TotalsBooked(const CAccount& /*account*/) {}
  virtual void AccountLiquidated(int32_t /*client*/, int32_t /*account*/) {}
  virtual void AlertFired(int32_t /*client*/, int32_t /*alert*/, const std::string& /*text*/) {}
};

// A server-side account engine loaded from a book, with this class as its
// host. The host applies ticks; what the engine reports is executed right
// after the tick that caused it, in the order it was reported:
// - an entry order that hits opens a position at the hit price (a buy limit
//   or buy stop a buy, the others a sell) under the next free ticket, and
//   the order is finished (OrderStatusChanged);
// - a stop-loss or take-profit that hits closes its position at the hit
//   price;
// - a position sent for liquidation closes at the sent close price and
//   reference price;
// - an alert that fires is reported once and then deleted.
// Realised profit (DealProfit, rounded to cents) goes to the account's net
// profit; commission of ON_OPEN clients is booked on opening; the margin
// requirement grows and shrinks by the symbol's margin per lot. The new
// totals reach the engine through UpdateAccountSummaries, as a server's
// would.
//
// The process clock is `clock`, pinned to each tick's time before the tick
// is applied, so that trading hours follow the ticks.
class BookEngine : private CAccountsTransactionsEvents {
 public:
  struct Counts {
    size_t order_hits = 0;
    size_t alert_hits = 0;
    size_t liquidated_positions = 0;
  };

  // `first_quote_time` (dd/mm/yyyy hh:nn:ss) is the symbols' quote time
  // before any tick. `events` may be null and must outlive the engine. A
  // client-side engine (a terminal's) only keeps figures current: nothing
  // hits, so nothing is executed.
  BookEngine(const Book& book, std::shared_ptr<FixedClock> clock,
             std::string first_quote_time, BookEngineEvents* events,
             ExecutionModeEnum side = SERVER_SIDE_EXECUTION);
  ~BookEngine() override;
  BookEngine(const BookEngine&) = delete;
  BookEngine& operator=(const BookEngine&) = delete;

  // Applies the book. Throws InputError when a record cannot be applied
  // (ParseBook has checked the book already).
  void Load();
  // Stores the tick in its symbol, lets the engine revalue and check, and
  // executes what it reported.
  void ApplyTick(const Tick& tick);

  CAccountsTransactions& Engine() { return *m_engine; }
  const CAccountsTransactions& Engine() const { return *m_engine; }
  // None for an id the book does not define.
  std::shared_ptr<CSymbol> Symbol(int32_t id) const;
  const Counts& counts() const { return m_counts; }

 private:
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

  // CAccountsTransactionsEvents
  void NewAccountSummeriesData(int32_t& cl_no, int32_t& acc_no, double& Balance, double& flt,
                               double& Credit, double& Equity, double& MarginReq,
                               double& marginLevel, double& EffMargin,
                               int32_t& OpenPositions) override;
  void UpdateListView(int32_t& cl_no, int32_t& acc_no, double& Balance, double& flt,
                      double& Credit, double& Equity, double& MarginReq, double& marginLevel,
                      double& EffMargin, int32_t& OpenPos) override;
  void RaiseHitOrder(OrdersTypeEnum& OrderType, std::shared_ptr<COrder>& Order,
                     std::shared_ptr<CAccount>& AccInfo, bool& SecondHit, bool& Done,
                     int16_t& SLorTP) override;
  void RaiseHitAlert(std::shared_ptr<CAlert>& vAlert, std::shared_ptr<CClient>& vClient) override;
  void SendLiqPosition(int32_t& vClient, int32_t& vAccount, int32_t& vTicket, int32_t& vSymID,
                       double& vClosePrice, double& vRefPrice, double& vLots,
                       double& EffMargin) override;
  void SendLiquidateAccount(int32_t& vClient, int32_t& vAccount) override;
  void AddLogEntry(std::string& msg, int16_t& LogLevel) override;

  [[noreturn]] void Fail(int line, const std::string& problem) const;
  void LoadSymbol(const SymbolRecord& s);
  void Report(const AccountFigures& figures);
  void Log(const std::string& text);
  void ExecutePending();
  void OpenFromOrder(const Pending& work);
  void CloseFromOrder(const Pending& work);
  void ClosePosition(int32_t client_id, int32_t account_id, int32_t ticket, double price,
                     double ref_price, const std::string& reason);
  void BookTotals(const CAccount& account);

  const Book& m_book;
  std::shared_ptr<FixedClock> m_clock;
  std::string m_first_quote_time;
  BookEngineEvents* m_events;
  BookEngineEvents m_no_events;
  std::shared_ptr<CAccountsTransactions> m_engine;
  std::shared_ptr<CSymbols> m_symbols;
  std::unordered_map<int32_t, std::shared_ptr<CSymbol>> m_symbol_by_id;
  std::unordered_map<int32_t, double> m_margin_per_lot;
  std::deque<Pending> m_pending;
  const Tick* m_now = nullptr;
  Counts m_counts;
  int32_t m_next_ticket = 0;
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_COMMON_BOOK_ENGINE_H_
