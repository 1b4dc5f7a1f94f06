#include "orvane/connection/tcp_client_environment.h"

#include "orvane/connection/asio_proxy_tester.h"
#include "orvane/connection/asio_socket.h"
#include "orvane/connection/asio_timer.h"

namespace orvane {

TcpClientEnvironment AsioTcpClientEnvironment(asio::io_context& io,
                                              const TlsOptions& tls) {
  TcpClientEnvironment environment;
  environment.socket = std::make_shared<AsioSocket>(io, tls);
  environment.timers = std::make_shared<AsioTimerFactory>(io);
  environment.proxy_tester = std::make_shared<AsioProxyTester>(io);
  return environment;
}

}  // namespace orvane
