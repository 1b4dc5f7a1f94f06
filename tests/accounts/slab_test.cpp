// The slabs that keep the walk's objects together: blocks start on a line,
// never overlap, come back after a free, outlive a chunk, and serve
// allocate_shared from several threads; what is too big comes from the heap.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "../../src/accounts/detail/slab.h"

namespace orvane::detail {
namespace {

TEST(SlabTest, BlocksAreWholeLinesApartAndAFreedBlockComesBack) {
  Slab slab(100);
  EXPECT_EQ(slab.BlockBytes(), 128u);
  EXPECT_EQ(Slab(1).BlockBytes(), Slab::kLine);
  // More blocks than one chunk holds: every block on a line, none overlapping.
  const size_t count = Slab::kChunk / slab.BlockBytes() + 10;
  std::set<uintptr_t> starts;
  for (size_t i = 0; i < count; ++i) {
    const auto start = reinterpret_cast<uintptr_t>(slab.Allocate());
    EXPECT_EQ(start % Slab::kLine, 0u);
    starts.insert(start);
  }
  ASSERT_EQ(starts.size(), count);
  uintptr_t previous = 0;
  for (uintptr_t start : starts) {
    EXPECT_GE(start - previous, slab.BlockBytes());
    previous = start;
  }
  void* freed = reinterpret_cast<void*>(*std::next(starts.begin(), 7));
  slab.Free(freed);
  EXPECT_EQ(slab.Allocate(), freed);
}

TEST(SlabTest, SizesTakeTheSlabOfTheirWholeLinesUpToEight) {
  EXPECT_EQ(SlabFor(1), SlabFor(Slab::kLine));
  EXPECT_EQ(SlabFor(Slab::kLine + 1)->BlockBytes(), 2 * Slab::kLine);
  EXPECT_EQ(SlabFor(kMaxSlabBytes)->BlockBytes(), kMaxSlabBytes);
  EXPECT_EQ(SlabFor(kMaxSlabBytes + 1), nullptr);
  // A growing array moves from slab to slab, then to the heap, keeping its values.
  std::vector<int64_t, SlabAllocator<int64_t>> values;
  for (int64_t i = 0; i < 200; ++i) values.push_back(i * 7);
  for (int64_t i = 0; i < 200; ++i) ASSERT_EQ(values[static_cast<size_t>(i)], i * 7);
}

struct Counted {
  explicit Counted(int& live) : live(live) { ++live; }
  ~Counted() { --live; }
  int& live;
  double figures[12] = {};
};

TEST(SlabTest, SharedObjectsFromSeveralThreadsAreDistinctAndDestroyed) {
  int live[2] = {0, 0};
  std::vector<std::shared_ptr<Counted>> made[2];
  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 20000; ++i) {
        made[t].push_back(std::allocate_shared<Counted>(SlabAllocator<Counted>(), live[t]));
        if (i % 3 == 0) made[t].pop_back();  // a freed block is taken again
      }
    });
  }
  for (auto& thread : threads) thread.join();
  std::set<const Counted*> distinct;
  for (const auto& list : made) {
    for (const auto& object : list) distinct.insert(object.get());
  }
  EXPECT_EQ(distinct.size(), made[0].size() + made[1].size());
  EXPECT_EQ(live[0], static_cast<int>(made[0].size()));
  made[0].clear();
  made[1].clear();
  EXPECT_EQ(live[0] + live[1], 0);
}

}  // namespace
}  // namespace orvane::detail
