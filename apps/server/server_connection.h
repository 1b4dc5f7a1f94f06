#ifndef ORVANE_APPS_SERVER_SERVER_CONNECTION_H_
#define ORVANE_APPS_SERVER_SERVER_CONNECTION_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "orvane/io/socket.h"
#include "orvane/protocol/tokens_enum.h"

namespace orvane {
class CEventManager;
class CProcess;
class CResponse;
class CSession;
class ITimer;
}  // namespace orvane

namespace orvane::apps {

namespace model {
struct User;
}  // namespace model

class ServerConnection;

// What a connection asks of the server it belongs to.
class ConnectionHost {
 public:
  virtual ~ConnectionHost() = default;
  // None for an unknown user name.
  virtual const model::User* user(const std::string& username) const = 0;
  virtual int32_t new_sid() = 0;
  // The highest order number the user has used (0: none), told at log-on.
  virtual int32_t last_order_number(const std::string& username) const = 0;
  // Market time now (dd/mm/yyyy hh:nn:ss; empty before any), told at log-on.
  virtual std::string market_time() const { return {}; }
  // The platform's settings, told at log-on (CGlobalVar::SetValues' text).
  virtual std::string settings() const { return {}; }
  // The session's log-on was answered: what it is told next follows it.
  virtual void welcomed(ServerConnection& /*connection*/) {}
  // Whether the user, its password checked, may log on in this connection:
  // empty, or the text of the refusal. The host may make room (close another
  // session) before it answers.
  virtual std::string may_log_on(ServerConnection& connection, const model::User& user) {
    (void)connection;
    (void)user;
    return {};
  }
  virtual void logged_on(ServerConnection& connection) = 0;
  // Milliseconds the answer to a log-on of `username` must wait (0: none),
  // or -1 when no more answers may wait: the log-on is then refused.
  virtual int64_t log_on_delay(ServerConnection& connection, const std::string& username) {
    (void)connection;
    (void)username;
    return 0;
  }
  // Calls `done` with whether `password` is the user's (none: an unknown
  // name, which costs the same and fails), now or later on this thread.
  virtual void check_password(const model::User* user, std::string password,
                             std::function<void(bool)> done);
  // A log-on refused for a wrong user name (`known` false) or password.
  // Whether the refusal is worth a log line of its own.
  virtual bool log_on_failed(ServerConnection& connection, const std::string& username,
                           bool known) {
    (void)connection;
    (void)username;
    (void)known;
    return true;
  }
  // Whether what goes to logged-on sessions must wait: it may report state
  // that is not yet durable.
  virtual bool holding() const { return false; }
  // Runs `send` once that state is durable (never, when it cannot be made so).
  virtual void hold(std::function<void()> send) { send(); }
  // The connection is being cut for reading too slowly.
  virtual void slow_reader_cut() {}
  // A request of a logged-on session whose SID checked out, other than the
  // protocol's own (lost rows, handshakes, disconnects). The host answers
  // through the connection.
  virtual void request(ServerConnection& connection, const CProcess& process) = 0;
  // The connection is closed and may be let go (after this call returns).
  virtual void closed(ServerConnection& connection) = 0;
  // Where multi-row answers log the rows they send.
  virtual std::shared_ptr<CEventManager> event_manager() = 0;
  virtual void log(const std::string& line) = 0;
};

// Limits of one connection.
struct ConnectionLimits {
  // Text accepted for sending that the peer has not taken yet; beyond it
  // the peer counts as a slow reader and is disconnected.
  size_t max_unsent_bytes = 8u << 20;
  // The same for all the logged-on sessions of one user together (0: no
  // such bound); the session that is to send when they pass it is
  // disconnected.
  size_t max_user_unsent_bytes = 32u << 20;
  // An unterminated message may grow this far.
  size_t max_unterminated_bytes = 64u << 10;
};

// One accepted socket of the reference server with the session attached to
// it: it splits the stream into messages, lets only a log-on open the
// connection, checks every later request's SID, answers the protocol's
// errors, sends multi-row answers and resends the rows the peer reports
// lost, and closes the connection (with a logged reason) on a refused
// log-on, bad framing, a reader (or a user's readers together) too far
// behind on any send, no log-on before its deadline timer ticks, or
// DISCONNECT. A request's SID is read strictly (see read_sid).
//
// The host may hold the answer to a log-on back (log_on_delay): the log-on is
// then answered on the connection's timer, its password checked only then,
// and any message the peer sends meanwhile closes the connection.
class ServerConnection : private ISocketEvents {
 public:
  // `login_deadline` (may be null: no deadline, no delayed log-on answers)
  // is enabled by Start and closes the connection when it ticks before a
  // log-on; it also times a delayed log-on answer.
  ServerConnection(ConnectionHost& host, std::shared_ptr<ISocket> socket,
                   const ConnectionLimits& limits, std::shared_ptr<ITimer> login_deadline = {});
  ~ServerConnection() override;
  ServerConnection(const ServerConnection&) = delete;
  ServerConnection& operator=(const ServerConnection&) = delete;

  // Starts the log-on deadline and reads what arrived before the connection
  // was offered.
  void start();
  // Sends one whole message text; a reader too far behind is disconnected
  // instead. False when the text did not go out. Once logged on, what is
  // sent while the host is Holding goes out, in order, when the host lets
  // it (and not at all if the connection has closed by then).
  bool send(std::string_view text);
  // Sends at once, held or not: for what reports no state (prices).
  bool send_now(std::string_view text);
  // The same for a text shared with other connections (a price to every
  // session): the socket keeps a reference to it, not a copy.
  bool send_now(const std::shared_ptr<const std::string>& text);
  // Answers with a count and one message per row (a multi-row result),
  // kept for lost-row resends; held as Send is.
  void send_rows(const std::vector<std::string>& rows);
  // Answers ERROR(code, text, token).
  void refuse(int32_t code, const std::string& text, TokensEnum request);
  // Closes once, logging why (an empty reason: no log line); the host hears
  // Closed.
  void close(const std::string& reason);

  bool logged_on() const { return m_logged_on; }
  bool is_market_started() const;
  bool is_closed() const { return m_closed; }
  int32_t client_id() const { return m_client; }
  const std::string& peer() const { return m_peer; }
  // The peer's address (without port).
  const std::string& address() const { return m_address; }
  // The user's name once logged on.
  const std::string& username() const;
  size_t unsent_bytes() const;
  const std::shared_ptr<CSession>& session() const { return m_session; }
  // The logged-on sessions of this session's user, itself among them, whose
  // unsent text counts against the user's budget; the host keeps the list
  // alive and current until it hears Closed. Without one the user has no
  // budget of its own.
  void share_budget(const std::vector<ServerConnection*>* user_sessions) {
    m_user_sessions = user_sessions;
  }

 private:
  // ISocketEvents
  void State(ISocket& socket, SocketStateEnum state) override;
  void Receive(ISocket& socket) override;

  void handle(std::string_view message);
  void handle_first(const CProcess& process, std::string_view message);
  void handle_request(const CProcess& process);
  void log_on(const CProcess& process);
  void answer_log_on();
  void finish_log_on(const std::string& username, bool password_ok);
  void send_rows_now(const std::vector<std::string>& rows);
  bool held() const { return m_logged_on && m_host.holding(); }
  void resend_lost(const CProcess& process);
  void deadline_passed();
  // False, the connection closed, when it or its user is over its budget.
  bool within_budget();

  ConnectionHost& m_host;
  std::shared_ptr<ISocket> m_socket;
  ConnectionLimits m_limits;
  std::shared_ptr<ITimer> m_deadline;
  std::shared_ptr<CSession> m_session;
  const std::vector<ServerConnection*>* m_user_sessions = nullptr;
  std::shared_ptr<CProcess> m_process;
  std::shared_ptr<CResponse> m_last_answer;
  std::vector<std::string> m_messages;
  std::optional<std::pair<std::string, std::string>> m_waiting;  // a log-on: user, password
  bool m_checking = false;  // a log-on's password is being checked
  // Lets a password check that answers after the connection has gone know it.
  std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
  std::string m_address;
  std::string m_peer;
  size_t m_unterminated = 0;
  int32_t m_client = 0;
  bool m_logged_on = false;
  bool m_closed = false;
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_SERVER_SERVER_CONNECTION_H_
