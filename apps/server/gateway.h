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
#include <vector>

#include "orvane/connection/socket.h"
#include "orvane/protocol/tokens_enum.h"
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
  // Called with every log line (without time stamp); none: no log.
  std::function<void(const std::string&)> log;
  // Called when a session has started the market.
  std::function<void(ServerConnection&)> market_started;
};

// The server's sessions and what they may ask: it takes accepted sockets
// (from any acceptor), attaches a session to each, routes every request
// through the route table (user type and privilege checked before any
// handler runs; a refusal is ERROR(-503) with a text and changes nothing),
// answers queries from the desk's live state, fans each quote out once to
// every session that started the market (the same bytes for all), and
// pushes messages to a client's sessions. Handshakes and log-on deadlines
// run on the timer seam.
class Gateway : private ConnectionHost {
 public:
  Gateway(Desk& desk, ITimerFactory& timers, GatewayOptions options);
  ~Gateway() override;
  Gateway(const Gateway&) = delete;
  Gateway& operator=(const Gateway&) = delete;

  // Starts the handshakes.
  void Start();
  // Closes every connection and stops the handshakes.
  void Stop();
  // Whether a connection from `address` may be taken while `pending` others
  // are still being set up by the acceptor (TLS handshakes); false at the
  // connection cap. The first refusal of a burst is logged, and how many
  // there were once a connection is taken again.
  bool Admit(const std::string& address, size_t pending);
  // Serves a connected socket; over the connection cap it is closed.
  void Accept(const std::shared_ptr<ISocket>& socket);

  // The quote's raw price to every session that started the market (the
  // desk has applied it already).
  void Quote(const model::Quote& quote);
  // A message to every logged-on session of the client, or of everyone.
  void Push(int32_t client, std::string_view text);
  void PushAll(std::string_view text);

  size_t Connections() const { return m_connections.size(); }
  size_t LoggedOnSessions() const;
  size_t PricesSent() const { return m_prices_sent; }

 private:
  using Handler = void (Gateway::*)(ServerConnection&, const CProcess&);

  // ConnectionHost
  const model::User* User(const std::string& username) const override;
  int32_t NewSid() override;
  int32_t LastOrderNumber(const std::string& username) const override;
  std::string MarketTime() const override;
  std::string MayLogOn(ServerConnection& connection, const model::User& user) override;
  void LoggedOn(ServerConnection& connection) override;
  size_t UserUnsentBytes(const ServerConnection& connection) const override;
  void Request(ServerConnection& connection, const CProcess& process) override;
  void Closed(ServerConnection& connection) override;
  std::shared_ptr<CEventManager> EventManager() override { return m_event_manager; }
  void Log(const std::string& line) override;

  // Handlers, one per routed token.
  void Symbols(ServerConnection& c, const CProcess& p);
  void ClientInfo(ServerConnection& c, const CProcess& p);
  void Accounts(ServerConnection& c, const CProcess& p);
  void Positions(ServerConnection& c, const CProcess& p);
  void Orders(ServerConnection& c, const CProcess& p);
  void Summaries(ServerConnection& c, const CProcess& p);
  void StartMarket(ServerConnection& c, const CProcess& p);
  void OnePosition(ServerConnection& c, const CProcess& p);
  void Privileges(ServerConnection& c, const CProcess& p);
  void AccountHistory(ServerConnection& c, const CProcess& p);
  void OpenOrder(ServerConnection& c, const CProcess& p);
  void CloseOrder(ServerConnection& c, const CProcess& p);
  void HedgeOrder(ServerConnection& c, const CProcess& p);
  void PlaceEntry(ServerConnection& c, const CProcess& p);
  void ChangeEntry(ServerConnection& c, const CProcess& p);
  void DeleteEntry(ServerConnection& c, const CProcess& p);
  void PlaceGuard(ServerConnection& c, const CProcess& p);
  void ChangeGuard(ServerConnection& c, const CProcess& p);
  void DeleteGuard(ServerConnection& c, const CProcess& p);
  void Guards(ServerConnection& c, const CProcess& p);
  template <typename Request, typename Order, typename Fill>
  void Trade(ServerConnection& c, const CProcess& p, Fill fill);
  void Answer(ServerConnection& c, TokensEnum token, int32_t number,
              const std::optional<model::OrderNumber>& outcome);

  bool Allowed(ServerConnection& connection, const Route& route, const CProcess& process);
  void Refuse(ServerConnection& c, const Route& route, const CProcess& p, int32_t code,
              const std::string& text);
  void SendPrice(ServerConnection& connection, int32_t symbol);
  void Handshake();
  bool Full(const std::string& address, size_t pending);

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
  std::vector<ServerConnection*> m_market;  // sessions that started the market
  std::vector<ServerConnection*> m_targets;  // a copy to send on, kept for its capacity
  std::unordered_map<int32_t, int32_t> m_sequence;  // quotes of each symbol so far
  std::string m_price;
  SessionIds m_sids;
  size_t m_prices_sent = 0;
  size_t m_refused = 0;  // connections refused at the cap since the last taken
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_SERVER_GATEWAY_H_
