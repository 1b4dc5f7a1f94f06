#include "orvane/accounts/summaries.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/errors.h"

namespace orvane {
namespace {

using test::Throws;

class CountingListener : public CSummariesEvents {
 public:
  void DataChanged() override { ++calls; }
  int calls = 0;
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

class SelfRemovingListener : public CSummariesEvents {
 public:
  explicit SelfRemovingListener(CSummaries& s) : m_s(s) {}
  void DataChanged() override {
    ++calls;
    m_s.Unadvise(this);
  }
  int calls = 0;

 private:
  CSummaries& m_s;
};

TEST(SummariesTest, ListenersComingAndGoingAreHeardExactlyWhileAdvised) {
  CSummaries s;
  CountingListener stays;
  SelfRemovingListener once(s);
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
