#ifndef ORVANE_APPS_DEALER_DEALER_H_
#define ORVANE_APPS_DEALER_DEALER_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "desk_events.h"
#include "messages.h"
#include "orvane/connection/tcp_client_environment.h"
#include "orvane/protocol/tokens_enum.h"
#include "terminal.h"

namespace orvane {
class FixedClock;
class ITimerFactory;
}  // namespace orvane

namespace orvane::apps {

// How a dealer answers each order sent to it (SEND_TO_CHAT) by itself:
// never (kSilent: a person answers at the prompt), accepting it at the
// price the client asked, rejecting it, or re-quoting it `pips` pips
// against the client (higher for a buy deal, lower for a sell deal).
struct DealerPolicy {
  enum class Kind { kSilent, kAccept, kReject, kRequote };
  Kind kind = Kind::kSilent;
  double pips = 0;
};

// Reads "accept", "reject", "requote:POINTS" or "silent"; throws
// std::invalid_argument with what is wrong.
DealerPolicy read_dealer_policy(const std::string& text);

// One account as the dealer watches it: its figures and how far it stands
// from its client's liquidation point.
struct AccountRisk {
  AccountFigures figures;
  std::string name;  // the client's
  int32_t liquidation_type = 0;
  double liquidation_point = 0;
  // The equity the account can lose before it is liquidated: equity less
  // the liquidation point for EQUITY_LIQUIDATION; equity less the equity at
  // which the margin level falls to the point (point % of the margin
  // requirement) for MARGIN_LEVEL_LIQUIDATION. Measured in money so that
  // accounts under both rules sort on one scale. None for an account that
  // cannot be liquidated now: no open position, not a normal account, its
  // client's auto-liquidation off, or no rule.
  std::optional<double> distance;
};

// What a dealer tells its host.
class DealerEvents {
 public:
  virtual ~DealerEvents() = default;
  virtual void log(const std::string& /*line*/) {}
  // The tree was loaded (again, after every log-on) and the negotiations
  // held were read back.
  virtual void ready() {}
  virtual void refused(const std::string& /*reason*/) {}
  virtual void load_failed(const std::string& /*reason*/) {}
  // The server's answer to one of the dealer's commands, under its token.
  virtual void answered(TokensEnum /*token*/, const wire::OrderAnswer& /*answer*/) {}
  // An order the dealer is to answer arrived (before the policy answers it).
  virtual void arrived(const wire::Negotiation& /*negotiation*/) {}
  virtual void checked(const std::vector<Comparison>& /*comparisons*/) {}
};

// The broker's dealer terminal: a Terminal (connection with retry and
// re-login, the client-side desk loaded with every client, office, account,
// position and order of the tree the dealer acts for, prices and pushes
// applied) that takes the dealer's part besides. After every log-on it
// switches dealing on (CHAT_ON) and reads back the negotiations it holds
// (MARKET_ORDER); it keeps them current from the negotiation pushes and
// answers new ones by its policy. Its commands carry numbers of the
// dealer's own; one not answered when the connection drops is sent again,
// under the same number, after the next log-on (the server executes it at
// most once). Answers to negotiations are not sent again: the orders held
// are read back instead and the policy answers those still waiting.
class Dealer : private TerminalEvents {
 public:
  Dealer(TcpClientEnvironment environment, ITimerFactory& timers, TerminalOptions options,
         DealerPolicy policy, std::shared_ptr<FixedClock> clock, DealerEvents* events);
  ~Dealer() override;
  Dealer(const Dealer&) = delete;
  Dealer& operator=(const Dealer&) = delete;

  void connect() { m_terminal.connect(); }
  void disconnect() { m_terminal.disconnect(); }

  // Commands. Each returns its number, or 0 (nothing sent) before the tree
  // is loaded; the answer comes through DealerEvents::answered.
  int32_t money(int32_t account, int32_t kind, double amount, const std::string& note = "");
  int32_t open_for(int32_t account, int32_t symbol, int32_t direction, double lots, double price);
  int32_t close_for(int32_t account, int32_t ticket, double lots, double price);
  int32_t new_client(wire::NewClientRequest request);
  int32_t new_account(int32_t client);
  int32_t auto_liquidation(int32_t client, bool on);
  int32_t broadcast(const std::string& text);
  int32_t disconnect_client(int32_t client);
  size_t commands_unanswered() const { return m_unanswered.size(); }

  // Answers to an order the dealer holds; false (nothing sent) for one it
  // does not hold or before the tree is loaded.
  bool accept(int32_t id, double price);
  bool reject(int32_t id);
  bool requote(int32_t id, double price);
  // The price the policy re-quotes an order at: `pips` against the client.
  std::optional<double> requote_price(const wire::Negotiation& negotiation, double pips) const;

  // Asks the server for its figures and compares them with the dealer's
  // (DealerEvents::checked); false before the tree is loaded.
  bool compare_with_server() { return m_terminal.compare_with_server(); }

  // The tree is loaded and the negotiations held were read back since the
  // last log-on.
  bool ready() const { return m_ready && m_terminal.phase() == Terminal::Phase::kStreaming; }
  // The negotiations the dealer holds, by id.
  const std::map<int32_t, wire::Negotiation>& negotiations() const { return m_negotiations; }
  // Every account the dealer sees, nearest to liquidation first (those that
  // cannot be liquidated last, by account number).
  std::vector<AccountRisk> risks() const;
  // Net lots of each symbol over every position the dealer sees: buys less
  // sells.
  std::map<int32_t, double> exposure() const;
  // Whether an order in this status waits for a dealer's answer.
  static bool awaits_dealer(int32_t status);

  const Terminal& terminal() const { return m_terminal; }

 private:
  // TerminalEvents
  // Lines of the terminal's own are printable already; the dealer's name
  // what the server sent.
  void log(const std::string& line) override { m_events->log(printable_line(line)); }
  void streaming() override;
  void checked(const std::vector<Comparison>& comparisons) override {
    m_events->checked(comparisons);
  }
  void refused(const std::string& reason) override { m_events->refused(reason); }
  void load_failed(const std::string& reason) override { m_events->load_failed(reason); }
  void received(const CProcess& process) override;
  void rows_read(TokensEnum request, const std::vector<std::string>& rows) override;

  template <typename Message>
  int32_t submit(Message request);
  bool answer_negotiation(TokensEnum token, int32_t id, double price);
  void on_command_answer(const CProcess& process);
  void on_negotiation_answer(const CProcess& process);
  void on_negotiation(const CProcess& process);
  void apply_policy(const wire::Negotiation& negotiation);

  Terminal m_terminal;
  DealerPolicy m_policy;
  DealerEvents* m_events;
  DealerEvents m_no_events;
  bool m_ready = false;
  // Commands sent and not yet answered, by number: token and parameters.
  std::map<int32_t, std::pair<TokensEnum, std::vector<std::string>>> m_unanswered;
  std::map<int32_t, wire::Negotiation> m_negotiations;
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_DEALER_DEALER_H_
