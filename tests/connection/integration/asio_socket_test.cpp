#include "orvane/connection/asio_socket.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "orvane/core/error.h"
#include "peers.h"

namespace orvane {
namespace {

using test::RunFor;
using test::RunUntil;
using test::TestServer;

class SocketLog : public ISocketEvents {
 public:
  void State(ISocket&, SocketStateEnum s) override {
    EXPECT_FALSE(m_inside) << "socket events nested";
    states.push_back(s);
  }
  void Receive(ISocket& socket) override {
    EXPECT_FALSE(m_inside) << "socket events nested";
    m_inside = true;
    data += socket.Receive();
    ++receives;
    if (close_on_receive) socket.Close();
    m_inside = false;
  }
  bool Has(SocketStateEnum s) const {
    return std::find(states.begin(), states.end(), s) != states.end();
  }

  std::vector<SocketStateEnum> states;
  std::string data;
  int receives = 0;
  bool close_on_receive = false;

 private:
  bool m_inside = false;
};

class AsioSocketTest : public ::testing::Test {
 protected:
  void SetUp() override { socket->Advise(&log); }
  void TearDown() override { socket->Unadvise(&log); }

  bool ConnectTo(const std::string& host, int port) {
    socket->Connect(host, port);
    return RunUntil(io, [&] {
      return socket->State() == SocketConnected ||
             socket->State() == SocketClosed;
    }) && socket->State() == SocketConnected;
  }

  asio::io_context io;
  TestServer server{io};
  std::shared_ptr<AsioSocket> socket = std::make_shared<AsioSocket>(io);
  SocketLog log;
};

TEST_F(AsioSocketTest, ConnectsAndCarriesTextBothWaysInOrder) {
  ASSERT_TRUE(ConnectTo("127.0.0.1", server.Port()));
  EXPECT_EQ(log.states,
            (std::vector<SocketStateEnum>{SocketConnecting, SocketConnected}));
  EXPECT_EQ(socket->RemoteAddress(), "127.0.0.1");
  EXPECT_EQ(socket->RemotePort(), server.Port());
  socket->Send("LOGIN+3!");
  socket->Send("");
  socket->Send("PING+3!");
  ASSERT_TRUE(RunUntil(io, [&] { return server.received.size() == 15; }));
  EXPECT_EQ(server.received, "LOGIN+3!PING+3!");
  ASSERT_EQ(server.children.size(), 1u);
  EXPECT_GT(server.children[0]->RemotePort(), 0);
  EXPECT_EQ(server.children[0]->State(), SocketConnected);
  server.children[0]->Send("OK+3!");
  ASSERT_TRUE(RunUntil(io, [&] { return log.data == "OK+3!"; }));
}

TEST_F(AsioSocketTest, RefusedAndUnknownHostsEndClosedWithAReason) {
  int closed_port = test::FreePort();
  EXPECT_FALSE(ConnectTo("127.0.0.1", closed_port));
  EXPECT_EQ(log.states,
            (std::vector<SocketStateEnum>{SocketConnecting, SocketClosed}));
  EXPECT_NE(socket->LastError().find(std::to_string(closed_port)),
            std::string::npos);
  EXPECT_EQ(socket->RemotePort(), 0);
  EXPECT_THROW(socket->Send("x"), Error);
  EXPECT_FALSE(ConnectTo("no-such-host.invalid", 80));
  EXPECT_NE(socket->LastError().find("cannot resolve"), std::string::npos);
  // The socket can try again, by name too.
  EXPECT_TRUE(ConnectTo("localhost", server.Port()));
}

TEST_F(AsioSocketTest, ConnectRefusesBadArgumentsAndABusySocket) {
  EXPECT_THROW(socket->Connect("127.0.0.1", 0), Error);
  EXPECT_THROW(socket->Connect("127.0.0.1", 65536), Error);
  EXPECT_THROW(socket->Connect("", 80), Error);
  EXPECT_TRUE(log.states.empty());
  socket->Connect("127.0.0.1", server.Port());
  EXPECT_THROW(socket->Connect("127.0.0.1", server.Port()), Error);
  EXPECT_TRUE(RunUntil(io, [&] { return socket->State() == SocketConnected; }));
}

TEST_F(AsioSocketTest, APeerCloseComesAfterItsLastText) {
  ASSERT_TRUE(ConnectTo("127.0.0.1", server.Port()));
  ASSERT_TRUE(RunUntil(io, [&] { return server.children.size() == 1; }));
  server.children[0]->Send("BYE+3!");
  server.children[0]->Close();
  ASSERT_TRUE(RunUntil(io, [&] { return log.Has(SocketClosed); }));
  EXPECT_EQ(log.data, "BYE+3!");
  EXPECT_EQ(socket->RemotePort(), 0);
  EXPECT_FALSE(socket->LastError().empty());
}

TEST_F(AsioSocketTest, CloseReportsAtOnceAndThePeerSeesIt) {
  ASSERT_TRUE(ConnectTo("127.0.0.1", server.Port()));
  socket->Close();
  EXPECT_EQ(log.states.back(), SocketClosed);
  EXPECT_TRUE(socket->LastError().empty());
  ASSERT_TRUE(RunUntil(io, [&] { return server.closed == 1; }));
  socket->Close();  // closing a closed socket does nothing
  EXPECT_EQ(log.states.size(), 3u);
}

TEST_F(AsioSocketTest, CloseInsideAHandlerIsRaisedAfterIt) {
  log.close_on_receive = true;
  ASSERT_TRUE(ConnectTo("127.0.0.1", server.Port()));
  ASSERT_TRUE(RunUntil(io, [&] { return server.children.size() == 1; }));
  server.children[0]->Send("X+3!");
  ASSERT_TRUE(RunUntil(io, [&] { return log.Has(SocketClosed); }));
  EXPECT_EQ(log.receives, 1);
}

// Lent chunks, chunks left unread by one event and chunks read by copy all
// come out once and in order, however the handler mixes the two reads.
TEST_F(AsioSocketTest, LentAndCopiedReadsTogetherGiveTheStreamInOrder) {
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
  socket->Unadvise(&log);
  socket->Advise(&mixer);
  ASSERT_TRUE(ConnectTo("127.0.0.1", server.Port()));
  ASSERT_TRUE(RunUntil(io, [&] { return server.children.size() == 1; }));
  std::string sent;
  for (int i = 0; i < 40; ++i) {
    const std::string piece = std::to_string(i) + std::string(997 * (i % 5) + 1, char('a' + i % 26));
    sent += piece;
    server.children[0]->Send(piece);
    RunFor(io, std::chrono::milliseconds(1));
  }
  const std::string big(300 * 1024, 'z');
  sent += big;
  server.children[0]->Send(big);
  server.children[0]->LingerSeconds(5);
  server.children[0]->Close();
  ASSERT_TRUE(RunUntil(io, [&] { return socket->State() == SocketClosed; }));
  mixer.got += socket->Receive();
  socket->Unadvise(&mixer);
  EXPECT_GT(mixer.events, 3);
  EXPECT_EQ(mixer.got.size(), sent.size());
  EXPECT_TRUE(mixer.got == sent);
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
  reconnect.port = server.Port();
  socket->Unadvise(&log);
  socket->Advise(&reconnect);
  ASSERT_TRUE(ConnectTo("127.0.0.1", server.Port()));
  ASSERT_TRUE(RunUntil(io, [&] { return server.children.size() == 1; }));
  server.children[0]->Send("OLD+3!");
  ASSERT_TRUE(RunUntil(io, [&] {
    return reconnect.reconnected && socket->State() == SocketConnected;
  }));
  EXPECT_EQ(socket->Receive(), "");
  EXPECT_EQ(socket->ReceiveView(), "");
  ASSERT_TRUE(RunUntil(io, [&] { return server.children.size() == 2; }));
  server.children[1]->Send("NEW+3!");
  ASSERT_TRUE(RunUntil(io, [&] { return reconnect.got == "NEW+3!"; }));
  socket->Unadvise(&reconnect);
}

// A peer that accepts but reads only when told.
class SlowReader {
 public:
  explicit SlowReader(asio::io_context& io)
      : m_acceptor(io, {asio::ip::make_address("127.0.0.1"), 0}),
        m_socket(io) {
    m_acceptor.async_accept(m_socket, [](std::error_code) {});
  }
  int Port() const { return m_acceptor.local_endpoint().port(); }
  void ReadAll() {
    m_socket.async_read_some(asio::buffer(m_buffer),
                             [this](std::error_code ec, size_t n) {
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
  SlowReader peer(io);
  ASSERT_TRUE(ConnectTo("127.0.0.1", peer.Port()));
  const std::string chunk(256 * 1024, 'p');
  size_t sent = 0;
  while (!socket->Blocked() && sent < 256 * chunk.size()) {
    socket->Send(chunk);
    sent += chunk.size();
    RunFor(io, std::chrono::milliseconds(1));
  }
  ASSERT_TRUE(socket->Blocked());
  const ISocket& seen_by_host = *socket;  // as a server reads it
  EXPECT_GT(seen_by_host.UnsentBytes(), AsioSocket::kBlockedBytes);
  peer.ReadAll();
  ASSERT_TRUE(RunUntil(io, [&] { return !socket->Blocked(); }));
  ASSERT_TRUE(RunUntil(io, [&] { return peer.received == sent; }));
  EXPECT_EQ(seen_by_host.UnsentBytes(), 0u);
}

TEST_F(AsioSocketTest, ATurnsTextsLeaveAfterItInOrderSharedOnesByReference) {
  ASSERT_TRUE(ConnectTo("127.0.0.1", server.Port()));
  auto price = std::make_shared<const std::string>("PRICE+3!");
  socket->Send("A+3!");
  socket->SendShared(price);
  socket->Send("B+3!");
  socket->SendShared(price);
  // Nothing has left yet, and the shared text is held, not copied.
  EXPECT_EQ(socket->UnsentBytes(), 24u);
  EXPECT_EQ(price.use_count(), 3);
  ASSERT_TRUE(RunUntil(io, [&] {
    return server.received.size() == 24 && socket->UnsentBytes() == 0 && price.use_count() == 1;
  }));
  EXPECT_EQ(server.received, "A+3!PRICE+3!B+3!PRICE+3!");
  EXPECT_EQ(server.receives, 1);  // one write, read as one chunk
}

TEST_F(AsioSocketTest, TextSentJustBeforeACloseStillLeaves) {
  ASSERT_TRUE(ConnectTo("127.0.0.1", server.Port()));
  ASSERT_TRUE(RunUntil(io, [&] { return server.children.size() == 1; }));
  socket->Send("BYE+3!");
  socket->SendShared(std::make_shared<const std::string>("END+3!"));
  socket->Close();
  ASSERT_TRUE(RunUntil(io, [&] { return server.closed == 1; }));
  EXPECT_EQ(server.received, "BYE+3!END+3!");
}

TEST_F(AsioSocketTest, TextUnsentAtCloseStillLeaves) {
  SlowReader peer(io);
  socket->LingerSeconds(5);
  ASSERT_TRUE(ConnectTo("127.0.0.1", peer.Port()));
  const std::string chunk(1 << 20, 'q');
  for (int i = 0; i < 32; ++i) socket->Send(chunk);
  RunFor(io, std::chrono::milliseconds(5));
  ASSERT_GT(socket->UnsentBytes(), 0u);
  socket->Close();
  EXPECT_EQ(socket->State(), SocketClosed);
  EXPECT_EQ(socket->UnsentBytes(), 0u);  // leaving, no longer this socket's
  peer.ReadAll();
  ASSERT_TRUE(RunUntil(io, [&] { return peer.ended; }));
  EXPECT_EQ(peer.received, 32u * chunk.size());
}

}  // namespace
}  // namespace orvane

namespace orvane {
namespace {

// Driven as a host that takes any acceptor drives it.
TEST(AsioListenerTest, ListensStopsAndRefusesABusyPort) {
  asio::io_context io;
  AsioListener real(io);
  IAcceptor& listener = real;
  EXPECT_EQ(listener.LocalPort(), 0);
  int port = listener.Listen("127.0.0.1", 0);
  EXPECT_GT(port, 0);
  EXPECT_TRUE(listener.IsListening());
  AsioListener real_second(io);
  IAcceptor& second = real_second;
  EXPECT_THROW(second.Listen("127.0.0.1", port), Error);
  EXPECT_THROW(second.Listen("not-an-address", 0), Error);
  EXPECT_FALSE(second.IsListening());
  listener.Close();
  EXPECT_EQ(listener.LocalPort(), 0);
  EXPECT_FALSE(test::PortAccepts(port));
}

}  // namespace
}  // namespace orvane
