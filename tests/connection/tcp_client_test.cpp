#include "orvane/connection/tcp_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "orvane/connection/memory_socket.h"
#include "orvane/connection/virtual_timer.h"
#include "orvane/core/clock.h"
#include "orvane/core/date_time.h"

namespace orvane {
namespace {

// Every event of the client, as text, in the order raised.
class Recorder : public CTcpClientEvents {
 public:
  void state(TCPClientStatusType s) override { Add("state:" + N(s)); }
  void Receive(const std::string& data) override { Add("recv:" + data); }
  void NotConnected() override { Add("notconnected"); }
  void ProxyTestResult(ProxyTestResultEnum r, const std::string& m) override {
    Add("proxy:" + N(r) + ":" + m);
  }
  void ReceivedData(int32_t bytes) override { Add("rd:" + N(bytes)); }
  void SentData(int32_t bytes) override { Add("sd:" + N(bytes)); }

  std::vector<std::string> events;

 private:
  static std::string N(int v) { return std::to_string(v); }
  void Add(std::string e) { events.push_back(std::move(e)); }
};

class FakeProxyTester : public IProxyTester {
 public:
  int32_t TestProxyAsync(const std::string& address, int32_t port,
                         const std::string& user, const std::string& password,
                         ProxyTypeEnum type) override {
    started.push_back(address + ":" + std::to_string(port) + ":" + user + ":" +
                      password + ":" + std::to_string(type));
    return start_result;
  }
  int32_t TestResult(std::string& text) override {
    ++polls;
    int32_t r = results.empty() ? -1 : results.front();
    if (!results.empty()) results.erase(results.begin());
    if (r != -1 && r != 0) text = failure_text;
    return r;
  }
  std::string LastError() const override { return last_error; }
  void Close() override { ++closes; }

  int32_t start_result = 0;
  std::vector<int32_t> results;
  std::string failure_text;
  std::string last_error;
  std::vector<std::string> started;
  int polls = 0;
  int closes = 0;
};

class TcpClientTest : public ::testing::Test {
 protected:
  void SetUp() override { Make(std::make_shared<FakeProxyTester>()); }

  void Make(std::shared_ptr<FakeProxyTester> fake) {
    if (client) client->Unadvise(&events);
    tester = fake;
    socket = MemorySocket::Create();
    client = std::make_shared<CTcpClient>(
        TcpClientEnvironment{socket, timers, tester});
    client->Advise(&events);
    client->ServerAddress("trade.example");
  }

  // Connects and lets the server side accept; returns the server's end.
  std::shared_ptr<MemorySocket> ConnectNow() {
    client->Connect();
    return socket->AcceptConnect();
  }

  int Interval() const { return client->ConnectInterval(); }
  int Count(const std::string& e) const {
    int n = 0;
    for (const auto& x : events.events) n += x == e;
    return n;
  }

  std::shared_ptr<FixedClock> clock =
      std::make_shared<FixedClock>(DateTime::FromParts(2026, 3, 2, 9, 30, 15));
  ScopedClock scoped{clock};
  std::shared_ptr<VirtualTimeScheduler> timers =
      std::make_shared<VirtualTimeScheduler>(clock);
  std::shared_ptr<FakeProxyTester> tester;
  std::shared_ptr<MemorySocket> socket;
  std::shared_ptr<CTcpClient> client;
  Recorder events;
};

TEST_F(TcpClientTest, NewClientDefaultsAndSocketSettings) {
  EXPECT_EQ(client->ServerPort(), 4500);
  EXPECT_EQ(client->status(), STATUS_DISCONNECTED);
  EXPECT_EQ(client->ServerType(), DisconnectWhenNoHandshakMsgType);
  EXPECT_EQ(client->HandshakeMsgTimer(), 100000);
  EXPECT_TRUE(client->AutoReloginOption());
  EXPECT_TRUE(client->isConnecting());  // re-login starts armed
  EXPECT_FALSE(client->ProxyEnabled());
  EXPECT_EQ(client->ProxyType(), HTTPProxy);
  EXPECT_EQ(client->proxyPort(), 0);
  EXPECT_EQ(client->Child(), socket);
  EXPECT_EQ(socket->LingerSeconds(), 5);
  EXPECT_TRUE(socket->NoDelay());
  ConnectNow();
  EXPECT_EQ(socket->ConnectHost(), "trade.example");
  EXPECT_EQ(socket->ConnectPort(), 4500);
}

TEST_F(TcpClientTest, ServerPortBelowOneIsIgnoredAndRoundsHalfEven) {
  client->ServerPort(4501);
  client->ServerPort(0);
  client->ServerPort(-3);
  client->ServerPort(0.99);
  client->ServerPort(std::nan(""));
  EXPECT_EQ(client->ServerPort(), 4501);
  client->ServerPort(4502.5);
  client->Connect();
  EXPECT_EQ(socket->ConnectPort(), 4502);
  socket->RefuseConnect();
  client->ServerPort(4503.5);
  client->Connect();
  EXPECT_EQ(socket->ConnectPort(), 4504);
}

TEST_F(TcpClientTest, ConnectIntervalIsDrawnFromTheTimeOfDay) {
  int first = client->ConnectInterval();
  EXPECT_GE(first, 5000);
  EXPECT_LE(first, 10999);
  auto same = std::make_shared<CTcpClient>(
      TcpClientEnvironment{MemorySocket::Create(), timers, nullptr});
  EXPECT_EQ(same->ConnectInterval(), first);
  std::vector<int> seen;
  for (int s = 1; s <= 6; ++s) {
    clock->AdvanceSeconds(s);
    auto other = std::make_shared<CTcpClient>(
        TcpClientEnvironment{MemorySocket::Create(), timers, nullptr});
    EXPECT_GE(other->ConnectInterval(), 5000);
    EXPECT_LE(other->ConnectInterval(), 10999);
    seen.push_back(other->ConnectInterval());
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_GT(std::unique(seen.begin(), seen.end()) - seen.begin(), 1);
}

TEST_F(TcpClientTest, FailedAttemptsAreSilentAndRetryEveryInterval) {
  client->Connect();
  EXPECT_EQ(socket->ConnectCount(), 1);
  socket->RefuseConnect();
  timers->Advance(Interval() - 1);
  EXPECT_EQ(socket->ConnectCount(), 1);
  timers->Advance(1);
  EXPECT_EQ(socket->ConnectCount(), 2);
  socket->RefuseConnect();
  timers->Advance(Interval());
  EXPECT_EQ(socket->ConnectCount(), 3);
  // An attempt still pending is closed before the next one.
  timers->Advance(Interval());
  EXPECT_EQ(socket->ConnectCount(), 4);
  EXPECT_TRUE(events.events.empty());
  EXPECT_TRUE(client->isConnecting());
}

TEST_F(TcpClientTest, AnAttemptThatThrowsRestartsTheFullInterval) {
  socket->FailConnect(true);
  client->Connect();
  timers->Advance(Interval() / 2);
  client->Connect();  // throws again, restarting the interval from here
  socket->FailConnect(false);
  timers->Advance(Interval() - 1);
  EXPECT_EQ(socket->ConnectCount(), 0);
  timers->Advance(1);
  EXPECT_EQ(socket->ConnectCount(), 1);
  EXPECT_TRUE(events.events.empty());
}

TEST_F(TcpClientTest, ConnectingStopsTheRetries) {
  auto server = ConnectNow();
  EXPECT_EQ(events.events, std::vector<std::string>{"state:0"});
  EXPECT_EQ(client->status(), STATUS_CONNECTED);
  EXPECT_FALSE(client->isConnecting());
  timers->Advance(60000);
  EXPECT_EQ(socket->ConnectCount(), 1);
}

TEST_F(TcpClientTest, ServerCloseReportsOnceAndReconnectsOneIntervalLater) {
  auto server = ConnectNow();
  timers->Advance(1234);
  server->Close();
  EXPECT_EQ(events.events,
            (std::vector<std::string>{"state:0", "state:1"}));
  EXPECT_TRUE(client->isConnecting());
  timers->Advance(Interval() - 1);
  EXPECT_EQ(socket->ConnectCount(), 1);
  timers->Advance(1);
  EXPECT_EQ(socket->ConnectCount(), 2);
  auto again = socket->AcceptConnect();
  EXPECT_EQ(Count("state:0"), 2);
  EXPECT_EQ(Count("state:1"), 1);
}

TEST_F(TcpClientTest, DisconnectFalseStaysDown) {
  auto server = ConnectNow();
  client->Disconnect(false);
  EXPECT_EQ(events.events,
            (std::vector<std::string>{"state:0", "state:1"}));
  EXPECT_FALSE(client->isConnecting());
  timers->Advance(60000);
  EXPECT_EQ(socket->ConnectCount(), 1);
}

TEST_F(TcpClientTest, DisconnectByDefaultReconnects) {
  auto server = ConnectNow();
  client->Disconnect();
  EXPECT_TRUE(client->isConnecting());
  timers->Advance(Interval());
  EXPECT_EQ(socket->ConnectCount(), 2);
}

TEST_F(TcpClientTest, WithoutAutoReloginALostConnectionStaysDown) {
  client->AutoReloginOption(false);
  EXPECT_FALSE(client->isConnecting());
  auto server = ConnectNow();
  server->Close();
  EXPECT_EQ(Count("state:1"), 1);
  EXPECT_FALSE(client->isConnecting());
  timers->Advance(60000);
  EXPECT_EQ(socket->ConnectCount(), 1);
}

TEST_F(TcpClientTest, SilenceForTheHandshakeIntervalDropsAndReconnects) {
  client->HandshakeMsgTimer(30000);
  auto server = ConnectNow();
  timers->Advance(20000);
  server->Send("ping+3!");  // any data restarts the full interval
  timers->Advance(29999);
  EXPECT_EQ(client->status(), STATUS_CONNECTED);
  timers->Advance(1);
  EXPECT_EQ(client->status(), STATUS_DISCONNECTED);
  EXPECT_EQ(Count("state:1"), 1);
  timers->Advance(Interval() - 1);
  EXPECT_EQ(socket->ConnectCount(), 1);
  timers->Advance(1);
  EXPECT_EQ(socket->ConnectCount(), 2);
}

TEST_F(TcpClientTest, NoDisconnectServerTypeKeepsASilentConnection) {
  client->ServerType(NoDisconnectWhenNoHandshakMsgType);
  client->HandshakeMsgTimer(30000);
  auto server = ConnectNow();
  client->HandshakeMsgRecieved();
  timers->Advance(600000);
  EXPECT_EQ(client->status(), STATUS_CONNECTED);
  EXPECT_EQ(Count("state:1"), 0);
}

TEST_F(TcpClientTest, ABurstDrainsOneMessagePerSendTick) {
  auto server = ConnectNow();
  socket->Blocked(true);
  for (int i = 1; i <= 4; ++i) client->Send("m" + std::to_string(i));
  EXPECT_TRUE(socket->SentTexts().empty());
  socket->Blocked(false);
  client->Send("m5");  // one leaves at once: the oldest
  EXPECT_EQ(socket->SentTexts(), std::vector<std::string>{"m1"});
  timers->Advance(9);
  EXPECT_EQ(socket->SentTexts().size(), 1u);
  timers->Advance(1);
  EXPECT_EQ(socket->SentTexts().size(), 2u);
  timers->Advance(30);
  EXPECT_EQ(socket->SentTexts(),
            (std::vector<std::string>{"m1", "m2", "m3", "m4", "m5"}));
  EXPECT_EQ(Count("sd:2"), 5);
  EXPECT_EQ(Count("notconnected"), 0);
}

TEST_F(TcpClientTest, TheFiveThousandAndFirstMessageIsDropped) {
  auto server = ConnectNow();
  socket->Blocked(true);
  for (int i = 1; i <= 5001; ++i) client->Send(std::to_string(i));
  EXPECT_EQ(Count("sd:4"), 4002);  // SentData even for the dropped 5001
  socket->Blocked(false);
  timers->Advance(5000 * 10);
  ASSERT_EQ(socket->SentTexts().size(), 5000u);
  EXPECT_EQ(socket->SentTexts().front(), "1");
  EXPECT_EQ(socket->SentTexts().back(), "5000");
}

TEST_F(TcpClientTest, SendingWhileDisconnectedDropsWithNotConnected) {
  client->Send("hello");
  EXPECT_EQ(events.events,
            (std::vector<std::string>{"sd:5", "notconnected"}));
  timers->Advance(1000);
  EXPECT_EQ(Count("notconnected"), 1);
  // A message blocked in the queue goes the same way, one per tick.
  socket->Blocked(true);
  client->Send("a");
  client->Send("b");
  socket->Blocked(false);
  timers->Advance(10);
  EXPECT_EQ(Count("notconnected"), 2);
  timers->Advance(10);
  EXPECT_EQ(Count("notconnected"), 3);
  EXPECT_TRUE(socket->SentTexts().empty());
}

TEST_F(TcpClientTest, ALostConnectionDropsUnsentMessages) {
  auto server = ConnectNow();
  socket->Blocked(true);
  client->Send("x");
  client->Send("y");
  server->Close();
  socket->Blocked(false);
  timers->Advance(Interval());
  auto again = socket->AcceptConnect();
  timers->Advance(100);
  EXPECT_TRUE(socket->SentTexts().empty());
  EXPECT_EQ(Count("notconnected"), 0);
}

TEST_F(TcpClientTest, ReceiveRaisesOncePerCompleteMessage) {
  auto server = ConnectNow();
  events.events.clear();
  server->Send("A1+3!B22+3!C");
  EXPECT_EQ(events.events,
            (std::vector<std::string>{"rd:12", "recv:A1", "recv:B22"}));
  server->Send("33");
  server->Send("+3!");
  EXPECT_EQ(Count("recv:C33"), 1);
  EXPECT_EQ(Count("recv:"), 0);
}

TEST_F(TcpClientTest, ALostConnectionForgetsThePartialMessage) {
  auto server = ConnectNow();
  server->Send("half");
  server->Close();
  timers->Advance(Interval());
  auto again = socket->AcceptConnect();
  ASSERT_NE(again, nullptr);
  again->Send("whole+3!");
  EXPECT_EQ(Count("recv:whole"), 1);
  EXPECT_EQ(Count("recv:halfwhole"), 0);
}

TEST_F(TcpClientTest, DisconnectEffectsComeBeforeTheEvent) {
  struct Probe : CTcpClientEvents {
    CTcpClient* client = nullptr;
    bool was_connecting = false;
    void state(TCPClientStatusType s) override {
      if (s == STATUS_DISCONNECTED) was_connecting = client->isConnecting();
    }
  } probe;
  probe.client = client.get();
  client->Advise(&probe);
  auto server = ConnectNow();
  server->Close();
  EXPECT_TRUE(probe.was_connecting);
  client->Unadvise(&probe);
}

TEST_F(TcpClientTest, ProxySettingsReachTheSocketInOrder) {
  client->ProxyEnabled(true);
  client->proxyAddress("proxy.example");
  client->proxyPort(3128);
  client->ProxyUsername("alice");
  client->ProxyPassword("s3cret");
  client->ProxyType(Socks5Proxy);
  client->Connect();
  EXPECT_EQ(socket->Proxy().kind, SocketSocks5Proxy);
  EXPECT_EQ(socket->Proxy().host, "proxy.example");
  EXPECT_EQ(socket->Proxy().port, 3128);
  EXPECT_EQ(socket->Proxy().user, "alice");
  EXPECT_EQ(socket->Proxy().password, "s3cret");
  EXPECT_EQ(socket->ConnectHost(), "trade.example");
  socket->RefuseConnect();
  client->ProxyEnabled(false);
  client->Connect();
  EXPECT_EQ(socket->Proxy().kind, SocketNoProxy);
}

TEST_F(TcpClientTest, AnUnknownProxyTypeFailsTheAttemptInsteadOfGoingAround) {
  client->ProxyEnabled(true);
  client->proxyAddress("proxy.example");
  client->proxyPort(3128);
  client->ProxyType(static_cast<ProxyTypeEnum>(-1));
  client->Connect();
  EXPECT_EQ(socket->ConnectCount(), 0);
  client->ProxyType(Socks4Proxy);  // the next attempt, one interval later
  timers->Advance(Interval());
  EXPECT_EQ(socket->ConnectCount(), 1);
  EXPECT_EQ(socket->Proxy().kind, SocketSocks4Proxy);
  EXPECT_TRUE(events.events.empty());
}

TEST_F(TcpClientTest, ConnectionAttemptsLeaveAProxyTestRunning) {
  tester->results = {-1, -1, 1};
  tester->failure_text = "refused";
  client->TestProxy("p", 1, "", "", HTTPProxy);
  client->Connect();
  timers->Advance(Interval());  // a retry, with the test still running
  EXPECT_EQ(tester->closes, 0);
  EXPECT_EQ(Count("proxy:3:refused"), 1);
}

TEST_F(TcpClientTest, ProxyTestPollsUntilTheTesterAnswers) {
  tester->results = {-1, -1, 0};
  client->TestProxy("10.1.2.3", 1080, "bob", "pw", Socks4Proxy);
  EXPECT_EQ(tester->started,
            std::vector<std::string>{"10.1.2.3:1080:bob:pw:1"});
  EXPECT_FALSE(client->ProxyEnabled());
  EXPECT_EQ(client->proxyAddress(), "");
  timers->Advance(299);
  EXPECT_TRUE(events.events.empty());
  timers->Advance(1);
  EXPECT_EQ(events.events, std::vector<std::string>{"proxy:2:"});
  timers->Advance(1000);
  EXPECT_EQ(tester->polls, 3);
}

TEST_F(TcpClientTest, ProxyTestFailuresCarryTheTestersText) {
  tester->results = {-1, 1};
  tester->failure_text = "SOCKS5 proxy: authentication failed";
  client->TestProxy("p", 1, "", "", Socks5Proxy);
  timers->Advance(200);
  EXPECT_EQ(events.events, std::vector<std::string>{
                               "proxy:3:SOCKS5 proxy: authentication failed"});
  events.events.clear();
  tester->start_result = 7;
  tester->last_error = "cannot start";
  client->TestProxy("p", 1, "", "", HTTPProxy);
  EXPECT_EQ(events.events, std::vector<std::string>{"proxy:3:cannot start"});
  timers->Advance(1000);
  EXPECT_EQ(events.events.size(), 1u);
}

TEST_F(TcpClientTest, WithoutAProxyTesterTestsFailAndProxyDisconnectKeepsSocket) {
  Make(nullptr);
  client->TestProxy("p", 1, "", "", HTTPProxy);
  ASSERT_EQ(events.events.size(), 1u);
  EXPECT_EQ(events.events[0].rfind("proxy:3:", 0), 0u);
  client->ProxyEnabled(true);
  client->proxyAddress("proxy.example");
  client->proxyPort(8080);
  auto server = ConnectNow();
  client->Disconnect(false);  // nothing to close through
  EXPECT_EQ(client->status(), STATUS_CONNECTED);
}

TEST_F(TcpClientTest, AHandlerMayDropTheClient) {
  struct Dropper : CTcpClientEvents {
    std::shared_ptr<CTcpClient>* holder = nullptr;
    void state(TCPClientStatusType s) override {
      if (s == STATUS_DISCONNECTED) holder->reset();
    }
  } dropper;
  dropper.holder = &client;
  client->Unadvise(&events);
  client->Advise(&dropper);
  auto server = ConnectNow();
  server->Close();
  EXPECT_EQ(client, nullptr);
  timers->Advance(60000);
  EXPECT_EQ(socket->ConnectCount(), 1);
}

// Events raised inside the host's own calls (Send, Connect, Disconnect,
// TestProxy) may drop the client too.
TEST_F(TcpClientTest, AHandlerMayDropTheClientDuringTheHostsOwnCall) {
  struct Dropper : CTcpClientEvents {
    std::shared_ptr<CTcpClient>* holder = nullptr;
    void state(TCPClientStatusType s) override {
      if (s == STATUS_DISCONNECTED) holder->reset();
    }
    void NotConnected() override { holder->reset(); }
    void ProxyTestResult(ProxyTestResultEnum, const std::string&) override {
      holder->reset();
    }
  } dropper;
  dropper.holder = &client;
  client->Unadvise(&events);
  client->Advise(&dropper);
  client->Send("x");
  EXPECT_EQ(client, nullptr);

  Make(std::make_shared<FakeProxyTester>());
  client->Unadvise(&events);
  client->Advise(&dropper);
  tester->start_result = 1;
  client->TestProxy("p", 1, "", "", HTTPProxy);
  EXPECT_EQ(client, nullptr);

  for (bool by_connect : {true, false}) {
    Make(std::make_shared<FakeProxyTester>());
    client->Unadvise(&events);
    client->Advise(&dropper);
    auto server = ConnectNow();
    // Connect while connected closes the live connection first.
    by_connect ? client->Connect() : client->Disconnect();
    EXPECT_EQ(client, nullptr);
  }
}

TEST_F(TcpClientTest, ANotConnectedHandlerThatSendsStillDropsOnePerTick) {
  struct Resender : CTcpClientEvents {
    CTcpClient* client = nullptr;
    int resends = 3;
    void NotConnected() override {
      if (resends-- > 0) client->Send("again");
    }
  } resender;
  resender.client = client.get();
  client->Advise(&resender);
  client->Send("first");
  EXPECT_EQ(Count("notconnected"), 1);
  timers->Advance(10);
  EXPECT_EQ(Count("notconnected"), 2);
  timers->Advance(100);
  EXPECT_EQ(Count("sd:5"), 4);
  EXPECT_EQ(Count("notconnected"), 4);
  client->Unadvise(&resender);
}

TEST_F(TcpClientTest, DeallocateLeavesAnInertClient) {
  auto server = ConnectNow();
  client->Deallocate();
  EXPECT_EQ(client->Child(), nullptr);
  EXPECT_EQ(client->status(), STATUS_DISCONNECTED);
  EXPECT_EQ(server->State(), SocketClosed);
  events.events.clear();
  client->Connect();
  client->Send("x");
  client->TestProxy("p", 1, "", "", HTTPProxy);
  client->Disconnect();
  timers->Advance(60000);
  EXPECT_EQ(socket->ConnectCount(), 1);
  EXPECT_TRUE(events.events.empty());
  EXPECT_TRUE(tester->started.empty());
}

}  // namespace
}  // namespace orvane
