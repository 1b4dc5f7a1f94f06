// A terminal against a server that breaks the rules: counts, row numbers
// and sizes beyond the terminal's bounds cost it one log line and the
// connection, never its memory or its time, and it logs on again.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "hostile_server.h"
#include "messages.h"
#include "orvane/core/clock.h"
#include "orvane/testing/memory_network.h"
#include "orvane/testing/virtual_timer.h"
#include "platform_book.h"
#include "terminal.h"

namespace orvane::apps {
namespace {

using test::HostileServer;

constexpr int32_t kPort = 4600;

class TerminalLimitsTest : public test::MemoryPlatformTest {
 protected:
  // Starts the terminal, its options changed by `tweak`.
  void Start(const std::function<void(TerminalOptions&)>& tweak = {}) {
    TerminalOptions options;
    if (tweak) tweak(options);
    options.port = kPort;
    options.username = "alice";
    options.password = "secret";
    m_terminal = std::make_unique<Terminal>(m_network->Environment(), *m_loop, options, m_clock,
                                            &m_watcher);
    m_terminal->connect();
    m_loop->RunUntilIdle();
    ASSERT_EQ(m_terminal->phase(), Terminal::Phase::kLoading);
  }
  void Send(const std::string& text) {
    m_server.Send(text);
    m_loop->RunUntilIdle();
  }
  void Count(const std::string& count) {
    Send(wire::response_text(RESULT_COUNT_TOKEN, {count}));
  }
  void Row(int32_t number) {
    Send(wire::response_text(RESULT_TOKEN, {std::to_string(number),
                                           HostileServer::SymbolRow(number)}));
  }
  size_t LinesWith(const std::string& part) const {
    return static_cast<size_t>(
        std::count_if(m_watcher.lines.begin(), m_watcher.lines.end(),
                      [&](const std::string& line) { return line.find(part) != std::string::npos; }));
  }
  // The drop was the server's doing: one line says so, and the terminal
  // logs on again as after any drop.
  void ExpectOneBreachAndALogOnAgain() {
    EXPECT_EQ(m_terminal->breaches(), 1u);
    EXPECT_EQ(LinesWith("broke the terminal's limits"), 1u);
    EXPECT_EQ(m_server.closed, 1u);
    for (int waited = 0; waited < 15000 && m_server.logons < 2; waited += 100) m_loop->Advance(100);
    EXPECT_EQ(m_server.logons, 2u);
    EXPECT_EQ(m_terminal->phase(), Terminal::Phase::kLoading);
  }

  HostileServer m_server{m_network, kPort};
  test::Watcher m_watcher;
  std::unique_ptr<Terminal> m_terminal;
};

TEST_F(TerminalLimitsTest, ARowCountOfTwoBillionIsRefusedWithoutAllocating) {
  Start();
  Count("2147483647");
  EXPECT_EQ(LinesWith("2147483647, more than the 1000000"), 1u);
  ExpectOneBreachAndALogOnAgain();
}

TEST_F(TerminalLimitsTest, TheRowLimitIsTheTerminalsOption) {
  Start([](TerminalOptions& o) { o.max_rows_per_answer = 100; });
  Count("101");
  EXPECT_EQ(LinesWith("101, more than the 100 an answer may have"), 1u);
  ExpectOneBreachAndALogOnAgain();
  Count("100");
  Count("100");  // a second count for the same answer is only a complaint
  EXPECT_EQ(m_terminal->breaches(), 1u);
  EXPECT_EQ(LinesWith("a row count no request waits for"), 1u);
}

TEST_F(TerminalLimitsTest, AFarRowIndexIsRefusedWithoutAskingForTheRowsBeforeIt) {
  Start();
  Count("900000");
  Row(899999);
  EXPECT_EQ(m_server.lost_asked, 0u);
  EXPECT_EQ(LinesWith("899998 rows missing before row 899999"), 1u);
  EXPECT_LE(m_watcher.lines.size(), 4u);
  ExpectOneBreachAndALogOnAgain();
}

TEST_F(TerminalLimitsTest, ARowBeyondTheCountIsRefused) {
  Start();
  Count("3");
  Row(4);
  EXPECT_EQ(LinesWith("row 4 of an answer of 3 rows"), 1u);
  ExpectOneBreachAndALogOnAgain();
}

TEST_F(TerminalLimitsTest, LostRowsAreAskedForOnceEachAndSaidInASummary) {
  Start();
  Count("10");
  Row(1);
  Row(4);  // 2 and 3 lost
  Row(6);  // 5 lost
  Row(8);  // 7 lost
  EXPECT_EQ(m_server.lost_asked, 4u);
  EXPECT_EQ(m_terminal->lost_rows_asked(), 4u);
  // Three gaps: the first and the second said, the third not.
  EXPECT_EQ(LinesWith("were lost"), 2u);
  for (int32_t n : {2, 3, 5, 7, 9, 10}) Row(n);
  EXPECT_EQ(m_server.lost_asked, 4u);
  EXPECT_EQ(m_terminal->breaches(), 0u);
  // The answer is complete and the load goes on.
  ASSERT_EQ(m_server.pending.size(), 2u);
  EXPECT_EQ(m_server.pending.back(), GET_CLIENT_INFO_TOKEN);
}

TEST_F(TerminalLimitsTest, AnAnswerThatStallsWithMoreMissingThanTheBoundIsDropped) {
  Start([](TerminalOptions& o) { o.max_lost_rows_per_answer = 16; });
  Count("3000");
  Row(1);
  m_loop->Advance(1100);  // past the patience: 2,999 rows missing
  EXPECT_EQ(m_server.lost_asked, 0u);
  EXPECT_EQ(LinesWith("2999 rows missing before row 3001"), 1u);
  ExpectOneBreachAndALogOnAgain();
}

TEST_F(TerminalLimitsTest, AServerThatNeverSendsTheLostRowsRunsOutOfAsks) {
  Start([](TerminalOptions& o) { o.max_lost_rows_per_answer = 16; });
  Count("6");
  Row(1);
  Row(6);  // 4 asked for, never sent
  for (int i = 0; i < 10 && m_terminal->breaches() == 0; ++i) m_loop->Advance(1000);
  // 4 after the gap, 4 at each of the next three stalls; the fifth would pass 16.
  EXPECT_EQ(m_server.lost_asked, 16u);
  ExpectOneBreachAndALogOnAgain();
}

TEST_F(TerminalLimitsTest, StrayRowsCostAFewLinesNotOneEach) {
  Start();
  std::string burst;
  for (int32_t n = 1; n <= 1000; ++n) {
    burst += wire::response_text(RESULT_TOKEN, {std::to_string(n), "x"});
  }
  Send(burst);
  EXPECT_EQ(m_terminal->breaches(), 0u);
  // The 1st, 2nd, 4th ... 512th.
  EXPECT_EQ(LinesWith("a result row no count announced"), 10u);
  EXPECT_EQ(LinesWith("(512 times)"), 1u);
}

TEST_F(TerminalLimitsTest, AMessageWithoutAnEndIsCutOff) {
  Start([](TerminalOptions& o) { o.max_message_bytes = 4096; });
  Send(std::string(3000, 'x'));
  EXPECT_EQ(m_terminal->breaches(), 0u);
  Send(std::string(3000, 'x'));
  EXPECT_EQ(LinesWith("6000 bytes without the end of a message"), 1u);
  ExpectOneBreachAndALogOnAgain();
}

TEST_F(TerminalLimitsTest, PushesDuringTheLoadAreHeldUpToTheBound) {
  Start([](TerminalOptions& o) { o.max_held_pushes = 32; });
  const std::string push = wire::response_text(MESSAGE_TOKEN, {"hello"});
  for (int i = 0; i < 32; ++i) Send(push);
  EXPECT_EQ(m_terminal->breaches(), 0u);
  Send(push);
  EXPECT_EQ(LinesWith("more than 32 pushes while the model loads"), 1u);
  ExpectOneBreachAndALogOnAgain();
}

TEST_F(TerminalLimitsTest, WhatTheServerSaysReachesTheLogAsPrintableText) {
  Start();
  Send(wire::response(wire::Refusal{9, "\x1b[2J\rfake: all equal", 0}));
  ASSERT_EQ(LinesWith("server error 9"), 1u);
  const std::string& line = m_watcher.lines.back();
  EXPECT_EQ(line.find('\x1b'), std::string::npos) << line;
  EXPECT_EQ(line.find('\r'), std::string::npos) << line;
  EXPECT_NE(line.find("?[2J?fake"), std::string::npos) << line;
  Send(wire::response(wire::Refusal{9, std::string(5000, 'y'), 0}));
  Send(wire::response(wire::Refusal{9, "z", 0}));
  EXPECT_LE(m_watcher.lines.back().size(), 503u);
  EXPECT_EQ(LinesWith("server error 9 (2 times)"), 1u);
}

TEST_F(TerminalLimitsTest, OnlyTheModelsSymbolsArePricedAndOnlyOwnOrdersAnswered) {
  Start();
  while (!m_server.pending.empty()) {
    m_server.AnswerHonestly();
    m_loop->RunUntilIdle();
  }
  ASSERT_EQ(m_terminal->phase(), Terminal::Phase::kStreaming) << m_watcher.lines.back();
  for (int32_t symbol = 1; symbol < 400; ++symbol) {
    Send(wire::response(wire::Price{symbol, 1.1, 1.1002, "", 1}));
  }
  EXPECT_TRUE(m_terminal->last_price(1).has_value());
  EXPECT_TRUE(m_terminal->last_price(2).has_value());
  EXPECT_FALSE(m_terminal->last_price(3).has_value());
  EXPECT_EQ(m_terminal->prices_received(), 2u);
  EXPECT_EQ(LinesWith("a price of a symbol not loaded"), 9u);  // 1, 2, 4 ... 256 of 397
  // Each symbol's sequence runs on by itself; a jump is one gap.
  EXPECT_EQ(m_terminal->sequence_gaps(), 0u);
  for (int32_t sequence : {2, 5, 6}) {
    Send(wire::response(wire::Price{1, 1.1, 1.1002, "", sequence}));
  }
  Send(wire::response(wire::Price{2, 1.1, 1.1002, "", 2}));
  EXPECT_EQ(m_terminal->sequence_gaps(), 1u);
  Send(wire::response_text(NEW_ORDER_TOKEN, {"41", "0", "done", "5", "1.1"}));
  EXPECT_EQ(LinesWith("not waiting for"), 1u);
  EXPECT_EQ(LinesWith("order 41"), 0u);
}

// The fuzz target's committed inputs, each a whole hostile session.
TEST(TerminalReceiveCorpus, EverySessionKeepsTheTerminalsPromises) {
  const std::filesystem::path corpus = ORVANE_TERMINAL_RECEIVE_CORPUS;
  size_t sessions = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto result = test::RunHostileSession(
        reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(result.broken, "") << entry.path();
    ++sessions;
  }
  EXPECT_GE(sessions, 3u);
}

}  // namespace
}  // namespace orvane::apps
