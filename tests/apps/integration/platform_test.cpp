// The reference server and a terminal on loopback over TLS: one that
// verifies the server and agrees with it, one that must not connect.

#include "platform_fixture.h"

namespace orvane::apps {
namespace {

using test::Watcher;
using test::RunFor;
using test::RunUntil;
using namespace std::chrono_literals;
using PlatformTest = test::PlatformFixture;

// The platform over real TLS: the terminal verifies the server, streams
// and ends with the server's figures (the flow itself is tested in memory).
TEST_F(PlatformTest, OverTlsTheTerminalStreamsAndAgreesWithTheServer) {
  ASSERT_TRUE(orvane::test::Certificates::Get().ok);
  auto server = MakeServer(PriceFeed::FromTape(m_tape));
  Watcher alice;
  auto terminal = MakeTerminal("alice", "secret", alice);
  ASSERT_TRUE(RunUntil(m_io, [&] { return alice.checked == 1; }, 5s)) << Logs(alice);
  ExpectAllEqual(alice, 1);
}

TEST_F(PlatformTest, TlsWithAnUntrustedCertificateNeverConnects) {
  auto server = MakeServer(PriceFeed::FromTape(m_tape), 1, 0, orvane::test::ServerTls(/*rogue=*/true));
  Watcher alice;
  auto terminal = MakeTerminal("alice", "secret", alice);
  RunFor(m_io, 500ms);
  EXPECT_EQ(terminal->Logons(), 0u);
  EXPECT_EQ(server->LoggedOnSessions(), 0u);
  EXPECT_NE(terminal->phase(), Terminal::Phase::kStreaming);
}

}  // namespace
}  // namespace orvane::apps
