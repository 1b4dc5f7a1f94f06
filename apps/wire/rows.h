#ifndef ORVANE_APPS_WIRE_ROWS_H_
#define ORVANE_APPS_WIRE_ROWS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "orvane/core/date_time.h"
#include "change.h"
#include "market_time.h"
#include "records.h"

// The rows of the multi-row answers the reference hosts exchange, and the
// text forms of the numbers and times in them. Numbers travel in their
// shortest text that reads back to the same double, so figures cross the
// wire exactly; positions and orders travel as the library writes their
// rows. The messages themselves are in messages.h.
namespace orvane::apps::wire {

std::string number(double value);
std::string number(int32_t value);
// False (value untouched) unless the whole text is a finite number.
bool read_number(std::string_view text, double& value);
bool read_integer(std::string_view text, int32_t& value);

using model::read_time;

// Cells joined by the row delimiter, and cut apart again.
std::string join_cells(const std::vector<std::string>& cells);
std::vector<std::string> split_cells(std::string_view row);

// Whether text may stand in a cell: it holds none of the protocol's
// delimiters and terminators.
bool cell_safe(std::string_view text);

std::string symbol_row(const model::Symbol& symbol, double bid, double ask);
bool read_symbol_row(std::string_view row, model::Symbol& symbol);

// The client with its parameters text, which the terminal's engine applies
// to the raw quotes.
std::string client_row(const model::Client& client);
bool read_client_row(std::string_view row, model::Client& client);

// An account with its current totals.
std::string account_row(const model::Account& account);
bool read_account_row(std::string_view row, model::Account& account);

// A position as the library writes its row: `symbol_name` fills the name
// cell, and the stop-loss and take-profit cells mark whether orders guard it.
std::string position_row(const model::Position& position, const std::string& symbol_name,
                        bool has_sl, bool has_tp);
bool read_position_row(std::string_view row, model::Position& position);

// The client and account numbers, the order row as the library writes it,
// then the expiry of an entry order (empty: none).
std::string order_row(const model::Order& order);
bool read_order_row(std::string_view row, model::Order& order);

// The client and account numbers, then the history row as the library
// writes it (the reason of the close in both its method and note cells).
std::string history_row(const model::HistoryEntry& entry, const std::string& symbol_name);
bool read_history_row(std::string_view row, model::HistoryEntry& entry);

// What the terminal checks its own engine against: an account's figures.
struct Figures {
  int32_t client = 0;
  int32_t account = 0;
  double balance = 0;
  double equity = 0;
  double margin_level = 0;  // ratio, as the engine reports it
};
std::string figures_row(const Figures& figures);
bool read_figures_row(std::string_view row, Figures& figures);

}  // namespace orvane::apps::wire

#endif  // ORVANE_APPS_WIRE_ROWS_H_
