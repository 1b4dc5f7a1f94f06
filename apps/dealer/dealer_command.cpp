#include "dealer_command.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "dealer.h"
#include "desk.h"
#include "orvane/core/conversions.h"
#include "orvane/vocabulary/operation_type_enum.h"
#include "rows.h"

namespace orvane::apps {

const char kDealerHelp[] =
    "  accept ID [PRICE]                    deal an order sent to you (at its own price)\n"
    "  reject ID                            refuse it\n"
    "  requote ID PRICE                     offer the client another price\n"
    "  deposit|withdraw|credit-in|credit-out ACCOUNT AMOUNT [NOTE]\n"
    "  adjust ACCOUNT AMOUNT [NOTE]         of the net profit, either way\n"
    "  open ACCOUNT SYMBOL buy|sell LOTS PRICE   a position opened by hand\n"
    "  close ACCOUNT TICKET [LOTS] PRICE    a position closed by hand\n"
    "  new-client USER PASSWORD PARENT NAME new-account CLIENT\n"
    "  broadcast TEXT    disconnect CLIENT    autoliq CLIENT on|off\n"
    "  accounts | orders | exposure | help | quit\n";

namespace {

using Verb = DealerCommand::Verb;

// The words of a line, taken in order.
class Words {
 public:
  explicit Words(const std::string& line) : m_line(line) {
    for (size_t at = 0; (at = line.find_first_not_of(" \t\r", at)) != std::string::npos;) {
      const size_t end = std::min(line.find_first_of(" \t\r", at), line.size());
      m_words.push_back(line.substr(at, end - at));
      m_starts.push_back(at);
      at = end;
    }
  }
  bool done() const { return m_next >= m_words.size(); }
  size_t left() const { return m_words.size() - m_next; }
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
  double positive(const char* what) {
    const double value = number(what);
    if (!(value > 0)) throw std::invalid_argument(std::string(what) + " must be above 0");
    return value;
  }
  int32_t integer(const char* what, int32_t least = 1) {
    const std::string word = next(what);
    int32_t value = 0;
    if (!wire::read_integer(word, value) || value < least) {
      throw std::invalid_argument(std::string(what) + " must be a whole number of at least " +
                                  std::to_string(least) + ", not '" + word + "'");
    }
    return value;
  }
  // The rest of the line as typed, from the next word on.
  std::string rest(const char* what, bool required) {
    if (done()) {
      if (required) throw std::invalid_argument(std::string("missing ") + what);
      return {};
    }
    const size_t at = m_starts[m_next];
    m_next = m_words.size();
    std::string text = m_line.substr(at);
    text.erase(text.find_last_not_of(" \t\r") + 1);
    for (char c : text) {
      if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
        throw std::invalid_argument(std::string(what) + " holds a control character");
      }
    }
    return text;
  }
  void end() {
    if (!done()) throw std::invalid_argument("unexpected '" + m_words[m_next] + "'");
  }

 private:
  std::string m_line;
  std::vector<std::string> m_words;
  std::vector<size_t> m_starts;  // where each word begins in the line
  size_t m_next = 0;
};

int32_t money_kind(const std::string& verb) {
  if (verb == "deposit") return MoneyOrder::kDeposit;
  if (verb == "withdraw") return MoneyOrder::kWithdrawal;
  if (verb == "credit-in") return MoneyOrder::kCreditIn;
  if (verb == "credit-out") return MoneyOrder::kCreditOut;
  if (verb == "adjust") return MoneyOrder::kAdjustment;
  return 0;
}

void read_money(Words& words, DealerCommand& c) {
  c.target = words.integer("the account");
  if (c.kind == MoneyOrder::kAdjustment) {
    c.amount = words.number("the amount");
    if (c.amount == 0) throw std::invalid_argument("the amount must not be 0");
  } else {
    c.amount = words.positive("the amount");
  }
  c.text = words.rest("the note", false);
}

void read_open(Words& words, DealerCommand& c) {
  c.target = words.integer("the account");
  c.symbol = words.next("the symbol");
  const std::string side = words.next("buy or sell");
  if (side == "buy") c.direction = BuyType;
  else if (side == "sell") c.direction = SellType;
  else throw std::invalid_argument("expected buy or sell, not '" + side + "'");
  c.amount = words.positive("the lots");
  c.price = words.positive("the price");
  words.end();
}

void read_close(Words& words, DealerCommand& c) {
  c.target = words.integer("the account");
  c.ticket = words.integer("the ticket");
  if (words.left() == 2) c.amount = words.positive("the lots");
  c.price = words.positive("the price");
  words.end();
}

std::string no_order(int32_t id) { return "no order " + std::to_string(id); }

std::string cents(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", RoundMoney(value));
  return text;
}

}  // namespace

std::optional<DealerCommand> read_dealer_command(const std::string& line) {
  Words words(line);
  if (words.done()) return std::nullopt;
  const std::string verb = words.next("a command");
  if (verb[0] == '#') return std::nullopt;
  DealerCommand c;
  if (verb == "accept") {
    c.verb = Verb::kAccept;
    c.target = words.integer("the order");
    if (!words.done()) c.price = words.positive("the price");
  } else if (verb == "reject") {
    c.verb = Verb::kReject;
    c.target = words.integer("the order");
  } else if (verb == "requote") {
    c.verb = Verb::kRequote;
    c.target = words.integer("the order");
    c.price = words.positive("the price");
  } else if ((c.kind = money_kind(verb)) != 0) {
    c.verb = Verb::kMoney;
    read_money(words, c);
  } else if (verb == "open") {
    c.verb = Verb::kOpen;
    read_open(words, c);
  } else if (verb == "close") {
    c.verb = Verb::kClose;
    read_close(words, c);
  } else if (verb == "new-client") {
    c.verb = Verb::kNewClient;
    c.username = words.next("the user name");
    c.password = words.next("the password");
    c.parent = words.integer("the parent", 0);
    c.text = words.rest("the name", true);
  } else if (verb == "new-account") {
    c.verb = Verb::kNewAccount;
    c.target = words.integer("the client");
  } else if (verb == "broadcast") {
    c.verb = Verb::kBroadcast;
    c.text = words.rest("the text", true);
  } else if (verb == "disconnect") {
    c.verb = Verb::kDisconnect;
    c.target = words.integer("the client");
  } else if (verb == "autoliq") {
    c.verb = Verb::kAutoLiquidation;
    c.target = words.integer("the client");
    const std::string state = words.next("on or off");
    if (state != "on" && state != "off") {
      throw std::invalid_argument("expected on or off, not '" + state + "'");
    }
    c.on = state == "on";
  } else if (verb == "accounts") {
    c.verb = Verb::kAccounts;
  } else if (verb == "orders") {
    c.verb = Verb::kOrders;
  } else if (verb == "exposure") {
    c.verb = Verb::kExposure;
  } else if (verb == "help") {
    c.verb = Verb::kHelp;
  } else if (verb == "quit") {
    c.verb = Verb::kQuit;
  } else {
    throw std::invalid_argument("unknown command '" + verb + "' (help lists them)");
  }
  words.end();
  return c;
}

std::string DealerCommandRunner::sent(int32_t number) const {
  return number != 0 ? "sent as " + std::to_string(number) : "not connected yet";
}

std::string DealerCommandRunner::run(const DealerCommand& c) {
  const Desk* desk = m_dealer.terminal().desk();
  switch (c.verb) {
    case Verb::kAccept: {
      auto it = m_dealer.negotiations().find(c.target);
      if (it == m_dealer.negotiations().end()) return no_order(c.target);
      const double price = c.price > 0 ? c.price : it->second.price;
      return m_dealer.accept(c.target, price) ? "accepted at " + wire::number(price)
                                              : "not connected yet";
    }
    case Verb::kReject:
      if (m_dealer.negotiations().count(c.target) == 0) return no_order(c.target);
      return m_dealer.reject(c.target) ? "rejected" : "not connected yet";
    case Verb::kRequote:
      if (m_dealer.negotiations().count(c.target) == 0) return no_order(c.target);
      return m_dealer.requote(c.target, c.price) ? "re-quoted at " + wire::number(c.price)
                                                 : "not connected yet";
    case Verb::kMoney:
      return sent(m_dealer.money(c.target, c.kind, c.amount, c.text));
    case Verb::kOpen: {
      if (!desk) return "not connected yet";
      for (const model::Symbol& s : desk->symbols()) {
        if (s.name == c.symbol) {
          return sent(m_dealer.open_for(c.target, s.id, c.direction, c.amount, c.price));
        }
      }
      return "no symbol " + c.symbol;
    }
    case Verb::kClose:
      return sent(m_dealer.close_for(c.target, c.ticket, c.amount, c.price));
    case Verb::kNewClient:
      return new_client(c);
    case Verb::kNewAccount:
      return sent(m_dealer.new_account(c.target));
    case Verb::kBroadcast:
      return sent(m_dealer.broadcast(c.text));
    case Verb::kDisconnect:
      return sent(m_dealer.disconnect_client(c.target));
    case Verb::kAutoLiquidation:
      return sent(m_dealer.auto_liquidation(c.target, c.on));
    case Verb::kAccounts:
      return accounts();
    case Verb::kOrders:
      return orders();
    case Verb::kExposure:
      return exposure();
    case Verb::kHelp:
    case Verb::kQuit:
      return kDealerHelp;
  }
  return {};
}

std::string DealerCommandRunner::new_client(const DealerCommand& c) {
  const Desk* desk = m_dealer.terminal().desk();
  if (!desk) return "not connected yet";
  const model::Client* like = nullptr;
  for (const model::Client& client : desk->clients()) {
    const bool named = client.name == m_like || std::to_string(client.id) == m_like;
    if (m_like.empty() ? client.type == 1 : named) {
      like = &client;
      break;
    }
  }
  if (!like) return "no client " + (m_like.empty() ? std::string() : m_like + " ") + "to copy";
  wire::NewClientRequest request;
  request.parent = c.parent;
  request.username = c.username;
  request.password = c.password;
  request.privileges = "4,5,8";  // statements, market and pending orders
  request.parameters = like->parameters;
  request.liquidation_type = like->liquidation_type;
  request.liquidation_point = like->liquidation_point;
  request.comm_calc_type = like->comm_calc_type;
  request.manual_dealing = like->manual_dealing;
  request.name = c.text;
  return sent(m_dealer.new_client(request)) + " (parameters of " + printable_line(like->name) +
         ")";
}

std::string DealerCommandRunner::accounts() const {
  std::string out = "account  client  name              balance        equity  margin level"
                    "  eff. margin  to liquidation\n";
  for (const AccountRisk& r : m_dealer.risks()) {
    char line[256];
    const AccountFigures& f = r.figures;
    const std::string level = f.margin_requirement == 0 ? "-" : cents(f.margin_level * 100) + " %";
    std::snprintf(line, sizeof line, "%7d  %6d  %-14.14s %12s  %12s  %12s %12s  %14s\n", f.account,
                  f.client, printable_line(r.name).c_str(), cents(f.balance).c_str(),
                  cents(f.equity).c_str(), level.c_str(), cents(f.effective_margin).c_str(),
                  r.distance ? cents(*r.distance).c_str() : "-");
    out += line;
  }
  return out;
}

std::string DealerCommandRunner::orders() const {
  if (m_dealer.negotiations().empty()) return "no orders to answer";
  const Desk* desk = m_dealer.terminal().desk();
  std::string out;
  for (const auto& [id, n] : m_dealer.negotiations()) {
    const std::string symbol = desk ? desk->symbol_name(n.symbol) : std::string();
    out += "order " + std::to_string(id) + "  account " + std::to_string(n.account) + "  " +
           (n.ticket != 0 ? "close " + std::to_string(n.ticket)
                          : std::string(n.direction == BuyType ? "buy" : "sell")) +
           " " + wire::number(n.lots) + " lots of " +
           (symbol.empty() ? std::to_string(n.symbol) : symbol) + " at " +
           wire::number(n.price) + "  " + printable_line(n.text) + "\n";
  }
  return out;
}

std::string DealerCommandRunner::exposure() const {
  const Desk* desk = m_dealer.terminal().desk();
  const auto exposure = m_dealer.exposure();
  if (exposure.empty()) return "no open positions";
  std::string out;
  for (const auto& [symbol, lots] : exposure) {
    const std::string name = desk ? desk->symbol_name(symbol) : std::string();
    out += (name.empty() ? std::to_string(symbol) : name) + "  " + wire::number(lots) + " lots" +
           (lots > 0 ? " long" : lots < 0 ? " short" : " flat") + "\n";
  }
  return out;
}

}  // namespace orvane::apps
