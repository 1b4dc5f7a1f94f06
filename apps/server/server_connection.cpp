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

std::string ErrorText(int32_t code) {
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

void ServerConnection::Start() {
  if (m_socket->State() != SocketConnected) return Close("closed before it was served");
  if (m_deadline) {
    m_deadline->OnTick([this] { DeadlinePassed(); });
    m_deadline->Enabled(true);
  }
  Receive(*m_socket);
}

void ServerConnection::DeadlinePassed() {
  m_deadline->Enabled(false);
  if (!m_logged_on && !m_waiting) Close("no log-on in time");
}

bool ServerConnection::IsMarketStarted() const { return m_session->MarketStarted(); }

const std::string& ServerConnection::Username() const { return m_session->Username(); }

bool ServerConnection::WithinBudget() {
  if (m_closed) return false;
  const size_t unsent = UnsentBytes();
  if (unsent > m_limits.max_unsent_bytes) {
    m_host.SlowReaderCut();
    Close("slow reader: " + std::to_string(unsent) + " bytes not taken");
    return false;
  }
  if (m_logged_on && m_limits.max_user_unsent_bytes > 0) {
    const size_t user = m_host.UserUnsentBytes(*this);
    if (user > m_limits.max_user_unsent_bytes) {
      m_host.SlowReaderCut();
      Close("slow readers: the sessions of " + LogText(Username()) + " have not taken " +
            std::to_string(user) + " bytes");
      return false;
    }
  }
  return true;
}

bool ServerConnection::Send(std::string_view text) {
  if (m_closed) return false;
  if (!Held()) return SendNow(text);
  m_host.Hold([this, alive = std::weak_ptr<bool>(m_alive), text = std::string(text)] {
    if (!alive.expired()) SendNow(text);
  });
  return true;
}

bool ServerConnection::SendNow(std::string_view text) {
  if (m_closed || !WithinBudget()) return false;
  try {
    m_socket->Send(text);
  } catch (const Error& e) {
    Close(std::string("send failed: ") + e.what());
    return false;
  }
  return true;
}

bool ServerConnection::SendNow(const std::shared_ptr<const std::string>& text) {
  if (m_closed || !WithinBudget()) return false;
  try {
    m_socket->SendShared(text);
  } catch (const Error& e) {
    Close(std::string("send failed: ") + e.what());
    return false;
  }
  return true;
}

void ServerConnection::Close(const std::string& reason) {
  if (m_closed) return;
  m_closed = true;
  if (m_deadline) m_deadline->Enabled(false);
  if (!reason.empty()) {
    m_host.Log("session " + std::to_string(m_session->sid()) + " " + m_peer + " closed: " +
               reason);
  }
  m_socket->Close();
  m_host.Closed(*this);
}

size_t ServerConnection::UnsentBytes() const { return m_socket->UnsentBytes(); }

void ServerConnection::State(ISocket& /*socket*/, SocketStateEnum state) {
  if (state == SocketClosed) Close("the peer closed the connection");
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
  for (int32_t i = 1; i <= count && !m_closed; ++i) Handle(m_messages[i]);
  if (!m_closed && m_unterminated > m_limits.max_unterminated_bytes) {
    Close("an unterminated message passed " + std::to_string(m_limits.max_unterminated_bytes) +
          " bytes");
  }
}

void ServerConnection::Handle(std::string_view message) {
  if (m_waiting || m_checking) return Close("a message before the log-on was answered");
  CProcess& process = *m_process;
  process.Renew();
  process.Child(m_socket);
  try {
    process.DefineProcessByCommand(kLogLevel, message);
  } catch (const Error&) {
    if (!m_logged_on) return Close("a malformed first message");
    return Refuse(kInvalidParameter, ErrorText(kInvalidParameter), process.TokenID());
  }
  if (!m_logged_on) return HandleFirst(process, message);
  if (!ReadSid(message) || !process.ValidateSID()) {
    return Refuse(kInvalidSid, ErrorText(kInvalidSid), process.TokenID());
  }
  HandleRequest(process);
}

void ServerConnection::HandleFirst(const CProcess& process, std::string_view message) {
  if (!process.IsValidFirstCommand(message)) {
    return Close("the first message is not a log-on");
  }
  if (process.TokenID() != LOGIN_TOKEN) {
    Refuse(kUndefinedCommand, ErrorText(kUndefinedCommand), process.TokenID());
    return Close("demo accounts are not opened here");
  }
  LogOn(process);
}

void ServerConnection::LogOn(const CProcess& process) {
  wire::LogOn request;
  wire::decode(process, request);
  m_waiting.emplace(std::move(request.username), std::move(request.password));
  const int64_t delay = m_host.LogOnDelay(*this, m_waiting->first);
  if (delay < 0) {
    Refuse(wire::kLoginRefused, "Too many log-ons waiting; try again later", LOGIN_TOKEN);
    return Close("");
  }
  if (delay == 0 || !m_deadline) return AnswerLogOn();
  m_deadline->OnTick([this] { AnswerLogOn(); });
  m_deadline->Enabled(false);
  m_deadline->Interval(static_cast<int32_t>(std::min<int64_t>(delay, INT32_MAX)));
  m_deadline->Enabled(true);
}

void ConnectionHost::CheckPassword(const model::User* user, std::string password,
                                   std::function<void(bool)> done) {
  done(user != nullptr && VerifyPassword(user->password, password));
}

void ServerConnection::AnswerLogOn() {
  if (m_deadline) m_deadline->Enabled(false);
  auto [username, password] = std::move(*m_waiting);
  m_waiting.reset();
  m_checking = true;
  std::weak_ptr<bool> alive = m_alive;
  const model::User* user = m_host.user(username);
  m_host.CheckPassword(user, std::move(password),
                       [this, alive, username = std::move(username)](bool ok) {
                         if (alive.expired() || m_closed) return;
                         m_checking = false;
                         FinishLogOn(username, ok);
                       });
}

void ServerConnection::FinishLogOn(const std::string& username, bool password_ok) {
  const model::User* user = m_host.user(username);
  if (!user || !password_ok) {
    const bool log = m_host.LogOnFailed(*this, username, user != nullptr);
    Refuse(wire::kLoginRefused, "Wrong user name or password", LOGIN_TOKEN);
    return Close(log ? "log-on refused for '" + LogText(username) + "'" : "");
  }
  const std::string refusal = m_host.MayLogOn(*this, *user);
  if (!refusal.empty()) {
    Refuse(wire::kLoginRefused, refusal, LOGIN_TOKEN);
    return Close("log-on refused for '" + LogText(username) + "': " + refusal);
  }
  m_logged_on = true;
  m_client = user->client;
  m_session->sid(m_host.NewSid());
  m_session->Username(username);
  m_session->UserID(user->client);
  m_session->UserType(static_cast<UserTypeEnum>(user->type));
  m_session->SelectedClientID(user->client);
  m_session->Security()->UserHasThesePrivs(user->privileges);
  m_session->SymbolsPriv(user->symbols);
  m_host.Log("session " + std::to_string(m_session->sid()) + " " + m_peer + ": " +
             LogText(username) + " logged on as client " + std::to_string(user->client));
  // The host knows the session before anything is sent, so that a send that
  // closes it is heard as the close of a known session.
  m_host.LoggedOn(*this);
  Send(wire::response(
      wire::LoggedOn{m_session->sid(), user->client, m_host.last_order_number(username),
                     m_host.market_time(), m_host.Settings()}));
  m_host.Welcomed(*this);
}

void ServerConnection::HandleRequest(const CProcess& process) {
  const TokensEnum token = process.TokenID();
  switch (token) {
    case LOGIN_TOKEN:
      return Refuse(kUndefinedCommand, ErrorText(kUndefinedCommand), token);
    case RESULT_LOST_TOKEN:
      return ResendLost(process);
    case DISCONNECT_TOKEN:
      return Close("the peer asked to disconnect");
    case CONNECT_HANDCHAKE_TOKEN:
      return;
    default:
      return m_host.request(*this, process);
  }
}

void ServerConnection::SendRows(const std::vector<std::string>& rows) {
  if (m_closed) return;
  if (!Held()) return SendRowsNow(rows);
  m_host.Hold([this, alive = std::weak_ptr<bool>(m_alive), rows] {
    if (!alive.expired()) SendRowsNow(rows);
  });
}

void ServerConnection::SendRowsNow(const std::vector<std::string>& rows) {
  if (m_closed) return;
  auto answer = std::make_shared<CResponse>();
  answer->Child(m_socket);
  answer->EventManager(m_host.EventManager());
  for (const std::string& row : rows) {
    answer->AddCell(row);
    answer->AddRow();
  }
  if (!WithinBudget()) return;
  if (!answer->Handle()) return Close("the answer could not be sent");
  m_last_answer = std::move(answer);
}

void ServerConnection::ResendLost(const CProcess& process) {
  wire::LostRow lost;
  if (!wire::decode(process, lost) || !m_last_answer || lost.row < 1 ||
      lost.row > m_last_answer->Results()) {
    return Refuse(kInvalidParameter, ErrorText(kInvalidParameter), RESULT_LOST_TOKEN);
  }
  if (!WithinBudget()) return;
  m_last_answer->ResultNotRecieved(lost.row);
  if (!m_last_answer->SendNotRecievedResults()) Close("a lost row could not be sent again");
}

void ServerConnection::Refuse(int32_t code, const std::string& text, TokensEnum request) {
  Send(wire::response(wire::Refusal{code, text, static_cast<int32_t>(request)}));
}

}  // namespace orvane::apps
