#ifndef ORVANE_APPS_MODEL_RECORDS_H_
#define ORVANE_APPS_MODEL_RECORDS_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "orvane/core/date_time.h"

// The trading business as the hosts keep it: plain records, no library
// objects and nothing of the file they may have come from. A desk holds the
// live state in the engine and gives it out as these records; a store keeps
// them; the wire codec writes and reads them.
namespace orvane::apps::model {

struct Symbol {
  int32_t id = 0;
  std::string name;
  int32_t pip_location = 0;
  double factor = 0;
  int32_t price_case = 0;
  int32_t ref_id = 0;
  int32_t ref_price_case = 0;
  double margin_per_lot = 0;  // account currency per lot, positive
  double bid = 0;             // the opening quote
  double ask = 0;
  std::string close_day, close_time, open_day, open_time;
  std::string break_close, break_open;  // empty: no daily break

  friend bool operator==(const Symbol&, const Symbol&) = default;
};

struct Client {
  int32_t id = 0;
  // The nine-field client parameters text (symbol, spread, source plus,
  // limit offset, stop offset, commission, max lots, min lots, price offset).
  std::string parameters;
  int32_t liquidation_type = 0;  // LiquidationTypeEnum
  double liquidation_point = 0;
  int32_t comm_calc_type = 0;  // CommCalcTypeEnum
  bool enable_interest = false;
  std::string name;
  // The platform's own settings of the client, which the library does not
  // keep: whether it may hold a buy and a sell of one symbol in one account,
  // and close part of a position's lots.
  bool hedging = true;
  bool partial_close = true;
  // Where the client stands in the broker's tree: a trading client, an
  // office or another group (ClientTypeEnum), under `parent` (0: a root).
  // Offices and groups hold clients, never accounts.
  int32_t type = 1;
  int32_t parent = 0;
  // Whether a dealer deals the client's market orders by hand (otherwise
  // they execute at once), and whether its accounts are liquidated when
  // they reach its liquidation point.
  bool manual_dealing = false;
  bool auto_liquidation = true;

  friend bool operator==(const Client&, const Client&) = default;
};

// An account's booked totals, in account currency.
struct Totals {
  double commission = 0;
  double margin_requirement = 0;  // negative while positions are open
  double net_profit = 0;
  double deposit = 0;
  double credit = 0;
  double previous_margin = 0;
  double interest = 0;

  friend bool operator==(const Totals&, const Totals&) = default;
};

struct Account {
  int32_t client = 0;
  int32_t account = 0;
  int32_t type = 0;  // 0 demo, 1 normal, 2 coverage
  bool margin_account = false;
  bool dont_liquidate = false;
  Totals totals;

  friend bool operator==(const Account&, const Account&) = default;
};

struct Position {
  int32_t client = 0;
  int32_t account = 0;
  int32_t ticket = 0;
  std::string time;       // dd/mm/yyyy hh:nn:ss, market time of the opening
  int32_t direction = 0;  // BuyType or SellType
  double lots = 0;
  int32_t symbol = 0;
  double price = 0;  // open price
  double interest = 0;
  std::string note;

  friend bool operator==(const Position&, const Position&) = default;
};

struct Order {
  int32_t client = 0;
  int32_t account = 0;
  int32_t id = 0;
  std::string time;       // dd/mm/yyyy hh:nn:ss
  int32_t direction = 0;  // OperationTypeEnum: buy/sell limit or stop, or the closing side
  double lots = 0;
  int32_t symbol = 0;
  int32_t kind = 0;  // OrdersTypeEnum: LimitOrdersType (entry) or SlTpType
  double price = 0;  // the entry price of an entry order
  int32_t position = 0;  // the ticket a stop-loss or take-profit guards
  double sl = 0;  // 0: none
  double tp = 0;
  int32_t status = 0;
  std::string note;
  std::string expiry;  // an entry order's, dd/mm/yyyy hh:nn:ss; empty: until deleted

  friend bool operator==(const Order&, const Order&) = default;
};

struct Alert {
  int32_t client = 0;
  int32_t id = 0;
  int32_t symbol = 0;
  int32_t condition = 0;  // AlertConditionsEnum
  double value = 0;

  friend bool operator==(const Alert&, const Alert&) = default;
};

// An entry of an account's history: a closed position (or the closed part
// of one). Written as the library writes history rows.
struct HistoryEntry {
  int32_t client = 0;
  int32_t account = 0;
  int32_t ticket = 0;       // the position's
  std::string time;         // market time of the close
  int32_t symbol = 0;
  double lots = 0;          // the lots closed
  int32_t direction = 0;    // the position's
  std::string open_time;
  double open_price = 0;
  double close_price = 0;
  double commission = 0;    // charged on this close
  double interest = 0;
  double ref_price = 0;
  double profit = 0;        // realised, in account currency, to the cent
  std::string note;         // why it closed ("client", "stop-loss", ...)

  friend bool operator==(const HistoryEntry&, const HistoryEntry&) = default;
};

// An order event as a dealer reads it later: the order-audit row as the
// library writes it.
struct AuditEntry {
  int32_t client = 0;
  int32_t account = 0;
  std::string row;

  friend bool operator==(const AuditEntry&, const AuditEntry&) = default;
};

// The outcome a user's order number had, so that a repeat of the number is
// answered with it and executes nothing.
struct OrderNumber {
  std::string username;
  int32_t number = 0;
  int32_t code = 0;  // 0: executed; otherwise why it was refused
  std::string text;
  int32_t ticket = 0;  // the position opened or closed, or the order placed or changed
  double price = 0;    // the execution price, or the current price of a re-quote

  friend bool operator==(const OrderNumber&, const OrderNumber&) = default;
};

// Who may log on, as which client, with which privileges (numbers separated
// by ",", as CSecurity takes them; empty: none). A dealer (type 1) acts for
// the clients below `client` in the tree, or for every client when it is 0.
struct User {
  std::string username;
  std::string password;
  int32_t client = 0;
  std::string privileges;
  int32_t type = 2;  // UserTypeEnum: CLIENT_USER_TYPE
  // The symbols the user may trade, numbers separated by ","; empty: all.
  std::string symbols;

  friend bool operator==(const User&, const User&) = default;
};

// The numbers the desk hands out: each is the last one given.
struct Sequences {
  int32_t ticket = 0;
  int32_t order = 0;

  friend bool operator==(const Sequences&, const Sequences&) = default;
};

// One quote of a symbol: its raw bid and ask (no client's spread) at a
// moment of market time.
struct Quote {
  DateTime time;
  std::string time_text;  // dd/mm/yyyy hh:nn:ss, as the symbol's last quote time
  int32_t symbol = 0;
  double bid = 0;
  double ask = 0;

  friend bool operator==(const Quote&, const Quote&) = default;
};

// A symbol's interest (swap) rates: what a position in it earns or pays at
// each rollover, for clients with interest enabled. Rates are yearly and
// used as they stand: 3.65 on a buy of 1 lot with a contract size of
// 100,000 and a year of 365 days is 1,000 a day.
struct InterestRate {
  int32_t symbol = 0;
  double buy_rate = 0;   // for buy positions
  double sell_rate = 0;  // for sell positions
  int32_t year_days = 365;

  friend bool operator==(const InterestRate&, const InterestRate&) = default;
};

// The kind of money an entry moves: each names one of an account's totals.
// The values are stored and never change.
enum class Ledger : int32_t {
  kDeposit = 1,         // Totals::deposit
  kPreviousMargin = 2,  // Totals::previous_margin
  kNetProfit = 3,       // Totals::net_profit
  kCommission = 4,      // Totals::commission, a cost negative as the total holds it
  kInterest = 5,        // Totals::interest
  kCredit = 6,          // Totals::credit, which is no part of the balance
};

// Every ledger, in the order of its stored values.
inline constexpr Ledger kLedgers[] = {Ledger::kDeposit,    Ledger::kPreviousMargin,
                                      Ledger::kNetProfit,  Ledger::kCommission,
                                      Ledger::kInterest,   Ledger::kCredit};

// One movement of an account's money. The entries of an account, summed
// per ledger, give its totals: the balance is explained by the entries of
// the first five ledgers.
struct MoneyEntry {
  int32_t client = 0;
  int32_t account = 0;
  Ledger ledger = Ledger::kDeposit;
  double amount = 0;  // account currency, to the cent
  std::string time;   // dd/mm/yyyy hh:nn:ss, market time
  int32_t ticket = 0;  // the position it came from; 0 for none
  std::string note;    // why: "opening", "open", "close", "stop-loss", "interest", ...

  friend bool operator==(const MoneyEntry&, const MoneyEntry&) = default;
};

// The total of `totals` that `ledger` names.
inline double ledger_total(const Totals& totals, Ledger ledger) {
  switch (ledger) {
    case Ledger::kDeposit: return totals.deposit;
    case Ledger::kPreviousMargin: return totals.previous_margin;
    case Ledger::kNetProfit: return totals.net_profit;
    case Ledger::kCommission: return totals.commission;
    case Ledger::kInterest: return totals.interest;
    case Ledger::kCredit: return totals.credit;
  }
  return 0;
}

// The entries that explain an account's totals as they stand at `time`:
// one of each total that is not 0, noted "opening", in ledger order.
inline std::vector<MoneyEntry> opening_entries(int32_t client, int32_t account,
                                              const Totals& totals, const std::string& time) {
  std::vector<MoneyEntry> entries;
  for (Ledger ledger : kLedgers) {
    const double amount = ledger_total(totals, ledger);
    if (amount != 0) entries.push_back({client, account, ledger, amount, time, 0, "opening"});
  }
  return entries;
}

// The platform's settings that the server hands to every terminal, as
// CGlobalVar takes them.
struct Platform {
  bool multi_sessions_allowed = false;
  int32_t price_changed_timer = 30;  // seconds a client has to answer a re-quote
  int32_t valid_lots_location = 2;   // decimals of a lot size
  int32_t client_connect_timer = 5;  // seconds a terminal waits for a connection
  int32_t client_timeout_timer = 10;  // seconds of silence before a terminal reconnects
  double server_gmt = 0;             // the server's hours from GMT
  // Seconds a dealer has to answer a negotiated order before it goes to
  // another dealer (and, from the last one, expires).
  int32_t dealer_timer = 20;

  friend bool operator==(const Platform&, const Platform&) = default;
};

// Everything a desk starts from, in the order it is loaded.
struct Snapshot {
  std::vector<Symbol> symbols;
  std::vector<Client> clients;
  std::vector<Account> accounts;
  std::vector<Position> positions;
  std::vector<Order> orders;
  std::vector<Alert> alerts;
  std::vector<User> users;
  std::vector<HistoryEntry> history;
  std::vector<AuditEntry> audit;
  // The latest outcomes of each user's order numbers, oldest first.
  std::map<std::string, std::vector<OrderNumber>> order_numbers;
  Sequences sequences;
  // Market time: never goes backwards. Empty text: no quote was seen yet.
  DateTime market_time;
  std::string market_time_text;
  // At most one entry a symbol; a symbol without one books no interest.
  std::vector<InterestRate> interest_rates;
  // Every account's money entries, in the order they were booked.
  std::vector<MoneyEntry> entries;
  Platform platform;

  friend bool operator==(const Snapshot&, const Snapshot&) = default;
};

}  // namespace orvane::apps::model

#endif  // ORVANE_APPS_MODEL_RECORDS_H_
