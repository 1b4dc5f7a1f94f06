#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "orvane/testing/memory_socket.h"
#include "support/errors.h"
#include "orvane/core/error.h"
#include "orvane/protocol/process.h"
#include "orvane/session/session.h"
#include "orvane/util/generals.h"

namespace orvane {
namespace {

using Texts = std::vector<std::string>;

class ProcessTest : public ::testing::Test {
 protected:
  std::string Code(TokensEnum token) {
    return codes.TokenDescription(static_cast<int16_t>(token));
  }
  // A server-side socket whose session has the given sid.
  std::shared_ptr<MemorySocket> ServerSocket(int32_t sid) {
    auto session = std::make_shared<CSession>();
    session->sid(sid);
    server->Session(session);
    return server;
  }

  CDataProtocol codes;
  CProcess process;
  std::pair<std::shared_ptr<MemorySocket>, std::shared_ptr<MemorySocket>> pair =
      MemorySocket::CreatePair(50001, 4500);
  std::shared_ptr<MemorySocket> server = pair.first;
  std::shared_ptr<MemorySocket> client = pair.second;
};

TEST_F(ProcessTest, ParsesARequestWithItsSidAndParameters) {
  process.DefineProcessByCommand(5, Code(NEW_ORDER_TOKEN) + "s?<17&h,G)_aG)_G)_c");
  EXPECT_EQ(process.TokenID(), NEW_ORDER_TOKEN);
  EXPECT_EQ(process.CommandSID(), 17);
  EXPECT_EQ(process.ProcessLogLevel(), 5);
  ASSERT_EQ(process.Parameters(), 3);
  EXPECT_EQ((Texts{process.ParameterValue(1), process.ParameterValue(2), process.ParameterValue(3),
                   process.ParameterValue(4), process.ParameterValue(4, true, "x"),
                   process.ParameterValue(3, true, "x"), process.ParameterValue(0),
                   process.ParameterValue(-1, true)}),
            (Texts{"a", "", "c", "%$#InVaLID", "x", "c", "%$#InVaLID", ""}));
  // The logging check failed (5 > 0): no description.
  EXPECT_EQ(process.ProcessDescription(), "'' ");
}

TEST_F(ProcessTest, UnknownUnmarkedOrInvalidEndsTheParameters) {
  process.DefineProcessByCommand(0, Code(NEW_ORDER_TOKEN) + "s?<1&h,G)_a");
  ASSERT_EQ(process.Parameters(), 1);
  process.DefineProcessByCommand(0, Code(NEW_ORDER_TOKEN) + "G)_a");
  EXPECT_EQ(process.TokenID(), UNDEFINED);
  EXPECT_EQ(process.Parameters(), 0);
  EXPECT_EQ(process.CommandSID(), -100);
  process.DefineProcessByCommand(0, "nosuchcodes?<5&h,G)_a");
  EXPECT_EQ(process.TokenID(), UNDEFINED);
  EXPECT_EQ(process.Parameters(), 0);
  EXPECT_EQ(process.CommandSID(), 5);
  // The invalid marker ends the parameter list.
  process.DefineProcessByCommand(0, Code(MESSAGE_TOKEN) + "s?<G)_aG)_%$#InVaLIDG)_c");
  EXPECT_EQ(process.Parameters(), 1);
  EXPECT_EQ(process.CommandSID(), -100);
}

TEST_F(ProcessTest, DescriptionsWhenTheLoggingCheckPasses) {
  process.SystemLogLevel(3);
  process.DefineProcessByCommand(3, Code(LOGIN_TOKEN) + "s?<-1&h,G)_xG)_y");
  EXPECT_EQ(process.ProcessDescription(), "'Logging on' P1=(x) , P2=(y)");
  process.DefineProcessByCommand(3, Code(TIME_TOKEN) + "s?<");
  EXPECT_EQ(process.ProcessDescription(), "'DateTime' ");
  // A failing check keeps the earlier descriptions.
  process.DefineProcessByCommand(4, Code(LOGIN_TOKEN) + "s?<-1&h,G)_z");
  EXPECT_EQ(process.ProcessDescription(), "'DateTime' ");
  EXPECT_EQ(process.Parameters(), 1);
}

TEST_F(ProcessTest, ResponseReadsItsParametersBackOnlyWhenLogged) {
  process.DefineProcessByCommand(0, Code(MESSAGE_TOKEN) + "s?<G)_oldG)_old2");
  ASSERT_EQ(process.Parameters(), 2);
  process.DefineResponseByToken(1, RESULT_TOKEN, {"1", "aR,@b"});
  EXPECT_EQ(process.ProcessText(), Code(RESULT_TOKEN) + "s?<G)_1G)_aR,@b+3!");
  EXPECT_EQ(process.TokenID(), RESULT_TOKEN);
  EXPECT_EQ((Texts{process.ParameterValue(1), process.ParameterValue(2)}), (Texts{"old", "old2"}));

  process.SystemLogLevel(1);
  process.DefineResponseByToken(1, RESULT_TOKEN, {"1", "aR,@b"});
  ASSERT_EQ(process.Parameters(), 2);
  EXPECT_EQ(process.ParameterValue(2), "aR,@b");
  EXPECT_EQ(process.ProcessDescription(), "'Result' P1=(1) , P2=(aR,@b)");
  EXPECT_EQ(process.SentBytes(), static_cast<int32_t>(process.ProcessText().size()));
}

TEST_F(ProcessTest, RequestSetsTheSidButReadsNothingBack) {
  process.SystemLogLevel(9);
  process.DefineProcessByCommand(1, Code(GET_PRICES_TOKEN) + "s?<8&h,G)_p");
  process.DefineRequestByToken(42, 1, LOGIN_TOKEN, {"u", "!&NS&!", "never"});
  EXPECT_EQ(process.ProcessText(), Code(LOGIN_TOKEN) + "s?<42&h,G)_u+3!");
  EXPECT_EQ(process.TokenID(), LOGIN_TOKEN);
  EXPECT_EQ(process.CommandSID(), 8);
  EXPECT_EQ(process.ParameterValue(1), "p");
  EXPECT_EQ(process.ProcessDescription(), "'Requesting prices' P1=(p)");
  EXPECT_TRUE(process.IsValidFirstCommand(process.ProcessText()));
  process.DefineRequestByToken(2, 1, TIME_TOKEN);
  EXPECT_EQ(process.ParameterValue(1), "p");
  // Parsing the process's own text (an aliasing argument) reads it whole.
  process.DefineProcessByCommand(0, process.ProcessText());
  EXPECT_EQ(process.TokenID(), TIME_TOKEN);
  EXPECT_EQ(process.CommandSID(), 2);
  EXPECT_EQ(process.Parameters(), 0);
}

TEST_F(ProcessTest, OversizedSidIsAnOverflow) {
  process.DefineProcessByCommand(0, Code(MESSAGE_TOKEN) + "s?<G)_keptG)_too");
  EXPECT_EQ(test::ErrorOf([&] {
              process.DefineProcessByCommand(0, Code(TIME_TOKEN) + "s?<1e12&h,G)_a");
            }).code,
            ErrorCode::Overflow);
  EXPECT_EQ(process.TokenID(), TIME_TOKEN);
  ASSERT_EQ(process.Parameters(), 2);
  EXPECT_EQ((Texts{process.ParameterValue(1), process.ParameterValue(2)}), (Texts{"kept", "too"}));
}

TEST_F(ProcessTest, ValidateSidAgainstTheAttachedSession) {
  process.DefineProcessByCommand(0, Code(TIME_TOKEN) + "s?<17&h,");
  EXPECT_FALSE(process.ValidateSID());  // no Child
  process.Child(server);
  EXPECT_FALSE(process.ValidateSID());  // no session
  ServerSocket(17);
  EXPECT_TRUE(process.ValidateSID());
  ServerSocket(18);
  EXPECT_FALSE(process.ValidateSID());
  server->Session(std::make_shared<Object>());
  EXPECT_FALSE(process.ValidateSID());

  ServerSocket(-1);
  process.DefineProcessByCommand(0, Code(TIME_TOKEN) + "s?<-1&h,");
  EXPECT_FALSE(process.ValidateSID());
  ServerSocket(-100);
  process.DefineProcessByCommand(0, Code(TIME_TOKEN) + "s?<");
  EXPECT_FALSE(process.ValidateSID());
}

TEST_F(ProcessTest, SendResults) {
  process.DefineResponseByToken(0, RESULT_COUNT_TOKEN, {"3"});
  EXPECT_EQ(process.Send(server), SentSuccessfully);
  EXPECT_EQ(client->Receive(), process.ProcessText());
  EXPECT_EQ(process.SentBytes(), static_cast<int32_t>(process.ProcessText().size()));

  server->FailSend(true);
  EXPECT_EQ(process.Send(server), SentFailedError);
  EXPECT_EQ(process.Send(nullptr), SentFailedError);

  auto lone = MemorySocket::Create();
  EXPECT_EQ(process.Send(lone), SentFailedZeroPort);
  EXPECT_TRUE(lone->SentTexts().empty());
  client->Close();
  EXPECT_EQ(process.Send(server), 2);
}

TEST_F(ProcessTest, QueueNodeAndSessionTexts) {
  process.SystemLogLevel(1);
  process.DefineProcessByCommand(1, Code(LOGIN_TOKEN) + "s?<-1&h,G)_x");
  EXPECT_EQ(process.IQueueNode_ID(), "");
  EXPECT_EQ(process.IQueueNode_toString(), "From:  Process:'Logging on' P1=(x)");
  process.Child(ServerSocket(417));
  IQueueNode& node = process;
  EXPECT_EQ(node.ID(), "417");
  EXPECT_EQ(node.toString(), "From: 127.0.0.1 Process:'Logging on' P1=(x)");
  EXPECT_EQ(process.SessionDescription(server), "<417> 127.0.0.1(4500)");
  server->Session(nullptr);
  EXPECT_EQ(process.SessionDescription(server), "<> 127.0.0.1(4500)");
  EXPECT_THROW(process.SessionDescription(nullptr), Error);
}

// Rows travel as the second parameter of a result message; the process
// hands them to the row reader and splitters unchanged.
TEST_F(ProcessTest, RowReaderAndSplittersPassThrough) {
  EXPECT_EQ(process.RowStringDelimiter(), "R,@");
  EXPECT_EQ(process.ParameterDefaultValue(), "!&NS&!");
  process.DefineProcessByCommand(0, Code(RESULT_TOKEN) + "s?<G)_1G)_aR,@R,@c");
  process.AddRowString(process.ParameterValue(2));
  ASSERT_EQ(process.RowCellsCount(), 3);
  EXPECT_EQ((Texts{process.RowCell(1), process.RowCell(2), process.RowCell(3)}),
            (Texts{"a", "", "c"}));
  EXPECT_THROW(process.RowCell(4), Error);

  CGenerals generals;
  Texts o(12);
  process.SplitOrderRow(generals.OrderRowString(55, "01/02/2026 10:00:00", -1, 2.5, 7, 1.2345, 0,
                                                0, 1.2, 1.3, 1, "n"),
                        o[0], o[1], o[2], o[3], o[4], o[5], o[6], o[7], o[8], o[9], o[10], o[11]);
  EXPECT_EQ((Texts{o[0], o[1], o[3], o[11]}), (Texts{"55", "01/02/2026 10:00:00", "2.5", "n"}));

  const std::string pos = generals.PosRowString(3, "12", 901, "t", 1.5, 1.25, 7, 0, 1.3, 1, 1,
                                                1.5, "EURUSD", 0.5, "m", "note");
  int32_t client = 0, account = 0, ticket = 0, symbol = 0;
  Texts p(6);
  OperationTypeEnum direction{};
  double lots = 0, price = 0, original = 0, interest = 0;
  int16_t checked = 0;
  process.SplitPosRow(pos, client, account, ticket, p[0], direction, lots, symbol, price, p[1],
                      p[2], checked, original, p[3], interest, p[4], p[5]);
  EXPECT_EQ((std::vector<int32_t>{client, account, ticket, direction}),
            (std::vector<int32_t>{3, 12, 901, BuyType}));
  EXPECT_DOUBLE_EQ(price, 1.25);
  EXPECT_EQ((Texts{p[3], p[5]}), (Texts{"EURUSD", "note"}));

  std::string a[16];
  process.SplitOrderAuditRow("1R,@2R,@3R,@4R,@5R,@6R,@7R,@8R,@9R,@10R,@11R,@12R,@13R,@14R,@15R,@16",
                             a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10],
                             a[11], a[12], a[13], a[14], a[15]);
  EXPECT_EQ((Texts{a[0], a[7], a[15]}), (Texts{"1", "8", "16"}));
}

}  // namespace
}  // namespace orvane
