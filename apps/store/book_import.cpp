#include "book_import.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string_view>

#include "market_time.h"
#include "orvane/core/conversions.h"
#include "orvane/util/generals.h"
#include "orvane/util/row.h"
#include "orvane/vocabulary/client_type_enum.h"
#include "orvane/vocabulary/orders_type_enum.h"
#include "orvane/vocabulary/user_type_enum.h"

namespace orvane::apps {

namespace {

const std::set<std::string, std::less<>> kDays = {"SUNDAY",   "MONDAY", "TUESDAY",
                                                  "WEDNESDAY", "THURSDAY", "FRIDAY",
                                                  "SATURDAY"};

// One line of a file cut into blank-separated fields, with the position of
// every field so that a record can take "the rest of the line".
class Line {
 public:
  Line(const std::string& file, int number, std::string_view text)
      : m_file(file), m_number(number), m_text(text) {
    size_t at = 0;
    while (at < text.size()) {
      while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
      if (at >= text.size()) break;
      size_t end = at;
      while (end < text.size() && text[end] != ' ' && text[end] != '\t') ++end;
      m_fields.push_back(text.substr(at, end - at));
      m_starts.push_back(at);
      at = end;
    }
  }

  int number() const { return m_number; }
  size_t size() const { return m_fields.size(); }
  std::string_view at(size_t i) const { return m_fields[i]; }

  [[noreturn]] void Fail(const std::string& field, const std::string& problem) const {
    throw InputError(m_file + ":" + std::to_string(m_number) + ": field '" + field +
                     "': " + problem);
  }
  void Require(size_t min_fields, size_t max_fields, const std::string& layout) const {
    if (size() < min_fields || size() > max_fields) {
      Fail("record", "expected " + layout + ", found " + std::to_string(size()) + " fields");
    }
  }
  std::string Text(size_t i) const { return std::string(m_fields[i]); }
  // The text from field i to the end of the line.
  std::string Rest(size_t i, const std::string& field) const {
    if (i >= size()) Fail(field, "missing");
    std::string_view rest = m_text.substr(m_starts[i]);
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t' || rest.back() == '\r'))
      rest.remove_suffix(1);
    return std::string(rest);
  }
  double Number(size_t i, const std::string& field) const {
    return ParseNumber(m_fields[i], field);
  }
  double ParseNumber(std::string_view text, const std::string& field) const {
    double value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first;
    auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || text.empty() || !std::isfinite(value)) {
      Fail(field, "not a number: '" + std::string(text) + "'");
    }
    return value;
  }
  int32_t Integer(size_t i, const std::string& field) const {
    return ParseInteger(m_fields[i], field);
  }
  int32_t ParseInteger(std::string_view text, const std::string& field) const {
    int32_t value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || text.empty()) {
      Fail(field, "not a whole number: '" + std::string(text) + "'");
    }
    return value;
  }
  int32_t OneOf(size_t i, const std::string& field, std::initializer_list<int32_t> allowed) const {
    const int32_t value = Integer(i, field);
    for (int32_t a : allowed) {
      if (a == value) return value;
    }
    Fail(field, "value " + std::to_string(value) + " is not allowed");
  }
  bool Flag(size_t i, const std::string& field) const { return OneOf(i, field, {0, 1}) == 1; }
  std::string Day(size_t i, const std::string& field) const {
    if (kDays.count(m_fields[i]) == 0) Fail(field, "not a day name: '" + Text(i) + "'");
    return Text(i);
  }
  std::string TimeOfDay(size_t i, const std::string& field) const {
    const std::string_view t = m_fields[i];
    if (t.size() != 5 || t[2] != ':' || !Digits(t.substr(0, 2)) || !Digits(t.substr(3)) ||
        (t[0] - '0') * 10 + (t[1] - '0') > 23 || (t[3] - '0') * 10 + (t[4] - '0') > 59) {
      Fail(field, "not a time hh:mm: '" + Text(i) + "'");
    }
    return Text(i);
  }
  static bool Digits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
      if (c < '0' || c > '9') return false;
    }
    return true;
  }

 private:
  const std::string& m_file;
  int m_number;
  std::string_view m_text;
  std::vector<std::string_view> m_fields;
  std::vector<size_t> m_starts;
};

// The cells of a position or order row, as the row reader cuts them.
std::vector<std::string> SplitCells(const std::string& row) {
  CRow reader;
  reader.Add(row);
  std::vector<std::string> cells;
  for (int32_t i = 1; i <= reader.Count(); ++i) cells.push_back(reader.Item(i));
  return cells;
}

std::string TrimCell(const std::string& cell) { return std::string(Trim(cell)); }

// Everything a book refers to, checked as the records come in: a record may
// only name what an earlier line defined (symbols' reference symbols aside,
// which are checked at the end).
class BookReader {
 public:
  explicit BookReader(const std::string& file) : m_file(file) {}

  void Read(const Line& line) {
    const std::string_view kind = line.at(0);
    if (kind == "SYMBOL") return ReadSymbol(line);
    if (kind == "PARAMSET") return ReadParamSet(line);
    if (kind == "CLIENT") return ReadClient(line);
    if (kind == "ACCOUNT") return ReadAccount(line);
    if (kind == "POSITION") return ReadPosition(line);
    if (kind == "ORDER") return ReadOrder(line);
    if (kind == "ALERT") return ReadAlert(line);
    if (kind == "USER") return ReadUser(line);
    if (kind == "SETTINGS") return ReadSettings(line);
    if (kind == "OFFICE") return ReadBranch(line, OFFICE_TYPE);
    if (kind == "GROUP") return ReadBranch(line, OTHER_GROUPS_TYPE);
    if (kind == "PARENT") return ReadParent(line);
    if (kind == "DEALER") return ReadDealer(line);
    if (kind == "PLATFORM") return ReadPlatform(line);
    if (kind == "INTEREST") return ReadInterest(line);
    line.Fail("record", "unknown record kind '" + std::string(kind) + "'");
  }

  model::Snapshot Finish() {
    if (m_symbols.count(1) == 0) {
      throw InputError(m_file + ": field 'SYMBOL': the unit symbol 1 (account currency) "
                       "is not defined");
    }
    for (size_t i = 0; i < m_book.symbols.size(); ++i) {
      const model::Symbol& s = m_book.symbols[i];
      if (m_symbols.count(s.ref_id) == 0) {
        throw InputError(m_file + ":" + std::to_string(m_symbol_lines[i]) +
                         ": field 'ref_id': no symbol " + std::to_string(s.ref_id));
      }
    }
    return std::move(m_book);
  }

 private:
  void ReadSymbol(const Line& line) {
    line.Require(15, 17, "SYMBOL id name pip_location factor price_case ref_id "
                         "ref_price_case margin_per_lot bid ask close_day close_time "
                         "open_day open_time [break_close break_open]");
    if (line.size() == 16) line.Fail("break_open", "missing");
    model::Symbol s;
    s.id = line.Integer(1, "id");
    if (s.id <= 0) line.Fail("id", "must be positive");
    if (!m_symbols.insert(s.id).second) line.Fail("id", "symbol defined twice");
    s.name = line.Text(2);
    s.pip_location = line.Integer(3, "pip_location");
    if ((s.pip_location < -8 || s.pip_location > 0) && s.pip_location != 100) {
      line.Fail("pip_location", "must lie in -8..0 (or be 100)");
    }
    s.factor = line.Number(4, "factor");
    if (s.factor <= 0) line.Fail("factor", "must be positive");
    s.price_case = line.Integer(5, "price_case");
    s.ref_id = line.Integer(6, "ref_id");
    s.ref_price_case = line.Integer(7, "ref_price_case");
    s.margin_per_lot = line.Number(8, "margin_per_lot");
    if (s.margin_per_lot < 0) line.Fail("margin_per_lot", "must not be negative");
    s.bid = line.Number(9, "bid");
    s.ask = line.Number(10, "ask");
    if (s.bid <= 0) line.Fail("bid", "must be positive");
    if (s.ask < s.bid) line.Fail("ask", "below the bid");
    s.close_day = line.Day(11, "close_day");
    s.close_time = line.TimeOfDay(12, "close_time");
    s.open_day = line.Day(13, "open_day");
    s.open_time = line.TimeOfDay(14, "open_time");
    if (line.size() == 17) {
      s.break_close = line.TimeOfDay(15, "break_close");
      s.break_open = line.TimeOfDay(16, "break_open");
    }
    m_symbol_refs[s.id] = s.ref_id;
    m_symbol_lines.push_back(line.number());
    m_book.symbols.push_back(std::move(s));
  }

  void ReadParamSet(const Line& line) {
    line.Require(3, 3, "PARAMSET name nine-field-groups");
    const std::string name = line.Text(1);
    const std::string text = line.Text(2);
    std::vector<std::string> fields;
    std::stringstream in(text);
    for (std::string f; std::getline(in, f, ',');) fields.push_back(f);
    if (!text.empty() && text.back() == ',') fields.push_back("");
    if (fields.empty() || fields.size() % 9 != 0) {
      line.Fail("groups", "expected groups of nine fields, found " +
                              std::to_string(fields.size()) + " fields");
    }
    if (m_paramsets.count(name)) line.Fail("name", "parameter set defined twice");
    ParamSet& set = m_paramsets[name];
    set.text = text;
    for (size_t g = 0; g < fields.size(); g += 9) {
      const std::string where = "groups (group " + std::to_string(g / 9 + 1) + ")";
      const int32_t symbol = line.ParseInteger(fields[g], where);
      if (m_symbols.count(symbol) == 0) line.Fail(where, "no symbol " + fields[g]);
      if (!fields[g + 1].empty()) line.ParseNumber(fields[g + 1], where);
      for (size_t k = 2; k < 9; ++k) line.ParseNumber(fields[g + k], where);
      set.covered.insert(symbol);
    }
  }

  void ReadClient(const Line& line) {
    line.Require(8, 1000, "CLIENT id paramset liquidation_type liquidation_point "
                          "comm_calc_type enable_interest name");
    model::Client c;
    c.id = line.Integer(1, "id");
    if (m_clients.count(c.id) || m_branches.count(c.id)) line.Fail("id", "client defined twice");
    const std::string paramset = line.Text(2);
    auto set = m_paramsets.find(paramset);
    if (set == m_paramsets.end()) line.Fail("paramset", "no parameter set " + paramset);
    c.parameters = set->second.text;
    c.liquidation_type = line.OneOf(3, "liquidation_type", {0, 1, 2});
    c.liquidation_point = line.Number(4, "liquidation_point");
    c.comm_calc_type = line.OneOf(5, "comm_calc_type", {1, 2});
    c.enable_interest = line.Flag(6, "enable_interest");
    c.name = line.Rest(7, "name");
    m_clients[c.id] = &set->second;
    m_book.clients.push_back(std::move(c));
  }

  void ReadAccount(const Line& line) {
    line.Require(13, 13, "ACCOUNT client account type margin_account previous_margin "
                         "deposit commission margin_requirement net_profit credit "
                         "interest dont_liquidate");
    model::Account a;
    a.client = line.Integer(1, "client");
    if (m_clients.count(a.client) == 0) line.Fail("client", "no client " + line.Text(1));
    a.account = line.Integer(2, "account");
    if (!m_accounts.emplace(a.account, a.client).second) {
      line.Fail("account", "account number used twice");
    }
    a.type = line.OneOf(3, "type", {0, 1, 2});
    a.margin_account = line.Flag(4, "margin_account");
    model::Totals& t = a.totals;
    t.previous_margin = line.Number(5, "previous_margin");
    t.deposit = line.Number(6, "deposit");
    t.commission = line.Number(7, "commission");
    t.margin_requirement = line.Number(8, "margin_requirement");
    t.net_profit = line.Number(9, "net_profit");
    t.credit = line.Number(10, "credit");
    t.interest = line.Number(11, "interest");
    a.dont_liquidate = line.Flag(12, "dont_liquidate");
    m_book.accounts.push_back(a);
  }

  void RequireAccount(const Line& line, int32_t client, int32_t account) const {
    auto it = m_accounts.find(account);
    if (it == m_accounts.end() || it->second != client) {
      line.Fail("account", "client " + std::to_string(client) + " has no account " +
                               std::to_string(account));
    }
  }

  // A symbol the client can trade: it exists and the client's parameter set
  // prices it and its reference symbol.
  void RequireTradable(const Line& line, const std::string& field, int32_t client,
                       int32_t symbol) const {
    if (symbol == 1 || m_symbols.count(symbol) == 0) {
      line.Fail(field, "no tradable symbol " + std::to_string(symbol));
    }
    const std::set<int32_t>& covered = m_clients.at(client)->covered;
    if (covered.count(symbol) == 0 || covered.count(m_symbol_refs.at(symbol)) == 0) {
      line.Fail(field, "the client's parameter set does not price symbol " +
                           std::to_string(symbol) + " and its reference symbol");
    }
  }

  void ReadPosition(const Line& line) {
    line.Require(4, 1000, "POSITION client account position-row");
    model::Position p;
    p.client = line.Integer(1, "client");
    p.account = line.Integer(2, "account");
    RequireAccount(line, p.client, p.account);
    const std::vector<std::string> cells = SplitCells(line.Rest(3, "position-row"));
    if (cells.size() != 16) {
      line.Fail("position-row", "expected 16 cells, found " + std::to_string(cells.size()));
    }
    p.ticket = line.ParseInteger(TrimCell(cells[2]), "position-row cell 3 (ticket)");
    if (p.ticket <= 0) line.Fail("position-row cell 3 (ticket)", "must be positive");
    if (!m_tickets.emplace(p.ticket, p.account).second) {
      line.Fail("position-row cell 3 (ticket)", "ticket used twice");
    }
    p.time = TrimCell(cells[3]);
    const std::string side = TrimCell(cells[4]);
    if (side != "Buy" && side != "Sell") {
      line.Fail("position-row cell 5 (direction)", "expected Buy or Sell");
    }
    p.direction = side == "Buy" ? BuyType : SellType;
    p.lots = line.ParseNumber(TrimCell(cells[5]), "position-row cell 6 (lots)");
    if (p.lots <= 0) line.Fail("position-row cell 6 (lots)", "must be positive");
    p.symbol = line.ParseInteger(TrimCell(cells[6]), "position-row cell 7 (symbol)");
    RequireTradable(line, "position-row cell 7 (symbol)", p.client, p.symbol);
    p.price = line.ParseNumber(TrimCell(cells[7]), "position-row cell 8 (price)");
    if (p.price <= 0) line.Fail("position-row cell 8 (price)", "must be positive");
    p.interest = line.ParseNumber(TrimCell(cells[13]), "position-row cell 14 (interest)");
    p.note = cells[15];
    m_book.sequences.ticket = std::max(m_book.sequences.ticket, p.ticket);
    m_book.positions.push_back(std::move(p));
  }

  void ReadOrder(const Line& line) {
    line.Require(4, 1000, "ORDER client account order-row");
    model::Order o;
    o.client = line.Integer(1, "client");
    o.account = line.Integer(2, "account");
    RequireAccount(line, o.client, o.account);
    const std::vector<std::string> cells = SplitCells(line.Rest(3, "order-row"));
    if (cells.size() != 12 && cells.size() != 13) {
      line.Fail("order-row", "expected 12 cells (13 with an expiry), found " +
                                 std::to_string(cells.size()));
    }
    o.id = line.ParseInteger(TrimCell(cells[0]), "order-row cell 1 (order)");
    if (o.id <= 0) line.Fail("order-row cell 1 (order)", "must be positive");
    if (!m_orders.insert(o.id).second) {
      line.Fail("order-row cell 1 (order)", "order number used twice");
    }
    o.time = cells[1];
    o.direction = line.ParseInteger(TrimCell(cells[2]), "order-row cell 3 (direction)");
    if (o.direction != 1 && o.direction != -1 && o.direction != 2 && o.direction != -2) {
      line.Fail("order-row cell 3 (direction)", "expected 1, -1, 2 or -2");
    }
    o.lots = line.ParseNumber(TrimCell(cells[3]), "order-row cell 4 (lots)");
    if (o.lots <= 0) line.Fail("order-row cell 4 (lots)", "must be positive");
    o.symbol = line.ParseInteger(TrimCell(cells[4]), "order-row cell 5 (symbol)");
    RequireTradable(line, "order-row cell 5 (symbol)", o.client, o.symbol);
    o.price = line.ParseNumber(TrimCell(cells[5]), "order-row cell 6 (price)");
    const bool entry = cells[6] == "LO";
    o.kind = entry ? LimitOrdersType : SlTpType;
    o.position = line.ParseInteger(TrimCell(cells[7]), "order-row cell 8 (ticket)");
    o.sl = line.ParseNumber(TrimCell(cells[8]), "order-row cell 9 (stop-loss)");
    o.tp = line.ParseNumber(TrimCell(cells[9]), "order-row cell 10 (take-profit)");
    o.status = line.ParseInteger(TrimCell(cells[10]), "order-row cell 11 (status)");
    o.note = cells[11];
    if (cells.size() == 13 && !TrimCell(cells[12]).empty()) {
      if (!entry) line.Fail("order-row cell 13 (expiry)", "only an entry order expires");
      o.expiry = TrimCell(cells[12]);
      DateTime expiry;
      if (!model::ReadTime(o.expiry, expiry)) {
        line.Fail("order-row cell 13 (expiry)", "expected dd/mm/yyyy hh:nn:ss");
      }
    }
    m_book.sequences.order = std::max(m_book.sequences.order, o.id);
    if (entry && o.price <= 0) {
      line.Fail("order-row cell 6 (price)", "an entry order needs a price");
    }
    if (!entry) {
      auto it = m_tickets.find(o.position);
      if (it == m_tickets.end() || it->second != o.account) {
        line.Fail("order-row cell 8 (ticket)", "the account holds no position " +
                                                   std::to_string(o.position));
      }
      if (o.sl <= 0 && o.tp <= 0) {
        line.Fail("order-row cell 9 (stop-loss)", "neither a stop-loss nor a take-profit");
      }
    }
    m_book.orders.push_back(std::move(o));
  }

  void ReadAlert(const Line& line) {
    line.Require(6, 6, "ALERT client id symbol condition value");
    model::Alert a;
    a.client = line.Integer(1, "client");
    if (m_clients.count(a.client) == 0) line.Fail("client", "no client " + line.Text(1));
    a.id = line.Integer(2, "id");
    if (!m_alerts.emplace(a.client, a.id).second) line.Fail("id", "alert defined twice");
    a.symbol = line.Integer(3, "symbol");
    RequireTradable(line, "symbol", a.client, a.symbol);
    a.condition = line.OneOf(4, "condition", {1, 2, 3, 4});
    a.value = line.Number(5, "value");
    m_book.alerts.push_back(a);
  }

  model::Client& TradingClient(const Line& line, size_t field) {
    const int32_t id = line.Integer(field, "client");
    auto it = std::find_if(m_book.clients.begin(), m_book.clients.end(),
                           [&](const model::Client& c) { return c.id == id; });
    if (it == m_book.clients.end() || m_clients.count(id) == 0) {
      line.Fail("client", "no client " + line.Text(field));
    }
    return *it;
  }

  void ReadSettings(const Line& line) {
    line.Require(4, 6, "SETTINGS client hedging partial_close [manual_dealing [auto_liquidation]]");
    model::Client& client = TradingClient(line, 1);
    client.hedging = line.Flag(2, "hedging");
    client.partial_close = line.Flag(3, "partial_close");
    if (line.size() > 4) client.manual_dealing = line.Flag(4, "manual_dealing");
    if (line.size() > 5) client.auto_liquidation = line.Flag(5, "auto_liquidation");
  }

  // A branch of the tree (0: a root) defined on an earlier line.
  int32_t Branch(const Line& line, size_t field) const {
    const int32_t id = line.Integer(field, "parent");
    if (id != 0 && m_branches.count(id) == 0) {
      line.Fail("parent", "no office or group " + line.Text(field));
    }
    return id;
  }

  // An office or another group: a client of the tree that holds clients.
  void ReadBranch(const Line& line, int32_t type) {
    line.Require(4, 1000, std::string(line.at(0)) + " id parent name");
    model::Client c;
    c.id = line.Integer(1, "id");
    if (c.id == 0 || m_clients.count(c.id) || m_branches.count(c.id)) {
      line.Fail("id", c.id == 0 ? "0 is no client" : "client defined twice");
    }
    c.parent = Branch(line, 2);
    c.type = type;
    c.name = line.Rest(3, "name");
    m_branches.insert(c.id);
    m_book.clients.push_back(std::move(c));
  }

  void ReadParent(const Line& line) {
    line.Require(3, 3, "PARENT client parent");
    int32_t parent = Branch(line, 2);
    const int32_t id = line.Integer(1, "client");
    auto it = std::find_if(m_book.clients.begin(), m_book.clients.end(),
                           [&](const model::Client& c) { return c.id == id; });
    if (it == m_book.clients.end()) line.Fail("client", "no client " + line.Text(1));
    for (int32_t up = parent; up != 0; up = ParentOf(up)) {
      if (up == id) line.Fail("parent", "would put the client below itself");
    }
    it->parent = parent;
  }

  int32_t ParentOf(int32_t id) const {
    for (const model::Client& c : m_book.clients) {
      if (c.id == id) return c.parent;
    }
    return 0;
  }

  // A dealer acts for the clients below `tree` (0: every client).
  void ReadDealer(const Line& line) {
    line.Require(5, 5, "DEALER username password tree privileges");
    model::User u;
    u.type = DEALER_USER_TYPE;
    u.username = line.Text(1);
    if (!m_users.insert(u.username).second) line.Fail("username", "user defined twice");
    u.password = line.Text(2);
    u.client = line.Integer(3, "tree");
    if (u.client != 0 && m_branches.count(u.client) == 0 && m_clients.count(u.client) == 0) {
      line.Fail("tree", "no client, office or group " + line.Text(3));
    }
    u.privileges = Privileges(line, 4);
    m_book.users.push_back(std::move(u));
  }

  std::string Privileges(const Line& line, size_t field) const {
    const std::string text = line.Text(field) == "-" ? std::string() : line.Text(field);
    std::stringstream in(text);
    for (std::string piece; std::getline(in, piece, ',');) {
      const int32_t privilege = line.ParseInteger(piece, "privileges");
      if (privilege < 1 || privilege > 200) line.Fail("privileges", "must lie in 1..200");
    }
    return text;
  }

  void ReadPlatform(const Line& line) {
    line.Require(3, 3, "PLATFORM name value");
    const std::string name = line.Text(1);
    model::Platform& p = m_book.platform;
    auto seconds = [&](int32_t& value) {
      value = line.Integer(2, "value");
      if (value < 1 || value > 3600) line.Fail("value", "seconds must lie in 1..3600");
    };
    if (name == "multi_sessions") {
      p.multi_sessions_allowed = line.Flag(2, "value");
    } else if (name == "dealer_timer") {
      seconds(p.dealer_timer);
    } else if (name == "price_changed_timer") {
      seconds(p.price_changed_timer);
    } else if (name == "client_connect_timer") {
      seconds(p.client_connect_timer);
    } else if (name == "client_timeout_timer") {
      seconds(p.client_timeout_timer);
    } else if (name == "valid_lots_location") {
      p.valid_lots_location = line.Integer(2, "value");
      if (p.valid_lots_location < 0 || p.valid_lots_location > 8) {
        line.Fail("value", "lot decimals must lie in 0..8");
      }
    } else if (name == "server_gmt") {
      p.server_gmt = line.Number(2, "value");
      if (p.server_gmt < -12 || p.server_gmt > 14) line.Fail("value", "must lie in -12..14");
    } else {
      line.Fail("name", "no platform setting '" + name + "'");
    }
  }

  void ReadInterest(const Line& line) {
    line.Require(5, 5, "INTEREST symbol yearly_buy_rate yearly_sell_rate year_days");
    model::InterestRate r;
    r.symbol = line.Integer(1, "symbol");
    if (r.symbol == 1 || m_symbols.count(r.symbol) == 0) {
      line.Fail("symbol", "no tradable symbol " + line.Text(1));
    }
    if (!m_rated.insert(r.symbol).second) line.Fail("symbol", "interest rates given twice");
    r.buy_rate = line.Number(2, "yearly_buy_rate");
    r.sell_rate = line.Number(3, "yearly_sell_rate");
    r.year_days = line.Integer(4, "year_days");
    if (r.year_days < 1 || r.year_days > 366) line.Fail("year_days", "must lie in 1..366");
    m_book.interest_rates.push_back(r);
  }

  void ReadUser(const Line& line) {
    line.Require(5, 6, "USER username password client privileges [symbols]");
    model::User u;
    u.username = line.Text(1);
    if (!m_users.insert(u.username).second) line.Fail("username", "user defined twice");
    u.password = line.Text(2);
    u.client = line.Integer(3, "client");
    if (m_clients.count(u.client) == 0) line.Fail("client", "no client " + line.Text(3));
    u.privileges = Privileges(line, 4);
    if (line.size() == 6 && line.Text(5) != "-") {
      u.symbols = line.Text(5);
      std::stringstream symbols(u.symbols);
      for (std::string piece; std::getline(symbols, piece, ',');) {
        const int32_t symbol = line.ParseInteger(piece, "symbols");
        if (m_symbols.count(symbol) == 0) line.Fail("symbols", "no symbol " + piece);
      }
    }
    m_book.users.push_back(std::move(u));
  }

  struct ParamSet {
    std::string text;
    std::set<int32_t> covered;  // the symbols it prices
  };

  std::string m_file;
  model::Snapshot m_book;
  std::vector<int> m_symbol_lines;  // the line of each symbol, in book order
  std::set<std::string> m_users;
  std::set<int32_t> m_symbols;
  std::map<int32_t, int32_t> m_symbol_refs;  // symbol -> reference symbol
  std::map<std::string, ParamSet> m_paramsets;
  std::map<int32_t, const ParamSet*> m_clients;  // client -> parameter set
  std::set<int32_t> m_branches;                  // offices and groups
  std::map<int32_t, int32_t> m_accounts;         // account -> client
  std::map<int32_t, int32_t> m_tickets;          // ticket -> account
  std::set<int32_t> m_orders;
  std::set<std::pair<int32_t, int32_t>> m_alerts;
  std::set<int32_t> m_rated;  // symbols with interest rates
};

template <typename F>
void ForEachLine(const std::string& text, F&& f) {
  int number = 0;
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++number;
    size_t first = line.find_first_not_of(" \t");
    if (first != std::string_view::npos && line[first] != '#') f(number, line);
    if (end == text.size()) break;
    at = end + 1;
  }
}

int TwoDigits(std::string_view t, size_t at) { return (t[at] - '0') * 10 + (t[at + 1] - '0'); }

}  // namespace

model::Snapshot ImportBook(const std::string& text, const std::string& file) {
  BookReader reader(file);
  ForEachLine(text, [&](int number, std::string_view line) {
    reader.Read(Line(file, number, line));
  });
  return reader.Finish();
}

std::vector<model::Quote> ImportTape(const std::string& text, const std::string& file,
                                     const model::Snapshot& book) {
  std::set<int32_t> symbols;
  for (const model::Symbol& s : book.symbols) {
    if (s.id != 1) symbols.insert(s.id);
  }
  std::vector<model::Quote> ticks;
  ForEachLine(text, [&](int number, std::string_view text_line) {
    Line line(file, number, text_line);
    line.Require(5, 5, "date time symbol bid ask");
    const std::string_view d = line.at(0);
    const std::string_view t = line.at(1);
    if (d.size() != 10 || d[2] != '/' || d[5] != '/' || !Line::Digits(d.substr(0, 2)) ||
        !Line::Digits(d.substr(3, 2)) || !Line::Digits(d.substr(6))) {
      line.Fail("date", "not a date dd/mm/yyyy: '" + line.Text(0) + "'");
    }
    if (t.size() != 8 || t[2] != ':' || t[5] != ':' || !Line::Digits(t.substr(0, 2)) ||
        !Line::Digits(t.substr(3, 2)) || !Line::Digits(t.substr(6))) {
      line.Fail("time", "not a time hh:nn:ss: '" + line.Text(1) + "'");
    }
    const int day = TwoDigits(d, 0), month = TwoDigits(d, 3);
    const int year = std::stoi(std::string(d.substr(6)));
    const int hour = TwoDigits(t, 0), minute = TwoDigits(t, 3), second = TwoDigits(t, 6);
    if (month < 1 || month > 12 || day < 1 || day > 31 || year < 1900) {
      line.Fail("date", "no such date: '" + line.Text(0) + "'");
    }
    if (hour > 23 || minute > 59 || second > 59) {
      line.Fail("time", "no such time: '" + line.Text(1) + "'");
    }
    model::Quote tick;
    tick.time = DateTime::FromParts(year, month, day, hour, minute, second);
    if (tick.time.Day() != day) line.Fail("date", "no such date: '" + line.Text(0) + "'");
    if (!ticks.empty() && tick.time < ticks.back().time) {
      line.Fail("time", "earlier than the tick before it");
    }
    tick.time_text = line.Text(0) + " " + line.Text(1);
    tick.symbol = line.Integer(2, "symbol");
    if (symbols.count(tick.symbol) == 0) {
      line.Fail("symbol", "no tradable symbol " + line.Text(2) + " in the book");
    }
    tick.bid = line.Number(3, "bid");
    tick.ask = line.Number(4, "ask");
    if (tick.bid <= 0) line.Fail("bid", "must be positive");
    if (tick.ask < tick.bid) line.Fail("ask", "below the bid");
    ticks.push_back(std::move(tick));
  });
  return ticks;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError(path + ": cannot be read");
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace orvane::apps
