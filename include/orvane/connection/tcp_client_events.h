#ifndef ORVANE_CONNECTION_TCP_CLIENT_EVENTS_H_
#define ORVANE_CONNECTION_TCP_CLIENT_EVENTS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "orvane/connection/tcp_client_enums.h"
#include "orvane/core/handler_check.h"

namespace orvane {

// The events of CTcpClient, in slot order. Override the ones you need.
class CTcpClientEvents {
 public:
  virtual ~CTcpClientEvents() = default;
  // The connection came up, or a live connection went down.
  virtual void state(TCPClientStatusType currentStatus) { (void)currentStatus; }
  // One complete protocol message, without its terminator.
  virtual void Receive(const std::string& rData) { (void)rData; }
  // The same message as a view valid only during the call. A listener that
  // takes it returns true and is not given Receive for this message; the
  // default returns false, so Receive follows with the text.
  //
  // An event of this library's own, kept on purpose beside Receive: a host
  // that parses each message in place (as the protocol client does)
  // spares one string copy per message. A listener that ignores it sees
  // exactly the Receive events it would see without it, one per message in
  // arrival order.
  virtual bool ReceiveView(std::string_view rData) {
    (void)rData;
    return false;
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
    ORVANE_CHECK_EVENT(CTcpClientEvents, Handler, state);
    ORVANE_CHECK_EVENT(CTcpClientEvents, Handler, Receive);
    ORVANE_CHECK_EVENT(CTcpClientEvents, Handler, ReceiveView);
    ORVANE_CHECK_EVENT(CTcpClientEvents, Handler, NotConnected);
    ORVANE_CHECK_EVENT(CTcpClientEvents, Handler, ProxyTestResult);
    ORVANE_CHECK_EVENT(CTcpClientEvents, Handler, ReceivedData);
    ORVANE_CHECK_EVENT(CTcpClientEvents, Handler, SentData);
  }
};

}  // namespace orvane

#endif  // ORVANE_CONNECTION_TCP_CLIENT_EVENTS_H_
