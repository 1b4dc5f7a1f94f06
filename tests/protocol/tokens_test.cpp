#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "orvane/core/error.h"
#include "orvane/protocol/tokens.h"

namespace orvane {
namespace {

TEST(TokensTest, OffersTheTableThroughItsInterfaceForWholeCodesOnly) {
  std::unique_ptr<ITokens> tokens = std::make_unique<CTokens>();
  const std::string code = tokens->TokenDescription(MW_DATA_TOKEN);
  ASSERT_FALSE(code.empty());
  EXPECT_EQ(tokens->TokenID(code), MW_DATA_TOKEN);
  EXPECT_EQ(tokens->TokenPublicDescription(MW_DATA_TOKEN), "MW Data");
  EXPECT_EQ(tokens->TokenPublicDescription(CLEARE_HISTORY_FILES_TOKEN), "UNDEFINED");
  // Only a whole code is a token. The code is looked up as a message would
  // be: text behind a token end marker inside the argument is not part of it.
  const std::string login = tokens->TokenDescription(LOGIN_TOKEN);
  for (const std::string& part : {login + "x", login.substr(1), std::string()}) {
    EXPECT_EQ(tokens->TokenID(part), 0) << part;
  }
  EXPECT_EQ(tokens->TokenID(login + "s?<G)_x"), LOGIN_TOKEN);
  EXPECT_EQ(tokens->TokenDescription(16), "");
  EXPECT_THROW(tokens->TokenDescription(400), Error);
}

}  // namespace
}  // namespace orvane
