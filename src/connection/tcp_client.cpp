#include "orvane/connection/tcp_client.h"

#include <cmath>
#include <exception>
#include <random>
#include <string>
#include <utility>

#include "orvane/connection/queue.h"
#include "orvane/connection/tcp_send_object.h"
#include "orvane/core/clock.h"
#include "orvane/core/conversions.h"
#include "orvane/core/error.h"
#include "orvane/protocol/data_protocol.h"

namespace orvane {
namespace {

constexpr int32_t kMinConnectInterval = 5000;
constexpr int32_t kConnectIntervalSpread = 6000;

// 5000 plus the integer part of a fraction in [0, 1) times 6000, from a
// generator seeded with the milliseconds since midnight.
int32_t draw_connect_interval() {
  double seconds = std::fabs(Now().TimePart().Serial()) * 86400.0;
  auto seed =
      static_cast<std::mt19937::result_type>(std::llround(seconds * 1000.0));
  std::mt19937 generator(seed);
  double fraction = std::generate_canonical<double, 53>(generator);
  if (fraction >= 1.0) fraction = 0.0;
  return kMinConnectInterval +
         static_cast<int32_t>(std::floor(fraction * kConnectIntervalSpread));
}

// The socket's proxy kind for a proxy type. A value outside the enumeration
// is refused: taken as "no proxy" it would connect around the proxy.
SocketProxyKindEnum proxy_kind_of(ProxyTypeEnum type) {
  switch (type) {
    case HTTPProxy: return SocketHttpProxy;
    case Socks4Proxy: return SocketSocks4Proxy;
    case Socks5Proxy: return SocketSocks5Proxy;
  }
  throw Error(ErrorCode::InvalidArgument,
              "unknown proxy type " + std::to_string(int32_t(type)));
}

TcpClientEnvironment checked(TcpClientEnvironment environment) {
  if (!environment.socket || !environment.timers) {
    throw Error(ErrorCode::ObjectRequired,
                "a TCP client needs a socket and a timer factory");
  }
  return environment;
}

}  // namespace

CTcpClient::CTcpClient(TcpClientEnvironment given) {
  TcpClientEnvironment environment = checked(std::move(given));
  m_socket = std::move(environment.socket);
  m_proxy_tester = std::move(environment.proxy_tester);
  m_queue = std::make_shared<CQueue>();
  m_protocol = std::make_shared<CDataProtocol>();
  m_connect_interval = draw_connect_interval();
  ITimerFactory& timers = *environment.timers;
  m_connect_timer =
      MakeTimer(timers, m_connect_interval, &CTcpClient::Attempt);
  m_handshake_timer = MakeTimer(timers, kDefaultHandshakeInterval,
                                &CTcpClient::HandshakeTick);
  m_send_timer = MakeTimer(timers, kSendInterval, &CTcpClient::SendTick);
  m_proxy_test_timer =
      MakeTimer(timers, kProxyTestInterval, &CTcpClient::ProxyTestTick);
  // Unsent text gets five seconds to leave after a close; small messages go
  // out at once.
  m_socket->LingerSeconds(5);
  m_socket->NoDelay(true);
  m_socket->Advise(this);
}

CTcpClient::~CTcpClient() { Deallocate(); }

std::shared_ptr<ITimer> CTcpClient::MakeTimer(ITimerFactory& timers,
                                              int32_t interval,
                                              void (CTcpClient::*tick)()) {
  std::shared_ptr<ITimer> timer = timers.CreateTimer();
  timer->Interval(interval);
  timer->Enabled(false);
  timer->OnTick([this, tick] {
    // A handler of an event raised from the tick may drop the client.
    std::shared_ptr<CTcpClient> pin = weak_from_this().lock();
    (this->*tick)();
  });
  return timer;
}

void CTcpClient::Deallocate() {
  for (auto* timer : {&m_connect_timer, &m_handshake_timer, &m_send_timer,
                      &m_proxy_test_timer}) {
    if (*timer) {
      (*timer)->Enabled(false);
      (*timer)->OnTick(nullptr);
    }
  }
  if (m_socket) {
    m_socket->Unadvise(this);
    m_socket->Close();
    m_socket.reset();
  }
  if (m_proxy_tester) {
    m_proxy_tester->Close();
    m_proxy_tester.reset();
  }
  if (m_queue) m_queue->Deallocate();
  if (m_protocol) m_protocol->ClearBuffer();
  m_last_status = STATUS_DISCONNECTED;
}

void CTcpClient::Restart(ITimer& timer) { timer.Restart(); }

// --- operations -----------------------------------------------------------

void CTcpClient::Connect() {
  if (!m_socket) return;
  std::shared_ptr<CTcpClient> pin = weak_from_this().lock();
  Restart(*m_connect_timer);
  Attempt();
  m_relogin_armed = m_auto_relogin;
}

void CTcpClient::Attempt() {
  if (!m_socket) return;
  try {
    SocketProxy proxy;
    if (m_proxy_enabled) {
      m_socket->Close();
      proxy.host = m_proxy_address;
      proxy.port = m_proxy_port;
      proxy.user = m_proxy_username;
      proxy.password = m_proxy_password;
      proxy.kind = proxy_kind_of(m_proxy_type);
    } else {
      CloseThroughProxyTester();
    }
    if (!m_socket) return;  // a state handler deallocated the client
    m_socket->Proxy(proxy);
    m_socket->Connect(m_server_address, ToInt32(m_server_port));
  } catch (const std::exception&) {
    if (m_connect_timer) Restart(*m_connect_timer);
  }
}

// Closing through the proxy library closes the socket, and would close the
// library's own proxy connection; this client never opens one (its handle
// stays 0), so a proxy test in progress is left running.
void CTcpClient::CloseThroughProxyTester() {
  if (!m_proxy_tester) return;
  m_socket->Close();
}

void CTcpClient::Send(std::string_view txt) {
  if (!m_socket) return;
  std::shared_ptr<CTcpClient> pin = weak_from_this().lock();
  m_events.Raise([&](CTcpClientEvents& l) {
    l.SentData(static_cast<int32_t>(txt.size()));
  });
  if (!m_socket) return;  // a SentData handler deallocated the client
  auto node = std::make_shared<CTCPSendObject>();
  node->SendText(std::string(txt));
  m_queue->Enqueue(node);  // a full queue drops the message
  Restart(*m_send_timer);
  SendTick();
}

// A NotConnected handler that calls Send does not start a second tick
// inside this one (that would take the same front message twice and drop
// the new one unseen); the new message waits for the next tick.
void CTcpClient::SendTick() {
  if (!m_socket || m_in_send_tick) return;
  m_in_send_tick = true;
  struct Leave {
    bool& flag;
    ~Leave() { flag = false; }
  } leave{m_in_send_tick};
  try {
    if (m_socket->Blocked()) return;
    std::shared_ptr<IQueueNode> node;
    if (m_queue->Top(node) != SUCCESS) return;
    if (status() == STATUS_CONNECTED) {
      auto* message = dynamic_cast<CTCPSendObject*>(node.get());
      if (message != nullptr) m_socket->Send(message->SendText());
    } else {
      m_events.Raise([](CTcpClientEvents& l) { l.NotConnected(); });
    }
    if (!m_socket) return;
    m_queue->Dequeue();
    if (m_queue->Count().NumberValue() <= 0) m_send_timer->Enabled(false);
  } catch (const std::exception&) {
    // The message stays queued for the next tick.
  }
}

void CTcpClient::Disconnect(bool vRelogin) {
  if (!m_socket) return;
  std::shared_ptr<CTcpClient> pin = weak_from_this().lock();
  m_relogin_armed = vRelogin && m_auto_relogin;
  m_connect_timer->Enabled(false);
  if (m_proxy_enabled) {
    CloseThroughProxyTester();
  } else {
    m_socket->Close();
  }
}

void CTcpClient::HandshakeMsgRecieved() {
  if (!m_socket || m_server_type != DisconnectWhenNoHandshakMsgType) return;
  Restart(*m_handshake_timer);
}

void CTcpClient::TestProxy(const std::string& proxyAddress,
                           int32_t proxyPort, const std::string& Username,
                           const std::string& Password,
                           ProxyTypeEnum ProxyType) {
  if (!m_socket) return;
  std::shared_ptr<CTcpClient> pin = weak_from_this().lock();
  if (!m_proxy_tester) {
    m_events.Raise([](CTcpClientEvents& l) {
      l.ProxyTestResult(ProxyNotWork, "proxy testing is not available");
    });
    return;
  }
  int32_t started = m_proxy_tester->TestProxyAsync(
      proxyAddress, proxyPort, Username, Password, ProxyType);
  m_proxy_test_timer->Enabled(false);
  if (started == 0) {
    m_proxy_test_timer->Enabled(true);
    return;
  }
  std::string text = m_proxy_tester->LastError().substr(0, kMaxProxyErrorText);
  m_events.Raise(
      [&](CTcpClientEvents& l) { l.ProxyTestResult(ProxyNotWork, text); });
}

void CTcpClient::ProxyTestTick() {
  if (!m_proxy_tester) return;
  std::string text = "Test result string";
  int32_t result = m_proxy_tester->TestResult(text);
  if (result == -1) return;  // still testing
  m_proxy_test_timer->Enabled(false);
  ProxyTestResultEnum outcome = result == 0 ? ProxyWorks : ProxyNotWork;
  if (outcome == ProxyWorks) text.clear();
  text.resize(std::min(text.size(), kMaxProxyErrorText));
  m_events.Raise(
      [&](CTcpClientEvents& l) { l.ProxyTestResult(outcome, text); });
}

// --- properties -----------------------------------------------------------

TCPClientStatusType CTcpClient::status() const {
  return m_socket && m_socket->State() == SocketConnected
             ? STATUS_CONNECTED
             : STATUS_DISCONNECTED;
}

void CTcpClient::ServerPort(double value) {
  if (!(value >= 1)) return;  // also refuses NaN
  m_server_port = value;
}

bool CTcpClient::Blocked() const { return m_socket && m_socket->Blocked(); }

int32_t CTcpClient::HandshakeMsgTimer() const {
  return m_handshake_timer->Interval();
}

void CTcpClient::HandshakeMsgTimer(int32_t milliseconds) {
  m_handshake_timer->Interval(milliseconds);
}

void CTcpClient::AutoReloginOption(bool value) {
  m_auto_relogin = value;
  m_relogin_armed = value;
}

bool CTcpClient::isConnecting() const {
  return status() == STATUS_DISCONNECTED && m_relogin_armed && m_auto_relogin;
}

// --- socket events --------------------------------------------------------

void CTcpClient::RaiseState(TCPClientStatusType status) {
  m_events.Raise([status](CTcpClientEvents& l) { l.state(status); });
}

// Goes by the state the event carries, not by the socket's state now: a
// close made inside one of the socket's handlers is reported after the
// handler returns, when a new attempt may already be under way (a host that
// reconnects from Receive), and that close still ends the live connection.
void CTcpClient::State(ISocket&, SocketStateEnum state) {
  std::shared_ptr<CTcpClient> pin = weak_from_this().lock();
  if (state == SocketConnected) {
    m_connect_timer->Enabled(false);
    if (m_server_type == DisconnectWhenNoHandshakMsgType) {
      m_handshake_timer->Enabled(true);
    }
    RaiseState(STATUS_CONNECTED);
    m_last_status = STATUS_CONNECTED;
    m_relogin_armed = m_auto_relogin;
  } else if (state == SocketClosed && m_last_status == STATUS_CONNECTED) {
    m_last_status = STATUS_DISCONNECTED;
    m_handshake_timer->Enabled(false);
    m_queue->Clear();
    m_send_timer->Enabled(false);
    if (m_auto_relogin && m_relogin_armed) Restart(*m_connect_timer);
    m_protocol->ClearBuffer();
    RaiseState(STATUS_DISCONNECTED);
  }
}

// Each message is raised as soon as it is cut from the text the socket
// lends for this event (or from the bytes held over from the previous chunk,
// which this call takes over), so a handler that clears or refills the
// framing buffer leaves the rest of them intact.
void CTcpClient::Receive(ISocket& socket) {
  std::shared_ptr<CTcpClient> pin = weak_from_this().lock();
  std::shared_ptr<ISocket> socket_pin = m_socket;  // the lender of the text
  const std::string_view data = socket.ReceiveView();
  m_events.Raise([&](CTcpClientEvents& l) {
    l.ReceivedData(static_cast<int32_t>(data.size()));
  });
  HandshakeMsgRecieved();
  std::string held = std::move(m_held);
  std::string row = std::move(m_row);
  std::string_view region = m_protocol->SplitBufferRegion(data, held);
  while (!region.empty()) {
    const std::string_view message = CDataProtocol::NextMessage(region);
    bool as_text = false;
    m_events.Raise([&](CTcpClientEvents& l) {
      if (l.ReceiveView(message)) return;
      if (!as_text) row.assign(message);
      as_text = true;
      l.Receive(row);
    });
  }
  m_held = std::move(held);
  m_row = std::move(row);
}

}  // namespace orvane
