#include "orvane/session/session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orvane/testing/memory_socket.h"

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

}  // namespace
}  // namespace orvane
