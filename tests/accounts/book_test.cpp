// A book built through the engine: accounts found through their clients,
// the per-symbol index through deletes, and nothing left alive after
// deallocation.

#include <gtest/gtest.h>

#include <vector>

#include "engine_fixture.h"
#include "orvane/accounts/accounts.h"
#include "orvane/clients/client_params.h"

namespace orvane::engine_test {
namespace {

constexpr int32_t kEurUsd = 2, kGbpUsd = 3, kEurGbp = 4;

// Office 1 with clients 10 (Ann) and 20 (Bob). Ann: long EURUSD, short the
// cross, an SL/TP on the EURUSD position and an alert on GBPUSD. Bob: short
// EURUSD and a buy limit in the cross.
class BookTest : public EngineTest {
 protected:
  BookTest() {
    Client(1);
    Client(10, MARGIN_LEVEL_LIQUIDATION, 50, ON_OPEN_TYPE, 1);
    Client(20, MARGIN_LEVEL_LIQUIDATION, 50, ON_CLOSE_TYPE, 1);
    ann_account = Account(10, 1001, 10000);
    Position(10, 1001, 1, kEurUsd, 1, 1.1950, BuyType);
    Position(10, 1001, 2, kEurGbp, 2, 0.9030, SellType);
    Order(10, 1001, 501, SlTpType, SellType, 1, kEurUsd, 0, 1.1900, 1.2100);
    engine->AddNewAlert(10, 71, kGbpUsd, BID_GREATER, 1.35, 2, true);
    bob_account = Account(20, 2001, 5000);
    Position(20, 2001, 3, kEurUsd, 0.5, 1.2050, SellType);
    Order(20, 2001, 601, LimitOrdersType, BuyType, 0, kEurGbp, 0.8900, 0, 0);
    ann = engine->Clients()->Item(KeyOf(10));
    bob = engine->Clients()->Item(KeyOf(20));
  }

  std::shared_ptr<CClient> ann, bob;
  std::shared_ptr<CAccount> ann_account, bob_account;
};

TEST_F(BookTest, AccountsAreFoundThroughTheirClients) {
  const auto& clients = *engine->Clients();
  EXPECT_EQ(clients.AccountByAccountID(2001), bob_account);
  EXPECT_FALSE(clients.AccountExists(3001));
  EXPECT_EQ(clients.Account(20, 2001), bob_account);
  EXPECT_EQ(clients.Account(10, 2001), nullptr);  // Ann's client holds no 2001
  EXPECT_EQ(clients.Account(99, 2001), nullptr);
}

TEST_F(BookTest, IndexFollowsDeletes) {
  auto eurusd = Index(kEurUsd);
  auto eurgbp = Index(kEurGbp);
  auto gbpusd = Index(kGbpUsd);
  ASSERT_EQ(eurusd->AccountsHavePositions()->Count(), 2);

  // Ann holds a second EURUSD position: closing one keeps her listed (her
  // cross position does not count for EURUSD); closing both and the SL/TP
  // order takes her out.
  Position(10, 1001, 9, kEurUsd, 1, 1.2010, SellType);
  auto positions = ann_account->OpenPositions();
  eurusd->PositionDeleted(ann_account, positions->Item("1"));
  positions->Remove("1");
  EXPECT_NE(eurusd->AccountsHavePositions()->Item("1001"), nullptr);
  eurusd->PositionDeleted(ann_account, positions->Item("9"));
  positions->Remove("9");
  eurusd->OrderDeleted(ann_account, ann_account->Orders()->Item("501"));
  ann_account->Orders()->Remove("501");
  EXPECT_EQ(eurusd->AccountsHavePositions()->Item("1001"), nullptr);
  EXPECT_NE(eurusd->AccountsHavePositions()->Item("2001"), nullptr);
  EXPECT_EQ(eurusd->AccountsHaveOrders()->Count(), 0);
  EXPECT_NE(eurgbp->AccountsHavePositions()->Item("1001"), nullptr);

  // Two alerts on GBPUSD: deleting one keeps Ann listed.
  engine->AddNewAlert(10, 72, kGbpUsd, BID_GREATER, 1.35, 2, true);
  gbpusd->AlertDeleted(ann, ann->Alerts()->Item("71"));
  ann->Alerts()->Remove("71");
  EXPECT_EQ(gbpusd->ClientsHaveAlerts()->Count(), 1);
  gbpusd->AlertDeleted(ann, ann->Alerts()->Item("72"));
  EXPECT_EQ(gbpusd->ClientsHaveAlerts()->Count(), 0);

  // Bob's account goes: every symbol's index drops it first; an account
  // the index does not list changes nothing.
  eurusd->AccountDeleted(20, 999);
  EXPECT_EQ(eurusd->AccountsHavePositions()->Count(), 1);
  for (const auto& symbol : *symbols) {
    std::dynamic_pointer_cast<CCurAccount>(symbol->Ref1())->AccountDeleted(20, 2001);
  }
  auto bob_position = bob_account->OpenPositions()->Item("3");
  bob->Accounts()->Remove("404");
  bob->Accounts()->Remove("2001");
  EXPECT_EQ(eurusd->AccountsHavePositions()->Count(), 0);
  EXPECT_EQ(eurgbp->AccountsHaveOrders()->Count(), 0);
  // Removal deallocated the account: its records are gone and let go of it.
  EXPECT_EQ(bob_account->OpenPositions()->Count(), 0);
  EXPECT_EQ(bob_account->Orders()->Count(), 0);
  EXPECT_EQ(bob_position->Account(), nullptr);
  EXPECT_EQ(engine->Clients()->AccountByAccountID(2001), nullptr);
}

// Everything the book built must go once the host has deallocated the
// engine and the symbols and dropped its references.
TEST_F(BookTest, DeallocatedTreeLeavesNothingAlive) {
  std::vector<std::weak_ptr<Object>> watched;
  for (const auto& client : *engine->Clients()) {
    watched.push_back(client);
    for (const auto& account : *client->Accounts()) {
      watched.push_back(account);
      watched.push_back(account->SummeryInfo());
      for (const auto& position : *account->OpenPositions()) watched.push_back(position);
      for (const auto& order : *account->Orders()) watched.push_back(order);
    }
    for (const auto& entry : *client->Params()) watched.push_back(entry);
  }
  for (const auto& symbol : *symbols) {
    watched.push_back(symbol);
    watched.push_back(symbol->Ref1());
  }
  ASSERT_GT(watched.size(), 25u);
  engine->Unadvise(&events);
  engine->Deallocate();
  symbols->Deallocate();
  engine.reset();
  symbols.reset();
  ann = bob = nullptr;
  ann_account = bob_account = nullptr;
  for (const auto& w : watched) EXPECT_TRUE(w.expired());
}

}  // namespace
}  // namespace orvane::engine_test
