// Client parameters, clients, accounts and their figures, positions, orders
// and alerts. Records the engine keeps consistent are read-only here; they
// change through the engine. The host's own answers (an order's status, the
// booked totals of an account's summaries) stay writable.

#include <memory>
#include <string>

#include "bindings.h"
#include "enums.h"
#include "orvane/accounts/account.h"
#include "orvane/accounts/accounts.h"
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
#include "orvane/clients/clients.h"
#include "orvane/market/symbol.h"

namespace py = pybind11;

namespace orvane::python {

namespace {

template <typename T>
using Class = py::class_<T, std::shared_ptr<T>>;

void BindAccountEnums(py::module_& m) {
  BindEnum<OrdersTypeEnum>(m, "OrdersTypeEnum",
                           {{"MarketDataType", MarketDataType},
                            {"LimitOrdersType", LimitOrdersType},
                            {"SlTpType", SlTpType}});
  BindEnum<ClientTypeEnum>(m, "ClientTypeEnum",
                           {{"CLIENT_TYPE", CLIENT_TYPE},
                            {"OFFICE_TYPE", OFFICE_TYPE},
                            {"OTHER_GROUPS_TYPE", OTHER_GROUPS_TYPE}});
  BindEnum<LiquidationTypeEnum>(m, "LiquidationTypeEnum",
                                {{"EQUITY_LIQUIDATION", EQUITY_LIQUIDATION},
                                 {"MARGIN_LEVEL_LIQUIDATION", MARGIN_LEVEL_LIQUIDATION}});
  BindEnum<AccountTypeEnum>(m, "AccountTypeEnum",
                            {{"DemoAccountType", DemoAccountType},
                             {"NormalAccountType", NormalAccountType},
                             {"CoverageAccountType", CoverageAccountType}});
  BindEnum<MarketOrLimitOrderEnum>(m, "MarketOrLimitOrderEnum",
                                   {{"MarketOrderType", MarketOrderType},
                                    {"LimitOrderType", LimitOrderType},
                                    {"SLOrderType", SLOrderType},
                                    {"TPOrderType", TPOrderType}});
  BindEnum<ExecutionModeEnum>(m, "ExecutionModeEnum",
                              {{"SERVER_SIDE_EXECUTION", SERVER_SIDE_EXECUTION},
                               {"CLIENT_SIDE_EXECUTION", CLIENT_SIDE_EXECUTION}});
  BindEnum<AlertConditionsEnum>(m, "AlertConditionsEnum",
                                {{"BID_GREATER", BID_GREATER},
                                 {"BID_LESS", BID_LESS},
                                 {"ASK_GREATER", ASK_GREATER},
                                 {"ASK_LESS", ASK_LESS}});
}

void BindClientParams(py::module_& m) {
  Class<CClientParam>(m, "CClientParam")
      .ORVANE_READONLY(CClientParam, Spread)
      .ORVANE_READONLY(CClientParam, SourcePlus)
      .ORVANE_READONLY(CClientParam, Commission)
      .ORVANE_READONLY(CClientParam, MaxLots)
      .ORVANE_READONLY(CClientParam, MinLots)
      .ORVANE_READONLY(CClientParam, LimitOffset)
      .ORVANE_READONLY(CClientParam, StopOffset)
      .ORVANE_READONLY(CClientParam, PriceOffset)
      .ORVANE_READONLY(CClientParam, Symbol)
      .ORVANE_READONLY(CClientParam, Parent)
      .def("CommissionValue", &CClientParam::CommissionValue, py::arg("lots"))
      .def("BidWithSpread", &CClientParam::BidWithSpread)
      .def("AskWithSpread", &CClientParam::AskWithSpread)
      .def("PriceWithSpread", &CClientParam::PriceWithSpread, py::arg("BuySell"))
      .def("ClosePriceWithSpread", &CClientParam::ClosePriceWithSpread, py::arg("vBuySell"));
  Class<CClientParams> params(m, "CClientParams");
  BindCollection<decltype(params), CClientParams>(params);
}

void BindClients(py::module_& m) {
  Class<CClient>(m, "CClient")
      .ORVANE_READONLY(CClient, ClientID)
      .ORVANE_READONLY(CClient, ParentID)
      .ORVANE_READONLY(CClient, ClientType)
      .ORVANE_PROPERTY(CClient, bool, EnableInterest)
      .ORVANE_PROPERTY(CClient, double, LiquidationPoint)
      .ORVANE_PROPERTY(CClient, LiquidationTypeEnum, LiquidationType)
      .ORVANE_PROPERTY(CClient, CommCalcTypeEnum, CommCalcType)
      .ORVANE_PROPERTY(CClient, bool, ParamsLoaded)
      .ORVANE_READONLY(CClient, FirstName)
      .ORVANE_READONLY(CClient, FullName)
      .ORVANE_READONLY(CClient, Username)
      .ORVANE_READONLY(CClient, Accounts)
      .ORVANE_READONLY(CClient, Alerts)
      .ORVANE_READONLY(CClient, Params)
      .def("SymbolParam", &CClient::SymbolParam, py::arg("SymbolID"));
  Class<CClients> clients(m, "CClients");
  BindCollection<decltype(clients), CClients>(clients);
}

void BindSummaries(py::module_& m) {
  Class<CSummaries>(m, "CSummaries")
      .ORVANE_PROPERTY(CSummaries, double, PreviousMargin)
      .ORVANE_PROPERTY(CSummaries, double, TotalDeposit)
      .ORVANE_PROPERTY(CSummaries, double, TotalCommission)
      .ORVANE_PROPERTY(CSummaries, double, TotalInterest)
      .ORVANE_PROPERTY(CSummaries, double, MarginRequirement)
      .ORVANE_PROPERTY(CSummaries, double, NetProfit)
      .ORVANE_PROPERTY(CSummaries, double, Credit)
      .ORVANE_PROPERTY(CSummaries, bool, MarginAccount)
      .ORVANE_READONLY(CSummaries, FloatingProfitLoss)
      .ORVANE_READONLY(CSummaries, FloatingValue)
      .ORVANE_READONLY(CSummaries, Balance)
      .ORVANE_READONLY(CSummaries, Cash)
      .ORVANE_READONLY(CSummaries, Equity)
      .ORVANE_READONLY(CSummaries, marginLevel)
      .ORVANE_READONLY(CSummaries, EffectiveMargin)
      .def("Copy", &CSummaries::Copy);
}

void BindAccount(py::module_& m) {
  Class<CAccount>(m, "CAccount")
      .ORVANE_READONLY(CAccount, ClientID)
      .ORVANE_READONLY(CAccount, AccountID)
      .ORVANE_READONLY(CAccount, SummeryInfo)
      .ORVANE_READONLY(CAccount, OpenPositions)
      .ORVANE_READONLY(CAccount, Orders)
      .ORVANE_READONLY(CAccount, AccountType)
      .ORVANE_READONLY(CAccount, Locked)
      .ORVANE_READONLY(CAccount, DemoAccount)
      .ORVANE_READONLY(CAccount, DontLiquidate)
      .ORVANE_READONLY(CAccount, LockLiquidate)
      .ORVANE_READONLY(CAccount, Client);
  Class<CAccounts> accounts(m, "CAccounts");
  BindCollection<decltype(accounts), CAccounts>(accounts);
}

void BindPositions(py::module_& m) {
  Class<COpenPosition>(m, "COpenPosition")
      .ORVANE_READONLY(COpenPosition, Ticket)
      .ORVANE_READONLY(COpenPosition, Type_no)
      .ORVANE_READONLY(COpenPosition, lots)
      .ORVANE_READONLY(COpenPosition, Price)
      .ORVANE_READONLY(COpenPosition, Interest)
      .ORVANE_READONLY(COpenPosition, Liquidated)
      .ORVANE_READONLY(COpenPosition, PosTime)
      .ORVANE_READONLY(COpenPosition, Note)
      .ORVANE_READONLY(COpenPosition, SymbolParam)
      .ORVANE_READONLY(COpenPosition, Account)
      .ORVANE_READONLY(COpenPosition, Commission)
      .def("FloatingProfitLoss", &COpenPosition::FloatingProfitLoss, py::arg("vCommCalcType"))
      .def("ClosePrice", &COpenPosition::ClosePrice)
      .def("RefClosePrice", &COpenPosition::RefClosePrice);
  Class<COpenPositions> positions(m, "COpenPositions");
  BindCollection<decltype(positions), COpenPositions>(positions);
}

void BindOrders(py::module_& m) {
  Class<COrder>(m, "COrder")
      .ORVANE_READONLY(COrder, OrderId)
      .ORVANE_READONLY(COrder, OrderType)
      .ORVANE_READONLY(COrder, operationType)
      .ORVANE_READONLY(COrder, IoID)
      .ORVANE_READONLY(COrder, lots)
      .ORVANE_READONLY(COrder, LimitPrice)
      .ORVANE_READONLY(COrder, slPrice)
      .ORVANE_READONLY(COrder, tpPrice)
      .ORVANE_PROPERTY(COrder, int16_t, status)
      .ORVANE_READONLY(COrder, hitPrice)
      .ORVANE_READONLY(COrder, hitTime)
      .ORVANE_READONLY(COrder, OrderTime)
      .ORVANE_READONLY(COrder, Note)
      .ORVANE_READONLY(COrder, SymbolParam)
      .ORVANE_READONLY(COrder, Account);
  Class<COrders> orders(m, "COrders");
  BindCollection<decltype(orders), COrders>(orders);
}

void BindAlerts(py::module_& m) {
  Class<CAlert>(m, "CAlert")
      .ORVANE_READONLY(CAlert, ID)
      .ORVANE_READONLY(CAlert, ClientID)
      .ORVANE_READONLY(CAlert, SymbolID)
      .ORVANE_READONLY(CAlert, Symbol)
      .ORVANE_READONLY(CAlert, AlertCondition)
      .ORVANE_READONLY(CAlert, AlertValue)
      .ORVANE_READONLY(CAlert, hitTime)
      .ORVANE_READONLY(CAlert, hitPrice);
  Class<CAlerts> alerts(m, "CAlerts");
  BindCollection<decltype(alerts), CAlerts>(alerts);
}

}  // namespace

void BindAccounts(py::module_& m) {
  BindAccountEnums(m);
  BindClientParams(m);
  BindClients(m);
  BindSummaries(m);
  BindAccount(m);
  BindPositions(m);
  BindOrders(m);
  BindAlerts(m);
}

}  // namespace orvane::python
