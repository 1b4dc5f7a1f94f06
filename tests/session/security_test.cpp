#include "orvane/session/security.h"

#include <gtest/gtest.h>

#include "orvane/core/error.h"

namespace orvane {
namespace {

class GrantCounter : public CSecurityEvents {
 public:
  void ExecuteSecurityPrivs() override { ++grants; }
  int grants = 0;
};

// A fresh table holds only NonePriv; a query outside 0..200 is a range error.
TEST(SecurityTest, FreshTableOf200) {
  CSecurity security;
  EXPECT_TRUE(security.UserHasPriv(NonePriv));
  for (int32_t p = 1; p <= 200; ++p) {
    ASSERT_FALSE(security.UserHasPriv(static_cast<PrivsEnum>(p))) << p;
  }
  for (int32_t p : {-1, 201}) {
    try {
      security.UserHasPriv(static_cast<PrivsEnum>(p));
      ADD_FAILURE() << p << " was accepted";
    } catch (const Error& e) {
      EXPECT_EQ(e.code(), ErrorCode::SubscriptOutOfRange);
    }
  }
}

TEST(SecurityTest, GrantsAddUpAndRaiseOncePerCall) {
  CSecurity security;
  GrantCounter counter;
  security.Advise(&counter);
  security.UserHasThesePrivs("1,5,131");
  EXPECT_EQ(counter.grants, 1);
  EXPECT_TRUE(security.UserHasPriv(OpenClosePositionsPriv));
  EXPECT_TRUE(security.UserHasPriv(ShowClientsNames));
  EXPECT_FALSE(security.UserHasPriv(UpdateDeleteAccountsPriv));

  security.UserHasThesePrivs("2");
  EXPECT_EQ(counter.grants, 2);
  EXPECT_TRUE(security.UserHasPriv(UpdateDeleteAccountsPriv));
  EXPECT_TRUE(security.UserHasPriv(OpenAccountsPriv));  // nothing revoked

  security.UserHasThesePrivs("");  // nothing granted, event still raised
  EXPECT_EQ(counter.grants, 3);
  EXPECT_FALSE(security.UserHasPriv(DepositPriv));
}

TEST(SecurityTest, PiecesCountByTheirLeadingNumber) {
  CSecurity security;
  security.UserHasThesePrivs(" 3abc,200,4.5,6.5");
  EXPECT_TRUE(security.UserHasPriv(DepositPriv));
  EXPECT_TRUE(security.UserHasPriv(static_cast<PrivsEnum>(200)));
  EXPECT_TRUE(security.UserHasPriv(StatementShowPriv));  // 4.5 -> 4
  EXPECT_FALSE(security.UserHasPriv(static_cast<PrivsEnum>(7)));  // 6.5 -> 6
  EXPECT_TRUE(security.UserHasPriv(UpdateDeletePositionsPriv));
}

TEST(SecurityTest, OutOfRangePieceStopsTheGrantWithoutEvent) {
  CSecurity security;
  GrantCounter counter;
  security.Advise(&counter);
  try {
    security.UserHasThesePrivs("8,201,18");
    FAIL() << "201 was accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), ErrorCode::SubscriptOutOfRange);
  }
  EXPECT_TRUE(security.UserHasPriv(OpenLimitOrdersPriv));  // before: kept
  EXPECT_FALSE(security.UserHasPriv(ChangeDatesPriv));     // after: not
  EXPECT_EQ(counter.grants, 0);

  for (const char* bad : {"1,,2", "0", "-1", "x", ",", "1,", "0.4"}) {
    EXPECT_THROW(security.UserHasThesePrivs(bad), Error) << bad;
  }
  EXPECT_FALSE(security.UserHasPriv(UpdateDeleteAccountsPriv));  // "1,,2"
  EXPECT_EQ(counter.grants, 0);
}

}  // namespace
}  // namespace orvane
