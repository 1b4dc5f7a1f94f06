#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "orvane/connection/asio_listener.h"
#include "orvane/connection/asio_socket.h"
#include "support/errors.h"
#include "orvane/core/error.h"
#include "peers.h"

namespace orvane {
namespace {

using test::Certificates;
using test::ClientTls;
using test::RunUntil;
using test::ServerTls;
using test::TestServer;

class TlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Certificates::Get().ok) << "openssl could not make certificates";
  }

  // Connects and waits for the outcome; true when the socket ever reported
  // connected (a socket that reports connected before verifying the
  // certificate and then closes counts as connected).
  bool Connect(AsioSocket& socket, const std::string& host, int port) {
    bool ever_connected = false;
    struct Watch : ISocketEvents {
      bool* flag;
      void State(ISocket&, SocketStateEnum s) override {
        if (s == SocketConnected) *flag = true;
      }
    } watch;
    watch.flag = &ever_connected;
    socket.Advise(&watch);
    socket.Connect(host, port);
    RunUntil(io, [&] {
      return socket.State() == SocketConnected ||
             socket.State() == SocketClosed;
    });
    socket.Unadvise(&watch);
    return ever_connected;
  }

  asio::io_context io;
};

TEST_F(TlsTest, ATrustedCertificateForTheHostConnectsAndCarriesText) {
  TestServer server(io, ServerTls());
  AsioSocket socket(io, ClientTls());
  ASSERT_TRUE(Connect(socket, "localhost", server.Port()));
  socket.Send("SECRET+3!");
  ASSERT_TRUE(RunUntil(io, [&] { return server.received == "SECRET+3!"; }));
  server.children.at(0)->Send("REPLY+3!");
  std::string got;
  ASSERT_TRUE(RunUntil(io, [&] {
    got += socket.Receive();
    return got == "REPLY+3!";
  }));
}

TEST_F(TlsTest, AHostNameTheCertificateDoesNotNameNeverConnects) {
  TestServer server(io, ServerTls());
  AsioSocket socket(io, ClientTls());
  EXPECT_FALSE(Connect(socket, "127.0.0.1", server.Port()));
  EXPECT_NE(socket.LastError().find("TLS"), std::string::npos)
      << socket.LastError();
  EXPECT_TRUE(server.children.empty());
  // The name to verify may be given apart from the address.
  AsioSocket named(io, ClientTls("localhost"));
  EXPECT_TRUE(Connect(named, "127.0.0.1", server.Port()));
}

TEST_F(TlsTest, ACertificateNoTrustedAuthoritySignedNeverConnects) {
  TestServer server(io, ServerTls(/*rogue=*/true));
  AsioSocket socket(io, ClientTls());
  EXPECT_FALSE(Connect(socket, "localhost", server.Port()));
  EXPECT_NE(socket.LastError().find("TLS"), std::string::npos);
}

TEST_F(TlsTest, APlainClientIsNotOfferedByATlsListener) {
  TestServer server(io, ServerTls());
  AsioSocket plain(io);
  ASSERT_TRUE(Connect(plain, "127.0.0.1", server.Port()));
  plain.Send("not a client hello+3!");
  RunUntil(io, [&] { return plain.State() == SocketClosed; });
  EXPECT_TRUE(server.children.empty());
  EXPECT_EQ(plain.State(), SocketClosed);
}

TEST_F(TlsTest, MissingFilesAreReportedAtCreation) {
  TlsOptions client = ClientTls();
  client.ca_file = "/nonexistent/ca.pem";
  EXPECT_THROW(AsioSocket(io, client), Error);
  TlsOptions server = ServerTls();
  server.private_key_file = "/nonexistent/key.pem";
  EXPECT_EQ(test::ErrorOf([&] { AsioListener listener(io, server); }).code, ErrorCode::FileError);
}

}  // namespace
}  // namespace orvane
