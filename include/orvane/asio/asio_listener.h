#ifndef ORVANE_ASIO_ASIO_LISTENER_H_
#define ORVANE_ASIO_ASIO_LISTENER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "orvane/core/event_source.h"
#include "orvane/core/object.h"
#include "orvane/io/acceptor.h"
#include "orvane/io/socket.h"
#include "orvane/io/tls_options.h"

namespace asio {
class io_context;
}  // namespace asio

namespace orvane {

class AsioAcceptor;
class AsioTlsContext;

// The events of an AsioListener: those of every acceptor.
using AsioListenerEvents = IAcceptorEvents;

// Accepts TCP connections for a host on an Asio io_context the host runs on
// its thread. The library itself never listens; hosts (the trading server,
// tests, tools) do, through this class. Every connection is first admitted
// (IAcceptorEvents::Admit). With TLS on, it must then complete the TLS
// handshake before it is offered; one that fails it, or has not finished it
// within TlsOptions::handshake_timeout_ms, is dropped (IAcceptorEvents::
// Dropped says why). The listener holds one descriptor in reserve: when the
// process runs out, it frees it to take the waiting connection, closes that
// at once and reports it dropped, so that the backlog never stalls
// silently. The io_context must outlive the listener and the sockets it
// hands out.
class AsioListener : public IAcceptor, private NonCopyable {
 public:
  // Throws orvane::Error(FileError) when TLS is on and the certificate or
  // key cannot be loaded.
  explicit AsioListener(asio::io_context& io, const TlsOptions& tls = {});
  ~AsioListener() override;

  // Binds address:port (port 0 picks a free one) and starts accepting.
  // Returns the bound port. Throws orvane::Error(InvalidArgument) when the
  // address is not a numeric IP address or cannot be bound; a listener
  // already listening is closed first.
  int32_t Listen(const std::string& address, int32_t port) override;
  // Stops accepting; connections already handed out stay open.
  void Close() override;
  // Whether it is accepting connections.
  bool IsListening() const override;
  // The bound port; 0 when not listening.
  int32_t LocalPort() const override { return m_local_port; }
  // Connections admitted whose TLS handshake has not finished.
  size_t Pending() const override;

  // Subscribes a listener (not owned). A handler class is checked at
  // compile time: none of its functions may hide one of the events.
  template <std::derived_from<IAcceptorEvents> Handler>
  void Advise(Handler* listener) {
    IAcceptorEvents::CheckHandler<Handler>();
    Advise(static_cast<IAcceptorEvents*>(listener));
  }
  // The same for a listener given as the interface; nothing to check.
  void Advise(IAcceptorEvents* listener) override { m_events.Advise(listener); }
  // Ends a subscription; a listener not subscribed is ignored.
  void Unadvise(IAcceptorEvents* listener) override {
    m_events.Unadvise(listener);
  }

 private:
  friend class AsioAcceptor;
  void OnAccepted(const std::shared_ptr<ISocket>& child);
  bool OnAdmit(const std::string& address);
  void OnDropped(const std::string& address, const std::string& why);

  asio::io_context& m_io;
  std::shared_ptr<AsioTlsContext> m_tls;
  std::shared_ptr<AsioAcceptor> m_acceptor;
  int32_t m_local_port = 0;
  EventSource<IAcceptorEvents> m_events;
};

}  // namespace orvane

#endif  // ORVANE_ASIO_ASIO_LISTENER_H_
