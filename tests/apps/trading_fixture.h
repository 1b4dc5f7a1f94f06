#ifndef ORVANE_TESTS_APPS_TRADING_FIXTURE_H_
#define ORVANE_TESTS_APPS_TRADING_FIXTURE_H_

// A trading server on an in-memory network and virtual time, with peers
// that speak the wire protocol directly: what the trading tests share.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "book_import.h"
#include "memory_store.h"
#include "messages.h"
#include "orvane/core/clock.h"
#include "orvane/protocol/data_protocol.h"
#include "orvane/protocol/process.h"
#include "orvane/testing/memory_acceptor.h"
#include "orvane/testing/memory_network.h"
#include "orvane/testing/virtual_timer.h"
#include "rows.h"
#include "trading_server.h"

namespace orvane::apps {

// EURUSD at 1.2000 / 1.2001; Alice's spread 2 pips, lots 0.1 to 5,
// commission 3 a lot on close; Bob may not hedge nor close in part; 1,000
// margin a lot. Carol trades for Alice's client, but not EURUSD.
inline const char* kBook = R"(SYMBOL 1 USD -4 1 1 1 1 0 1 1 FRIDAY 22:00 SUNDAY 22:00
SYMBOL 2 EURUSD -4 100000 1 1 1 1000 1.2000 1.2001 FRIDAY 22:00 SUNDAY 22:00
PARAMSET limited 1,0,0,0,0,0,100,0.01,0,2,2,0,5,5,3,5,0.1,0
CLIENT 10 limited 2 50 2 0 Alice
USER alice secret 10 4,5,8
USER carol pass 10 5 1
ACCOUNT 10 100 1 0 0 2000 0 0 0 0 0 0
CLIENT 20 limited 1 0 2 0 Bob
SETTINGS 20 0 0
USER bob pass 20 5
USER viewer pass 20 4
ACCOUNT 20 200 1 0 0 9000 0 0 0 0 0 0
POSITION 20 200 20R,@200R,@7R,@03/03/2027 09:00:00R,@BuyR,@1R,@2R,@1.2000R,@R,@R,@0R,@1R,@EURUSDR,@0R,@R,@
)";

struct Peer {
  Peer(std::shared_ptr<MemorySocket> s, std::shared_ptr<VirtualTimeScheduler> l)
      : socket(std::move(s)), loop(std::move(l)) {}
  std::shared_ptr<MemorySocket> socket;
  // The server's loop: answers wait for the turn's commit, which it runs.
  std::shared_ptr<VirtualTimeScheduler> loop;
  int32_t sid = -1;
  int32_t last_order = 0;

  std::vector<std::shared_ptr<CProcess>> Read() {
    loop->RunUntilIdle();
    return Unread();
  }
  // What has arrived, without letting the server's loop run.
  std::vector<std::shared_ptr<CProcess>> Unread() {
    std::vector<std::string> texts;
    const int32_t count = split->SplitBuffer(socket->Receive(), texts);
    std::vector<std::shared_ptr<CProcess>> messages;
    for (int32_t i = 1; i <= count; ++i) {
      messages.push_back(CProcess::New());
      messages.back()->DefineProcessByCommand(5, texts[i]);
    }
    return messages;
  }
  std::vector<TokensEnum> Tokens() {
    std::vector<TokensEnum> tokens;
    for (const auto& m : Read()) tokens.push_back(m->TokenID());
    return tokens;
  }
  template <typename Request>
  wire::OrderAnswer Order(const Request& request) {
    return Order(request, Request::kToken);
  }
  // A request whose layout several tokens share, sent under `token`.
  template <typename Request>
  wire::OrderAnswer Order(const Request& request, TokensEnum token) {
    return Answer(token, wire::encode(request));
  }
  // The answer to a request that must execute, checked.
  template <typename Request>
  wire::OrderAnswer Executed(const Request& request) {
    return Executed(request, Request::kToken);
  }
  template <typename Request>
  wire::OrderAnswer Executed(const Request& request, TokensEnum token) {
    const wire::OrderAnswer answer = Order(request, token);
    EXPECT_EQ(answer.code, 0) << answer.text;
    return answer;
  }
  // The answer to a request of `token` with these parameters.
  wire::OrderAnswer Answer(TokensEnum token, const std::vector<std::string>& params) {
    socket->Send(wire::request_text(sid, token, params));
    wire::OrderAnswer answer{-1, -1, "no answer", 0, 0};
    for (const auto& m : Read()) {
      if (m->TokenID() == token) {
        EXPECT_TRUE(wire::decode(*m, answer));
      }
    }
    return answer;
  }
  // The rows of a multi-row answer to the request.
  std::vector<std::string> Rows(TokensEnum token, const std::vector<std::string>& params = {}) {
    socket->Send(wire::request_text(sid, token, params));
    std::vector<std::string> rows;
    for (const auto& m : Read()) {
      if (m->TokenID() == RESULT_TOKEN) rows.push_back(m->ParameterValue(2));
    }
    return rows;
  }
  std::unique_ptr<CDataProtocol> split = std::make_unique<CDataProtocol>();
};

// A peer connected to the server listening on `port` and logged on as
// `user`; what came with the answer to the log-on goes to `received`.
inline Peer LogOnPeer(MemoryNetwork& network, const std::shared_ptr<VirtualTimeScheduler>& loop,
                      int32_t port, const std::string& user, const std::string& password,
                      std::vector<std::shared_ptr<CProcess>>* received = nullptr) {
  Peer peer(network.CreateSocket(), loop);
  peer.socket->Connect("127.0.0.1", port);
  loop->RunUntilIdle();
  peer.socket->Send(wire::request(-1, wire::LogOn{user, password}));
  wire::LoggedOn answer;
  const auto messages = peer.Read();
  EXPECT_TRUE(!messages.empty() && wire::decode(*messages[0], answer));
  peer.sid = answer.sid;
  peer.last_order = answer.last_order;
  if (received) *received = messages;
  return peer;
}

class TradingTest : public ::testing::Test {
 protected:
  // With `stored`, the server runs on m_store, seeded from the book, and
  // books a day's interest at 22:00.
  explicit TradingTest(const std::string& book = kBook, bool stored = false) {
    model::Snapshot snapshot = import_book(book, "book");
    ServerOptions options;
    options.start_after_sessions = 99;
    options.rules.max_deviation_pips = 3;
    options.gateway.multi_sessions_allowed = true;  // a user's second session sees the pushes
    options.halted = [this](const std::string& reason) { m_halted.push_back(reason); };
    if (stored) {
      m_store = std::make_unique<MemoryStore>(seed_book(snapshot, PriceFeed::from_tape({}), 1));
      snapshot = {};
      options.rules.rollover_seconds = 22 * 3600;
    }
    m_server = std::make_unique<TradingServer>(
        snapshot, PriceFeed::from_tape({}), m_clock,
        ServerEnvironment{std::make_shared<MemoryAcceptor>(m_network), m_time,
                          [this] { return m_time->Elapsed(); }, m_store.get(),
                          [this](std::function<void()> task) { m_time->Post(std::move(task)); }},
        options);
    m_port = m_server->start("127.0.0.1", 0);
    Quote(1.2000, 1.2001);
    m_time->RunUntilIdle();
  }

  Peer LogOn(const std::string& user, const std::string& password) {
    return LogOnPeer(*m_network, m_time, m_port, user, password);
  }

  void Quote(double bid, double ask) {
    m_server->apply_quote({DateTime::FromParts(2027, 3, 3, 12, 0, m_second),
                          "03/03/2027 12:00:" + std::string(m_second < 10 ? "0" : "") +
                              std::to_string(m_second),
                          2, bid, ask});
    ++m_second;
  }

  model::Totals Totals(int32_t client, int32_t account) const {
    for (const model::Account& a : m_server->desk().accounts(client)) {
      if (a.account == account) return a.totals;
    }
    return {};
  }

  std::shared_ptr<FixedClock> m_clock = std::make_shared<FixedClock>();
  ScopedClock m_scoped{m_clock};
  std::shared_ptr<VirtualTimeScheduler> m_time = std::make_shared<VirtualTimeScheduler>();
  std::shared_ptr<MemoryNetwork> m_network = MemoryNetwork::Create(m_time, false);
  std::unique_ptr<MemoryStore> m_store;
  std::vector<std::string> m_halted;
  std::unique_ptr<TradingServer> m_server;
  int32_t m_port = 0;
  int m_second = 0;
};

}  // namespace orvane::apps

#endif  // ORVANE_TESTS_APPS_TRADING_FIXTURE_H_
