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
  virtual std::vector<std::string> dealers_taking_orders(int32_t client) const = 0;
  virtual void to_dealer(const std::string& dealer, const std::string& text) = 0;
  // To the client's own sessions (not its dealers').
  virtual void to_client(int32_t client, const std::string& text) = 0;
  // The client's order is decided: its answer, under the order's token, to
  // the session that sent it if it is still there.
  virtual void decided(const std::weak_ptr<ServerConnection>& session, TokensEnum token,
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
  void take(const MarketOrder& order, TokensEnum token, std::weak_ptr<ServerConnection> session);
  // Whether the user's order number is in negotiation now.
  bool holds(const std::string& username, int32_t number) const;

  // A dealer's answers and the client's answer to a re-quote; each returns
  // the answer for whoever sent it (number: the negotiation's id).
  model::OrderNumber accept(const std::string& dealer, int32_t id, double price);
  model::OrderNumber reject(const std::string& dealer, int32_t id);
  model::OrderNumber requote(const std::string& dealer, int32_t id, double price);
  model::OrderNumber client_answer(int32_t client, int32_t id, bool accept);

  // The dealer no longer takes orders (chatting off): what it holds goes to
  // the next dealer now.
  void dealer_left(const std::string& dealer);
  // The negotiations the dealer holds, oldest first.
  std::vector<wire::Negotiation> held_by(const std::string& dealer) const;

  // Negotiations a server was in when it stopped, as Keep gave them: each
  // is expired (its number answered so), and returned so that both sides
  // can be told when they log on.
  static std::vector<wire::Negotiation> expire_kept(Desk& desk, const std::string& text);

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

  Held* find(int32_t id);
  // The dealer's negotiation, or none with `refusal` set.
  Held* holding(const std::string& dealer, int32_t id, model::OrderNumber& refusal);
  // Sends it to the next dealer it has not been with; false when none is left.
  bool send_to_next_dealer(Held& held);
  void dealer_silent(int32_t id);
  void client_silent(int32_t id);
  // Executes it at `price` for the dealer holding it, and ends it.
  model::OrderNumber execute(Held& held, double price);
  // Ends it unexecuted with the number's outcome `code`.
  void end(Held& held, MarketOrderStatusEnum status, int32_t code, const std::string& text,
           TokensEnum tell = MARKET_ORDER_TOKEN);
  Held release(int32_t id);
  void status(Held& held, MarketOrderStatusEnum status);
  wire::Negotiation row(const Held& held) const;
  void tell_both(const Held& held, TokensEnum token);
  void tell_client(const Held& held, TokensEnum token);
  void tell_dealer(const Held& held, TokensEnum token, const std::string& dealer);
  void restart(Held& held, int32_t ms, void (Negotiations::*silent)(int32_t));
  void keep_in_flight();

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
