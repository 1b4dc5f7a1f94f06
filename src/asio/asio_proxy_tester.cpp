#include "orvane/asio/asio_proxy_tester.h"

#include <chrono>
#include <utility>

#include "asio_connection.h"

namespace orvane {

using asio::ip::tcp;

// One running test: a socket, its resolver and a deadline.
class AsioProxyProbe : public std::enable_shared_from_this<AsioProxyProbe> {
 public:
  explicit AsioProxyProbe(asio::io_context& io)
      : m_resolver(io), m_socket(io), m_deadline(io) {}

  void Start(const SocketProxy& proxy, const std::string& host, uint16_t port,
             int32_t timeout_ms) {
    auto self = shared_from_this();
    m_deadline.expires_after(std::chrono::milliseconds(timeout_ms));
    m_deadline.async_wait([self, timeout_ms](std::error_code ec) {
      if (ec) return;
      self->Finish("no answer from the proxy within " +
                   std::to_string(timeout_ms) + " ms");
    });
    ConnectThrough(m_resolver, m_socket, proxy, host, port, true,
                   [self](const std::string& error, std::string) {
                     self->Finish(error);
                   });
  }

  void Finish(const std::string& error) {
    if (m_done) return;
    m_done = true;
    m_error = error;
    Stop();
  }

  void Stop() {
    m_resolver.cancel();
    m_deadline.cancel();
    std::error_code ignored;
    m_socket.close(ignored);
  }

  bool Done() const { return m_done; }
  const std::string& ErrorText() const { return m_error; }

 private:
  tcp::resolver m_resolver;
  tcp::socket m_socket;
  asio::steady_timer m_deadline;
  bool m_done = false;
  std::string m_error;
};

AsioProxyTester::AsioProxyTester(asio::io_context& io) : m_io(io) {}

AsioProxyTester::~AsioProxyTester() { Close(); }

int32_t AsioProxyTester::TestProxyAsync(const std::string& address,
                                        int32_t port, const std::string& user,
                                        const std::string& password,
                                        ProxyTypeEnum type) {
  Close();
  if (type != HTTPProxy && type != Socks4Proxy && type != Socks5Proxy) {
    m_last_error = "unknown proxy type " + std::to_string(int32_t(type));
    return 1;
  }
  if (address.empty() || port < 1 || port > 65535) {
    m_last_error = "the proxy needs a host and a port in 1..65535";
    return 1;
  }
  if (m_target_host.empty() || m_target_port < 1 || m_target_port > 65535) {
    m_last_error = "no valid test target";
    return 1;
  }
  SocketProxy proxy;
  proxy.kind = SocketProxyKindEnum(int32_t(type));
  proxy.host = address;
  proxy.port = port;
  proxy.user = user;
  proxy.password = password;
  m_last_error.clear();
  m_probe = std::make_shared<AsioProxyProbe>(m_io);
  m_probe->Start(proxy, m_target_host, uint16_t(m_target_port),
                 m_timeout_ms < 1 ? 1 : m_timeout_ms);
  return 0;
}

int32_t AsioProxyTester::TestResult(std::string& error_text) {
  if (!m_probe || !m_probe->Done()) return -1;
  if (m_probe->ErrorText().empty()) return 0;
  m_last_error = m_probe->ErrorText();
  error_text = m_last_error;
  return 1;
}

void AsioProxyTester::Close() {
  if (m_probe) m_probe->Stop();
}

void AsioProxyTester::Target(const std::string& host, int32_t port) {
  m_target_host = host;
  m_target_port = port;
}

}  // namespace orvane
