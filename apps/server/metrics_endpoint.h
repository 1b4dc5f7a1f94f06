#ifndef ORVANE_APPS_SERVER_METRICS_ENDPOINT_H_
#define ORVANE_APPS_SERVER_METRICS_ENDPOINT_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "orvane/io/acceptor.h"
#include "orvane/io/socket.h"
#include "orvane/io/timer.h"

namespace orvane::apps {

// What the head of an HTTP/1.x request says, read from the text received so
// far on a connection. The head ends at the first empty line ("\r\n\r\n",
// or bare "\n\n"); it may take at most kMaxHeadBytes, terminator included.
struct HttpRequestHead {
  static constexpr size_t kMaxHeadBytes = 8192;

  enum Outcome {
    kIncomplete,  // more text is needed
    kComplete,    // method and path are set
    kMalformed,   // the request line is not "METHOD TARGET HTTP/1.x"
    kTooLarge,    // no end of the head within kMaxHeadBytes
  };
  Outcome outcome = kIncomplete;
  std::string_view method;  // views into the text given to parse_http_request
  std::string_view path;    // the target without its query ("?...") or fragment
};

// Reads a request head from any bytes; never throws. A request line that is
// complete and malformed is reported as soon as it has arrived, before the
// rest of the head. Header fields are not interpreted.
HttpRequestHead parse_http_request(std::string_view received);

// The server's operator endpoint: a small HTTP/1.1 server, on loopback only,
// answering one request per connection and then closing it.
//
//   GET /metrics  200, Prometheus text (Content-Type text/plain;
//                 version=0.0.4; charset=utf-8), from `metrics`
//   GET /health   200 "ok\n" while `healthy` says so, else 503 "stopping\n"
//   HEAD of either: the same headers, no body. Queries are ignored.
//   Another path 404; another method on these paths 405 (Allow: GET, HEAD);
//   a request line that is not HTTP 400; a head over 8 KiB 431.
//
// Every answer carries Content-Length and Connection: close. A connection
// with no complete request head within kRequestTimeoutMs is closed without
// an answer; beyond kMaxConnections at once a new one is closed at once.
// Runs on the host's thread, on any acceptor and timer factory.
class MetricsEndpoint : private IAcceptorEvents {
 public:
  static constexpr size_t kMaxConnections = 16;
  static constexpr int32_t kRequestTimeoutMs = 5000;

  // Not listening yet. Throws std::invalid_argument when any argument is
  // missing.
  MetricsEndpoint(std::shared_ptr<IAcceptor> acceptor, std::shared_ptr<ITimerFactory> timers,
                  std::function<std::string()> metrics, std::function<bool()> healthy);
  // Stops listening and closes every connection.
  ~MetricsEndpoint() override;
  MetricsEndpoint(const MetricsEndpoint&) = delete;
  MetricsEndpoint& operator=(const MetricsEndpoint&) = delete;

  // Listens on address:port (0: a free port) and returns the port taken.
  // Throws std::invalid_argument, without listening, when the address is not
  // a numeric loopback address (127.0.0.0/8 or ::1): metrics are never served
  // to the network. What the acceptor's own Listen throws passes through.
  int32_t listen(const std::string& address, int32_t port);
  // Stops listening and closes every connection; Listen may follow.
  void close();

  // Connections open now.
  size_t connections() const { return m_open.size(); }

 private:
  class Connection;

  // IAcceptorEvents
  bool Admit(const std::string& address) override;
  void Accepted(const std::shared_ptr<ISocket>& child) override;

  // Builds the answer to a complete request head.
  std::string answer(const HttpRequestHead& head) const;
  // Called by a connection that has closed; it is let go on a later turn.
  void closed(Connection& connection);

  std::shared_ptr<IAcceptor> m_acceptor;
  std::shared_ptr<ITimerFactory> m_timers;
  std::function<std::string()> m_metrics;
  std::function<bool()> m_healthy;
  std::unordered_map<Connection*, std::unique_ptr<Connection>> m_open;
  // Connections closed inside their own handlers, let go at the next accept.
  std::vector<std::unique_ptr<Connection>> m_closed;
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_SERVER_METRICS_ENDPOINT_H_
