#ifndef ORVANE_APPS_COMMON_WIRE_H_
#define ORVANE_APPS_COMMON_WIRE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "orvane/core/date_time.h"
#include "change.h"
#include "records.h"

// The parameter lists of the messages the reference server and terminal
// exchange (the framing is the library's). Numbers travel in their shortest
// text that reads back to the same double, so figures cross the wire
// exactly. Requests carry the session's SID; everything else is a response.
//
//   terminal asks                  server answers
//   LOGIN(user, password)          LOGIN(sid, client) | ERROR(-1, text, token), then closes
//   GET_ALL_SYMBOLS                count + one SymbolRow per symbol, prices with the
//                                  client's spread
//   GET_CLIENT_INFO                count + one ClientRow
//   GET_ACCOUNTS                   count + one AccountRow per account of the client
//   GETOPENPOS                     count + one position row per open position
//   GET_PENDING_ORDERS             count + one OrderRow per pending order
//   START_MARKET                   RESULT_OK, then MARKET_DATA for every symbol at once
//                                  and for every tick after
//   GET_SUMMARIES                  count + one FiguresRow per account of the client
//   RESULT_LOST(row)               that row of the last multi-row answer again
//   DISCONNECT                     closes the connection
//   anything else                  ERROR(code, text, token): -500 wrong SID,
//                                  -501 unknown command, -502 bad parameter
//
//   server pushes
//   MARKET_DATA(symbol, bid, ask, time, sequence)   prices with the client's spread;
//                                                   sequence counts the symbol's ticks
//   NEW_OPEN_POSITION(position row)
//   CLOSE_OPEN_POSITION(client, account, ticket)
//   DELETE_PENDING_ORDER(client, account, order)
//   SUMMARIES_CHANGED(TotalsParameters)
//   ACCOUNT_LIQUIDATED(client, account)
//   MESSAGE(text)                                   an alert that fired
//   CONNECT_HANDCHAKE                               every second, keeps supervision quiet
//   STOP_FEED                                       a bounded feed has ended
namespace orvane::apps::wire {

// The error code of a refused log-on.
constexpr int32_t kLoginRefused = -1;

std::string Number(double value);
std::string Number(int32_t value);
// False (value untouched) unless the whole text is a finite number.
bool ReadNumber(std::string_view text, double& value);
bool ReadInteger(std::string_view text, int32_t& value);

// A quote time dd/mm/yyyy hh:nn:ss; false (time untouched) for any other
// text or a date that does not exist.
bool ReadTime(std::string_view text, DateTime& time);

// Cells joined by the row delimiter, and cut apart again.
std::string JoinCells(const std::vector<std::string>& cells);
std::vector<std::string> SplitCells(std::string_view row);

// Whether text may stand in a cell: it holds none of the protocol's
// delimiters and terminators.
bool CellSafe(std::string_view text);

std::string SymbolRow(const model::Symbol& symbol, double bid, double ask);
bool ReadSymbolRow(std::string_view row, model::Symbol& symbol);

// The client and its parameters text as the terminal applies them.
std::string ClientRow(const model::Client& client, const std::string& parameters);
bool ReadClientRow(std::string_view row, model::Client& client);

// An account with its current totals.
std::string AccountRow(const model::Account& account);
bool ReadAccountRow(std::string_view row, model::Account& account);

// A position as the library writes its row: `symbol_name` fills the name
// cell, and the stop-loss and take-profit cells mark whether orders guard it.
std::string PositionRow(const model::Position& position, const std::string& symbol_name,
                        bool has_sl, bool has_tp);
bool ReadPositionRow(std::string_view row, model::Position& position);

// The client and account numbers, then the order row as the library writes it.
std::string OrderRow(const model::Order& order);
bool ReadOrderRow(std::string_view row, model::Order& order);

// An account's totals as the server books them: client, account,
// commission, margin requirement, net profit, deposit, credit, previous
// margin, interest.
std::vector<std::string> TotalsParameters(const model::TotalsBooked& totals);
// From parameters 1..9 of a message.
bool ReadTotals(const std::vector<std::string>& parameters, model::TotalsBooked& totals);

// What the terminal checks its own engine against.
struct Figures {
  int32_t client = 0;
  int32_t account = 0;
  double balance = 0;
  double equity = 0;
  double margin_level = 0;  // ratio, as the engine reports it
};
std::string FiguresRow(const Figures& figures);
bool ReadFiguresRow(std::string_view row, Figures& figures);

// The parameters text with every group's spread left empty and its source
// plus and price offset 0: prices that arrive with the client's spread
// already in them are taken as they stand.
std::string PricesAsSent(const std::string& parameters);

}  // namespace orvane::apps::wire

#endif  // ORVANE_APPS_COMMON_WIRE_H_
