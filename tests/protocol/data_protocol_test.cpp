#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orvane/core/error.h"
#include "orvane/protocol/data_protocol.h"
#include "orvane/protocol/row.h"

namespace orvane {
namespace {

class DataProtocolTest : public ::testing::Test {
 protected:
  std::string Code(TokensEnum token) { return protocol.TokenDescription(static_cast<int16_t>(token)); }

  CDataProtocol protocol;
  std::vector<std::string> rows;
};

TEST_F(DataProtocolTest, RequestCarriesTheSidAndStopsAtTheFirstNotSentParameter) {
  EXPECT_EQ(protocol.sid(), -1);
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
  try {
    protocol.Response(MESSAGE_TOKEN, params);
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), ErrorCode::InvalidArgument);
  }
}

TEST_F(DataProtocolTest, TokenIdNeedsTheMarkerAndTheWholeCode) {
  const std::string login = Code(LOGIN_TOKEN);
  EXPECT_EQ(protocol.TokenID(login + "s?<-1&h,"), LOGIN_TOKEN);
  EXPECT_EQ(protocol.TokenID(login + "S?<-1&h,"), LOGIN_TOKEN);
  EXPECT_EQ(protocol.TokenID(login), UNDEFINED);
  EXPECT_EQ(protocol.TokenID(login + "s?"), UNDEFINED);
  EXPECT_EQ(protocol.TokenID(login + "xs?<"), UNDEFINED);
  EXPECT_EQ(protocol.TokenID(login.substr(0, login.size() - 1) + "s?<"), UNDEFINED);
  EXPECT_EQ(protocol.TokenID(""), UNDEFINED);
  EXPECT_EQ(protocol.TokenID("s?<"), UNDEFINED);
  // Only the first marker counts.
  EXPECT_EQ(protocol.TokenID("js?<" + login + "s?<"), UNDEFINED);
}

TEST_F(DataProtocolTest, RequestSidReadsTheLeadingNumber) {
  const std::string code = Code(GET_PRICES_TOKEN);
  EXPECT_EQ(protocol.RequestSID(code + "s?<  42&h,G)_x"), 42);
  EXPECT_EQ(protocol.RequestSID(code + "s?<-7&h,"), -7);
  EXPECT_EQ(protocol.RequestSID(code + "s?<12abc&h,"), 12);
  EXPECT_EQ(protocol.RequestSID(code + "s?<2.5&h,"), 2);
  EXPECT_EQ(protocol.RequestSID(code + "s?<3.5&h,"), 4);
  EXPECT_EQ(protocol.RequestSID(code + "s?<abc&h,"), 0);
  EXPECT_EQ(protocol.RequestSID(code + "s?<&h,"), -100);
  EXPECT_EQ(protocol.RequestSID(protocol.Response(RESULT_TOKEN, {"1"})), -100);
  EXPECT_EQ(protocol.RequestSID(code + "s?<5"), -100);
  // The SID end marker in front of the token end marker is no SID.
  EXPECT_EQ(protocol.RequestSID("&h," + code + "s?<5"), -100);
  // Without a token end marker the SID is read from the third character on.
  EXPECT_EQ(protocol.RequestSID("ab12&h,"), 12);
  EXPECT_EQ(protocol.RequestSID("&h,"), -100);
  try {
    protocol.RequestSID(code + "s?<99999999999&h,");
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), ErrorCode::Overflow);
  }
}

TEST_F(DataProtocolTest, ParameterValueCountsFromOne) {
  const std::string cmd = Code(LOGIN_TOKEN) + "s?<9&h,G)_userG)_G)_pass";
  EXPECT_EQ(protocol.ParameterValue(cmd, 0), "");
  EXPECT_EQ(protocol.ParameterValue(cmd, 1), "user");
  EXPECT_EQ(protocol.ParameterValue(cmd, 2), "");
  EXPECT_EQ(protocol.ParameterValue(cmd, 3), "pass");
  EXPECT_EQ(protocol.ParameterValue(cmd, 4), "%$#InVaLID");
  EXPECT_EQ(protocol.ParameterValue(cmd, -1), "%$#InVaLID");
  const std::string bare = Code(LOGIN_TOKEN) + "s?<9&h,";
  EXPECT_EQ(protocol.ParameterValue(bare, 1), "%$#InVaLID");
  EXPECT_EQ(protocol.ParameterValue(bare, 0), "%$#InVaLID");
  EXPECT_EQ(protocol.ParameterValue("G)_", 1), "");
}

TEST_F(DataProtocolTest, SplitBufferKeepsTheTailForTheNextChunk) {
  ASSERT_EQ(protocol.SplitBuffer("X+3!Y+3!Z", rows), 2);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], "");
  EXPECT_EQ(rows[1], "X");
  EXPECT_EQ(rows[2], "Y");
  EXPECT_EQ(rows[3], "");
  EXPECT_EQ(protocol.Buffer(), "Z");

  ASSERT_EQ(protocol.SplitBuffer("+3!", rows), 1);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1], "Z");
  EXPECT_EQ(rows[2], "");
  EXPECT_EQ(protocol.Buffer(), "");
}

TEST_F(DataProtocolTest, SplitBufferFindsATerminatorCutBetweenChunks) {
  EXPECT_EQ(protocol.SplitBuffer("abc+", rows), 0);
  EXPECT_EQ(rows.size(), 2u);
  EXPECT_EQ(protocol.SplitBuffer("3", rows), 0);
  EXPECT_EQ(protocol.Buffer(), "abc+3");
  ASSERT_EQ(protocol.SplitBuffer("!def+3!", rows), 2);
  EXPECT_EQ(rows[1], "abc");
  EXPECT_EQ(rows[2], "def");
  EXPECT_EQ(protocol.Buffer(), "");
}

TEST_F(DataProtocolTest, SplitBufferDropsOneLeadingTerminator) {
  EXPECT_EQ(protocol.SplitBuffer("+3!", rows), 0);
  EXPECT_EQ(protocol.Buffer(), "");
  // Only once: a second terminator hands out an empty message.
  ASSERT_EQ(protocol.SplitBuffer("+3!+3!A+3!", rows), 2);
  EXPECT_EQ(rows[1], "");
  EXPECT_EQ(rows[2], "A");
  // A tail of its own is no leading terminator.
  EXPECT_EQ(protocol.SplitBuffer("Q", rows), 0);
  ASSERT_EQ(protocol.SplitBuffer("+3!", rows), 1);
  EXPECT_EQ(rows[1], "Q");
}

TEST_F(DataProtocolTest, SplitBufferReusesAndShrinksTheCallersRows) {
  rows.assign(10, "stale");
  ASSERT_EQ(protocol.SplitBuffer("A+3!B", rows), 1);
  EXPECT_EQ(rows, (std::vector<std::string>{"", "A", ""}));
  EXPECT_EQ(protocol.SplitBuffer("", rows), 0);
  EXPECT_EQ(rows, (std::vector<std::string>{"", ""}));
  protocol.ClearBuffer();
  EXPECT_EQ(protocol.SplitBuffer("+3!", rows), 0);
}

TEST_F(DataProtocolTest, SplitThenParseRoundTrip) {
  protocol.sid(31);
  const std::string stream = protocol.Request(NEW_ORDER_TOKEN, {"EURUSD", "1.5"}) +
                             protocol.Response(MARKET_DATA_TOKEN, {"7", "1.1", "1.2"});
  // Fed one character at a time, the messages arrive whole and in order.
  std::vector<std::string> received;
  for (char c : stream) {
    const int32_t n = protocol.SplitBuffer(std::string(1, c), rows);
    for (int32_t i = 1; i <= n; ++i) received.push_back(rows[i]);
  }
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(protocol.TokenID(received[0]), NEW_ORDER_TOKEN);
  EXPECT_EQ(protocol.RequestSID(received[0]), 31);
  EXPECT_EQ(protocol.ParameterValue(received[0], 2), "1.5");
  EXPECT_EQ(protocol.TokenID(received[1]), MARKET_DATA_TOKEN);
  EXPECT_EQ(protocol.RequestSID(received[1]), -100);
  EXPECT_EQ(protocol.ParameterValue(received[1], 3), "1.2");
}

TEST_F(DataProtocolTest, OnlyLogOnOrDemoAccountOpensAConnection) {
  EXPECT_TRUE(protocol.IsValidFirstCommand(protocol.Request(LOGIN_TOKEN, {"u", "p"})));
  EXPECT_TRUE(protocol.IsValidFirstCommand(Code(GENERATE_DEMO_ACCOUNT)));
  EXPECT_FALSE(protocol.IsValidFirstCommand(protocol.Request(TIME_TOKEN)));
  EXPECT_FALSE(protocol.IsValidFirstCommand(" " + Code(LOGIN_TOKEN)));
  EXPECT_FALSE(protocol.IsValidFirstCommand(Code(LOGIN_TOKEN).substr(0, 5)));
  EXPECT_FALSE(protocol.IsValidFirstCommand(""));
}

TEST_F(DataProtocolTest, ErrorTexts) {
  EXPECT_EQ(CDataProtocol::ErrorMsg(-500), "Invalid session ID");
  EXPECT_EQ(CDataProtocol::ErrorMsg(-501), "Undefined command");
  EXPECT_EQ(CDataProtocol::ErrorMsg(-502), "Invalid paramenter");
  EXPECT_EQ(CDataProtocol::ErrorMsg(0), "");
  EXPECT_EQ(CDataProtocol::ErrorMsg(-503), "");
}

TEST_F(DataProtocolTest, MarkersAndRow) {
  EXPECT_EQ(protocol.TokenEnd(), "s?<");
  EXPECT_EQ(protocol.ParameterDefaultValue(), "!&NS&!");
  EXPECT_EQ(protocol.InvalidParameter(), "%$#InVaLID");
  EXPECT_EQ(protocol.ParamValue("G)_x"), "G)_x");
  ASSERT_NE(protocol.Row(), nullptr);
  EXPECT_EQ(protocol.Row(), protocol.Row());
  EXPECT_EQ(protocol.Row()->Delimiter(), "R,@");
}

}  // namespace
}  // namespace orvane
