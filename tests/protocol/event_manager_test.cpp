#include "orvane/protocol/event_manager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orvane/core/error.h"
#include "orvane/protocol/client_server.h"
#include "support/errors.h"

namespace orvane {
namespace {

using Texts = std::vector<std::string>;

// Writes every event it hears as one line of text.
class Recorder : public CEventManagerEvents {
 public:
  void AddLogEntry(const std::string& msg, int16_t level) override {
    Log("AddLogEntry", msg, level);
  }
  void ProcessHandled(int16_t thread) override { Log("ProcessHandled", thread); }
  void ShowError(const std::string& title, const std::string& msg) override {
    Log("ShowError", title, msg);
  }
  void StopServer() override { Log("StopServer"); }
  void TickOrdersStatus(bool c) override { Log("TickOrdersStatus", c); }
  void HistoryClientStatusEvent(bool c) override { Log("HistoryClientStatus", c); }
  void SummariesReflectE(int32_t c, int32_t a, double comm, double mreq, double net, double dep,
                         double cr, double prv, double in) override {
    Log("Summaries", c, a, comm, mreq, net, dep, cr, prv, in);
  }
  void NewOpenPositionReflectE(int32_t c, int32_t a, const std::string& row) override {
    Log("NewOpen", c, a, row);
  }
  void DeleteOpenPositionReflectE(int32_t c, int32_t a, int32_t t) override {
    Log("DeleteOpen", c, a, t);
  }
  void ClosePositionReflectE(int32_t c, int32_t a, int32_t t, const std::string& row) override {
    Log("Close", c, a, t, row);
  }
  void UpdateOpenPositionReflectE(int32_t c, int32_t a, int32_t t,
                                  const std::string& row) override {
    Log("UpdateOpen", c, a, t, row);
  }
  void DeleteClosePosReflectE(int32_t c, int32_t a, int32_t t, const std::string& row) override {
    Log("DeleteClose", c, a, t, row);
  }
  void ChangeConfigReflectE(CommCalcTypeEnum comm, int16_t m, int16_t b, int16_t l, int16_t s,
                            int16_t q) override {
    Log("ChangeConfig", comm, m, b, l, s, q);
  }
  void ReflectClientChangeParametersE(int32_t c, const std::string& p) override {
    Log("ClientParams", c, p);
  }
  void ReflectClientGeneralParamE(int32_t c, int16_t t, const std::string& v) override {
    Log("ClientGeneral", c, t, v);
  }
  void DeleteClientReflectE(int32_t c) override { Log("DeleteClient", c); }
  void DeleteAccountReflectE(int32_t c, int32_t a) override { Log("DeleteAccount", c, a); }
  void AttackProcessE(const std::string& msg, const std::string& ip, int16_t port) override {
    Log("Attack", msg, ip, port);
  }
  void DeleteDealerReflectE(int32_t d) override { Log("DeleteDealer", d); }

  Texts lines;

 private:
  static std::string Text(const std::string& s) { return s; }
  static std::string Text(bool b) { return b ? "true" : "false"; }
  template <typename N>
  static std::string Text(N n) {
    std::string s = std::to_string(n);
    if (s.find('.') != std::string::npos) {
      s.erase(s.find_last_not_of('0') + 1);
      if (s.back() == '.') s.pop_back();
    }
    return s;
  }
  template <typename... A>
  void Log(const char* name, const A&... args) {
    std::string line = name;
    ((line += "|" + Text(args)), ...);
    lines.push_back(line);
  }
};

class EventManagerTest : public ::testing::Test {
 protected:
  EventManagerTest() { relay.Advise(&recorder); }
  ~EventManagerTest() override { relay.Unadvise(&recorder); }

  CEventManager relay;
  Recorder recorder;
};

// Integers take the leading number, halves to even; an omitted text is 0.
// A flag is true only for a text that reads as exactly 1.
TEST_F(EventManagerTest, IntegerAndFlagArguments) {
  relay.TriggerEvent(AddLogEntryEvent, "x", "2");
  relay.TriggerEvent(AddLogEntryEvent, "y");
  relay.TriggerEvent(DeleteClientReflectEvent, "12abc");
  relay.TriggerEvent(DeleteAccountReflectEvent, " 2.5", "3.5");
  relay.TriggerEvent(DeleteDealerReflectEvent, "abc");
  relay.TriggerEvent(ProcessHandledEvent, "-0.5");
  relay.TriggerEvent(AttackProcessEvent, "flood", "10.0.0.9", "32767.4");
  for (const char* flag : {"1", "0", "2"}) relay.TriggerEvent(TickOrdersStatusEvent, flag);
  for (const char* flag : {"1.0", "1.5"}) relay.TriggerEvent(HistoryClientStatusEvent, flag);
  EXPECT_EQ(recorder.lines,
            (Texts{"AddLogEntry|x|2", "AddLogEntry|y|0", "DeleteClient|12", "DeleteAccount|2|4",
                   "DeleteDealer|0", "ProcessHandled|0", "Attack|flood|10.0.0.9|32767",
                   "TickOrdersStatus|true", "TickOrdersStatus|false", "TickOrdersStatus|false",
                   "HistoryClientStatus|true", "HistoryClientStatus|false"}));
}

TEST_F(EventManagerTest, BadTextsRaiseNothing) {
  auto code_of = [&](auto&& call) { return test::ErrorOf(call).code; };
  const ErrorCode mismatch = ErrorCode::TypeMismatch;
  const ErrorCode overflow = ErrorCode::Overflow;
  EXPECT_EQ(code_of([&] { relay.TriggerEvent(TickOrdersStatusEvent, "1x"); }), mismatch);
  EXPECT_EQ(code_of([&] { relay.TriggerEvent(HistoryClientStatusEvent); }), mismatch);
  EXPECT_EQ(code_of([&] { relay.TriggerEvent(AddLogEntryEvent, "m", "32768"); }), overflow);
  EXPECT_EQ(code_of([&] {
              relay.TriggerEvent(DeleteOpenPositionReflectEvent, "1", "2", "2147483648");
            }),
            overflow);
  // The last integer overflows after the first ones converted: still nothing.
  EXPECT_EQ(code_of([&] {
              relay.TriggerEvent(ChangeConfigReflectEvent, "1", "1", "1", "1", "1", "-32769");
            }),
            overflow);
  // Unknown ids and ids without an event raise nothing either.
  relay.TriggerEvent(AccountAddedEvent, "1", "2");
  for (int id : {0, 5, 22}) relay.TriggerEvent(static_cast<EventsEnum>(id), "1");
  EXPECT_TRUE(recorder.lines.empty());
  relay.TriggerEvent(AddLogEntryEvent, "m", "-32768");
  EXPECT_EQ(recorder.lines, Texts{"AddLogEntry|m|-32768"});
}

TEST_F(EventManagerTest, EachIdRaisesItsEventWithItsArguments) {
  relay.TriggerEvent(ShowErrorEvent, "Title", "Text", "ignored");
  relay.TriggerEvent(SummariesReflectEvent, "5", "6", "1.25", "2", "-3.5", "400", "0", "7e2", "x");
  relay.TriggerEvent(NewOpenPositionReflectEvent, "5", "6", "rowA");
  relay.TriggerEvent(DeleteOpenPositionReflectEvent, "5", "6", "99");
  relay.TriggerEvent(ClosePositionReflectEvent, "5", "6", "99", "rowB");
  relay.TriggerEvent(UpdateOpenPositionReflectEvent, "5", "6", "98", "rowC");
  relay.TriggerEvent(DeleteClosePosReflectEvent, "5", "6", "97", "rowD");
  relay.TriggerEvent(ChangeConfigReflectEvent, "2", "3", "4", "5", "6", "7");
  relay.TriggerEvent(ReflectClientChangeParametersEvent, "8", "a,b");
  relay.TriggerEvent(ReflectClientGeneralParamEvent, "8", "3", "on");
  relay.TriggerEvent(StopServerEvent, "junk");
  EXPECT_EQ(recorder.lines,
            (Texts{"ShowError|Title|Text", "Summaries|5|6|1.25|2|-3.5|400|0|700|0",
                   "NewOpen|5|6|rowA", "DeleteOpen|5|6|99", "Close|5|6|99|rowB",
                   "UpdateOpen|5|6|98|rowC", "DeleteClose|5|6|97|rowD", "ChangeConfig|2|3|4|5|6|7",
                   "ClientParams|8|a,b", "ClientGeneral|8|3|on", "StopServer"}));
}

// A host's implementation: hands a server request on to its subscribers.
class HostClientServer : public IClientServer {
 public:
  void Deliver(int16_t token, std::vector<std::string>& values) {
    RaiseRequestFromServer(token, static_cast<int16_t>(values.size()), values);
  }
};

class Listener : public IClientServerEvents {
 public:
  void RequestFromServer(int16_t Tkn, int16_t Parameters,
                         std::vector<std::string>& ParamVals) override {
    seen.push_back(std::to_string(Tkn) + "/" + std::to_string(Parameters) + "/" + ParamVals.back());
    ParamVals.back() = "answered";
  }
  std::vector<std::string> seen;
};

TEST(ClientServerTest, RequestFromServerReachesSubscribersByReference) {
  HostClientServer host;
  Listener first, second;
  host.Advise(&first);
  host.Advise(&second);
  std::vector<std::string> values = {"a", "b"};
  host.Deliver(13, values);
  EXPECT_EQ(first.seen, (std::vector<std::string>{"13/2/b"}));
  EXPECT_EQ(second.seen, (std::vector<std::string>{"13/2/answered"}));
  EXPECT_EQ(values.back(), "answered");
  host.Unadvise(&first);
  host.Deliver(14, values);
  EXPECT_EQ(first.seen.size(), 1u);
}

}  // namespace
}  // namespace orvane
