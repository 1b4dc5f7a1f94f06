#ifndef ORVANE_CONNECTION_TCP_CLIENT_ENVIRONMENT_H_
#define ORVANE_CONNECTION_TCP_CLIENT_ENVIRONMENT_H_

#include <memory>

#include "orvane/connection/proxy_tester.h"
#include "orvane/io/socket.h"
#include "orvane/io/timer.h"
#include "orvane/io/tls_options.h"

namespace asio {
class io_context;
}  // namespace asio

namespace orvane {

// What a TCP client runs on: its socket, a maker of its four timers, and
// the proxy tester (none means that proxy testing is not available, the
// client then skips the steps that close through it).
struct TcpClientEnvironment {
  std::shared_ptr<ISocket> socket;
  std::shared_ptr<ITimerFactory> timers;
  std::shared_ptr<IProxyTester> proxy_tester;
};

// The real environment on an io_context the host runs on its thread: an
// AsioSocket (TLS as given; plain TCP by default), Asio timers and the Asio
// proxy tester. Throws orvane::Error(FileError) when TLS is on and its CA
// file cannot be loaded. Defined by the Asio adapters (orvane::asio).
TcpClientEnvironment AsioTcpClientEnvironment(asio::io_context& io,
                                              const TlsOptions& tls = {});

}  // namespace orvane

#endif  // ORVANE_CONNECTION_TCP_CLIENT_ENVIRONMENT_H_
