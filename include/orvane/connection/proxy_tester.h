#ifndef ORVANE_CONNECTION_PROXY_TESTER_H_
#define ORVANE_CONNECTION_PROXY_TESTER_H_

#include <cstdint>
#include <string>

#include "orvane/connection/tcp_client_enums.h"

namespace orvane {

// Tests proxy settings asynchronously: can this proxy open a tunnel to a
// target host? The TCP client starts a test and polls its result.
class IProxyTester {
 public:
  virtual ~IProxyTester() = default;

  // Starts a test (a test still running is abandoned). Returns 0 when the
  // test started; any other value means it could not start, and LastError()
  // says why.
  virtual int32_t TestProxyAsync(const std::string& address, int32_t port,
                                 const std::string& user,
                                 const std::string& password,
                                 ProxyTypeEnum type) = 0;
  // -1 while the test runs (and when none was started), 0 when the proxy
  // opened the tunnel, 1 when it did not; then `error_text` receives the
  // reason (it is left alone otherwise).
  virtual int32_t TestResult(std::string& error_text) = 0;
  // Why the last test could not start or failed; empty while none did.
  virtual std::string LastError() const = 0;
  // Abandons a running test.
  virtual void Close() = 0;
};

}  // namespace orvane

#endif  // ORVANE_CONNECTION_PROXY_TESTER_H_
