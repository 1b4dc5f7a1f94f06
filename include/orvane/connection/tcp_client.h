#ifndef ORVANE_CONNECTION_TCP_CLIENT_H_
#define ORVANE_CONNECTION_TCP_CLIENT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "orvane/connection/proxy_tester.h"
#include "orvane/connection/tcp_client_enums.h"
#include "orvane/connection/tcp_client_environment.h"
#include "orvane/connection/tcp_client_events.h"
#include "orvane/core/event_source.h"
#include "orvane/core/object.h"
#include "orvane/io/socket.h"
#include "orvane/io/timer.h"

namespace orvane {

class CDataProtocol;
class CQueue;

// The client end of the platform's TCP connection, used by the terminals
// (through CHClient) to reach the trading server.
//
// - Connect makes one attempt at once and then one every connect interval
//   (5000..10999 ms, drawn once at creation from a generator seeded with
//   the milliseconds since midnight of orvane::Now(), so that two clients
//   created in the same instant draw the same interval) until the socket
//   reports connected. Failed attempts are silent.
// - When a live connection goes down, unsent messages are dropped, the
//   handshake and send timers stop, the framing buffer is cleared and, with
//   automatic re-login on, attempts resume one connect interval later;
//   state(STATUS_DISCONNECTED) is raised last.
// - Send paces output: one queued message at once and then one per 10 ms
//   send tick, never while the socket is blocked. A message taken off the
//   queue while not connected is dropped with a NotConnected event. The
//   queue holds 5000 messages; more are dropped silently.
// - While connected to a server of type DisconnectWhenNoHandshakMsgType, a
//   connection that receives nothing for HandshakeMsgTimer() ms (default
//   100000) is dropped as by Disconnect(true).
// - Receive is raised once per complete protocol message, in arrival
//   order; ReceivedData and SentData count single-byte characters.
//
// Everything runs on the host's thread; events are raised synchronously.
// A handler may call back into the client or drop it.
class CTcpClient : public Object,
                   public ISafeObject,
                   public std::enable_shared_from_this<CTcpClient>,
                   private ISocketEvents,
                   private NonCopyable {
 public:
  static constexpr int32_t kSendInterval = 10;
  static constexpr int32_t kProxyTestInterval = 100;
  static constexpr int32_t kDefaultHandshakeInterval = 100000;
  // The most characters of a proxy test's error text that reach the host.
  static constexpr size_t kMaxProxyErrorText = 10000;

  // On the real socket and timers of `io` (see AsioTcpClientEnvironment;
  // defined by the Asio adapters, orvane::asio).
  explicit CTcpClient(asio::io_context& io, const TlsOptions& tls = {});
  // On the given socket, timers and proxy tester (tests pass in-memory and
  // virtual-time ones). Throws orvane::Error(ObjectRequired) without a
  // socket or a timer factory.
  explicit CTcpClient(TcpClientEnvironment environment);
  ~CTcpClient() override;

  // Restarts the connect timer, makes one attempt at once, then arms
  // re-login as the automatic re-login option says.
  void Connect();
  // Queues `txt` for sending (see the class comment). SentData comes first,
  // even when the queue is full and the message is dropped.
  //
  // A Send made inside a send tick (from a NotConnected handler, or from a
  // handler that the socket's own send runs) skips its immediate tick, on
  // purpose: the tick in progress has not yet taken its message off the
  // queue, so a nested tick would take the same front message again and the
  // new message would be dropped unseen. The new message waits for the next
  // tick, 10 ms later.
  void Send(std::string_view txt);
  // Stops connecting and closes the connection; re-login stays armed only
  // when `vRelogin` and the automatic re-login option are both true. With
  // the proxy enabled the socket is closed only when a proxy tester is
  // present (otherwise nothing is closed).
  void Disconnect(bool vRelogin = true);
  // A sign of life from the server: restarts the handshake interval (for
  // DisconnectWhenNoHandshakMsgType servers; otherwise nothing).
  void HandshakeMsgRecieved();

  TCPClientStatusType status() const;

  // A port below 1 (or no number at all) is ignored. Connect rounds it to a
  // whole number, halves to even; one that does not fit 32 bits fails the
  // attempt (silently).
  double ServerPort() const { return m_server_port; }
  void ServerPort(double value);
  const std::string& ServerAddress() const { return m_server_address; }
  void ServerAddress(std::string value) { m_server_address = std::move(value); }

  int32_t proxyPort() const { return m_proxy_port; }
  void proxyPort(int32_t value) { m_proxy_port = value; }
  bool ProxyEnabled() const { return m_proxy_enabled; }
  void ProxyEnabled(bool value) { m_proxy_enabled = value; }
  const std::string& proxyAddress() const { return m_proxy_address; }
  void proxyAddress(std::string value) { m_proxy_address = std::move(value); }
  const std::string& ProxyUsername() const { return m_proxy_username; }
  void ProxyUsername(std::string value) { m_proxy_username = std::move(value); }
  // With the proxy enabled, a value outside the enumeration fails every
  // attempt (silently, as any failed attempt) rather than going around the
  // proxy.
  ProxyTypeEnum ProxyType() const { return m_proxy_type; }
  void ProxyType(ProxyTypeEnum value) { m_proxy_type = value; }
  const std::string& ProxyPassword() const { return m_proxy_password; }
  void ProxyPassword(std::string value) { m_proxy_password = std::move(value); }

  // The socket's own flag: true while it cannot take more data.
  bool Blocked() const;

  TCPServerTypeEnum ServerType() const { return m_server_type; }
  void ServerType(TCPServerTypeEnum value) { m_server_type = value; }
  // Milliseconds of silence after which a connection is dropped.
  int32_t HandshakeMsgTimer() const;
  void HandshakeMsgTimer(int32_t milliseconds);
  bool AutoReloginOption() const { return m_auto_relogin; }
  // Sets the option and arms (or disarms) re-login alike.
  void AutoReloginOption(bool value);
  // Disconnected and about to re-connect by itself.
  bool isConnecting() const;

  // Starts an asynchronous test of these proxy settings (the client's own
  // proxy fields are left alone); the outcome arrives as ProxyTestResult.
  // Without a proxy tester the outcome is ProxyNotWork at once, with a
  // text saying so.
  void TestProxy(const std::string& proxyAddress, int32_t proxyPort,
                 const std::string& Username, const std::string& Password,
                 ProxyTypeEnum ProxyType);

  // The socket itself, for CProcess::Send; none after Deallocate.
  std::shared_ptr<ISocket> Child() const { return m_socket; }

  // The connect interval drawn at creation, in milliseconds.
  int32_t ConnectInterval() const { return m_connect_interval; }

  // Stops every timer, closes and lets go of the socket, the proxy tester
  // and the framing buffer, and deallocates the queued messages. The client
  // is inert afterwards: operations do nothing and raise nothing (not even
  // SentData or ProxyTestResult), and status is STATUS_DISCONNECTED.
  void Deallocate() override;

  // Subscribes a listener (not owned). A handler class is checked at
  // compile time: none of its functions may hide one of the events.
  template <std::derived_from<CTcpClientEvents> Handler>
  void Advise(Handler* listener) {
    CTcpClientEvents::CheckHandler<Handler>();
    Advise(static_cast<CTcpClientEvents*>(listener));
  }
  // The same for a listener given as the interface; nothing to check.
  void Advise(CTcpClientEvents* listener) { m_events.Advise(listener); }
  // Ends a subscription; a listener not subscribed is ignored.
  void Unadvise(CTcpClientEvents* listener) { m_events.Unadvise(listener); }

 private:
  // ISocketEvents
  void State(ISocket& socket, SocketStateEnum state) override;
  void Receive(ISocket& socket) override;

  void Attempt();
  void SendTick();
  void HandshakeTick() { Disconnect(true); }
  void ProxyTestTick();
  void CloseThroughProxyTester();
  void RaiseState(TCPClientStatusType status);
  static void Restart(ITimer& timer);
  std::shared_ptr<ITimer> MakeTimer(ITimerFactory& timers, int32_t interval,
                                    void (CTcpClient::*tick)());

  std::shared_ptr<ISocket> m_socket;
  std::shared_ptr<IProxyTester> m_proxy_tester;
  std::shared_ptr<ITimer> m_connect_timer;
  std::shared_ptr<ITimer> m_handshake_timer;
  std::shared_ptr<ITimer> m_send_timer;
  std::shared_ptr<ITimer> m_proxy_test_timer;
  std::shared_ptr<CQueue> m_queue;
  std::shared_ptr<CDataProtocol> m_protocol;
  std::string m_held;
  std::string m_row;

  TCPClientStatusType m_last_status = STATUS_DISCONNECTED;
  TCPServerTypeEnum m_server_type = DisconnectWhenNoHandshakMsgType;
  double m_server_port = 4500;
  std::string m_server_address;
  bool m_proxy_enabled = false;
  int32_t m_proxy_port = 0;
  std::string m_proxy_address;
  std::string m_proxy_username;
  std::string m_proxy_password;
  ProxyTypeEnum m_proxy_type = HTTPProxy;
  bool m_auto_relogin = true;
  bool m_relogin_armed = true;
  bool m_in_send_tick = false;
  int32_t m_connect_interval = 0;
  EventSource<CTcpClientEvents> m_events;
};

}  // namespace orvane

#endif  // ORVANE_CONNECTION_TCP_CLIENT_H_
