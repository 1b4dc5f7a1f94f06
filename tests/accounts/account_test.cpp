#include "orvane/accounts/account.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "orvane/accounts/account_refs.h"
#include "orvane/accounts/accounts.h"
#include "orvane/accounts/summaries.h"

namespace orvane {
namespace {

std::shared_ptr<CAccount> AddAccount(CAccounts& accounts, int32_t id) {
  return accounts.Add(nullptr, std::make_shared<CSummaries>(), id, 10, NormalAccountType,
                      false, false, false);
}

TEST(AccountsTest, AddKeysByTheSignedAccountIDAndRefusesDuplicates) {
  CAccounts accounts;
  // Two accounts so that any two of the three flags swapped shows.
  auto a = accounts.Add(nullptr, nullptr, -5, 10, CoverageAccountType, true, false, false);
  auto b = accounts.Add(nullptr, nullptr, 1001, 11, NormalAccountType, false, true, false);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(a->IndexKey(), "-5");
  EXPECT_EQ(accounts.Item("-5"), a);
  EXPECT_EQ(a->ClientID(), 10);
  EXPECT_EQ(a->AccountType(), CoverageAccountType);
  EXPECT_TRUE(a->DemoAccount() && !a->DontLiquidate() && !a->Locked());
  EXPECT_TRUE(!b->DemoAccount() && b->DontLiquidate() && !b->Locked());
  EXPECT_EQ(AddAccount(accounts, 1001), nullptr);
  EXPECT_EQ(accounts.Count(), 2);
  EXPECT_EQ(accounts.Item(2), b);
  EXPECT_EQ(accounts.Item("1002"), nullptr);
  EXPECT_DOUBLE_EQ(accounts.Interest(10.5), 10.5);
  EXPECT_DOUBLE_EQ(accounts.Interest(10.5, 2), 21);
  b->AccountID(42);
  EXPECT_EQ(b->IndexKey(), "42");
}

TEST(AccountsTest, NewEnumStaysValidWhileTheWalkRemoves) {
  CAccounts accounts;
  for (int32_t id : {3, 1, 2}) AddAccount(accounts, id);
  std::string seen;
  for (const auto& account : accounts.NewEnum()) {
    seen += account->IndexKey();
    accounts.Remove(1);  // by position: always the first left
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
  EXPECT_EQ(refs.Count(), 1);

  std::weak_ptr<CAccount> watch = account;
  account.reset();
  EXPECT_TRUE(watch.expired());  // the list kept nothing alive
  EXPECT_EQ(ref->Account(), nullptr);
  EXPECT_EQ(ref->IndexKey(), "");
}

// The accounts the list hands to a walk, in member order; none once gone.
std::vector<int32_t> ListedIds(const CAccountRefs& refs) {
  std::vector<int32_t> ids;
  for (const auto& held : refs.Accounts()) {
    const auto account = held.account.lock();
    ids.push_back(account ? account->AccountID() : 0);
  }
  return ids;
}

TEST(AccountRefsTest, WalkedAccountsFollowEveryChangeOfTheList) {
  std::vector<std::shared_ptr<CAccount>> accounts;
  for (int32_t id : {1, 2, 3, 4}) {
    accounts.push_back(std::make_shared<CAccount>());
    accounts.back()->AccountID(id);
  }
  auto refs = std::make_unique<CAccountRefs>();
  EXPECT_TRUE(refs->Accounts().empty());
  for (const auto& account : accounts) refs->Add(account);
  refs->Add(accounts[1]);  // refused: listed once
  EXPECT_EQ(ListedIds(*refs), (std::vector<int32_t>{1, 2, 3, 4}));

  refs->Remove("2");
  refs->Remove(1.0);  // by position: account 1
  EXPECT_EQ(ListedIds(*refs), (std::vector<int32_t>{3, 4}));
  refs->Add(accounts[0]);
  EXPECT_EQ(ListedIds(*refs), (std::vector<int32_t>{3, 4, 1}));

  // A member pointed elsewhere or released is seen as it now is; one that
  // has left the list is not seen at all.
  refs->Item("4")->Account(accounts[1]);
  EXPECT_EQ(ListedIds(*refs), (std::vector<int32_t>{3, 2, 1}));
  refs->Item("3")->Deallocate();
  EXPECT_EQ(ListedIds(*refs), (std::vector<int32_t>{0, 2, 1}));
  auto gone = refs->Item("1");
  refs->Remove("1");
  gone->Account(accounts[3]);
  EXPECT_EQ(ListedIds(*refs), (std::vector<int32_t>{0, 2}));
  accounts[1].reset();  // a listed account that ends reads as none
  EXPECT_EQ(ListedIds(*refs), (std::vector<int32_t>{0, 0}));

  // A list that ends leaves its members nothing to call.
  auto survivor = refs->Item("3");
  refs->Deallocate();
  EXPECT_TRUE(refs->Accounts().empty());
  refs.reset();
  survivor->Account(accounts[2]);
  EXPECT_EQ(survivor->Account(), accounts[2]);
}

}  // namespace
}  // namespace orvane
