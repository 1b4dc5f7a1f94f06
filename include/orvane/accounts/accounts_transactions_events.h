#ifndef ORVANE_ACCOUNTS_ACCOUNTS_TRANSACTIONS_EVENTS_H_
#define ORVANE_ACCOUNTS_ACCOUNTS_TRANSACTIONS_EVENTS_H_

#include <cstdint>
#include <memory>
#include <string>

#include "orvane/core/handler_check.h"
#include "orvane/vocabulary/orders_type_enum.h"

namespace orvane {

class CAccount;
class CAlert;
class CClient;
class COrder;

// What the account engine tells its host. Every argument is passed by
// reference and the same variables go to every subscriber in turn, so a
// handler sees what an earlier one left in them. The one answer the engine
// reads back is Done of RaiseHitOrder. Handlers run synchronously inside the
// engine operation that raised them and may call back into the engine.
//
// A handler overrides the events it needs with exactly these parameters; the
// rest do nothing. CAccountsTransactions::Advise refuses to compile for a
// handler class with a same-named function of other parameters (say by
// value), which would hide the event and never be called.
class CAccountsTransactionsEvents {
 public:
  virtual ~CAccountsTransactionsEvents() = default;

  // The account's open positions have all been sent for liquidation.
  virtual void SendLiquidateAccount(int32_t& /*vClient*/, int32_t& /*vAccount*/) {}
  // A new account's figures (margin level is a ratio, 1.0 = 100 %).
  virtual void NewAccountSummeriesData(int32_t& /*cl_no*/, int32_t& /*acc_no*/,
                                       double& /*Balance*/, double& /*flt*/,
                                       double& /*Credit*/, double& /*Equity*/,
                                       double& /*MarginReq*/, double& /*marginLevel*/,
                                       double& /*EffMargin*/,
                                       int32_t& /*OpenPositions*/) {}
  // An account's figures after a change.
  virtual void UpdateListView(int32_t& /*cl_no*/, int32_t& /*acc_no*/,
                              double& /*Balance*/, double& /*flt*/, double& /*Credit*/,
                              double& /*Equity*/, double& /*MarginReq*/,
                              double& /*marginLevel*/, double& /*EffMargin*/,
                              int32_t& /*OpenPos*/) {}
  // An account was deleted (DeleteAccount).
  virtual void DeleteFromListView(int32_t& /*cl_no*/, int32_t& /*acc_no*/) {}
  // An order hit (OrderType 2 entry order, 3 stop-loss/take-profit, 4 the
  // take-profit of an order re-announced on loading). Setting Done to true
  // acknowledges the hit; later hits of the same pass then carry SecondHit.
  virtual void RaiseHitOrder(OrdersTypeEnum& /*OrderType*/,
                             std::shared_ptr<COrder>& /*Order*/,
                             std::shared_ptr<CAccount>& /*AccInfo*/,
                             bool& /*SecondHit*/, bool& /*Done*/, int16_t& /*SLorTP*/) {}
  // A price hit the alert of the client (server side).
  virtual void RaiseHitAlert(std::shared_ptr<CAlert>& /*vAlert*/,
                             std::shared_ptr<CClient>& /*vClient*/) {}
  // One position to close for a liquidation, at the client's close price.
  virtual void SendLiqPosition(int32_t& /*vClient*/, int32_t& /*vAccount*/,
                               int32_t& /*vTicket*/, int32_t& /*vSymID*/,
                               double& /*vClosePrice*/, double& /*vRefPrice*/,
                               double& /*vLots*/, double& /*EffMargin*/) {}
  // An account was added while not loading; vAccounts is the new AccountsCount.
  virtual void ParametersChanged(int32_t& /*vAccounts*/) {}
  // A log line of the engine, at its level.
  virtual void AddLogEntry(std::string& /*msg*/, int16_t& /*LogLevel*/) {}
  // CalculateInterest added interest to a position; vInt is its new Interest.
  virtual void ChangePosInterest(int32_t& /*vClient*/, int32_t& /*vAccount*/,
                                 int32_t& /*vTicket*/, double& /*vInt*/) {}
  // CalculateInterest booked interest to an account (commission on open);
  // vTorInt is the account's new TotalInterest.
  virtual void ChangeTotInterest(int32_t& /*vClient*/, int32_t& /*vAccount*/,
                                 double& /*vTorInt*/) {}

  // Fails to compile when Handler hides one of these events behind a
  // function of other parameters (see orvane/core/handler_check.h).
  template <typename Handler>
  static constexpr void CheckHandler() {
    ORVANE_CHECK_EVENT(CAccountsTransactionsEvents, Handler, SendLiquidateAccount);
    ORVANE_CHECK_EVENT(CAccountsTransactionsEvents, Handler, NewAccountSummeriesData);
    ORVANE_CHECK_EVENT(CAccountsTransactionsEvents, Handler, UpdateListView);
    ORVANE_CHECK_EVENT(CAccountsTransactionsEvents, Handler, DeleteFromListView);
    ORVANE_CHECK_EVENT(CAccountsTransactionsEvents, Handler, RaiseHitOrder);
    ORVANE_CHECK_EVENT(CAccountsTransactionsEvents, Handler, RaiseHitAlert);
    ORVANE_CHECK_EVENT(CAccountsTransactionsEvents, Handler, SendLiqPosition);
    ORVANE_CHECK_EVENT(CAccountsTransactionsEvents, Handler, ParametersChanged);
    ORVANE_CHECK_EVENT(CAccountsTransactionsEvents, Handler, AddLogEntry);
    ORVANE_CHECK_EVENT(CAccountsTransactionsEvents, Handler, ChangePosInterest);
    ORVANE_CHECK_EVENT(CAccountsTransactionsEvents, Handler, ChangeTotInterest);
  }
};

}  // namespace orvane

#endif  // ORVANE_ACCOUNTS_ACCOUNTS_TRANSACTIONS_EVENTS_H_
