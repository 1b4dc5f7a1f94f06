#ifndef ORVANE_CONNECTION_TCP_CLIENT_ENUMS_H_
#define ORVANE_CONNECTION_TCP_CLIENT_ENUMS_H_

#include <cstdint>

namespace orvane {

// The connection status a TCP client reports to its host.
enum TCPClientStatusType : int32_t {
  STATUS_CONNECTED = 0,
  STATUS_DISCONNECTED = 1,
};

// Whether the server's silence (no data for the handshake interval) drops
// the connection.
enum TCPServerTypeEnum : int32_t {
  DisconnectWhenNoHandshakMsgType = 1,
  NoDisconnectWhenNoHandshakMsgType = 2,
};

// The kind of proxy of a TCP client and of a proxy test.
enum ProxyTypeEnum : int32_t {
  HTTPProxy = 0,
  Socks4Proxy = 1,
  Socks5Proxy = 2,
};

// The state of a proxy test: still running, or its outcome.
enum ProxyTestResultEnum : int32_t {
  TestingMode = 1,
  ProxyWorks = 2,
  ProxyNotWork = 3,
};

}  // namespace orvane

#endif  // ORVANE_CONNECTION_TCP_CLIENT_ENUMS_H_
