#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "orvane/core/error.h"
#include "orvane/protocol/event_manager.h"
#include "orvane/protocol/response.h"
#include "orvane/session/session.h"
#include "orvane/testing/memory_socket.h"

namespace orvane {
namespace {

// Records log lines and received messages in one sequence, so that their
// order shows.
class Recorder : public CEventManagerEvents, public ISocketEvents {
 public:
  void AddLogEntry(const std::string& msg, int16_t LogLevel) override {
    seen.push_back("log " + std::to_string(LogLevel) + ": " + msg);
    if (on_log) on_log();
  }
  void Receive(ISocket& socket) override {
    std::vector<std::string> rows;
    const int32_t n = protocol.SplitBuffer(socket.Receive(), rows);
    for (int32_t i = 1; i <= n; ++i) {
      seen.push_back("msg " + std::to_string(protocol.TokenID(rows[i])) + ":" +
                     protocol.ParameterValue(rows[i], 1) + "|" +
                     protocol.ParameterValue(rows[i], 2));
    }
  }

  std::vector<std::string> seen;
  std::function<void()> on_log;
  CDataProtocol protocol;
};

class ResponseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto session = std::make_shared<CSession>();
    session->sid(9);
    server->Session(session);
    client->Advise(&recorder);
    events->Advise(&recorder);
    response.Child(server);
    response.EventManager(events);
  }
  void TearDown() override {
    client->Unadvise(&recorder);
    events->Unadvise(&recorder);
  }
  void AddRows(int count) {
    for (int i = 1; i <= count; ++i) {
      response.AddCell("r" + std::to_string(i));
      response.AddRow();
    }
  }
  static std::string Row(int i) { return "msg 4:" + std::to_string(i) + "|r" + std::to_string(i); }
  static std::string Log(int i) {
    return "log 2: Dispatcher sent row " + std::to_string(i) + " <<r" + std::to_string(i) +
           ">> to <9> 127.0.0.1(4500)";
  }

  std::pair<std::shared_ptr<MemorySocket>, std::shared_ptr<MemorySocket>> pair =
      MemorySocket::CreatePair(50001, 4500);
  std::shared_ptr<MemorySocket> server = pair.first;
  std::shared_ptr<MemorySocket> client = pair.second;
  std::shared_ptr<CEventManager> events = std::make_shared<CEventManager>();
  Recorder recorder;
  CResponse response;
};

TEST_F(ResponseTest, EachRowIsLoggedBeforeItIsSent) {
  // No rows: only the count is sent.
  EXPECT_FALSE(response.Handled());
  EXPECT_TRUE(response.Handle());
  EXPECT_TRUE(response.Handled());
  EXPECT_EQ(recorder.seen, (std::vector<std::string>{"msg 6:0|%$#InVaLID"}));
  recorder.seen.clear();
  response.AddCell("a");
  response.AddCell("");
  response.AddCell(Null);
  response.AddCell(2.5);
  response.AddRow();
  response.AddCell("x");
  response.AddRow();
  // A row without cells is refused.
  EXPECT_THROW(response.AddRow(), Error);
  EXPECT_EQ(response.Results(), 2);
  ASSERT_TRUE(response.Handle());
  EXPECT_EQ(recorder.seen,
            (std::vector<std::string>{
                "msg 6:2|%$#InVaLID",
                "log 2: Dispatcher sent row 1 <<aR,@R,@R,@2.5>> to <9> 127.0.0.1(4500)",
                "msg 4:1|aR,@R,@R,@2.5",
                "log 2: Dispatcher sent row 2 <<x>> to <9> 127.0.0.1(4500)",
                "msg 4:2|x",
            }));
}

TEST_F(ResponseTest, LostRowsAreSentAgainInRecordedOrder) {
  AddRows(5);
  ASSERT_TRUE(response.Handle());
  recorder.seen.clear();
  EXPECT_FALSE(response.HasNotRecievedResults());
  response.ResultNotRecieved(3);
  response.ResultNotRecieved(5);
  EXPECT_TRUE(response.HasNotRecievedResults());
  EXPECT_TRUE(response.SendNotRecievedResults());
  EXPECT_FALSE(response.HasNotRecievedResults());
  EXPECT_EQ(recorder.seen, (std::vector<std::string>{Log(3), Row(3), Log(5), Row(5)}));
  // Nothing left: true at once, nothing sent.
  EXPECT_TRUE(response.SendNotRecievedResults());
  EXPECT_EQ(recorder.seen.size(), 4u);
}

TEST_F(ResponseTest, LostNumberThatIsNoRowStopsTheResend) {
  AddRows(2);
  response.ResultNotRecieved(3);
  response.ResultNotRecieved(2);
  EXPECT_FALSE(response.SendNotRecievedResults());
  EXPECT_TRUE(recorder.seen.empty());
  // The failing number was taken; the next one waits.
  EXPECT_TRUE(response.HasNotRecievedResults());
  EXPECT_TRUE(response.SendNotRecievedResults());
  EXPECT_EQ(recorder.seen, (std::vector<std::string>{Log(2), Row(2)}));
  response.ResultNotRecieved(0);
  EXPECT_FALSE(response.SendNotRecievedResults());
  EXPECT_FALSE(response.HasNotRecievedResults());
}

TEST_F(ResponseTest, FailureStopsAtOnceAndLeavesHandledFalse) {
  AddRows(3);
  recorder.on_log = [&] {
    if (recorder.seen.size() == 4) server->FailSend(true);  // at the log line of row 2
  };
  EXPECT_FALSE(response.Handle());
  EXPECT_FALSE(response.Handled());
  EXPECT_EQ(recorder.seen, (std::vector<std::string>{"msg 6:3|%$#InVaLID", Log(1), Row(1), Log(2)}));
}

TEST_F(ResponseTest, UnboundSocketOrEventManagerFails) {
  AddRows(1);
  // A row of one empty cell is a row.
  response.AddCell("");
  response.AddRow();
  EXPECT_EQ(response.Results(), 2);
  CResponse unbound;
  unbound.AddCell("a");
  unbound.AddRow();
  EXPECT_FALSE(unbound.Handle() || unbound.Handled());
  response.EventManager(nullptr);
  EXPECT_FALSE(response.Handle() || response.Handled());
  EXPECT_EQ(recorder.seen, (std::vector<std::string>{"msg 6:2|%$#InVaLID"}));
  response.EventManager(events);
  client->Close();
  EXPECT_FALSE(response.Handle() || response.Handled());
}

}  // namespace
}  // namespace orvane
