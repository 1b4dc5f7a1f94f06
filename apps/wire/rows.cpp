#include "rows.h"

#include <charconv>
#include <cmath>

#include "messages.h"
#include "orvane/core/error.h"
#include "orvane/protocol/tokens_enum.h"
#include "orvane/util/generals.h"
#include "orvane/util/row.h"
#include "orvane/vocabulary/operation_type_enum.h"
#include "orvane/vocabulary/orders_type_enum.h"

namespace orvane::apps::wire {

namespace {

constexpr std::string_view kCellDelimiter = CRow::kDefaultDelimiter;

// Reads the cells of a row into the given fields, in order; false when the
// row has another number of cells or a number cell does not read.
class CellReader {
 public:
  CellReader(std::string_view row, size_t expected)
      : m_cells(split_cells(row)), m_ok(m_cells.size() == expected) {}

  CellReader& text(std::string& out) {
    if (m_ok) out = m_cells[m_next];
    ++m_next;
    return *this;
  }
  CellReader& number(double& out) {
    if (m_ok) m_ok = read_number(m_cells[m_next], out);
    ++m_next;
    return *this;
  }
  CellReader& integer(int32_t& out) {
    if (m_ok) m_ok = read_integer(m_cells[m_next], out);
    ++m_next;
    return *this;
  }
  CellReader& flag(bool& out) {
    int32_t value = 0;
    integer(value);
    if (m_ok) m_ok = value == 0 || value == 1;
    out = value == 1;
    return *this;
  }
  bool ok() const { return m_ok; }

 private:
  std::vector<std::string> m_cells;
  size_t m_next = 0;
  bool m_ok;
};

std::string flag(bool value) { return value ? "1" : "0"; }

}  // namespace

std::string number(double value) {
  char text[32];
  auto [end, error] = std::to_chars(text, text + sizeof text, value);
  return error == std::errc() ? std::string(text, end) : std::string("0");
}

std::string number(int32_t value) { return std::to_string(value); }

bool read_number(std::string_view text, double& value) {
  double read = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), read);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      !std::isfinite(read)) {
    return false;
  }
  value = read;
  return true;
}

bool read_integer(std::string_view text, int32_t& value) {
  int32_t read = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), read);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return false;
  value = read;
  return true;
}

std::string join_cells(const std::vector<std::string>& cells) {
  std::string row;
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) row += kCellDelimiter;
    row += cells[i];
  }
  return row;
}

std::vector<std::string> split_cells(std::string_view row) {
  std::vector<std::string> cells;
  for (;;) {
    const size_t at = row.find(kCellDelimiter);
    cells.emplace_back(row.substr(0, at));
    if (at == std::string_view::npos) return cells;
    row.remove_prefix(at + kCellDelimiter.size());
  }
}

bool cell_safe(std::string_view text) {
  for (std::string_view literal : {kCellDelimiter, kTokenEnd, kSidEnd, kParameterMarker,
                                   kMessageTerminator, kNotSentMarker}) {
    if (text.find(literal) != std::string_view::npos) return false;
  }
  return true;
}

std::string symbol_row(const model::Symbol& s, double bid, double ask) {
  return join_cells({number(s.id), s.name, number(s.pip_location), number(s.factor),
                    number(s.price_case), number(s.ref_id), number(s.ref_price_case),
                    number(s.margin_per_lot), number(bid), number(ask), s.close_day,
                    s.close_time, s.open_day, s.open_time, s.break_close, s.break_open});
}

bool read_symbol_row(std::string_view row, model::Symbol& s) {
  return CellReader(row, 16)
      .integer(s.id)
      .text(s.name)
      .integer(s.pip_location)
      .number(s.factor)
      .integer(s.price_case)
      .integer(s.ref_id)
      .integer(s.ref_price_case)
      .number(s.margin_per_lot)
      .number(s.bid)
      .number(s.ask)
      .text(s.close_day)
      .text(s.close_time)
      .text(s.open_day)
      .text(s.open_time)
      .text(s.break_close)
      .text(s.break_open)
      .ok();
}

std::string client_row(const model::Client& c) {
  return join_cells({number(c.id), number(c.liquidation_type), number(c.liquidation_point),
                    number(c.comm_calc_type), flag(c.enable_interest), c.name, c.parameters,
                    flag(c.hedging), flag(c.partial_close), number(c.type), number(c.parent),
                    flag(c.manual_dealing), flag(c.auto_liquidation)});
}

bool read_client_row(std::string_view row, model::Client& c) {
  return CellReader(row, 13)
      .integer(c.id)
      .integer(c.liquidation_type)
      .number(c.liquidation_point)
      .integer(c.comm_calc_type)
      .flag(c.enable_interest)
      .text(c.name)
      .text(c.parameters)
      .flag(c.hedging)
      .flag(c.partial_close)
      .integer(c.type)
      .integer(c.parent)
      .flag(c.manual_dealing)
      .flag(c.auto_liquidation)
      .ok();
}

std::string account_row(const model::Account& a) {
  const model::Totals& t = a.totals;
  return join_cells({number(a.client), number(a.account), number(a.type), flag(a.margin_account),
                    number(t.previous_margin), number(t.deposit), number(t.commission),
                    number(t.margin_requirement), number(t.net_profit), number(t.credit),
                    number(t.interest), flag(a.dont_liquidate)});
}

bool read_account_row(std::string_view row, model::Account& a) {
  model::Totals& t = a.totals;
  return CellReader(row, 12)
      .integer(a.client)
      .integer(a.account)
      .integer(a.type)
      .flag(a.margin_account)
      .number(t.previous_margin)
      .number(t.deposit)
      .number(t.commission)
      .number(t.margin_requirement)
      .number(t.net_profit)
      .number(t.credit)
      .number(t.interest)
      .flag(a.dont_liquidate)
      .ok();
}

std::string position_row(const model::Position& p, const std::string& symbol_name, bool has_sl,
                        bool has_tp) {
  CGenerals generals;
  return generals.PosRowString(p.client, p.account, p.ticket, p.time, p.lots, p.price, p.symbol,
                               has_sl ? 1 : 0, has_tp ? 1 : 0, p.direction, 0, p.lots,
                               symbol_name, p.interest, "", p.note);
}

bool read_position_row(std::string_view row, model::Position& p) {
  if (split_cells(row).size() != 16) return false;
  CGenerals generals;
  model::Position read;
  OperationTypeEnum direction = BuyType;
  std::string sl, tp, name, method;
  int16_t checked = 0;
  double original_lots = 0;
  try {
    generals.SplitPosRow(row, read.client, read.account, read.ticket, read.time, direction,
                         read.lots, read.symbol, read.price, sl, tp, checked, original_lots,
                         name, read.interest, method, read.note);
  } catch (const Error&) {
    return false;
  }
  if (direction != BuyType && direction != SellType) return false;
  read.direction = direction;
  p = std::move(read);
  return true;
}

std::string order_row(const model::Order& o) {
  CGenerals generals;
  const std::string row = generals.OrderRowString(
      o.id, o.time, o.direction, o.lots, o.symbol, number(o.price),
      o.kind == LimitOrdersType ? "LO" : "SL", number(o.position), number(o.sl), number(o.tp),
      number(o.status), o.note);
  return join_cells({number(o.client), number(o.account), row, o.expiry});
}

bool read_order_row(std::string_view row, model::Order& o) {
  const std::vector<std::string> cells = split_cells(row);
  if (cells.size() != 15) return false;
  model::Order read;
  const bool ok = read_integer(cells[0], read.client) && read_integer(cells[1], read.account) &&
                  read_integer(cells[2], read.id) && read_integer(cells[4], read.direction) &&
                  read_number(cells[5], read.lots) && read_integer(cells[6], read.symbol) &&
                  read_number(cells[7], read.price) && read_integer(cells[9], read.position) &&
                  read_number(cells[10], read.sl) && read_number(cells[11], read.tp) &&
                  read_integer(cells[12], read.status);
  if (!ok) return false;
  read.time = cells[3];
  read.kind = cells[8] == "LO" ? LimitOrdersType : SlTpType;
  read.note = cells[13];
  read.expiry = cells[14];
  if (!read.expiry.empty()) {
    DateTime expiry;
    if (!read_time(read.expiry, expiry)) return false;
  }
  o = std::move(read);
  return true;
}

std::string history_row(const model::HistoryEntry& e, const std::string& symbol_name) {
  CGenerals generals;
  const std::string kind = e.note == "liquidation" ? "L" : "N";
  const std::string row = generals.AccHistoryRowString(
      e.ticket, e.time, kind, e.symbol, e.lots, e.direction, e.open_time, number(e.open_price),
      number(e.close_price), 0, number(e.commission), number(e.interest), 0,
      number(e.ref_price), number(e.profit), symbol_name, e.note, e.note);
  return join_cells({number(e.client), number(e.account), row});
}

bool read_history_row(std::string_view row, model::HistoryEntry& e) {
  const size_t first = row.find(kCellDelimiter);
  const size_t second =
      first == std::string_view::npos ? first : row.find(kCellDelimiter, first + 3);
  if (second == std::string_view::npos) return false;
  model::HistoryEntry read;
  if (!read_integer(row.substr(0, first), read.client) ||
      !read_integer(row.substr(first + 3, second - first - 3), read.account)) {
    return false;
  }
  std::string ticket, kind, symbol, lots, direction, open_price, close_price, amount, commission,
      interest, checked, ref_price, profit, name;
  CGenerals generals;
  try {
    generals.SplitHistoryRow(row.substr(second + 3), ticket, read.time, kind, symbol, lots,
                             direction, read.open_time, open_price, close_price, amount,
                             commission, interest, checked, ref_price, profit, name, read.note);
  } catch (const Error&) {
    return false;
  }
  const bool ok =
      read_integer(ticket, read.ticket) && read_integer(symbol, read.symbol) &&
      read_number(lots, read.lots) && read_integer(direction, read.direction) &&
      read_number(open_price, read.open_price) && read_number(close_price, read.close_price) &&
      read_number(commission, read.commission) && read_number(interest, read.interest) &&
      read_number(ref_price, read.ref_price) && read_number(profit, read.profit);
  if (!ok) return false;
  e = std::move(read);
  return true;
}

std::string figures_row(const Figures& f) {
  return join_cells({number(f.client), number(f.account), number(f.balance), number(f.equity),
                    number(f.margin_level)});
}

bool read_figures_row(std::string_view row, Figures& f) {
  return CellReader(row, 5)
      .integer(f.client)
      .integer(f.account)
      .number(f.balance)
      .number(f.equity)
      .number(f.margin_level)
      .ok();
}

std::string negotiation_row(const Negotiation& m) { return join_cells(encode(m)); }

bool read_negotiation_row(std::string_view row, Negotiation& m) {
  Negotiation read;
  const bool ok = CellReader(row, 13)
                      .integer(read.id)
                      .integer(read.number)
                      .integer(read.client)
                      .integer(read.account)
                      .integer(read.symbol)
                      .integer(read.direction)
                      .number(read.lots)
                      .number(read.price)
                      .integer(read.ticket)
                      .number(read.dealer_price)
                      .integer(read.status)
                      .text(read.text)
                      .text(read.dealer)
                      .ok();
  if (ok) m = std::move(read);
  return ok;
}

}  // namespace orvane::apps::wire
