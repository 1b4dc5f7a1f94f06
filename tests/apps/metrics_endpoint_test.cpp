// The metrics endpoint on an in-memory network and virtual time: the request
// head parser on a table of inputs, the answers and their exact headers,
// requests in pieces, and the bounds (head size, time, connections, loopback
// only).

#include "metrics_endpoint.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "metrics.h"
#include "orvane/testing/memory_acceptor.h"
#include "orvane/testing/memory_network.h"
#include "orvane/testing/memory_socket.h"
#include "orvane/testing/virtual_timer.h"

namespace orvane::apps {
namespace {

TEST(MetricsEndpointTest, ParsesRequestHeadsFromAnyBytes) {
  using H = HttpRequestHead;
  const auto head_of = [](size_t size) {
    return "GET / HTTP/1.1\r\nX: " + std::string(size - 23, 'a') + "\r\n\r\n";
  };
  ASSERT_EQ(head_of(H::kMaxHeadBytes).size(), H::kMaxHeadBytes);
  struct Case {
    std::string text;
    H::Outcome outcome;
    std::string method, path;
  };
  const std::vector<Case> cases = {
      {"", H::kIncomplete, "", ""},
      {"GET /metrics HTTP/1.1\r\n", H::kIncomplete, "", ""},
      {"GET /metrics HTTP/1.1\r\nHost: a\r\n\r", H::kIncomplete, "", ""},
      {"GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n", H::kComplete, "GET", "/metrics"},
      {"HEAD /health?verbose=1#x HTTP/1.0\n\n", H::kComplete, "HEAD", "/health"},
      {"GET /metrics HTTP/1.1\nHost: a\r\n\r\nbody", H::kComplete, "GET", "/metrics"},
      {"DELETE /x HTTP/1.1\r\n\r\n", H::kComplete, "DELETE", "/x"},
      {head_of(H::kMaxHeadBytes), H::kComplete, "GET", "/"},
      {head_of(H::kMaxHeadBytes + 1), H::kTooLarge, "", ""},
      {"GET / HTTP/1.1\r\n" + std::string(H::kMaxHeadBytes, 'a'), H::kTooLarge, "", ""},
      {std::string(H::kMaxHeadBytes, 'G'), H::kTooLarge, "", ""},
      {"\x16\x03\x01\x02", H::kMalformed, "", ""},  // a TLS hello, before any line end
      {"hello\r\n\r\n", H::kMalformed, "", ""},
      {"\r\n\r\n", H::kMalformed, "", ""},
      {"GET /metrics\r\n\r\n", H::kMalformed, "", ""},
      {"GET /metrics HTTP/2.0\r\n\r\n", H::kMalformed, "", ""},
      {"GET /metrics HTTP/1.1 \r\n\r\n", H::kMalformed, "", ""},
      {"GET  /metrics HTTP/1.1\r\n\r\n", H::kMalformed, "", ""},
      {"GET /me\x01trics HTTP/1.1\r\n", H::kMalformed, "", ""},
      {std::string("G\0T / HTTP/1.1\r\n\r\n", 18), H::kMalformed, "", ""},
  };
  for (const Case& c : cases) {
    const H head = parse_http_request(c.text);
    EXPECT_EQ(head.outcome, c.outcome) << c.text.substr(0, 40);
    EXPECT_EQ(head.method, c.method) << c.text.substr(0, 40);
    EXPECT_EQ(head.path, c.path) << c.text.substr(0, 40);
  }
}

// A memory acceptor that reports connections still in their TLS handshake.
class HandshakingAcceptor : public MemoryAcceptor {
 public:
  using MemoryAcceptor::MemoryAcceptor;
  size_t Pending() const override { return pending; }
  size_t pending = 0;
};

// Keeps the server's end of every connection, as the endpoint was given it.
struct ServerEnds : IAcceptorEvents {
  void Accepted(const std::shared_ptr<ISocket>& child) override { sockets.push_back(child); }
  std::vector<std::shared_ptr<ISocket>> sockets;
};

class MetricsEndpointServerTest : public ::testing::Test {
 protected:
  MetricsEndpointServerTest() {
    m_scrapes = &m_metrics.add_counter("scrapes_total", "Scrapes.");
    m_endpoint = std::make_unique<MetricsEndpoint>(
        m_acceptor, m_time, [this] { return m_metrics.render(); }, [this] { return m_healthy; });
    m_acceptor->Advise(&m_server_ends);
    m_port = m_endpoint->listen("127.0.0.1", 0);
  }
  ~MetricsEndpointServerTest() override { m_acceptor->Unadvise(&m_server_ends); }

  std::shared_ptr<MemorySocket> Connect() {
    auto socket = m_network->CreateSocket();
    socket->Connect("127.0.0.1", m_port);
    m_time->RunUntilIdle();
    return socket;
  }

  // What the endpoint answered to `pieces`, sent one after the other.
  std::string Ask(const std::vector<std::string>& pieces) {
    auto socket = Connect();
    EXPECT_EQ(socket->State(), SocketConnected);
    for (const std::string& piece : pieces) {
      socket->Send(piece);
      m_time->RunUntilIdle();
    }
    EXPECT_EQ(socket->State(), SocketClosed) << "the connection stays open after the answer";
    return socket->Receive();
  }
  std::string Ask(const std::string& request) { return Ask(std::vector<std::string>{request}); }

  static std::string StatusLine(const std::string& answer) {
    return answer.substr(0, answer.find("\r\n"));
  }

  Metrics m_metrics;
  Counter* m_scrapes = nullptr;
  bool m_healthy = true;
  std::shared_ptr<VirtualTimeScheduler> m_time = std::make_shared<VirtualTimeScheduler>();
  std::shared_ptr<MemoryNetwork> m_network = MemoryNetwork::Create(m_time);  // deferred, as TCP
  std::shared_ptr<HandshakingAcceptor> m_acceptor =
      std::make_shared<HandshakingAcceptor>(m_network);
  ServerEnds m_server_ends;
  std::unique_ptr<MetricsEndpoint> m_endpoint;
  int32_t m_port = 0;
};

TEST_F(MetricsEndpointServerTest, ScrapeAnswersTheCurrentMetricsThenCloses) {
  const std::string body1 =
      "# HELP scrapes_total Scrapes.\n# TYPE scrapes_total counter\nscrapes_total 0\n";
  EXPECT_EQ(Ask("GET /metrics HTTP/1.1\r\nHost: localhost\r\n\r\n"),
            "HTTP/1.1 200 OK\r\n"
            "Content-Type: text/plain; version=0.0.4; charset=utf-8\r\n"
            "Content-Length: " + std::to_string(body1.size()) + "\r\n"
            "Connection: close\r\n"
            "\r\n" + body1);
  m_scrapes->add(12);
  const std::string second = Ask("GET /metrics?x=1 HTTP/1.0\r\n\r\n");
  EXPECT_EQ(StatusLine(second), "HTTP/1.1 200 OK");
  EXPECT_TRUE(second.ends_with("\r\n\r\n# HELP scrapes_total Scrapes.\n"
                               "# TYPE scrapes_total counter\nscrapes_total 12\n"));
  // HEAD: the same headers, with the length of the body it leaves out.
  const std::string head = Ask("HEAD /metrics HTTP/1.1\r\n\r\n");
  EXPECT_NE(head.find("Content-Length: " + std::to_string(body1.size() + 1) + "\r\n"),
            std::string::npos);
  EXPECT_TRUE(head.ends_with("Connection: close\r\n\r\n"));
  EXPECT_EQ(m_endpoint->connections(), 0u);
  // On TCP, what is still unsent at the close leaves only within the linger.
  ASSERT_EQ(m_server_ends.sockets.size(), 3u);
  for (const auto& socket : m_server_ends.sockets) EXPECT_GT(socket->LingerSeconds(), 0);
}

TEST_F(MetricsEndpointServerTest, HealthFollowsTheServer) {
  EXPECT_EQ(Ask("GET /health HTTP/1.1\r\n\r\n"),
            "HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\n"
            "Content-Length: 3\r\nConnection: close\r\n\r\nok\n");
  m_healthy = false;
  const std::string stopping = Ask("GET /health HTTP/1.1\n\n");
  EXPECT_EQ(StatusLine(stopping), "HTTP/1.1 503 Service Unavailable");
  EXPECT_TRUE(stopping.ends_with("Content-Length: 9\r\nConnection: close\r\n\r\nstopping\n"));
  EXPECT_TRUE(Ask("HEAD /health HTTP/1.1\r\n\r\n").ends_with("\r\n\r\n"));
}

TEST_F(MetricsEndpointServerTest, AnswersWhatItDoesNotServe) {
  EXPECT_EQ(StatusLine(Ask("GET /metricsx HTTP/1.1\r\n\r\n")), "HTTP/1.1 404 Not Found");
  EXPECT_EQ(StatusLine(Ask("GET / HTTP/1.1\r\n\r\n")), "HTTP/1.1 404 Not Found");
  const std::string post = Ask("POST /metrics HTTP/1.1\r\nContent-Length: 0\r\n\r\n");
  EXPECT_EQ(StatusLine(post), "HTTP/1.1 405 Method Not Allowed");
  EXPECT_NE(post.find("\r\nAllow: GET, HEAD\r\n"), std::string::npos);
  EXPECT_EQ(StatusLine(Ask("SSH-2.0-OpenSSH_9.2\r\n")), "HTTP/1.1 400 Bad Request");
  EXPECT_EQ(StatusLine(Ask({"GET /metrics HTTP/1.1\r\nX: ", std::string(9000, 'x')})),
            "HTTP/1.1 431 Request Header Fields Too Large");
  for (const std::string& answer : {Ask("GET /nope HTTP/1.1\r\n\r\n"),
                                   Ask("bad\r\n\r\n")}) {
    const size_t length = std::stoul(answer.substr(answer.find("Content-Length: ") + 16));
    EXPECT_EQ(answer.size() - answer.find("\r\n\r\n") - 4, length) << answer;
  }
}

TEST_F(MetricsEndpointServerTest, MetricsThatCannotBeReadAreAServerError) {
  m_metrics.add_gauge("broken", "", []() -> double { throw std::runtime_error("no store"); });
  const std::string answer = Ask("GET /metrics HTTP/1.1\r\n\r\n");
  EXPECT_EQ(StatusLine(answer), "HTTP/1.1 500 Internal Server Error");
  EXPECT_TRUE(answer.ends_with("\r\n\r\nno store\n"));
}

TEST_F(MetricsEndpointServerTest, WaitsForARequestInPieces) {
  auto socket = Connect();
  for (const char* piece : {"GE", "T /hea", "lth HTTP/1.1\r\nHost: a\r", "\n\r"}) {
    socket->Send(piece);
    m_time->RunUntilIdle();
    ASSERT_EQ(socket->State(), SocketConnected) << "answered before the head ended";
    EXPECT_EQ(socket->Receive(), "");
  }
  socket->Send("\n");
  m_time->RunUntilIdle();
  EXPECT_EQ(socket->State(), SocketClosed);
  EXPECT_TRUE(socket->Receive().ends_with("\r\n\r\nok\n"));
}

TEST_F(MetricsEndpointServerTest, ClosesAConnectionWithoutARequestAfterFiveSeconds) {
  auto silent = Connect();
  auto partial = Connect();
  partial->Send("GET /metrics HTTP/1.1\r\n");
  m_time->Advance(MetricsEndpoint::kRequestTimeoutMs - 1);
  EXPECT_EQ(silent->State(), SocketConnected);
  EXPECT_EQ(partial->State(), SocketConnected);
  m_time->Advance(1);
  EXPECT_EQ(silent->State(), SocketClosed);
  EXPECT_EQ(partial->State(), SocketClosed);
  EXPECT_EQ(partial->Receive(), "");
  EXPECT_EQ(m_endpoint->connections(), 0u);
}

TEST_F(MetricsEndpointServerTest, TakesAtMostSixteenConnections) {
  std::vector<std::shared_ptr<MemorySocket>> idle;
  // Those still being set up by the acceptor count too.
  m_acceptor->pending = 1;
  for (size_t i = 1; i < MetricsEndpoint::kMaxConnections; ++i) idle.push_back(Connect());
  EXPECT_EQ(Connect()->State(), SocketClosed);
  m_acceptor->pending = 0;
  idle.push_back(Connect());
  EXPECT_EQ(m_endpoint->connections(), MetricsEndpoint::kMaxConnections);
  auto refused = Connect();
  EXPECT_EQ(refused->State(), SocketClosed);
  for (const auto& socket : idle) EXPECT_EQ(socket->State(), SocketConnected);
  // One answered makes room for the next.
  idle[0]->Send("GET /health HTTP/1.1\r\n\r\n");
  m_time->RunUntilIdle();
  EXPECT_EQ(StatusLine(Ask("GET /health HTTP/1.1\r\n\r\n")), "HTTP/1.1 200 OK");
}

TEST_F(MetricsEndpointServerTest, ListensOnLoopbackOnly) {
  for (const char* address : {"0.0.0.0", "::", "192.168.1.10", "128.0.0.1", "::2",
                              "::ffff:127.0.0.1", "localhost", "127.0.0.1 ", ""}) {
    EXPECT_THROW(m_endpoint->listen(address, 0), std::invalid_argument) << address;
  }
  EXPECT_EQ(m_acceptor->LocalAddress(), "127.0.0.1") << "a refused address changed the listener";
  EXPECT_GT(m_endpoint->listen("127.8.9.10", 0), 0);
  EXPECT_GT(m_endpoint->listen("::1", 0), 0);
  EXPECT_EQ(m_acceptor->LocalAddress(), "::1");
}

}  // namespace
}  // namespace orvane::apps
