#ifndef ORVANE_ASIO_ASIO_SOCKET_H_
#define ORVANE_ASIO_ASIO_SOCKET_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

#include "orvane/core/event_source.h"
#include "orvane/core/object.h"
#include "orvane/io/socket.h"
#include "orvane/io/tls_options.h"

namespace asio {
class io_context;
}  // namespace asio

namespace orvane {

class AsioConnection;
class AsioTlsContext;

// A TCP connection on an Asio io_context that the host runs on its one
// thread; events are raised there, one at a time (an event that falls due
// inside a handler of this socket follows when the handler returns).
//
// Connect resolves the host (name or address), connects, passes the proxy
// set by Proxy() (HTTP CONNECT with Basic authentication when a user is
// set, SOCKS4 with the user as user id, SOCKS5 without or with user name
// and password), then runs the TLS handshake when TLS is on. Only then does
// the state become SocketConnected. Any failure on that road (name not
// found, refused, proxy error or refusal, certificate not trusted or not
// for the host) ends the attempt in SocketClosed, with the reason in
// LastError().
//
// Send and SendShared queue whole texts in call order; what one turn of the
// io_context queued leaves in one gathered write after that turn (shared
// texts by reference, not copied). Blocked() is true while more than
// kBlockedBytes of accepted text has not yet been handed to the operating
// system. Close() reports SocketClosed at once; text still unsent keeps
// leaving in the background for at most LingerSeconds() before the
// connection is cut. A peer that closes (or a read or write error) also
// ends in SocketClosed, after every byte received before it was offered
// through Receive.
//
// Through a proxy, RemoteAddress and RemotePort name the target as given to
// Connect; without one, the peer's numeric address and port.
//
// The io_context must outlive the socket. An event handler may drop the
// last shared_ptr to the socket; the socket then goes after the handler.
class AsioSocket : public ISocket,
                   public std::enable_shared_from_this<AsioSocket>,
                   private NonCopyable {
 public:
  static constexpr size_t kBlockedBytes = 1 << 20;

  // Throws orvane::Error(FileError) when TLS is on and its CA file cannot
  // be loaded.
  explicit AsioSocket(asio::io_context& io, const TlsOptions& tls = {});
  // An accepted connection, already connected (used by AsioListener).
  AsioSocket(asio::io_context& io, std::shared_ptr<AsioConnection> accepted);
  ~AsioSocket() override;

  // ISocket
  std::string RemoteAddress() const override { return m_remote_address; }
  int32_t RemotePort() const override;
  SocketStateEnum State() const override { return m_state; }
  bool Blocked() const override;
  void Connect(const std::string& host, int32_t port) override;
  void Send(std::string_view text) override;
  void SendShared(const std::shared_ptr<const std::string>& text) override;
  std::string Receive() override;
  // Lends a chunk read while nothing else waited straight from the read
  // buffer, without copying it.
  std::string_view ReceiveView() override;
  void Close() override;
  const SocketProxy& Proxy() const override { return m_proxy; }
  void Proxy(const SocketProxy& proxy) override { m_proxy = proxy; }
  int32_t LingerSeconds() const override { return m_linger_seconds; }
  void LingerSeconds(int32_t seconds) override { m_linger_seconds = seconds; }
  bool NoDelay() const override { return m_no_delay; }
  void NoDelay(bool value) override;
  std::shared_ptr<Object> Session() const override { return m_session; }
  void Session(std::shared_ptr<Object> session) override {
    m_session = std::move(session);
  }
  void Advise(ISocketEvents* listener) override { m_events.Advise(listener); }
  void Unadvise(ISocketEvents* listener) override {
    m_events.Unadvise(listener);
  }

  // Why the last attempt or connection ended; empty after a clean close.
  const std::string& LastError() const { return m_last_error; }
  // Bytes accepted by Send and not yet handed to the operating system
  // (text still leaving after a Close is no longer counted).
  size_t UnsentBytes() const override;

 private:
  friend class AsioConnection;

  struct PendingEvent {
    bool is_state;
    SocketStateEnum state;
  };

  // Called by the connection on the host thread.
  void OnEstablished(const std::string& address, int32_t port,
                     std::string leftover);
  void OnData(const char* data, size_t size);
  void OnFailed(const std::string& reason);

  void Detach();
  void SetState(SocketStateEnum state);
  void Queue(PendingEvent event);
  void Drain();

  asio::io_context& m_io;
  std::shared_ptr<AsioTlsContext> m_tls;
  std::string m_server_name;
  std::shared_ptr<AsioConnection> m_connection;
  SocketStateEnum m_state = SocketClosed;
  std::string m_remote_address;
  int32_t m_remote_port = 0;
  std::string m_inbox;
  // The chunk being offered straight from the connection's read buffer
  // (older than anything in m_inbox); empty once read.
  std::string_view m_fresh;
  // The text of the last ReceiveView that was not lent from the buffer.
  std::string m_lent;
  std::string m_last_error;
  SocketProxy m_proxy;
  int32_t m_linger_seconds = 0;
  bool m_no_delay = false;
  std::shared_ptr<Object> m_session;
  EventSource<ISocketEvents> m_events;
  std::deque<PendingEvent> m_pending;
  bool m_raising = false;
  std::shared_ptr<bool> m_alive;
};

}  // namespace orvane

#endif  // ORVANE_ASIO_ASIO_SOCKET_H_
