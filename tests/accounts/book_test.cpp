// The book of book_fixture.h: accounts found through their clients, the
// per-symbol index through deletes, and nothing left alive after
// deallocation.

#include <gtest/gtest.h>

#include <vector>

#include "book_fixture.h"

namespace orvane {
namespace {

using testing_book::Book;
using testing_book::kEurGbp;
using testing_book::kEurUsd;
using testing_book::kGbpUsd;

class BookTest : public ::testing::Test, public Book {};

TEST_F(BookTest, AccountsAreFoundThroughTheirClients) {
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
  OpenPosition(ann_account, kEurUsd, SellType, 1, 1.1010, 9, 0);
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
  EXPECT_DOUBLE_EQ(Refresh(ann_account), 675.11);

  // Two alerts on GBPUSD: deleting one keeps Ann listed.
  AddAlert(ann, 72, kGbpUsd);
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
  EXPECT_EQ(clients.AccountByAccountID(2001), nullptr);
}

// Everything the book built must go once the host has deallocated the
// clients and the symbols and dropped its references.
TEST(BookLifetimeTest, DeallocatedTreeLeavesNothingAlive) {
  std::vector<std::weak_ptr<Object>> watched;
  {
    auto book = std::make_unique<Book>();
    for (const auto& client : book->clients) {
      watched.push_back(client);
      for (const auto& account : *client->Accounts()) {
        watched.push_back(account);
        watched.push_back(account->SummeryInfo());
        for (const auto& position : *account->OpenPositions()) watched.push_back(position);
        for (const auto& order : *account->Orders()) watched.push_back(order);
      }
      for (const auto& entry : *client->Params()) watched.push_back(entry);
    }
    for (const auto& symbol : *book->symbols) {
      watched.push_back(symbol);
      watched.push_back(symbol->Ref1());
    }
  }  // the book deallocates clients and symbols, then drops its references
  ASSERT_GT(watched.size(), 25u);
  for (const auto& w : watched) EXPECT_TRUE(w.expired());
}

}  // namespace
}  // namespace orvane
