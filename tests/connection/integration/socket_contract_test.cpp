// The rules every ISocket keeps, checked on an in-memory connection and on
// an Asio socket over real loopback; then what only the Asio socket does.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "orvane/asio/asio_socket.h"
#include "orvane/core/error.h"
#include "orvane/testing/memory_socket.h"
#include "peers.h"

namespace orvane {
namespace {

using test::RunFor;
using test::RunUntil;

// Records one socket's events and fails a test whose events nest.
class SocketLog : public ISocketEvents {
 public:
  void State(ISocket&, SocketStateEnum s) override {
    EXPECT_FALSE(m_inside) << "socket events nested";
    states.push_back(s);
  }
  void Receive(ISocket& socket) override {
    EXPECT_FALSE(m_inside) << "socket events nested";
    m_inside = true;
    const std::string text = socket.Receive();
    data += text;
    ++receives;
    if (on_text) on_text(socket, text);
    m_inside = false;
  }
  bool Has(SocketStateEnum s) const {
    return std::find(states.begin(), states.end(), s) != states.end();
  }

  std::vector<SocketStateEnum> states;
  std::string data;
  int receives = 0;
  std::function<void(ISocket&, const std::string&)> on_text;

 private:
  bool m_inside = false;
};

// A client connected by the test to the server end it accepts.
struct MemoryLink {
  int Port() const { return 4500; }
  void Connect() {
    client->Connect("127.0.0.1", Port());
    server = client->AcceptConnect();
  }
  bool Settle(const std::function<bool()>& done) { return done(); }
  void Pause() {}
  std::shared_ptr<ISocket> server;
  std::shared_ptr<MemorySocket> client = MemorySocket::Create();
};

// A client connected over loopback to the test's listener.
struct AsioLink {
  int Port() const { return listener.Port(); }
  void Connect() {
    const size_t accepted = listener.children.size();
    client->Connect("127.0.0.1", Port());
    if (Settle([&] { return ClientConnected() && listener.children.size() > accepted; })) {
      server = listener.children.back();
      server->Unadvise(&listener);
    }
  }
  bool ClientConnected() const { return client->State() == SocketConnected; }
  bool Settle(const std::function<bool()>& done) { return RunUntil(io, done); }
  void Pause() { RunFor(io, std::chrono::milliseconds(1)); }
  asio::io_context io;
  test::TestServer listener{io};
  std::shared_ptr<ISocket> server;
  std::shared_ptr<AsioSocket> client = std::make_shared<AsioSocket>(io);
};

template <class Link>
class SocketContractTest : public ::testing::Test {
 protected:
  void SetUp() override { link.client->Advise(&client_log); }
  void TearDown() override {
    if (link.client) link.client->Unadvise(&client_log);
    if (link.server) link.server->Unadvise(&server_log);
  }
  void Connect() {
    link.Connect();
    ASSERT_NE(link.server, nullptr);
    link.server->Advise(&server_log);
  }
  // Only a real socket tells why it closed.
  static constexpr bool kTellsWhy = std::is_same_v<Link, AsioLink>;

  Link link;
  SocketLog client_log;
  SocketLog server_log;
};

using Links = ::testing::Types<MemoryLink, AsioLink>;
TYPED_TEST_SUITE(SocketContractTest, Links);

TYPED_TEST(SocketContractTest, CarriesTextBothWaysInOrder) {
  ASSERT_NO_FATAL_FAILURE(this->Connect());
  auto& client = *this->link.client;
  EXPECT_EQ(this->client_log.states,
            (std::vector<SocketStateEnum>{SocketConnecting, SocketConnected}));
  EXPECT_EQ(client.RemoteAddress(), "127.0.0.1");
  EXPECT_EQ(client.RemotePort(), this->link.Port());
  EXPECT_GT(this->link.server->RemotePort(), 0);
  EXPECT_EQ(this->link.server->State(), SocketConnected);
  client.Send("LOGIN+3!");
  client.Send("");
  client.Send("PING+3!");
  ASSERT_TRUE(this->link.Settle([&] { return this->server_log.data.size() == 15; }));
  EXPECT_EQ(this->server_log.data, "LOGIN+3!PING+3!");
  this->link.server->Send("OK+3!");
  ASSERT_TRUE(this->link.Settle([&] { return this->client_log.data == "OK+3!"; }));
}

TYPED_TEST(SocketContractTest, ConnectRefusesBadPortsAndABusySocket) {
  auto& client = *this->link.client;
  EXPECT_THROW(client.Connect("127.0.0.1", 0), Error);
  EXPECT_THROW(client.Connect("127.0.0.1", 65536), Error);
  EXPECT_TRUE(this->client_log.states.empty());
  ASSERT_NO_FATAL_FAILURE(this->Connect());
  EXPECT_THROW(client.Connect("127.0.0.1", this->link.Port()), Error);
  EXPECT_EQ(client.State(), SocketConnected);
}

TYPED_TEST(SocketContractTest, APeerCloseComesAfterItsLastText) {
  ASSERT_NO_FATAL_FAILURE(this->Connect());
  this->link.server->Send("BYE+3!");
  this->link.server->Close();
  ASSERT_TRUE(this->link.Settle([&] { return this->client_log.Has(SocketClosed); }));
  EXPECT_EQ(this->client_log.data, "BYE+3!");
  EXPECT_EQ(this->link.client->RemotePort(), 0);
  if constexpr (TestFixture::kTellsWhy) {
    EXPECT_FALSE(this->link.client->LastError().empty());
  }
}

// A socket's own close is reported at once, reaches the peer after the text
// sent before it, happens only once, and leaves a socket that refuses text.
TYPED_TEST(SocketContractTest, CloseReportsAtOnceAndThePeerSeesIt) {
  ASSERT_NO_FATAL_FAILURE(this->Connect());
  auto& client = *this->link.client;
  client.Send("BYE+3!");  // text sent just before the close still leaves
  client.SendShared(std::make_shared<const std::string>("END+3!"));
  client.Close();
  EXPECT_EQ(this->client_log.states.back(), SocketClosed);
  if constexpr (TestFixture::kTellsWhy) {
    EXPECT_TRUE(client.LastError().empty());
  }
  ASSERT_TRUE(this->link.Settle([&] { return this->server_log.Has(SocketClosed); }));
  EXPECT_EQ(this->server_log.data, "BYE+3!END+3!");
  client.Close();
  EXPECT_EQ(this->client_log.states.size(), 3u);
  EXPECT_THROW(client.Send("late"), Error);
}

// A reply or a close made inside a handler takes effect after it returns.
TYPED_TEST(SocketContractTest, WorkDoneInsideAHandlerIsRaisedAfterIt) {
  ASSERT_NO_FATAL_FAILURE(this->Connect());
  this->client_log.on_text = [](ISocket& socket, const std::string& text) {
    if (text == "ping") socket.Send("pong");
    if (text == "ping-again") socket.Close();
  };
  this->server_log.on_text = [](ISocket& socket, const std::string& text) {
    if (text == "pong") socket.Send("ping-again");
  };
  this->link.server->Send("ping");
  ASSERT_TRUE(this->link.Settle([&] { return this->client_log.Has(SocketClosed); }));
  EXPECT_EQ(this->client_log.data, "pingping-again");
  EXPECT_EQ(this->client_log.receives, 2);
  EXPECT_EQ(this->server_log.data, "pong");
}

TYPED_TEST(SocketContractTest, AHandlerMayReleaseItsSocket) {
  ASSERT_NO_FATAL_FAILURE(this->Connect());
  this->link.client->Unadvise(&this->client_log);
  struct Dropper : ISocketEvents {
    explicit Dropper(TypeParam* l) : link(l) {}
    void Receive(ISocket&) override { link->client.reset(); }
    TypeParam* link;
  } dropper(&this->link);
  this->link.client->Advise(&dropper);
  this->link.server->Send("bye");
  ASSERT_TRUE(this->link.Settle([&] { return this->link.client == nullptr; }));
  ASSERT_TRUE(this->link.Settle([&] { return this->server_log.Has(SocketClosed); }));
}

// Lent chunks, chunks left unread by one event and chunks read by copy all
// come out once and in order, however the handler mixes the two reads.
TYPED_TEST(SocketContractTest, LentAndCopiedReadsTogetherGiveTheStreamInOrder) {
  struct Mixer : ISocketEvents {
    void Receive(ISocket& socket) override {
      switch (events++ % 3) {
        case 0: break;  // left for the next event
        case 1: got.append(socket.ReceiveView()); break;
        default: got += socket.Receive(); break;
      }
    }
    int events = 0;
    std::string got;
  } mixer;
  ASSERT_NO_FATAL_FAILURE(this->Connect());
  auto& client = *this->link.client;
  client.Unadvise(&this->client_log);
  client.Advise(&mixer);
  std::string sent;
  for (int i = 0; i < 40; ++i) {
    const std::string piece =
        std::to_string(i) + std::string(997 * (i % 5) + 1, char('a' + i % 26));
    sent += piece;
    this->link.server->Send(piece);
    this->link.Pause();
  }
  const std::string big(300 * 1024, 'z');
  sent += big;
  this->link.server->Send(big);
  this->link.server->LingerSeconds(5);
  this->link.server->Close();
  ASSERT_TRUE(this->link.Settle([&] { return client.State() == SocketClosed; }));
  mixer.got += client.Receive();
  client.Unadvise(&mixer);
  EXPECT_GT(mixer.events, 3);
  EXPECT_EQ(mixer.got.size(), sent.size());
  EXPECT_TRUE(mixer.got == sent);
}

// What only the Asio socket does, on the same loopback link.
class AsioSocketTest : public SocketContractTest<AsioLink> {
 protected:
  bool ConnectTo(const std::string& host, int port) {
    link.client->Connect(host, port);
    return link.Settle([&] {
      return link.client->State() == SocketConnected || link.client->State() == SocketClosed;
    }) && link.ClientConnected();
  }
};

TEST_F(AsioSocketTest, RefusedAndUnknownHostsEndClosedWithAReason) {
  auto& socket = *link.client;
  EXPECT_THROW(socket.Connect("", 80), Error);
  int closed_port = test::FreePort();
  EXPECT_FALSE(ConnectTo("127.0.0.1", closed_port));
  EXPECT_EQ(client_log.states, (std::vector<SocketStateEnum>{SocketConnecting, SocketClosed}));
  EXPECT_NE(socket.LastError().find(std::to_string(closed_port)), std::string::npos);
  EXPECT_EQ(socket.RemotePort(), 0);
  EXPECT_THROW(socket.Send("x"), Error);
  EXPECT_FALSE(ConnectTo("no-such-host.invalid", 80));
  EXPECT_NE(socket.LastError().find("cannot resolve"), std::string::npos);
  // The socket can try again, by name too.
  EXPECT_TRUE(ConnectTo("localhost", link.Port()));
}

// Text a handler leaves unread when it closes and connects again belongs to
// the old connection and is not offered on the new one.
TEST_F(AsioSocketTest, UnreadTextOfAConnectionClosedInAHandlerIsDropped) {
  struct Reconnect : ISocketEvents {
    void Receive(ISocket& socket) override {
      if (reconnected) {
        got.append(socket.ReceiveView());
        return;
      }
      reconnected = true;
      socket.Close();
      socket.Connect("127.0.0.1", port);
    }
    int port = 0;
    bool reconnected = false;
    std::string got;
  } reconnect;
  reconnect.port = link.Port();
  auto& children = link.listener.children;
  link.client->Unadvise(&client_log);
  link.client->Advise(&reconnect);
  ASSERT_TRUE(ConnectTo("127.0.0.1", link.Port()));
  ASSERT_TRUE(link.Settle([&] { return children.size() == 1; }));
  children[0]->Send("OLD+3!");
  ASSERT_TRUE(link.Settle([&] { return reconnect.reconnected && link.ClientConnected(); }));
  EXPECT_EQ(link.client->Receive(), "");
  EXPECT_EQ(link.client->ReceiveView(), "");
  ASSERT_TRUE(link.Settle([&] { return children.size() == 2; }));
  children[1]->Send("NEW+3!");
  ASSERT_TRUE(link.Settle([&] { return reconnect.got == "NEW+3!"; }));
  link.client->Unadvise(&reconnect);
}

// A peer that accepts but reads only when told.
class SlowReader {
 public:
  explicit SlowReader(asio::io_context& io)
      : m_acceptor(io, {asio::ip::make_address("127.0.0.1"), 0}), m_socket(io) {
    m_acceptor.async_accept(m_socket, [](std::error_code) {});
  }
  int Port() const { return m_acceptor.local_endpoint().port(); }
  void ReadAll() {
    m_socket.async_read_some(asio::buffer(m_buffer), [this](std::error_code ec, size_t n) {
      received += n;
      if (ec) {
        ended = true;
        return;
      }
      ReadAll();
    });
  }
  size_t received = 0;
  bool ended = false;

 private:
  asio::ip::tcp::acceptor m_acceptor;
  asio::ip::tcp::socket m_socket;
  std::array<char, 65536> m_buffer;
};

TEST_F(AsioSocketTest, BlockedWhileUnsentTextExceedsTheBoundThenClears) {
  SlowReader peer(link.io);
  ASSERT_TRUE(ConnectTo("127.0.0.1", peer.Port()));
  auto& socket = *link.client;
  const std::string chunk(256 * 1024, 'p');
  size_t sent = 0;
  while (!socket.Blocked() && sent < 256 * chunk.size()) {
    socket.Send(chunk);
    sent += chunk.size();
    link.Pause();
  }
  ASSERT_TRUE(socket.Blocked());
  const ISocket& seen_by_host = socket;  // as a server reads it
  EXPECT_GT(seen_by_host.UnsentBytes(), AsioSocket::kBlockedBytes);
  peer.ReadAll();
  ASSERT_TRUE(link.Settle([&] { return !socket.Blocked(); }));
  ASSERT_TRUE(link.Settle([&] { return peer.received == sent; }));
  EXPECT_EQ(seen_by_host.UnsentBytes(), 0u);
}

TEST_F(AsioSocketTest, ATurnsTextsLeaveAfterItInOrderSharedOnesByReference) {
  ASSERT_TRUE(ConnectTo("127.0.0.1", link.Port()));
  auto& socket = *link.client;
  auto& server = link.listener;
  auto price = std::make_shared<const std::string>("PRICE+3!");
  socket.Send("A+3!");
  socket.SendShared(price);
  socket.Send("B+3!");
  socket.SendShared(price);
  // Nothing has left yet, and the shared text is held, not copied.
  EXPECT_EQ(socket.UnsentBytes(), 24u);
  EXPECT_EQ(price.use_count(), 3);
  ASSERT_TRUE(link.Settle([&] {
    return server.received.size() == 24 && socket.UnsentBytes() == 0 && price.use_count() == 1;
  }));
  EXPECT_EQ(server.received, "A+3!PRICE+3!B+3!PRICE+3!");
  EXPECT_EQ(server.receives, 1);  // one write, read as one chunk
}

TEST_F(AsioSocketTest, TextUnsentAtCloseStillLeaves) {
  SlowReader peer(link.io);
  auto& socket = *link.client;
  socket.LingerSeconds(5);
  ASSERT_TRUE(ConnectTo("127.0.0.1", peer.Port()));
  const std::string chunk(1 << 20, 'q');
  for (int i = 0; i < 32; ++i) socket.Send(chunk);
  RunFor(link.io, std::chrono::milliseconds(5));
  ASSERT_GT(socket.UnsentBytes(), 0u);
  socket.Close();
  EXPECT_EQ(socket.State(), SocketClosed);
  EXPECT_EQ(socket.UnsentBytes(), 0u);  // leaving, no longer this socket's
  peer.ReadAll();
  ASSERT_TRUE(link.Settle([&] { return peer.ended; }));
  EXPECT_EQ(peer.received, 32u * chunk.size());
}

}  // namespace
}  // namespace orvane
