#ifndef ORVANE_APPS_TERMINAL_COMMAND_H_
#define ORVANE_APPS_TERMINAL_COMMAND_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "records.h"

namespace orvane::apps {

class Desk;
class Terminal;

// A line of the terminal's order language, which the interactive prompt and
// --orders scripts share:
//   buy|sell SYMBOL LOTS [sl PRICE] [tp PRICE] [account N]
//   close TICKET [LOTS]                     hedge TICKET TICKET
//   limit|stop buy|sell SYMBOL LOTS at PRICE [sl PRICE] [tp PRICE]
//        [expires dd/mm/yyyy hh:nn:ss] [account N]
//   change ORDER LOTS at PRICE [sl PRICE] [tp PRICE] [expires ...]
//   cancel ORDER
//   sltp TICKET [sl PRICE] [tp PRICE]       sets or moves them; "sltp TICKET off" removes them
//   positions | orders | history [ACCOUNT] | help | quit
// A ticket may be written #N: the position the Nth buy or sell opened. A
// price may be written in pips from the price it refers to, +20p or -20p:
// an entry's from the price it would deal at now (the ask for a buy, the
// bid for a sell), a stop-loss or take-profit from the entry's price or the
// position's close price now. An expiry may be written +N followed by s, m,
// h or d: that long after market time now.
struct Price {
  double value = 0;
  bool in_pips = false;  // value pips from the price it refers to
};

struct Command {
  enum class Verb {
    kBuy, kSell, kClose, kHedge, kEntry, kChange, kCancel, kGuard,
    kPositions, kOrders, kHistory, kHelp, kQuit,
  };
  Verb verb = Verb::kHelp;
  std::string symbol;
  int32_t direction = 0;  // an entry's: 1 buy limit, 2 buy stop, -1 sell limit, -2 sell stop
  double lots = 0;        // close: 0 for the whole position
  Price price;
  Price sl;  // 0: none
  Price tp;
  std::string expiry;
  double expires_in = 0;  // seconds after market time, when `expiry` is empty
  int32_t account = 0;  // 0: the client's first
  std::string ticket;   // "1042" or "#3"
  std::string other;    // hedge: the opposite position
  int32_t order = 0;    // change, cancel
  bool off = false;     // sltp TICKET off
};

// The help the prompt shows.
extern const char kCommandHelp[];

// Reads a line; none for a blank line or a comment ('#' first). Throws
// std::invalid_argument with what is wrong.
std::optional<Command> read_command(const std::string& line);

// The entries of an account history, one a line.
std::string describe_history(const Desk& desk, const std::vector<model::HistoryEntry>& entries);

// Runs commands on a terminal: orders go to the server (the answer comes
// later through TerminalEvents::order_answered), queries answer at once from
// the terminal's own desk.
class CommandRunner {
 public:
  explicit CommandRunner(Terminal& terminal) : m_terminal(terminal) {}

  // The number of the order sent, or 0 with `said` telling why nothing was
  // sent, or what a query found. A buy or sell sent again after a re-quote
  // names the number it `replaces`, so that it keeps its place for #N.
  int32_t run(const Command& command, std::string& said, int32_t replaces = 0);
  // Takes the answer to an order it sent (for #N references).
  void answered(int32_t number, int32_t code, int32_t ticket);

 private:
  int32_t ticket(const std::string& reference, std::string& said) const;
  // A price the command gave, in pips from `from` when written so.
  double resolve(const Price& price, int32_t symbol, double from) const;
  std::string expiry(const Command& command) const;
  int32_t account(const Command& command) const;
  int32_t symbol_id(const std::string& name) const;
  int32_t guard(const Command& command, int32_t ticket, std::string& said);
  std::string positions() const;
  std::string orders() const;

  Terminal& m_terminal;
  std::vector<int32_t> m_openings;  // numbers of the buys and sells run, in order
  std::vector<std::pair<int32_t, int32_t>> m_opened;  // number, ticket (0: refused)
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_TERMINAL_COMMAND_H_
