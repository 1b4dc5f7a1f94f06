#include "wire.h"

#include <charconv>
#include <cmath>
#include <sstream>

namespace orvane::apps::wire {

namespace {

constexpr std::string_view kCellDelimiter = "R,@";

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

bool ReadTime(std::string_view text, DateTime& time) {
  if (text.size() != 19 || text[2] != '/' || text[5] != '/' || text[10] != ' ' ||
      text[13] != ':' || text[16] != ':') {
    return false;
  }
  int32_t day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
  if (!ReadInteger(text.substr(0, 2), day) || !ReadInteger(text.substr(3, 2), month) ||
      !ReadInteger(text.substr(6, 4), year) || !ReadInteger(text.substr(11, 2), hour) ||
      !ReadInteger(text.substr(14, 2), minute) || !ReadInteger(text.substr(17, 2), second)) {
    return false;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || year < 1900 || hour > 23 ||
      minute > 59 || second > 59) {
    return false;
  }
  const DateTime read = DateTime::FromParts(year, month, day, hour, minute, second);
  if (read.Day() != day) return false;
  time = read;
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
  for (std::string_view literal : {"R,@", "s?<", "&h,", "G)_", "+3!", "!&NS&!"}) {
    if (text.find(literal) != std::string_view::npos) return false;
  }
  return true;
}

std::string SymbolRow(const SymbolRecord& s, double bid, double ask) {
  return JoinCells({Number(s.id), s.name, Number(s.pip_location), Number(s.factor),
                    Number(s.price_case), Number(s.ref_id), Number(s.ref_price_case),
                    Number(s.margin_per_lot), Number(bid), Number(ask), s.close_day,
                    s.close_time, s.open_day, s.open_time, s.break_close, s.break_open});
}

bool ReadSymbolRow(std::string_view row, SymbolRecord& s) {
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

std::string ClientRow(const ClientRecord& c, const std::string& parameters) {
  return JoinCells({Number(c.id), Number(c.liquidation_type), Number(c.liquidation_point),
                    Number(c.comm_calc_type), Flag(c.enable_interest), c.name, parameters});
}

bool ReadClientRow(std::string_view row, ClientRecord& c, std::string& parameters) {
  return CellReader(row, 7)
      .Integer(c.id)
      .Integer(c.liquidation_type)
      .Number(c.liquidation_point)
      .Integer(c.comm_calc_type)
      .Flag(c.enable_interest)
      .Text(c.name)
      .Text(parameters)
      .ok();
}

std::string AccountRow(const AccountRecord& a) {
  return JoinCells({Number(a.client), Number(a.account), Number(a.type), Flag(a.margin_account),
                    Number(a.previous_margin), Number(a.deposit), Number(a.commission),
                    Number(a.margin_requirement), Number(a.net_profit), Number(a.credit),
                    Number(a.interest), Flag(a.dont_liquidate)});
}

bool ReadAccountRow(std::string_view row, AccountRecord& a) {
  return CellReader(row, 12)
      .Integer(a.client)
      .Integer(a.account)
      .Integer(a.type)
      .Flag(a.margin_account)
      .Number(a.previous_margin)
      .Number(a.deposit)
      .Number(a.commission)
      .Number(a.margin_requirement)
      .Number(a.net_profit)
      .Number(a.credit)
      .Number(a.interest)
      .Flag(a.dont_liquidate)
      .ok();
}

std::string OrderRow(int32_t client, int32_t account, const std::string& order_row) {
  return JoinCells({Number(client), Number(account), order_row});
}

bool ReadOrderRow(std::string_view row, int32_t& client, int32_t& account,
                  std::string& order_row) {
  const size_t first = row.find(kCellDelimiter);
  if (first == std::string_view::npos) return false;
  const size_t second = row.find(kCellDelimiter, first + kCellDelimiter.size());
  if (second == std::string_view::npos) return false;
  const std::string_view client_text = row.substr(0, first);
  const std::string_view account_text =
      row.substr(first + kCellDelimiter.size(), second - first - kCellDelimiter.size());
  if (!ReadInteger(client_text, client) || !ReadInteger(account_text, account)) return false;
  order_row = std::string(row.substr(second + kCellDelimiter.size()));
  return true;
}

std::vector<std::string> TotalsParameters(const Totals& t) {
  return {Number(t.client),       Number(t.account), Number(t.commission),
          Number(t.margin_requirement), Number(t.net_profit), Number(t.deposit),
          Number(t.credit),       Number(t.previous_margin), Number(t.interest)};
}

bool ReadTotals(const std::vector<std::string>& p, Totals& t) {
  return p.size() >= 9 && ReadInteger(p[0], t.client) && ReadInteger(p[1], t.account) &&
         ReadNumber(p[2], t.commission) && ReadNumber(p[3], t.margin_requirement) &&
         ReadNumber(p[4], t.net_profit) && ReadNumber(p[5], t.deposit) &&
         ReadNumber(p[6], t.credit) && ReadNumber(p[7], t.previous_margin) &&
         ReadNumber(p[8], t.interest);
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

std::string PricesAsSent(const std::string& parameters) {
  std::vector<std::string> fields;
  std::stringstream in(parameters);
  for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
  if (!parameters.empty() && parameters.back() == ',') fields.push_back("");
  for (size_t g = 0; g + 8 < fields.size(); g += 9) {
    fields[g + 1] = "";   // spread: the source's, which is the sent price
    fields[g + 2] = "0";  // source plus
    fields[g + 8] = "0";  // price offset
  }
  std::string text;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) text += ',';
    text += fields[i];
  }
  return text;
}

}  // namespace orvane::apps::wire
