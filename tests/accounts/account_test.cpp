#include "orvane/accounts/account.h"

#include <gtest/gtest.h>

#include <string>

#include "book_fixture.h"
#include "orvane/accounts/account_refs.h"
#include "orvane/accounts/accounts.h"
#include "orvane/accounts/cur_account.h"
#include "orvane/accounts/open_positions.h"
#include "orvane/accounts/orders.h"
#include "orvane/accounts/summaries.h"

namespace orvane {
namespace {

using testing_book::AddEntry;
using testing_book::MakeSymbol;

std::shared_ptr<CAccount> AddAccount(CAccounts& accounts, int32_t id,
                                     std::shared_ptr<CSummaries> summaries = nullptr) {
  if (!summaries) summaries = std::make_shared<CSummaries>();
  return accounts.Add(nullptr, summaries, id, 10, NormalAccountType, false, false, false);
}

TEST(AccountsTest, AddKeysByAccountIDAndRefusesDuplicates) {
  CAccounts accounts;
  auto a = accounts.Add(nullptr, nullptr, 1001, 10, CoverageAccountType, true, false, true);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->IndexKey(), "1001");
  EXPECT_EQ(a->ClientID(), 10);
  EXPECT_TRUE(a->DemoAccount());
  EXPECT_FALSE(a->DontLiquidate());
  EXPECT_TRUE(a->Locked());
  EXPECT_EQ(AddAccount(accounts, 1001), nullptr);
  EXPECT_EQ(accounts.Count(), 1);
  EXPECT_EQ(accounts.Item(1), a);
  EXPECT_EQ(accounts.Item("1002"), nullptr);
}

TEST(AccountsTest, NegativeAccountIDsHaveASignedKey) {
  CAccounts accounts;
  auto a = AddAccount(accounts, -5);
  EXPECT_EQ(a->IndexKey(), "-5");
  EXPECT_EQ(accounts.Item("-5"), a);
  a->AccountID(42);
  EXPECT_EQ(a->IndexKey(), "42");
}

TEST(AccountsTest, RemoveDeallocatesTheAccountAndItsRecords) {
  auto eurusd = MakeSymbol(2, 1.1, 1.1001, 1);
  CClientParams params;
  auto entry = AddEntry(params, eurusd, 2);
  CAccounts accounts;
  auto a = AddAccount(accounts, 7);
  auto b = AddAccount(accounts, 8);
  auto position = a->OpenPositions()->Add(1.1, entry, 1, BuyType, 1, a, 0, "", "");
  a->Orders()->Add(0, 0, 0, 1.09, entry, 1, 0, BuyType, LimitOrdersType, 3, 0,
                   DateTime(), "", "", a);
  ASSERT_EQ(position->Account(), a);

  accounts.Remove("404");
  EXPECT_EQ(accounts.Count(), 2);
  accounts.Remove("7");
  EXPECT_EQ(accounts.Count(), 1);
  EXPECT_EQ(a->OpenPositions()->Count(), 0);
  EXPECT_EQ(a->Orders()->Count(), 0);
  EXPECT_EQ(position->Account(), nullptr);
  EXPECT_EQ(accounts.Item(1), b);
  // Removing by position works the same way.
  accounts.Remove(1);
  EXPECT_EQ(accounts.Count(), 0);
  params.Deallocate();
  eurusd->Deallocate();
}

TEST(AccountsTest, NewEnumStaysValidWhileTheWalkRemoves) {
  CAccounts accounts;
  for (int32_t id : {3, 1, 2}) AddAccount(accounts, id);
  std::string seen;
  for (const auto& account : accounts.NewEnum()) {
    seen += account->IndexKey();
    accounts.Remove(account->IndexKey());
  }
  EXPECT_EQ(seen, "312");
  EXPECT_EQ(accounts.Count(), 0);
}

TEST(AccountRefsTest, ListsWithoutOwning) {
  CAccountRefs refs;
  auto account = std::make_shared<CAccount>();
  account->AccountID(-12);
  auto ref = refs.Add(account);
  ASSERT_NE(ref, nullptr);
  EXPECT_EQ(ref->IndexKey(), "-12");
  EXPECT_EQ(refs.Add(account), nullptr);
  EXPECT_EQ(refs.Add(nullptr), nullptr);
  EXPECT_EQ(refs.Count(), 1);
  EXPECT_EQ(refs.Item("-12")->Account(), account);

  std::weak_ptr<CAccount> watch = account;
  account.reset();
  EXPECT_TRUE(watch.expired());  // the list kept nothing alive
  EXPECT_EQ(ref->Account(), nullptr);
  EXPECT_EQ(ref->IndexKey(), "");
}

// One account holding positions and orders in EURUSD and EURGBP, indexed the
// way the engine indexes them.
class CurAccountTest : public ::testing::Test {
 protected:
  CurAccountTest() {
    eurusd = MakeSymbol(2, 1.1, 1.1001, 1);
    eurgbp = MakeSymbol(3, 0.85, 0.8501, 1);
    eurusd_entry = AddEntry(params, eurusd, 2);
    eurgbp_entry = AddEntry(params, eurgbp, 2);
    account = AddAccount(accounts, 501);
    other = AddAccount(accounts, 502);
  }
  ~CurAccountTest() override {
    params.Deallocate();
    eurusd->Deallocate();
    eurgbp->Deallocate();
  }

  std::shared_ptr<COpenPosition> Open(const std::shared_ptr<CClientParam>& entry,
                                      int32_t ticket) {
    return account->OpenPositions()->Add(1.0, entry, 1, BuyType, ticket, account, 0,
                                         "", "");
  }
  std::shared_ptr<COrder> Place(const std::shared_ptr<CClientParam>& entry, int32_t id) {
    return account->Orders()->Add(0, 0, 0, 1.0, entry, 1, 0, BuyType, LimitOrdersType,
                                  id, 0, DateTime(), "", "", account);
  }

  CClientParams params;
  CAccounts accounts;
  CCurAccount index;
  std::shared_ptr<CSymbol> eurusd, eurgbp;
  std::shared_ptr<CClientParam> eurusd_entry, eurgbp_entry;
  std::shared_ptr<CAccount> account, other;
};

TEST_F(CurAccountTest, LastPositionInTheSymbolTakesTheAccountOut) {
  auto p1 = Open(eurusd_entry, 1);
  auto p2 = Open(eurusd_entry, 2);
  auto p3 = Open(eurgbp_entry, 3);
  index.AccountsHavePositions()->Add(account);
  index.AccountsHavePositions()->Add(other);

  // p2 still holds EURUSD; p3 is in another symbol and does not count.
  index.PositionDeleted(account, p1);
  EXPECT_EQ(index.AccountsHavePositions()->Count(), 2);
  account->OpenPositions()->Remove("1");

  index.PositionDeleted(account, p2);
  EXPECT_EQ(index.AccountsHavePositions()->Item("501"), nullptr);
  EXPECT_NE(index.AccountsHavePositions()->Item("502"), nullptr);
  EXPECT_EQ(account->OpenPositions()->Count(), 2);  // the index touches no record
}

TEST_F(CurAccountTest, AccountDeletedDropsBothListsAndIgnoresStrangers) {
  index.AccountsHavePositions()->Add(account);
  index.AccountsHaveOrders()->Add(account);
  index.AccountsHaveOrders()->Add(other);
  index.AccountDeleted(10, 999);
  EXPECT_EQ(index.AccountsHavePositions()->Count(), 1);
  EXPECT_EQ(index.AccountsHaveOrders()->Count(), 2);
  index.AccountDeleted(10, 501);
  EXPECT_EQ(index.AccountsHavePositions()->Count(), 0);
  EXPECT_EQ(index.AccountsHaveOrders()->Count(), 1);
  EXPECT_EQ(index.AccountsHaveOrders()->Item(1)->Account(), other);
}

}  // namespace
}  // namespace orvane
