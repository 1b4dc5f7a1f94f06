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
      : m_cells(SplitCells(row)), m_ok(m_cells.size() == expected) {}

  CellReader& Text(std::string& out) {
    if (m_ok) out = m_cells[m_next];
    ++m_next;
    return *this;
  }
  CellReader& Number(double& out) {
    if (m_ok) m_ok = ReadNumber(m_cells[m_next], out);
    ++m_next;
    return *this;
  }
  CellReader& Integer(int32_t& out) {
    if (m_ok) m_ok = ReadInteger(m_cells[m_next], out);
    ++m_next;
    return *this;
  }
  CellReader& Flag(bool& out) {
    int32_t value = 0;
    Integer(value);
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

std::string Flag(bool value) { return value ? "1" : "0"; }

}  // namespace

std::string Number(double value) {
  char text[32];
  auto [end, error] = std::to_chars(text, text + sizeof text, value);
  return error == std::errc() ? std::string(text, end) : std::string("0");
}

std::string Number(int32_t value) { return std::to_string(value); }

bool ReadNumber(std::string_view text, double& value) {
  double read = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), read);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      !std::isfinite(read)) {
    return false;
  }
  value = read;
  return true;
}

bool ReadInteger(std::string_view text, int32_t& value) {
  int32_t read = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), read);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return false;
  value = read;
  return true;
}

std::string JoinCells(const std::vector<std::string>& cells) {
  std::string row;
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) row += kCellDelimiter;
    row += cells[i];
  }
  return row;
}

std::vector<std::string> SplitCells(std::string_view row) {
  std::vector<std::string> cells;
  for (;;) {
    const size_t at = row.find(kCellDelimiter);
    cells.emplace_back(row.substr(0, at));
    if (at == std::string_view::npos) return cells;
    row.remove_prefix(at + kCellDelimiter.size());
  }
}

bool CellSafe(std::string_view text) {
  for (std::string_view literal : {kCellDelimiter, kTokenEnd, kSidEnd, kParameterMarker,
                                   kMessageTerminator, kNotSentMarker}) {
    if (text.find(literal) != std::string_view::npos) return false;
  }
  return true;
}

std::string SymbolRow(const model::Symbol& s, double bid, double ask) {
  return JoinCells({Number(s.id), s.name, Number(s.pip_location), Number(s.factor),
                    Number(s.price_case), Number(s.ref_id), Number(s.ref_price_case),
                    Number(s.margin_per_lot), Number(bid), Number(ask), s.close_day,
                    s.close_time, s.open_day, s.open_time, s.break_close, s.break_open});
}

bool ReadSymbolRow(std::string_view row, model::Symbol& s) {
  return CellReader(row, 16)
      .Integer(s.id)
      .Text(s.name)
      .Integer(s.pip_location)
      .Number(s.factor)
      .Integer(s.price_case)
      .Integer(s.ref_id)
      .Integer(s.ref_price_case)
      .Number(s.margin_per_lot)
      .Number(s.bid)
      .Number(s.ask)
      .Text(s.close_day)
      .Text(s.close_time)
      .Text(s.open_day)
      .Text(s.open_time)
      .Text(s.break_close)
      .Text(s.break_open)
      .ok();
}

std::string ClientRow(const model::Client& c) {
  return JoinCells({Number(c.id), Number(c.liquidation_type), Number(c.liquidation_point),
                    Number(c.comm_calc_type), Flag(c.enable_interest), c.name, c.parameters,
                    Flag(c.hedging), Flag(c.partial_close), Number(c.type), Number(c.parent),
                    Flag(c.manual_dealing), Flag(c.auto_liquidation)});
}

bool ReadClientRow(std::string_view row, model::Client& c) {
  return CellReader(row, 13)
      .Integer(c.id)
      .Integer(c.liquidation_type)
      .Number(c.liquidation_point)
      .Integer(c.comm_calc_type)
      .Flag(c.enable_interest)
      .Text(c.name)
      .Text(c.parameters)
      .Flag(c.hedging)
      .Flag(c.partial_close)
      .Integer(c.type)
      .Integer(c.parent)
      .Flag(c.manual_dealing)
      .Flag(c.auto_liquidation)
      .ok();
}

std::string AccountRow(const model::Account& a) {
  const model::Totals& t = a.totals;
  return JoinCells({Number(a.client), Number(a.account), Number(a.type), Flag(a.margin_account),
                    Number(t.previous_margin), Number(t.deposit), Number(t.commission),
                    Number(t.margin_requirement), Number(t.net_profit), Number(t.credit),
                    Number(t.interest), Flag(a.dont_liquidate)});
}

bool ReadAccountRow(std::string_view row, model::Account& a) {
  model::Totals& t = a.totals;
  return CellReader(row, 12)
      .Integer(a.client)
      .Integer(a.account)
      .Integer(a.type)
      .Flag(a.margin_account)
      .Number(t.previous_margin)
      .Number(t.deposit)
      .Number(t.commission)
      .Number(t.margin_requirement)
      .Number(t.net_profit)
      .Number(t.credit)
      .Number(t.interest)
      .Flag(a.dont_liquidate)
      .ok();
}

std::string PositionRow(const model::Position& p, const std::string& symbol_name, bool has_sl,
                        bool has_tp) {
  CGenerals generals;
  return generals.PosRowString(p.client, p.account, p.ticket, p.time, p.lots, p.price, p.symbol,
                               has_sl ? 1 : 0, has_tp ? 1 : 0, p.direction, 0, p.lots,
                               symbol_name, p.interest, "", p.note);
}

bool ReadPositionRow(std::string_view row, model::Position& p) {
  if (SplitCells(row).size() != 16) return false;
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

std::string OrderRow(const model::Order& o) {
  CGenerals generals;
  const std::string row = generals.OrderRowString(
      o.id, o.time, o.direction, o.lots, o.symbol, Number(o.price),
      o.kind == LimitOrdersType ? "LO" : "SL", Number(o.position), Number(o.sl), Number(o.tp),
      Number(o.status), o.note);
  return JoinCells({Number(o.client), Number(o.account), row, o.expiry});
}

bool ReadOrderRow(std::string_view row, model::Order& o) {
  const std::vector<std::string> cells = SplitCells(row);
  if (cells.size() != 15) return false;
  model::Order read;
  const bool ok = ReadInteger(cells[0], read.client) && ReadInteger(cells[1], read.account) &&
                  ReadInteger(cells[2], read.id) && ReadInteger(cells[4], read.direction) &&
                  ReadNumber(cells[5], read.lots) && ReadInteger(cells[6], read.symbol) &&
                  ReadNumber(cells[7], read.price) && ReadInteger(cells[9], read.position) &&
                  ReadNumber(cells[10], read.sl) && ReadNumber(cells[11], read.tp) &&
                  ReadInteger(cells[12], read.status);
  if (!ok) return false;
  read.time = cells[3];
  read.kind = cells[8] == "LO" ? LimitOrdersType : SlTpType;
  read.note = cells[13];
  read.expiry = cells[14];
  if (!read.expiry.empty()) {
    DateTime expiry;
    if (!ReadTime(read.expiry, expiry)) return false;
  }
  o = std::move(read);
  return true;
}

std::string HistoryRow(const model::HistoryEntry& e, const std::string& symbol_name) {
  CGenerals generals;
  const std::string kind = e.note == "liquidation" ? "L" : "N";
  const std::string row = generals.AccHistoryRowString(
      e.ticket, e.time, kind, e.symbol, e.lots, e.direction, e.open_time, Number(e.open_price),
      Number(e.close_price), 0, Number(e.commission), Number(e.interest), 0,
      Number(e.ref_price), Number(e.profit), symbol_name, e.note, e.note);
  return JoinCells({Number(e.client), Number(e.account), row});
}

bool ReadHistoryRow(std::string_view row, model::HistoryEntry& e) {
  const size_t first = row.find(kCellDelimiter);
  const size_t second =
      first == std::string_view::npos ? first : row.find(kCellDelimiter, first + 3);
  if (second == std::string_view::npos) return false;
  model::HistoryEntry read;
  if (!ReadInteger(row.substr(0, first), read.client) ||
      !ReadInteger(row.substr(first + 3, second - first - 3), read.account)) {
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
  const bool ok = ReadInteger(ticket, read.ticket) && ReadInteger(symbol, read.symbol) &&
                  ReadNumber(lots, read.lots) && ReadInteger(direction, read.direction) &&
                  ReadNumber(open_price, read.open_price) &&
                  ReadNumber(close_price, read.close_price) &&
                  ReadNumber(commission, read.commission) && ReadNumber(interest, read.interest) &&
                  ReadNumber(ref_price, read.ref_price) && ReadNumber(profit, read.profit);
  if (!ok) return false;
  e = std::move(read);
  return true;
}

std::string FiguresRow(const Figures& f) {
  return JoinCells({Number(f.client), Number(f.account), Number(f.balance), Number(f.equity),
                    Number(f.margin_level)});
}

bool ReadFiguresRow(std::string_view row, Figures& f) {
  return CellReader(row, 5)
      .Integer(f.client)
      .Integer(f.account)
      .Number(f.balance)
      .Number(f.equity)
      .Number(f.margin_level)
      .ok();
}

std::string NegotiationRow(const Negotiation& m) { return JoinCells(Encode(m)); }

bool ReadNegotiationRow(std::string_view row, Negotiation& m) {
  Negotiation read;
  const bool ok = CellReader(row, 13)
                      .Integer(read.id)
                      .Integer(read.number)
                      .Integer(read.client)
                      .Integer(read.account)
                      .Integer(read.symbol)
                      .Integer(read.direction)
                      .Number(read.lots)
                      .Number(read.price)
                      .Integer(read.ticket)
                      .Number(read.dealer_price)
                      .Integer(read.status)
                      .Text(read.text)
                      .Text(read.dealer)
                      .ok();
  if (ok) m = std::move(read);
  return ok;
}

}  // namespace orvane::apps::wire
