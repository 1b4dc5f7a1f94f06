#include "routes.h"

namespace orvane::apps {

const std::vector<Route>& Routes() {
  static const std::vector<Route> routes = {
      {GET_ALL_SYMBOLS_TOKEN, CLIENT_USER_TYPE, NonePriv, "read the symbols"},
      {GET_CLIENT_INFO_TOKEN, CLIENT_USER_TYPE, NonePriv, "read the client's parameters"},
      {START_MARKET_TOKEN, CLIENT_USER_TYPE, NonePriv, "receive prices"},
      {GET_ACCOUNTS_TOKEN, CLIENT_USER_TYPE, NonePriv, "read the accounts"},
      {GETOPENPOS_TOKEN, CLIENT_USER_TYPE, NonePriv, "read the open positions"},
      {GET_PENDING_ORDERS_TOKEN, CLIENT_USER_TYPE, NonePriv, "read the pending orders"},
      {GET_SUMMARIES_TOKEN, CLIENT_USER_TYPE, NonePriv, "read the account figures"},
      {GET_ONE_POS_TOKEN, CLIENT_USER_TYPE, NonePriv, "read a position"},
      {GET_PRIVS_TOKEN, CLIENT_USER_TYPE, NonePriv, "read the user's privileges"},
      {GET_ACCOUNT_HISTORY_TOKEN, CLIENT_USER_TYPE, StatementShowPriv, "read the account history"},
      {NEW_ORDER_TOKEN, CLIENT_USER_TYPE, OpenClosePositionsPriv, "open positions", true},
      {CLOSE_POS_ORDER_TOKEN, CLIENT_USER_TYPE, OpenClosePositionsPriv, "close positions", true},
      {CLOSE_HEDGE_TOKEN, CLIENT_USER_TYPE, OpenClosePositionsPriv, "close positions", true},
      {NEW_LIMIT_ORDER_TOKEN, CLIENT_USER_TYPE, OpenLimitOrdersPriv, "place entry orders", true},
      {UPDATE_LIMIT_ORDER_TOKEN, CLIENT_USER_TYPE, OpenLimitOrdersPriv, "change entry orders", true},
      {DELETE_LIMIT_ORDER_TOKEN, CLIENT_USER_TYPE, OpenLimitOrdersPriv, "delete entry orders", true},
      {NEW_SL_TP_TOKEN, CLIENT_USER_TYPE, OpenClosePositionsPriv, "set stop-loss and take-profit", true},
      {UPDATE_SL_TP_ORDER_TOKEN, CLIENT_USER_TYPE, OpenClosePositionsPriv,
       "change stop-loss and take-profit", true},
      {DELETE_SL_TP_ORDER_TOKEN, CLIENT_USER_TYPE, OpenClosePositionsPriv,
       "delete stop-loss and take-profit", true},
      {GET_SL_TP_TOKEN, CLIENT_USER_TYPE, NonePriv, "read stop-loss and take-profit orders"},
  };
  return routes;
}

const Route* RouteOf(TokensEnum token) {
  for (const Route& route : Routes()) {
    if (route.token == token) return &route;
  }
  return nullptr;
}

}  // namespace orvane::apps
