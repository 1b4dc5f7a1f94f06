// The seams' in-memory implementations the other tests run on: sockets, the
// network that joins them to acceptors, and virtual time.

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "connection/client_events.h"
#include "orvane/connection/tcp_client.h"
#include "orvane/core/clock.h"
#include "orvane/core/error.h"
#include "orvane/testing/memory_acceptor.h"
#include "orvane/testing/memory_network.h"
#include "orvane/testing/memory_socket.h"
#include "orvane/testing/virtual_timer.h"

namespace orvane {
namespace {

// Records every event as text: "state:N" or "recv:<text read>".
class Recorder : public ISocketEvents {
 public:
  void State(ISocket& socket, SocketStateEnum state) override {
    (void)socket;
    log.push_back("state:" + std::to_string(state));
  }
  void Receive(ISocket& socket) override {
    log.push_back("recv:" + socket.Receive());
  }
  std::vector<std::string> log;
};

// A pair joins at once; what the other end sends piles up until read.
TEST(MemorySocketTest, APairIsJoinedAndKeepsWhatWasSent) {
  auto [a, b] = MemorySocket::CreatePair(50007, 4500);
  EXPECT_EQ(a->RemotePort(), 4500);
  EXPECT_EQ(b->RemotePort(), 50007);
  EXPECT_EQ(b->RemoteAddress(), "127.0.0.1");
  a->Send("one");
  a->Send("two");
  EXPECT_EQ(a->SentTexts(), (std::vector<std::string>{"one", "two"}));
  b->Send("abc");
  b->Send("def");
  EXPECT_EQ(a->Receive(), "abcdef");
  EXPECT_EQ(a->Receive(), "");
}

TEST(MemorySocketTest, CloseCountsOnTheEndThatClosed) {
  auto [a, b] = MemorySocket::CreatePair();
  a->Send("last words");
  b->Close();
  EXPECT_EQ(a->State(), SocketClosed);
  EXPECT_EQ(b->CloseCount(), 1);
  EXPECT_EQ(a->CloseCount(), 0);
  EXPECT_THROW(a->Send("late"), Error);
  EXPECT_EQ(a->SentTexts(), (std::vector<std::string>{"last words"}));
}

TEST(MemorySocketTest, ConnectIsDecidedByTheTest) {
  auto client = MemorySocket::Create();
  Recorder rc;
  client->Advise(&rc);
  EXPECT_EQ(client->AcceptConnect(), nullptr);  // nothing pending

  client->Connect("trade.example", 4500);
  EXPECT_EQ(client->State(), SocketConnecting);
  EXPECT_EQ(client->RemotePort(), 0);  // not connected yet
  EXPECT_THROW(client->Connect("trade.example", 4500), Error);  // busy
  client->RefuseConnect();
  EXPECT_EQ(client->State(), SocketClosed);

  client->Connect("trade.example", 4501);
  auto server = client->AcceptConnect();
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(client->RemoteAddress(), "trade.example");
  EXPECT_EQ(client->RemotePort(), 4501);
  EXPECT_EQ(client->ConnectCount(), 2);
  EXPECT_EQ(rc.log, (std::vector<std::string>{"state:1", "state:0", "state:1",
                                              "state:2"}));
  client->Send("hello");
  EXPECT_EQ(server->Receive(), "hello");
}

TEST(MemorySocketTest, BadConnectAndTestFailuresChangeNothing) {
  auto s = MemorySocket::Create();
  s->FailConnect(true);
  EXPECT_THROW(s->Connect("h", 80), Error);
  EXPECT_EQ(s->State(), SocketClosed);
  EXPECT_EQ(s->ConnectCount(), 0);

  auto [a, b] = MemorySocket::CreatePair();
  a->FailSend(true);
  EXPECT_THROW(a->Send("x"), Error);
  EXPECT_EQ(b->Receive(), "");
  a->FailSend(false);
  a->Blocked(true);
  a->Send("y");  // blocked is advisory
  EXPECT_EQ(b->Receive(), "y");
}

// A socket without a lending read of its own lends what Receive gives: the
// text counts as read, and the loan survives a reply sent and a Receive
// made from inside the handler.
TEST(MemorySocketTest, ReceiveViewLendsTheUnreadTextAndReadsIt) {
  auto [a, b] = MemorySocket::CreatePair();
  struct Lender : ISocketEvents {
    void Receive(ISocket& socket) override {
      std::string_view view = socket.ReceiveView();
      socket.Send("ack");
      after.push_back(socket.Receive());
      seen.emplace_back(view);
    }
    std::vector<std::string> seen;
    std::vector<std::string> after;
  } lender;
  b->Advise(&lender);
  a->Send("first");
  a->Send("second");
  EXPECT_EQ(lender.seen, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(lender.after, (std::vector<std::string>{"", ""}));
  EXPECT_EQ(a->Receive(), "ackack");
  b->Unadvise(&lender);
  a->Send("x");
  a->Send("yz");
  EXPECT_EQ(b->ReceiveView(), "xyz");
  EXPECT_EQ(b->ReceiveView(), "");
}

// Deferred delivery: text and close reach the peer on a later turn, in
// order; text on its way is dropped when its connection is gone by then,
// even if the receiving socket has joined a new one.
TEST(MemorySocketTest, DeferredDeliveryArrivesOnALaterTurnInOrder) {
  auto loop = std::make_shared<VirtualTimeScheduler>();
  Recorder ra, rb;
  auto [a, b] = MemorySocket::CreatePair();
  a->DeferDelivery(loop);
  b->DeferDelivery(loop);
  a->Advise(&ra);
  b->Advise(&rb);
  a->Send("one");
  a->Send("two");
  EXPECT_EQ(a->UnsentBytes(), 6u);
  a->Close();
  EXPECT_EQ(a->UnsentBytes(), 0u);  // still on its way, no longer a's
  EXPECT_EQ(ra.log, (std::vector<std::string>{"state:0"}));
  EXPECT_TRUE(rb.log.empty());
  EXPECT_EQ(b->State(), SocketConnected);
  b->Send("lost");  // a has closed: dropped on arrival
  loop->Advance(0);
  EXPECT_EQ(rb.log,
            (std::vector<std::string>{"recv:one", "recv:two", "state:0"}));
  EXPECT_EQ(ra.log.size(), 1u);

  auto client = MemorySocket::Create();
  client->Connect("trade.example", 4500);
  auto server = client->AcceptConnect();
  server->DeferDelivery(loop);
  server->Send("old");
  client->Close();
  client->Connect("trade.example", 4500);
  auto again = client->AcceptConnect();
  loop->RunUntilIdle();
  EXPECT_EQ(client->Receive(), "");
  a->Unadvise(&ra);
  b->Unadvise(&rb);
}

// A reader that stops reading: what is sent to it backs up at the sender,
// on its way or held back alike, and Blocked() turns true just past the
// threshold; resuming hands it all over, a close drops it.
TEST(MemorySocketTest, AStoppedReaderBacksUpTheSender) {
  auto loop = std::make_shared<VirtualTimeScheduler>();
  Recorder rb;
  auto [a, b] = MemorySocket::CreatePair();
  b->Advise(&rb);
  a->DeferDelivery(loop);
  a->BlockedThreshold(10);
  b->StopReading();
  a->Send("12345");
  EXPECT_EQ(a->UnsentBytes(), 5u);
  loop->RunUntilIdle();
  EXPECT_EQ(a->UnsentBytes(), 5u);  // arrived, not taken
  a->Send("67890");
  loop->RunUntilIdle();
  EXPECT_FALSE(a->Blocked());
  a->Send("1");
  EXPECT_TRUE(a->Blocked());  // 10 held back and 1 on its way
  loop->RunUntilIdle();
  EXPECT_TRUE(rb.log.empty());
  b->ResumeReading();
  EXPECT_EQ(rb.log, (std::vector<std::string>{"recv:12345678901"}));
  EXPECT_EQ(a->UnsentBytes(), 0u);
  EXPECT_FALSE(a->Blocked());

  b->StopReading();
  a->Send("dropped");
  loop->RunUntilIdle();
  a->Close();
  loop->RunUntilIdle();
  b->ResumeReading();
  EXPECT_EQ(rb.log.back(), "state:0");
  EXPECT_EQ(b->Receive(), "");
  EXPECT_EQ(a->UnsentBytes(), 0u);
}

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

  std::vector<test::ClientEvents> seen(3);
  std::vector<std::shared_ptr<CTcpClient>> terminals;
  for (test::ClientEvents& terminal : seen) {
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
  EXPECT_EQ(seen[1].events, (std::vector<std::string>{"state:0", "sd:5", "rd:8", "recv:hello"}));

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

TEST(VirtualTimerTest, DueTicksFireInTimeOrderThenArmingOrder) {
  VirtualTimeScheduler scheduler;
  std::vector<std::string> log;
  auto fast = scheduler.CreateTimer();
  auto slow = scheduler.CreateTimer();
  auto twin = scheduler.CreateTimer();
  fast->OnTick([&] { log.push_back("fast@" + std::to_string(scheduler.Elapsed())); });
  slow->OnTick([&] { log.push_back("slow@" + std::to_string(scheduler.Elapsed())); });
  twin->OnTick([&] { log.push_back("twin@" + std::to_string(scheduler.Elapsed())); });
  slow->Interval(25);
  twin->Interval(50);
  fast->Interval(10);
  twin->Enabled(true);  // armed before slow: fires first at 50
  slow->Enabled(true);
  fast->Enabled(true);
  scheduler.Advance(50);
  EXPECT_EQ(log, (std::vector<std::string>{
                     "fast@10", "fast@20", "slow@25", "fast@30", "fast@40",
                     "twin@50", "slow@50", "fast@50"}));
  EXPECT_EQ(scheduler.TickCount(), 8);
}

TEST(VirtualTimerTest, AdvanceMovesTheClockToEachTick) {
  auto clock = std::make_shared<FixedClock>(DateTime::FromParts(2026, 3, 1, 12, 0, 0));
  ScopedClock scoped(clock);
  VirtualTimeScheduler scheduler(clock);
  auto timer = scheduler.CreateTimer();
  std::vector<int> seconds;
  timer->Interval(2000);
  timer->OnTick([&] { seconds.push_back(Now().Second()); });
  timer->Enabled(true);
  scheduler.Advance(5000);
  EXPECT_EQ(seconds, (std::vector<int>{2, 4}));
  EXPECT_EQ(Now().Second(), 5);
}

// Posted work waits for a turn, runs in posting order (work it posts runs
// in the same RunUntilIdle), and settles after each tick before the next.
TEST(VirtualTimerTest, PostedWorkRunsOnLaterTurnsAndSettlesBetweenTicks) {
  VirtualTimeScheduler loop;
  std::vector<std::string> log;
  loop.Post([&] {
    log.push_back("a");
    loop.Post([&] { log.push_back("c"); });
  });
  loop.Post([&] { log.push_back("b"); });
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(loop.PendingTasks(), 2u);
  EXPECT_EQ(loop.RunUntilIdle(), 3);
  EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "c"}));

  log.clear();
  auto timer = loop.CreateTimer();
  timer->Interval(10);
  timer->OnTick([&] {
    log.push_back("tick" + std::to_string(loop.Elapsed()));
    loop.Post([&] { log.push_back("post" + std::to_string(loop.Elapsed())); });
  });
  timer->Enabled(true);
  loop.Post([&] { log.push_back("first"); });
  loop.Advance(20);
  EXPECT_EQ(log, (std::vector<std::string>{"first", "tick10", "post10",
                                           "tick20", "post20"}));
  EXPECT_EQ(loop.RunUntilIdle(), 0);
}

}  // namespace
}  // namespace orvane
