#include "command.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "desk.h"
#include "market_time.h"
#include "orvane/core/conversions.h"
#include "orvane/vocabulary/operation_type_enum.h"
#include "orvane/vocabulary/orders_type_enum.h"
#include "rows.h"
#include "terminal.h"

namespace orvane::apps {

const char kCommandHelp[] =
    "  buy|sell SYMBOL LOTS [sl PRICE] [tp PRICE] [account N]   a market order\n"
    "  close TICKET [LOTS]                  close a position, whole or in part\n"
    "  hedge TICKET TICKET                  close a buy against a sell\n"
    "  limit|stop buy|sell SYMBOL LOTS at PRICE [sl PRICE] [tp PRICE]\n"
    "       [expires dd/mm/yyyy hh:nn:ss] [account N]           an entry order\n"
    "  change ORDER LOTS at PRICE [sl PRICE] [tp PRICE] [expires ...]\n"
    "  cancel ORDER                         delete an entry order\n"
    "  sltp TICKET [sl PRICE] [tp PRICE]    set or move a stop-loss and take-profit\n"
    "  sltp TICKET off                      remove them\n"
    "  positions | orders | history [ACCOUNT] | help | quit\n";

namespace {

using Verb = Command::Verb;

// The words of a line, taken in order.
class Words {
 public:
  explicit Words(const std::string& line) {
    std::istringstream in(line);
    for (std::string word; in >> word;) m_words.push_back(word);
  }
  bool done() const { return m_next >= m_words.size(); }
  const std::string& peek() const { return m_words[m_next]; }
  std::string next(const char* what) {
    if (done()) throw std::invalid_argument(std::string("missing ") + what);
    return m_words[m_next++];
  }
  double number(const char* what) {
    const std::string word = next(what);
    double value = 0;
    if (!wire::read_number(word, value)) {
      throw std::invalid_argument(std::string(what) + " must be a number, not '" + word + "'");
    }
    return value;
  }
  int32_t integer(const char* what) {
    const std::string word = next(what);
    int32_t value = 0;
    if (!wire::read_integer(word, value)) {
      throw std::invalid_argument(std::string(what) + " must be a whole number, not '" + word +
                                  "'");
    }
    return value;
  }
  Price price_of(const char* what) {
    const std::string word = next(what);
    Price price;
    const bool pips = word.size() > 2 && (word[0] == '+' || word[0] == '-') && word.back() == 'p';
    // "+20p" reads 20, "-20p" reads -20.
    const std::string number = pips ? word.substr(word[0] == '+' ? 1 : 0, word.size() - 1 -
                                                                      (word[0] == '+' ? 1 : 0))
                                    : word;
    if (!wire::read_number(number, price.value) || (!pips && price.value < 0)) {
      throw std::invalid_argument(std::string(what) + " must be a price or +Np/-Np, not '" +
                                  word + "'");
    }
    price.in_pips = pips;
    return price;
  }
  void expect(const char* word) {
    const std::string found = next(word);
    if (found != word) {
      throw std::invalid_argument(std::string("expected '") + word + "', not '" + found + "'");
    }
  }

 private:
  std::vector<std::string> m_words;
  size_t m_next = 0;
};

// dd/mm/yyyy hh:nn:ss, or +N and a unit: s, m, h or d.
void read_expiry(Words& words, Command& c) {
  const std::string first = words.next("the expiry");
  static const std::string kUnits = "smhd";
  static const double kSeconds[] = {1, 60, 3600, 86400};
  const size_t unit = first.empty() ? std::string::npos : kUnits.find(first.back());
  if (first.size() > 2 && first[0] == '+' && unit != std::string::npos) {
    double count = 0;
    if (!wire::read_number(first.substr(1, first.size() - 2), count) || count <= 0) {
      throw std::invalid_argument("an expiry +N needs a positive N, not '" + first + "'");
    }
    c.expires_in = count * kSeconds[unit];
    return;
  }
  c.expiry = first + " " + words.next("the expiry time");
  DateTime time;
  if (!model::read_time(c.expiry, time)) {
    throw std::invalid_argument("the expiry must read dd/mm/yyyy hh:nn:ss or +N(s|m|h|d)");
  }
}

// The options that may follow an order: sl, tp, expires, account.
void read_options(Words& words, Command& c, bool expiry, bool account) {
  while (!words.done()) {
    const std::string option = words.next("an option");
    if (option == "sl") {
      c.sl = words.price_of("the stop-loss");
    } else if (option == "tp") {
      c.tp = words.price_of("the take-profit");
    } else if (option == "expires" && expiry) {
      read_expiry(words, c);
    } else if (option == "account" && account) {
      c.account = words.integer("the account");
    } else {
      throw std::invalid_argument("unknown option '" + option + "'");
    }
  }
}

std::string ticket_word(Words& words) {
  const std::string ticket = words.next("the ticket");
  int32_t number = 0;
  const bool ok = ticket.size() > 1 && ticket[0] == '#'
                      ? wire::read_integer(ticket.substr(1), number) && number > 0
                      : wire::read_integer(ticket, number) && number > 0;
  if (!ok) throw std::invalid_argument("a ticket is a number or #N, not '" + ticket + "'");
  return ticket;
}

}  // namespace

std::optional<Command> read_command(const std::string& line) {
  Words words(line);
  if (words.done() || line.find_first_not_of(" \t") == line.find('#')) return std::nullopt;
  Command c;
  const std::string verb = words.next("a command");
  if (verb == "buy" || verb == "sell") {
    c.verb = verb == "buy" ? Verb::kBuy : Verb::kSell;
    c.symbol = words.next("the symbol");
    c.lots = words.number("the lots");
    read_options(words, c, false, true);
  } else if (verb == "close") {
    c.verb = Verb::kClose;
    c.ticket = ticket_word(words);
    if (!words.done()) c.lots = words.number("the lots");
  } else if (verb == "hedge") {
    c.verb = Verb::kHedge;
    c.ticket = ticket_word(words);
    c.other = ticket_word(words);
  } else if (verb == "limit" || verb == "stop") {
    c.verb = Verb::kEntry;
    const std::string side = words.next("buy or sell");
    if (side != "buy" && side != "sell") {
      throw std::invalid_argument("expected buy or sell, not '" + side + "'");
    }
    c.direction = (side == "buy" ? 1 : -1) * (verb == "limit" ? 1 : 2);
    c.symbol = words.next("the symbol");
    c.lots = words.number("the lots");
    words.expect("at");
    c.price = words.price_of("the price");
    read_options(words, c, true, true);
  } else if (verb == "change") {
    c.verb = Verb::kChange;
    c.order = words.integer("the order");
    c.lots = words.number("the lots");
    words.expect("at");
    c.price = words.price_of("the price");
    read_options(words, c, true, false);
  } else if (verb == "cancel") {
    c.verb = Verb::kCancel;
    c.order = words.integer("the order");
  } else if (verb == "sltp") {
    c.verb = Verb::kGuard;
    c.ticket = ticket_word(words);
    if (!words.done() && words.peek() == "off") {
      c.off = true;
      words.next("off");
    } else {
      read_options(words, c, false, false);
      if (c.sl.value == 0 && c.tp.value == 0) {
        throw std::invalid_argument("give a stop-loss, a take-profit, or off");
      }
    }
  } else if (verb == "positions" || verb == "orders" || verb == "help" || verb == "quit") {
    c.verb = verb == "positions" ? Verb::kPositions
             : verb == "orders"  ? Verb::kOrders
             : verb == "help"    ? Verb::kHelp
                                 : Verb::kQuit;
  } else if (verb == "history") {
    c.verb = Verb::kHistory;
    if (!words.done()) c.account = words.integer("the account");
  } else {
    throw std::invalid_argument("unknown command '" + verb + "' (try help)");
  }
  if (!words.done()) {
    throw std::invalid_argument("unexpected '" + words.next("") + "'");
  }
  return c;
}

int32_t CommandRunner::run(const Command& c, std::string& said, int32_t replaces) {
  said.clear();
  if (m_terminal.phase() != Terminal::Phase::kStreaming || !m_terminal.desk()) {
    said = "not connected yet";
    return 0;
  }
  const int32_t account = this->account(c);
  switch (c.verb) {
    case Verb::kBuy:
    case Verb::kSell: {
      const int32_t symbol = symbol_id(c.symbol);
      if (symbol == 0) return said = "no symbol " + c.symbol, 0;
      const int32_t side = c.verb == Verb::kBuy ? BuyType : SellType;
      // Levels in pips are measured from where the position would close now.
      const double close = m_terminal.desk()->deal_price(m_terminal.client_id(), symbol, side, true)
                               .value_or(0);
      const int32_t number =
          m_terminal.open(account, symbol, side, c.lots, resolve(c.sl, symbol, close),
                          resolve(c.tp, symbol, close));
      auto replaced = std::find(m_openings.begin(), m_openings.end(), replaces);
      if (number != 0 && replaces != 0 && replaced != m_openings.end()) {
        *replaced = number;
      } else if (number != 0) {
        m_openings.push_back(number);
      }
      return number;
    }
    case Verb::kClose: {
      const int32_t ticket = this->ticket(c.ticket, said);
      if (ticket == 0) return 0;
      for (const model::Position& p : m_terminal.desk()->positions(m_terminal.client_id())) {
        if (p.ticket == ticket) return m_terminal.close(p.account, ticket, c.lots);
      }
      return said = "no open position " + std::to_string(ticket), 0;
    }
    case Verb::kHedge: {
      const int32_t one = ticket(c.ticket, said);
      const int32_t other = one == 0 ? 0 : ticket(c.other, said);
      if (other == 0) return 0;
      for (const model::Position& p : m_terminal.desk()->positions(m_terminal.client_id())) {
        if (p.ticket == one) return m_terminal.hedge(p.account, one, other);
      }
      return said = "no open position " + std::to_string(one), 0;
    }
    case Verb::kEntry: {
      const int32_t symbol = symbol_id(c.symbol);
      if (symbol == 0) return said = "no symbol " + c.symbol, 0;
      const double now = m_terminal.desk()
                             ->deal_price(m_terminal.client_id(), symbol,
                                         c.direction > 0 ? BuyType : SellType, false)
                             .value_or(0);
      const double price = resolve(c.price, symbol, now);
      return m_terminal.place_entry(account, symbol, c.direction, c.lots, price,
                                   resolve(c.sl, symbol, price), resolve(c.tp, symbol, price),
                                   expiry(c));
    }
    case Verb::kChange:
    case Verb::kCancel:
      for (const model::Order& o : m_terminal.desk()->orders(m_terminal.client_id())) {
        if (o.id != c.order || o.kind != LimitOrdersType) continue;
        if (c.verb == Verb::kCancel) return m_terminal.delete_entry(o.account, o.id);
        const double now = m_terminal.desk()
                               ->deal_price(m_terminal.client_id(), o.symbol,
                                           o.direction > 0 ? BuyType : SellType, false)
                               .value_or(0);
        const double price = resolve(c.price, o.symbol, now);
        return m_terminal.change_entry(o.account, o.id, c.lots, price,
                                      resolve(c.sl, o.symbol, price),
                                      resolve(c.tp, o.symbol, price), expiry(c));
      }
      return said = "no entry order " + std::to_string(c.order), 0;
    case Verb::kGuard: {
      const int32_t ticket = this->ticket(c.ticket, said);
      if (ticket == 0) return 0;
      return guard(c, ticket, said);
    }
    case Verb::kPositions:
      return said = positions(), 0;
    case Verb::kOrders:
      return said = orders(), 0;
    case Verb::kHistory:
      m_terminal.ask_history(account);
      return said = "asking for the history of account " + std::to_string(account), 0;
    case Verb::kHelp:
      return said = kCommandHelp, 0;
    case Verb::kQuit:
      return 0;
  }
  return 0;
}

// Places the stop-loss and take-profit of the position, or moves or
// removes the ones it has.
int32_t CommandRunner::guard(const Command& c, int32_t ticket, std::string& said) {
  const Desk& desk = *m_terminal.desk();
  for (const model::Position& p : desk.positions(m_terminal.client_id())) {
    if (p.ticket != ticket) continue;
    const double close =
        desk.deal_price(m_terminal.client_id(), p.symbol, p.direction, true).value_or(0);
    const double sl = resolve(c.sl, p.symbol, close), tp = resolve(c.tp, p.symbol, close);
    for (const model::Order& o : desk.orders(m_terminal.client_id())) {
      if (o.kind != SlTpType || o.position != ticket) continue;
      return c.off ? m_terminal.delete_guard(p.account, o.id)
                   : m_terminal.change_guard(p.account, o.id, sl, tp);
    }
    if (c.off) return said = "position " + std::to_string(ticket) + " has none", 0;
    return m_terminal.place_guard(p.account, ticket, sl, tp);
  }
  return said = "no open position " + std::to_string(ticket), 0;
}

void CommandRunner::answered(int32_t number, int32_t code, int32_t ticket) {
  for (int32_t opening : m_openings) {
    if (opening == number) m_opened.emplace_back(number, code == 0 ? ticket : 0);
  }
}

int32_t CommandRunner::ticket(const std::string& reference, std::string& said) const {
  if (reference.empty() || reference[0] != '#') return std::stoi(reference);
  const size_t n = std::stoul(reference.substr(1));
  if (n == 0 || n > m_openings.size()) {
    return said = reference + ": only " + std::to_string(m_openings.size()) +
                  " buys and sells so far", 0;
  }
  for (const auto& [number, ticket] : m_opened) {
    if (number != m_openings[n - 1]) continue;
    if (ticket == 0) said = reference + " was refused";
    return ticket;
  }
  return said = reference + " is not answered yet", 0;
}

double CommandRunner::resolve(const Price& price, int32_t symbol_id, double from) const {
  if (!price.in_pips) return price.value;
  for (const model::Symbol& s : m_terminal.desk()->symbols()) {
    if (s.id != symbol_id) continue;
    const double pip = std::pow(10.0, s.pip_location == 100 ? -2 : s.pip_location);
    const double scale = 10 / pip;  // prices lie on tenths of a pip at most
    return std::round((from + price.value * pip) * scale) / scale;
  }
  return 0;
}

std::string CommandRunner::expiry(const Command& command) const {
  if (command.expires_in <= 0) return command.expiry;
  const DateTime at = m_terminal.desk()->market_time() + command.expires_in / 86400;
  char text[32];
  std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", at.Day(), at.Month(),
                at.Year(), at.Hour(), at.Minute(), at.Second());
  return text;
}

int32_t CommandRunner::account(const Command& command) const {
  if (command.account != 0) return command.account;
  const auto& figures = m_terminal.figures();
  return figures.empty() ? 0 : figures.begin()->first;
}

int32_t CommandRunner::symbol_id(const std::string& name) const {
  for (const model::Symbol& s : m_terminal.desk()->symbols()) {
    if (s.name == name) return s.id;
  }
  return 0;
}

namespace {

std::string cents(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", RoundMoney(value));
  return text;
}

}  // namespace

std::string CommandRunner::positions() const {
  const Desk& desk = *m_terminal.desk();
  std::ostringstream out;
  for (const model::Position& p : desk.positions(m_terminal.client_id())) {
    out << "  " << p.ticket << "  account " << p.account << "  "
        << (p.direction == BuyType ? "buy " : "sell ") << wire::number(p.lots) << " "
        << desk.symbol_name(p.symbol) << " at " << wire::number(p.price) << "\n";
  }
  for (const auto& [account, f] : m_terminal.figures()) {
    out << "  account " << account << ": balance " << cents(f.balance) << " equity "
        << cents(f.equity) << " effective margin " << cents(f.effective_margin) << "\n";
  }
  return out.str();
}

std::string CommandRunner::orders() const {
  static const char* const kKinds[] = {"sell stop", "sell limit", "", "buy limit", "buy stop"};
  const Desk& desk = *m_terminal.desk();
  std::ostringstream out;
  for (const model::Order& o : desk.orders(m_terminal.client_id())) {
    out << "  " << o.id << "  account " << o.account << "  ";
    if (o.kind == LimitOrdersType && o.direction >= -2 && o.direction <= 2) {
      out << kKinds[o.direction + 2] << " " << wire::number(o.lots) << " "
          << desk.symbol_name(o.symbol) << " at " << wire::number(o.price);
      if (!o.expiry.empty()) out << " until " << o.expiry;
    } else {
      out << "guards " << o.position;
    }
    if (o.sl > 0) out << " sl " << wire::number(o.sl);
    if (o.tp > 0) out << " tp " << wire::number(o.tp);
    out << "\n";
  }
  return out.str();
}

std::string describe_history(const Desk& desk, const std::vector<model::HistoryEntry>& entries) {
  std::ostringstream out;
  for (const model::HistoryEntry& e : entries) {
    out << "  " << e.time << "  " << e.ticket << "  "
        << (e.direction == BuyType ? "buy " : "sell ") << wire::number(e.lots) << " "
        << desk.symbol_name(e.symbol) << " " << wire::number(e.open_price) << " -> "
        << wire::number(e.close_price) << "  " << cents(e.profit) << " (" << e.note
        << ")\n";
  }
  return out.str();
}

}  // namespace orvane::apps
