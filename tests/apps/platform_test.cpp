// The platform in one process on an in-memory network and virtual time: the
// reference server and its terminals exchange real messages through sockets
// that deliver on later turns, as TCP does, while retries, supervision,
// deadlines and the feed run on virtual time. Faults that do not need the
// kernel are here too.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "book_import.h"
#include "command.h"
#include "messages.h"
#include "orvane/clients/client.h"
#include "orvane/clients/client_param.h"
#include "orvane/clients/clients.h"
#include "orvane/core/clock.h"
#include "orvane/protocol/process.h"
#include "orvane/testing/memory_acceptor.h"
#include "orvane/testing/memory_network.h"
#include "orvane/testing/memory_socket.h"
#include "orvane/testing/virtual_timer.h"
#include "orvane/vocabulary/operation_type_enum.h"
#include "platform_book.h"
#include "price_feed.h"
#include "rows.h"
#include "terminal.h"
#include "trading_server.h"

namespace orvane::apps {
namespace {

using test::Watcher;

constexpr int32_t kPort = 4500;

class PlatformTest : public test::MemoryPlatformTest {
 protected:
  std::unique_ptr<TradingServer> MakeServer(PriceFeed feed, size_t wait_sessions = 1,
                                            double rate = 1000,
                                            size_t max_unsent = 8u << 20) {
    ServerOptions options;
    options.rate = rate;
    options.start_after_sessions = wait_sessions;
    options.gateway.limits.max_unsent_bytes = max_unsent;
    options.gateway.multi_sessions_allowed = true;  // two terminals of one user
    options.gateway.log = [this](const std::string& line) { m_log.push_back(line); };
    options.rules = m_rules;
    auto server = std::make_unique<TradingServer>(
        m_book, std::move(feed), m_clock,
        ServerEnvironment{std::make_shared<MemoryAcceptor>(m_network), m_loop,
                          [this] { return m_loop->Elapsed(); }},
        options);
    server->start("0.0.0.0", kPort);
    return server;
  }

  std::unique_ptr<Terminal> MakeTerminal(const std::string& user, const std::string& password,
                                         Watcher& watcher) {
    auto terminal = std::make_unique<Terminal>(m_network->Environment(), *m_loop,
                                               LogOnAs(kPort, user, password), m_clock, &watcher);
    terminal->connect();
    return terminal;
  }

  // A raw peer on the network, connected to the server.
  std::shared_ptr<MemorySocket> Raw() {
    auto socket = m_network->CreateSocket();
    socket->Connect("127.0.0.1", kPort);
    m_loop->RunUntilIdle();
    return socket;
  }

  // The SID the server gave the raw peer that just logged on.
  static int32_t SidOf(MemorySocket& socket) {
    const std::string answer = socket.Receive();
    const size_t end = answer.find("+3!");
    auto process = CProcess::New();
    process->DefineProcessByCommand(5, answer.substr(0, end));
    wire::LoggedOn logged;
    EXPECT_TRUE(end != std::string::npos && wire::decode(*process, logged)) << answer;
    return logged.sid;
  }

  // How many lines of the server's log hold `part`.
  size_t Logged(const std::string& part) const {
    return static_cast<size_t>(std::count_if(m_log.begin(), m_log.end(), [&](const std::string& l) {
      return l.find(part) != std::string::npos;
    }));
  }

  static void ExpectAllEqual(const Watcher& w, size_t accounts) {
    ASSERT_EQ(w.comparisons.size(), accounts);
    for (const Comparison& c : w.comparisons) {
      EXPECT_TRUE(c.equal()) << "account " << c.account << ": terminal equity "
                             << c.terminal.equity << ", server " << c.server.equity;
    }
  }

  model::Snapshot m_book = import_book(test::kBook, "book");
  std::vector<model::Quote> m_tape = import_tape(test::kTape, "tape", m_book);
  std::vector<std::string> m_log;
  TradingRules m_rules;
};

TEST_F(PlatformTest, StopLossOnTheServerReachesTheTerminalAndFiguresAgree) {
  auto server = MakeServer(PriceFeed::from_tape(m_tape), 1, 10);  // a quote every 100 ms
  Watcher alice;
  auto terminal = MakeTerminal("alice", "secret", alice);
  ASSERT_TRUE(RunUntil([&] { return alice.streams == 1; }));
  EXPECT_EQ(terminal->open_positions(), 1u);
  ASSERT_TRUE(RunUntil([&] { return alice.checks == 1; }));
  EXPECT_EQ(terminal->open_positions(), 0u);
  // The quote gapped through 1.1850: the stop fills at the bid, 1.1840, and
  // 1,600 of the 2,000 are lost.
  EXPECT_TRUE(Logged("account 100: stop-loss 11 hit at 1.184"));
  ExpectAllEqual(alice, 1);
  EXPECT_DOUBLE_EQ(alice.comparisons[0].server.balance, 400);
  // The last quote 1.1870 / 1.1871 reaches Alice as it is; her terminal
  // prices it with her 2-pip spread.
  const auto price = terminal->last_price(2);
  ASSERT_TRUE(price.has_value());
  EXPECT_EQ(price->first, 1.1870);
  EXPECT_EQ(price->second, 1.1871);
  auto client = terminal->desk()->engine().Clients()->Item("10");
  ASSERT_TRUE(client);
  EXPECT_NEAR(client->SymbolParam(2)->AskWithSpread(), 1.1872, 1e-9);
}

TEST_F(PlatformTest, EntryOrderFillsForOneClientWhileAnotherIsRefused) {
  auto server = MakeServer(PriceFeed::from_tape(m_tape));
  Watcher bob, intruder;
  auto bob_terminal = MakeTerminal("bob", "pass", bob);
  auto intruder_terminal = MakeTerminal("bob", "guess", intruder);
  ASSERT_TRUE(RunUntil([&] { return bob.checks == 1 && !intruder.refusal.empty(); }));
  EXPECT_EQ(intruder_terminal->phase(), Terminal::Phase::kRefused);
  EXPECT_EQ(intruder_terminal->logons(), 0u);
  EXPECT_TRUE(Logged("log-on refused for 'bob'"));
  EXPECT_EQ(bob_terminal->open_positions(), 1u);  // the buy limit at 1.1950 filled
  ExpectAllEqual(bob, 1);
}

TEST_F(PlatformTest, TerminalLogsOnAgainAfterAServerRestart) {
  auto server = MakeServer(PriceFeed::from_tape({m_tape.begin(), m_tape.begin() + 2}));
  Watcher alice;
  auto terminal = MakeTerminal("alice", "secret", alice);
  ASSERT_TRUE(RunUntil([&] { return alice.checks == 1; }));
  server.reset();
  ASSERT_TRUE(RunUntil([&] { return terminal->phase() == Terminal::Phase::kConnecting; }));
  server = MakeServer(PriceFeed::from_tape(m_tape));
  // Within the 5 to 11 s between attempts.
  ASSERT_TRUE(RunUntil([&] { return alice.checks == 2; }, 12000));
  EXPECT_EQ(terminal->logons(), 2u);
  ExpectAllEqual(alice, 1);
}

TEST_F(PlatformTest, ASlowReaderIsCutOffAndOthersAreServed) {
  auto server = MakeServer(PriceFeed::random_walk(m_book, 7, 1, 0), 2, 20000, 64 << 10);
  auto slow = Raw();
  slow->Send(wire::request(-1, wire::LogOn{"alice", "secret"}));
  m_loop->RunUntilIdle();
  slow->Send(wire::request_text(SidOf(*slow), START_MARKET_TOKEN));
  m_loop->RunUntilIdle();
  slow->StopReading();
  Watcher bob;
  auto terminal = MakeTerminal("bob", "pass", bob);
  ASSERT_TRUE(RunUntil([&] { return Logged("slow reader"); }));
  EXPECT_EQ(server->logged_on_sessions(), 1u);
  EXPECT_EQ(terminal->phase(), Terminal::Phase::kStreaming);
  EXPECT_EQ(terminal->sequence_gaps(), 0u);
}

TEST_F(PlatformTest, APeerClosingInTheMiddleOfAMessageEndsOnlyItsSession) {
  auto server = MakeServer(PriceFeed::from_tape(m_tape));
  auto raw = Raw();
  raw->Send(wire::request(-1, wire::LogOn{"alice", "secret"}));
  ASSERT_TRUE(RunUntil([&] { return server->logged_on_sessions() == 1; }));
  const std::string half = wire::request_text(1, GET_ACCOUNTS_TOKEN);
  raw->Send(half.substr(0, half.size() / 2));
  raw->Close();
  ASSERT_TRUE(RunUntil([&] { return server->connections() == 0; }));
  EXPECT_TRUE(Logged("closed: the peer closed the connection"));
  Watcher bob;
  auto terminal = MakeTerminal("bob", "pass", bob);
  ASSERT_TRUE(RunUntil([&] { return bob.checks == 1; }));
  ExpectAllEqual(bob, 1);
}

// Every flooding connection pipelines 50 wrong log-ons: the first
// connection's first is refused; every other connection's first waits, and
// the connection goes as it talks meanwhile, its turn given back.
TEST_F(PlatformTest, ALogOnFloodIsRefusedAndThrottledAndServiceGoesOn) {
  auto server = MakeServer(PriceFeed::from_tape(m_tape));
  std::vector<std::shared_ptr<MemorySocket>> flood;
  std::string burst;
  for (int k = 0; k < 50; ++k) burst += wire::request(-1, wire::LogOn{"alice", "guess"});
  for (int i = 0; i < 200; ++i) {
    flood.push_back(Raw());
    flood.back()->Send(burst);
  }
  ASSERT_TRUE(RunUntil([&] { return server->connections() == 0; }))
      << server->connections() << " still open";
  EXPECT_EQ(server->gateway().stats().refused_password, 1u);
  EXPECT_EQ(Logged("closed: a message before the log-on was answered"), 199u);
  EXPECT_EQ(Logged("log-on refused for 'alice'"), 1u);
  Watcher bob;  // from the same address: his answer waits its turn
  auto terminal = MakeTerminal("bob", "pass", bob);
  ASSERT_TRUE(RunUntil([&] { return bob.checks == 1; }));
  ExpectAllEqual(bob, 1);
}

TEST_F(PlatformTest, ASilentServerIsDroppedBySupervisionAndTheTerminalComesBack) {
  auto server = MakeServer(PriceFeed::from_tape({m_tape.begin(), m_tape.begin() + 1}), 9);
  Watcher alice;
  auto terminal = MakeTerminal("alice", "secret", alice);
  ASSERT_TRUE(RunUntil([&] { return alice.streams == 1; }));
  server->stop();  // no more handshakes, the session closes
  auto fresh = MakeServer(PriceFeed::from_tape(m_tape));
  ASSERT_TRUE(RunUntil([&] { return alice.streams == 2; }, 20000));
  EXPECT_EQ(terminal->logons(), 2u);
}

// Alice books interest on close and is long 1 lot of EURUSD (1,000 a day);
// Carol books it on open and is short half a lot (-164.38 a day). The tape
// passes Tuesday's rollover at 22:00.
const char* kInterestBook = R"(SYMBOL 1 USD -4 1 1 1 1 0 1 1 FRIDAY 22:00 SUNDAY 22:00
SYMBOL 2 EURUSD -4 100000 1 1 1 1000 1.2000 1.2001 FRIDAY 22:00 SUNDAY 22:00
INTEREST 2 3.65 -1.2 365
PARAMSET plain 1,0,0,0,0,0,100,0.01,0,2,2,0,0,0,0,100,0.01,0
CLIENT 10 plain 2 50 2 1 Alice Smith
USER alice secret 10 4,5
ACCOUNT 10 100 1 0 0 2000 0 -1000 0 0 0 0
POSITION 10 100 10R,@100R,@1R,@01/03/2027 09:00:00R,@BuyR,@1R,@2R,@1.2000R,@R,@R,@0R,@1R,@EURUSDR,@0R,@R,@
CLIENT 30 plain 0 0 1 1 Carol
USER carol pw 30 4,5
ACCOUNT 30 300 1 0 0 5000 0 -500 0 0 0 0
POSITION 30 300 30R,@300R,@3R,@01/03/2027 09:00:00R,@SellR,@0.5R,@2R,@1.2000R,@R,@R,@0R,@0.5R,@EURUSDR,@0R,@R,@
)";

TEST_F(PlatformTest, InterestBookedAtTheRolloverReachesTheTerminalsToTheCent) {
  m_book = import_book(kInterestBook, "book");
  m_rules.rollover_seconds = 22 * 3600;
  const auto tape = import_tape("02/03/2027 21:59:58 2 1.2000 1.2001\n"
                               "02/03/2027 21:59:59 2 1.2002 1.2003\n"
                               "02/03/2027 22:00:01 2 1.2001 1.2002\n"
                               "02/03/2027 22:00:02 2 1.2003 1.2004\n",
                               "tape", m_book);
  auto server = MakeServer(PriceFeed::from_tape(tape), 2, 10);
  Watcher alice, carol;
  auto alice_terminal = MakeTerminal("alice", "secret", alice);
  auto carol_terminal = MakeTerminal("carol", "pw", carol);
  ASSERT_TRUE(RunUntil([&] { return alice.checks == 1 && carol.checks == 1; }));
  // The terminals, which loaded their model before the server booked the
  // day, hold it too.
  const Desk& alices = *alice_terminal->desk();
  const Desk& carols = *carol_terminal->desk();
  ASSERT_EQ(alices.positions(10).size(), 1u);
  EXPECT_DOUBLE_EQ(alices.positions(10)[0].interest, 1000);
  ASSERT_EQ(carols.positions(30).size(), 1u);
  EXPECT_DOUBLE_EQ(carols.positions(30)[0].interest, -164.38);
  EXPECT_DOUBLE_EQ(carols.accounts(30)[0].totals.interest, -164.38);
  ExpectAllEqual(alice, 1);
  ExpectAllEqual(carol, 1);
  // Carol's balance carries the interest; Alice's equity does.
  EXPECT_DOUBLE_EQ(carol.comparisons[0].server.balance, 5000 - 164.38);
  EXPECT_DOUBLE_EQ(alice.comparisons[0].server.balance, 2000);
}

// A market order and orders typed in the terminal's language: an entry
// order in pips from the ask, a stop-loss and take-profit set and moved, and
// the entry cancelled; the second terminal's desk holds each change as the
// server does.
TEST_F(PlatformTest, TradesAndOrdersReachTheSecondTerminalOfTheClient) {
  ASSERT_TRUE(wire::read_time("03/03/2027 12:00:00", m_book.market_time));
  m_book.market_time_text = "03/03/2027 12:00:00";
  auto server = MakeServer(PriceFeed::from_tape({}), 9);  // prices stay at the book's
  Watcher alice;
  Watcher other;
  auto terminal = MakeTerminal("alice", "secret", alice);
  auto second = MakeTerminal("alice", "secret", other);
  ASSERT_TRUE(RunUntil([&] { return alice.streams == 1 && other.streams == 1; }));
  ASSERT_NE(terminal->open(100, 2, SellType, 0.5), 0);
  ASSERT_TRUE(RunUntil([&] { return alice.answers.size() == 1; }));
  ASSERT_EQ(alice.answers[0].code, 0) << alice.answers[0].text;
  const int32_t ticket = alice.answers[0].ticket;
  ASSERT_TRUE(RunUntil([&] { return second->open_positions() == 2; }));
  ASSERT_NE(terminal->close(100, ticket, 0.2), 0);
  ASSERT_TRUE(RunUntil([&] { return alice.answers.size() == 2; }));
  EXPECT_EQ(alice.answers[1].code, 0) << alice.answers[1].text;
  m_loop->Advance(100);
  for (const Terminal* t : {terminal.get(), second.get()}) {
    const auto positions = t->desk()->positions(10);
    ASSERT_EQ(positions.size(), 2u);
    EXPECT_DOUBLE_EQ(positions[1].lots, 0.3);
    EXPECT_EQ(t->desk()->history(10).size(), 1u);
    EXPECT_DOUBLE_EQ(t->figures().at(100).balance, server->figures(100)->balance);
    EXPECT_DOUBLE_EQ(t->figures().at(100).equity, server->figures(100)->equity);
  }
  CommandRunner runner(*terminal);
  std::string said;
  auto run = [&](const std::string& line) {
    const size_t answers = alice.answers.size();
    EXPECT_NE(runner.run(*read_command(line), said), 0) << line << ": " << said;
    EXPECT_TRUE(RunUntil([&] { return alice.answers.size() == answers + 1; })) << line;
    EXPECT_EQ(alice.answers.back().code, 0) << line << ": " << alice.answers.back().text;
    m_loop->Advance(100);
    return alice.answers.back().ticket;
  };
  // Alice's ask is 1.2002: 30 pips below it is 1.1972, her stop-loss 20 below that.
  const int32_t entry = run("limit buy EURUSD 0.5 at -30p sl -20p expires +1h");
  const int32_t guard = run("sltp 1 sl 1.1900 tp +50p");
  EXPECT_EQ(guard, 11);  // the book's guard of ticket 1 is moved, not doubled
  for (const Terminal* t : {terminal.get(), second.get()}) {
    const auto orders = t->desk()->orders(10);
    ASSERT_EQ(orders.size(), 2u);
    EXPECT_DOUBLE_EQ(orders[0].sl, 1.19);
    EXPECT_DOUBLE_EQ(orders[0].tp, 1.2050);  // from the bid a buy closes at
    EXPECT_EQ(orders[1].id, entry);
    EXPECT_DOUBLE_EQ(orders[1].price, 1.1972);
    EXPECT_DOUBLE_EQ(orders[1].sl, 1.1952);
    EXPECT_EQ(orders[1].expiry, "03/03/2027 13:00:00");
  }
  run("cancel " + std::to_string(entry));
  run("sltp 1 off");
  EXPECT_TRUE(second->desk()->orders(10).empty());
  EXPECT_TRUE(server->desk().orders(10).empty());
  // A terminal started again numbers on from the last number the server saw.
  const int32_t last = terminal->last_order_number();
  terminal.reset();
  Watcher again;
  auto restarted = MakeTerminal("alice", "secret", again);
  ASSERT_TRUE(RunUntil([&] { return again.streams == 1; }));
  EXPECT_EQ(restarted->last_order_number(), last);
  CommandRunner fresh(*restarted);
  EXPECT_EQ(fresh.run(*read_command("limit sell EURUSD 0.1 at +30p"), said), last + 1);
  ASSERT_TRUE(RunUntil([&] { return again.answers.size() == 1; }));
  EXPECT_EQ(again.answers[0].code, 0) << again.answers[0].text;
  EXPECT_EQ(server->desk().orders(10).size(), 1u);
}

TEST_F(PlatformTest, AnOrderWhoseAnswerIsLostExecutesOnceAfterTheTerminalComesBack) {
  auto server = MakeServer(PriceFeed::from_tape({}), 9);
  Watcher alice;
  auto terminal = MakeTerminal("alice", "secret", alice);
  ASSERT_TRUE(RunUntil([&] { return alice.streams == 1; }));
  auto child = terminal->client().Child();
  ASSERT_TRUE(child);
  auto socket = std::dynamic_pointer_cast<MemorySocket>(child);
  ASSERT_TRUE(socket);
  socket->StopReading();  // the answer will not get through
  const int32_t number = terminal->open(100, 2, BuyType, 0.5);
  ASSERT_NE(number, 0);
  ASSERT_TRUE(RunUntil([&] { return server->desk().positions(10).size() == 2; }));
  terminal->disconnect();  // what was held back goes with the connection
  m_loop->Advance(100);
  socket->ResumeReading();
  EXPECT_EQ(terminal->orders_unanswered(), 1u);
  terminal->connect();
  ASSERT_TRUE(RunUntil([&] { return alice.answers.size() == 1; }));
  EXPECT_EQ(alice.answers[0].number, number);  // sent again under its number
  EXPECT_EQ(alice.answers[0].code, 0);
  EXPECT_EQ(server->desk().positions(10).size(), 2u);  // and executed once
  EXPECT_EQ(terminal->last_order_number(), number);
}

// ---- command ----
// The terminal's order language: what each kind of line reads as, and that
// a line with anything wrong is refused with what was wrong.

using Verb = Command::Verb;

TEST(CommandTest, LinesReadAsTheirOrders) {
  Command c = *read_command("buy EURUSD 0.5 sl 1.0950 tp +30p account 12290");
  EXPECT_EQ(c.verb, Verb::kBuy);
  EXPECT_EQ(c.symbol, "EURUSD");
  EXPECT_DOUBLE_EQ(c.lots, 0.5);
  EXPECT_DOUBLE_EQ(c.sl.value, 1.0950);
  EXPECT_FALSE(c.sl.in_pips);
  EXPECT_DOUBLE_EQ(c.tp.value, 30);
  EXPECT_TRUE(c.tp.in_pips);
  EXPECT_EQ(c.account, 12290);

  c = *read_command("stop sell GBPUSD 0.1 at -25p tp 1.2 expires 05/03/2027 17:00:00");
  EXPECT_EQ(c.verb, Verb::kEntry);
  EXPECT_EQ(c.direction, -2);
  EXPECT_DOUBLE_EQ(c.price.value, -25);
  EXPECT_TRUE(c.price.in_pips);
  EXPECT_EQ(c.expiry, "05/03/2027 17:00:00");
  EXPECT_EQ(read_command("limit buy X 1 at 1.1")->direction, 1);
  EXPECT_EQ(read_command("stop buy X 1 at 1.1")->direction, 2);
  EXPECT_EQ(read_command("limit sell X 1 at 1.1")->direction, -1);
  EXPECT_DOUBLE_EQ(read_command("limit sell X 1 at 1.1 expires +2h")->expires_in, 7200);
  EXPECT_DOUBLE_EQ(read_command("limit sell X 1 at 1.1 expires +90s")->expires_in, 90);

  c = *read_command("change 500363 0.3 at 1.0760 sl -20p");
  EXPECT_EQ(c.verb, Verb::kChange);
  EXPECT_EQ(c.order, 500363);
  EXPECT_DOUBLE_EQ(c.lots, 0.3);
  c = *read_command("close #2 0.2");
  EXPECT_EQ(c.verb, Verb::kClose);
  EXPECT_EQ(c.ticket, "#2");
  EXPECT_DOUBLE_EQ(c.lots, 0.2);
  EXPECT_DOUBLE_EQ(read_command("close 1042")->lots, 0);  // the whole position
  c = *read_command("hedge 1042 #3");
  EXPECT_EQ(c.ticket, "1042");
  EXPECT_EQ(c.other, "#3");
  EXPECT_TRUE(read_command("sltp 1042 off")->off);
  EXPECT_DOUBLE_EQ(read_command("sltp 1042 tp 1.3")->tp.value, 1.3);
  EXPECT_EQ(read_command("history 12290")->account, 12290);
  EXPECT_EQ(read_command("  positions")->verb, Verb::kPositions);
  EXPECT_FALSE(read_command("   ").has_value());
  EXPECT_FALSE(read_command("# a comment").has_value());
}

TEST(CommandTest, AWrongLineSaysWhatIsWrong) {
  const struct {
    const char* line;
    const char* said;
  } cases[] = {
      {"buy EURUSD", "missing the lots"},
      {"buy EURUSD lots", "the lots must be a number"},
      {"buy EURUSD 1 sl", "missing the stop-loss"},
      {"buy EURUSD 1 sl 20p", "price or +Np/-Np"},
      {"buy EURUSD 1 sl -1.1", "price or +Np/-Np"},
      {"buy EURUSD 1 expires +1h", "unknown option 'expires'"},
      {"limit hold EURUSD 1 at 1.1", "expected buy or sell"},
      {"limit buy EURUSD 1 1.1", "expected 'at'"},
      {"limit buy EURUSD 1 at 1.1 expires tomorrow noon", "dd/mm/yyyy"},
      {"limit buy EURUSD 1 at 1.1 expires +0h", "positive N"},
      {"change 5 1 at 1.1 account 3", "unknown option 'account'"},
      {"close", "missing the ticket"},
      {"close #0", "a ticket is a number or #N"},
      {"close 12x", "a ticket is a number or #N"},
      {"sltp 1042", "give a stop-loss, a take-profit, or off"},
      {"sltp 1042 off now", "unexpected 'now'"},
      {"positions now", "unexpected 'now'"},
      {"sell-all", "unknown command 'sell-all'"},
  };
  for (const auto& c : cases) {
    try {
      read_command(c.line);
      ADD_FAILURE() << c.line << ": read";
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find(c.said), std::string::npos)
          << c.line << ": " << e.what();
    }
  }
}

}  // namespace
}  // namespace orvane::apps
