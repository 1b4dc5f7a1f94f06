#include "orvane/connection/h_client.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "orvane/protocol/data_protocol.h"
#include "orvane/protocol/process.h"
#include "orvane/protocol/tokens_enum.h"
#include "orvane/testing/memory_socket.h"
#include "orvane/testing/virtual_timer.h"

namespace orvane {
namespace {

class Recorder : public CHClientEvents {
 public:
  void state(TCPClientStatusType s) override {
    log.push_back("state:" + std::to_string(s));
  }
  void Receive(const std::shared_ptr<CProcess>& p) override {
    processes.push_back(p);
    log.push_back("recv");
  }
  void NotConnected() override { log.push_back("notconnected"); }
  void ReceivedData(int32_t n) override {
    log.push_back("rd:" + std::to_string(n));
  }
  void SentData(int32_t n) override {
    log.push_back("sd:" + std::to_string(n));
  }

  std::vector<std::string> log;
  std::vector<std::shared_ptr<CProcess>> processes;
};

class HClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client = std::make_shared<CHClient>(
        TcpClientEnvironment{socket, timers, nullptr});
    client->Advise(&events);
    client->ServerAddress("trade.example");
  }

  std::shared_ptr<VirtualTimeScheduler> timers =
      std::make_shared<VirtualTimeScheduler>();
  std::shared_ptr<MemorySocket> socket = MemorySocket::Create();
  std::shared_ptr<CHClient> client;
  Recorder events;
};

TEST_F(HClientTest, EachMessageOfAReadBecomesItsOwnProcess) {
  client->Connect();
  auto server = socket->AcceptConnect();
  CDataProtocol wire;
  std::string login = wire.Response(LOGIN_TOKEN, {"ok", "417"});
  std::string prices = wire.Response(GET_PRICES_TOKEN, {"EURUSD"});
  server->Send(login + prices);
  ASSERT_EQ(events.processes.size(), 2u);
  EXPECT_EQ(events.processes[0]->TokenID(), LOGIN_TOKEN);
  EXPECT_EQ(events.processes[0]->ParameterValue(2), "417");
  EXPECT_EQ(events.processes[1]->TokenID(), GET_PRICES_TOKEN);
  EXPECT_EQ(events.processes[1]->ParameterValue(1), "EURUSD");
  EXPECT_NE(events.processes[0], events.processes[1]);
  EXPECT_EQ(events.log,
            (std::vector<std::string>{
                "state:0", "rd:" + std::to_string(login.size() + prices.size()),
                "recv", "recv"}));
}

TEST_F(HClientTest, SidIsKeptAndSettingsAndEventsPassThroughBothWays) {
  client->sid(-417);
  const auto& inner = client->TcpClient();
  client->ServerPort(4600);
  client->ServerPort(0);  // ignored, as by the inner client
  EXPECT_EQ(inner->ServerPort(), 4600);
  inner->HandshakeMsgTimer(30000);
  EXPECT_EQ(client->HandshakeMsgTimer(), 30000);
  client->ProxyType(Socks4Proxy);
  EXPECT_EQ(inner->ProxyType(), Socks4Proxy);
  client->Connect();
  auto server = socket->AcceptConnect();
  EXPECT_EQ(socket->ConnectPort(), 4600);
  client->Disconnect(false);
  EXPECT_FALSE(client->isConnecting());
  EXPECT_EQ(client->sid(), -417);
  EXPECT_EQ(client->Child(), socket);
  // The inner client's events are passed on.
  events.log.clear();
  client->TcpClient()->Send("abc");
  EXPECT_EQ(events.log, (std::vector<std::string>{"sd:3", "notconnected"}));
}

TEST_F(HClientTest, AHandlerMayDropTheClient) {
  struct Dropper : CHClientEvents {
    std::shared_ptr<CHClient>* holder = nullptr;
    void Receive(const std::shared_ptr<CProcess>&) override { holder->reset(); }
  } dropper;
  dropper.holder = &client;
  client->Unadvise(&events);
  client->Advise(&dropper);
  client->Connect();
  auto server = socket->AcceptConnect();
  CDataProtocol wire;
  server->Send(wire.Response(LOGIN_TOKEN, {"ok"}) +
               wire.Response(GET_PRICES_TOKEN, {"EURUSD"}));
  EXPECT_EQ(client, nullptr);
  EXPECT_EQ(socket->State(), SocketClosed);
}

// The host keeps a process by holding it; the processes it lets go are
// parsed into again, and must then read as new ones whatever the host did
// to them while it had them.
TEST_F(HClientTest, KeptProcessesStayIntactAndReleasedOnesComeBackNew) {
  struct Handler : CHClientEvents {
    void Receive(const std::shared_ptr<CProcess>& p) override {
      texts.emplace_back(p->ProcessText());
      fresh.push_back(p->SystemLogLevel() == 0 && !p->MustBeLogedOn() &&
                      p->Child() == nullptr && p->RowCellsCount() == 0 &&
                      p->ProcessDescription() == "'' ");
      p->SystemLogLevel(9);
      p->MustBeLogedOn(true);
      p->Child(child);
      p->AddRowString("a|b");
      if (texts.size() % 3 == 1) kept.push_back(p);
    }
    std::shared_ptr<ISocket> child = MemorySocket::Create();
    std::vector<std::string> texts;
    std::vector<bool> fresh;
    std::vector<std::shared_ptr<CProcess>> kept;
  } handler;
  client->Unadvise(&events);
  client->Advise(&handler);
  client->Connect();
  auto server = socket->AcceptConnect();
  CDataProtocol wire;
  std::string stream;
  for (int i = 0; i < 7; ++i) {
    stream += wire.Response(GET_PRICES_TOKEN, {"EURUSD", std::to_string(i)});
  }
  server->Send(stream.substr(0, 50));
  server->Send(stream.substr(50));
  ASSERT_EQ(handler.texts.size(), 7u);
  EXPECT_EQ(handler.fresh, std::vector<bool>(7, true));
  ASSERT_EQ(handler.kept.size(), 3u);
  for (size_t k = 0; k < handler.kept.size(); ++k) {
    EXPECT_EQ(handler.kept[k]->ParameterValue(2), std::to_string(3 * k));
    EXPECT_EQ(handler.kept[k]->ProcessText(), handler.texts[3 * k]);
    EXPECT_EQ(handler.kept[k]->SystemLogLevel(), 9);
  }
}

}  // namespace
}  // namespace orvane
