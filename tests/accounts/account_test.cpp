#include "orvane/accounts/account.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "orvane/accounts/acc_history_row.h"
#include "orvane/accounts/account_refs.h"
#include "orvane/accounts/accounts.h"
#include "orvane/accounts/alerts.h"
#include "orvane/accounts/delivery_items.h"
#include "orvane/accounts/summaries.h"
#include "orvane/clients/client_param.h"
#include "orvane/market/symbol.h"
#include "orvane/market/symbols.h"
#include "support/errors.h"
#include "support/symbols.h"

namespace orvane {
namespace {

using test::MakeSymbol;
using test::Throws;

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

// The accounts the list hands to a walk, in member order; none once gone.
std::vector<int32_t> ListedIds(const CAccountRefs& refs) {
  std::vector<int32_t> ids;
  for (const auto& held : refs.Accounts()) {
    const auto account = held.account.lock();
    ids.push_back(account ? account->AccountID() : 0);
  }
  return ids;
}

TEST(AccountRefsTest, ListsWithoutOwningAndWalksFollowEveryChange) {
  std::vector<std::shared_ptr<CAccount>> accounts;
  for (int32_t id : {1, 2, 3, -12}) {
    accounts.push_back(std::make_shared<CAccount>());
    accounts.back()->AccountID(id);
  }
  auto refs = std::make_unique<CAccountRefs>();
  EXPECT_TRUE(refs->Accounts().empty());
  for (const auto& account : accounts) refs->Add(account);
  EXPECT_EQ(refs->Add(accounts[1]), nullptr);  // listed once
  EXPECT_EQ(refs->Count(), 4);
  EXPECT_EQ(refs->Item("-12")->IndexKey(), "-12");
  EXPECT_EQ(ListedIds(*refs), (std::vector<int32_t>{1, 2, 3, -12}));

  refs->Remove("2");
  refs->Remove(1.0);  // by position: account 1
  EXPECT_EQ(ListedIds(*refs), (std::vector<int32_t>{3, -12}));
  refs->Add(accounts[0]);
  EXPECT_EQ(ListedIds(*refs), (std::vector<int32_t>{3, -12, 1}));

  // A member pointed elsewhere or released is seen as it now is; one that
  // has left the list is not seen at all.
  const auto moved = refs->Item("-12");
  moved->Account(accounts[1]);
  EXPECT_EQ(ListedIds(*refs), (std::vector<int32_t>{3, 2, 1}));
  refs->Item("3")->Deallocate();
  EXPECT_EQ(ListedIds(*refs), (std::vector<int32_t>{0, 2, 1}));
  auto gone = refs->Item("1");
  refs->Remove("1");
  gone->Account(accounts[3]);
  EXPECT_EQ(ListedIds(*refs), (std::vector<int32_t>{0, 2}));
  accounts[1].reset();  // the list kept nothing alive: it reads as none
  EXPECT_EQ(ListedIds(*refs), (std::vector<int32_t>{0, 0}));
  EXPECT_EQ(moved->Account(), nullptr);
  EXPECT_EQ(moved->IndexKey(), "");

  // A list that ends leaves its members nothing to call.
  auto survivor = refs->Item("3");
  refs->Deallocate();
  EXPECT_TRUE(refs->Accounts().empty());
  refs.reset();
  survivor->Account(accounts[2]);
  EXPECT_EQ(survivor->Account(), accounts[2]);
}

std::string Row(std::initializer_list<std::string> cells) {
  std::string row, delimiter;
  for (const auto& cell : cells) {
    row += delimiter + cell;
    delimiter = "R,@";
  }
  return row;
}

class AccHistoryRowTest : public ::testing::Test {
 protected:
  AccHistoryRowTest() { symbols->Items().Add("2", eurusd); }
  ~AccHistoryRowTest() override { symbols->Deallocate(); }

  std::shared_ptr<CSymbols> symbols = std::make_shared<CSymbols>();
  std::shared_ptr<CSymbol> eurusd = MakeSymbol(2);
  CAccHistoryRow row;
};

TEST_F(AccHistoryRowTest, FullRowFillsSixteenTrimmedFields) {
  row.DefineRow(symbols, Row({" 1234 ", "01/03/2026 10:00:00", "N", " 2", "1.5", "1",
                              "28/02/2026 09:00:00", "1.1000", " 1.1050 ", "", "-7.5",
                              "-1.2", "-1", "1", "750", " EURUSD ", "M", "a note"}));
  EXPECT_EQ(row.Ticket(), 1234);
  EXPECT_EQ(row.Symbol(), eurusd);
  EXPECT_TRUE(row.Checked());  // any number but 0
  // The cells stay text: "1.1000" is not read as a number.
  const std::vector<Variant> cells{row.HisTime(),    row.HisType(),   row.lots(),
                                   row.BuySell(),    row.OpenTime(),  row.OpenPrice(),
                                   row.ClosePrice(), row.AccTransAmount(), row.Comm(),
                                   row.Interest(),   row.RefPrice(),  row.Profit(),
                                   row.SymbolName()};
  EXPECT_EQ(cells, (std::vector<Variant>{"01/03/2026 10:00:00", "N", "1.5", "1",
                                         "28/02/2026 09:00:00", "1.1000", "1.1050", "", "-7.5",
                                         "-1.2", "1", "750", "EURUSD"}));

  // A symbol number Symbols does not hold leaves Symbol empty.
  row.DefineRow(symbols, Row({"7", "t", "DP", "99", "", "", "", "", "", "500", "", "", "0",
                              "", "", "", "", ""}));
  EXPECT_EQ(row.Symbol(), nullptr);
  EXPECT_EQ(row.AccTransAmount(), Variant("500"));
  EXPECT_FALSE(row.Checked());
}

TEST_F(AccHistoryRowTest, BadRowsFailAfterTheCellsBeforeTheFault) {
  EXPECT_TRUE(Throws(ErrorCode::SubscriptOutOfRange, [&] {
    row.DefineRow(symbols, Row({"8", "t", "WD", "2", "0.5", "-1", "o", "1.2", "1.3", "", "", "",
                                "1", "1"}));
  }));
  EXPECT_EQ(row.RefPrice(), Variant("1"));  // cell 14, the last one there
  EXPECT_TRUE(row.Profit().IsEmpty());

  const auto with = [](const std::string& ticket, const std::string& checked) {
    return Row({ticket, "t", "N", "2", "", "", "", "", "", "", "", "", checked, "", "", "",
                "", ""});
  };
  EXPECT_TRUE(Throws(ErrorCode::TypeMismatch, [&] { row.DefineRow(symbols, with("12a", "0")); }));
  EXPECT_EQ(row.Ticket(), 8);
  EXPECT_THROW(row.DefineRow(symbols, with("5", "yes")), Error);
  EXPECT_EQ(row.Ticket(), 5);  // the cells before the Boolean were read
  row.DefineRow(symbols, with("5", "true"));
  EXPECT_TRUE(row.Checked());
}

TEST_F(AccHistoryRowTest, DefineSetsFieldsButNeverTheSymbol) {
  row.Symbol(eurusd);
  auto entry = std::make_shared<CClientParam>();
  row.Define(42.5, "t", "N", entry, 2, -1, "o", 1.1, 1.2, Variant(), -3, 0.5, true, 1, 99,
             "EURUSD");
  EXPECT_EQ(row.Ticket(), 42);  // halves to even
  EXPECT_EQ(row.Symbol(), eurusd);
  const std::vector<Variant> fields{row.lots(), row.BuySell(), row.ClosePrice(), row.Profit(),
                                    row.SymbolName()};
  EXPECT_EQ(fields, (std::vector<Variant>{2, -1, 1.2, 99, "EURUSD"}));
  EXPECT_THROW(row.Define("x", "", "", nullptr, 0, 0, "", 0, 0, 0, 0, 0, false, 0, 0, ""),
               Error);
  EXPECT_EQ(row.Ticket(), 42);
}

TEST(AlertsTest, AddStoresEveryFieldAndAFailedAddChangesNothing) {
  CAlerts alerts;
  auto symbol = MakeSymbol(44);
  auto alert = alerts.Add(900, 5, symbol, ASK_LESS, 1.2345);
  ASSERT_NE(alert, nullptr);
  EXPECT_EQ(alerts.Item("5"), alert);
  EXPECT_EQ(alerts.Item(1), alert);
  const std::vector<Variant> fields{alert->ClientID(), alert->SymbolID(),
                                    alert->AlertCondition(), alert->AlertValue()};
  EXPECT_EQ(fields, (std::vector<Variant>{900, 44, ASK_LESS, 1.2345}));

  EXPECT_EQ(alerts.Add(1, 5, MakeSymbol(3), BID_LESS, 2.0), nullptr);
  EXPECT_EQ(alerts.Add(1, 6, nullptr, BID_LESS, 2.0), nullptr);
  EXPECT_EQ(alerts.Count(), 1);
  EXPECT_EQ(alert->SymbolID(), 44);
}

TEST(AlertsTest, RemoveAndClearDropWithoutDeallocating) {
  CAlerts alerts;
  auto symbol = MakeSymbol(2);
  for (int32_t id : {10, 20, 30}) alerts.Add(1, id, symbol, BID_GREATER, 1.0);
  auto second = alerts.Item(2);
  alerts.Remove(2);
  alerts.Remove("10");
  alerts.Remove("77");
  ASSERT_EQ(alerts.Count(), 1);
  EXPECT_EQ(alerts.Item(1)->ID(), 30);
  EXPECT_EQ(second->Symbol(), symbol);

  auto kept = alerts.Item(1);
  alerts.Clear();
  EXPECT_EQ(alerts.Count(), 0);
  EXPECT_EQ(kept->Symbol(), symbol);
  EXPECT_NE(alerts.Add(1, 30, symbol, BID_GREATER, 1.0), nullptr);  // the ID is free again
}

TEST(AlertsTest, ReleasingTheCollectionReleasesEverySymbol) {
  auto symbol = MakeSymbol(2);
  std::shared_ptr<CAlert> kept;
  {
    CAlerts alerts;
    kept = alerts.Add(1, 1, symbol, BID_GREATER, 1.0);
    alerts.Add(1, 2, symbol, ASK_GREATER, 1.0);
    EXPECT_EQ(symbol.use_count(), 3);
  }
  EXPECT_EQ(kept->Symbol(), nullptr);
  EXPECT_EQ(kept->SymbolID(), 2);
  EXPECT_EQ(symbol.use_count(), 1);
}

std::shared_ptr<CDeliveryItem> MakeItem(const std::string& id, double weight = 1.0) {
  auto item = std::make_shared<CDeliveryItem>();
  item->ID(id);
  item->Weight(weight);
  return item;
}

void Fill(CDeliveryItems& items, std::initializer_list<const char*> ids) {
  for (const char* id : ids) {
    auto item = MakeItem(id);
    items.Add(item);
  }
}

TEST(DeliveryItemsTest, AddTakesTheCallersItemOrRaisesAndChangesNothing) {
  CDeliveryItems items;
  auto x = MakeItem("7", 31.1);
  CDeliveryItem* const added = x.get();
  auto result = items.Add(x);
  EXPECT_EQ(x, nullptr);
  EXPECT_EQ(result.get(), added);
  EXPECT_EQ(items.Item("7").get(), added);

  auto second = MakeItem("7", 2.0);
  EXPECT_TRUE(Throws(ErrorCode::DuplicateKey, [&] { items.Add(second); }));
  EXPECT_NE(second, nullptr);  // still the caller's
  EXPECT_EQ(items.Item("7")->Weight(), 31.1);
  std::shared_ptr<CDeliveryItem> none;
  EXPECT_THROW(items.Add(none), Error);
  EXPECT_EQ(items.Count(), 1);
}

TEST(DeliveryItemsTest, ItemAndRemoveByKeyTextOrPosition) {
  CDeliveryItems items;
  Fill(items, {"20", "10", "30"});
  // The text "10" is a key, the number 1 a position in insertion order.
  EXPECT_EQ(items.Item("10")->ID(), "10");
  EXPECT_EQ(items.Item(1)->ID(), "20");
  EXPECT_EQ(items.Item(4), nullptr);
  EXPECT_EQ(items.Item("1"), nullptr);
  EXPECT_EQ(items.Item(Null), nullptr);

  Fill(items, {"a"});
  items.Remove("10");
  items.Remove("missing");
  items.Remove(9);
  items.Remove(2);  // now "30"
  ASSERT_EQ(items.Count(), 2);
  EXPECT_EQ(items.Item(1)->ID(), "20");
  EXPECT_EQ(items.Item(2)->ID(), "a");
  Fill(items, {"10"});  // a removed key can be added again
  EXPECT_EQ(items.Item(3)->ID(), "10");
}

// Counts DataChanged; when `leave` is set, unadvises itself from it on the first.
struct CountingListener : CSummariesEvents {
  void DataChanged() override {
    ++calls;
    if (leave) leave->Unadvise(this);
  }
  int calls = 0;
  CSummaries* leave = nullptr;
};

TEST(SummariesTest, DerivedFiguresForMarginAndNonMarginAccounts) {
  CSummaries s;
  EXPECT_EQ(s.marginLevel(), 1.0);  // no margin required
  s.TotalDeposit(1000);
  s.MarginRequirement(-200);
  s.FloatingProfitLoss(-50);
  s.Credit(100);
  EXPECT_EQ(s.Balance(), 1000);
  EXPECT_EQ(s.Equity(), 1050);
  EXPECT_DOUBLE_EQ(s.marginLevel(), 5.25);
  EXPECT_EQ(s.EffectiveMargin(), 900);  // the floating result does not enter
  s.MarginAccount(true);
  EXPECT_EQ(s.EffectiveMargin(), 850);

  // A positive requirement divides by its absolute value but adds to the
  // effective margin.
  s.MarginRequirement(200);
  EXPECT_DOUBLE_EQ(s.marginLevel(), 5.25);
  EXPECT_EQ(s.EffectiveMargin(), 1250);
}

TEST(SummariesTest, BalanceAndCashUseEveryBookedTotal) {
  CSummaries s;
  s.SetValues(500, 2000, -40, 0, -300, 0, 12.5);
  s.FloatingValue(100);
  s.FloatingProfitLoss(25);
  EXPECT_DOUBLE_EQ(s.Balance(), 2172.5);
  EXPECT_DOUBLE_EQ(s.Cash(), 2097.5);
  EXPECT_DOUBLE_EQ(s.Equity(), 2197.5);
}

TEST(SummariesTest, EffectiveMarginRoundsHalvesToEven) {
  CSummaries s;
  for (auto [deposit, rounded] : {std::pair{0.125, 0.12}, {0.375, 0.38}, {-2.675, -2.68}}) {
    s.TotalDeposit(deposit);
    EXPECT_EQ(s.EffectiveMargin(), rounded) << deposit;
  }
}

TEST(SummariesTest, DataChangedIsRaisedOnlyWhereStated) {
  CSummaries s;
  CountingListener l;
  s.Advise(&l);

  s.TotalDeposit(1);
  s.PreviousMargin(1);
  s.TotalCommission(1);
  s.TotalInterest(1);
  s.MarginRequirement(1);
  s.NetProfit(1);
  s.Credit(1);
  s.MarginAccount(true);
  s.FloatingProfitLossChanged(5, false);
  s.ValueChanged(3, false);
  EXPECT_EQ(l.calls, 0);

  s.FloatingProfitLossChanged(5);
  s.ValueChanged(-1);
  EXPECT_EQ(l.calls, 2);
  EXPECT_EQ(s.FloatingProfitLoss(), 10);
  EXPECT_EQ(s.FloatingValue(), 2);
  s.FloatingProfitLoss(7);
  s.FloatingValue(7);
  s.SetValues(1, 2, 3, 4, 5, 6, 7);
  EXPECT_EQ(l.calls, 5);

  // Init zeroes the figures silently and keeps the margin account flag.
  s.Init();
  EXPECT_EQ(l.calls, 5);
  EXPECT_TRUE(s.MarginAccount());
  EXPECT_EQ(s.Equity(), 0);
  EXPECT_EQ(s.FloatingValue(), 0);
}

TEST(SummariesTest, SetValuesStoresEachFigureOrNothing) {
  CSummaries s;
  CountingListener l;
  s.Advise(&l);
  s.SetValues(1, "2.5", 3, -4, 5, 6, Variant());
  const auto figures = [&] {
    return std::vector<double>{s.PreviousMargin(), s.TotalDeposit(), s.TotalCommission(),
                               s.MarginRequirement(), s.NetProfit(), s.Credit(),
                               s.TotalInterest()};
  };
  const std::vector<double> stored{1, 2.5, 3, -4, 5, 6, 0};
  EXPECT_EQ(figures(), stored);

  EXPECT_TRUE(
      Throws(ErrorCode::TypeMismatch, [&] { s.SetValues(10, 20, 30, 40, 50, 60, "seven"); }));
  EXPECT_THROW(s.SetValues(Null, 0, 0, 0, 0, 0, 0), Error);
  EXPECT_EQ(figures(), stored);
  EXPECT_EQ(l.calls, 1);
}

TEST(SummariesTest, ListenersComingAndGoingAreHeardExactlyWhileAdvised) {
  CSummaries s;
  CountingListener stays;
  CountingListener once;
  once.leave = &s;
  s.FloatingProfitLoss(1);  // nobody yet
  s.Advise(&once);
  s.Advise(&stays);
  s.FloatingProfitLoss(2);
  s.FloatingValue(3);
  EXPECT_EQ(once.calls, 1);
  EXPECT_EQ(stays.calls, 2);

  s.Unadvise(&stays);
  s.ValueChanged(1);
  EXPECT_EQ(stays.calls, 2);
  s.Advise(&stays);
  s.FloatingProfitLossChanged(1);
  EXPECT_EQ(stays.calls, 3);
  EXPECT_EQ(once.calls, 1);
  EXPECT_EQ(s.FloatingProfitLoss(), 3);
  EXPECT_EQ(s.FloatingValue(), 4);
}

TEST(SummariesTest, CopyHasSameFiguresAndItsOwnListeners) {
  CSummaries s;
  CountingListener l;
  s.Advise(&l);
  s.SetValues(1, 2, -3, -4, 5, 6, 7);
  s.FloatingProfitLoss(8);
  s.FloatingValue(9);
  s.MarginAccount(true);
  auto copy = s.Copy();
  EXPECT_EQ(copy->Cash(), s.Cash());
  EXPECT_EQ(copy->EffectiveMargin(), s.EffectiveMargin());
  copy->FloatingProfitLoss(100);
  EXPECT_EQ(l.calls, 3);  // SetValues and the two setters on the original only
  EXPECT_EQ(s.FloatingProfitLoss(), 8);
}

}  // namespace
}  // namespace orvane
