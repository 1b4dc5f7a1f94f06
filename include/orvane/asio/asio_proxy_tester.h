#ifndef ORVANE_ASIO_ASIO_PROXY_TESTER_H_
#define ORVANE_ASIO_ASIO_PROXY_TESTER_H_

#include <cstdint>
#include <memory>
#include <string>

#include "orvane/connection/proxy_tester.h"
#include "orvane/core/object.h"

namespace asio {
class io_context;
}  // namespace asio

namespace orvane {

class AsioProxyProbe;

// The proxy tester on Asio: connects to the proxy and asks it for a tunnel
// to the target host with the same handshakes the Asio socket uses. The
// proxy works when the tunnel opens; the test then closes it. A proxy that
// does not finish within TimeoutMilliseconds() fails the test.
class AsioProxyTester : public IProxyTester, private NonCopyable {
 public:
  static constexpr const char* kDefaultTargetHost = "www.example.com";
  static constexpr int32_t kDefaultTargetPort = 80;

  explicit AsioProxyTester(asio::io_context& io);
  ~AsioProxyTester() override;

  int32_t TestProxyAsync(const std::string& address, int32_t port,
                         const std::string& user, const std::string& password,
                         ProxyTypeEnum type) override;
  int32_t TestResult(std::string& error_text) override;
  std::string LastError() const override { return m_last_error; }
  void Close() override;

  // The host the proxy is asked to reach (a well-known public web host by
  // default); takes effect at the next test.
  void Target(const std::string& host, int32_t port);
  const std::string& TargetHost() const { return m_target_host; }
  int32_t TargetPort() const { return m_target_port; }
  int32_t TimeoutMilliseconds() const { return m_timeout_ms; }
  void TimeoutMilliseconds(int32_t value) { m_timeout_ms = value; }

 private:
  asio::io_context& m_io;
  std::shared_ptr<AsioProxyProbe> m_probe;
  std::string m_last_error;
  std::string m_target_host = kDefaultTargetHost;
  int32_t m_target_port = kDefaultTargetPort;
  int32_t m_timeout_ms = 10000;
};

}  // namespace orvane

#endif  // ORVANE_ASIO_ASIO_PROXY_TESTER_H_
