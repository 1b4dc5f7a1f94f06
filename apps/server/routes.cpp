#include "routes.h"

namespace orvane::apps {

const std::vector<Route>& routes() {
  static const std::vector<Route> routes = {
      {GET_ALL_SYMBOLS_TOKEN, kClientsAndDealers, NonePriv, "read the symbols"},
      {GET_CLIENT_INFO_TOKEN, kClientsAndDealers, NonePriv, "read the client's parameters"},
      {START_MARKET_TOKEN, kClientsAndDealers, NonePriv, "receive prices"},
      {GET_ACCOUNTS_TOKEN, kClientsAndDealers, NonePriv, "read the accounts"},
      {GETOPENPOS_TOKEN, kClientsAndDealers, NonePriv, "read the open positions"},
      {GET_PENDING_ORDERS_TOKEN, kClientsAndDealers, NonePriv, "read the pending orders"},
      {GET_SUMMARIES_TOKEN, kClientsAndDealers, NonePriv, "read the account figures"},
      {GET_ONE_POS_TOKEN, kClients, NonePriv, "read a position"},
      {GET_PRIVS_TOKEN, kClientsAndDealers, NonePriv, "read the user's privileges"},
      {GET_ACCOUNT_HISTORY_TOKEN, kClients, StatementShowPriv, "read the account history"},
      {NEW_ORDER_TOKEN, kClients, OpenClosePositionsPriv, "open positions", true},
      {CLOSE_POS_ORDER_TOKEN, kClients, OpenClosePositionsPriv, "close positions", true},
      {CLOSE_HEDGE_TOKEN, kClients, OpenClosePositionsPriv, "close positions", true},
      {NEW_LIMIT_ORDER_TOKEN, kClients, OpenLimitOrdersPriv, "place entry orders", true},
      {UPDATE_LIMIT_ORDER_TOKEN, kClients, OpenLimitOrdersPriv, "change entry orders", true},
      {DELETE_LIMIT_ORDER_TOKEN, kClients, OpenLimitOrdersPriv, "delete entry orders", true},
      {NEW_SL_TP_TOKEN, kClients, OpenClosePositionsPriv, "set stop-loss and take-profit", true},
      {UPDATE_SL_TP_ORDER_TOKEN, kClients, OpenClosePositionsPriv,
       "change stop-loss and take-profit", true},
      {DELETE_SL_TP_ORDER_TOKEN, kClients, OpenClosePositionsPriv,
       "delete stop-loss and take-profit", true},
      {GET_SL_TP_TOKEN, kClients, NonePriv, "read stop-loss and take-profit orders"},
      // A dealer's commands; a money transaction needs the privilege of its
      // kind (DepositPriv, WithdrawalPriv, CreditInPriv, CreditOutPriv,
      // AdjustmentPriv), checked by its handler.
      {ACCOUNT_TRANS_TOKEN, kDealers, NonePriv, "book money transactions", true},
      {NEW_POSITION_TOKEN, kDealers, ManualOpenClosePositionsPriv, "open positions by hand", true},
      {CLOSE_POSITION_TOKEN, kDealers, ManualOpenClosePositionsPriv, "close positions by hand",
       true},
      {NEW_CLIENT_TOKEN, kDealers, CreateClientsPriv, "create clients", true},
      {NEW_ACCOUNT_TOKEN, kDealers, OpenAccountsPriv, "open accounts", true},
      {UPDATE_CLIENT_INFO_TOKEN, kDealers, OnOffAutoLiquidationPriv,
       "switch auto-liquidation on or off", true},
      {BROADCAST_MSG_TOKEN, kDealers, BroadcastMessagesPriv, "broadcast messages", true},
      {DISCONNECT_SESSION_TOKEN, kDealers, DisconnectClientsPriv, "disconnect clients", true},
      // Negotiated market orders: an answer's first parameter is the
      // negotiation's id, refused under its token like an order.
      {CHAT_ON_TOKEN, kDealers, ChattingPriv, "take orders to deal"},
      {CHAT_OFF_TOKEN, kDealers, ChattingPriv, "take orders to deal"},
      {MARKET_ORDER_TOKEN, kDealers, ChattingPriv, "read the orders in negotiation"},
      {DLR_ACCEPT_MARKET_ORDER_TOKEN, kDealers, Chatting_AcceptOrdersPriv, "accept orders", true},
      {DLR_REJECT_MARKET_ORDER_TOKEN, kDealers, Chatting_RejectOrdersPriv, "reject orders", true},
      {DLR_CHANGE_MARKET_ORDER_TOKEN, kDealers, Chatting_ChangePricesPriv, "re-quote orders",
       true},
      {ACCEPT_ORDER_TOKEN, kClients, OpenClosePositionsPriv, "answer a new price", true},
      {REJECT_ORDER_TOKEN, kClients, OpenClosePositionsPriv, "answer a new price", true},
  };
  return routes;
}

const Route* route_of(TokensEnum token) {
  for (const Route& route : routes()) {
    if (route.token == token) return &route;
  }
  return nullptr;
}

}  // namespace orvane::apps
