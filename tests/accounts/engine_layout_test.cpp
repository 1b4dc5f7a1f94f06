// The engine's price walk reads a copy of the records it keeps itself. After
// any mix of changes to the records, the client parameters and the symbols,
// a quote of one symbol must leave each of its holders' figures equal to a
// recomputation from the public objects, whatever changed in their other
// symbols and reference symbols, and the listener must have been told those
// figures.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "engine_fixture.h"
#include "orvane/accounts/accounts.h"
#include "orvane/clients/client_param.h"
#include "support/engine_reentrancy.h"

namespace orvane::engine_test {
namespace {

std::string PositionRow(int32_t client, int32_t account, int32_t ticket, bool buy, double lots,
                        int32_t symbol, double price) {
  const std::string sep = "R,@";
  return KeyOf(client) + sep + KeyOf(account) + sep + KeyOf(ticket) + sep + "03/03/2027 09:00:00" +
         sep + (buy ? "Buy" : "Sell") + sep + NumberText(lots) + sep + KeyOf(symbol) + sep +
         NumberText(price) + sep + sep + sep + "0" + sep + "2" + sep + "S" + sep + "1.5" + sep +
         sep + "note";
}

class EngineLayoutTest : public EngineTest {
 protected:
  void RandomChanges(std::mt19937& rng, int steps) {
    CAccountsTransactions& engine = *this->engine;
    auto pick = [&](int n) { return static_cast<int32_t>(rng() % static_cast<unsigned>(n)); };
    for (int step = 0; step < steps; ++step) {
      const int32_t client = 10 + pick(3);
      const int32_t account = client * 10 + pick(2);
      const int32_t ticket = 1 + pick(12);
      const int32_t symbol = 2 + pick(3);
      const double price = 1.1 + 0.01 * pick(30);
      const double lots = 1 + pick(3);
      const int32_t kind = pick(10);
      switch (kind) {
        case 0:
        case 1:
          engine.AddNewOpenPosition(client, account, ticket, symbol, lots, price, pick(2) ? 1 : -1,
                                    pick(3), "", "", pick(2) == 0);
          break;
        case 2:
          if (auto a = engine.Account(client, account);
              a && a->OpenPositions()->Item(KeyOf(ticket))) {
            engine.UpdateOpenPosition(client, account, ticket, lots, price, pick(2) ? 1 : -1,
                                      symbol, pick(4), "", "");
          }
          break;
        case 3:
          engine.ClosePosition(client, account, ticket, pick(2) ? 1 : 5);
          break;
        case 4:
          engine.DefineOpenPosRow(
              client, account, ticket,
              pick(4) == 0 ? std::string()
                           : PositionRow(client, account, ticket, pick(2), lots, symbol, price));
          break;
        case 5:
          engine.ClientParametersChanged(
              client,
              KeyOf(symbol) + "," + KeyOf(1 + pick(4)) + ",0,0,0," + KeyOf(pick(9)) + ",100,0.01,0",
              2);
          engine.GeneralClientParametersChanged(client, 0, "117", 1 + pick(2));
          break;
        case 6:
          if (pick(8) == 0) {
            engine.Unload();
            for (int32_t c = 10; c < 13; ++c) {
              Client(c);
              for (int32_t a = 0; a < 2; ++a)
                engine.AddNewAccount(c, c * 10 + a, 1, 0, 0, -400, 0, 1000, 0, 0, 0, 0, false,
                                     false, true);
            }
          } else if (pick(3) == 0) {
            engine.DeleteAccount(client, account);
            engine.AddNewAccount(client, account, 1, 0, 0, -400, 0, 1000, 0, 0, 0, 0, false, false,
                                 true);
          }
          break;
        case 7:
          Symbol(symbol)->Factor(pick(2) ? 100000 : 50000);
          Symbol(symbol)->PriceOffset(static_cast<int16_t>(pick(5) - 2));
          break;
        default:
          Quote(symbol, price, price + 0.0002);
          break;
      }
    }
  }

  // Whether the symbol's index lists this account as a holder. After Unload
  // the indexes keep the old accounts' entries, which hide new accounts of
  // the same number.
  bool Listed(const CAccount& account, int32_t symbol) {
    const auto ref = Index(symbol)->AccountsHavePositions()->Item(account.IndexKey());
    return ref && ref->Account().get() == &account;
  }

  void Run(bool listening) {
    if (!listening) engine->Unadvise(&events);
    std::mt19937 rng(listening ? 7 : 11);
    int checked = 0;
    for (int round = 0; round < 40; ++round) {
      RandomChanges(rng, 25);
      std::vector<int32_t> order{2, 3, 4};
      std::shuffle(order.begin(), order.end(), rng);
      for (const int32_t quoted : order) {
        events.lines.clear();
        Quote(quoted, Symbol(quoted)->Bid(), Symbol(quoted)->Ask());
        for (const auto& client : engine->Clients()->Items()) {
          for (const auto& account : client->Accounts()->Items()) {
            if (!Listed(*account, quoted)) continue;
            ++checked;
            const auto& positions = *account->OpenPositions();
            double expected = 0;
            for (const auto& p : positions)
              expected += p->FloatingProfitLoss(client->CommCalcType());
            ASSERT_EQ(account->SummeryInfo()->FloatingProfitLoss(), expected)
                << "round " << round << " symbol " << quoted << " account " << account->AccountID();
            if (!listening) continue;
            const auto told = events.Only("UpdateListView " + KeyOf(client->ClientID()) + " " +
                                          KeyOf(account->AccountID()) + " ");
            ASSERT_EQ(told.size(), 1u);
            EXPECT_NE(told[0].find(" flt " + NumberText(expected) + " "), std::string::npos);
            EXPECT_TRUE(told[0].ends_with(" open " + KeyOf(positions.Count()))) << told[0];
          }
        }
      }
    }
    EXPECT_GT(checked, 50);
    if (!listening) engine->Advise(&events);
  }
};

TEST_F(EngineLayoutTest, FiguresFollowEveryRecordChangeWithAndWithoutListener) {
  for (int32_t c = 10; c < 13; ++c) {
    Client(c);
    for (int32_t a = 0; a < 2; ++a) Account(c, c * 10 + a, 1000, -400);
  }
  Run(false);
  Run(true);
}

// The committed inputs of the engine re-entrancy fuzz target, replayed so
// that a regression shows in the normal test run.
TEST(EngineReentrancyCorpus, EveryInputLeavesTheFiguresTrue) {
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(ORVANE_ENGINE_CORPUS)) {
    std::ifstream file(entry.path(), std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file),
                                     std::istreambuf_iterator<char>()};
    EXPECT_EQ(orvane::reentrancy::RunEngineSequence(bytes.data(), bytes.size()), "")
        << entry.path().filename();
    ++inputs;
  }
  EXPECT_GT(inputs, 0);
}

}  // namespace
}  // namespace orvane::engine_test
