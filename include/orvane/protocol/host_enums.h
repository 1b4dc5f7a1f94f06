#ifndef ORVANE_PROTOCOL_HOST_ENUMS_H_
#define ORVANE_PROTOCOL_HOST_ENUMS_H_

#include <cstdint>

// Enumerations that travel in the hosts' messages and settings. The library
// declares them with their fixed values and interprets none of them.
namespace orvane {

// The reports a manager terminal asks the server for.
enum ManagerReportsTypeEnum : int32_t {
  SymbolTypesLotsReport = 1,
  TransactionsLogReport = 2,
  DpWdAjCiCoReport = 3,
  MarketOrdersHistoryReport = 4,
  PendingOrdersReport = 5,
  SymbolsLotsReport = 6,
  AccountsStatusReport = 7,
  DetailOpenPositionsReport = 8,
  SummaryOpenPositionsReport = 9,
  AccountsInfoReport = 10,
  SMSReport = 11,
  MaintenanceMCallReport = 12,
  LoginHistoryReport = 13,
};

// The role of a trading server.
enum ServerTypeEnum : int32_t {
  RealServerType = 1,
  MaintenanceServerType = 2,
  RouterServerType = 3,
  BackupServerType = 4,
};

// The kinds of a dealer's settings.
enum DealerParamTypeEnum : int32_t {
  HasSymbolType = 1,
  HasPrivType = 21,
  SlideNewsType = 41,
};

// Why a session was disconnected.
enum DisconnectSessionTypeEnum : int32_t {
  FromAnotherSessionDisconnect = 1,
  DealerDisconnect = 2,
};

// Whether a dealer order is a new request or a pending one.
enum ChatTypeEnum : int32_t {
  REQUEST_TYPE = 1,
  PENDING_TYPE = 2,
};

}  // namespace orvane

#endif  // ORVANE_PROTOCOL_HOST_ENUMS_H_
