// The dealer terminal against the reference server on an in-memory network
// and virtual time (the tree it loads, its figures, its money commands,
// exposure and liquidation order), its prompt's parser, and its answers to
// negotiated orders against a fake server.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "book_import.h"
#include "dealer.h"
#include "dealer_command.h"
#include "hostile_server.h"
#include "orvane/core/clock.h"
#include "orvane/testing/memory_acceptor.h"
#include "orvane/testing/memory_network.h"
#include "orvane/testing/virtual_timer.h"
#include "orvane/vocabulary/market_order_status_enum.h"
#include "orvane/vocabulary/operation_type_enum.h"
#include "platform_book.h"
#include "trading_server.h"

namespace orvane::apps {
namespace {

constexpr int32_t kPort = 4700;

// The platform book with a head office over Alice (margin-level rule at
// 50 %, long 1 lot), Bob (no position) and Carl (equity rule at 500, short
// 0.5 lots); Zoe, long 2 lots, stands outside Dana's tree.
const std::string kDealerBook =
    std::string(test::kBook) +
    "OFFICE 1000 0 Head office\n"
    "PARENT 10 1000\n"
    "PARENT 20 1000\n"
    "CLIENT 30 plain 1 500 1 0 Carl\n"
    "ACCOUNT 30 300 1 0 0 3000 0 -500 0 0 0 0\n"
    "POSITION 30 300 30R,@300R,@31R,@03/03/2027 09:00:00R,@SellR,@0.5R,@2R,@1.2010R,@R,@R,@0R,"
    "@1R,@EURUSDR,@0R,@R,@\n"
    "PARENT 30 1000\n"
    "CLIENT 40 plain 1 0 1 0 Zoe\n"
    "ACCOUNT 40 400 1 0 0 9000 0 -2000 0 0 0 0\n"
    "POSITION 40 400 40R,@400R,@41R,@03/03/2027 09:00:00R,@BuyR,@2R,@2R,@1.2000R,@R,@R,@0R,"
    "@1R,@EURUSDR,@0R,@R,@\n"
    "DEALER dana pw 1000 1,3,23,30,37,67,71,72,73,74,75,97\n";

struct DealerWatcher : DealerEvents {
  void log(const std::string& line) override { lines.push_back(line); }
  void ready() override { ++readies; }
  void answered(TokensEnum token, const wire::OrderAnswer& answer) override {
    answers.emplace_back(token, answer);
  }
  void checked(const std::vector<Comparison>& c) override { comparisons = c, ++checks; }
  std::vector<std::string> lines;
  int readies = 0;
  int checks = 0;
  std::vector<std::pair<TokensEnum, wire::OrderAnswer>> answers;
  std::vector<Comparison> comparisons;
};

class DealerTest : public test::MemoryPlatformTest {
 protected:
  DealerTest() {
    ServerOptions options;
    options.start_after_sessions = 99;
    options.gateway.multi_sessions_allowed = true;
    m_server = std::make_unique<TradingServer>(
        import_book(kDealerBook, "book"), PriceFeed::from_tape({}), m_clock,
        ServerEnvironment{std::make_shared<MemoryAcceptor>(m_network), m_loop,
                          [this] { return m_loop->Elapsed(); }},
        options);
    m_server->start("0.0.0.0", kPort);
    m_dealer = std::make_unique<Dealer>(m_network->Environment(), *m_loop,
                                        LogOnAs(kPort, "dana", "pw"), DealerPolicy{}, m_clock,
                                        &m_dana);
    m_dealer->connect();
    EXPECT_TRUE(RunUntil([&] { return m_dealer->ready(); }));
  }

  void Quote(double bid, double ask) {
    m_server->apply_quote({DateTime::FromParts(2027, 3, 3, 12, 0, m_second),
                          "03/03/2027 12:00:0" + std::to_string(m_second), 2, bid, ask});
    ++m_second;
    m_loop->RunUntilIdle();
  }

  // The answer to the dealer's command `number`, once it came.
  wire::OrderAnswer AnswerTo(int32_t number) {
    wire::OrderAnswer found{0, 1, "no answer", 0, 0};
    EXPECT_NE(number, 0);
    RunUntil([&] {
      for (const auto& [token, answer] : m_dana.answers) {
        if (answer.number == number) return found = answer, true;
      }
      return false;
    });
    return found;
  }

  std::vector<int32_t> AccountsInRiskOrder() const {
    std::vector<int32_t> accounts;
    for (const AccountRisk& r : m_dealer->risks()) accounts.push_back(r.figures.account);
    return accounts;
  }

  std::unique_ptr<TradingServer> m_server;
  DealerWatcher m_dana;
  std::unique_ptr<Dealer> m_dealer;
  int m_second = 0;
};

TEST_F(DealerTest, LoadsTheTreeItActsForAndAgreesWithTheServerToTheCent) {
  ASSERT_EQ(m_dealer->terminal().figures().size(), 3u);  // Zoe's account is not Dana's
  EXPECT_EQ(m_dealer->terminal().figures().count(400), 0u);
  EXPECT_NE(m_dealer->terminal().desk()->client(1000), nullptr);  // the office itself
  Quote(1.2047, 1.2048);
  Quote(1.2053, 1.2054);
  ASSERT_TRUE(m_dealer->compare_with_server());
  ASSERT_TRUE(RunUntil([&] { return m_dana.checks == 1; }));
  ASSERT_EQ(m_dana.comparisons.size(), 3u);
  for (const Comparison& c : m_dana.comparisons) {
    EXPECT_TRUE(c.equal()) << "account " << c.account << ": dealer equity " << c.terminal.equity
                           << ", server " << c.server.equity;
  }
  // Carl's short lost at least 44 pips (1.2054 - 1.2010) on half a lot.
  EXPECT_LT(m_dealer->terminal().figures().at(300).equity, 3000 - 220 + 0.005);
}

TEST_F(DealerTest, ADepositShowsInTheDealersFiguresAndTheClientsTerminal) {
  test::Watcher alice_events;
  Terminal alice(m_network->Environment(), *m_loop, LogOnAs(kPort, "alice", "secret"), m_clock,
                 &alice_events);
  alice.connect();
  ASSERT_TRUE(RunUntil([&] { return alice_events.streams == 1; }));
  const wire::OrderAnswer answer =
      AnswerTo(m_dealer->money(100, MoneyOrder::kDeposit, 500.5, "wire 77"));
  ASSERT_EQ(answer.code, 0) << answer.text;
  ASSERT_TRUE(RunUntil([&] { return alice.figures().at(100).balance == 2500.5; }));
  EXPECT_EQ(m_dealer->terminal().figures().at(100).balance, 2500.5);
  EXPECT_EQ(m_dealer->commands_unanswered(), 0u);
  // A refusal reaches the dealer as an answer too.
  EXPECT_EQ(AnswerTo(m_dealer->money(100, MoneyOrder::kWithdrawal, 1e6, "")).code, kNotEnoughFunds);
}

TEST_F(DealerTest, ExposureIsBuysLessSellsOverTheTreeAndFollowsDeals) {
  // Alice's long lot less Carl's short half; Zoe's two lots are not Dana's.
  EXPECT_EQ(m_dealer->exposure(), (std::map<int32_t, double>{{2, 0.5}}));
  const wire::OrderAnswer opened =
      AnswerTo(m_dealer->open_for(200, 2, SellType, 1.25, 1.2000));
  ASSERT_EQ(opened.code, 0) << opened.text;
  ASSERT_TRUE(RunUntil([&] { return m_dealer->exposure().at(2) == -0.75; }));
  const wire::OrderAnswer closed = AnswerTo(m_dealer->close_for(300, 31, 0, 1.2001));
  ASSERT_EQ(closed.code, 0) << closed.text;
  ASSERT_TRUE(RunUntil([&] { return m_dealer->exposure().at(2) == -0.25; }));
}

TEST_F(DealerTest, AccountsSortNearestToLiquidationFirstByEachClientsRule) {
  // Alice: margin level 50 % of a 1,000 margin, so 500 of her ~1,990
  // equity is the line; Carl: 500 of his ~3,045. Bob holds no position.
  EXPECT_EQ(AccountsInRiskOrder(), (std::vector<int32_t>{100, 300, 200}));
  Quote(1.2300, 1.2301);  // Alice gains 3,000, Carl loses 1,500
  const std::vector<AccountRisk> risks = m_dealer->risks();
  ASSERT_EQ(AccountsInRiskOrder(), (std::vector<int32_t>{300, 100, 200}));
  const auto carl = m_server->desk().figures_of(300);
  const auto alice = m_server->desk().figures_of(100);
  ASSERT_TRUE(carl && alice && risks[0].distance && risks[1].distance);
  EXPECT_NEAR(*risks[0].distance, carl->equity - 500, 0.005);
  EXPECT_NEAR(*risks[1].distance, alice->equity - 0.5 * 1000, 0.005);
  EXPECT_FALSE(risks[2].distance.has_value());
  // With auto-liquidation off Carl cannot be liquidated: he goes last.
  ASSERT_EQ(AnswerTo(m_dealer->auto_liquidation(30, false)).code, 0);
  m_dealer->disconnect();  // the tree is read again at the next log-on
  m_dealer->connect();
  ASSERT_TRUE(RunUntil([&] { return m_dana.readies == 2; }));
  EXPECT_EQ(AccountsInRiskOrder(), (std::vector<int32_t>{100, 200, 300}));
}

TEST_F(DealerTest, ThePromptsNewClientCopiesTheClientNamedLike) {
  DealerCommandRunner prompt(*m_dealer, "Carl");
  auto run = [&](const std::string& line) { return prompt.run(*read_dealer_command(line)); };
  EXPECT_EQ(run("open 200 GBPUSD buy 1 1.3"), "no symbol GBPUSD");
  EXPECT_EQ(run("accept 99"), "no order 99");
  EXPECT_EQ(run("new-client zed zpw 1000 Zed Zero"), "sent as 1 (parameters of Carl)");
  const wire::OrderAnswer made = AnswerTo(1);
  ASSERT_EQ(made.code, 0) << made.text;
  const model::Client* zed = m_server->desk().client(made.ticket);
  ASSERT_NE(zed, nullptr);
  EXPECT_EQ(zed->name, "Zed Zero");
  EXPECT_EQ(zed->parent, 1000);
  EXPECT_EQ(zed->liquidation_type, 1);
  EXPECT_EQ(zed->liquidation_point, 500);
  EXPECT_EQ(zed->parameters, m_server->desk().client(30)->parameters);
  DealerCommandRunner unknown(*m_dealer, "Nobody");
  EXPECT_EQ(unknown.run(*read_dealer_command("new-client zoe pw 1000 Zoe")),
            "no client Nobody to copy");
}

TEST(DealerCommandTest, ReadsWhatItTakesAndRefusesEveryBadLine) {
  auto read = [](const std::string& line) { return *read_dealer_command(line); };
  const DealerCommand deposit = read("deposit 100 250.5 wire from  bank ");
  EXPECT_EQ(deposit.verb, DealerCommand::Verb::kMoney);
  EXPECT_EQ(deposit.kind, MoneyOrder::kDeposit);
  EXPECT_EQ(deposit.target, 100);
  EXPECT_EQ(deposit.amount, 250.5);
  EXPECT_EQ(deposit.text, "wire from  bank");
  EXPECT_EQ(read("adjust 100 -12.5").amount, -12.5);
  const DealerCommand close = read("close 100 7 0.5 1.2001");
  EXPECT_EQ(close.ticket, 7);
  EXPECT_EQ(close.amount, 0.5);
  EXPECT_EQ(close.price, 1.2001);
  EXPECT_EQ(read("close 100 7 1.2001").amount, 0);  // the whole position
  const DealerCommand open = read("open 200 EURUSD sell 1 1.2");
  EXPECT_EQ(open.direction, SellType);
  EXPECT_EQ(open.symbol, "EURUSD");
  EXPECT_EQ(read("accept 5").price, 0);  // the order's own price
  const DealerCommand client = read("new-client zed pw 0 Zed Zero");
  EXPECT_EQ(client.parent, 0);
  EXPECT_EQ(client.text, "Zed Zero");
  EXPECT_FALSE(read("autoliq 10 off").on);
  EXPECT_FALSE(read_dealer_command("   ").has_value());
  EXPECT_FALSE(read_dealer_command("# a note").has_value());
  for (const char* bad :
       {"deposit", "deposit 100", "deposit x 10", "deposit 100 -5", "deposit 100 0",
        "withdraw 100 nan", "adjust 100 0", "credit-in 0 10", "accept", "accept 5 0",
        "accept 5 1.2 more", "reject 5 6", "requote 5", "requote 5 -1.2",
        "open 100 EURUSD buy 1", "open 100 EURUSD hold 1 1.2", "open 100 EURUSD buy 0 1.2",
        "open 100 EURUSD buy 1 1.2 1", "close 100", "close 100 7 1 1.2 3", "close 100 7 0 1.2",
        "new-client zed pw", "new-client zed pw -1 Zed", "new-account", "new-account 1.5",
        "broadcast", "disconnect ten", "autoliq 10", "autoliq 10 maybe", "accounts now",
        "withdraw 99999999999 10", "sell 100", "deposit 100 1e999"}) {
    EXPECT_THROW(read_dealer_command(bad), std::invalid_argument) << bad;
  }
  EXPECT_THROW(read_dealer_policy("requote:0"), std::invalid_argument);
  EXPECT_THROW(read_dealer_policy("requote:"), std::invalid_argument);
  EXPECT_THROW(read_dealer_policy("always"), std::invalid_argument);
  EXPECT_EQ(read_dealer_policy("requote:2.5").pips, 2.5);
}

// A dealer against a fake server that deals by hand: it answers the model's
// queries with two symbols (pips of 0.0001), switches dealing on, and hands
// over the negotiations the test holds for it.
class DealerPolicyTest : public test::MemoryPlatformTest {
 protected:
  void Start(const std::string& policy) {
    m_dealer = std::make_unique<Dealer>(m_network->Environment(), *m_loop,
                                        test::HostileOptions(kPort), read_dealer_policy(policy),
                                        m_clock, &m_events);
    m_dealer->connect();
    ServeUntil([&] { return m_dealer->ready(); });
  }

  void Serve() {
    while (!m_server.pending.empty()) {
      const TokensEnum token = m_server.pending.front();
      if (token == CHAT_ON_TOKEN) {
        m_server.pending.pop_front();
        m_server.Send(wire::response_text(RESULT_OK_TOKEN));
      } else if (token == MARKET_ORDER_TOKEN && m_refuse_held) {
        m_server.pending.pop_front();
        m_server.Send(wire::response(wire::Refusal{-501, "Undefined command", MARKET_ORDER_TOKEN}));
      } else if (token == MARKET_ORDER_TOKEN) {
        m_server.pending.pop_front();
        m_server.Send(wire::response_text(RESULT_COUNT_TOKEN, {std::to_string(m_held.size())}));
        for (size_t i = 0; i < m_held.size(); ++i) {
          m_server.Send(wire::response_text(
              RESULT_TOKEN, {std::to_string(i + 1), wire::negotiation_row(m_held[i])}));
        }
      } else if (token == START_MARKET_TOKEN || token == GET_ALL_SYMBOLS_TOKEN ||
                 token == GET_CLIENT_INFO_TOKEN || token == GET_ACCOUNTS_TOKEN ||
                 token == GETOPENPOS_TOKEN || token == GET_PENDING_ORDERS_TOKEN ||
                 token == GET_SUMMARIES_TOKEN) {
        m_server.AnswerHonestly();
      } else {
        m_server.pending.pop_front();  // the test reads it from the requests
      }
      m_loop->RunUntilIdle();
    }
  }

  bool ServeUntil(const std::function<bool()>& done, int64_t limit_ms = 60000) {
    for (int64_t waited = 0; waited <= limit_ms; waited += 100) {
      Serve();
      if (done()) return true;
      m_loop->Advance(100);
    }
    return done();
  }

  // What the dealer answered to negotiations since request `first`: token,
  // order and price.
  using Answers = std::vector<std::tuple<TokensEnum, int32_t, double>>;
  Answers AnswersSince(size_t first) {
    Answers answers;
    for (size_t i = first; i < m_server.requests.size(); ++i) {
      const CProcess& request = *m_server.requests[i];
      const TokensEnum token = request.TokenID();
      if (token != DLR_ACCEPT_MARKET_ORDER_TOKEN && token != DLR_REJECT_MARKET_ORDER_TOKEN &&
          token != DLR_CHANGE_MARKET_ORDER_TOKEN) {
        continue;
      }
      wire::NegotiationAnswer answer;
      EXPECT_TRUE(wire::decode(request, answer));
      answers.emplace_back(token, answer.id, answer.price);
    }
    return answers;
  }
  // Sends the order to the dealer; what it answered.
  Answers Send(const wire::Negotiation& n) {
    const size_t before = m_server.requests.size();
    m_server.Send(wire::response(wire::NegotiationPush{SEND_TO_CHAT_TOKEN, n}));
    m_loop->RunUntilIdle();
    return AnswersSince(before);
  }

  static wire::Negotiation Order(int32_t id, int32_t direction, double price, int32_t ticket = 0) {
    return {id, 3, 10, 100, 1, direction, 1, price, ticket, 0,
            ticket == 0 ? RequestNewBuy : RequestLiqBuy, "", ""};
  }

  test::HostileServer m_server{m_network, kPort};
  std::vector<wire::Negotiation> m_held;
  bool m_refuse_held = false;  // a server that deals nothing by hand
  DealerWatcher m_events;
  std::unique_ptr<Dealer> m_dealer;
};

TEST_F(DealerPolicyTest, EachPolicyAnswersWithItsTokenAndPrice) {
  Start("requote:5");
  ASSERT_TRUE(m_dealer->negotiations().empty());
  // Against the client: a buy 5 pips dearer; closing a buy sells, 5 pips lower.
  EXPECT_EQ(Send(Order(21, BuyType, 1.1002)),
            (Answers{{DLR_CHANGE_MARKET_ORDER_TOKEN, 21, 1.1007}}));
  EXPECT_EQ(Send(Order(22, BuyType, 1.1, 9)),
            (Answers{{DLR_CHANGE_MARKET_ORDER_TOKEN, 22, 1.0995}}));
  EXPECT_EQ(Send(Order(23, SellType, 1.1)),
            (Answers{{DLR_CHANGE_MARKET_ORDER_TOKEN, 23, 1.0995}}));
  EXPECT_EQ(m_dealer->negotiations().size(), 3u);
  // A status change that ends one, and one taken away, leave the others.
  wire::Negotiation ended = Order(21, BuyType, 1.1002);
  ended.status = PriceChangedClientReject_PendingType;
  ended.text = "Changed-client reject \x1b[2J";
  m_server.Send(wire::response(wire::NegotiationPush{MARKET_ORDER_TOKEN, ended}));
  m_server.Send(wire::response(wire::NegotiationPush{SWITCH_ORDER_TOKEN, Order(22, BuyType, 1.1)}));
  m_loop->RunUntilIdle();
  ASSERT_EQ(m_dealer->negotiations().size(), 1u);
  EXPECT_EQ(m_dealer->negotiations().begin()->first, 23);
  // What the server says reaches the log printable.
  bool logged_text = false;
  for (const std::string& line : m_events.lines) {
    logged_text = logged_text || line.find("Changed-client reject ?[2J") != std::string::npos;
    for (char c : line) EXPECT_GE(static_cast<unsigned char>(c), 0x20) << line;
  }
  EXPECT_TRUE(logged_text);

  for (const auto& [policy, token] :
       {std::make_pair("accept", DLR_ACCEPT_MARKET_ORDER_TOKEN),
        std::make_pair("reject", DLR_REJECT_MARKET_ORDER_TOKEN)}) {
    SCOPED_TRACE(policy);
    m_dealer.reset();
    Start(policy);
    const double price = token == DLR_ACCEPT_MARKET_ORDER_TOKEN ? 1.0998 : 0;
    EXPECT_EQ(Send(Order(31, SellType, 1.0998)), (Answers{{token, 31, price}}));
  }
  m_dealer.reset();
  Start("silent");
  EXPECT_TRUE(Send(Order(41, BuyType, 1.1002)).empty());
  // By hand: accepted at a better price for the client.
  const size_t before = m_server.requests.size();
  EXPECT_TRUE(m_dealer->accept(41, 1.1001));
  m_loop->RunUntilIdle();
  EXPECT_EQ(AnswersSince(before), (Answers{{DLR_ACCEPT_MARKET_ORDER_TOKEN, 41, 1.1001}}));
  EXPECT_FALSE(m_dealer->reject(99));  // not an order it holds: nothing sent
  EXPECT_NE(DealerCommandRunner(*m_dealer, "").orders().find(
                "order 41  account 100  buy 1 lots of S1 at 1.1002"),
            std::string::npos);
}

TEST_F(DealerPolicyTest, AfterADropItLogsOnAgainReadsBackWhatItHoldsAndResendsCommands) {
  m_held = {Order(51, BuyType, 1.1002)};
  Start("accept");
  EXPECT_EQ(m_dealer->negotiations().size(), 1u);
  const size_t first = 0;
  ASSERT_EQ(AnswersSince(first).size(), 1u);  // the held order, answered by the policy
  const int32_t number = m_dealer->money(100, MoneyOrder::kDeposit, 10, "");
  ASSERT_NE(number, 0);
  // The fake server never answers nor signs of life: the dealer drops it
  // and logs on again, and now holds another order.
  m_held = {Order(52, SellType, 1.1), Order(53, BuyType, 1.1002)};
  m_held[1].status = PriceSent_RequestType;  // waits for the client, not the dealer
  const size_t before = m_server.requests.size();
  ASSERT_TRUE(ServeUntil([&] { return m_server.logons == 2 && m_dealer->ready(); }));
  EXPECT_EQ(m_dealer->negotiations().size(), 2u);
  EXPECT_EQ(m_dealer->negotiations().count(51), 0u);
  const auto answers = AnswersSince(before);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(std::get<1>(answers[0]), 52);
  size_t sent = 0;
  for (const auto& request : m_server.requests) {
    wire::MoneyRequest money;
    if (request->TokenID() == ACCOUNT_TRANS_TOKEN && wire::decode(*request, money)) {
      EXPECT_EQ(money.number, number);
      ++sent;
    }
  }
  EXPECT_EQ(sent, 2u);  // once, and again under the same number after the log-on
}

TEST_F(DealerPolicyTest, AServerThatRefusesToSayWhatItHoldsLeavesTheDealerReadyToCompare) {
  m_refuse_held = true;
  Start("accept");
  ASSERT_TRUE(m_dealer->ready());
  EXPECT_TRUE(m_dealer->negotiations().empty());
  ASSERT_TRUE(m_dealer->compare_with_server());
  EXPECT_TRUE(ServeUntil([&] { return m_events.checks == 1; }, 3000));
  size_t asked = 0;
  for (const auto& request : m_server.requests) asked += request->TokenID() == MARKET_ORDER_TOKEN;
  EXPECT_EQ(asked, 1u);  // not asked again
}

}  // namespace
}  // namespace orvane::apps
