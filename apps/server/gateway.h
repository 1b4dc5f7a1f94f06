#ifndef ORVANE_APPS_SERVER_GATEWAY_H_
#define ORVANE_APPS_SERVER_GATEWAY_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "orvane/io/socket.h"
#include "orvane/protocol/tokens_enum.h"
#include "log_on_throttle.h"
#include "negotiations.h"
#include "password_checks.h"
#include "records.h"
#include "routes.h"
#include "server_connection.h"
#include "session_ids.h"

namespace orvane {
class CEventManager;
class ITimer;
class ITimerFactory;
}  // namespace orvane

namespace orvane::apps {

class Desk;

struct GatewayOptions {
  int32_t handshake_ms = 1000;      // a handshake to every session this often
  int32_t login_timeout_ms = 5000;  // a connection must log on within this
  // Every accepted socket counts, from the moment it is taken (those still
  // in their TLS handshake included); beyond it a socket is closed at once.
  size_t max_connections = 5000;
  // Whether one user may be logged on in several sessions at once. When not,
  // a new log-on of the user closes the session it already has (a terminal
  // that reconnects after a silent drop is let in at once; the old session
  // is told why).
  bool multi_sessions_allowed = false;
  // With several sessions allowed, at most this many for one user (0: no
  // bound); a log-on beyond it is refused.
  size_t max_sessions_per_user = 8;
  // Logged-on sessions from one remote address (0: no bound); a log-on
  // beyond it is refused.
  size_t max_sessions_per_address = 100;
  ConnectionLimits limits;
  // Failed log-ons slow down the answers to later ones (see LogOnThrottle).
  ThrottleOptions throttle;
  // Log-on answers held back at once; a log-on beyond it is refused.
  size_t max_waiting_log_ons = 1000;
  // Where passwords are checked against their hashes (not owned); none: at
  // once on the io thread.
  PasswordChecks* password_checks = nullptr;
  // The cost of the hash an unknown user name is checked against, so that
  // it costs what a known one does: that of the users' own hashes.
  uint32_t password_iterations = 1000;
  // Elapsed milliseconds, the throttle's clock; none: the steady clock.
  std::function<int64_t()> elapsed_ms;
  // Called with the microseconds from an order's arrival to its answer.
  std::function<void(int64_t)> order_answered;
  // Called with every log line (without time stamp); none: no log.
  std::function<void(const std::string&)> log;
  // Called instead with the lines an operator should act on (caps reached,
  // password guessing, dropped connections); none: they go to `log`.
  std::function<void(const std::string&)> warn;
  // Called when a session has started the market.
  std::function<void(ServerConnection&)> market_started;
  // Keeps the text of the negotiations in flight with the store's open
  // batch; none: they are not kept.
  std::function<void(const std::string&)> keep_negotiations;
};

// What the gateway has counted since it was made.
struct GatewayStats {
  uint64_t log_ons = 0;
  uint64_t refused_password = 0;  // wrong user name or password
  uint64_t refused_locked = 0;    // the user is locked out
  uint64_t refused_limit = 0;     // session limits per user or address
  uint64_t refused_waiting = 0;   // too many log-on answers held back
  uint64_t connections_refused = 0;  // at the connection cap
  uint64_t connections_dropped = 0;  // before they were served (TLS handshakes, descriptors)
  uint64_t connections_closed = 0;   // served, then closed
  uint64_t slow_reader_cuts = 0;
  uint64_t prices_sent = 0;
};

// The server's sessions and what they may ask: it takes accepted sockets
// (from any acceptor), attaches a session to each, routes every request
// through the route table (user type and privilege checked before any
// handler runs; a refusal is ERROR(-503) with a text and changes nothing),
// answers queries from the desk's live state, fans each quote out once to
// every session that started the market (the same bytes for all), and
// pushes messages to a client's sessions. Handshakes and log-on deadlines
// run on the timer seam. Failed log-ons are throttled per user and address:
// later log-on answers wait on their connection's timer, a user who fails
// too often is locked out until lift_lock_outs, and each burst of failures
// costs a log line or two, not one a guess.
class Gateway : private ConnectionHost, private NegotiationHost {
 public:
  Gateway(Desk& desk, ITimerFactory& timers, GatewayOptions options);
  ~Gateway() override;
  Gateway(const Gateway&) = delete;
  Gateway& operator=(const Gateway&) = delete;

  // Starts the handshakes.
  void start();
  // Closes every connection and stops the handshakes.
  void stop();
  // Whether a connection from `address` may be taken while `pending` others
  // are still being set up by the acceptor (TLS handshakes); false at the
  // connection cap. The first refusal of a burst is logged, and how many
  // there were once a connection is taken again.
  bool admit(const std::string& address, size_t pending);
  // Serves a connected socket; over the connection cap it is closed.
  void accept(const std::shared_ptr<ISocket>& socket);
  // A connection the acceptor dropped before it was served: the first of a
  // burst is logged with why, the rest as one count every ten seconds.
  void dropped(const std::string& address, const std::string& why);

  // The quote's raw price to every session that started the market (the
  // desk has applied it already).
  void quote(const model::Quote& quote);
  // A message to every logged-on session of the client, or of everyone.
  void push(int32_t client, std::string_view text);
  void push_all(std::string_view text);

  size_t connections() const { return m_connections.size(); }
  size_t logged_on_sessions() const;
  size_t prices_sent() const { return m_stats.prices_sent; }
  const GatewayStats& stats() const { return m_stats; }

  // New throttle options from now on (a configuration reload).
  void throttle(const ThrottleOptions& options) { m_throttle.options(options); }
  // Lifts every lock-out; how many users were locked out.
  size_t lift_lock_outs() { return m_throttle.lift_lock_outs(); }
  // Users and addresses whose log-ons are slowed down now.
  size_t throttled_keys() const { return m_throttle.throttled(); }
  size_t waiting_log_ons() const { return m_held; }
  // Negotiations expired because the server stopped during them: each side
  // is told (TIMER_EXPIRED) when it next logs on.
  void expired_at_start(std::vector<wire::Negotiation> expired) { m_expired = std::move(expired); }

 private:
  using Handler = void (Gateway::*)(ServerConnection&, const CProcess&);

  // ConnectionHost
  const model::User* user(const std::string& username) const override;
  int32_t new_sid() override;
  int32_t last_order_number(const std::string& username) const override;
  std::string market_time() const override;
  std::string settings() const override;
  void welcomed(ServerConnection& connection) override;
  std::string may_log_on(ServerConnection& connection, const model::User& user) override;
  void logged_on(ServerConnection& connection) override;
  int64_t log_on_delay(ServerConnection& connection, const std::string& username) override;
  void check_password(const model::User* user, std::string password,
                     std::function<void(bool)> done) override;
  bool log_on_failed(ServerConnection& connection, const std::string& username,
                   bool known) override;
  bool holding() const override;
  void hold(std::function<void()> send) override;
  void slow_reader_cut() override { ++m_stats.slow_reader_cuts; }
  void request(ServerConnection& connection, const CProcess& process) override;
  void closed(ServerConnection& connection) override;
  std::shared_ptr<CEventManager> event_manager() override { return m_event_manager; }
  void log(const std::string& line) override;
  void warn(const std::string& line);

  // Handlers, one per routed token.
  void symbols(ServerConnection& c, const CProcess& p);
  void client_info(ServerConnection& c, const CProcess& p);
  void accounts(ServerConnection& c, const CProcess& p);
  void positions(ServerConnection& c, const CProcess& p);
  void orders(ServerConnection& c, const CProcess& p);
  void summaries(ServerConnection& c, const CProcess& p);
  void start_market(ServerConnection& c, const CProcess& p);
  void one_position(ServerConnection& c, const CProcess& p);
  void privileges(ServerConnection& c, const CProcess& p);
  void account_history(ServerConnection& c, const CProcess& p);
  void open_order(ServerConnection& c, const CProcess& p);
  void close_order(ServerConnection& c, const CProcess& p);
  void hedge_order(ServerConnection& c, const CProcess& p);
  void place_entry(ServerConnection& c, const CProcess& p);
  void change_entry(ServerConnection& c, const CProcess& p);
  void delete_entry(ServerConnection& c, const CProcess& p);
  void place_guard(ServerConnection& c, const CProcess& p);
  void change_guard(ServerConnection& c, const CProcess& p);
  void delete_guard(ServerConnection& c, const CProcess& p);
  void guards(ServerConnection& c, const CProcess& p);
  // NegotiationHost
  std::vector<std::string> dealers_taking_orders(int32_t client) const override;
  void to_dealer(const std::string& dealer, const std::string& text) override;
  void to_client(int32_t client, const std::string& text) override;
  void decided(const std::weak_ptr<ServerConnection>& session, TokensEnum token, int32_t number,
               const std::optional<model::OrderNumber>& outcome) override;
  void keep(const std::string& text) override;
  void tell_expired(ServerConnection& connection);
  // Negotiation handlers.
  void chat_on(ServerConnection& c, const CProcess& p);
  void chat_off(ServerConnection& c, const CProcess& p);
  void held_orders(ServerConnection& c, const CProcess& p);
  void dealer_accept(ServerConnection& c, const CProcess& p);
  void dealer_reject(ServerConnection& c, const CProcess& p);
  void dealer_requote(ServerConnection& c, const CProcess& p);
  void client_accept(ServerConnection& c, const CProcess& p);
  void client_reject(ServerConnection& c, const CProcess& p);
  template <typename Run>
  void negotiate(ServerConnection& c, const CProcess& p, Run run);
  // Whether the session's client is dealt by hand (its market orders are
  // negotiated).
  bool dealt_by_hand(const ServerConnection& c) const;
  // A dealer's commands.
  void money(ServerConnection& c, const CProcess& p);
  void manual_open(ServerConnection& c, const CProcess& p);
  void manual_close(ServerConnection& c, const CProcess& p);
  void new_client(ServerConnection& c, const CProcess& p);
  void new_account(ServerConnection& c, const CProcess& p);
  void auto_liquidation(ServerConnection& c, const CProcess& p);
  void broadcast(ServerConnection& c, const CProcess& p);
  void disconnect_client(ServerConnection& c, const CProcess& p);
  // Decodes a dealer's command and runs `run` on it, which answers its
  // outcome (none: the server takes no orders now).
  template <typename Request, typename Run>
  void command(ServerConnection& c, const CProcess& p, Run run);
  template <typename Request, typename Fill>
  void manual_deal(ServerConnection& c, const CProcess& p, Fill fill);
  // Whether the dealer acts for the client; otherwise the command is refused.
  bool acts_for(ServerConnection& c, const CProcess& p, int32_t client);
  static bool is_dealer(const ServerConnection& c);
  bool multi_sessions() const;
  // The trading clients a session reads: its own, or those a dealer acts for.
  std::vector<int32_t> clients_of(const ServerConnection& c) const;
  template <typename Request, typename Order, typename Fill>
  void trade(ServerConnection& c, const CProcess& p, Fill fill);
  void answer(ServerConnection& c, TokensEnum token, int32_t number,
              const std::optional<model::OrderNumber>& outcome);

  bool allowed(ServerConnection& connection, const Route& route, const CProcess& process);
  void refuse(ServerConnection& c, const Route& route, const CProcess& p, int32_t code,
              const std::string& text);
  void send_price(ServerConnection& connection, int32_t symbol);
  void handshake();
  bool full(const std::string& address, size_t pending);
  int64_t now() const;
  void stop_waiting(ServerConnection& connection, bool answered);
  void summarise_dropped();

  Desk& m_desk;
  ITimerFactory& m_timers;
  GatewayOptions m_options;
  std::unordered_map<TokensEnum, Handler> m_handlers;
  std::shared_ptr<CEventManager> m_event_manager;
  std::shared_ptr<ITimer> m_handshake;
  std::unordered_map<ServerConnection*, std::shared_ptr<ServerConnection>> m_connections;
  // Connections closed inside their own handlers, let go on the next accept
  // or handshake.
  std::vector<std::shared_ptr<ServerConnection>> m_closed;
  // Logged-on sessions by client and by user, in log-on order, and how many
  // there are from each address.
  std::unordered_map<int32_t, std::vector<ServerConnection*>> m_by_client;
  std::unordered_map<std::string, std::vector<ServerConnection*>> m_by_user;
  std::unordered_map<std::string, size_t> m_by_address;
  std::vector<ServerConnection*> m_dealers;  // logged-on dealer sessions
  std::vector<std::string> m_chatting;       // dealers taking orders, in the order they began
  std::vector<wire::Negotiation> m_expired;  // not told yet
  Negotiations m_negotiations;
  std::vector<ServerConnection*> m_market;  // sessions that started the market
  std::vector<ServerConnection*> m_targets;  // a copy to send on, kept for its capacity
  std::unordered_map<int32_t, int32_t> m_sequence;  // quotes of each symbol so far
  std::shared_ptr<const std::string> m_price;  // the last quote's message, shared by its sends
  SessionIds m_sids;
  LogOnThrottle m_throttle;
  std::string m_unknown_user_hash;
  // Log-ons being answered: the user and address of their throttle slot,
  // and whether the answer is held back (it waits on the connection's timer).
  struct InFlight {
    std::string username;
    std::string address;
    bool held = false;
  };
  std::unordered_map<ServerConnection*, InFlight> m_waiting;
  size_t m_held = 0;
  GatewayStats m_stats;
  size_t m_refused = 0;  // connections refused at the cap since the last taken
  size_t m_dropped = 0;  // connections dropped since the last line about them
  int64_t m_dropped_since = 0;
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_SERVER_GATEWAY_H_
