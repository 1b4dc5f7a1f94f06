// A dealer's session on the trading server: what it reads of the tree it
// acts for, its money and administration commands, and every refusal of
// them (wrong kind of user, missing privilege, a client outside its tree)
// leaving the book exactly as it was.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "trading_fixture.h"

namespace orvane::apps {
namespace {

// Alice's client sits under office 1000, which Dana acts for; Bob's does
// not. Nora is a dealer of the whole tree without a single privilege.
const std::string kDealingBook = std::string(kBook) +
                                 "OFFICE 1000 0 Head office\n"
                                 "PARENT 10 1000\n"
                                 "DEALER dana pw 1000 1,3,23,30,37,67,71,72,73,74,75,97\n"
                                 "DEALER nora pw 0 -\n"
                                 "DEALER otto pw 0 3,71\n";

class DealingTest : public TradingTest {
 protected:
  DealingTest() : TradingTest(kDealingBook) {}

  model::AuditEntry LastAudit() const { return m_server->desk().snapshot().audit.back(); }
};

TEST_F(DealingTest, ADealerReadsOnlyTheTreeItActsFor) {
  Peer dana = LogOn("dana", "pw");
  const auto clients = dana.Rows(GET_CLIENT_INFO_TOKEN);
  ASSERT_EQ(clients.size(), 2u);  // Alice's client, and the office above it
  model::Client alice, office;
  ASSERT_TRUE(wire::read_client_row(clients[0], alice));
  ASSERT_TRUE(wire::read_client_row(clients[1], office));
  EXPECT_EQ(office.type, OFFICE_TYPE);
  EXPECT_EQ(alice.id, 10);
  EXPECT_EQ(alice.parent, 1000);
  const auto accounts = dana.Rows(GET_ACCOUNTS_TOKEN);
  ASSERT_EQ(accounts.size(), 1u);
  model::Account account;
  ASSERT_TRUE(wire::read_account_row(accounts[0], account));
  EXPECT_EQ(account.account, 100);
  EXPECT_TRUE(dana.Rows(GETOPENPOS_TOKEN).empty());  // Bob's position is not Dana's to see
  EXPECT_EQ(LogOn("nora", "pw").Rows(GETOPENPOS_TOKEN).size(), 1u);
}

TEST_F(DealingTest, ADepositReachesTheClientsTerminalAndTheDealerAtOnce) {
  Peer alice = LogOn("alice", "secret");
  Peer dana = LogOn("dana", "pw");
  const auto answer =
      dana.Executed(wire::MoneyRequest{1, 100, MoneyOrder::kDeposit, 500.5, "wire 77"});
  EXPECT_EQ(answer.ticket, 100);
  wire::TotalsPush pushed;
  bool told = false;
  for (const auto& m : alice.Read()) {
    if (m->TokenID() == SUMMARIES_CHANGED_TOKEN) told = wire::decode(*m, pushed);
  }
  ASSERT_TRUE(told);
  EXPECT_EQ(pushed.booked.totals.deposit, 2500.5);
  EXPECT_EQ(Totals(10, 100).deposit, 2500.5);
  const model::MoneyEntry entry = m_server->desk().snapshot().entries.back();
  EXPECT_EQ(entry.ledger, model::Ledger::kDeposit);
  EXPECT_EQ(entry.amount, 500.5);
  EXPECT_EQ(entry.note, "deposit by dana: wire 77");
  EXPECT_NE(LastAudit().row.find("dealer dana deposit 500.5"), std::string::npos);
  // A repeat of the number books nothing more.
  EXPECT_EQ(dana.Order(wire::MoneyRequest{1, 100, MoneyOrder::kDeposit, 500.5, ""}).code, 0);
  EXPECT_EQ(Totals(10, 100).deposit, 2500.5);
}

TEST_F(DealingTest, AWithdrawalNeverLeavesTheEffectiveMarginNegative) {
  Peer nora_with_money = LogOn("otto", "pw");
  const double free_margin = m_server->desk().figures_of(200)->effective_margin;
  ASSERT_GT(free_margin, 0);
  const model::Snapshot before = m_server->desk().snapshot();
  const wire::OrderAnswer too_much =
      nora_with_money.Order(wire::MoneyRequest{1, 200, MoneyOrder::kWithdrawal, free_margin + 0.01, ""});
  EXPECT_EQ(too_much.code, kNotEnoughFunds) << too_much.text;
  EXPECT_EQ(m_server->desk().snapshot().accounts, before.accounts);
  const double all = std::floor(free_margin * 100) / 100;
  EXPECT_EQ(nora_with_money.Order(wire::MoneyRequest{2, 200, MoneyOrder::kWithdrawal, all, ""}).code, 0);
  EXPECT_GE(m_server->desk().figures_of(200)->effective_margin, 0);
  EXPECT_EQ(nora_with_money.Order(wire::MoneyRequest{3, 200, MoneyOrder::kDeposit, -5, ""}).code,
            kBadAmount);
  EXPECT_EQ(nora_with_money.Order(wire::MoneyRequest{4, 200, MoneyOrder::kCreditOut, 1, ""}).code,
            wire::kNotAllowed);  // Otto may deposit and withdraw only
}

// Every dealer command, refused to a client user, to a dealer without its
// privilege, and to a dealer for a client outside its tree; none of them
// changes the book.
TEST_F(DealingTest, EveryDealerCommandIsRefusedToWhoMayNotGiveIt) {
  struct Command {
    TokensEnum token;
    std::vector<std::string> inside, outside;  // parameters for Alice's, then Bob's
  };
  const std::vector<Command> commands = {
      {ACCOUNT_TRANS_TOKEN, {"9", "100", "1", "10", ""}, {"9", "200", "1", "10", ""}},
      {ACCOUNT_TRANS_TOKEN, {"9", "100", "2", "10", ""}, {"9", "200", "2", "10", ""}},
      {ACCOUNT_TRANS_TOKEN, {"9", "100", "3", "10", ""}, {"9", "200", "3", "10", ""}},
      {ACCOUNT_TRANS_TOKEN, {"9", "100", "4", "10", ""}, {"9", "200", "4", "10", ""}},
      {ACCOUNT_TRANS_TOKEN, {"9", "100", "5", "10", ""}, {"9", "200", "5", "10", ""}},
      {NEW_POSITION_TOKEN, {"9", "100", "2", "1", "1", "1.2"}, {"9", "200", "2", "1", "1", "1.2"}},
      {CLOSE_POSITION_TOKEN, {"9", "100", "7", "0", "1.2"}, {"9", "200", "7", "0", "1.2"}},
      {NEW_CLIENT_TOKEN,
       {"9", "0", "1000", "zed", "pw", "5", "", "0", "0", "1", "0", "Zed"},
       {"9", "0", "20", "zed", "pw", "5", "", "0", "0", "1", "0", "Zed"}},
      {NEW_ACCOUNT_TOKEN, {"9", "10", "0", "1", "0"}, {"9", "20", "0", "1", "0"}},
      {UPDATE_CLIENT_INFO_TOKEN, {"9", "10", "0"}, {"9", "20", "0"}},
      {BROADCAST_MSG_TOKEN, {"9", "hello"}, {}},
      {DISCONNECT_SESSION_TOKEN, {"9", "10"}, {"9", "20"}},
  };
  Peer alice = LogOn("alice", "secret");
  Peer nora = LogOn("nora", "pw");
  Peer dana = LogOn("dana", "pw");
  const model::Snapshot before = m_server->desk().snapshot();
  auto expect_refused = [&](Peer& peer, const Command& command, const std::vector<std::string>& params,
                            const std::string& why) {
    SCOPED_TRACE("token " + std::to_string(command.token) + " by " + why);
    const wire::OrderAnswer answer = peer.Answer(command.token, params);
    EXPECT_EQ(answer.code, wire::kNotAllowed) << answer.text;
    EXPECT_NE(answer.text.find(why), std::string::npos) << answer.text;
  };
  for (const Command& command : commands) {
    expect_refused(alice, command, command.inside, "this kind of user may not");
    expect_refused(nora, command, command.inside, "lacks the privilege");
    if (!command.outside.empty()) {
      expect_refused(dana, command, command.outside, "outside the clients this dealer acts for");
    }
  }
  EXPECT_EQ(m_server->desk().snapshot(), before);
  EXPECT_FALSE(alice.socket->State() == SocketClosed);
}

TEST_F(DealingTest, ANewClientWithItsAccountLogsOnAndTrades) {
  Peer dana = LogOn("dana", "pw");
  wire::NewClientRequest client;
  client.number = 1;
  client.username = "zed";
  client.password = "zpw";
  client.privileges = "5";
  client.parameters = m_server->desk().client(10)->parameters;
  client.liquidation_type = 2;
  client.liquidation_point = 50;
  client.name = "Zed";
  const auto made = dana.Executed(client);
  EXPECT_EQ(m_server->desk().client(made.ticket)->parent, 1000);  // under Dana's office
  const auto opened = dana.Executed(wire::NewAccountRequest{2, made.ticket, 0, 1, false});
  ASSERT_EQ(dana.Order(wire::MoneyRequest{3, opened.ticket, MoneyOrder::kDeposit, 1000, ""}).code, 0);

  Peer zed = LogOn("zed", "zpw");
  ASSERT_GT(zed.sid, 0);
  zed.Executed(wire::OpenRequest{1, opened.ticket, 2, BuyType, 0.1, 1.2003});
  EXPECT_EQ(zed.Rows(GETOPENPOS_TOKEN).size(), 1u);
  EXPECT_EQ(dana.Order(client).code, 0);  // the same number: its first answer again
  client.number = 4;
  EXPECT_EQ(dana.Order(client).code, kNameTaken);
}

TEST_F(DealingTest, AutoLiquidationSwitchedOffKeepsTheAccountOpenBelowItsPoint) {
  Peer dana = LogOn("dana", "pw");
  Peer alice = LogOn("alice", "secret");
  ASSERT_EQ(alice.Order(wire::OpenRequest{1, 100, 2, BuyType, 1, 1.2003}).code, 0);
  ASSERT_EQ(dana.Order(wire::AutoLiquidationRequest{1, 10, false}).code, 0);
  EXPECT_FALSE(m_server->desk().client(10)->auto_liquidation);
  Quote(1.1700, 1.1701);  // a loss of about 3,000 on a balance of 2,000
  EXPECT_EQ(m_server->desk().positions(10).size(), 1u);
  ASSERT_EQ(dana.Order(wire::AutoLiquidationRequest{2, 10, true}).code, 0);
  Quote(1.1699, 1.1700);
  EXPECT_TRUE(m_server->desk().positions(10).empty());
}

TEST_F(DealingTest, ADealerOpensAndClosesByHandAtItsOwnPrice) {
  Peer dana = LogOn("dana", "pw");
  Peer alice = LogOn("alice", "secret");
  const auto opened = dana.Executed(wire::ManualOpenRequest{1, 100, 2, BuyType, 1, 1.1990});
  EXPECT_EQ(opened.price, 1.1990);
  const std::vector<TokensEnum> told = alice.Tokens();
  EXPECT_NE(std::find(told.begin(), told.end(), NEW_OPEN_POSITION_TOKEN), told.end());
  dana.Executed(wire::ManualCloseRequest{2, 100, opened.ticket, 0, 1.2010});
  const model::HistoryEntry history = m_server->desk().history(10).back();
  EXPECT_EQ(history.close_price, 1.2010);
  EXPECT_EQ(history.note, "dealer");
  EXPECT_EQ(history.profit, 200 - 3);  // 20 pips of a lot, less the commission on close
  EXPECT_NE(LastAudit().row.find("(dealer dana)"), std::string::npos);
}

TEST_F(DealingTest, ABroadcastReachesTheTreeAndADisconnectClosesTheClient) {
  Peer dana = LogOn("dana", "pw");
  Peer alice = LogOn("alice", "secret");
  Peer bob = LogOn("bob", "pass");
  const wire::OrderAnswer sent = dana.Order(wire::BroadcastRequest{1, "Markets close early"});
  EXPECT_EQ(sent.text, "sent to 1 sessions");
  wire::TextPush text;
  const auto received = alice.Read();
  ASSERT_EQ(received.size(), 1u);
  ASSERT_TRUE(wire::decode(*received[0], text));
  EXPECT_EQ(text.text, "Markets close early");
  EXPECT_TRUE(bob.Read().empty());
  EXPECT_EQ(dana.Order(wire::DisconnectRequest{2, 10}).code, 0);
  EXPECT_EQ(alice.socket->State(), SocketClosed);
  EXPECT_NE(LastAudit().row.find("dealer dana: disconnect: closed 1 sessions"), std::string::npos);
}

}  // namespace
}  // namespace orvane::apps
