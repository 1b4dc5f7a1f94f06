#include "orvane/session/session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orvane/core/error.h"
#include "orvane/session/security.h"
#include "orvane/testing/memory_socket.h"
#include "support/errors.h"

namespace orvane {
namespace {

TEST(SessionTest, FullNameKeepsAllThreeSpacesAndSymbolPrivilegesAppend) {
  CSession session;
  EXPECT_EQ(session.UserFullName(), "   ");
  session.UserFirstName("Nadia");
  session.UserLastName("Haddad");
  EXPECT_EQ(session.UserFullName(), "Nadia   Haddad");
  session.UserSecondName("K");
  EXPECT_EQ(session.UserFullName(), "Nadia K  Haddad");
  // Without checks for repeats.
  session.AddSymbolPriv(7);
  EXPECT_EQ(session.SymbolsPriv(), "7");
  session.AddSymbolPriv(9);
  session.AddSymbolPriv(7);
  EXPECT_EQ(session.SymbolsPriv(), "7,9,7");
}

TEST(SessionTest, SplitBufferKeepsTheTailPerSession) {
  CSession first;
  CSession second;
  std::vector<std::string> rows;
  EXPECT_EQ(first.SplitBuffer("X+3!Y+3!Z", rows), 2);
  EXPECT_EQ(rows, (std::vector<std::string>{"", "X", "Y", ""}));
  EXPECT_EQ(second.SplitBuffer("W", rows), 0);  // its own buffer
  EXPECT_EQ(first.SplitBuffer("+3!", rows), 1);
  EXPECT_EQ(rows[1], "Z");
  EXPECT_EQ(second.SplitBuffer("+3!", rows), 1);
  EXPECT_EQ(rows[1], "W");
}

// The session follows its connection without keeping it alive: a socket
// that owns its attached session leaks nothing.
TEST(SessionTest, ChildIsHeldWithoutOwnership) {
  auto [client, server] = MemorySocket::CreatePair();
  auto session = std::make_shared<CSession>();
  session->sid(77);
  session->Child(server);
  server->Session(session);
  EXPECT_EQ(session->Child(), server);
  std::weak_ptr<CSession> watch = session;
  session.reset();
  ASSERT_FALSE(watch.expired());  // the socket keeps it
  EXPECT_EQ(std::dynamic_pointer_cast<CSession>(server->Session())->sid(), 77);
  server.reset();
  EXPECT_TRUE(watch.expired());
}

class GrantCounter : public CSecurityEvents {
 public:
  void ExecuteSecurityPrivs() override { ++grants; }
  int grants = 0;
};

class SecurityTest : public ::testing::Test {
 protected:
  SecurityTest() { security.Advise(&counter); }
  ~SecurityTest() override { security.Unadvise(&counter); }

  std::vector<bool> Has(std::initializer_list<int32_t> privs) {
    std::vector<bool> has;
    for (int32_t p : privs) has.push_back(security.UserHasPriv(static_cast<PrivsEnum>(p)));
    return has;
  }

  CSecurity security;
  GrantCounter counter;
};

// A fresh table holds only NonePriv; a query outside 0..200 is a range error.
TEST_F(SecurityTest, FreshTableOf200) {
  EXPECT_TRUE(security.UserHasPriv(NonePriv));
  for (int32_t p = 1; p <= 200; ++p) {
    ASSERT_FALSE(security.UserHasPriv(static_cast<PrivsEnum>(p))) << p;
  }
  for (int32_t p : {-1, 201}) {
    EXPECT_EQ(test::ErrorOf([&] { security.UserHasPriv(static_cast<PrivsEnum>(p)); }).code,
              ErrorCode::SubscriptOutOfRange)
        << p;
  }
}

// Grants add up (nothing is revoked) and raise the event once per call, even
// when nothing is granted.
TEST_F(SecurityTest, GrantsAddUpAndRaiseOncePerCall) {
  security.UserHasThesePrivs("1,5,131");
  EXPECT_EQ(counter.grants, 1);
  EXPECT_EQ(Has({OpenClosePositionsPriv, ShowClientsNames, UpdateDeleteAccountsPriv}),
            (std::vector<bool>{true, true, false}));
  security.UserHasThesePrivs("2");
  security.UserHasThesePrivs("");
  EXPECT_EQ(counter.grants, 3);
  EXPECT_EQ(Has({UpdateDeleteAccountsPriv, OpenAccountsPriv, DepositPriv}),
            (std::vector<bool>{true, true, false}));
  // Pieces count by their leading number: 4.5 -> 4, 6.5 -> 6.
  security.UserHasThesePrivs(" 3abc,200,4.5,6.5");
  EXPECT_EQ(Has({DepositPriv, 200, StatementShowPriv, 7, UpdateDeletePositionsPriv}),
            (std::vector<bool>{true, true, true, false, true}));
}

TEST_F(SecurityTest, OutOfRangePieceStopsTheGrantWithoutEvent) {
  EXPECT_EQ(test::ErrorOf([&] { security.UserHasThesePrivs("8,201,18"); }).code,
            ErrorCode::SubscriptOutOfRange);
  // The piece before is kept, the one after is not.
  EXPECT_EQ(Has({OpenLimitOrdersPriv, ChangeDatesPriv}), (std::vector<bool>{true, false}));
  for (const char* bad : {"1,,2", "0", "-1", "x", ",", "1,", "0.4"}) {
    EXPECT_THROW(security.UserHasThesePrivs(bad), Error) << bad;
  }
  EXPECT_FALSE(security.UserHasPriv(UpdateDeleteAccountsPriv));  // "1,,2"
  EXPECT_EQ(counter.grants, 0);
}

}  // namespace
}  // namespace orvane
