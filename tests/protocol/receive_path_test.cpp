// The receive path reads a message's token, SID and parameters by shortcuts
// (code lengths instead of a marker search, sixteen characters at a time,
// text and parameters held inside the process). Each shortcut is checked
// here against the plain reading rule, on the fuzz target's kept inputs and
// on texts built to reach its edges.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "orvane/core/error.h"
#include "orvane/protocol/data_protocol.h"
#include "orvane/protocol/detail/token_table.h"
#include "orvane/protocol/process.h"
#include "protocol/received_message.h"

namespace orvane {
namespace {

// Every input the process fuzz target keeps still keeps every reading rule
// (see the driver's header), so a regression shows without a fuzzing build.
// The kept inputs reach both ends of every sixteen-character block of the
// marker searches: a search that misses a marker at a block's edge, or
// reports one before where it was asked to start, breaks some of them.
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

}  // namespace
}  // namespace orvane
