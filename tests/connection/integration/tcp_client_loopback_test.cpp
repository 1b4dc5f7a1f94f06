// The terminal's client on a real loopback connection. Timers run on
// virtual time where a test needs a retry interval to pass; one test runs
// the client entirely on the host's real Asio timers.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "connection/client_events.h"
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

using test::RunFor;
using test::RunUntil;
using test::TestServer;

class TcpClientLoopbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client = std::make_shared<CTcpClient>(TcpClientEnvironment{
        std::make_shared<AsioSocket>(io), timers, nullptr});
    client->Advise(&events);
    client->ServerAddress("127.0.0.1");
    client->ServerPort(server->Port());
  }
  void TearDown() override { client->Unadvise(&events); }

  std::shared_ptr<ISocket> ConnectAndAccept() {
    client->Connect();
    bool up = RunUntil(io, [&] {
      return client->status() == STATUS_CONNECTED && server->children.size() == 1;
    });
    return up ? server->children[0] : nullptr;
  }

  asio::io_context io;
  std::unique_ptr<TestServer> server = std::make_unique<TestServer>(io);
  std::shared_ptr<VirtualTimeScheduler> timers =
      std::make_shared<VirtualTimeScheduler>();
  std::shared_ptr<CTcpClient> client;
  test::ClientEvents events;
};

TEST_F(TcpClientLoopbackTest, AServerRestartedMidSessionGetsTheClientBack) {
  auto peer = ConnectAndAccept();
  ASSERT_NE(peer, nullptr);
  int port = server->Port();
  peer.reset();
  server.reset();  // the server goes away with its connections
  ASSERT_TRUE(RunUntil(io, [&] { return events.states.size() == 2; }));
  EXPECT_EQ(events.states.back(), STATUS_DISCONNECTED);
  EXPECT_TRUE(client->isConnecting());
  // While it is down, an attempt fails silently.
  timers->Advance(client->ConnectInterval());
  ASSERT_TRUE(RunUntil(
      io, [&] { return client->Child()->State() == SocketClosed; }));
  EXPECT_EQ(events.states.size(), 2u);
  server = std::make_unique<TestServer>(io, TlsOptions{}, port);
  timers->Advance(client->ConnectInterval());
  ASSERT_TRUE(RunUntil(io, [&] { return events.states.size() == 3; }));
  EXPECT_EQ(events.states.back(), STATUS_CONNECTED);
  CDataProtocol wire;
  client->Send(wire.Request(LOGIN_TOKEN, {"user", "password"}));
  ASSERT_TRUE(RunUntil(io, [&] { return !server->received.empty(); }));
  EXPECT_EQ(wire.TokenID(server->received), LOGIN_TOKEN);
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
