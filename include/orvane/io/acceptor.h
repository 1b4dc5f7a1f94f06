#ifndef ORVANE_IO_ACCEPTOR_H_
#define ORVANE_IO_ACCEPTOR_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "orvane/core/handler_check.h"
#include "orvane/core/object.h"
#include "orvane/io/socket.h"

namespace orvane {

// What an acceptor tells its host.
class IAcceptorEvents {
 public:
  virtual ~IAcceptorEvents() = default;
  // A new connection, already connected. The host keeps `child` for as long
  // as it wants the connection and advises its own listener on it before
  // returning; data that arrives earlier waits in the socket. The handler
  // must not destroy the acceptor.
  virtual void Accepted(const std::shared_ptr<ISocket>& child) { (void)child; }
  // A connection from `address` was taken from the operating system and is
  // about to be set up (its TLS handshake, if any); from now until it is
  // offered by Accepted, or dropped, it counts in the acceptor's Pending().
  // When any listener answers false the connection is closed at once and
  // never offered. The handler must not destroy the acceptor.
  virtual bool Admit(const std::string& address) {
    (void)address;
    return true;
  }
  // A connection taken from the operating system was dropped without being
  // offered: its TLS handshake failed or did not finish in time, or the
  // process had no descriptor left for it (it was taken on a reserve
  // descriptor and closed at once, so that the backlog keeps moving).
  // `address` is empty when it could not be read; `why` says what happened.
  virtual void Dropped(const std::string& address, const std::string& why) {
    (void)address;
    (void)why;
  }

  // Fails to compile when Handler hides one of these events behind a
  // function of other parameters (see orvane/core/handler_check.h).
  template <typename Handler>
  static constexpr void CheckHandler() {
    ORVANE_CHECK_EVENT(IAcceptorEvents, Handler, Accepted);
    ORVANE_CHECK_EVENT(IAcceptorEvents, Handler, Admit);
    ORVANE_CHECK_EVENT(IAcceptorEvents, Handler, Dropped);
  }
};

// Accepts connections for a host (the trading server, a tool, a test). The
// library itself never listens; a host that takes its acceptor as an
// IAcceptor runs on real TCP (AsioListener) or in memory (MemoryAcceptor)
// alike. Events arrive on the host's thread.
class IAcceptor : public Object {
 public:
  // Starts accepting on address:port (port 0 picks a free one) and returns
  // the port taken. Throws orvane::Error(InvalidArgument) when the address
  // is not one to listen on or the port cannot be had; an acceptor already
  // listening is closed first.
  virtual int32_t Listen(const std::string& address, int32_t port) = 0;
  // Stops accepting; connections already handed out stay open. Closing a
  // closed acceptor does nothing.
  virtual void Close() = 0;
  // Whether it is accepting connections.
  virtual bool IsListening() const = 0;
  // The port it listens on; 0 when not listening.
  virtual int32_t LocalPort() const = 0;
  // Connections admitted and not yet offered or dropped (those in their TLS
  // handshake); 0 for an acceptor that offers every connection at once.
  virtual size_t Pending() const { return 0; }

  // Subscribes a listener (not owned; it must outlive its subscription).
  virtual void Advise(IAcceptorEvents* listener) = 0;
  // Ends a subscription; a listener not subscribed is ignored.
  virtual void Unadvise(IAcceptorEvents* listener) = 0;
};

}  // namespace orvane

#endif  // ORVANE_IO_ACCEPTOR_H_
