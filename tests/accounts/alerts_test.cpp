#include "orvane/accounts/alerts.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/symbols.h"

namespace orvane {
namespace {

using test::MakeSymbol;

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

}  // namespace
}  // namespace orvane
