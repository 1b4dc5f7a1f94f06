#ifndef ORVANE_APPS_SERVER_NEGOTIATIONS_H_
#define ORVANE_APPS_SERVER_NEGOTIATIONS_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "desk.h"
#include "messages.h"
#include "orvane/dealing/chat_orders.h"
#include "orvane/protocol/tokens_enum.h"

namespace orvane {
class ITimer;
class ITimerFactory;
}  // namespace orvane

namespace orvane::apps {

class ServerConnection;

// What the negotiations need of the server's sessions.
class NegotiationHost {
 public:
  virtual ~NegotiationHost() = default;
  // The dealers (user names) who take orders now and act for the client, in
  // the order they switched chatting on.
  virtual std::vector<std::string> DealersTakingOrders(int32_t client) const = 0;
  virtual void ToDealer(const std::string& dealer, const std::string& text) = 0;
  // To the client's own sessions (not its dealers').
  virtual void ToClient(int32_t client, const std::string& text) = 0;
  // The client's order is decided: its answer, under the order's token, to
  // the session that sent it if it is still there.
  virtual void Decided(const std::weak_ptr<ServerConnection>& session, TokensEnum token,
                       int32_t number, const std::optional<model::OrderNumber>& outcome) = 0;
  // Keeps the text of the negotiations in flight with the store's open
  // batch, so that a server started again expires them.
  virtual void keep(const std::string& text) = 0;
};

// The market orders of clients dealt by hand while a dealer deals them.
// Each is a CChatOrder in a CChatOrders. It goes to the first dealer who
// takes orders and acts for the client; one who does not answer within the
// dealer timer has it switched to the next, and the last one's silence
// expires it. A dealer accepts it (executed at the dealer's price, under
// the rules of any market order), rejects it, or re-quotes a price that the
// client accepts or rejects within the re-quote timer. Every change is
// shown to both sides with its status text; the client's order is answered
// under its own token and number once it is decided, exactly once (a
// repeat of a number in negotiation waits for the same outcome). Timers run
// on the timer seam: elapsed time, never market time.
class Negotiations {
 public:
  // The timers' lengths are the platform's settings as the desk holds them
  // (dealer_timer, price_changed_timer), read as each timer starts.
  Negotiations(Desk& desk, ITimerFactory& timers, NegotiationHost& host);
  ~Negotiations();
  Negotiations(const Negotiations&) = delete;
  Negotiations& operator=(const Negotiations&) = delete;

  // A client's market order (open or close) for a client dealt by hand.
  // Refused at once when no dealer takes orders for the client.
  void Take(const MarketOrder& order, TokensEnum token, std::weak_ptr<ServerConnection> session);
  // Whether the user's order number is in negotiation now.
  bool Holds(const std::string& username, int32_t number) const;

  // A dealer's answers and the client's answer to a re-quote; each returns
  // the answer for whoever sent it (number: the negotiation's id).
  model::OrderNumber Accept(const std::string& dealer, int32_t id, double price);
  model::OrderNumber Reject(const std::string& dealer, int32_t id);
  model::OrderNumber Requote(const std::string& dealer, int32_t id, double price);
  model::OrderNumber ClientAnswer(int32_t client, int32_t id, bool accept);

  // The dealer no longer takes orders (chatting off): what it holds goes to
  // the next dealer now.
  void DealerLeft(const std::string& dealer);
  // The negotiations the dealer holds, oldest first.
  std::vector<wire::Negotiation> HeldBy(const std::string& dealer) const;

  // Negotiations a server was in when it stopped, as Keep gave them: each
  // is expired (its number answered so), and returned so that both sides
  // can be told when they log on.
  static std::vector<wire::Negotiation> ExpireKept(Desk& desk, const std::string& text);

 private:
  struct Held {
    std::shared_ptr<CChatOrder> record;
    MarketOrder order;
    TokensEnum token = NEW_ORDER_TOKEN;
    std::weak_ptr<ServerConnection> session;
    std::string dealer;
    std::set<std::string> tried;
    std::shared_ptr<ITimer> timer;
    double dealer_price = 0;
  };

  Held* Find(int32_t id);
  // The dealer's negotiation, or none with `refusal` set.
  Held* Holding(const std::string& dealer, int32_t id, model::OrderNumber& refusal);
  // Sends it to the next dealer it has not been with; false when none is left.
  bool SendToNextDealer(Held& held);
  void DealerSilent(int32_t id);
  void ClientSilent(int32_t id);
  // Executes it at `price` for the dealer holding it, and ends it.
  model::OrderNumber execute(Held& held, double price);
  // Ends it unexecuted with the number's outcome `code`.
  void End(Held& held, MarketOrderStatusEnum status, int32_t code, const std::string& text,
           TokensEnum tell = MARKET_ORDER_TOKEN);
  Held Release(int32_t id);
  void Status(Held& held, MarketOrderStatusEnum status);
  wire::Negotiation Row(const Held& held) const;
  void TellBoth(const Held& held, TokensEnum token);
  void TellClient(const Held& held, TokensEnum token);
  void TellDealer(const Held& held, TokensEnum token, const std::string& dealer);
  void Restart(Held& held, int32_t ms, void (Negotiations::*silent)(int32_t));
  void KeepInFlight();

  Desk& m_desk;
  ITimerFactory& m_timers;
  NegotiationHost& m_host;
  std::shared_ptr<CChatOrders> m_records = std::make_shared<CChatOrders>();
  std::map<int32_t, Held> m_held;
  std::map<std::string, int32_t> m_dealer_numbers;
  int32_t m_next_id = 0;
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_SERVER_NEGOTIATIONS_H_
