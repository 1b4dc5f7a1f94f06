#include "orvane/accounts/account.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace orvane
