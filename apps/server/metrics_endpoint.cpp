#include "metrics_endpoint.h"

#include <arpa/inet.h>

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <utility>

namespace orvane::apps {

namespace {

// How long text still unsent at the close keeps leaving (see ISocket).
constexpr int32_t kLingerSeconds = 5;
constexpr std::string_view kMetricsType = "text/plain; version=0.0.4; charset=utf-8";
constexpr std::string_view kTextType = "text/plain; charset=utf-8";

// RFC 9110 token characters, what a method is made of.
bool is_token_char(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool is_token(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), is_token_char);
}

bool is_visible(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c > ' ' && c < 0x7f; });
}

// "METHOD TARGET HTTP/1.x", single spaces; fills method and path. A target
// that is only a query or a fragment names no path and is malformed.
bool read_request_line(std::string_view line, HttpRequestHead& head) {
  const size_t first = line.find(' ');
  if (first == std::string_view::npos) return false;
  const size_t second = line.find(' ', first + 1);
  if (second == std::string_view::npos) return false;
  const std::string_view method = line.substr(0, first);
  const std::string_view target = line.substr(first + 1, second - first - 1);
  const std::string_view version = line.substr(second + 1);
  if (!is_token(method) || !is_visible(target)) return false;
  if (version.size() != 8 || !version.starts_with("HTTP/1.") || version[7] < '0' ||
      version[7] > '9') {
    return false;
  }
  const std::string_view path = target.substr(0, target.find_first_of("?#"));
  if (path.empty()) return false;
  head.method = method;
  head.path = path;
  return true;
}

// The offset just past the empty line that ends the head, or npos.
size_t head_end(std::string_view text) {
  size_t line_start = 0;
  for (size_t newline = text.find('\n'); newline != std::string_view::npos;
       newline = text.find('\n', line_start)) {
    const size_t length = newline - line_start;
    if (length == 0 || (length == 1 && text[line_start] == '\r')) return newline + 1;
    line_start = newline + 1;
  }
  return std::string_view::npos;
}

bool is_loopback(const std::string& address) {
  unsigned char bytes[16];
  if (inet_pton(AF_INET, address.c_str(), bytes) == 1) return bytes[0] == 127;
  if (inet_pton(AF_INET6, address.c_str(), bytes) == 1) {
    return std::all_of(bytes, bytes + 15, [](unsigned char b) { return b == 0; }) &&
           bytes[15] == 1;
  }
  return false;
}

std::string response(std::string_view status, std::string_view content_type,
                     std::string_view body, bool with_body, bool allow = false) {
  std::string text = "HTTP/1.1 ";
  text += status;
  text += "\r\nContent-Type: ";
  text += content_type;
  text += "\r\nContent-Length: " + std::to_string(body.size());
  text += "\r\nConnection: close\r\n";
  if (allow) text += "Allow: GET, HEAD\r\n";
  text += "\r\n";
  if (with_body) text += body;
  return text;
}

}  // namespace

HttpRequestHead parse_http_request(std::string_view received) {
  HttpRequestHead head;
  const size_t line_end = received.find('\n');
  if (line_end == std::string_view::npos) {
    // What comes before the first space must be a method: a TLS hello or
    // other binary is refused at once instead of waiting for a line end.
    const std::string_view method_so_far = received.substr(0, received.find(' '));
    if (!std::all_of(method_so_far.begin(), method_so_far.end(), is_token_char)) {
      head.outcome = HttpRequestHead::kMalformed;
    } else if (received.size() >= HttpRequestHead::kMaxHeadBytes) {
      head.outcome = HttpRequestHead::kTooLarge;
    }
    return head;
  }
  std::string_view line = received.substr(0, line_end);
  if (line.ends_with('\r')) line.remove_suffix(1);
  if (!read_request_line(line, head)) {
    head = HttpRequestHead{};
    head.outcome = HttpRequestHead::kMalformed;
    return head;
  }
  const size_t end = head_end(received);
  if (end == std::string_view::npos && received.size() < HttpRequestHead::kMaxHeadBytes) {
    head.outcome = HttpRequestHead::kIncomplete;
  } else if (end == std::string_view::npos || end > HttpRequestHead::kMaxHeadBytes) {
    head.outcome = HttpRequestHead::kTooLarge;
  } else {
    head.outcome = HttpRequestHead::kComplete;
  }
  if (head.outcome != HttpRequestHead::kComplete) head.method = head.path = {};
  return head;
}

// ---- one connection ----

class MetricsEndpoint::Connection : public ISocketEvents {
 public:
  Connection(MetricsEndpoint& owner, std::shared_ptr<ISocket> socket,
             std::shared_ptr<ITimer> deadline)
      : m_owner(owner), m_socket(std::move(socket)), m_deadline(std::move(deadline)) {}

  ~Connection() override {
    m_deadline->OnTick(nullptr);
    m_deadline->Enabled(false);
    m_socket->Unadvise(this);
    if (m_socket->State() != SocketClosed) m_socket->Close();
  }

  void start() {
    m_socket->LingerSeconds(kLingerSeconds);
    m_socket->Advise(this);
    if (m_socket->State() != SocketConnected) return close();
    m_deadline->Interval(kRequestTimeoutMs);
    m_deadline->OnTick([this] { close(); });
    m_deadline->Enabled(true);
    Receive(*m_socket);
  }

  void close() {
    if (m_closed) return;
    m_closed = true;
    m_deadline->Enabled(false);
    std::string().swap(m_received);
    m_socket->Close();
    m_owner.closed(*this);
  }

 private:
  void Receive(ISocket& socket) override {
    const std::string_view chunk = socket.ReceiveView();
    if (m_closed) return;
    m_received.append(chunk);
    const HttpRequestHead head = parse_http_request(m_received);
    switch (head.outcome) {
      case HttpRequestHead::kIncomplete:
        return;
      case HttpRequestHead::kComplete:
        return reply(m_owner.answer(head));
      case HttpRequestHead::kMalformed:
        return reply(response("400 Bad Request", kTextType, "bad request\n", true));
      case HttpRequestHead::kTooLarge:
        return reply(response("431 Request Header Fields Too Large", kTextType,
                              "request head over 8 KiB\n", true));
    }
  }

  void State(ISocket& /*socket*/, SocketStateEnum state) override {
    if (state == SocketClosed) close();
  }

  // Sends the one answer of this connection and closes it; the socket lets
  // the text leave before the connection goes.
  void reply(const std::string& response) {
    try {
      m_socket->Send(response);
    } catch (const std::exception&) {
      // The peer went while we answered; there is nobody to tell.
    }
    close();
  }

  MetricsEndpoint& m_owner;
  std::shared_ptr<ISocket> m_socket;
  std::shared_ptr<ITimer> m_deadline;
  std::string m_received;
  bool m_closed = false;
};

// ---- the endpoint ----

MetricsEndpoint::MetricsEndpoint(std::shared_ptr<IAcceptor> acceptor,
                                 std::shared_ptr<ITimerFactory> timers,
                                 std::function<std::string()> metrics,
                                 std::function<bool()> healthy)
    : m_acceptor(std::move(acceptor)),
      m_timers(std::move(timers)),
      m_metrics(std::move(metrics)),
      m_healthy(std::move(healthy)) {
  if (!m_acceptor || !m_timers || !m_metrics || !m_healthy) {
    throw std::invalid_argument(
        "the metrics endpoint needs an acceptor, a timer factory, the metrics and the health");
  }
  m_acceptor->Advise(static_cast<IAcceptorEvents*>(this));
}

MetricsEndpoint::~MetricsEndpoint() {
  m_acceptor->Unadvise(static_cast<IAcceptorEvents*>(this));
  close();
}

int32_t MetricsEndpoint::listen(const std::string& address, int32_t port) {
  if (!is_loopback(address)) {
    throw std::invalid_argument("the metrics endpoint listens on a loopback address only "
                                "(127.0.0.0/8 or ::1, numeric), not on '" + address + "'");
  }
  return m_acceptor->Listen(address, port);
}

void MetricsEndpoint::close() {
  m_acceptor->Close();
  std::vector<Connection*> open;
  for (auto& [raw, connection] : m_open) open.push_back(raw);
  for (Connection* connection : open) connection->close();
  m_closed.clear();
}

bool MetricsEndpoint::Admit(const std::string& /*address*/) {
  return m_open.size() + m_acceptor->Pending() < kMaxConnections;
}

void MetricsEndpoint::Accepted(const std::shared_ptr<ISocket>& child) {
  m_closed.clear();
  if (m_open.size() >= kMaxConnections) {
    child->Close();
    return;
  }
  auto connection = std::make_unique<Connection>(*this, child, m_timers->CreateTimer());
  Connection& started = *connection;
  m_open.emplace(&started, std::move(connection));
  started.start();
}

void MetricsEndpoint::closed(Connection& connection) {
  auto it = m_open.find(&connection);
  if (it == m_open.end()) return;
  m_closed.push_back(std::move(it->second));
  m_open.erase(it);
}

std::string MetricsEndpoint::answer(const HttpRequestHead& head) const {
  const bool is_metrics = head.path == "/metrics";
  const bool is_health = head.path == "/health";
  const bool with_body = head.method != "HEAD";
  if (!is_metrics && !is_health) {
    return response("404 Not Found", kTextType, "not found\n", with_body);
  }
  if (head.method != "GET" && head.method != "HEAD") {
    return response("405 Method Not Allowed", kTextType, "method not allowed\n", true, true);
  }
  try {
    if (is_metrics) return response("200 OK", kMetricsType, m_metrics(), with_body);
    if (m_healthy()) return response("200 OK", kTextType, "ok\n", with_body);
    return response("503 Service Unavailable", kTextType, "stopping\n", with_body);
  } catch (const std::exception& e) {
    return response("500 Internal Server Error", kTextType, std::string(e.what()) + "\n",
                    with_body);
  }
}

}  // namespace orvane::apps
