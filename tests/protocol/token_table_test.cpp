#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "support/errors.h"
#include "orvane/core/error.h"
#include "orvane/protocol/data_protocol.h"
#include "orvane/protocol/detail/token_table.h"
#include "orvane/protocol/tokens.h"

namespace orvane {
namespace {

std::vector<std::pair<int16_t, std::string>> AllCodes() {
  CDataProtocol protocol;
  std::vector<std::pair<int16_t, std::string>> codes;
  for (int16_t i = 0; i <= 350; ++i) {
    std::string code = protocol.TokenDescription(i);
    if (!code.empty()) codes.emplace_back(i, code);
  }
  return codes;
}

TEST(TokenTableTest, HasTheFormBothEndsRelyOn) {
  const auto codes = AllCodes();
  ASSERT_EQ(codes.size(), 201u);
  int exactly_26 = 0;
  for (const auto& [index, code] : codes) {
    SCOPED_TRACE(index);
    if (code.size() == 26) {
      ++exactly_26;
    } else {
      EXPECT_GE(code.size(), 9u);
      EXPECT_LE(code.size(), 31u);
    }
    for (char c : code) {
      EXPECT_GE(c, '!');
      EXPECT_LE(c, '{');
    }
    for (std::string_view literal : {"s?<", "S?<", "&h,", "G)_", "+3!", "!&NS&!", "%$#InVaLID"}) {
      EXPECT_EQ(code.find(literal), std::string::npos) << literal;
    }
  }
  EXPECT_EQ(exactly_26, 186);

  for (size_t a = 0; a < codes.size(); ++a) {
    for (size_t b = 0; b < codes.size(); ++b) {
      if (a == b) continue;
      EXPECT_FALSE(codes[b].second.starts_with(codes[a].second))
          << codes[a].first << " is a prefix of (or equal to) " << codes[b].first;
    }
  }
}

TEST(TokenTableTest, EveryCodeWithADescriptionAndBack) {
  CDataProtocol protocol;
  const auto codes = AllCodes();
  std::set<int16_t> indexes;
  for (const auto& [index, code] : codes) {
    indexes.insert(index);
    EXPECT_EQ(protocol.TokenID(code + "s?<"), index);
    EXPECT_EQ(protocol.TokenID(code + "S?<-1&h,+3!"), index);
  }
  // A token has a description of its own exactly where it has a code, except
  // the two that read "UNDEFINED".
  for (int32_t value = -1; value <= 351; ++value) {
    const bool has_code = indexes.count(static_cast<int16_t>(value)) > 0;
    const bool undefined = protocol.TokenPublicDesc(value) == "UNDEFINED";
    if (value == UNDEFINED || value == CLEARE_HISTORY_FILES_TOKEN) {
      EXPECT_TRUE(has_code && undefined) << value;
    } else {
      EXPECT_NE(has_code, undefined) << value;
    }
  }
}

// A digest of the whole table: a change of any code breaks every peer built
// before it, so it must never happen by accident.
TEST(TokenTableTest, CodesNeverChange) {
  uint64_t digest = 1469598103934665603ull;
  for (const auto& [index, code] : AllCodes()) {
    for (char c : std::to_string(index) + "=" + code + ";") {
      digest = (digest ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
  }
  EXPECT_EQ(digest, 1862452796489925486ull);
}

// Shared descriptions, the undefined ones, and codes outside the table.
TEST(TokenTableTest, DescriptionsSharedUndefinedAndOutOfRange) {
  CDataProtocol protocol;
  auto desc = [&](int32_t value) { return protocol.TokenPublicDesc(value); };
  EXPECT_EQ((std::vector<std::string>{desc(LOGIN_TOKEN), desc(255), desc(135), desc(MW_DATA_TOKEN),
                                      desc(GET_DELIVERY_ITEMS_TOKEN)}),
            (std::vector<std::string>{"Logging on", "Update open position", "Update open position",
                                      "MW Data", "Requesting delivey items"}));
  EXPECT_EQ(desc(257), desc(166));
  EXPECT_EQ(desc(305), desc(264));
  for (int32_t value : {0, 275, 15, 100, 316, 318, 350, 351, -1, 100000}) {
    EXPECT_EQ(desc(value), "UNDEFINED") << value;
  }
  EXPECT_EQ(protocol.TokenDescription(350), "");
  EXPECT_EQ(protocol.TokenDescription(15), "");
  for (int16_t index : {int16_t{-1}, int16_t{351}, int16_t{32767}}) {
    EXPECT_EQ(test::ErrorOf([&] { protocol.TokenDescription(index); }).code,
              ErrorCode::SubscriptOutOfRange)
        << index;
  }
}

TEST(TokenTableTest, UniquenessCheckReportsEveryOrderedPair) {
  CDataProtocol protocol;
  EXPECT_TRUE(protocol.TestUniquness().empty());

  const std::vector<std::string_view> broken = {"", "abcdefghij", "", "abcdefghij", "xyz",
                                                "xyz", "xyz", ""};
  const auto messages = detail::DuplicateCodeMessages(broken);
  EXPECT_EQ(std::count(messages.begin(), messages.end(), "abcdefghij"), 2);
  EXPECT_EQ(std::count(messages.begin(), messages.end(), "xyz"), 6);
  EXPECT_EQ(messages.size(), 8u);
}

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
