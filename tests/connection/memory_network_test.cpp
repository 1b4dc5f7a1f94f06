#include "orvane/testing/memory_network.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "orvane/connection/tcp_client.h"
#include "orvane/core/clock.h"
#include "orvane/core/error.h"
#include "orvane/testing/memory_acceptor.h"

namespace orvane {
namespace {

// A server host that keeps what it accepts and what arrives, and answers
// "hi" with "hello".
class Server : public IAcceptorEvents, public ISocketEvents {
 public:
  ~Server() override {
    for (auto& child : children) child->Unadvise(this);
  }
  void Accepted(const std::shared_ptr<ISocket>& child) override {
    child->Advise(this);
    children.push_back(child);
  }
  void Receive(ISocket& socket) override {
    std::string text = socket.Receive();
    received += text;
    if (text == "hi+3!") socket.Send("hello+3!");
  }
  std::vector<std::shared_ptr<ISocket>> children;
  std::string received;
};

class Terminal : public CTcpClientEvents {
 public:
  void state(TCPClientStatusType status) override {
    log.push_back("state:" + std::to_string(status));
  }
  void Receive(const std::string& data) override { log.push_back(data); }
  std::vector<std::string> log;
};

class MemoryNetworkTest : public ::testing::Test {
 protected:
  std::shared_ptr<FixedClock> clock = std::make_shared<FixedClock>();
  ScopedClock scoped{clock};
  std::shared_ptr<VirtualTimeScheduler> loop =
      std::make_shared<VirtualTimeScheduler>(clock);
};

// A server and three terminals, all in memory: connects are decided on a
// later turn, text travels on later turns, and the acceptor's port and
// address decide who is let in.
TEST_F(MemoryNetworkTest, AServerAndItsTerminalsRunInMemory) {
  auto network = MemoryNetwork::Create(loop);
  Server server;
  MemoryAcceptor acceptor(network);
  acceptor.Advise(&server);
  EXPECT_EQ(acceptor.Listen("0.0.0.0", 0), 40000);
  MemoryAcceptor named(network);
  named.Advise(&server);
  EXPECT_THROW(named.Listen("0.0.0.0", 40000), Error);  // in use
  EXPECT_THROW(named.Listen("", 4600), Error);
  named.Listen("trade.example", 4600);

  std::vector<Terminal> seen(3);
  std::vector<std::shared_ptr<CTcpClient>> terminals;
  for (Terminal& terminal : seen) {
    terminals.push_back(std::make_shared<CTcpClient>(network->Environment()));
    terminals.back()->Advise(&terminal);
    terminals.back()->ServerAddress("trade.example");
    terminals.back()->ServerPort(40000);
    terminals.back()->Connect();
  }
  EXPECT_EQ(terminals[0]->Child()->State(), SocketConnecting);
  loop->RunUntilIdle();
  ASSERT_EQ(server.children.size(), 3u);
  std::set<int32_t> peer_ports;
  for (auto& child : server.children) peer_ports.insert(child->RemotePort());
  EXPECT_EQ(peer_ports.size(), 3u);

  terminals[1]->Send("hi+3!");
  EXPECT_EQ(server.received, "");  // on its way
  loop->RunUntilIdle();
  EXPECT_EQ(server.received, "hi+3!");
  EXPECT_EQ(seen[1].log, (std::vector<std::string>{"state:0", "hello"}));

  // Only the named host reaches "trade.example"; a closed acceptor and an
  // unused port refuse, while connections already made stay up.
  terminals[0]->Disconnect(false);
  terminals[0]->ServerPort(4600);
  terminals[0]->ServerAddress("other.example");
  terminals[2]->Disconnect(false);
  terminals[2]->ServerPort(4600);
  loop->RunUntilIdle();
  acceptor.Close();
  terminals[0]->Connect();
  terminals[2]->Connect();
  loop->RunUntilIdle();
  EXPECT_EQ(terminals[0]->status(), STATUS_DISCONNECTED);
  EXPECT_EQ(terminals[2]->status(), STATUS_CONNECTED);
  EXPECT_EQ(terminals[1]->status(), STATUS_CONNECTED);
  EXPECT_EQ(named.AcceptedCount(), 1);
  EXPECT_EQ(server.children.size(), 4u);
  for (size_t i = 0; i < seen.size(); ++i) terminals[i]->Unadvise(&seen[i]);
}

// What a client sends from its connected event, even delivered at once,
// waits for the listener that the server advises in Accepted.
TEST_F(MemoryNetworkTest, TextSentOnConnectWaitsForTheAcceptedListener) {
  auto network = MemoryNetwork::Create(loop, /*deferred_delivery=*/false);
  Server server;
  MemoryAcceptor acceptor(network);
  acceptor.Advise(&server);
  acceptor.Listen("127.0.0.1", 4500);
  auto client = network->CreateSocket();
  struct Greeter : ISocketEvents {
    void State(ISocket& socket, SocketStateEnum state) override {
      if (state == SocketConnected) socket.Send("hi+3!");
    }
  } greeter;
  client->Advise(&greeter);
  client->Connect("127.0.0.1", 4500);
  loop->RunUntilIdle();
  EXPECT_EQ(server.received, "hi+3!");
  EXPECT_EQ(client->Receive(), "hello+3!");
  client->Unadvise(&greeter);
}

}  // namespace
}  // namespace orvane
