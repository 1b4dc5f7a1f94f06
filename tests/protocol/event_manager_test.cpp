#include "orvane/protocol/event_manager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orvane/core/error.h"

namespace orvane {
namespace {

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
  void SummariesReflectE(int32_t c, int32_t a, double comm, double mreq,
                         double net, double dep, double cr, double prv,
                         double in) override {
    Log("Summaries", c, a, comm, mreq, net, dep, cr, prv, in);
  }
  void NewOpenPositionReflectE(int32_t c, int32_t a,
                               const std::string& row) override {
    Log("NewOpen", c, a, row);
  }
  void DeleteOpenPositionReflectE(int32_t c, int32_t a, int32_t t) override {
    Log("DeleteOpen", c, a, t);
  }
  void ClosePositionReflectE(int32_t c, int32_t a, int32_t t,
                             const std::string& row) override {
    Log("Close", c, a, t, row);
  }
  void UpdateOpenPositionReflectE(int32_t c, int32_t a, int32_t t,
                                  const std::string& row) override {
    Log("UpdateOpen", c, a, t, row);
  }
  void DeleteClosePosReflectE(int32_t c, int32_t a, int32_t t,
                              const std::string& row) override {
    Log("DeleteClose", c, a, t, row);
  }
  void ChangeConfigReflectE(CommCalcTypeEnum comm, int16_t m, int16_t b,
                            int16_t l, int16_t s, int16_t q) override {
    Log("ChangeConfig", comm, m, b, l, s, q);
  }
  void ReflectClientChangeParametersE(int32_t c, const std::string& p) override {
    Log("ClientParams", c, p);
  }
  void ReflectClientGeneralParamE(int32_t c, int16_t t,
                                  const std::string& v) override {
    Log("ClientGeneral", c, t, v);
  }
  void DeleteClientReflectE(int32_t c) override { Log("DeleteClient", c); }
  void DeleteAccountReflectE(int32_t c, int32_t a) override {
    Log("DeleteAccount", c, a);
  }
  void AttackProcessE(const std::string& msg, const std::string& ip,
                      int16_t port) override {
    Log("Attack", msg, ip, port);
  }
  void DeleteDealerReflectE(int32_t d) override { Log("DeleteDealer", d); }

  std::vector<std::string> lines;

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

  std::string Last() const {
    return recorder.lines.empty() ? "<none>" : recorder.lines.back();
  }

  CEventManager relay;
  Recorder recorder;
};

// Integers take the leading number, halves to even; an omitted text is 0.
TEST_F(EventManagerTest, IntegerArguments) {
  relay.TriggerEvent(AddLogEntryEvent, "x", "2");
  EXPECT_EQ(Last(), "AddLogEntry|x|2");
  relay.TriggerEvent(AddLogEntryEvent, "y");
  EXPECT_EQ(Last(), "AddLogEntry|y|0");
  relay.TriggerEvent(DeleteClientReflectEvent, "12abc");
  EXPECT_EQ(Last(), "DeleteClient|12");
  relay.TriggerEvent(DeleteAccountReflectEvent, " 2.5", "3.5");
  EXPECT_EQ(Last(), "DeleteAccount|2|4");
  relay.TriggerEvent(DeleteDealerReflectEvent, "abc");
  EXPECT_EQ(Last(), "DeleteDealer|0");
  relay.TriggerEvent(ProcessHandledEvent, "-0.5");
  EXPECT_EQ(Last(), "ProcessHandled|0");
  relay.TriggerEvent(AttackProcessEvent, "flood", "10.0.0.9", "32767.4");
  EXPECT_EQ(Last(), "Attack|flood|10.0.0.9|32767");
}

TEST_F(EventManagerTest, FlagIsTrueOnlyForOne) {
  relay.TriggerEvent(TickOrdersStatusEvent, "1");
  relay.TriggerEvent(TickOrdersStatusEvent, "0");
  relay.TriggerEvent(TickOrdersStatusEvent, "2");
  relay.TriggerEvent(HistoryClientStatusEvent, "1.0");
  relay.TriggerEvent(HistoryClientStatusEvent, "1.5");
  EXPECT_EQ(recorder.lines,
            (std::vector<std::string>{
                "TickOrdersStatus|true", "TickOrdersStatus|false",
                "TickOrdersStatus|false", "HistoryClientStatus|true",
                "HistoryClientStatus|false"}));
}

TEST_F(EventManagerTest, BadTextsRaiseNothing) {
  auto code_of = [&](auto&& call) {
    try {
      call();
    } catch (const Error& e) {
      return static_cast<int>(e.code());
    }
    return -1;
  };
  const int mismatch = static_cast<int>(ErrorCode::TypeMismatch);
  const int overflow = static_cast<int>(ErrorCode::Overflow);
  EXPECT_EQ(code_of([&] { relay.TriggerEvent(TickOrdersStatusEvent, "1x"); }),
            mismatch);
  EXPECT_EQ(code_of([&] { relay.TriggerEvent(HistoryClientStatusEvent); }),
            mismatch);
  EXPECT_EQ(code_of([&] { relay.TriggerEvent(AddLogEntryEvent, "m", "32768"); }),
            overflow);
  EXPECT_EQ(code_of([&] {
              relay.TriggerEvent(DeleteOpenPositionReflectEvent, "1", "2",
                                 "2147483648");
            }),
            overflow);
  // The last integer overflows after the first ones converted: still nothing.
  EXPECT_EQ(code_of([&] {
              relay.TriggerEvent(ChangeConfigReflectEvent, "1", "1", "1", "1",
                                 "1", "-32769");
            }),
            overflow);
  EXPECT_TRUE(recorder.lines.empty());
  relay.TriggerEvent(AddLogEntryEvent, "m", "-32768");
  EXPECT_EQ(Last(), "AddLogEntry|m|-32768");
}

TEST_F(EventManagerTest, UnknownAndSilentIdsRaiseNothing) {
  relay.TriggerEvent(AccountAddedEvent, "1", "2");
  for (int id : {0, 5, 22}) relay.TriggerEvent(static_cast<EventsEnum>(id), "1");
  EXPECT_TRUE(recorder.lines.empty());
}

TEST_F(EventManagerTest, EachIdRaisesItsEventWithItsArguments) {
  relay.TriggerEvent(ShowErrorEvent, "Title", "Text", "ignored");
  EXPECT_EQ(Last(), "ShowError|Title|Text");
  relay.TriggerEvent(SummariesReflectEvent, "5", "6", "1.25", "2", "-3.5",
                     "400", "0", "7e2", "x");
  EXPECT_EQ(Last(), "Summaries|5|6|1.25|2|-3.5|400|0|700|0");
  relay.TriggerEvent(NewOpenPositionReflectEvent, "5", "6", "rowA");
  EXPECT_EQ(Last(), "NewOpen|5|6|rowA");
  relay.TriggerEvent(DeleteOpenPositionReflectEvent, "5", "6", "99");
  EXPECT_EQ(Last(), "DeleteOpen|5|6|99");
  relay.TriggerEvent(ClosePositionReflectEvent, "5", "6", "99", "rowB");
  EXPECT_EQ(Last(), "Close|5|6|99|rowB");
  relay.TriggerEvent(UpdateOpenPositionReflectEvent, "5", "6", "98", "rowC");
  EXPECT_EQ(Last(), "UpdateOpen|5|6|98|rowC");
  relay.TriggerEvent(DeleteClosePosReflectEvent, "5", "6", "97", "rowD");
  EXPECT_EQ(Last(), "DeleteClose|5|6|97|rowD");
  relay.TriggerEvent(ChangeConfigReflectEvent, "2", "3", "4", "5", "6", "7");
  EXPECT_EQ(Last(), "ChangeConfig|2|3|4|5|6|7");
  relay.TriggerEvent(ReflectClientChangeParametersEvent, "8", "a,b");
  EXPECT_EQ(Last(), "ClientParams|8|a,b");
  relay.TriggerEvent(ReflectClientGeneralParamEvent, "8", "3", "on");
  EXPECT_EQ(Last(), "ClientGeneral|8|3|on");
  relay.TriggerEvent(StopServerEvent, "junk");
  EXPECT_EQ(Last(), "StopServer");
  EXPECT_EQ(recorder.lines.size(), 11u);
}

}  // namespace
}  // namespace orvane
