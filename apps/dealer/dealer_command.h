#ifndef ORVANE_APPS_DEALER_DEALER_COMMAND_H_
#define ORVANE_APPS_DEALER_DEALER_COMMAND_H_

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace orvane::apps {

class Dealer;

// A line of the dealer's prompt:
//   accept ID [PRICE]        reject ID        requote ID PRICE
//   deposit|withdraw|credit-in|credit-out|adjust ACCOUNT AMOUNT [NOTE]
//   open ACCOUNT SYMBOL buy|sell LOTS PRICE
//   close ACCOUNT TICKET [LOTS] PRICE
//   new-client USER PASSWORD PARENT NAME     new-account CLIENT
//   broadcast TEXT           disconnect CLIENT        autoliq CLIENT on|off
//   accounts | orders | exposure | help | quit
// Numbers are read strictly: an amount, lots and prices above 0 (an
// adjustment's amount either way, never 0), accounts, clients, tickets and
// order ids whole numbers above 0 (a parent 0 or more); nothing may follow
// what a command takes, but for the texts at the end of a line.
struct DealerCommand {
  enum class Verb {
    kAccept, kReject, kRequote, kMoney, kOpen, kClose, kNewClient, kNewAccount,
    kBroadcast, kDisconnect, kAutoLiquidation, kAccounts, kOrders, kExposure, kHelp, kQuit,
  };
  Verb verb = Verb::kHelp;
  int32_t target = 0;   // the order, account or client the command names
  int32_t kind = 0;     // money: MoneyOrder::Kind
  double amount = 0;    // money: the amount; open and close: the lots (0: all)
  double price = 0;     // accept: 0 for the order's own price
  std::string symbol;   // open
  int32_t direction = 0;  // open: BuyType or SellType
  int32_t ticket = 0;   // close
  std::string text;     // a note, a client's name or a broadcast
  std::string username;  // new-client
  std::string password;
  int32_t parent = 0;
  bool on = false;  // autoliq
};

extern const char kDealerHelp[];

// Reads a line; none for a blank line or a comment ('#' first). Throws
// std::invalid_argument with what is wrong.
std::optional<DealerCommand> read_dealer_command(const std::string& line);

// Runs the prompt's commands on a dealer: commands go to the server (their
// answers come later through DealerEvents), the views answer at once.
class DealerCommandRunner {
 public:
  // `like` names the client (number or name) whose parameters, liquidation
  // and commission settings a new client copies; empty: the first trading
  // client the dealer sees.
  DealerCommandRunner(Dealer& dealer, std::string like)
      : m_dealer(dealer), m_like(std::move(like)) {}

  // What to show: the number of the command sent, why nothing was sent, or
  // the view asked for.
  std::string run(const DealerCommand& command);

  // Every account, nearest to liquidation first.
  std::string accounts() const;
  // The negotiated orders the dealer holds.
  std::string orders() const;
  // Net lots per symbol.
  std::string exposure() const;

 private:
  std::string new_client(const DealerCommand& command);
  std::string sent(int32_t number) const;

  Dealer& m_dealer;
  std::string m_like;
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_DEALER_DEALER_COMMAND_H_
