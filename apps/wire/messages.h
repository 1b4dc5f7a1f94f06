#ifndef ORVANE_APPS_WIRE_MESSAGES_H_
#define ORVANE_APPS_WIRE_MESSAGES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "change.h"
#include "orvane/protocol/tokens_enum.h"
#include "records.h"

namespace orvane {
class CProcess;
}  // namespace orvane

// The messages the reference server and terminal exchange: every layout of
// parameters lives here (the framing is the library's, rows are in rows.h).
// Requests carry the session's SID; everything else is a response.
//
//   terminal asks                  server answers
//   LOGIN LogOn                    LOGIN LoggedOn | ERROR Refusal(-1), then closes
//   GET_ALL_SYMBOLS                count + one SymbolRow per symbol, raw quotes
//   GET_CLIENT_INFO                count + one ClientRow (with its parameters text)
//   GET_ACCOUNTS                   count + one AccountRow per account of the client
//   GETOPENPOS                     count + one PositionRow per open position
//   GET_PENDING_ORDERS             count + one OrderRow per pending order
//   START_MARKET                   RESULT_OK, then a Price of every symbol at once
//                                  and of every quote after
//   GET_SUMMARIES                  count + one FiguresRow per account of the client
//   GET_ONE_POS PositionQuery      count + the PositionRow (none when not the client's)
//   GET_PRIVS                      count + one row: the user's privilege numbers
//   GET_ACCOUNT_HISTORY HistoryQuery  count + one HistoryRow per entry, oldest first
//   NEW_ORDER OpenRequest          NEW_ORDER OrderAnswer
//   CLOSE_POS_ORDER CloseRequest   CLOSE_POS_ORDER OrderAnswer
//   CLOSE_HEDGE HedgeRequest       CLOSE_HEDGE OrderAnswer
//   NEW_LIMIT_ORDER EntryRequest   NEW_LIMIT_ORDER OrderAnswer (ticket: the order)
//   UPDATE_LIMIT_ORDER EntryChangeRequest   UPDATE_LIMIT_ORDER OrderAnswer
//   DELETE_LIMIT_ORDER EntryDeleteRequest   DELETE_LIMIT_ORDER OrderAnswer
//   NEW_SL_TP GuardRequest         NEW_SL_TP OrderAnswer (ticket: the order)
//   UPDATE_SL_TP_ORDER GuardChangeRequest   UPDATE_SL_TP_ORDER OrderAnswer
//   DELETE_SL_TP_ORDER GuardDeleteRequest   DELETE_SL_TP_ORDER OrderAnswer
//   GET_SL_TP GuardQuery           count + one OrderRow per order guarding the position
//
//   a dealer asks (its queries above answer for every client it acts for)
//   ACCOUNT_TRANS MoneyRequest     ACCOUNT_TRANS OrderAnswer (ticket: the account)
//   NEW_POSITION ManualOpenRequest    NEW_POSITION OrderAnswer (ticket: the position)
//   CLOSE_POSITION ManualCloseRequest CLOSE_POSITION OrderAnswer
//   NEW_CLIENT NewClientRequest    NEW_CLIENT OrderAnswer (ticket: the client)
//   NEW_ACCOUNT NewAccountRequest  NEW_ACCOUNT OrderAnswer (ticket: the account)
//   UPDATE_CLIENT_INFO AutoLiquidationRequest  UPDATE_CLIENT_INFO OrderAnswer
//   BROADCAST_MSG BroadcastRequest BROADCAST_MSG OrderAnswer; MESSAGE TextPush to
//                                  the sessions of the clients it acts for
//   DISCONNECT_SESSION DisconnectRequest  DISCONNECT_SESSION OrderAnswer; the
//                                  client's sessions are told ERROR(-1) and closed
//   RESULT_LOST LostRow            that row of the last multi-row answer again
//   CONNECT_HANDCHAKE              nothing (a terminal's sign of life)
//   DISCONNECT                     closes the connection
//   anything else                  ERROR Refusal: -500 wrong SID, -501 unknown
//                                  command, -502 bad parameter, -503 not allowed
//
//   server pushes                  to (a client's sessions: also every dealer
//                                  who acts for the client)
//   MARKET_DATA Price              every session that started the market: the
//                                  symbol's raw quote, the same bytes for all
//   NEW_OPEN_POSITION              the client's sessions
//   UPDATE_OPEN_POSITION           the client's sessions (a partial close, or
//                                  interest booked at a rollover)
//   CLOSE_OPEN_POSITION            the client's sessions
//   NEW_ACCOUNT_HISTORY HistoryPush  the client's sessions
//   POSITIONS_CLOSED_BY_HEDGE HedgePush  the client's sessions
//   NEW_PENDING_ORDER OrderPlacedPush        the client's sessions
//   LIMIT_ORDER_UPDATED EntryChangedPush     the client's sessions
//   SLTP_ORDER_UPDATED GuardChangedPush      the client's sessions
//   DELETE_PENDING_ORDER OrderRemovedPush    the client's sessions (with why)
//   SUMMARIES_CHANGED              the client's sessions
//   ACCOUNT_LIQUIDATED             the client's sessions
//   MESSAGE TextPush               the client's sessions (an alert that fired)
//   CONNECT_HANDCHAKE              every session, every second
//   STOP_FEED                      every session, when a bounded feed has ended
namespace orvane::apps::wire {

// Refusal codes besides the protocol's own (-500, -501, -502).
constexpr int32_t kLoginRefused = -1;
constexpr int32_t kNotAllowed = -503;

struct LogOn {
  static constexpr TokensEnum kToken = LOGIN_TOKEN;
  std::string username;
  std::string password;
};

struct LoggedOn {
  static constexpr TokensEnum kToken = LOGIN_TOKEN;
  int32_t sid = 0;
  int32_t client = 0;
  // The highest order number the server has seen from this user: the
  // terminal numbers its next orders from here, across restarts.
  int32_t last_order = 0;
  std::string market_time;  // dd/mm/yyyy hh:nn:ss; empty before any quote
  // The platform's settings, as CGlobalVar::SetValues takes them.
  std::string settings;
};

// A request refused: a code, a text a person can act on, and the token of
// the request.
struct Refusal {
  static constexpr TokensEnum kToken = ERROR_TOKEN;
  int32_t code = 0;
  std::string text;
  int32_t token = 0;
};

struct LostRow {
  static constexpr TokensEnum kToken = RESULT_LOST_TOKEN;
  int32_t row = 0;  // 1-based
};

// A symbol's raw quote; `sequence` counts the symbol's quotes, so a
// terminal sees one that went missing.
struct Price {
  static constexpr TokensEnum kToken = MARKET_DATA_TOKEN;
  int32_t symbol = 0;
  double bid = 0;
  double ask = 0;
  std::string time;  // dd/mm/yyyy hh:nn:ss, market time
  int32_t sequence = 0;
};

struct PositionQuery {
  static constexpr TokensEnum kToken = GET_ONE_POS_TOKEN;
  int32_t account = 0;
  int32_t ticket = 0;
};

struct HistoryQuery {
  static constexpr TokensEnum kToken = GET_ACCOUNT_HISTORY_TOKEN;
  int32_t account = 0;
};

// A market order that opens a position.
struct OpenRequest {
  static constexpr TokensEnum kToken = NEW_ORDER_TOKEN;
  int32_t number = 0;  // the user's own order number, never used before
  int32_t account = 0;
  int32_t symbol = 0;
  int32_t direction = 0;  // BuyType or SellType
  double lots = 0;
  double price = 0;  // the price the client saw: its ask for a buy, its bid for a sell
};

// A market order that closes a position, whole (lots 0) or in part.
struct CloseRequest {
  static constexpr TokensEnum kToken = CLOSE_POS_ORDER_TOKEN;
  int32_t number = 0;
  int32_t account = 0;
  int32_t ticket = 0;
  double lots = 0;
  double price = 0;  // the price the client saw the position close at
};

// A market order that closes a buy against a sell of one symbol and account.
struct HedgeRequest {
  static constexpr TokensEnum kToken = CLOSE_HEDGE_TOKEN;
  int32_t number = 0;
  int32_t account = 0;
  int32_t ticket = 0;
  int32_t other = 0;
};

// An entry order: a buy limit (1), buy stop (2), sell limit (-1) or sell
// stop (-2) that opens a position when the client's price reaches `price`;
// its stop-loss and take-profit (0: none) then guard that position.
struct EntryRequest {
  static constexpr TokensEnum kToken = NEW_LIMIT_ORDER_TOKEN;
  int32_t number = 0;
  int32_t account = 0;
  int32_t symbol = 0;
  int32_t direction = 0;
  double lots = 0;
  double price = 0;
  double sl = 0;
  double tp = 0;
  std::string expiry;  // dd/mm/yyyy hh:nn:ss; empty: until deleted
};

// An entry order's new lots, price, levels and expiry.
struct EntryChangeRequest {
  static constexpr TokensEnum kToken = UPDATE_LIMIT_ORDER_TOKEN;
  int32_t number = 0;
  int32_t account = 0;
  int32_t order = 0;
  double lots = 0;
  double price = 0;
  double sl = 0;
  double tp = 0;
  std::string expiry;
};

// A stop-loss and take-profit order (0: no such level) on a position.
struct GuardRequest {
  static constexpr TokensEnum kToken = NEW_SL_TP_TOKEN;
  int32_t number = 0;
  int32_t account = 0;
  int32_t ticket = 0;
  double sl = 0;
  double tp = 0;
};

struct GuardChangeRequest {
  static constexpr TokensEnum kToken = UPDATE_SL_TP_ORDER_TOKEN;
  int32_t number = 0;
  int32_t account = 0;
  int32_t order = 0;
  double sl = 0;
  double tp = 0;
};

// A pending order to delete; the two kinds share the layout.
struct OrderDeletion {
  int32_t number = 0;
  int32_t account = 0;
  int32_t order = 0;
};
struct EntryDeleteRequest : OrderDeletion {
  static constexpr TokensEnum kToken = DELETE_LIMIT_ORDER_TOKEN;
};
struct GuardDeleteRequest : OrderDeletion {
  static constexpr TokensEnum kToken = DELETE_SL_TP_ORDER_TOKEN;
};

struct GuardQuery {
  static constexpr TokensEnum kToken = GET_SL_TP_TOKEN;
  int32_t account = 0;
  int32_t ticket = 0;
};

// A pending order as it now stands, as an order row; the pushes of a new
// order and of a changed one share the layout.
struct OrderMessage {
  model::Order order;
};
struct OrderPlacedPush : OrderMessage {
  static constexpr TokensEnum kToken = NEW_PENDING_ORDER_TOKEN;
};
struct EntryChangedPush : OrderMessage {
  static constexpr TokensEnum kToken = LIMIT_ORDER_UPDATED_TOKEN;
};
struct GuardChangedPush : OrderMessage {
  static constexpr TokensEnum kToken = SLTP_ORDER_UPDATED_TOKEN;
};

// A buy and a sell closed against each other.
struct HedgePush {
  static constexpr TokensEnum kToken = POSITIONS_CLOSED_BY_HEDGE_TOKEN;
  int32_t client = 0;
  int32_t account = 0;
  int32_t buy = 0;
  int32_t sell = 0;
  double lots = 0;
};

// The outcome of an order, under the request's token: code 0 executed
// (ticket and price of the execution), otherwise refused with a text (a
// re-quote carries the current price).
struct OrderAnswer {
  int32_t number = 0;
  int32_t code = 0;
  std::string text;
  int32_t ticket = 0;
  double price = 0;
};

struct PositionOpenedPush {
  static constexpr TokensEnum kToken = NEW_OPEN_POSITION_TOKEN;
  model::Position position;
  std::string symbol_name;
  bool has_sl = false;
  bool has_tp = false;
};

// Part of a position's lots closed, or interest booked to it at a rollover:
// the position as it now stands.
struct PositionChangedPush {
  static constexpr TokensEnum kToken = UPDATE_OPEN_POSITION_TOKEN;
  model::Position position;
  std::string symbol_name;
  bool has_sl = false;
  bool has_tp = false;
};

// A new entry of an account's history, as a history row.
struct HistoryPush {
  static constexpr TokensEnum kToken = NEW_ACCOUNT_HISTORY_TOKEN;
  model::HistoryEntry entry;
  std::string symbol_name;
};

struct PositionClosedPush {
  static constexpr TokensEnum kToken = CLOSE_OPEN_POSITION_TOKEN;
  model::PositionClosed closed;
};

struct OrderRemovedPush {
  static constexpr TokensEnum kToken = DELETE_PENDING_ORDER_TOKEN;
  model::OrderRemoved removed;
};

struct TotalsPush {
  static constexpr TokensEnum kToken = SUMMARIES_CHANGED_TOKEN;
  model::TotalsBooked booked;
};

struct LiquidatedPush {
  static constexpr TokensEnum kToken = ACCOUNT_LIQUIDATED_TOKEN;
  int32_t client = 0;
  int32_t account = 0;
};

struct TextPush {
  static constexpr TokensEnum kToken = MESSAGE_TOKEN;
  std::string text;
};

// What a dealer asks. Each request carries the dealer's own number first,
// as a client's order does, and is answered with an OrderAnswer under its
// token (ticket: the account, client or position it made or touched).
//
// A money transaction: kind 1 deposit, 2 withdrawal, 3 credit in, 4 credit
// out, 5 adjustment (of the net profit, either way).
struct MoneyRequest {
  static constexpr TokensEnum kToken = ACCOUNT_TRANS_TOKEN;
  int32_t number = 0;
  int32_t account = 0;
  int32_t kind = 0;
  double amount = 0;
  std::string note;
};
// A position opened by hand for a client at the dealer's price.
struct ManualOpenRequest {
  static constexpr TokensEnum kToken = NEW_POSITION_TOKEN;
  int32_t number = 0;
  int32_t account = 0;
  int32_t symbol = 0;
  int32_t direction = 0;
  double lots = 0;
  double price = 0;
};
// A position closed by hand, whole (lots 0) or in part, at the dealer's price.
struct ManualCloseRequest {
  static constexpr TokensEnum kToken = CLOSE_POSITION_TOKEN;
  int32_t number = 0;
  int32_t account = 0;
  int32_t ticket = 0;
  double lots = 0;
  double price = 0;
};
// A new client (id 0: the next free number) under `parent` (0: none), with
// the user it logs on as and its parameters text.
struct NewClientRequest {
  static constexpr TokensEnum kToken = NEW_CLIENT_TOKEN;
  int32_t number = 0;
  int32_t id = 0;
  int32_t parent = 0;
  std::string username;
  std::string password;
  std::string privileges;  // numbers separated by ","
  std::string parameters;
  int32_t liquidation_type = 0;
  double liquidation_point = 0;
  int32_t comm_calc_type = 1;
  bool manual_dealing = false;
  std::string name;
};
// A new account (number 0: the next free one) of a client.
struct NewAccountRequest {
  static constexpr TokensEnum kToken = NEW_ACCOUNT_TOKEN;
  int32_t number = 0;
  int32_t client = 0;
  int32_t account = 0;
  int32_t type = 1;  // 0 demo, 1 normal, 2 coverage
  bool margin_account = false;
};
// A client's auto-liquidation switched on or off.
struct AutoLiquidationRequest {
  static constexpr TokensEnum kToken = UPDATE_CLIENT_INFO_TOKEN;
  int32_t number = 0;
  int32_t client = 0;
  bool on = true;
};
// A text to every logged-on session of the clients the dealer acts for.
struct BroadcastRequest {
  static constexpr TokensEnum kToken = BROADCAST_MSG_TOKEN;
  int32_t number = 0;
  std::string text;
};
// Closes every session of a client the dealer acts for.
struct DisconnectRequest {
  static constexpr TokensEnum kToken = DISCONNECT_SESSION_TOKEN;
  int32_t number = 0;
  int32_t client = 0;
};

// A market order of a client dealt by hand, as it stands in its
// negotiation. The server pushes it under the token that says what
// happened:
//   MARKET_ORDER_RECIEVED   to the client: the order waits for a dealer
//   SEND_TO_CHAT            to the dealer it was sent to: answer it
//   DLR_CHANGE_MARKET_ORDER to the client: the dealer re-quoted `dealer_price`;
//                           accept or reject it within PriceChangedTimer
//   MARKET_ORDER            to both: its status changed (accepted,
//                           rejected, client's answer to a re-quote)
//   SWITCH_ORDER            to a dealer: it went to another dealer
//   TIMER_EXPIRED           to both: nobody answered in time
// and, to a dealer, as the rows of MARKET_ORDER (the negotiations it
// holds). The client's order itself is answered under its own token
// (NEW_ORDER or CLOSE_POS_ORDER) once the negotiation ends.
struct Negotiation {
  int32_t id = 0;
  int32_t number = 0;  // the client's order number
  int32_t client = 0;
  int32_t account = 0;
  int32_t symbol = 0;
  int32_t direction = 0;  // BuyType or SellType; a close: the position's
  double lots = 0;
  double price = 0;         // the price the client asked
  int32_t ticket = 0;       // the position a close closes; 0 opens one
  double dealer_price = 0;  // a re-quote's or the execution's price
  int32_t status = 0;       // MarketOrderStatusEnum
  std::string text;         // MarketOrderStatusDesc of the status
  std::string dealer;       // the dealer holding it; empty for none
};
struct NegotiationPush {
  TokensEnum token = MARKET_ORDER_TOKEN;
  Negotiation negotiation;
};
// A dealer's or a client's answer in a negotiation, under its token:
// DLR_ACCEPT_MARKET_ORDER (at `price`), DLR_REJECT_MARKET_ORDER,
// DLR_CHANGE_MARKET_ORDER (a re-quote at `price`), ACCEPT_ORDER and
// REJECT_ORDER (the client's answer to a re-quote; price unread). Answered
// with an OrderAnswer under the same token whose number is the id.
struct NegotiationAnswer {
  int32_t id = 0;
  double price = 0;
};

// The parameters of each message, in order.
std::vector<std::string> encode(const LogOn& m);
std::vector<std::string> encode(const LoggedOn& m);
std::vector<std::string> encode(const Refusal& m);
std::vector<std::string> encode(const LostRow& m);
std::vector<std::string> encode(const Price& m);
std::vector<std::string> encode(const PositionQuery& m);
std::vector<std::string> encode(const HistoryQuery& m);
std::vector<std::string> encode(const HedgeRequest& m);
std::vector<std::string> encode(const HedgePush& m);
std::vector<std::string> encode(const OpenRequest& m);
std::vector<std::string> encode(const CloseRequest& m);
std::vector<std::string> encode(const OrderAnswer& m);
std::vector<std::string> encode(const PositionOpenedPush& m);
std::vector<std::string> encode(const PositionChangedPush& m);
std::vector<std::string> encode(const HistoryPush& m);
std::vector<std::string> encode(const PositionClosedPush& m);
std::vector<std::string> encode(const OrderRemovedPush& m);
std::vector<std::string> encode(const TotalsPush& m);
std::vector<std::string> encode(const LiquidatedPush& m);
std::vector<std::string> encode(const TextPush& m);
std::vector<std::string> encode(const EntryRequest& m);
std::vector<std::string> encode(const EntryChangeRequest& m);
std::vector<std::string> encode(const GuardRequest& m);
std::vector<std::string> encode(const GuardChangeRequest& m);
std::vector<std::string> encode(const OrderDeletion& m);
std::vector<std::string> encode(const GuardQuery& m);
std::vector<std::string> encode(const OrderMessage& m);
std::vector<std::string> encode(const MoneyRequest& m);
std::vector<std::string> encode(const ManualOpenRequest& m);
std::vector<std::string> encode(const ManualCloseRequest& m);
std::vector<std::string> encode(const NewClientRequest& m);
std::vector<std::string> encode(const NewAccountRequest& m);
std::vector<std::string> encode(const AutoLiquidationRequest& m);
std::vector<std::string> encode(const BroadcastRequest& m);
std::vector<std::string> encode(const DisconnectRequest& m);
std::vector<std::string> encode(const Negotiation& m);
std::vector<std::string> encode(const NegotiationAnswer& m);

// Reads a received message back; false (message untouched) when a
// parameter is missing or does not read. The token is not checked.
bool decode(const CProcess& process, LogOn& m);
bool decode(const CProcess& process, LoggedOn& m);
bool decode(const CProcess& process, Refusal& m);
bool decode(const CProcess& process, LostRow& m);
bool decode(const CProcess& process, Price& m);
bool decode(const CProcess& process, PositionQuery& m);
bool decode(const CProcess& process, HistoryQuery& m);
bool decode(const CProcess& process, HedgeRequest& m);
bool decode(const CProcess& process, HedgePush& m);
bool decode(const CProcess& process, OpenRequest& m);
bool decode(const CProcess& process, CloseRequest& m);
bool decode(const CProcess& process, OrderAnswer& m);
bool decode(const CProcess& process, PositionOpenedPush& m);
bool decode(const CProcess& process, PositionChangedPush& m);
bool decode(const CProcess& process, HistoryPush& m);
bool decode(const CProcess& process, PositionClosedPush& m);
bool decode(const CProcess& process, OrderRemovedPush& m);
bool decode(const CProcess& process, TotalsPush& m);
bool decode(const CProcess& process, LiquidatedPush& m);
bool decode(const CProcess& process, TextPush& m);
bool decode(const CProcess& process, EntryRequest& m);
bool decode(const CProcess& process, EntryChangeRequest& m);
bool decode(const CProcess& process, GuardRequest& m);
bool decode(const CProcess& process, GuardChangeRequest& m);
bool decode(const CProcess& process, OrderDeletion& m);
bool decode(const CProcess& process, GuardQuery& m);
bool decode(const CProcess& process, OrderMessage& m);
bool decode(const CProcess& process, MoneyRequest& m);
bool decode(const CProcess& process, ManualOpenRequest& m);
bool decode(const CProcess& process, ManualCloseRequest& m);
bool decode(const CProcess& process, NewClientRequest& m);
bool decode(const CProcess& process, NewAccountRequest& m);
bool decode(const CProcess& process, AutoLiquidationRequest& m);
bool decode(const CProcess& process, BroadcastRequest& m);
bool decode(const CProcess& process, DisconnectRequest& m);
bool decode(const CProcess& process, Negotiation& m);
bool decode(const CProcess& process, NegotiationAnswer& m);

// A negotiation as one row (MARKET_ORDER's answer) and back.
std::string negotiation_row(const Negotiation& m);
bool read_negotiation_row(std::string_view row, Negotiation& m);

// Whole message texts, framed by the library.
std::string response_text(TokensEnum token, const std::vector<std::string>& parameters = {});
std::string request_text(int32_t sid, TokensEnum token,
                        const std::vector<std::string>& parameters = {});

template <typename Message>
std::string response(const Message& message) {
  return response_text(Message::kToken, encode(message));
}

inline std::string response(const NegotiationPush& push) {
  return response_text(push.token, encode(push.negotiation));
}
template <typename Message>
std::string request(int32_t sid, const Message& message) {
  return request_text(sid, Message::kToken, encode(message));
}

}  // namespace orvane::apps::wire

#endif  // ORVANE_APPS_WIRE_MESSAGES_H_
