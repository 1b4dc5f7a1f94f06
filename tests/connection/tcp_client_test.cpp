#include "orvane/connection/tcp_client.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "connection/client_events.h"
#include "connection/tcp_client_reentrancy.h"
#include "orvane/core/clock.h"
#include "orvane/core/date_time.h"
#include "orvane/testing/memory_socket.h"
#include "orvane/testing/virtual_timer.h"

namespace orvane {
namespace {

using Log = std::vector<std::string>;

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

  void Make(std::shared_ptr<FakeProxyTester> fake,
            CTcpClientEvents* listener = nullptr) {
    if (client) client->Unadvise(&events);
    tester = fake;
    socket = MemorySocket::Create();
    client = std::make_shared<CTcpClient>(
        TcpClientEnvironment{socket, timers, tester});
    client->Advise(listener != nullptr ? listener : &events);
    client->ServerAddress("trade.example");
  }

  // Connects and lets the server side accept; returns the server's end.
  std::shared_ptr<MemorySocket> ConnectNow() {
    client->Connect();
    return socket->AcceptConnect();
  }

  int Interval() const { return client->ConnectInterval(); }

  std::shared_ptr<FixedClock> clock =
      std::make_shared<FixedClock>(DateTime::FromParts(2026, 3, 2, 9, 30, 15));
  ScopedClock scoped{clock};
  std::shared_ptr<VirtualTimeScheduler> timers =
      std::make_shared<VirtualTimeScheduler>(clock);
  std::shared_ptr<FakeProxyTester> tester;
  std::shared_ptr<MemorySocket> socket;
  std::shared_ptr<CTcpClient> client;
  test::ClientEvents events;
};

TEST_F(TcpClientTest, ANewClientIsArmedForPort4500AndTheServerPortRoundsHalfEven) {
  EXPECT_TRUE(client->isConnecting());  // re-login starts armed
  EXPECT_EQ(socket->LingerSeconds(), 5);
  EXPECT_TRUE(socket->NoDelay());
  client->Connect();
  EXPECT_EQ(socket->ConnectHost(), "trade.example");
  EXPECT_EQ(socket->ConnectPort(), 4500);
  socket->RefuseConnect();
  // A port below one is ignored; a fractional one rounds half to even.
  client->ServerPort(4501);
  for (double ignored : {0.0, -3.0, 0.99, std::nan("")}) {
    client->ServerPort(ignored);
  }
  EXPECT_EQ(client->ServerPort(), 4501);
  client->ServerPort(1);
  EXPECT_EQ(client->ServerPort(), 1);
  client->ServerPort(4502.5);
  client->Connect();
  EXPECT_EQ(socket->ConnectPort(), 4502);
  socket->RefuseConnect();
  client->ServerPort(4503.5);
  client->Connect();
  EXPECT_EQ(socket->ConnectPort(), 4504);
}

TEST_F(TcpClientTest, ConnectIntervalIsDrawnOnceFromTheTimeOfDay) {
  int first = Interval();
  auto same = std::make_shared<CTcpClient>(
      TcpClientEnvironment{MemorySocket::Create(), timers, nullptr});
  EXPECT_EQ(same->ConnectInterval(), first);
  std::set<int> seen;
  for (int s = 1; s <= 6; ++s) {
    clock->AdvanceSeconds(s);
    auto other = std::make_shared<CTcpClient>(
        TcpClientEnvironment{MemorySocket::Create(), timers, nullptr});
    EXPECT_GE(other->ConnectInterval(), 5000);
    EXPECT_LE(other->ConnectInterval(), 10999);
    seen.insert(other->ConnectInterval());
  }
  EXPECT_GT(seen.size(), 1u);
  EXPECT_EQ(Interval(), first);
}

// Failed attempts are silent; one that throws restarts the full interval.
TEST_F(TcpClientTest, FailedAttemptsAreSilentAndRetryEveryInterval) {
  client->Connect();
  socket->RefuseConnect();
  timers->Advance(Interval() - 1);
  EXPECT_EQ(socket->ConnectCount(), 1);
  timers->Advance(1);
  EXPECT_EQ(socket->ConnectCount(), 2);
  // An attempt still pending is closed before the next one.
  timers->Advance(Interval());
  EXPECT_EQ(socket->ConnectCount(), 3);
  socket->FailConnect(true);
  timers->Advance(Interval() + Interval() / 2);
  client->Connect();  // throws again, restarting the interval from here
  socket->FailConnect(false);
  timers->Advance(Interval() - 1);
  EXPECT_EQ(socket->ConnectCount(), 3);
  timers->Advance(1);
  EXPECT_EQ(socket->ConnectCount(), 4);
  EXPECT_TRUE(events.events.empty());
  EXPECT_TRUE(client->isConnecting());
}

// However a live connection ends, state(STATUS_DISCONNECTED) is raised once,
// after the effects (isConnecting already tells), and an attempt follows one
// connect interval later exactly when re-login is on and armed.
TEST_F(TcpClientTest, HowALiveConnectionEndsDecidesTheReconnect) {
  enum End { kServerClose, kDisconnectDefault, kDisconnectFalse };
  struct Case {
    End end;
    bool auto_relogin;
    bool reconnects;
  };
  for (Case c : {Case{kServerClose, true, true},
                 Case{kDisconnectDefault, true, true},
                 Case{kDisconnectFalse, true, false},
                 Case{kServerClose, false, false},
                 Case{kDisconnectDefault, false, false}}) {
    SCOPED_TRACE(testing::Message() << c.end << "/" << c.auto_relogin);
    struct Probe : CTcpClientEvents {
      CTcpClient* client = nullptr;
      Log seen;
      void state(TCPClientStatusType s) override {
        seen.push_back(std::to_string(s) + ":" +
                       std::to_string(client->isConnecting()));
      }
    } probe;
    Make(std::make_shared<FakeProxyTester>(), &probe);
    probe.client = client.get();
    client->AutoReloginOption(c.auto_relogin);
    auto server = ConnectNow();
    timers->Advance(60000);  // connected: no more attempts
    EXPECT_EQ(socket->ConnectCount(), 1);
    if (c.end == kServerClose) server->Close();
    if (c.end == kDisconnectDefault) client->Disconnect();
    if (c.end == kDisconnectFalse) client->Disconnect(false);
    EXPECT_EQ(probe.seen,
              (Log{"0:0", "1:" + std::to_string(c.reconnects)}));
    timers->Advance(Interval() - 1);
    EXPECT_EQ(socket->ConnectCount(), 1);
    timers->Advance(1);
    EXPECT_EQ(socket->ConnectCount(), c.reconnects ? 2 : 1);
    client->Unadvise(&probe);
  }
}

// Silence for the handshake interval (100 s unless set; any data restarts
// it) drops the connection only for type 1 servers, the default type.
TEST_F(TcpClientTest, SilenceForTheHandshakeIntervalDropsOnlyType1Servers) {
  struct Case {
    int type;  // 0: the default
    int32_t interval;  // 0: the default
  };
  for (Case c : {Case{DisconnectWhenNoHandshakMsgType, 30000},
                 Case{NoDisconnectWhenNoHandshakMsgType, 30000}, Case{0, 0}}) {
    SCOPED_TRACE(c.type);
    Make(std::make_shared<FakeProxyTester>());
    events.events.clear();
    if (c.type != 0) client->ServerType(static_cast<TCPServerTypeEnum>(c.type));
    if (c.interval != 0) client->HandshakeMsgTimer(c.interval);
    const int32_t interval = client->HandshakeMsgTimer();
    EXPECT_EQ(interval, c.interval != 0 ? c.interval : 100000);
    auto server = ConnectNow();
    timers->Advance(20000);
    server->Send("ping+3!");  // any data restarts the full interval
    timers->Advance(interval - 1);
    EXPECT_EQ(client->status(), STATUS_CONNECTED);
    timers->Advance(1);
    bool drops = c.type != NoDisconnectWhenNoHandshakMsgType;
    EXPECT_EQ(events.Count("state:1"), drops ? 1 : 0);
    timers->Advance(Interval());
    EXPECT_EQ(socket->ConnectCount(), drops ? 2 : 1);
  }
}

TEST_F(TcpClientTest, ABurstDrainsOneMessagePerSendTick) {
  auto server = ConnectNow();
  socket->Blocked(true);
  for (int i = 1; i <= 4; ++i) client->Send("m" + std::to_string(i));
  EXPECT_TRUE(socket->SentTexts().empty());
  socket->Blocked(false);
  client->Send("m5");  // one leaves at once: the oldest
  EXPECT_EQ(socket->SentTexts(), Log{"m1"});
  timers->Advance(9);
  EXPECT_EQ(socket->SentTexts().size(), 1u);
  timers->Advance(1);
  EXPECT_EQ(socket->SentTexts().size(), 2u);
  timers->Advance(30);
  EXPECT_EQ(socket->SentTexts(), (Log{"m1", "m2", "m3", "m4", "m5"}));
  EXPECT_EQ(events.Count("sd:2"), 5);
}

TEST_F(TcpClientTest, TheFiveThousandAndFirstMessageIsDropped) {
  auto server = ConnectNow();
  socket->Blocked(true);
  for (int i = 1; i <= 5001; ++i) client->Send(std::to_string(i));
  EXPECT_EQ(events.Count("sd:4"), 4002);  // SentData even for the dropped 5001
  socket->Blocked(false);
  timers->Advance(5000 * 10);
  ASSERT_EQ(socket->SentTexts().size(), 5000u);
  EXPECT_EQ(socket->SentTexts().back(), "5000");
}

TEST_F(TcpClientTest, SendingWhileDisconnectedDropsOnePerTickWithNotConnected) {
  client->Send("hello");
  EXPECT_EQ(events.events, (Log{"sd:5", "notconnected"}));
  socket->Blocked(true);
  client->Send("a");
  client->Send("b");
  socket->Blocked(false);
  timers->Advance(10);
  EXPECT_EQ(events.Count("notconnected"), 2);
  timers->Advance(1000);
  EXPECT_EQ(events.Count("notconnected"), 3);
  EXPECT_TRUE(socket->SentTexts().empty());
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
  EXPECT_EQ(events.Count("notconnected"), 1);
  timers->Advance(10);
  EXPECT_EQ(events.Count("notconnected"), 2);
  timers->Advance(100);
  EXPECT_EQ(events.Count("sd:5"), 4);
  EXPECT_EQ(events.Count("notconnected"), 4);
  client->Unadvise(&resender);
}

// Receive is raised once per complete message; a lost connection drops
// the unsent messages and the incomplete tail.
TEST_F(TcpClientTest, ReceiveFramingAndWhatALostConnectionDrops) {
  auto server = ConnectNow();
  events.events.clear();
  server->Send("A1+3!B22+3!C");
  EXPECT_EQ(events.events, (Log{"rd:12", "recv:A1", "recv:B22"}));
  server->Send("33");
  server->Send("+3!half");
  EXPECT_EQ(events.events.back(), "recv:C33");
  socket->Blocked(true);
  client->Send("x");
  server->Close();
  socket->Blocked(false);
  timers->Advance(Interval());
  auto again = socket->AcceptConnect();
  ASSERT_NE(again, nullptr);
  again->Send("whole+3!");
  client->Send("y");
  timers->Advance(100);
  EXPECT_EQ(socket->SentTexts(), Log{"y"});
  EXPECT_EQ(events.Count("notconnected"), 0);
  EXPECT_EQ(events.Count("recv:C33") + events.Count("recv:whole"), 2);
}

// The ordinary answer to "Change server": a host that reconnects from inside
// Receive, while the socket holds its close event until the handler returns.
// The old connection still ends with state(STATUS_DISCONNECTED), taking its
// unsent messages and its unfinished tail with it.
TEST_F(TcpClientTest, AReconnectFromInsideReceiveIsSeenAsADisconnect) {
  for (bool disconnect_first : {false, true}) {
    SCOPED_TRACE(disconnect_first);
    struct Mover : test::ClientEvents {
      CTcpClient* client = nullptr;
      bool disconnect_first = false;
      void Receive(const std::string& data) override {
        ClientEvents::Receive(data);
        if (data != "move") return;
        if (disconnect_first) client->Disconnect();
        client->Connect();
      }
    } mover;
    Make(std::make_shared<FakeProxyTester>(), &mover);
    mover.client = client.get();
    mover.disconnect_first = disconnect_first;
    auto server = ConnectNow();
    socket->Blocked(true);
    client->Send("old");
    server->Send("move+3!ta");
    socket->Blocked(false);
    auto again = socket->AcceptConnect();
    ASSERT_NE(again, nullptr);
    again->Send("new+3!");
    timers->Advance(100);
    EXPECT_EQ(socket->SentTexts(), Log{});
    EXPECT_EQ(mover.events, (Log{"state:0", "sd:3", "rd:9", "recv:move",
                                 "state:1", "state:0", "rd:6", "recv:new"}));
    client->Unadvise(&mover);
  }
}

// Nothing is reported for a connection that never came up, and Disconnect
// stops the attempts whatever it says about re-login.
TEST_F(TcpClientTest, DisconnectWhileConnectingEndsTheAttemptSilently) {
  for (bool relogin : {true, false}) {
    SCOPED_TRACE(relogin);
    Make(std::make_shared<FakeProxyTester>());
    client->Connect();
    client->Disconnect(relogin);
    EXPECT_EQ(socket->State(), SocketClosed);
    EXPECT_EQ(socket->AcceptConnect(), nullptr);
    EXPECT_EQ(client->isConnecting(), relogin);
    timers->Advance(10 * Interval());
    EXPECT_EQ(socket->ConnectCount(), 1);
    EXPECT_TRUE(events.events.empty());
  }
}

TEST_F(TcpClientTest, ProxySettingsReachTheSocketAndAnUnknownTypeFails) {
  client->ProxyEnabled(true);
  client->proxyAddress("proxy.example");
  client->proxyPort(3128);
  client->ProxyUsername("alice");
  client->ProxyPassword("s3cret");
  client->ProxyType(static_cast<ProxyTypeEnum>(-1));
  client->Connect();  // fails: it must not go around the proxy
  EXPECT_EQ(socket->ConnectCount(), 0);
  client->ProxyType(Socks5Proxy);
  timers->Advance(Interval());
  EXPECT_EQ(socket->ConnectCount(), 1);
  const SocketProxy& proxy = socket->Proxy();
  EXPECT_EQ(proxy.kind, SocketSocks5Proxy);
  EXPECT_EQ(proxy.host + ":" + std::to_string(proxy.port) + ":" + proxy.user +
                ":" + proxy.password,
            "proxy.example:3128:alice:s3cret");
  EXPECT_EQ(socket->ConnectHost(), "trade.example");
  socket->RefuseConnect();
  client->ProxyEnabled(false);
  client->Connect();
  EXPECT_EQ(socket->Proxy().kind, SocketNoProxy);
  EXPECT_TRUE(events.events.empty());
}

TEST_F(TcpClientTest, ProxyTestOutcomes) {
  struct Case {
    int32_t start_result;
    std::vector<int32_t> results;
    int ms_to_outcome;
    std::string outcome;
  };
  for (const Case& c : {Case{0, {-1, -1, 0}, 300, "proxy:2:"},
                        Case{0, {-1, 1}, 200, "proxy:3:refused"},
                        Case{7, {}, 0, "proxy:3:cannot start"}}) {
    SCOPED_TRACE(c.outcome);
    Make(std::make_shared<FakeProxyTester>());
    events.events.clear();
    tester->start_result = c.start_result;
    tester->results = c.results;
    tester->failure_text = "refused";
    tester->last_error = "cannot start";
    client->TestProxy("10.1.2.3", 1080, "bob", "pw", Socks4Proxy);
    EXPECT_EQ(tester->started, Log{"10.1.2.3:1080:bob:pw:1"});
    EXPECT_EQ(client->proxyAddress(), "");  // its own fields stay alone
    if (c.ms_to_outcome > 0) {
      // Still testing: nothing is raised, even while attempts run.
      client->Connect();
      timers->Advance(c.ms_to_outcome - 1);
      EXPECT_TRUE(events.events.empty());
      timers->Advance(1);
    }
    EXPECT_EQ(events.events, Log{c.outcome});
    int polls = tester->polls;
    timers->Advance(1000);
    EXPECT_EQ(tester->polls, polls);
    EXPECT_EQ(tester->closes, 0);
  }
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

// A handler may drop the client, whether the event came from the socket or
// from inside the host's own call.
TEST_F(TcpClientTest, AHandlerMayDropTheClient) {
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
  for (int how = 0; how < 5; ++how) {
    SCOPED_TRACE(how);
    Make(std::make_shared<FakeProxyTester>(), &dropper);
    tester->start_result = 1;
    std::shared_ptr<MemorySocket> server;
    if (how >= 2) server = ConnectNow();
    switch (how) {
      case 0: client->Send("x"); break;
      case 1: client->TestProxy("p", 1, "", "", HTTPProxy); break;
      case 2: client->Connect(); break;  // closes the live connection first
      case 3: client->Disconnect(); break;
      case 4: server->Close(); break;
    }
    EXPECT_EQ(client, nullptr);
    EXPECT_EQ(socket->State(), SocketClosed);
    int attempts = socket->ConnectCount();
    timers->Advance(60000);  // its timers died with it
    EXPECT_EQ(socket->ConnectCount(), attempts);
  }
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

// Every input the fuzz target keeps (its seeds and the crashers it found)
// still keeps every rule, so a regression shows without a fuzzing build.
TEST(TcpClientReentrancyTest, TheFuzzCorpusKeepsEveryRule) {
  const char* root = std::getenv("ORVANE_SOURCE_DIR");
  ASSERT_NE(root, nullptr) << "ORVANE_SOURCE_DIR names the source tree";
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(
           std::filesystem::path(root) / "fuzz/corpus/tcp_client_reentrancy")) {
    std::ifstream file(entry.path(), std::ios::binary);
    const std::string input{std::istreambuf_iterator<char>(file), {}};
    EXPECT_EQ(test::TcpClientReentrancy::Run(input), "")
        << entry.path().filename();
    ++inputs;
  }
  EXPECT_GT(inputs, 0);
}

}  // namespace
}  // namespace orvane
