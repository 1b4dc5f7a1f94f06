// The engine's price walk reads a copy of the records it keeps itself. After
// any mix of record changes, a quote of every symbol must leave each
// account's figures equal to a recomputation from the public objects, and
// the listener must have been told those figures.

#include <map>
#include <random>

#include "engine_fixture.h"
#include "orvane/accounts/accounts.h"
#include "orvane/clients/client_param.h"

namespace orvane::engine_test {
namespace {

class Figures : public CAccountsTransactionsEvents {
 public:
  std::map<int32_t, std::pair<double, int32_t>> told;  // account: flt, open positions
  void UpdateListView(int32_t&, int32_t& a, double&, double& flt, double&, double&, double&,
                      double&, double&, int32_t& open) override {
    told[a] = {flt, open};
  }
};

std::string PositionRow(int32_t client, int32_t account, int32_t ticket, bool buy, double lots,
                        int32_t symbol, double price) {
  const std::string sep = "R,@";
  return KeyOf(client) + sep + KeyOf(account) + sep + KeyOf(ticket) + sep +
         "03/03/2027 09:00:00" + sep + (buy ? "Buy" : "Sell") + sep + NumberText(lots) + sep +
         KeyOf(symbol) + sep + NumberText(price) + sep + sep + sep + "0" + sep + "2" + sep +
         "S" + sep + "1.5" + sep + sep + "note";
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
    const int32_t kind = pick(9);
    switch (kind) {
      case 0:
      case 1:
        engine.AddNewOpenPosition(client, account, ticket, symbol, lots, price,
                                  pick(2) ? 1 : -1, pick(3), "", "", pick(2) == 0);
        break;
      case 2:
        if (auto a = engine.Account(client, account); a && a->OpenPositions()->Item(KeyOf(ticket))) {
          engine.UpdateOpenPosition(client, account, ticket, lots, price, pick(2) ? 1 : -1,
                                    symbol, pick(4), "", "");
        }
        break;
      case 3:
        engine.ClosePosition(client, account, ticket, pick(2) ? 1 : 5);
        break;
      case 4:
        engine.DefineOpenPosRow(client, account, ticket,
                                pick(4) == 0 ? std::string()
                                             : PositionRow(client, account, ticket, pick(2),
                                                           lots, symbol, price));
        break;
      case 5:
        engine.ClientParametersChanged(client, "2," + KeyOf(1 + pick(4)) + ",0,0,0," +
                                                   KeyOf(pick(9)) + ",100,0.01,0",
                                       2);
        engine.GeneralClientParametersChanged(client, 0, "117", 1 + pick(2));
        break;
      case 6:
        if (pick(8) == 0) {
          engine.Unload();
          for (int32_t c = 10; c < 13; ++c) {
            Client(c);
            for (int32_t a = 0; a < 2; ++a) engine.AddNewAccount(c, c * 10 + a, 1, 0, 0, -400, 0,
                                                                 1000, 0, 0, 0, 0, false, false,
                                                                 true);
          }
        } else if (pick(3) == 0) {
          engine.DeleteAccount(client, account);
          engine.AddNewAccount(client, account, 1, 0, 0, -400, 0, 1000, 0, 0, 0, 0, false, false,
                               true);
        }
        break;
      default:
        Quote(symbol, price, price + 0.0002);
        break;
    }
  }
}

  // Whether a symbol's index lists this account as a holder. After Unload
  // the indexes keep the old accounts' entries, which hide new accounts of
  // the same number.
  bool Listed(const CAccount& account) {
    for (const auto& p : *account.OpenPositions()) {
      const auto ref = Index(p->SymbolParam()->Symbol()->ID())
                           ->AccountsHavePositions()
                           ->Item(account.IndexKey());
      if (ref && ref->Account().get() == &account) return true;
    }
    return false;
  }

  void Run(bool listening) {
    Figures figures;
    engine->Unadvise(&events);
    if (listening) engine->Advise(&figures);
    std::mt19937 rng(listening ? 7 : 11);
    int checked = 0;
    for (int round = 0; round < 40; ++round) {
      RandomChanges(rng, 25);
      figures.told.clear();
      for (int32_t id = 1; id <= 4; ++id) Quote(id, Symbol(id)->Bid(), Symbol(id)->Ask());
      for (const auto& client : engine->Clients()->Items()) {
        for (const auto& account : client->Accounts()->Items()) {
          const auto& positions = *account->OpenPositions();
          if (!Listed(*account)) continue;  // no symbol's holder: not revalued
          ++checked;
          double expected = 0;
          for (const auto& p : positions) expected += p->FloatingProfitLoss(client->CommCalcType());
          ASSERT_EQ(account->SummeryInfo()->FloatingProfitLoss(), expected)
              << "round " << round << " account " << account->AccountID();
          if (!listening) continue;
          const auto told = figures.told.find(account->AccountID());
          ASSERT_NE(told, figures.told.end());
          EXPECT_EQ(told->second.first, expected);
          EXPECT_EQ(told->second.second, positions.Count());
        }
      }
    }
    EXPECT_GT(checked, 50);
    if (listening) engine->Unadvise(&figures);
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

}  // namespace
}  // namespace orvane::engine_test
