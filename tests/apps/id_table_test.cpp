// The flat id table against std::map over random keys, including the ones
// a naive table gets wrong: zero, negatives, the extremes and clustered runs.

#include "id_table.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <random>

namespace orvane::apps {
namespace {

TEST(IdTableTest, AgreesWithAMapWhileItGrows) {
  IdTable<int> table;
  std::map<int32_t, int> expected;
  EXPECT_EQ(table.find(0), nullptr);  // empty: no slots yet
  std::mt19937 random(7);
  std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
  std::uniform_int_distribution<int32_t> near(-50, 50);
  for (int step = 0; step < 5000; ++step) {
    const int32_t id = step % 3 == 0 ? any(random) : near(random) * 4096;
    table[id] += step;
    expected[id] += step;
  }
  for (int32_t id : {0, INT32_MIN, INT32_MAX, -1}) {
    table[id] = id == 0 ? 11 : 12;
    expected[id] = id == 0 ? 11 : 12;
  }
  ASSERT_EQ(table.size(), expected.size());
  // Only an insertion moves the values: asking for one already there, even
  // with the table one short of growing, leaves pointers as they were.
  IdTable<int> full;
  for (int32_t id = 0; id < 12; ++id) full[id] = id;
  const int* zero = full.find(0);
  EXPECT_EQ(full[11], 11);
  EXPECT_EQ(full.find(0), zero);
  for (const auto& [id, value] : expected) {
    const int* found = table.find(id);
    ASSERT_NE(found, nullptr) << id;
    EXPECT_EQ(*found, value) << id;
  }
  for (int32_t id : {1, 4095, 4097, INT32_MIN + 1}) {
    if (!expected.count(id)) {
      EXPECT_EQ(table.find(id), nullptr) << id;
    }
  }
}

}  // namespace
}  // namespace orvane::apps
