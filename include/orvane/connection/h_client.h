#ifndef ORVANE_CONNECTION_H_CLIENT_H_
#define ORVANE_CONNECTION_H_CLIENT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "orvane/connection/tcp_client.h"
#include "orvane/connection/tcp_client_enums.h"
#include "orvane/connection/tcp_client_environment.h"
#include "orvane/core/event_source.h"
#include "orvane/core/handler_check.h"
#include "orvane/core/object.h"

namespace orvane {

class CProcess;

// The events of CHClient, in slot order.
class CHClientEvents {
 public:
  virtual ~CHClientEvents() = default;
  // The connection came up, or a live connection went down.
  virtual void state(TCPClientStatusType currentStatus) { (void)currentStatus; }
  // One received message, parsed (log level 5). The host keeps the process
  // only if it stores it during the event.
  virtual void Receive(const std::shared_ptr<CProcess>& Process) {
    (void)Process;
  }
  // A queued message was dropped because the client was not connected.
  virtual void NotConnected() {}
  // A proxy test ended (ProxyWorks with an empty text, or ProxyNotWork).
  virtual void ProxyTestResult(ProxyTestResultEnum result,
                               const std::string& ErrorMsg) {
    (void)result;
    (void)ErrorMsg;
  }
  // Data arrived: its length in characters.
  virtual void ReceivedData(int32_t Bytes) { (void)Bytes; }
  // Send was called: the length in characters of the text given.
  virtual void SentData(int32_t Bytes) { (void)Bytes; }

  // Fails to compile when Handler hides one of these events behind a
  // function of other parameters (see orvane/core/handler_check.h).
  template <typename Handler>
  static constexpr void CheckHandler() {
    ORVANE_CHECK_EVENT(CHClientEvents, Handler, state);
    ORVANE_CHECK_EVENT(CHClientEvents, Handler, Receive);
    ORVANE_CHECK_EVENT(CHClientEvents, Handler, NotConnected);
    ORVANE_CHECK_EVENT(CHClientEvents, Handler, ProxyTestResult);
    ORVANE_CHECK_EVENT(CHClientEvents, Handler, ReceivedData);
    ORVANE_CHECK_EVENT(CHClientEvents, Handler, SentData);
  }
};

// The connection object the terminals hold: a CTcpClient whose every
// setting and command it passes through, raising each complete received
// message as a parsed CProcess. It has no send of its own: the host builds
// a CProcess and sends it on Child().
//
// A message whose parsing throws (a SID beyond 32 bits) is still raised,
// with what was parsed before the error. The host keeps a process by holding
// a shared_ptr to it after the event; one it did not keep is renewed and
// reused for a later message. Held by a shared_ptr, the client may be
// dropped by a handler of its own events.
class CHClient : public Object,
                 public std::enable_shared_from_this<CHClient>,
                 private CTcpClientEvents,
                 private NonCopyable {
 public:
  static constexpr int16_t kProcessLogLevel = 5;

  // On the real socket and timers of `io` (defined by the Asio adapters,
  // orvane::asio).
  explicit CHClient(asio::io_context& io, const TlsOptions& tls = {});
  // On the given environment (see CTcpClient).
  explicit CHClient(TcpClientEnvironment environment);
  ~CHClient() override;

  std::shared_ptr<ISocket> Child() const { return m_client->Child(); }
  TCPClientStatusType status() const { return m_client->status(); }
  double ServerPort() const { return m_client->ServerPort(); }
  void ServerPort(double value) { m_client->ServerPort(value); }
  const std::string& ServerAddress() const { return m_client->ServerAddress(); }
  void ServerAddress(std::string value) {
    m_client->ServerAddress(std::move(value));
  }
  int32_t proxyPort() const { return m_client->proxyPort(); }
  void proxyPort(int32_t value) { m_client->proxyPort(value); }
  bool ProxyEnabled() const { return m_client->ProxyEnabled(); }
  void ProxyEnabled(bool value) { m_client->ProxyEnabled(value); }
  const std::string& proxyAddress() const { return m_client->proxyAddress(); }
  void proxyAddress(std::string value) {
    m_client->proxyAddress(std::move(value));
  }
  const std::string& ProxyUsername() const { return m_client->ProxyUsername(); }
  void ProxyUsername(std::string value) {
    m_client->ProxyUsername(std::move(value));
  }
  ProxyTypeEnum ProxyType() const { return m_client->ProxyType(); }
  void ProxyType(ProxyTypeEnum value) { m_client->ProxyType(value); }
  const std::string& ProxyPassword() const { return m_client->ProxyPassword(); }
  void ProxyPassword(std::string value) {
    m_client->ProxyPassword(std::move(value));
  }
  bool Blocked() const { return m_client->Blocked(); }
  TCPServerTypeEnum ServerType() const { return m_client->ServerType(); }
  void ServerType(TCPServerTypeEnum value) { m_client->ServerType(value); }
  int32_t HandshakeMsgTimer() const { return m_client->HandshakeMsgTimer(); }
  void HandshakeMsgTimer(int32_t value) { m_client->HandshakeMsgTimer(value); }
  bool AutoReloginOption() const { return m_client->AutoReloginOption(); }
  void AutoReloginOption(bool value) { m_client->AutoReloginOption(value); }
  bool isConnecting() const { return m_client->isConnecting(); }
  void TestProxy(const std::string& proxyAddress, int32_t proxyPort,
                 const std::string& Username, const std::string& Password,
                 ProxyTypeEnum ProxyType) {
    m_client->TestProxy(proxyAddress, proxyPort, Username, Password,
                        ProxyType);
  }
  void HandshakeMsgRecieved() { m_client->HandshakeMsgRecieved(); }
  // The session identifier the host stores after logging on; kept, not used.
  int32_t sid() const { return m_sid; }
  void sid(int32_t value) { m_sid = value; }
  void Disconnect(bool vRelogin = true) { m_client->Disconnect(vRelogin); }
  void Connect() { m_client->Connect(); }

  // The inner client.
  const std::shared_ptr<CTcpClient>& TcpClient() const { return m_client; }

  // Subscribes a listener (not owned). A handler class is checked at
  // compile time: none of its functions may hide one of the events.
  template <std::derived_from<CHClientEvents> Handler>
  void Advise(Handler* listener) {
    CHClientEvents::CheckHandler<Handler>();
    Advise(static_cast<CHClientEvents*>(listener));
  }
  // The same for a listener given as the interface; nothing to check.
  void Advise(CHClientEvents* listener) { m_events.Advise(listener); }
  // Ends a subscription; a listener not subscribed is ignored.
  void Unadvise(CHClientEvents* listener) { m_events.Unadvise(listener); }

 private:
  // CTcpClientEvents
  void state(TCPClientStatusType currentStatus) override;
  void Receive(const std::string& rData) override;
  bool ReceiveView(std::string_view rData) override;
  void NotConnected() override;
  void ProxyTestResult(ProxyTestResultEnum result,
                       const std::string& ErrorMsg) override;
  void ReceivedData(int32_t Bytes) override;
  void SentData(int32_t Bytes) override;
  // Parses `text` into `process` and raises it.
  void Raise(const std::shared_ptr<CProcess>& process, std::string_view text);

  std::shared_ptr<CTcpClient> m_client;
  // The process of the last message, parsed into again when no one kept it.
  std::shared_ptr<CProcess> m_process;
  bool m_raising_process = false;
  int32_t m_sid = 0;
  EventSource<CHClientEvents> m_events;
};

}  // namespace orvane

#endif  // ORVANE_CONNECTION_H_CLIENT_H_
