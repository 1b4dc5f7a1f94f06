#ifndef ORVANE_ACCOUNTS_ACCOUNTS_TRANSACTIONS_EVENTS_H_
#define ORVANE_ACCOUNTS_ACCOUNTS_TRANSACTIONS_EVENTS_H_

#include <cstdint>
#include <memory>
#include <string>

#include "orvane/util/orders_type_enum.h"

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
  virtual void DeleteFromListView(int32_t& /*cl_no*/, int32_t& /*acc_no*/) {}
  // An order hit (OrderType 2 entry order, 3 stop-loss/take-profit, 4 the
  // take-profit of an order re-announced on loading). Setting Done to true
  // acknowledges the hit; later hits of the same pass then carry SecondHit.
  virtual void RaiseHitOrder(OrdersTypeEnum& /*OrderType*/,
                             std::shared_ptr<COrder>& /*Order*/,
                             std::shared_ptr<CAccount>& /*AccInfo*/,
                             bool& /*SecondHit*/, bool& /*Done*/, int16_t& /*SLorTP*/) {}
  virtual void RaiseHitAlert(std::shared_ptr<CAlert>& /*vAlert*/,
                             std::shared_ptr<CClient>& /*vClient*/) {}
  // One position to close for a liquidation, at the client's close price.
  virtual void SendLiqPosition(int32_t& /*vClient*/, int32_t& /*vAccount*/,
                               int32_t& /*vTicket*/, int32_t& /*vSymID*/,
                               double& /*vClosePrice*/, double& /*vRefPrice*/,
                               double& /*vLots*/, double& /*EffMargin*/) {}
  virtual void ParametersChanged(int32_t& /*vAccounts*/) {}
  virtual void AddLogEntry(std::string& /*msg*/, int16_t& /*LogLevel*/) {}
  virtual void ChangePosInterest(int32_t& /*vClient*/, int32_t& /*vAccount*/,
                                 int32_t& /*vTicket*/, double& /*vInt*/) {}
  virtual void ChangeTotInterest(int32_t& /*vClient*/, int32_t& /*vAccount*/,
                                 double& /*vTorInt*/) {}
};

}  // namespace orvane

#endif  // ORVANE_ACCOUNTS_ACCOUNTS_TRANSACTIONS_EVENTS_H_
