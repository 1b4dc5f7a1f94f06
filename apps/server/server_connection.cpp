#include "server_connection.h"

#include <algorithm>
#include <cstdint>

#include "log_text.h"
#include "messages.h"
#include "orvane/core/error.h"
#include "orvane/io/timer.h"
#include "orvane/protocol/data_protocol.h"
#include "orvane/protocol/process.h"
#include "orvane/protocol/response.h"
#include "orvane/session/security.h"
#include "orvane/session/session.h"
#include "password_hash.h"
#include "records.h"
#include "rows.h"
#include "session_ids.h"

namespace orvane::apps {

namespace {

constexpr int16_t kLogLevel = 5;
constexpr int32_t kInvalidSid = -500;
constexpr int32_t kUndefinedCommand = -501;
constexpr int32_t kInvalidParameter = -502;
constexpr std::string_view kTerminator = "+3!";

std::string error_text(int32_t code) {
  static const CDataProtocol protocol;
  return protocol.ErrorMsg(code);
}

}  // namespace

ServerConnection::ServerConnection(ConnectionHost& host, std::shared_ptr<ISocket> socket,
                                   const ConnectionLimits& limits,
                                   std::shared_ptr<ITimer> login_deadline)
    : m_host(host),
      m_socket(std::move(socket)),
      m_limits(limits),
      m_deadline(std::move(login_deadline)),
      m_session(std::make_shared<CSession>()),
      m_process(CProcess::New()),
      m_address(m_socket->RemoteAddress()),
      m_peer(m_address + ":" + std::to_string(m_socket->RemotePort())) {
  m_session->IP(m_address);
  m_session->Child(m_socket);
  m_socket->Session(m_session);
  m_socket->NoDelay(true);
  m_socket->Advise(this);
}

ServerConnection::~ServerConnection() {
  if (m_deadline) m_deadline->OnTick(nullptr);
  m_socket->Unadvise(this);
  m_socket->Session(nullptr);
  if (m_socket->State() != SocketClosed) m_socket->Close();
}

void ServerConnection::start() {
  if (m_socket->State() != SocketConnected) return close("closed before it was served");
  if (m_deadline) {
    m_deadline->OnTick([this] { deadline_passed(); });
    m_deadline->Enabled(true);
  }
  Receive(*m_socket);
}

void ServerConnection::deadline_passed() {
  m_deadline->Enabled(false);
  if (!m_logged_on && !m_waiting) close("no log-on in time");
}

bool ServerConnection::is_market_started() const { return m_session->MarketStarted(); }

const std::string& ServerConnection::username() const { return m_session->Username(); }

bool ServerConnection::within_budget() {
  if (m_closed) return false;
  const size_t unsent = unsent_bytes();
  if (unsent > m_limits.max_unsent_bytes) {
    m_host.slow_reader_cut();
    close("slow reader: " + std::to_string(unsent) + " bytes not taken");
    return false;
  }
  if (m_user_sessions != nullptr && m_limits.max_user_unsent_bytes > 0) {
    size_t user = unsent;  // a user with one session: no second look
    if (m_user_sessions->size() > 1) {
      user = 0;
      for (const ServerConnection* c : *m_user_sessions) user += c->unsent_bytes();
    }
    if (user > m_limits.max_user_unsent_bytes) {
      m_host.slow_reader_cut();
      close("slow readers: the sessions of " + log_text(username()) + " have not taken " +
            std::to_string(user) + " bytes");
      return false;
    }
  }
  return true;
}

bool ServerConnection::send(std::string_view text) {
  if (m_closed) return false;
  if (!held()) return send_now(text);
  m_host.hold([this, alive = std::weak_ptr<bool>(m_alive), text = std::string(text)] {
    if (!alive.expired()) send_now(text);
  });
  return true;
}

bool ServerConnection::send_now(std::string_view text) {
  if (m_closed || !within_budget()) return false;
  try {
    m_socket->Send(text);
  } catch (const Error& e) {
    close(std::string("send failed: ") + e.what());
    return false;
  }
  return true;
}

bool ServerConnection::send_now(const std::shared_ptr<const std::string>& text) {
  if (m_closed || !within_budget()) return false;
  try {
    m_socket->SendShared(text);
  } catch (const Error& e) {
    close(std::string("send failed: ") + e.what());
    return false;
  }
  return true;
}

void ServerConnection::close(const std::string& reason) {
  if (m_closed) return;
  m_closed = true;
  if (m_deadline) m_deadline->Enabled(false);
  if (!reason.empty()) {
    m_host.log("session " + std::to_string(m_session->sid()) + " " + m_peer + " closed: " +
               reason);
  }
  m_socket->Close();
  m_host.closed(*this);
}

size_t ServerConnection::unsent_bytes() const { return m_socket->UnsentBytes(); }

void ServerConnection::State(ISocket& /*socket*/, SocketStateEnum state) {
  if (state == SocketClosed) close("the peer closed the connection");
}

void ServerConnection::Receive(ISocket& socket) {
  if (m_closed) {
    socket.Receive();
    return;
  }
  const std::string_view chunk = socket.ReceiveView();
  const int32_t count = m_session->SplitBuffer(chunk, m_messages);
  if (count > 0) {
    const size_t last = chunk.rfind(kTerminator);
    m_unterminated = last == std::string_view::npos ? chunk.size()
                                                    : chunk.size() - last - kTerminator.size();
  } else {
    m_unterminated += chunk.size();
  }
  for (int32_t i = 1; i <= count && !m_closed; ++i) handle(m_messages[i]);
  if (!m_closed && m_unterminated > m_limits.max_unterminated_bytes) {
    close("an unterminated message passed " + std::to_string(m_limits.max_unterminated_bytes) +
          " bytes");
  }
}

void ServerConnection::handle(std::string_view message) {
  if (m_waiting || m_checking) return close("a message before the log-on was answered");
  CProcess& process = *m_process;
  process.Renew();
  process.Child(m_socket);
  try {
    process.DefineProcessByCommand(kLogLevel, message);
  } catch (const Error&) {
    if (!m_logged_on) return close("a malformed first message");
    return refuse(kInvalidParameter, error_text(kInvalidParameter), process.TokenID());
  }
  if (!m_logged_on) return handle_first(process, message);
  if (!read_sid(message) || !process.ValidateSID()) {
    return refuse(kInvalidSid, error_text(kInvalidSid), process.TokenID());
  }
  handle_request(process);
}

void ServerConnection::handle_first(const CProcess& process, std::string_view message) {
  if (!process.IsValidFirstCommand(message)) {
    return close("the first message is not a log-on");
  }
  if (process.TokenID() != LOGIN_TOKEN) {
    refuse(kUndefinedCommand, error_text(kUndefinedCommand), process.TokenID());
    return close("demo accounts are not opened here");
  }
  log_on(process);
}

void ServerConnection::log_on(const CProcess& process) {
  wire::LogOn request;
  wire::decode(process, request);
  m_waiting.emplace(std::move(request.username), std::move(request.password));
  const int64_t delay = m_host.log_on_delay(*this, m_waiting->first);
  if (delay < 0) {
    refuse(wire::kLoginRefused, "Too many log-ons waiting; try again later", LOGIN_TOKEN);
    return close("");
  }
  if (delay == 0 || !m_deadline) return answer_log_on();
  m_deadline->OnTick([this] { answer_log_on(); });
  m_deadline->Enabled(false);
  m_deadline->Interval(static_cast<int32_t>(std::min<int64_t>(delay, INT32_MAX)));
  m_deadline->Enabled(true);
}

void ConnectionHost::check_password(const model::User* user, std::string password,
                                   std::function<void(bool)> done) {
  done(user != nullptr && verify_password(user->password, password));
}

void ServerConnection::answer_log_on() {
  if (m_deadline) m_deadline->Enabled(false);
  auto [username, password] = std::move(*m_waiting);
  m_waiting.reset();
  m_checking = true;
  std::weak_ptr<bool> alive = m_alive;
  const model::User* user = m_host.user(username);
  m_host.check_password(user, std::move(password),
                       [this, alive, username = std::move(username)](bool ok) {
                         if (alive.expired() || m_closed) return;
                         m_checking = false;
                         finish_log_on(username, ok);
                       });
}

void ServerConnection::finish_log_on(const std::string& username, bool password_ok) {
  const model::User* user = m_host.user(username);
  if (!user || !password_ok) {
    const bool log = m_host.log_on_failed(*this, username, user != nullptr);
    refuse(wire::kLoginRefused, "Wrong user name or password", LOGIN_TOKEN);
    return close(log ? "log-on refused for '" + log_text(username) + "'" : "");
  }
  const std::string refusal = m_host.may_log_on(*this, *user);
  if (!refusal.empty()) {
    refuse(wire::kLoginRefused, refusal, LOGIN_TOKEN);
    return close("log-on refused for '" + log_text(username) + "': " + refusal);
  }
  m_logged_on = true;
  m_client = user->client;
  m_session->sid(m_host.new_sid());
  m_session->Username(username);
  m_session->UserID(user->client);
  m_session->UserType(static_cast<UserTypeEnum>(user->type));
  m_session->SelectedClientID(user->client);
  m_session->Security()->UserHasThesePrivs(user->privileges);
  m_session->SymbolsPriv(user->symbols);
  m_host.log("session " + std::to_string(m_session->sid()) + " " + m_peer + ": " +
             log_text(username) + " logged on as client " + std::to_string(user->client));
  // The host knows the session before anything is sent, so that a send that
  // closes it is heard as the close of a known session.
  m_host.logged_on(*this);
  send(wire::response(
      wire::LoggedOn{m_session->sid(), user->client, m_host.last_order_number(username),
                     m_host.market_time(), m_host.settings()}));
  m_host.welcomed(*this);
}

void ServerConnection::handle_request(const CProcess& process) {
  const TokensEnum token = process.TokenID();
  switch (token) {
    case LOGIN_TOKEN:
      return refuse(kUndefinedCommand, error_text(kUndefinedCommand), token);
    case RESULT_LOST_TOKEN:
      return resend_lost(process);
    case DISCONNECT_TOKEN:
      return close("the peer asked to disconnect");
    case CONNECT_HANDCHAKE_TOKEN:
      return;
    default:
      return m_host.request(*this, process);
  }
}

void ServerConnection::send_rows(const std::vector<std::string>& rows) {
  if (m_closed) return;
  if (!held()) return send_rows_now(rows);
  m_host.hold([this, alive = std::weak_ptr<bool>(m_alive), rows] {
    if (!alive.expired()) send_rows_now(rows);
  });
}

void ServerConnection::send_rows_now(const std::vector<std::string>& rows) {
  if (m_closed) return;
  auto answer = std::make_shared<CResponse>();
  answer->Child(m_socket);
  answer->EventManager(m_host.event_manager());
  for (const std::string& row : rows) {
    answer->AddCell(row);
    answer->AddRow();
  }
  if (!within_budget()) return;
  if (!answer->Handle()) return close("the answer could not be sent");
  m_last_answer = std::move(answer);
}

void ServerConnection::resend_lost(const CProcess& process) {
  wire::LostRow lost;
  if (!wire::decode(process, lost) || !m_last_answer || lost.row < 1 ||
      lost.row > m_last_answer->Results()) {
    return refuse(kInvalidParameter, error_text(kInvalidParameter), RESULT_LOST_TOKEN);
  }
  if (!within_budget()) return;
  m_last_answer->ResultNotRecieved(lost.row);
  if (!m_last_answer->SendNotRecievedResults()) close("a lost row could not be sent again");
}

void ServerConnection::refuse(int32_t code, const std::string& text, TokensEnum request) {
  send(wire::response(wire::Refusal{code, text, static_cast<int32_t>(request)}));
}

}  // namespace orvane::apps
