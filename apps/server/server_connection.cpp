#include "server_connection.h"

#include "records.h"
#include "orvane/connection/asio_socket.h"
#include "orvane/core/error.h"
#include "orvane/protocol/data_protocol.h"
#include "orvane/protocol/process.h"
#include "orvane/protocol/response.h"
#include "orvane/session/security.h"
#include "orvane/session/session.h"
#include "wire.h"

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
                                   const ConnectionLimits& limits)
    : m_host(host),
      m_socket(std::move(socket)),
      m_asio(dynamic_cast<AsioSocket*>(m_socket.get())),
      m_limits(limits),
      m_session(std::make_shared<CSession>()),
      m_process(CProcess::New()),
      m_peer(m_socket->RemoteAddress() + ":" + std::to_string(m_socket->RemotePort())),
      m_opened(std::chrono::steady_clock::now()) {
  m_session->IP(m_socket->RemoteAddress());
  m_session->Child(m_socket);
  m_socket->Session(m_session);
  m_socket->NoDelay(true);
  m_socket->Advise(this);
}

ServerConnection::~ServerConnection() {
  m_socket->Unadvise(this);
  m_socket->Session(nullptr);
  if (m_socket->State() != SocketClosed) m_socket->Close();
}

void ServerConnection::Start() {
  if (m_socket->State() != SocketConnected) return Close("closed before it was served");
  Receive(*m_socket);
}

bool ServerConnection::IsMarketStarted() const { return m_session->MarketStarted(); }

bool ServerConnection::Send(std::string_view text) {
  if (m_closed) return false;
  const size_t unsent = UnsentBytes();
  if (unsent > m_limits.max_unsent_bytes) {
    Close("slow reader: " + std::to_string(unsent) + " bytes not taken");
    return false;
  }
  try {
    m_socket->Send(text);
  } catch (const Error& e) {
    Close(std::string("send failed: ") + e.what());
    return false;
  }
  return true;
}

void ServerConnection::Close(const std::string& reason) {
  if (m_closed) return;
  m_closed = true;
  m_host.Log("session " + std::to_string(m_session->sid()) + " " + m_peer + " closed: " +
             reason);
  m_socket->Close();
  m_host.Closed(*this);
}

size_t ServerConnection::UnsentBytes() const { return m_asio ? m_asio->UnsentBytes() : 0; }

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
  CProcess& process = *m_process;
  process.Renew();
  process.Child(m_socket);
  try {
    process.DefineProcessByCommand(kLogLevel, message);
  } catch (const Error&) {
    if (!m_logged_on) return Close("a malformed first message");
    return SendError(kInvalidParameter, ErrorText(kInvalidParameter), process.TokenID());
  }
  if (!m_logged_on) return HandleFirst(process, message);
  if (!process.ValidateSID()) {
    return SendError(kInvalidSid, ErrorText(kInvalidSid), process.TokenID());
  }
  HandleRequest(process);
}

void ServerConnection::HandleFirst(const CProcess& process, std::string_view message) {
  if (!process.IsValidFirstCommand(message)) {
    return Close("the first message is not a log-on");
  }
  if (process.TokenID() != LOGIN_TOKEN) {
    SendError(kUndefinedCommand, ErrorText(kUndefinedCommand), process.TokenID());
    return Close("demo accounts are not opened here");
  }
  LogOn(process);
}

void ServerConnection::LogOn(const CProcess& process) {
  const std::string username = process.ParameterValue(1, true, "");
  const std::string password = process.ParameterValue(2, true, "");
  const model::User* user = m_host.User(username);
  if (!user || user->password != password) {
    SendError(wire::kLoginRefused, "Wrong user name or password", LOGIN_TOKEN);
    return Close("log-on refused for '" + username + "'");
  }
  m_logged_on = true;
  m_client = user->client;
  m_session->sid(m_host.NewSid());
  m_session->Username(username);
  m_session->UserID(user->client);
  m_session->SelectedClientID(user->client);
  m_session->Security()->UserHasThesePrivs(user->privileges);
  Respond(LOGIN_TOKEN, {wire::Number(m_session->sid()), wire::Number(user->client)});
  m_host.Log("session " + std::to_string(m_session->sid()) + " " + m_peer + ": " + username +
             " logged on as client " + std::to_string(user->client));
  m_host.LoggedOn(*this);
}

void ServerConnection::HandleRequest(const CProcess& process) {
  const TokensEnum token = process.TokenID();
  switch (token) {
    case LOGIN_TOKEN:
      return SendError(kUndefinedCommand, ErrorText(kUndefinedCommand), token);
    case START_MARKET_TOKEN:
      Respond(RESULT_OK_TOKEN, {});
      m_session->MarketStarted(true);
      return m_host.MarketStarted(*this);
    case RESULT_LOST_TOKEN:
      return ResendLost(process);
    case DISCONNECT_TOKEN:
      return Close("the peer asked to disconnect");
    case CONNECT_HANDCHAKE_TOKEN:
      return;
    default:
      return SendRows(token);
  }
}

void ServerConnection::SendRows(TokensEnum token) {
  std::vector<std::string> rows;
  if (!m_host.Rows(*this, token, rows)) {
    return SendError(kUndefinedCommand, ErrorText(kUndefinedCommand), token);
  }
  auto answer = std::make_shared<CResponse>();
  answer->Child(m_socket);
  answer->EventManager(m_host.EventManager());
  for (const std::string& row : rows) {
    answer->AddCell(row);
    answer->AddRow();
  }
  if (UnsentBytes() > m_limits.max_unsent_bytes) {
    return Close("slow reader: " + std::to_string(UnsentBytes()) + " bytes not taken");
  }
  if (!answer->Handle()) return Close("the answer could not be sent");
  m_last_answer = std::move(answer);
}

void ServerConnection::ResendLost(const CProcess& process) {
  int32_t row = 0;
  if (!wire::ReadInteger(process.ParameterValue(1, true, ""), row) || !m_last_answer ||
      row < 1 || row > m_last_answer->Results()) {
    return SendError(kInvalidParameter, ErrorText(kInvalidParameter), RESULT_LOST_TOKEN);
  }
  m_last_answer->ResultNotRecieved(row);
  if (!m_last_answer->SendNotRecievedResults()) Close("a lost row could not be sent again");
}

void ServerConnection::Respond(TokensEnum token,
                               std::initializer_list<std::string_view> params) {
  CProcess response;
  response.DefineResponseByToken(kLogLevel, token, params);
  Send(response.ProcessText());
}

void ServerConnection::SendError(int32_t code, const std::string& text, TokensEnum request) {
  Respond(ERROR_TOKEN, {wire::Number(code), text, wire::Number(static_cast<int32_t>(request))});
}

}  // namespace orvane::apps
