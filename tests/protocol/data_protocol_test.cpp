#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "orvane/core/error.h"
#include "orvane/protocol/data_protocol.h"
#include "orvane/util/row.h"
#include "protocol/split_stream.h"
#include "support/errors.h"

namespace orvane {
namespace {

using Texts = std::vector<std::string>;

class DataProtocolTest : public ::testing::Test {
 protected:
  std::string Code(TokensEnum token) { return protocol.TokenDescription(static_cast<int16_t>(token)); }

  CDataProtocol protocol;
  std::vector<std::string> rows;
};

TEST_F(DataProtocolTest, RequestCarriesTheSidAndStopsAtTheFirstNotSentParameter) {
  EXPECT_EQ(protocol.Request(LOGIN_TOKEN, {"a", "b"}), Code(LOGIN_TOKEN) + "s?<-1&h,G)_aG)_b+3!");
  EXPECT_EQ(protocol.Request(LOGIN_TOKEN, {"a", "!&NS&!", "c"}),
            Code(LOGIN_TOKEN) + "s?<-1&h,G)_a+3!");
  protocol.sid(417);
  EXPECT_EQ(protocol.Request(TIME_TOKEN), Code(TIME_TOKEN) + "s?<417&h,+3!");
  const std::vector<std::string> params = {"", "x y", "!&NS&!"};
  EXPECT_EQ(protocol.Request(TIME_TOKEN, params), Code(TIME_TOKEN) + "s?<417&h,G)_G)_x y+3!");
}

TEST_F(DataProtocolTest, ResponseHasNoSid) {
  protocol.sid(5);
  EXPECT_EQ(protocol.Response(RESULT_OK_TOKEN), Code(RESULT_OK_TOKEN) + "s?<+3!");
  EXPECT_EQ(protocol.Response(RESULT_TOKEN, {"1", "aR,@b"}),
            Code(RESULT_TOKEN) + "s?<G)_1G)_aR,@b+3!");
  EXPECT_EQ(protocol.Response(RESULT_TOKEN, {"!&NS&!", "1"}), Code(RESULT_TOKEN) + "s?<+3!");
}

TEST_F(DataProtocolTest, MoreThan56ParametersIsRefused) {
  std::vector<std::string> params(56, "p");
  EXPECT_NO_THROW(protocol.Response(MESSAGE_TOKEN, params));
  params.push_back("q");
  EXPECT_EQ(test::ErrorOf([&] { protocol.Response(MESSAGE_TOKEN, params); }).code,
            ErrorCode::InvalidArgument);
}

TEST_F(DataProtocolTest, RequestSidReadsTheLeadingNumber) {
  const std::string code = Code(GET_PRICES_TOKEN);
  // The SID end marker in front of the token end marker is no SID; without a
  // token end marker the SID is read from the third character on.
  const std::pair<std::string, int32_t> cases[] = {
      {code + "s?<  42&h,G)_x", 42}, {code + "s?<-7&h,", -7},    {code + "s?<12abc&h,", 12},
      {code + "s?<2.5&h,", 2},       {code + "s?<3.5&h,", 4},     {code + "s?<abc&h,", 0},
      {code + "s?<&h,", -100},       {code + "s?<5", -100},       {"&h," + code + "s?<5", -100},
      {"ab12&h,", 12},               {"&h,", -100},
      {protocol.Response(RESULT_TOKEN, {"1"}), -100}};
  for (const auto& [text, sid] : cases) EXPECT_EQ(protocol.RequestSID(text), sid) << text;
  EXPECT_EQ(test::ErrorOf([&] { protocol.RequestSID(code + "s?<99999999999&h,"); }).code,
            ErrorCode::Overflow);
}

TEST_F(DataProtocolTest, ParameterValueCountsFromOne) {
  const std::string cmd = Code(LOGIN_TOKEN) + "s?<9&h,G)_userG)_G)_pass";
  const std::string bare = Code(LOGIN_TOKEN) + "s?<9&h,";
  EXPECT_EQ((Texts{protocol.ParameterValue(cmd, 0), protocol.ParameterValue(cmd, 1),
                   protocol.ParameterValue(cmd, 2), protocol.ParameterValue(cmd, 3),
                   protocol.ParameterValue(cmd, 4), protocol.ParameterValue(cmd, -1),
                   protocol.ParameterValue(bare, 1), protocol.ParameterValue(bare, 0),
                   protocol.ParameterValue("G)_", 1)}),
            (Texts{"", "user", "", "pass", "%$#InVaLID", "%$#InVaLID", "%$#InVaLID",
                   "%$#InVaLID", ""}));
}

// Each run feeds its chunks in turn to a fresh protocol object: the
// messages each chunk completes, and the tail kept for the next chunk.
TEST_F(DataProtocolTest, SplitBufferKeepsTheTailAndDropsOneLeadingTerminator) {
  struct Step {
    const char* chunk;
    Texts messages;
    const char* tail;
  };
  const std::vector<std::vector<Step>> runs = {
      {{"X+3!Y+3!Z", {"X", "Y"}, "Z"}, {"+3!", {"Z"}, ""}},
      // A terminator cut between chunks is still found.
      {{"abc+", {}, "abc+"}, {"3", {}, "abc+3"}, {"!def+3!", {"abc", "def"}, ""}},
      // Only one leading terminator is dropped: a second one ends an empty
      // message. A tail of its own is no leading terminator.
      {{"+3!", {}, ""}, {"+3!+3!A+3!", {"", "A"}, ""}, {"Q", {}, "Q"}, {"+3!", {"Q"}, ""}}};
  for (const std::vector<Step>& run : runs) {
    CDataProtocol fresh;
    for (const Step& step : run) {
      SCOPED_TRACE(step.chunk);
      Texts expected = {""};
      expected.insert(expected.end(), step.messages.begin(), step.messages.end());
      expected.push_back("");
      ASSERT_EQ(fresh.SplitBuffer(step.chunk, rows), static_cast<int32_t>(step.messages.size()));
      EXPECT_EQ(rows, expected);
      EXPECT_EQ(fresh.Buffer(), step.tail);
    }
  }
}

// The tail goes, and a terminator after it is a leading one again.
TEST_F(DataProtocolTest, ClearBufferDropsTheTail) {
  ASSERT_EQ(protocol.SplitBuffer("A+3!B", rows), 1);
  protocol.ClearBuffer();
  EXPECT_EQ(protocol.Buffer(), "");
  EXPECT_EQ(protocol.SplitBuffer("+3!", rows), 0);
}

TEST_F(DataProtocolTest, OnlyLogOnOrDemoAccountOpensAConnection) {
  EXPECT_TRUE(protocol.IsValidFirstCommand(protocol.Request(LOGIN_TOKEN, {"u", "p"})));
  EXPECT_TRUE(protocol.IsValidFirstCommand(Code(GENERATE_DEMO_ACCOUNT)));
  for (const std::string& text : {protocol.Request(TIME_TOKEN), " " + Code(LOGIN_TOKEN),
                                  Code(LOGIN_TOKEN).substr(0, 5), std::string()}) {
    EXPECT_FALSE(protocol.IsValidFirstCommand(text)) << text;
  }
}

TEST_F(DataProtocolTest, ErrorTextsAndTheSharedRow) {
  EXPECT_EQ((Texts{CDataProtocol::ErrorMsg(-500), CDataProtocol::ErrorMsg(-501),
                   CDataProtocol::ErrorMsg(-502), CDataProtocol::ErrorMsg(0),
                   CDataProtocol::ErrorMsg(-503)}),
            (Texts{"Invalid session ID", "Undefined command", "Invalid paramenter", "", ""}));
  ASSERT_NE(protocol.Row(), nullptr);
  EXPECT_EQ(protocol.Row(), protocol.Row());
  EXPECT_EQ(protocol.Row()->Delimiter(), "R,@");
}

// Every chunked stream the split_buffer fuzz target keeps is cut by the
// copying and the view cut exactly as the plain splitting rule cuts it.
TEST(DataProtocolViewsTest, TheFuzzCorpusIsCutAsThePlainRuleCutsIt) {
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(ORVANE_SPLIT_BUFFER_CORPUS)) {
    std::ifstream file(entry.path(), std::ios::binary);
    const std::string input{std::istreambuf_iterator<char>(file), {}};
    EXPECT_EQ(test::SplitStream(input), "") << entry.path().filename();
    ++inputs;
  }
  EXPECT_GT(inputs, 20);
}

// Every cut of one stream into three chunks, terminators cut in two included.
TEST(DataProtocolViewsTest, EveryChunkingOfAStreamIsCutAsThePlainRuleCutsIt) {
  const std::string stream = "+3!A1+3!+3!price G)_1.2345+3!B+3!long message body+3!Z";
  for (size_t first = 0; first <= stream.size(); ++first) {
    for (size_t second = first; second <= stream.size(); second += 3) {
      std::string input;
      for (const auto& [from, to] : {std::pair{size_t{0}, first}, std::pair{first, second},
                                     std::pair{second, stream.size()}}) {
        input += static_cast<char>(to - from);
        input += stream.substr(from, to - from);
      }
      ASSERT_EQ(test::SplitStream(input), "") << "cuts at " << first << ", " << second;
    }
  }
}

TEST(DataProtocolViewsTest, AMessageCompletedFromTheHeldTailOutlivesAClearedBuffer) {
  CDataProtocol protocol;
  std::string held;
  std::vector<std::string_view> views;
  ASSERT_EQ(protocol.SplitBufferViews("first+3!sec", held, views), 1);
  EXPECT_EQ(views[0], "first");
  const std::string chunk = "ond+3!tail";
  ASSERT_EQ(protocol.SplitBufferViews(chunk, held, views), 1);
  protocol.ClearBuffer();  // as a handler may do while the views are in use
  EXPECT_EQ(views[0], "second");
  EXPECT_EQ(protocol.Buffer(), "");
}

}  // namespace
}  // namespace orvane
