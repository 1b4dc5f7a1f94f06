// Session IDs: never issued twice, not to be guessed from the last one, and
// read from a request only when written as the server writes them.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <unordered_set>

#include "messages.h"
#include "session_ids.h"

namespace orvane::apps {
namespace {

TEST(SessionIdsTest, ManyDrawsAreDistinctInRangeAndNotInSequence) {
  SessionIds ids;
  std::unordered_set<int32_t> seen;
  int32_t last = 0;
  int next_to_last = 0;
  int64_t low_half = 0;
  constexpr int kDraws = 200000;
  for (int i = 0; i < kDraws; ++i) {
    const int32_t sid = ids.next();
    ASSERT_GT(sid, 0);
    ASSERT_TRUE(seen.insert(sid).second) << "issued twice: " << sid;
    if (sid == last + 1) ++next_to_last;
    if (sid < (1 << 30)) ++low_half;
    last = sid;
  }
  EXPECT_LT(next_to_last, 5);
  // Spread over the whole range, not packed at its start.
  EXPECT_GT(low_half, kDraws * 4 / 10);
  EXPECT_LT(low_half, kDraws * 6 / 10);
}

TEST(SessionIdsTest, KeysDecideTheSequence) {
  SessionIds a({1, 2, 3, 4});
  SessionIds b({1, 2, 3, 4});
  SessionIds c({1, 2, 3, 5});
  SessionIds fresh;
  int same_ab = 0;
  int same_ac = 0;
  int same_fresh = 0;
  for (int i = 0; i < 100; ++i) {
    const int32_t x = a.next();
    same_ab += x == b.next();
    same_ac += x == c.next();
    same_fresh += x == fresh.next();
  }
  EXPECT_EQ(same_ab, 100);
  EXPECT_LT(same_ac, 3);
  EXPECT_LT(same_fresh, 3);
}

TEST(ReadSidTest, OnlyPlainDecimalDigitsAreASid) {
  const std::string plain = wire::request_text(417, GET_ACCOUNTS_TOKEN);
  EXPECT_EQ(read_sid(plain), 417);
  const std::string head = "s?<417&h,";
  ASSERT_NE(plain.find(head), std::string::npos);
  for (const std::string bent : {"1.4", "1abc", "+1", " 1", "1 ", "-1", "0", "01", "", "1e3",
                                 "2147483648", "99999999999"}) {
    std::string text = plain;
    text.replace(text.find(head), head.size(), "s?<" + bent + "&h,");
    EXPECT_EQ(read_sid(text), std::nullopt) << "'" << bent << "'";
  }
  std::string largest = plain;
  largest.replace(largest.find(head), head.size(), "s?<2147483647&h,");
  EXPECT_EQ(read_sid(largest), 2147483647);
  EXPECT_EQ(read_sid("no markers at all"), std::nullopt);
}

}  // namespace
}  // namespace orvane::apps
