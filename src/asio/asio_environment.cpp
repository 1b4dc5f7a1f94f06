// The Asio environment of a TCP client, and the clients' constructors that
// build on it. They live with the adapters so that a host handing its clients
// an environment of its own links neither Asio nor OpenSSL.
#include "orvane/asio/asio_proxy_tester.h"
#include "orvane/asio/asio_socket.h"
#include "orvane/asio/asio_timer.h"
#include "orvane/connection/h_client.h"
#include "orvane/connection/tcp_client.h"
#include "orvane/connection/tcp_client_environment.h"

namespace orvane {

TcpClientEnvironment AsioTcpClientEnvironment(asio::io_context& io,
                                              const TlsOptions& tls) {
  TcpClientEnvironment environment;
  environment.socket = std::make_shared<AsioSocket>(io, tls);
  environment.timers = std::make_shared<AsioTimerFactory>(io);
  environment.proxy_tester = std::make_shared<AsioProxyTester>(io);
  return environment;
}

CTcpClient::CTcpClient(asio::io_context& io, const TlsOptions& tls)
    : CTcpClient(AsioTcpClientEnvironment(io, tls)) {}

CHClient::CHClient(asio::io_context& io, const TlsOptions& tls)
    : CHClient(AsioTcpClientEnvironment(io, tls)) {}

}  // namespace orvane
