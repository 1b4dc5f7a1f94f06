// KeyedCollection at book scale: 100,000 members under decimal keys, each a
// separately allocated object of account size, touched in random key order
// so that lookups run cold as they do on a busy server.
//
// BM_ItemAt100k:       Item(key), which shares the member (reference count).
// BM_FindAt100k:       Find(key), which only reads the stored reference.
// BM_ItemMissAt100k:   Item(key) for keys that are absent.
// BM_AddAt100k:        Add of a new random key to 90,000..100,000 members.
// BM_RemoveAt100k:     Remove of a random key from 90,000..100,000 members,
//                      compaction of the holes included.
// BM_WalkAt100k:       range-for over all members, per member (the
//                      references only, not the objects).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "orvane/core/keyed_collection.h"

namespace orvane {
namespace {

constexpr int kMembers = 100000;
constexpr int kBatch = 10000;  // members added or removed between refills

struct Member {
  explicit Member(int id) : id(id) {}
  int id;
  char payload[508] = {};
};

std::vector<std::string> ShuffledKeys(int first, int count, unsigned seed) {
  std::vector<std::string> keys;
  keys.reserve(static_cast<size_t>(count));
  for (int id = first; id < first + count; ++id) keys.push_back(KeyOf(id));
  std::shuffle(keys.begin(), keys.end(), std::mt19937(seed));
  return keys;
}

// Members inserted in random key order, so that neither the slots nor the
// objects lie in key order.
void Fill(KeyedCollection<Member>& members, const std::vector<std::string>& keys) {
  for (const std::string& key : keys) {
    members.Add(key, std::make_shared<Member>(std::stoi(key)));
  }
}

void BM_ItemAt100k(benchmark::State& state) {
  KeyedCollection<Member> members;
  Fill(members, ShuffledKeys(1, kMembers, 1));
  const std::vector<std::string> keys = ShuffledKeys(1, kMembers, 2);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(members.Item(keys[i]));
    if (++i == keys.size()) i = 0;
  }
}
BENCHMARK(BM_ItemAt100k);

void BM_FindAt100k(benchmark::State& state) {
  KeyedCollection<Member> members;
  Fill(members, ShuffledKeys(1, kMembers, 1));
  const std::vector<std::string> keys = ShuffledKeys(1, kMembers, 2);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(members.Find(keys[i]));
    if (++i == keys.size()) i = 0;
  }
}
BENCHMARK(BM_FindAt100k);

void BM_ItemMissAt100k(benchmark::State& state) {
  KeyedCollection<Member> members;
  Fill(members, ShuffledKeys(1, kMembers, 1));
  const std::vector<std::string> keys = ShuffledKeys(kMembers + 1, kMembers, 2);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(members.Item(keys[i]));
    if (++i == keys.size()) i = 0;
  }
}
BENCHMARK(BM_ItemMissAt100k);

void BM_AddAt100k(benchmark::State& state) {
  KeyedCollection<Member> members;
  Fill(members, ShuffledKeys(1, kMembers - kBatch, 1));
  const std::vector<std::string> keys = ShuffledKeys(kMembers + 1, kBatch, 2);
  std::vector<std::shared_ptr<Member>> objects;
  for (const std::string& key : keys) {
    objects.push_back(std::make_shared<Member>(std::stoi(key)));
  }
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(members.Add(keys[i], objects[i]));
    if (++i == keys.size()) {
      state.PauseTiming();
      while (i > 0) members.Remove(keys[--i]);  // newest first
      state.ResumeTiming();
    }
  }
}
BENCHMARK(BM_AddAt100k);

void BM_RemoveAt100k(benchmark::State& state) {
  KeyedCollection<Member> members;
  Fill(members, ShuffledKeys(1, kMembers, 1));
  std::vector<std::string> keys = ShuffledKeys(1, kMembers, 2);
  keys.resize(kBatch);
  std::vector<std::shared_ptr<Member>> removed(keys.size());
  size_t i = 0;
  for (auto _ : state) {
    removed[i] = members.Remove(keys[i]);
    if (++i == keys.size()) {
      state.PauseTiming();
      for (size_t j = 0; j < keys.size(); ++j) members.Add(keys[j], std::move(removed[j]));
      i = 0;
      state.ResumeTiming();
    }
  }
}
BENCHMARK(BM_RemoveAt100k);

void BM_WalkAt100k(benchmark::State& state) {
  KeyedCollection<Member> members;
  Fill(members, ShuffledKeys(1, kMembers, 1));
  for (auto _ : state) {
    int64_t present = 0;
    for (const auto& member : members) present += member != nullptr;
    benchmark::DoNotOptimize(present);
  }
  state.SetItemsProcessed(state.iterations() * kMembers);
}
BENCHMARK(BM_WalkAt100k);

}  // namespace
}  // namespace orvane
