#include <gtest/gtest.h>

#include <memory>

#include "orvane/core/error.h"
#include "orvane/protocol/tokens.h"

namespace orvane {
namespace {

TEST(TokensTest, OffersTheTableThroughItsInterface) {
  std::unique_ptr<ITokens> tokens = std::make_unique<CTokens>();
  const std::string code = tokens->TokenDescription(MW_DATA_TOKEN);
  ASSERT_FALSE(code.empty());
  EXPECT_EQ(tokens->TokenID(code), MW_DATA_TOKEN);
  EXPECT_EQ(tokens->TokenPublicDescription(MW_DATA_TOKEN), "MW Data");
  EXPECT_EQ(tokens->TokenPublicDescription(CLEARE_HISTORY_FILES_TOKEN), "UNDEFINED");
}

TEST(TokensTest, OnlyAWholeCodeIsAToken) {
  CTokens tokens;
  const std::string code = tokens.TokenDescription(LOGIN_TOKEN);
  EXPECT_EQ(tokens.TokenID(code + "x"), 0);
  EXPECT_EQ(tokens.TokenID(code.substr(1)), 0);
  EXPECT_EQ(tokens.TokenID(""), 0);
  // The code is looked up as a message would be: text behind a token end
  // marker inside the argument is not part of the code.
  EXPECT_EQ(tokens.TokenID(code + "s?<G)_x"), LOGIN_TOKEN);
  EXPECT_EQ(tokens.TokenDescription(16), "");
  EXPECT_THROW(tokens.TokenDescription(400), Error);
}

}  // namespace
}  // namespace orvane
