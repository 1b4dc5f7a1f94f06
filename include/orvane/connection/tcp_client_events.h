#ifndef ORVANE_CONNECTION_TCP_CLIENT_EVENTS_H_
#define ORVANE_CONNECTION_TCP_CLIENT_EVENTS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "orvane/connection/tcp_client_enums.h"

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
};

}  // namespace orvane

#endif  // ORVANE_CONNECTION_TCP_CLIENT_EVENTS_H_
