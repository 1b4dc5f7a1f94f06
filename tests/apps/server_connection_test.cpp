// One server connection over an in-memory socket pair: the log-on gate, the
// protocol's errors, multi-row answers with a lost row resent, and the
// limits that close a connection.

#include "server_connection.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "fake_connection_host.h"
#include "messages.h"
#include "orvane/protocol/data_protocol.h"
#include "orvane/protocol/process.h"
#include "orvane/session/security.h"
#include "orvane/session/session.h"
#include "orvane/testing/memory_socket.h"
#include "orvane/testing/virtual_timer.h"
#include "session_ids.h"

namespace orvane::apps {
namespace {

// What the server sent, parsed message by message.
struct Message {
  TokensEnum token;
  std::vector<std::string> params;
};

class ServerConnectionTest : public ::testing::Test {
 protected:
  ServerConnectionTest() {
    auto [server_end, peer] = MemorySocket::CreatePair();
    m_peer = peer;
    ConnectionLimits limits;
    limits.max_unterminated_bytes = 1000;
    m_connection = std::make_unique<ServerConnection>(m_host, server_end, limits);
    m_connection->start();
  }

  void SendRequest(int32_t sid, TokensEnum token,
                   std::initializer_list<std::string_view> params = {}) {
    CProcess request;
    request.DefineRequestByToken(sid, 5, token, params);
    m_peer->Send(request.ProcessText());
  }

  std::vector<Message> Read() {
    std::vector<std::string> texts;
    const int32_t count = m_split.SplitBuffer(m_peer->Receive(), texts);
    std::vector<Message> messages;
    for (int32_t i = 1; i <= count; ++i) {
      CProcess p;
      p.DefineProcessByCommand(5, texts[i]);
      Message m{p.TokenID(), {}};
      for (int16_t k = 1; k <= p.Parameters(); ++k) m.params.push_back(p.ParameterValue(k));
      messages.push_back(std::move(m));
    }
    return messages;
  }

  int32_t LogOn() {
    SendRequest(-1, LOGIN_TOKEN, {"alice", "secret"});
    const auto answer = Read();
    EXPECT_EQ(answer.size(), 1u);
    EXPECT_EQ(answer.at(0).token, LOGIN_TOKEN);
    return std::stoi(answer.at(0).params.at(0));
  }

  bool Logged(const std::string& part) const {
    for (const std::string& line : m_host.log_lines) {
      if (line.find(part) != std::string::npos) return true;
    }
    return false;
  }

  test::FakeConnectionHost m_host;
  std::shared_ptr<MemorySocket> m_peer;
  std::unique_ptr<ServerConnection> m_connection;
  CDataProtocol m_split;
};

TEST_F(ServerConnectionTest, LogOnGivesTheSessionItsSidAndClient) {
  SendRequest(-1, LOGIN_TOKEN, {"alice", "secret"});
  const auto answer = Read();
  ASSERT_EQ(answer.size(), 1u);
  EXPECT_EQ(answer[0].params,
            (std::vector<std::string>{"42", "10", "0", "03/03/2027 12:00:00",
                                      "0,20,30,2,0,5,10,,0"}));
  EXPECT_TRUE(m_connection->logged_on());
  EXPECT_EQ(m_connection->client_id(), 10);
  EXPECT_EQ(m_host.log_ons, 1);
  EXPECT_TRUE(m_connection->session()->Security()->UserHasPriv(OpenClosePositionsPriv));
  EXPECT_FALSE(m_connection->session()->Security()->UserHasPriv(DepositPriv));
}

TEST_F(ServerConnectionTest, RefusedLogOnIsAnsweredThenClosed) {
  SendRequest(-1, LOGIN_TOKEN, {"alice", "wrong"});
  const auto answer = Read();
  ASSERT_EQ(answer.size(), 1u);
  EXPECT_EQ(answer[0].token, ERROR_TOKEN);
  EXPECT_EQ(answer[0].params.at(0), "-1");
  EXPECT_TRUE(m_connection->is_closed());
  EXPECT_EQ(m_host.closes, 1);
  EXPECT_TRUE(Logged("log-on refused for 'alice'"));
  EXPECT_EQ(m_peer->State(), SocketClosed);
}

TEST_F(ServerConnectionTest, OnlyALogOnMayOpenTheConnection) {
  SendRequest(-1, GET_ACCOUNTS_TOKEN);
  EXPECT_TRUE(Read().empty());
  EXPECT_TRUE(m_connection->is_closed());
  EXPECT_TRUE(Logged("the first message is not a log-on"));
}

TEST_F(ServerConnectionTest, BadRequestsAreAnsweredWithTheProtocolErrors) {
  const int32_t sid = LogOn();
  struct Case {
    int32_t sid;
    TokensEnum token;
    std::string param;
    std::string code, text;
  };
  const Case cases[] = {
      {sid + 1, GET_ACCOUNTS_TOKEN, "", "-500", "Invalid session ID"},
      {-1, GET_ACCOUNTS_TOKEN, "", "-500", "Invalid session ID"},
      {sid, NEWS_TOKEN, "", "-501", "Undefined command"},
      {sid, LOGIN_TOKEN, "alice", "-501", "Undefined command"},
      {sid, RESULT_LOST_TOKEN, "two", "-502", "Invalid paramenter"},
      {sid, RESULT_LOST_TOKEN, "1", "-502", "Invalid paramenter"},  // nothing answered yet
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text + " for token " + std::to_string(c.token));
    if (c.param.empty()) {
      SendRequest(c.sid, c.token);
    } else {
      SendRequest(c.sid, c.token, {c.param});
    }
    const auto answer = Read();
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_EQ(answer[0].token, ERROR_TOKEN);
    EXPECT_EQ(answer[0].params,
              (std::vector<std::string>{c.code, c.text, std::to_string(c.token)}));
  }
  EXPECT_FALSE(m_connection->is_closed());
}

TEST_F(ServerConnectionTest, MultiRowAnswerAndALostRowSentAgain) {
  const int32_t sid = LogOn();
  SendRequest(sid, GET_ACCOUNTS_TOKEN);
  const auto answer = Read();
  ASSERT_EQ(answer.size(), 4u);
  EXPECT_EQ(answer[0].token, RESULT_COUNT_TOKEN);
  EXPECT_EQ(answer[0].params, std::vector<std::string>{"3"});
  for (size_t i = 1; i <= 3; ++i) {
    EXPECT_EQ(answer[i].token, RESULT_TOKEN);
    EXPECT_EQ(answer[i].params, (std::vector<std::string>{std::to_string(i), m_host.rows[i - 1]}));
  }
  SendRequest(sid, RESULT_LOST_TOKEN, {"2"});
  const auto again = Read();
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0].token, RESULT_TOKEN);
  EXPECT_EQ(again[0].params, (std::vector<std::string>{"2", "second"}));
}

TEST(ServerConnectionDeadline, OnlyALogOnBeforeTheDeadlineKeepsTheConnection) {
  VirtualTimeScheduler time;
  test::FakeConnectionHost host;
  auto open = [&](bool log_on) {
    auto [server_end, peer] = MemorySocket::CreatePair();
    auto deadline = time.CreateTimer();
    deadline->Interval(5000);
    auto connection = std::make_unique<ServerConnection>(host, server_end, ConnectionLimits(),
                                                         deadline);
    connection->start();
    if (log_on) {
      CProcess login;
      login.DefineRequestByToken(-1, 5, LOGIN_TOKEN, {"alice", "secret"});
      peer->Send(login.ProcessText());
    }
    return std::make_pair(std::move(connection), peer);
  };
  auto [silent, silent_peer] = open(false);
  auto [talker, talker_peer] = open(true);
  time.Advance(4999);
  EXPECT_FALSE(silent->is_closed());
  time.Advance(1);
  EXPECT_TRUE(silent->is_closed());
  EXPECT_EQ(host.log_lines.back().find("no log-on in time") != std::string::npos, true);
  time.Advance(60000);
  EXPECT_FALSE(talker->is_closed());
}

// A host that holds what logged-on sessions are told until Release.
class HoldingHost : public test::FakeConnectionHost {
 public:
  bool holding() const override { return holding_back; }
  void hold(std::function<void()> send) override { held.push_back(std::move(send)); }
  void Release() {
    holding_back = false;
    for (auto& send : std::exchange(held, {})) send();
  }
  bool holding_back = false;
  std::vector<std::function<void()>> held;
};

TEST(ServerConnectionSharedText, GoesAtOnceAheadOfHeldAnswersAndWithinTheBudget) {
  HoldingHost host;
  auto [server_end, peer] = MemorySocket::CreatePair();
  ConnectionLimits limits;
  limits.max_unsent_bytes = 100;
  ServerConnection connection(host, server_end, limits);
  connection.start();
  CProcess logon;
  logon.DefineRequestByToken(-1, 5, LOGIN_TOKEN, {"alice", "secret"});
  peer->Send(logon.ProcessText());
  ASSERT_TRUE(connection.logged_on());
  peer->Receive();

  const auto price = std::make_shared<const std::string>(std::string(36, 'p') + "+3!");
  host.holding_back = true;
  connection.send("ANSWER+3!");
  EXPECT_TRUE(connection.send_now(price));
  EXPECT_EQ(peer->Receive(), *price);
  host.Release();
  EXPECT_EQ(peer->Receive(), "ANSWER+3!");

  peer->StopReading();
  int sent = 0;
  while (sent < 10 && connection.send_now(price)) ++sent;
  EXPECT_EQ(sent, 3);  // 117 bytes not taken passed the 100 allowed
  EXPECT_TRUE(connection.is_closed());
  EXPECT_EQ(host.closes, 1);
}

TEST_F(ServerConnectionTest, OnlyAnUnterminatedMessagePastTheLimitClosesTheConnection) {
  const int32_t sid = LogOn();
  for (int i = 0; i < 100; ++i) SendRequest(sid, CONNECT_HANDCHAKE_TOKEN);
  m_peer->Send(std::string(600, 'x'));
  EXPECT_FALSE(m_connection->is_closed());
  m_peer->Send(std::string(600, 'x'));
  EXPECT_TRUE(m_connection->is_closed());
  EXPECT_TRUE(Logged("an unterminated message passed 1000 bytes"));
}

TEST_F(ServerConnectionTest, DisconnectRequestAndPeerCloseBothEndTheSession) {
  const int32_t sid = LogOn();
  SendRequest(sid, DISCONNECT_TOKEN);
  EXPECT_TRUE(m_connection->is_closed());
  EXPECT_TRUE(Logged("the peer asked to disconnect"));
  EXPECT_EQ(m_host.closes, 1);
}

// ---- session ids ----
// Session IDs: never issued twice, not to be guessed from the last one, and
// read from a request only when written as the server writes them.

TEST(SessionIdsTest, ManyDrawsAreDistinctInRangeAndNotInSequence) {
  SessionIds ids;
  std::unordered_set<int32_t> seen;
  int32_t last = 0;
  int next_to_last = 0;
  int64_t low_half = 0;
  constexpr int kDraws = 200000;
  for (int i = 0; i < kDraws; ++i) {
    const int32_t sid = ids.next();
    ASSERT_GT(sid, 0);
    ASSERT_TRUE(seen.insert(sid).second) << "issued twice: " << sid;
    if (sid == last + 1) ++next_to_last;
    if (sid < (1 << 30)) ++low_half;
    last = sid;
  }
  EXPECT_LT(next_to_last, 5);
  // Spread over the whole range, not packed at its start.
  EXPECT_GT(low_half, kDraws * 4 / 10);
  EXPECT_LT(low_half, kDraws * 6 / 10);
}

TEST(SessionIdsTest, KeysDecideTheSequence) {
  SessionIds a({1, 2, 3, 4});
  SessionIds b({1, 2, 3, 4});
  SessionIds c({1, 2, 3, 5});
  SessionIds fresh;
  int same_ab = 0;
  int same_ac = 0;
  int same_fresh = 0;
  for (int i = 0; i < 100; ++i) {
    const int32_t x = a.next();
    same_ab += x == b.next();
    same_ac += x == c.next();
    same_fresh += x == fresh.next();
  }
  EXPECT_EQ(same_ab, 100);
  EXPECT_LT(same_ac, 3);
  EXPECT_LT(same_fresh, 3);
}

TEST(ReadSidTest, OnlyPlainDecimalDigitsAreASid) {
  const std::string plain = wire::request_text(417, GET_ACCOUNTS_TOKEN);
  EXPECT_EQ(read_sid(plain), 417);
  const std::string head = "s?<417&h,";
  ASSERT_NE(plain.find(head), std::string::npos);
  for (const std::string bent : {"1.4", "1abc", "+1", " 1", "1 ", "-1", "0", "01", "", "1e3",
                                 "2147483648", "99999999999"}) {
    std::string text = plain;
    text.replace(text.find(head), head.size(), "s?<" + bent + "&h,");
    EXPECT_EQ(read_sid(text), std::nullopt) << "'" << bent << "'";
  }
  std::string largest = plain;
  largest.replace(largest.find(head), head.size(), "s?<2147483647&h,");
  EXPECT_EQ(read_sid(largest), 2147483647);
  EXPECT_EQ(read_sid("no markers at all"), std::nullopt);
}

}  // namespace
}  // namespace orvane::apps
