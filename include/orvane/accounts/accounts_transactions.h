#ifndef ORVANE_ACCOUNTS_ACCOUNTS_TRANSACTIONS_H_
#define ORVANE_ACCOUNTS_ACCOUNTS_TRANSACTIONS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "orvane/accounts/accounts_transactions_events.h"
#include "orvane/accounts/liquidation_type_enum.h"
#include "orvane/core/event_source.h"
#include "orvane/core/object.h"
#include "orvane/core/variant.h"
#include "orvane/market/spread_cal_type_enum.h"
#include "orvane/market/symbol_type_enum.h"
#include "orvane/vocabulary/client_type_enum.h"
#include "orvane/vocabulary/comm_calc_type_enum.h"
#include "orvane/vocabulary/market_or_limit_order_enum.h"

namespace orvane {

class CAccount;
class CAccountRefs;
class CAlert;
class CClient;
class CClientParam;
class CCurAccount;
class CClients;
class CGenerals;
class COpenPosition;
class COrder;
class CStringValues;
class CSummaries;
class CSymbol;
class CSymbols;

namespace detail {
class HolderBook;
struct HolderRow;
}  // namespace detail

// Which side an engine runs on. Only a server-side engine checks order and
// alert hits and liquidation; a client-side one keeps figures current.
enum ExecutionModeEnum : int32_t {
  SERVER_SIDE_EXECUTION = 1,
  CLIENT_SIDE_EXECUTION = 2,
};

// The account engine. A host creates one, gives it the symbol list and feeds
// it every change it learns of (clients, accounts, positions, orders, alerts,
// symbols, client parameters, booked totals) and every new quote of a symbol
// (DealWithChangedSymbolPrices). The engine keeps the object model and the
// per-symbol index (a CCurAccount in each symbol's Ref1) consistent,
// recomputes the figures of exactly the accounts that a quote touches, and on
// the server side detects entry-order, stop-loss/take-profit and alert hits
// and liquidations. It executes nothing itself: it raises events
// (CAccountsTransactionsEvents) and the host answers through OrderRejected,
// OrderStatusChanged and CloseResultReceived.
//
// Lookups of absent clients, accounts, positions or orders do nothing and
// give no object. Errors reach the caller only where stated.
//
// A quote costs work proportional to the holders of the quoted symbol and
// allocates nothing once the engine's scratch buffers have grown and its
// copy of the symbol's holders is made (again after records change the
// holder list; the host's handlers and the log texts of a liquidation
// aside).
class CAccountsTransactions : public Object, public ISafeObject, private NonCopyable {
 public:
  CAccountsTransactions();
  ~CAccountsTransactions() override;

  // Subscribes a listener (not owned). A handler class is checked at
  // compile time: none of its functions may hide one of the events.
  template <std::derived_from<CAccountsTransactionsEvents> Handler>
  void Advise(Handler* listener) {
    CAccountsTransactionsEvents::CheckHandler<Handler>();
    Advise(static_cast<CAccountsTransactionsEvents*>(listener));
  }
  // The same for a listener given as the interface; nothing to check.
  void Advise(CAccountsTransactionsEvents* listener) { m_events.Advise(listener); }
  // Ends a subscription; a listener not subscribed is ignored.
  void Unadvise(CAccountsTransactionsEvents* listener) { m_events.Unadvise(listener); }

  std::shared_ptr<CSymbols> Symbols() const { return m_symbols; }
  void Symbols(std::shared_ptr<CSymbols> value) { m_symbols = std::move(value); }
  std::shared_ptr<CClients> Clients() const { return m_clients; }
  ExecutionModeEnum ExecutionSide() const { return m_side; }
  void ExecutionSide(ExecutionModeEnum value) { m_side = value; }
  void Generals(std::shared_ptr<CGenerals> value);

  // Books one day's interest of symbol vSymID into the positions of clients
  // with EnableInterest; ON_OPEN_TYPE clients also get it in their account's
  // TotalInterest. Rates are yearly and used unchanged (no division by 100).
  // Handlers may change the book meanwhile: clients, accounts and positions
  // gone before the walk reaches them get nothing, and those added during
  // the walk are not reached.
  void CalculateInterest(int32_t vSymID, int16_t vDayFactor, double YearlyBuyRate,
                         double YearlySellRate, int16_t YearDays);
  // Forgets every client (and with them accounts and records); symbols and
  // their indexes stay.
  void Unload();

  // 102 EnableInterest, 103 LiquidationType, 104 LiquidationPoint; other
  // types are ignored. Throws Error(TypeMismatch) when vVal is no number.
  void ClientOneParameterChanged(int32_t vClientId, int32_t SymID, int32_t vType,
                                 const Variant& vVal);
  void ClientParametersChanged(int32_t vClientId, const std::string& Pars,
                               int16_t ClientOrServer);
  // 117 sets CommCalcType. Throws Error(TypeMismatch) when vType or vVal is no
  // number.
  void GeneralClientParametersChanged(int32_t vClientId, int32_t vSymID,
                                      const Variant& vType, const Variant& vVal);
  void UpdateParameters(const std::string& vChangedPars,
                        const std::shared_ptr<CClient>& vClient, int16_t ClientOrServer);

  // To be called after the host stored a new quote in vSymbol. A symbol
  // without an index (Ref1) is ignored. With a listener attached, whether
  // the symbol trades is asked again after each holder's UpdateListView, so
  // a market that closes or opens inside the walk is seen from that holder
  // on. Orders, alerts and positions that a handler removes before the walk
  // reaches them are not announced, nor are accounts it deletes that nothing
  // else holds.
  void DealWithChangedSymbolPrices(const std::shared_ptr<CSymbol>& vSymbol);

  void OrderStatusChanged(int32_t vClient, int32_t vAccount, int32_t OrderId);
  // MarketOrderType re-arms the liquidation of position vTicket; any other
  // kind puts order OrderId back to waiting (status 0).
  void OrderRejected(MarketOrLimitOrderEnum vType, int32_t vClient, int32_t vAccount,
                     int32_t OrderId, int32_t vTicket);
  // -51, -50, -5: the liquidation of the position is re-armed; -10: the
  // position (and its stop-loss/take-profit orders) is deleted; other codes
  // change nothing.
  void CloseResultReceived(int32_t ReturnVal, int32_t vClient, int32_t vAccount,
                           int32_t Ticket);

  // Removes the symbol and every client's parameter entry for it; records in
  // the symbol stay. Always gives no object.
  std::shared_ptr<Object> DeleteSymbol(int32_t ID);
  // Builds a symbol through Symbols.Add with a new empty index in Ref1. The
  // arguments Add has and this does not are fixed: Spread 1, SourcePlus 0,
  // Last 0, SortOrder 1, AmountUnitID 1, ParentID null, MWColor 1.0,
  // Requotable, MOType AtPriceMO, empty Description, JustClose, BuyOnly and
  // HasPriv false. Gives no object when Symbols refuses it.
  std::shared_ptr<CSymbol> NewSymbol(
      const Variant& TickPips, const Variant& RefPriceCase, const Variant& PriceCase,
      const Variant& Factor, const Variant& LastQuteTime, const Variant& Low,
      const Variant& High, const Variant& Bid, const Variant& Ask, bool isDisplay,
      bool isUsed, const Variant& RefID, const Variant& PipLocation, SymbolTypeEnum SymbolType,
      const Variant& Name, const Variant& ID, const std::string& OpenDay,
      const std::string& OpenTime, const std::string& CloseDay,
      const std::string& CloseTime, const Variant& DailyCloseTime1,
      const Variant& DailyOpenTime1, const Variant& DailyCloseTime2,
      const Variant& DailyOpenTime2, const Variant& DailyCloseTime3,
      const Variant& DailyOpenTime3, bool Closed, const Variant& DDEItems,
      bool MoveIfClosed, const Variant& HighType, const Variant& LowType,
      bool GiveQuoteHL, bool StopFeed, const Variant& PriceOffset,
      const Variant& SpreadOffset, const Variant& Bank, bool StopTrade,
      const Variant& StopTradeSeconds, SpreadCalTypeEnum SpreadType, const Variant& ExpDate,
      double DayOpen, double DayClose);

  // Gives the new account, or no object when the client is absent or the
  // account cannot be added (every failure is trapped). With Loading false
  // ParametersChanged is raised first; NewAccountSummeriesData always.
  std::shared_ptr<CAccount> AddNewAccount(
      const Variant& cl_no, const Variant& acc_no, const Variant& accType,
      const Variant& demoAcc, const Variant& TotComm, const Variant& MarginReq,
      const Variant& NetProfit, const Variant& TotDep, const Variant& TotCr,
      const Variant& PrvMargin, const Variant& DontLiquidate, const Variant& TotInt,
      bool Locked, bool MarginAccount, bool Loading);
  // Gives the new client, or no object on any failure.
  std::shared_ptr<CClient> AddNewClient(
      const Variant& cl_no, const Variant& theSpread, const Variant& ParentID,
      ClientTypeEnum vClientType, bool vEnableInterest, LiquidationTypeEnum LiqType,
      double LiqPoint,
      const std::string& FirstName, const std::string& SecondName,
      const std::string& ThirdName, const std::string& LastName,
      const std::string& Username, int16_t ClientOrServer,
      CommCalcTypeEnum CommCalcType);
  void UpdateAccount(int32_t vClient, int32_t vAccount, int32_t vType, bool vDemo,
                     bool vLocked, bool vLiquidated);
  // Deletes the client's children first (depth first), then its accounts, then
  // its alert index entries, then the client itself. Parent links that loop
  // end the walk at the client where it began.
  void DeleteClient(int32_t cl_no);
  void DeleteAccount(int32_t cl_no, int32_t acc_no);

  // Gives no object when the account is absent, its client's parameters are
  // not loaded, the engine holds no index for the symbol (no price would
  // ever reach the position), or the ticket exists already. With Loading
  // true the account's figures are not reported. Throws
  // Error(ObjectRequired) when the client has no parameter entry for the
  // symbol (the account may then already be in the symbol's index).
  std::shared_ptr<COpenPosition> AddNewOpenPosition(
      const Variant& cl_no, const Variant& acc_no, const Variant& io_id,
      const Variant& io_cur_no, const Variant& theLots, const Variant& Price,
      const Variant& theType, const Variant& vInt, const std::string& PosTime,
      const std::string& Note, bool Loading);
  // An order row as delivered; kind "LO" makes an entry order, anything else
  // a stop-loss/take-profit order. An existing order of that ID is replaced.
  std::shared_ptr<COrder> DefineOrder(int32_t vClient, int32_t vAccount,
                                      const std::string& OrderRow);
  // A position row as delivered; an empty row deletes the position.
  std::shared_ptr<COpenPosition> DefineOpenPosRow(int32_t vClient, int32_t vAccount,
                                                  int32_t Ticket,
                                                  const std::string& OpenPosRow);
  // Throws Error(ObjectRequired) and changes nothing when lots is not 0 and
  // the account holds no position io_id.
  void UpdateOpenPosition(int32_t cl_no, int32_t acc_no, int32_t io_id, double lots,
                          double Price, int32_t BuySell, int32_t vCur, double vInt,
                          const std::string& PosTime, const std::string& vNote);
  void SetParamsRefParams();
  // Removes the position and every order protecting it.
  void DeleteOpenPosition(int32_t cl_no, int32_t acc_no, int32_t io_id);
  // A partial close only reduces the lots (figures are not reported).
  void ClosePosition(int32_t cl_no, int32_t acc_no, int32_t io_id, double closedLots);
  void UpdateAccountSummaries(const Variant& cl_no, const Variant& acc_no,
                              const Variant& TotComm, const Variant& MarginReq,
                              const Variant& NetProfit, const Variant& TotDep,
                              const Variant& TotCr, const Variant& PrvMargin,
                              bool LockLiquidation, const Variant& TotInt);
  std::shared_ptr<CAccount> Account(int32_t ClientID, int32_t AccountID) const;
  void RefreshListView();
  void SummariesChanged(const std::shared_ptr<CAccount>& vAccInfo);
  double RefreshFloatingProfitLoss(const std::shared_ptr<CAccount>& vAccInfo);
  void CloseAllPositions(int32_t cl_no, int32_t acc_no);
  void InitializeNeededData(std::shared_ptr<CSymbols> SymInfo, ExecutionModeEnum execType);

  // Adds nothing when the client is absent or the engine holds no index for
  // the symbol.
  void AddNewAlert(int32_t cl_no, int32_t ID, int32_t CurID, int32_t CondType,
                   double vVal, int32_t AlertType, bool Enabled);
  // Throws Error(ObjectRequired) when the client is absent.
  void DeleteAlert(int32_t ClientID, int32_t ID);
  void UpdateAlert(int32_t ID, int32_t vClient, int32_t CurID, int32_t CondType,
                   double vVal);
  // Gives the order, or no object when the account is absent, the engine
  // holds no index for the symbol, or the ID is taken (the index entry is
  // made all the same). Throws
  // Error(ObjectRequired) when the client has no parameter entry for the
  // symbol.
  std::shared_ptr<COrder> AddNewOrder(int32_t cl_no, int32_t acc_no, int32_t OrderId,
                                      int32_t OrderType, int32_t operationType,
                                      int32_t IoID, double lots, int32_t cur_no,
                                      double LimitPrice, double slPrice, double tpPrice,
                                      int16_t status, double hitPrice, DateTime hitDate,
                                      const std::string& OrderTime,
                                      const std::string& Note);
  std::shared_ptr<COrder> DeleteOrder(int32_t cl_no, int32_t acc_no, int32_t id_no);

  void CheckOrdersHit(const std::shared_ptr<CAccount>& AccountRefInfo,
                      const std::shared_ptr<CClientParam>& SymbolParam);
  void CheckAlertsHit(const std::shared_ptr<CClient>& vClient,
                      const std::shared_ptr<CClientParam>& SymbolParam);

  std::shared_ptr<CAccount> AccountByAccountID(int32_t Account) const;
  int32_t AccountsCount() const;
  void RefreshSymbols(std::shared_ptr<CSymbols> Symbols);
  bool JustAccounts() const { return m_just_accounts; }
  void JustAccounts(bool value) { m_just_accounts = value; }

  void Deallocate() override;

 private:
  struct Scratch;  // see m_scratch
  class ScratchLease;

  void AnnounceNewAccount(int32_t client_id, int32_t account_id);
  // The liquidation check of one account. A client whose LiquidationType is
  // neither equity (1) nor margin level (2), as a new client's 0, is never
  // liquidated.
  void CheckLiquidation(const std::shared_ptr<CAccount>& account);
  // The rest of the check, for a server-side engine and an account that may
  // be liquidated, with the account's client (none when it is gone) at hand.
  void CheckLiquidation(const std::shared_ptr<CAccount>& account, const CClient* client);
  // Whether the account's figure (equity, or margin level in percent), in
  // cents, is at or below its client's liquidation point.
  bool AtLiquidationPoint(const CSummaries& summaries, const CClient& client);
  // The rest of the check for an account at its liquidation point.
  void LiquidateAtPoint(const std::shared_ptr<CAccount>& account);
  // The order checks of a quote of `symbol_id` for the accounts listed in
  // `refs` (the quoted symbol's AccountsHaveOrders), with `scratch` the
  // walk's copies.
  void CheckListedOrders(const CAccountRefs& refs, int32_t symbol_id, Scratch& scratch);
  // A quote's work on the position holders of the quoted symbol: with
  // nobody listening, and with listeners whose handlers may call back in.
  void RevalueQuietly(const CCurAccount& index, const CSymbol& symbol, bool trades);
  void RevalueListened(const CCurAccount& index, const CSymbol& symbol);
  // One holder through the public objects, for when a handler may have
  // changed what the walk copied.
  void RevalueHolder(const std::shared_ptr<CAccount>& account, const CSymbol& symbol);
  // The liquidation check of a holder whose copied row still holds.
  void CheckLiquidation(const detail::HolderRow& row);
  void LiquidateAccount(const std::shared_ptr<CAccount>& account);
  bool AnnounceHit(int32_t order_type, double price, const std::shared_ptr<COrder>& order,
                   const std::shared_ptr<CAccount>& account, bool second_hit,
                   int16_t sl_or_tp);
  DateTime LastQuoteTime(const CSymbol& symbol) const;
  void Log(std::string message);
  std::shared_ptr<Object> IndexOf(int32_t symbol_id) const;

  std::shared_ptr<CSymbols> m_symbols;
  std::shared_ptr<CClients> m_clients;
  std::shared_ptr<CGenerals> m_generals;
  std::shared_ptr<CStringValues> m_string_values;
  ExecutionModeEnum m_side = static_cast<ExecutionModeEnum>(0);
  bool m_just_accounts = false;
  EventSource<CAccountsTransactionsEvents> m_events;

  // Reusable copies of the members a walk visits, one set per nesting depth
  // (a handler may call back into the engine), so that a quote allocates
  // nothing once warm and survives handlers that change what is walked.
  std::vector<std::unique_ptr<Scratch>> m_scratch;
  size_t m_depth = 0;
  // Counts the hit events raised, so a walk knows when a handler may have
  // removed what it still holds.
  uint64_t m_hits_raised = 0;
  // The engine's copy of each symbol's holders, which the price walk reads.
  std::unique_ptr<detail::HolderBook> m_book;
  // The clients DeleteClient is deleting, outermost first.
  std::vector<int32_t> m_deleting;
};

}  // namespace orvane

#endif  // ORVANE_ACCOUNTS_ACCOUNTS_TRANSACTIONS_H_
