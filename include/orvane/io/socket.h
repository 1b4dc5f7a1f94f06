#ifndef ORVANE_IO_SOCKET_H_
#define ORVANE_IO_SOCKET_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "orvane/core/handler_check.h"
#include "orvane/core/object.h"

namespace orvane {

class ISocket;

// The states a socket reports. Only SocketConnected (2) and SocketClosed (0)
// carry meaning for the library; the others are passing states.
enum SocketStateEnum : int32_t {
  SocketClosed = 0,
  SocketConnecting = 1,
  SocketConnected = 2,
  SocketClosing = 3,
};

// The kind of proxy a socket's next connect goes through.
enum SocketProxyKindEnum : int32_t {
  SocketNoProxy = -1,
  SocketHttpProxy = 0,
  SocketSocks4Proxy = 1,
  SocketSocks5Proxy = 2,
};

// Proxy settings of a socket. They take effect at the next Connect; a socket
// that is already connected keeps its route. A port is a TCP port number.
struct SocketProxy {
  SocketProxyKindEnum kind = SocketNoProxy;  // no proxy by default
  std::string host;                          // the proxy's host name or address
  int32_t port = 0;                          // the proxy's port
  std::string user;                          // empty: no authentication
  std::string password;                      // with user, where the proxy takes one
};

// What a socket tells its owner. Events arrive on the host's thread, one at a
// time: a socket never raises an event from inside a handler of its own
// event; it raises the next one after the handler has returned.
class ISocketEvents {
 public:
  virtual ~ISocketEvents() = default;
  // The socket's state changed to `state`. An event raised late (it fell
  // due inside a handler) still carries the state it was raised for, while
  // socket.State() may have moved on since.
  virtual void State(ISocket& socket, SocketStateEnum state) {
    (void)socket;
    (void)state;
  }
  // Data arrived; socket.Receive() hands out everything available.
  virtual void Receive(ISocket& socket) { (void)socket; }

  // Fails to compile when Handler hides one of these events behind a
  // function of other parameters (see orvane/core/handler_check.h).
  template <typename Handler>
  static constexpr void CheckHandler() {
    ORVANE_CHECK_EVENT(ISocketEvents, Handler, State);
    ORVANE_CHECK_EVENT(ISocketEvents, Handler, Receive);
  }
};

// One TCP connection of the platform (terminal side: owned by the TCP client;
// server side: accepted by the host and passed to the library as `Child`).
//
// Text crosses a socket unchanged and in order: what one end gives to Send,
// the other end reads from Receive, possibly cut into different chunks.
// Operations that cannot be carried out throw orvane::Error; callers in the
// library trap it and turn it into their own result.
class ISocket : public Object {
 public:
  // The peer's address as text; empty when it was never connected.
  virtual std::string RemoteAddress() const = 0;
  // The peer's TCP port; 0 whenever the socket is not connected.
  virtual int32_t RemotePort() const = 0;
  virtual SocketStateEnum State() const = 0;
  // True while the socket cannot accept more data for sending. Send still
  // takes text while blocked; callers that pace their sending wait instead.
  virtual bool Blocked() const = 0;
  // Bytes accepted by Send and not yet handed on (to the operating system,
  // or to the peer for an in-memory socket): what a server watches to cut a
  // reader that stopped reading. 0 for a socket that does not count them,
  // and once the connection is gone.
  virtual size_t UnsentBytes() const { return 0; }

  // Starts an asynchronous connection to host:port (through the proxy, if
  // one is set). Success and failure arrive through the State event. Throws
  // orvane::Error when the attempt cannot even start (bad port, socket busy).
  virtual void Connect(const std::string& host, int32_t port) = 0;
  // Accepts the whole text for sending, after all text given before. Throws
  // orvane::Error when the socket is not connected.
  virtual void Send(std::string_view text) = 0;
  // The same for a text the caller shares, unchanged, with other sockets
  // (one message to many peers): a socket may hold a reference to it until
  // it has gone out instead of copying it. The default copies it as Send.
  virtual void SendShared(const std::shared_ptr<const std::string>& text) { Send(*text); }
  // Everything received and not yet read, as text; empty when nothing is.
  virtual std::string Receive() = 0;
  // The same text lent instead of copied, for a reader inside its Receive
  // handler: the view stays valid until that handler returns or the next
  // ReceiveView, whichever comes first, and the text counts as read. The
  // default reads Receive() into a buffer this object keeps for the loan.
  virtual std::string_view ReceiveView();
  // Ends the connection. A live connection then reports SocketClosed through
  // the State event; closing a closed socket does nothing.
  virtual void Close() = 0;

  virtual const SocketProxy& Proxy() const = 0;
  virtual void Proxy(const SocketProxy& proxy) = 0;

  // Kept for the socket's lifetime, set once by the owner at creation: the
  // seconds a Close waits for unsent text to leave, and whether small writes
  // go out at once (no coalescing).
  virtual int32_t LingerSeconds() const = 0;
  virtual void LingerSeconds(int32_t seconds) = 0;
  virtual bool NoDelay() const = 0;
  virtual void NoDelay(bool value) = 0;

  // The object a server host attached to this connection (its session), or
  // none. The library reads the session's SID through it.
  virtual std::shared_ptr<Object> Session() const = 0;
  virtual void Session(std::shared_ptr<Object> session) = 0;

  // Subscribes a listener (not owned; it must outlive its subscription).
  virtual void Advise(ISocketEvents* listener) = 0;
  virtual void Unadvise(ISocketEvents* listener) = 0;

 private:
  std::string m_lent;
};

}  // namespace orvane

#endif  // ORVANE_IO_SOCKET_H_
