// The receive path reads a message's token, SID and parameters by shortcuts
// (code lengths instead of a marker search, sixteen characters at a time,
// text and parameters held inside the process). Each shortcut is checked
// here against the plain reading rule on texts built to reach its edges.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "orvane/core/error.h"
#include "orvane/protocol/data_protocol.h"
#include "orvane/protocol/detail/find_marker.h"
#include "orvane/protocol/detail/token_table.h"
#include "orvane/protocol/process.h"
#include "protocol/received_message.h"

namespace orvane {
namespace {

// Every input the process fuzz target keeps still keeps every reading rule
// (see the driver's header), so a regression shows without a fuzzing build.
TEST(ReceivePathTest, TheFuzzCorpusKeepsEveryReadingRule) {
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(ORVANE_PROCESS_CORPUS)) {
    std::ifstream file(entry.path(), std::ios::binary);
    const std::string input{std::istreambuf_iterator<char>(file), {}};
    EXPECT_EQ(test::ReadReceivedMessage(input), "") << entry.path().filename();
    ++inputs;
  }
  EXPECT_GT(inputs, 100);
}

// Each code with a marker in either case right behind it, cut short, one
// character off, or behind an earlier marker.
TEST(ReceivePathTest, EveryCodeAtTheEdgesOfItsMarkerKeepsEveryReadingRule) {
  for (const detail::TokenEntry& entry : detail::TokenEntries()) {
    const std::string code(entry.code);
    ASSERT_EQ(test::PlainTokenId(code + "S?<"), entry.value);
    // The first text of a code is read without the last code found, the
    // second with it.
    for (const std::string& text : {code + "S?<-1&h,G)_a", code + "s?<", code + "s?",
                                    code + "xs?<", "s?<" + code + "s?<", code.substr(1) + "s?<"}) {
      EXPECT_EQ(test::ReadReceivedMessage('\0' + text), "") << text;
    }
  }
}

TEST(ReceivePathTest, ARenewedProcessReadsAsANewOne) {
  CDataProtocol protocol;
  std::vector<std::string> params(12, "parameter");
  const std::string long_text = protocol.Response(RESULT_TOKEN, params);
  CProcess used;
  used.SystemLogLevel(7);
  used.DefineProcessByCommand(3, std::string_view(long_text).substr(0, long_text.size() - 3));
  used.DefineRequestByToken(99, 2, LOGIN_TOKEN, {"user"});
  used.Child(std::shared_ptr<ISocket>());
  used.MustBeLogedOn(true);
  used.AddRowString("aR,@b");
  ASSERT_EQ(used.RowCellsCount(), 2);
  ASSERT_EQ(used.Parameters(), 12);

  used.Renew();
  const CProcess fresh;
  EXPECT_EQ(used.TokenID(), fresh.TokenID());
  EXPECT_EQ(used.CommandSID(), fresh.CommandSID());
  EXPECT_EQ(used.Parameters(), 0);
  EXPECT_EQ(used.ParameterValue(1), "%$#InVaLID");
  EXPECT_EQ(used.ProcessText(), "");
  EXPECT_EQ(used.SentBytes(), 0);
  EXPECT_EQ(used.ProcessLogLevel(), fresh.ProcessLogLevel());
  EXPECT_EQ(used.SystemLogLevel(), fresh.SystemLogLevel());
  EXPECT_FALSE(used.MustBeLogedOn());
  EXPECT_EQ(used.Child(), nullptr);
  EXPECT_EQ(used.ProcessDescription(), fresh.ProcessDescription());
  EXPECT_EQ(used.RowCellsCount(), 0);

  // Renewed, it parses as a new process would, the logging check included.
  const std::string prices = protocol.Response(GET_PRICES_TOKEN, {"EURUSD", "1.1"});
  used.DefineProcessByCommand(5, std::string_view(prices).substr(0, prices.size() - 3));
  EXPECT_EQ(used.ParameterValue(2), "1.1");
  EXPECT_EQ(used.ProcessDescription(), "'' ");
  used.SystemLogLevel(5);
  used.DefineProcessByCommand(5, std::string_view(prices).substr(0, prices.size() - 3));
  EXPECT_EQ(used.ProcessDescription(), "'Requesting prices' P1=(EURUSD) , P2=(1.1)");
}

TEST(ReceivePathTest, MarkerSearchAtEveryBlockPosition) {
  // Lengths on both sides of one and two sixteen-character blocks, the
  // marker at every position, a decoy first character before it.
  for (size_t length = 0; length <= 40; ++length) {
    for (size_t at = 0; at + 3 <= length; ++at) {
      std::string text(length, 'a');
      text.replace(at, 3, "+3!");
      if (at > 0) text[at - 1] = '+';
      for (size_t from = 0; from <= length; ++from) {
        ASSERT_EQ(detail::FindMarker(text, "+3!", from), std::string_view(text).find("+3!", from))
            << length << " " << at << " " << from;
      }
    }
    // A cut marker at the very end is no marker.
    std::string cut(length, 'a');
    if (length >= 2) cut.replace(length - 2, 2, "+3");
    EXPECT_EQ(detail::FindMarker(cut, "+3!", 0), std::string::npos) << length;
  }
}

// The positions the block masks report, each with its kind.
std::vector<std::pair<size_t, bool>> MarkersByBlock(std::string_view text, size_t from,
                                                    size_t blocks_wanted) {
  std::vector<std::pair<size_t, bool>> found;
  size_t blocks = 0;
  detail::ForEachMarkerBlock(text, "G)_", "&h,", from, [&](size_t base, unsigned a, unsigned b) {
    for (size_t i = 0; i < 32; ++i) {
      if ((a >> i) & 1) found.emplace_back(base + i, true);
      if ((b >> i) & 1) found.emplace_back(base + i, false);
    }
    return ++blocks < blocks_wanted;
  });
  return found;
}

TEST(ReceivePathTest, TwoMarkerSearchAtEveryBlockPosition) {
  // Both markers and cut markers at every position of texts on both sides
  // of one and two blocks; the masks must report exactly the whole markers
  // at or after `from`, each once, in order, with its kind.
  for (size_t length = 0; length <= 40; ++length) {
    for (size_t at = 0; at + 3 <= length; ++at) {
      std::string text(length, 'G');
      text.replace(at, 3, "G)_");
      if (at + 6 <= length) text.replace(at + 3, 3, "&h,");
      if (length >= 2) text.replace(length - 2, 2, "G)");
      for (size_t from = 0; from <= length; ++from) {
        std::vector<std::pair<size_t, bool>> expected;
        for (size_t i = from; i + 3 <= length; ++i) {
          if (text.compare(i, 3, "G)_") == 0) expected.emplace_back(i, true);
          if (text.compare(i, 3, "&h,") == 0) expected.emplace_back(i, false);
        }
        ASSERT_EQ(MarkersByBlock(text, from, 100), expected) << length << " " << at << " " << from;
        // Stopped after its first block, the pass reports no more.
        const auto first_block = MarkersByBlock(text, from, 1);
        ASSERT_LE(first_block.size(), expected.size());
        EXPECT_TRUE(std::equal(first_block.begin(), first_block.end(), expected.begin()));
      }
    }
  }
}

TEST(ReceivePathTest, ParametersBeyondWhatTheProcessHoldsInside) {
  CDataProtocol protocol;
  std::vector<std::string> params;
  for (int i = 0; i < 20; ++i) params.push_back("p" + std::to_string(i) + std::string(i, 'G'));
  params[11] = "";
  const std::string long_text = protocol.Response(RESULT_TOKEN, params);
  ASSERT_GT(long_text.size(), CProcess::kInlineText);
  const std::string_view long_cmd(long_text.data(), long_text.size() - 3);
  const std::string short_text = protocol.Response(MARKET_DATA_TOKEN, {"EURUSD", "1.1", "1.2"});
  const std::string_view short_cmd(short_text.data(), short_text.size() - 3);

  CProcess process;
  process.DefineProcessByCommand(0, long_cmd);
  ASSERT_EQ(process.Parameters(), 20);
  for (int16_t i = 1; i <= 20; ++i) EXPECT_EQ(process.ParameterValue(i), params[i - 1]) << i;
  EXPECT_EQ(process.ProcessText(), long_cmd);

  // A short text after a long one is read from the inline storage.
  process.DefineProcessByCommand(0, short_cmd);
  EXPECT_EQ(process.ProcessText(), short_cmd);
  EXPECT_EQ(process.Parameters(), 3);
  EXPECT_EQ(process.ParameterValue(3), "1.2");
  EXPECT_EQ(process.ParameterValue(4), "%$#InVaLID");

  // A process redefined from its own text reads the same message again.
  process.DefineProcessByCommand(0, process.ProcessText().substr(0, short_cmd.size()));
  EXPECT_EQ(process.ParameterValue(1), "EURUSD");
  process.DefineProcessByCommand(0, long_cmd);
  process.DefineProcessByCommand(0, process.ProcessText());
  EXPECT_EQ(process.ParameterValue(20), params[19]);

  // The invalid marker still ends the list past the inline slots.
  params[9] = "%$#InVaLID";
  const std::string cut = protocol.Response(RESULT_TOKEN, params);
  process.DefineProcessByCommand(0, std::string_view(cut).substr(0, cut.size() - 3));
  EXPECT_EQ(process.Parameters(), 9);
}

TEST(ReceivePathTest, SplitBufferRowsStayRightAsMessageCountsVary) {
  CDataProtocol protocol;
  std::vector<std::string> rows;
  int sent = 0;
  int received = 0;
  for (int count : {40, 2, 0, 33, 1, 40, 5}) {
    std::string chunk;
    for (int i = 0; i < count; ++i) chunk += "m" + std::to_string(sent++) + "+3!";
    const int32_t n = protocol.SplitBuffer(chunk, rows);
    ASSERT_EQ(n, count);
    ASSERT_EQ(rows.size(), static_cast<size_t>(count) + 2);
    EXPECT_EQ(rows.front(), "");
    EXPECT_EQ(rows.back(), "");
    for (int i = 1; i <= n; ++i) EXPECT_EQ(rows[i], "m" + std::to_string(received++));
  }
}

TEST(ReceivePathTest, RecycledProcessesStartEmptyAndKeptOnesStayIntact) {
  CDataProtocol protocol;
  const std::string text = protocol.Request(NEW_ORDER_TOKEN, {"EURUSD", "1.5"});
  const std::string_view cmd(text.data(), text.size() - 3);
  std::shared_ptr<CProcess> kept;
  for (int i = 0; i < 3; ++i) {
    std::shared_ptr<CProcess> process = CProcess::New();
    EXPECT_EQ(process->TokenID(), UNDEFINED);
    EXPECT_EQ(process->CommandSID(), -100);
    EXPECT_EQ(process->Parameters(), 0);
    EXPECT_EQ(process->ProcessText(), "");
    EXPECT_EQ(process->ProcessLogLevel(), 1);
    process->SystemLogLevel(5);
    process->DefineProcessByCommand(5, cmd);
    if (i == 0) kept = process;
  }
  EXPECT_EQ(kept->ProcessText(), cmd);
  EXPECT_EQ(kept->ParameterValue(2), "1.5");
  EXPECT_EQ(kept->ProcessDescription(), "'New market order' P1=(EURUSD) , P2=(1.5)");
}

}  // namespace
}  // namespace orvane
