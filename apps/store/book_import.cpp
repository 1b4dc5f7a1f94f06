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

  [[noreturn]] void fail(const std::string& field, const std::string& problem) const {
    throw InputError(m_file + ":" + std::to_string(m_number) + ": field '" + field +
                     "': " + problem);
  }
  void require(size_t min_fields, size_t max_fields, const std::string& layout) const {
    if (size() < min_fields || size() > max_fields) {
      fail("record", "expected " + layout + ", found " + std::to_string(size()) + " fields");
    }
  }
  std::string text(size_t i) const { return std::string(m_fields[i]); }
  // The text from field i to the end of the line.
  std::string rest(size_t i, const std::string& field) const {
    if (i >= size()) fail(field, "missing");
    std::string_view rest = m_text.substr(m_starts[i]);
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t' || rest.back() == '\r'))
      rest.remove_suffix(1);
    return std::string(rest);
  }
  double number(size_t i, const std::string& field) const {
    return parse_number(m_fields[i], field);
  }
  double parse_number(std::string_view text, const std::string& field) const {
    double value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first;
    auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || text.empty() || !std::isfinite(value)) {
      fail(field, "not a number: '" + std::string(text) + "'");
    }
    return value;
  }
  int32_t integer(size_t i, const std::string& field) const {
    return parse_integer(m_fields[i], field);
  }
  int32_t parse_integer(std::string_view text, const std::string& field) const {
    int32_t value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || text.empty()) {
      fail(field, "not a whole number: '" + std::string(text) + "'");
    }
    return value;
  }
  int32_t one_of(size_t i, const std::string& field, std::initializer_list<int32_t> allowed) const {
    const int32_t value = integer(i, field);
    for (int32_t a : allowed) {
      if (a == value) return value;
    }
    fail(field, "value " + std::to_string(value) + " is not allowed");
  }
  bool flag(size_t i, const std::string& field) const { return one_of(i, field, {0, 1}) == 1; }
  std::string day(size_t i, const std::string& field) const {
    if (kDays.count(m_fields[i]) == 0) fail(field, "not a day name: '" + text(i) + "'");
    return text(i);
  }
  std::string time_of_day(size_t i, const std::string& field) const {
    const std::string_view t = m_fields[i];
    if (t.size() != 5 || t[2] != ':' || !digits(t.substr(0, 2)) || !digits(t.substr(3)) ||
        (t[0] - '0') * 10 + (t[1] - '0') > 23 || (t[3] - '0') * 10 + (t[4] - '0') > 59) {
      fail(field, "not a time hh:mm: '" + text(i) + "'");
    }
    return text(i);
  }
  static bool digits(std::string_view text) {
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
std::vector<std::string> split_cells(const std::string& row) {
  CRow reader;
  reader.Add(row);
  std::vector<std::string> cells;
  for (int32_t i = 1; i <= reader.Count(); ++i) cells.push_back(reader.Item(i));
  return cells;
}

std::string trim_cell(const std::string& cell) { return std::string(Trim(cell)); }

// Everything a book refers to, checked as the records come in: a record may
// only name what an earlier line defined (symbols' reference symbols aside,
// which are checked at the end).
class BookReader {
 public:
  explicit BookReader(const std::string& file) : m_file(file) {}

  void read(const Line& line) {
    const std::string_view kind = line.at(0);
    if (kind == "SYMBOL") return read_symbol(line);
    if (kind == "PARAMSET") return read_param_set(line);
    if (kind == "CLIENT") return read_client(line);
    if (kind == "ACCOUNT") return read_account(line);
    if (kind == "POSITION") return read_position(line);
    if (kind == "ORDER") return read_order(line);
    if (kind == "ALERT") return read_alert(line);
    if (kind == "USER") return read_user(line);
    if (kind == "SETTINGS") return read_settings(line);
    if (kind == "OFFICE") return read_branch(line, OFFICE_TYPE);
    if (kind == "GROUP") return read_branch(line, OTHER_GROUPS_TYPE);
    if (kind == "PARENT") return read_parent(line);
    if (kind == "DEALER") return read_dealer(line);
    if (kind == "PLATFORM") return read_platform(line);
    if (kind == "INTEREST") return read_interest(line);
    line.fail("record", "unknown record kind '" + std::string(kind) + "'");
  }

  model::Snapshot finish() {
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
  void read_symbol(const Line& line) {
    line.require(15, 17, "SYMBOL id name pip_location factor price_case ref_id "
                         "ref_price_case margin_per_lot bid ask close_day close_time "
                         "open_day open_time [break_close break_open]");
    if (line.size() == 16) line.fail("break_open", "missing");
    model::Symbol s;
    s.id = line.integer(1, "id");
    if (s.id <= 0) line.fail("id", "must be positive");
    if (!m_symbols.insert(s.id).second) line.fail("id", "symbol defined twice");
    s.name = line.text(2);
    s.pip_location = line.integer(3, "pip_location");
    if ((s.pip_location < -8 || s.pip_location > 0) && s.pip_location != 100) {
      line.fail("pip_location", "must lie in -8..0 (or be 100)");
    }
    s.factor = line.number(4, "factor");
    if (s.factor <= 0) line.fail("factor", "must be positive");
    s.price_case = line.integer(5, "price_case");
    s.ref_id = line.integer(6, "ref_id");
    s.ref_price_case = line.integer(7, "ref_price_case");
    s.margin_per_lot = line.number(8, "margin_per_lot");
    if (s.margin_per_lot < 0) line.fail("margin_per_lot", "must not be negative");
    s.bid = line.number(9, "bid");
    s.ask = line.number(10, "ask");
    if (s.bid <= 0) line.fail("bid", "must be positive");
    if (s.ask < s.bid) line.fail("ask", "below the bid");
    s.close_day = line.day(11, "close_day");
    s.close_time = line.time_of_day(12, "close_time");
    s.open_day = line.day(13, "open_day");
    s.open_time = line.time_of_day(14, "open_time");
    if (line.size() == 17) {
      s.break_close = line.time_of_day(15, "break_close");
      s.break_open = line.time_of_day(16, "break_open");
    }
    m_symbol_refs[s.id] = s.ref_id;
    m_symbol_lines.push_back(line.number());
    m_book.symbols.push_back(std::move(s));
  }

  void read_param_set(const Line& line) {
    line.require(3, 3, "PARAMSET name nine-field-groups");
    const std::string name = line.text(1);
    const std::string text = line.text(2);
    std::vector<std::string> fields;
    std::stringstream in(text);
    for (std::string f; std::getline(in, f, ',');) fields.push_back(f);
    if (!text.empty() && text.back() == ',') fields.push_back("");
    if (fields.empty() || fields.size() % 9 != 0) {
      line.fail("groups", "expected groups of nine fields, found " +
                              std::to_string(fields.size()) + " fields");
    }
    if (m_paramsets.count(name)) line.fail("name", "parameter set defined twice");
    ParamSet& set = m_paramsets[name];
    set.text = text;
    for (size_t g = 0; g < fields.size(); g += 9) {
      const std::string where = "groups (group " + std::to_string(g / 9 + 1) + ")";
      const int32_t symbol = line.parse_integer(fields[g], where);
      if (m_symbols.count(symbol) == 0) line.fail(where, "no symbol " + fields[g]);
      if (!fields[g + 1].empty()) line.parse_number(fields[g + 1], where);
      for (size_t k = 2; k < 9; ++k) line.parse_number(fields[g + k], where);
      set.covered.insert(symbol);
    }
  }

  void read_client(const Line& line) {
    line.require(8, 1000, "CLIENT id paramset liquidation_type liquidation_point "
                          "comm_calc_type enable_interest name");
    model::Client c;
    c.id = line.integer(1, "id");
    if (m_clients.count(c.id) || m_branches.count(c.id)) line.fail("id", "client defined twice");
    const std::string paramset = line.text(2);
    auto set = m_paramsets.find(paramset);
    if (set == m_paramsets.end()) line.fail("paramset", "no parameter set " + paramset);
    c.parameters = set->second.text;
    c.liquidation_type = line.one_of(3, "liquidation_type", {0, 1, 2});
    c.liquidation_point = line.number(4, "liquidation_point");
    c.comm_calc_type = line.one_of(5, "comm_calc_type", {1, 2});
    c.enable_interest = line.flag(6, "enable_interest");
    c.name = line.rest(7, "name");
    m_clients[c.id] = &set->second;
    m_book.clients.push_back(std::move(c));
  }

  void read_account(const Line& line) {
    line.require(13, 13, "ACCOUNT client account type margin_account previous_margin "
                         "deposit commission margin_requirement net_profit credit "
                         "interest dont_liquidate");
    model::Account a;
    a.client = line.integer(1, "client");
    if (m_clients.count(a.client) == 0) line.fail("client", "no client " + line.text(1));
    a.account = line.integer(2, "account");
    if (!m_accounts.emplace(a.account, a.client).second) {
      line.fail("account", "account number used twice");
    }
    a.type = line.one_of(3, "type", {0, 1, 2});
    a.margin_account = line.flag(4, "margin_account");
    model::Totals& t = a.totals;
    t.previous_margin = line.number(5, "previous_margin");
    t.deposit = line.number(6, "deposit");
    t.commission = line.number(7, "commission");
    t.margin_requirement = line.number(8, "margin_requirement");
    t.net_profit = line.number(9, "net_profit");
    t.credit = line.number(10, "credit");
    t.interest = line.number(11, "interest");
    a.dont_liquidate = line.flag(12, "dont_liquidate");
    m_book.accounts.push_back(a);
  }

  void require_account(const Line& line, int32_t client, int32_t account) const {
    auto it = m_accounts.find(account);
    if (it == m_accounts.end() || it->second != client) {
      line.fail("account", "client " + std::to_string(client) + " has no account " +
                               std::to_string(account));
    }
  }

  // A symbol the client can trade: it exists and the client's parameter set
  // prices it and its reference symbol.
  void require_tradable(const Line& line, const std::string& field, int32_t client,
                       int32_t symbol) const {
    if (symbol == 1 || m_symbols.count(symbol) == 0) {
      line.fail(field, "no tradable symbol " + std::to_string(symbol));
    }
    const std::set<int32_t>& covered = m_clients.at(client)->covered;
    if (covered.count(symbol) == 0 || covered.count(m_symbol_refs.at(symbol)) == 0) {
      line.fail(field, "the client's parameter set does not price symbol " +
                           std::to_string(symbol) + " and its reference symbol");
    }
  }

  void read_position(const Line& line) {
    line.require(4, 1000, "POSITION client account position-row");
    model::Position p;
    p.client = line.integer(1, "client");
    p.account = line.integer(2, "account");
    require_account(line, p.client, p.account);
    const std::vector<std::string> cells = split_cells(line.rest(3, "position-row"));
    if (cells.size() != 16) {
      line.fail("position-row", "expected 16 cells, found " + std::to_string(cells.size()));
    }
    p.ticket = line.parse_integer(trim_cell(cells[2]), "position-row cell 3 (ticket)");
    if (p.ticket <= 0) line.fail("position-row cell 3 (ticket)", "must be positive");
    if (!m_tickets.emplace(p.ticket, p.account).second) {
      line.fail("position-row cell 3 (ticket)", "ticket used twice");
    }
    p.time = trim_cell(cells[3]);
    const std::string side = trim_cell(cells[4]);
    if (side != "Buy" && side != "Sell") {
      line.fail("position-row cell 5 (direction)", "expected Buy or Sell");
    }
    p.direction = side == "Buy" ? BuyType : SellType;
    p.lots = line.parse_number(trim_cell(cells[5]), "position-row cell 6 (lots)");
    if (p.lots <= 0) line.fail("position-row cell 6 (lots)", "must be positive");
    p.symbol = line.parse_integer(trim_cell(cells[6]), "position-row cell 7 (symbol)");
    require_tradable(line, "position-row cell 7 (symbol)", p.client, p.symbol);
    p.price = line.parse_number(trim_cell(cells[7]), "position-row cell 8 (price)");
    if (p.price <= 0) line.fail("position-row cell 8 (price)", "must be positive");
    p.interest = line.parse_number(trim_cell(cells[13]), "position-row cell 14 (interest)");
    p.note = cells[15];
    m_book.sequences.ticket = std::max(m_book.sequences.ticket, p.ticket);
    m_book.positions.push_back(std::move(p));
  }

  void read_order(const Line& line) {
    line.require(4, 1000, "ORDER client account order-row");
    model::Order o;
    o.client = line.integer(1, "client");
    o.account = line.integer(2, "account");
    require_account(line, o.client, o.account);
    const std::vector<std::string> cells = split_cells(line.rest(3, "order-row"));
    if (cells.size() != 12 && cells.size() != 13) {
      line.fail("order-row", "expected 12 cells (13 with an expiry), found " +
                                 std::to_string(cells.size()));
    }
    o.id = line.parse_integer(trim_cell(cells[0]), "order-row cell 1 (order)");
    if (o.id <= 0) line.fail("order-row cell 1 (order)", "must be positive");
    if (!m_orders.insert(o.id).second) {
      line.fail("order-row cell 1 (order)", "order number used twice");
    }
    o.time = cells[1];
    o.direction = line.parse_integer(trim_cell(cells[2]), "order-row cell 3 (direction)");
    if (o.direction != 1 && o.direction != -1 && o.direction != 2 && o.direction != -2) {
      line.fail("order-row cell 3 (direction)", "expected 1, -1, 2 or -2");
    }
    o.lots = line.parse_number(trim_cell(cells[3]), "order-row cell 4 (lots)");
    if (o.lots <= 0) line.fail("order-row cell 4 (lots)", "must be positive");
    o.symbol = line.parse_integer(trim_cell(cells[4]), "order-row cell 5 (symbol)");
    require_tradable(line, "order-row cell 5 (symbol)", o.client, o.symbol);
    o.price = line.parse_number(trim_cell(cells[5]), "order-row cell 6 (price)");
    const bool entry = cells[6] == "LO";
    o.kind = entry ? LimitOrdersType : SlTpType;
    o.position = line.parse_integer(trim_cell(cells[7]), "order-row cell 8 (ticket)");
    o.sl = line.parse_number(trim_cell(cells[8]), "order-row cell 9 (stop-loss)");
    o.tp = line.parse_number(trim_cell(cells[9]), "order-row cell 10 (take-profit)");
    o.status = line.parse_integer(trim_cell(cells[10]), "order-row cell 11 (status)");
    o.note = cells[11];
    if (cells.size() == 13 && !trim_cell(cells[12]).empty()) {
      if (!entry) line.fail("order-row cell 13 (expiry)", "only an entry order expires");
      o.expiry = trim_cell(cells[12]);
      DateTime expiry;
      if (!model::read_time(o.expiry, expiry)) {
        line.fail("order-row cell 13 (expiry)", "expected dd/mm/yyyy hh:nn:ss");
      }
    }
    m_book.sequences.order = std::max(m_book.sequences.order, o.id);
    if (entry && o.price <= 0) {
      line.fail("order-row cell 6 (price)", "an entry order needs a price");
    }
    if (!entry) {
      auto it = m_tickets.find(o.position);
      if (it == m_tickets.end() || it->second != o.account) {
        line.fail("order-row cell 8 (ticket)", "the account holds no position " +
                                                   std::to_string(o.position));
      }
      if (o.sl <= 0 && o.tp <= 0) {
        line.fail("order-row cell 9 (stop-loss)", "neither a stop-loss nor a take-profit");
      }
    }
    m_book.orders.push_back(std::move(o));
  }

  void read_alert(const Line& line) {
    line.require(6, 6, "ALERT client id symbol condition value");
    model::Alert a;
    a.client = line.integer(1, "client");
    if (m_clients.count(a.client) == 0) line.fail("client", "no client " + line.text(1));
    a.id = line.integer(2, "id");
    if (!m_alerts.emplace(a.client, a.id).second) line.fail("id", "alert defined twice");
    a.symbol = line.integer(3, "symbol");
    require_tradable(line, "symbol", a.client, a.symbol);
    a.condition = line.one_of(4, "condition", {1, 2, 3, 4});
    a.value = line.number(5, "value");
    m_book.alerts.push_back(a);
  }

  model::Client& trading_client(const Line& line, size_t field) {
    const int32_t id = line.integer(field, "client");
    auto it = std::find_if(m_book.clients.begin(), m_book.clients.end(),
                           [&](const model::Client& c) { return c.id == id; });
    if (it == m_book.clients.end() || m_clients.count(id) == 0) {
      line.fail("client", "no client " + line.text(field));
    }
    return *it;
  }

  void read_settings(const Line& line) {
    line.require(4, 6, "SETTINGS client hedging partial_close [manual_dealing [auto_liquidation]]");
    model::Client& client = trading_client(line, 1);
    client.hedging = line.flag(2, "hedging");
    client.partial_close = line.flag(3, "partial_close");
    if (line.size() > 4) client.manual_dealing = line.flag(4, "manual_dealing");
    if (line.size() > 5) client.auto_liquidation = line.flag(5, "auto_liquidation");
  }

  // A branch of the tree (0: a root) defined on an earlier line.
  int32_t branch(const Line& line, size_t field) const {
    const int32_t id = line.integer(field, "parent");
    if (id != 0 && m_branches.count(id) == 0) {
      line.fail("parent", "no office or group " + line.text(field));
    }
    return id;
  }

  // An office or another group: a client of the tree that holds clients.
  void read_branch(const Line& line, int32_t type) {
    line.require(4, 1000, std::string(line.at(0)) + " id parent name");
    model::Client c;
    c.id = line.integer(1, "id");
    if (c.id == 0 || m_clients.count(c.id) || m_branches.count(c.id)) {
      line.fail("id", c.id == 0 ? "0 is no client" : "client defined twice");
    }
    c.parent = branch(line, 2);
    c.type = type;
    c.name = line.rest(3, "name");
    m_branches.insert(c.id);
    m_book.clients.push_back(std::move(c));
  }

  void read_parent(const Line& line) {
    line.require(3, 3, "PARENT client parent");
    int32_t parent = branch(line, 2);
    const int32_t id = line.integer(1, "client");
    auto it = std::find_if(m_book.clients.begin(), m_book.clients.end(),
                           [&](const model::Client& c) { return c.id == id; });
    if (it == m_book.clients.end()) line.fail("client", "no client " + line.text(1));
    for (int32_t up = parent; up != 0; up = parent_of(up)) {
      if (up == id) line.fail("parent", "would put the client below itself");
    }
    it->parent = parent;
  }

  int32_t parent_of(int32_t id) const {
    for (const model::Client& c : m_book.clients) {
      if (c.id == id) return c.parent;
    }
    return 0;
  }

  // A dealer acts for the clients below `tree` (0: every client).
  void read_dealer(const Line& line) {
    line.require(5, 5, "DEALER username password tree privileges");
    model::User u;
    u.type = DEALER_USER_TYPE;
    u.username = line.text(1);
    if (!m_users.insert(u.username).second) line.fail("username", "user defined twice");
    u.password = line.text(2);
    u.client = line.integer(3, "tree");
    if (u.client != 0 && m_branches.count(u.client) == 0 && m_clients.count(u.client) == 0) {
      line.fail("tree", "no client, office or group " + line.text(3));
    }
    u.privileges = privileges(line, 4);
    m_book.users.push_back(std::move(u));
  }

  std::string privileges(const Line& line, size_t field) const {
    const std::string text = line.text(field) == "-" ? std::string() : line.text(field);
    std::stringstream in(text);
    for (std::string piece; std::getline(in, piece, ',');) {
      const int32_t privilege = line.parse_integer(piece, "privileges");
      if (privilege < 1 || privilege > 200) line.fail("privileges", "must lie in 1..200");
    }
    return text;
  }

  void read_platform(const Line& line) {
    line.require(3, 3, "PLATFORM name value");
    const std::string name = line.text(1);
    model::Platform& p = m_book.platform;
    auto seconds = [&](int32_t& value) {
      value = line.integer(2, "value");
      if (value < 1 || value > 3600) line.fail("value", "seconds must lie in 1..3600");
    };
    if (name == "multi_sessions") {
      p.multi_sessions_allowed = line.flag(2, "value");
    } else if (name == "dealer_timer") {
      seconds(p.dealer_timer);
    } else if (name == "price_changed_timer") {
      seconds(p.price_changed_timer);
    } else if (name == "client_connect_timer") {
      seconds(p.client_connect_timer);
    } else if (name == "client_timeout_timer") {
      seconds(p.client_timeout_timer);
    } else if (name == "valid_lots_location") {
      p.valid_lots_location = line.integer(2, "value");
      if (p.valid_lots_location < 0 || p.valid_lots_location > 8) {
        line.fail("value", "lot decimals must lie in 0..8");
      }
    } else if (name == "server_gmt") {
      p.server_gmt = line.number(2, "value");
      if (p.server_gmt < -12 || p.server_gmt > 14) line.fail("value", "must lie in -12..14");
    } else {
      line.fail("name", "no platform setting '" + name + "'");
    }
  }

  void read_interest(const Line& line) {
    line.require(5, 5, "INTEREST symbol yearly_buy_rate yearly_sell_rate year_days");
    model::InterestRate r;
    r.symbol = line.integer(1, "symbol");
    if (r.symbol == 1 || m_symbols.count(r.symbol) == 0) {
      line.fail("symbol", "no tradable symbol " + line.text(1));
    }
    if (!m_rated.insert(r.symbol).second) line.fail("symbol", "interest rates given twice");
    r.buy_rate = line.number(2, "yearly_buy_rate");
    r.sell_rate = line.number(3, "yearly_sell_rate");
    r.year_days = line.integer(4, "year_days");
    if (r.year_days < 1 || r.year_days > 366) line.fail("year_days", "must lie in 1..366");
    m_book.interest_rates.push_back(r);
  }

  void read_user(const Line& line) {
    line.require(5, 6, "USER username password client privileges [symbols]");
    model::User u;
    u.username = line.text(1);
    if (!m_users.insert(u.username).second) line.fail("username", "user defined twice");
    u.password = line.text(2);
    u.client = line.integer(3, "client");
    if (m_clients.count(u.client) == 0) line.fail("client", "no client " + line.text(3));
    u.privileges = privileges(line, 4);
    if (line.size() == 6 && line.text(5) != "-") {
      u.symbols = line.text(5);
      std::stringstream symbols(u.symbols);
      for (std::string piece; std::getline(symbols, piece, ',');) {
        const int32_t symbol = line.parse_integer(piece, "symbols");
        if (m_symbols.count(symbol) == 0) line.fail("symbols", "no symbol " + piece);
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
void for_each_line(const std::string& text, F&& f) {
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

int two_digits(std::string_view t, size_t at) { return (t[at] - '0') * 10 + (t[at + 1] - '0'); }

}  // namespace

model::Snapshot import_book(const std::string& text, const std::string& file) {
  BookReader reader(file);
  for_each_line(text, [&](int number, std::string_view line) {
    reader.read(Line(file, number, line));
  });
  return reader.finish();
}

std::vector<model::Quote> import_tape(const std::string& text, const std::string& file,
                                     const model::Snapshot& book) {
  std::set<int32_t> symbols;
  for (const model::Symbol& s : book.symbols) {
    if (s.id != 1) symbols.insert(s.id);
  }
  std::vector<model::Quote> ticks;
  for_each_line(text, [&](int number, std::string_view text_line) {
    Line line(file, number, text_line);
    line.require(5, 5, "date time symbol bid ask");
    const std::string_view d = line.at(0);
    const std::string_view t = line.at(1);
    if (d.size() != 10 || d[2] != '/' || d[5] != '/' || !Line::digits(d.substr(0, 2)) ||
        !Line::digits(d.substr(3, 2)) || !Line::digits(d.substr(6))) {
      line.fail("date", "not a date dd/mm/yyyy: '" + line.text(0) + "'");
    }
    if (t.size() != 8 || t[2] != ':' || t[5] != ':' || !Line::digits(t.substr(0, 2)) ||
        !Line::digits(t.substr(3, 2)) || !Line::digits(t.substr(6))) {
      line.fail("time", "not a time hh:nn:ss: '" + line.text(1) + "'");
    }
    const int day = two_digits(d, 0), month = two_digits(d, 3);
    const int year = std::stoi(std::string(d.substr(6)));
    const int hour = two_digits(t, 0), minute = two_digits(t, 3), second = two_digits(t, 6);
    if (month < 1 || month > 12 || day < 1 || day > 31 || year < 1900) {
      line.fail("date", "no such date: '" + line.text(0) + "'");
    }
    if (hour > 23 || minute > 59 || second > 59) {
      line.fail("time", "no such time: '" + line.text(1) + "'");
    }
    model::Quote tick;
    tick.time = DateTime::FromParts(year, month, day, hour, minute, second);
    if (tick.time.Day() != day) line.fail("date", "no such date: '" + line.text(0) + "'");
    if (!ticks.empty() && tick.time < ticks.back().time) {
      line.fail("time", "earlier than the tick before it");
    }
    tick.time_text = line.text(0) + " " + line.text(1);
    tick.symbol = line.integer(2, "symbol");
    if (symbols.count(tick.symbol) == 0) {
      line.fail("symbol", "no tradable symbol " + line.text(2) + " in the book");
    }
    tick.bid = line.number(3, "bid");
    tick.ask = line.number(4, "ask");
    if (tick.bid <= 0) line.fail("bid", "must be positive");
    if (tick.ask < tick.bid) line.fail("ask", "below the bid");
    ticks.push_back(std::move(tick));
  });
  return ticks;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError(path + ": cannot be read");
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace orvane::apps
