// The terminal's connection on real loopback, directly and through real
// proxies started on loopback: tinyproxy (HTTP CONNECT), danted (SOCKS4 and
// SOCKS5) and microsocks (SOCKS5 with user name and password). Timers run
// on virtual time where a test needs an interval to pass; the HClient test
// runs the client entirely on the host's real Asio timers.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "connection/client_events.h"
#include "orvane/asio/asio_proxy_tester.h"
#include "orvane/asio/asio_socket.h"
#include "orvane/connection/h_client.h"
#include "orvane/connection/tcp_client.h"
#include "orvane/protocol/data_protocol.h"
#include "orvane/protocol/process.h"
#include "orvane/protocol/tokens_enum.h"
#include "orvane/testing/virtual_timer.h"
#include "peers.h"

namespace orvane {
namespace {

using test::Peer;
using test::RunFor;
using test::RunUntil;
using test::TempDir;
using test::TestServer;

class TcpClientLoopbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    socket = std::make_shared<AsioSocket>(io);
    tester = std::make_shared<AsioProxyTester>(io);
    tester->Target("127.0.0.1", server.Port());
    client = std::make_shared<CTcpClient>(
        TcpClientEnvironment{socket, timers, tester});
    client->Advise(&events);
    client->ServerAddress("127.0.0.1");
    client->ServerPort(server.Port());
  }
  void TearDown() override { client->Unadvise(&events); }

  std::unique_ptr<Peer> Tinyproxy(int port, const std::string& auth = "") {
    std::string conf = dir.Write(
        "tinyproxy.conf", "Port " + std::to_string(port) +
                              "\nListen 127.0.0.1\nAllow 127.0.0.1\n"
                              "Timeout 60\nMaxClients 100\n" +
                              (auth.empty() ? "" : "BasicAuth " + auth + "\n"));
    return Start({"tinyproxy", "-d", "-c", conf}, port);
  }

  std::unique_ptr<Peer> Danted(int port) {
    std::string conf = dir.Write(
        "danted.conf",
        "logoutput: stderr\ninternal: 127.0.0.1 port = " +
            std::to_string(port) +
            "\nexternal: 127.0.0.1\nclientmethod: none\nsocksmethod: none\n"
            "user.privileged: root\nuser.unprivileged: nobody\n"
            "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
            "socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 protocol: tcp }\n");
    return Start({"danted", "-f", conf, "-p", dir.File("danted.pid")}, port);
  }

  std::unique_ptr<Peer> Microsocks(int port) {
    return Start({"microsocks", "-i", "127.0.0.1", "-p", std::to_string(port),
                  "-u", "alice", "-P", "s3cret"},
                 port);
  }

  std::unique_ptr<Peer> Start(const std::vector<std::string>& argv, int port) {
    auto peer = std::make_unique<Peer>(argv, dir.File(argv[0] + ".log"));
    EXPECT_TRUE(peer->Running());
    EXPECT_TRUE(test::WaitForPort(port)) << argv[0] << " did not start";
    return peer;
  }

  void UseProxy(ProxyTypeEnum type, int port, const std::string& user = "",
                const std::string& password = "") {
    client->ProxyEnabled(true);
    client->ProxyType(type);
    client->proxyAddress("127.0.0.1");
    client->proxyPort(port);
    client->ProxyUsername(user);
    client->ProxyPassword(password);
  }

  // Connects (the first attempt is made at once) and waits for the outcome.
  bool ConnectClient() {
    client->Connect();
    RunUntil(io, [&] {
      return !events.states.empty() || socket->State() == SocketClosed;
    });
    return client->status() == STATUS_CONNECTED;
  }

  // The exchange on the test server's `connection`th connection.
  void ExpectExchange(size_t connection = 1) {
    server.received.clear();
    events.messages.clear();
    client->Send("LOGIN+3!");
    ASSERT_TRUE(RunUntil(io, [&] { return server.received == "LOGIN+3!"; }));
    ASSERT_EQ(server.children.size(), connection);
    server.children.back()->Send("A+3!B+3!");
    ASSERT_TRUE(RunUntil(io, [&] { return events.messages.size() == 2; }));
    EXPECT_EQ(events.messages, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(socket->RemotePort(), server.Port());
  }

  void ExpectFailure(const std::string& reason_part) {
    EXPECT_FALSE(ConnectClient());
    EXPECT_TRUE(events.states.empty());
    EXPECT_NE(socket->LastError().find(reason_part), std::string::npos)
        << socket->LastError();
    EXPECT_TRUE(server.children.empty());
  }

  // Polls a running proxy test on virtual time until it answers.
  bool AwaitProxyTest() {
    return RunUntil(io, [&] {
      timers->Advance(CTcpClient::kProxyTestInterval);
      return events.proxy_result != TestingMode;
    });
  }

  asio::io_context io;
  TempDir dir;
  TestServer server{io};
  std::shared_ptr<VirtualTimeScheduler> timers =
      std::make_shared<VirtualTimeScheduler>();
  std::shared_ptr<AsioSocket> socket;
  std::shared_ptr<AsioProxyTester> tester;
  std::shared_ptr<CTcpClient> client;
  test::ClientEvents events;
};

TEST_F(TcpClientLoopbackTest, HttpConnectWithBasicAuthenticationCarriesMessages) {
  int port = test::FreePort();
  auto proxy = Tinyproxy(port, "alice s3cret");
  UseProxy(HTTPProxy, port, "alice", "wrong");
  ExpectFailure("HTTP proxy refused: HTTP/1.");
  EXPECT_TRUE(socket->LastError().find("407") != std::string::npos ||
              socket->LastError().find("401") != std::string::npos);
  client->ProxyPassword("s3cret");
  ASSERT_TRUE(ConnectClient()) << socket->LastError();
  ExpectExchange();
}

TEST_F(TcpClientLoopbackTest, Socks4AndSocks5WithoutAuthenticationCarryMessages) {
  int port = test::FreePort();
  auto proxy = Danted(port);
  for (ProxyTypeEnum type : {Socks4Proxy, Socks5Proxy}) {
    SCOPED_TRACE(type);
    events.states.clear();
    UseProxy(type, port, type == Socks4Proxy ? "terminal" : "");
    ASSERT_TRUE(ConnectClient()) << socket->LastError();
    ExpectExchange(type == Socks4Proxy ? 1 : 2);
    client->Disconnect(false);
  }
}

TEST_F(TcpClientLoopbackTest, Socks5WithUserNameAndPassword) {
  int port = test::FreePort();
  auto proxy = Microsocks(port);
  UseProxy(Socks5Proxy, port, "alice", "wrong");
  ExpectFailure("SOCKS5 proxy: authentication failed");
  client->ProxyPassword("s3cret");
  ASSERT_TRUE(ConnectClient()) << socket->LastError();
  ExpectExchange();
}

TEST_F(TcpClientLoopbackTest, AClosedTargetPortFailsTheAttemptThroughEachKind) {
  int http_port = test::FreePort();
  auto http = Tinyproxy(http_port);
  int socks_port = test::FreePort();
  auto socks = Danted(socks_port);
  client->ServerPort(test::FreePort());
  UseProxy(HTTPProxy, http_port);
  ExpectFailure("HTTP proxy refused");
  UseProxy(Socks5Proxy, socks_port);
  ExpectFailure("(reply 5)");
  UseProxy(Socks4Proxy, socks_port);
  ExpectFailure("(reply 91)");
}

TEST_F(TcpClientLoopbackTest, AProxyThatRefusesTheConnectionFailsTheAttempt) {
  int port = test::FreePort();
  UseProxy(Socks5Proxy, port);
  ExpectFailure("cannot connect to proxy 127.0.0.1:" + std::to_string(port));
}

TEST_F(TcpClientLoopbackTest, TlsRunsInsideTheTunnelAndVerifiesTheTarget) {
  ASSERT_TRUE(test::Certificates::Get().ok);
  TestServer tls_server(io, test::ServerTls());
  int port = test::FreePort();
  auto proxy = Danted(port);
  for (const char* host : {"127.0.0.1", "localhost"}) {
    SCOPED_TRACE(host);
    AsioSocket secure(io, test::ClientTls());
    secure.Proxy({SocketSocks5Proxy, "127.0.0.1", port, "", ""});
    secure.Connect(host, tls_server.Port());
    RunUntil(io, [&] {
      return secure.State() == SocketConnected || secure.State() == SocketClosed;
    });
    // The certificate names localhost only, not the address.
    EXPECT_EQ(secure.State() == SocketConnected, std::string(host) == "localhost")
        << secure.LastError();
  }
  // The server's side of the handshake ends a moment after the client's.
  EXPECT_TRUE(RunUntil(io, [&] { return tls_server.children.size() == 1; }));
  RunFor(io, std::chrono::milliseconds(10));
  EXPECT_EQ(tls_server.children.size(), 1u);
}

// A target that sends its last message and half-closes its side.
class HalfClosingTarget {
 public:
  explicit HalfClosingTarget(asio::io_context& io)
      : m_acceptor(io, {asio::ip::make_address("127.0.0.1"), 0}),
        m_socket(io) {
    m_acceptor.async_accept(m_socket, [this](std::error_code ec) {
      if (ec) return;
      asio::async_write(m_socket, asio::buffer(kLast),
                        [this](std::error_code, size_t) {
                          std::error_code ignored;
                          m_socket.shutdown(asio::socket_base::shutdown_send,
                                            ignored);
                        });
    });
  }
  int Port() const { return m_acceptor.local_endpoint().port(); }
  static constexpr std::string_view kLast = "GOODBYE+3!";

 private:
  asio::ip::tcp::acceptor m_acceptor;
  asio::ip::tcp::socket m_socket;
};

TEST_F(TcpClientLoopbackTest, AHalfClosingTargetStillDeliversItsLastMessage) {
  int http_port = test::FreePort();
  auto http = Tinyproxy(http_port);
  int socks_port = test::FreePort();
  auto socks = Danted(socks_port);
  for (auto [type, port] : {std::pair{HTTPProxy, http_port},
                            std::pair{Socks5Proxy, socks_port}}) {
    SCOPED_TRACE(type);
    events.messages.clear();
    events.states.clear();
    HalfClosingTarget target(io);
    client->ServerPort(target.Port());
    UseProxy(type, port);
    client->Connect();
    ASSERT_TRUE(RunUntil(io, [&] { return events.states.size() == 2; }))
        << socket->LastError();
    EXPECT_EQ(events.states, (std::vector<TCPClientStatusType>{
                                 STATUS_CONNECTED, STATUS_DISCONNECTED}));
    EXPECT_EQ(events.messages, std::vector<std::string>{"GOODBYE"});
    client->Disconnect(false);
  }
}

TEST_F(TcpClientLoopbackTest, TheProxyTesterReportsAWorkingProxy) {
  int port = test::FreePort();
  auto proxy = Danted(port);
  client->TestProxy("127.0.0.1", port, "", "", Socks5Proxy);
  EXPECT_EQ(events.proxy_result, TestingMode);
  ASSERT_TRUE(AwaitProxyTest());
  EXPECT_EQ(events.proxy_result, ProxyWorks);
  EXPECT_EQ(events.proxy_text, "");
  EXPECT_FALSE(client->ProxyEnabled());
  // The test's own tunnel reached the target and was closed again.
  ASSERT_TRUE(RunUntil(io, [&] { return server.closed == 1; }));
}

TEST_F(TcpClientLoopbackTest, TheProxyTesterReportsTheProxysRefusal) {
  int port = test::FreePort();
  auto proxy = Microsocks(port);
  client->TestProxy("127.0.0.1", port, "alice", "wrong", Socks5Proxy);
  ASSERT_TRUE(AwaitProxyTest());
  EXPECT_EQ(events.proxy_result, ProxyNotWork);
  EXPECT_EQ(events.proxy_text, "SOCKS5 proxy: authentication failed");
  events.proxy_result = TestingMode;
  client->TestProxy("127.0.0.1", test::FreePort(), "", "", HTTPProxy);
  ASSERT_TRUE(AwaitProxyTest());
  EXPECT_EQ(events.proxy_result, ProxyNotWork);
  EXPECT_NE(events.proxy_text.find("cannot connect to proxy"), std::string::npos);
  events.proxy_result = TestingMode;
  client->TestProxy("127.0.0.1", 0, "", "", HTTPProxy);  // cannot even start
  EXPECT_EQ(events.proxy_result, ProxyNotWork);
}

TEST_F(TcpClientLoopbackTest, AProxyThatNeverAnswersTimesOut) {
  int port = test::FreePort();
  auto proxy = Microsocks(port);
  proxy->Signal(SIGSTOP);  // accepts (backlog) but never answers
  tester->TimeoutMilliseconds(200);
  client->TestProxy("127.0.0.1", port, "", "", Socks5Proxy);
  ASSERT_TRUE(AwaitProxyTest());
  EXPECT_EQ(events.proxy_result, ProxyNotWork);
  EXPECT_NE(events.proxy_text.find("no answer"), std::string::npos);
}

// Directly, without a proxy: a server restarted mid-session gets the client
// back, an attempt while it is down failing silently.
TEST_F(TcpClientLoopbackTest, AServerRestartedMidSessionGetsTheClientBack) {
  auto restarted = std::make_unique<TestServer>(io);
  const int port = restarted->Port();
  client->ServerPort(port);
  ASSERT_TRUE(ConnectClient()) << socket->LastError();
  ASSERT_TRUE(RunUntil(io, [&] { return restarted->children.size() == 1; }));
  restarted.reset();  // the server goes away with its connections
  ASSERT_TRUE(RunUntil(io, [&] { return events.states.size() == 2; }));
  EXPECT_EQ(events.states.back(), STATUS_DISCONNECTED);
  EXPECT_TRUE(client->isConnecting());
  timers->Advance(client->ConnectInterval());
  ASSERT_TRUE(RunUntil(io, [&] { return socket->State() == SocketClosed; }));
  EXPECT_EQ(events.states.size(), 2u);
  restarted = std::make_unique<TestServer>(io, TlsOptions{}, port);
  timers->Advance(client->ConnectInterval());
  ASSERT_TRUE(RunUntil(io, [&] { return events.states.size() == 3; }));
  EXPECT_EQ(events.states.back(), STATUS_CONNECTED);
  CDataProtocol wire;
  client->Send(wire.Request(LOGIN_TOKEN, {"user", "password"}));
  ASSERT_TRUE(RunUntil(io, [&] { return !restarted->received.empty(); }));
  EXPECT_EQ(wire.TokenID(restarted->received), LOGIN_TOKEN);
}

TEST(HClientLoopbackTest, RunsOnTheHostsTimersAndParsesEachMessage) {
  asio::io_context io;
  TestServer server(io);
  CHClient client(io);
  struct Received : CHClientEvents {
    void Receive(const std::shared_ptr<CProcess>& p) override {
      tokens.push_back(p->TokenID());
    }
    std::vector<TokensEnum> tokens;
  } received;
  client.Advise(&received);
  client.ServerAddress("127.0.0.1");
  client.ServerPort(server.Port());
  client.Connect();
  ASSERT_TRUE(RunUntil(io, [&] { return client.status() == STATUS_CONNECTED; }));
  CDataProtocol wire;
  // Each Send takes its message off the queue at once.
  for (int i = 0; i < 3; ++i) {
    client.TcpClient()->Send(wire.Request(GET_PRICES_TOKEN, {}));
  }
  ASSERT_TRUE(RunUntil(io, [&] {
    return server.received.size() == 3 * wire.Request(GET_PRICES_TOKEN, {}).size();
  }));
  ASSERT_EQ(server.children.size(), 1u);
  // The second message comes in two reads, its terminator cut between them.
  const std::string prices = wire.Response(GET_PRICES_TOKEN, {"EURUSD"});
  server.children[0]->Send(wire.Response(LOGIN_TOKEN, {"1"}) + prices.substr(0, prices.size() - 2));
  ASSERT_TRUE(RunUntil(io, [&] { return received.tokens.size() == 1; }));
  RunFor(io, std::chrono::milliseconds(20));
  EXPECT_EQ(received.tokens.size(), 1u);
  server.children[0]->Send(prices.substr(prices.size() - 2));
  ASSERT_TRUE(RunUntil(io, [&] { return received.tokens.size() == 2; }));
  EXPECT_EQ(received.tokens,
            (std::vector<TokensEnum>{LOGIN_TOKEN, GET_PRICES_TOKEN}));
  client.Unadvise(&received);
  client.Disconnect(false);
}

}  // namespace
}  // namespace orvane
