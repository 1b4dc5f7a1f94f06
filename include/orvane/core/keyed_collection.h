#ifndef ORVANE_CORE_KEYED_COLLECTION_H_
#define ORVANE_CORE_KEYED_COLLECTION_H_

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "orvane/core/error.h"

namespace orvane {

// The decimal text of an identifier, the key of every keyed collection.
std::string KeyOf(int64_t id);

// KeyOf(id) in a buffer of its own, for a lookup that needs no string.
class IdKey {
 public:
  // Writes the decimal text of `id` into the key's own buffer.
  explicit IdKey(int64_t id)
      : m_size(static_cast<uint8_t>(std::to_chars(m_text, m_text + sizeof m_text, id).ptr -
                                    m_text)) {}
  // The text, valid while the key lives; equal to KeyOf(id).
  operator std::string_view() const { return {m_text, m_size}; }

 private:
  char m_text[20];  // the longest, INT64_MIN, has 20 characters
  uint8_t m_size;
};

namespace detail {

inline uint64_t Load64(const char* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline uint64_t Load32(const char* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// A bijection of 64-bit values that spreads every input bit over the result.
inline uint64_t Mix64(uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ULL;
  x ^= x >> 33;
  return x;
}

// A 64-bit hash of a key text. Keys of up to 7 bytes (every identifier
// below ten million) take one load pair and one mix; distinct keys of one
// such length never share a hash.
inline uint64_t HashKey(std::string_view key) {
  const char* p = key.data();
  const size_t n = key.size();
  const uint64_t length = static_cast<uint64_t>(n) * 0x9e3779b97f4a7c15ULL;
  if (n < 8) {
    uint64_t bits = 0;
    if (n >= 4) {
      bits = Load32(p) | (Load32(p + n - 4) << 32);
    } else if (n > 0) {
      bits = (uint64_t{static_cast<unsigned char>(p[0])} << 16) |
             (uint64_t{static_cast<unsigned char>(p[n / 2])} << 8) |
             uint64_t{static_cast<unsigned char>(p[n - 1])};
    }
    return Mix64(bits ^ length);
  }
  uint64_t h = length;
  size_t at = 0;
  for (; at + 8 < n; at += 8) h = Mix64(h ^ Load64(p + at));
  return Mix64(h ^ Load64(p + n - 8));
}

}  // namespace detail

// An insertion-ordered collection of shared objects under unique text keys,
// the behaviour behind every collection of the library.
//
// - Add of a key already present changes nothing and returns false.
// - Item(key) and Item(position) give nullptr for a miss; positions count
//   from 1 in insertion order.
// - Remove of a missing key does nothing.
// - Key lookup, Add and Remove are O(1) (amortised).
// - Range-for walks the members in insertion order. The collection must not
//   change during such a walk; a walk that removes members as it goes uses
//   Snapshot().
//
// Members live in a vector of slots in insertion order, each slot holding
// its key inline (decimal keys fit the string's own buffer). A removal
// leaves a hole that later compaction closes. The key index is a flat
// open-addressing table of (hash bits, slot number) pairs with linear
// probing, so that a lookup reads one index entry and one slot.
template <typename T>
class KeyedCollection {
 public:
  using Pointer = std::shared_ptr<T>;

  KeyedCollection() = default;
  KeyedCollection(const KeyedCollection&) = default;
  KeyedCollection& operator=(const KeyedCollection&) = default;
  // A moved-from collection is empty.
  KeyedCollection(KeyedCollection&& other) noexcept { Swap(other); }
  KeyedCollection& operator=(KeyedCollection&& other) noexcept {
    if (this != &other) {
      KeyedCollection taken(std::move(other));
      Swap(taken);
    }
    return *this;
  }

  // Throws Error(Overflow) only when the collection already holds the
  // largest count a 32-bit position can name; nothing changes then.
  bool Add(std::string key, Pointer item) {
    const uint32_t tag = TagOf(key);
    if (m_count > 0 && FindBucket(key, tag) != kNone) return false;
    if (m_count == kMaxCount) {
      throw Error(ErrorCode::Overflow, "keyed collection is full");
    }
    if (m_slots.size() == kMaxCount) Compact();
    if ((m_count + 1) * 4 > m_buckets.size() * 3) {
      Rehash(m_buckets.empty() ? kMinBuckets : m_buckets.size() * 2);
    }
    m_slots.push_back(Slot{std::move(key), std::move(item), tag, true});
    Place(Bucket{tag, static_cast<uint32_t>(m_slots.size() - 1)});
    ++m_count;
    return true;
  }

  Pointer Item(std::string_view key) const {
    if (m_count == 0) return nullptr;
    const uint32_t tag = TagOf(key);
    for (size_t i = HomeOf(tag);; i = (i + 1) & m_mask) {
      const Bucket bucket = m_buckets[i];
      if (bucket.slot == kEmptySlot) return nullptr;
      if (bucket.tag != tag) continue;
      const Slot& slot = m_slots[bucket.slot];
      if (slot.key == key) return slot.item;
    }
  }

  // May close the holes left by removals, which moves the members' slots.
  Pointer Item(int32_t position) const {
    if (position < 1 || position > Count()) return nullptr;
    Compact();
    return m_slots[static_cast<size_t>(position - 1)].item;
  }

  // The member under key without taking a reference to it; nullptr for a
  // miss. The pointer stays valid until the collection next changes (Add,
  // Remove, Clear, or Item by position, which may compact).
  const Pointer* Find(std::string_view key) const {
    if (m_count == 0) return nullptr;
    const size_t bucket = FindBucket(key, TagOf(key));
    return bucket == kNone ? nullptr : &m_slots[m_buckets[bucket].slot].item;
  }

  bool Contains(std::string_view key) const { return Find(key) != nullptr; }

  // Removes and returns the member, or nullptr when there is none.
  Pointer Remove(std::string_view key) {
    if (m_count == 0) return nullptr;
    const size_t bucket = FindBucket(key, TagOf(key));
    if (bucket == kNone) return nullptr;
    const size_t at = m_buckets[bucket].slot;
    Pointer item = std::move(m_slots[at].item);
    EraseBucket(bucket);
    --m_count;
    if (at + 1 == m_slots.size()) {
      m_slots.pop_back();
      DropTrailingHoles();
    } else {
      Slot& slot = m_slots[at];
      slot.key = std::string();
      slot.live = false;
      ++m_holes;
      if (m_holes > 16 && m_holes * 2 > m_slots.size()) Compact();
    }
    return item;
  }

  // Releases every member and the index's memory.
  void Clear() {
    m_slots = std::vector<Slot>();
    m_buckets = std::vector<Bucket>();
    m_count = 0;
    m_holes = 0;
    m_mask = 0;
    m_shift = 32;
  }

  int32_t Count() const { return static_cast<int32_t>(m_count); }
  bool Empty() const { return m_count == 0; }

  // The members in insertion order, copied, for walks that change the
  // collection.
  std::vector<Pointer> Snapshot() const {
    std::vector<Pointer> items;
    items.reserve(m_count);
    for (const Slot& slot : m_slots) {
      if (slot.live) items.push_back(slot.item);
    }
    return items;
  }

  // Iteration over the members (shared_ptr<T>) in insertion order.
  class Iterator {
   public:
    Iterator(const KeyedCollection* owner, size_t at) : m_owner(owner), m_at(at) {
      SkipHoles();
    }
    const Pointer& operator*() const { return m_owner->m_slots[m_at].item; }
    Iterator& operator++() {
      ++m_at;
      SkipHoles();
      return *this;
    }
    bool operator!=(const Iterator& other) const { return m_at != other.m_at; }
    bool operator==(const Iterator& other) const { return m_at == other.m_at; }
    // The key of the current member.
    const std::string& key() const { return m_owner->m_slots[m_at].key; }

   private:
    void SkipHoles() {
      while (m_at < m_owner->m_slots.size() && !m_owner->m_slots[m_at].live) {
        ++m_at;
      }
    }
    const KeyedCollection* m_owner;
    size_t m_at;
  };

  Iterator begin() const { return Iterator(this, 0); }
  Iterator end() const { return Iterator(this, m_slots.size()); }

 private:
  struct Slot {
    std::string key;  // empty in a hole
    Pointer item;
    uint32_t tag;  // the key's index bits, kept for renumbering
    bool live;     // false in a hole left by a removal
  };
  // An index entry: the upper 32 bits of the key's hash (whose top bits
  // choose the home bucket) and the member's slot number.
  struct Bucket {
    uint32_t tag;
    uint32_t slot;  // kEmptySlot in a free bucket
  };

  static constexpr uint32_t kEmptySlot = UINT32_MAX;
  static constexpr size_t kNone = SIZE_MAX;
  static constexpr size_t kMinBuckets = 8;
  static constexpr size_t kMaxCount = INT32_MAX;

  static uint32_t TagOf(std::string_view key) {
    return static_cast<uint32_t>(detail::HashKey(key) >> 32);
  }

  size_t HomeOf(uint32_t tag) const {
    // A shift by 32 is reached only for an empty table, which is never probed.
    return static_cast<size_t>(tag >> m_shift);
  }

  // The bucket holding key, or kNone. The table is not empty and always
  // keeps a free bucket, which ends every probe.
  size_t FindBucket(std::string_view key, uint32_t tag) const {
    for (size_t i = HomeOf(tag);; i = (i + 1) & m_mask) {
      const Bucket bucket = m_buckets[i];
      if (bucket.slot == kEmptySlot) return kNone;
      if (bucket.tag == tag && m_slots[bucket.slot].key == key) return i;
    }
  }

  // Puts an entry whose key is known to be absent into the first free
  // bucket from its home.
  void Place(Bucket entry) const {
    size_t i = HomeOf(entry.tag);
    while (m_buckets[i].slot != kEmptySlot) i = (i + 1) & m_mask;
    m_buckets[i] = entry;
  }

  // Frees a bucket, shifting later entries of the probe run back so that
  // every entry stays reachable from its home without tombstones.
  void EraseBucket(size_t hole) {
    for (size_t i = (hole + 1) & m_mask; m_buckets[i].slot != kEmptySlot;
         i = (i + 1) & m_mask) {
      const size_t home = HomeOf(m_buckets[i].tag);
      if (((i - home) & m_mask) >= ((i - hole) & m_mask)) {
        m_buckets[hole] = m_buckets[i];
        hole = i;
      }
    }
    m_buckets[hole].slot = kEmptySlot;
  }

  void Rehash(size_t buckets) {
    std::vector<Bucket> old(buckets, Bucket{0, kEmptySlot});
    old.swap(m_buckets);
    m_mask = buckets - 1;
    m_shift = 32;
    for (size_t n = buckets; n > 1; n >>= 1) --m_shift;
    for (size_t i = 0; i < old.size(); ++i) {
      if (old[i].slot != kEmptySlot) Place(old[i]);
    }
  }

  void DropTrailingHoles() {
    while (!m_slots.empty() && !m_slots.back().live) {
      m_slots.pop_back();
      --m_holes;
    }
  }

  // Drops the holes left by removals and renumbers the index. Positions
  // are read through const access, hence the mutable storage below.
  void Compact() const {
    if (m_holes == 0) return;
    size_t out = 0;
    for (size_t in = 0; in < m_slots.size(); ++in) {
      if (!m_slots[in].live) continue;
      if (out != in) m_slots[out] = std::move(m_slots[in]);
      ++out;
    }
    m_slots.resize(out);
    m_holes = 0;
    for (Bucket& entry : m_buckets) entry.slot = kEmptySlot;
    for (size_t at = 0; at < out; ++at) {
      Place(Bucket{m_slots[at].tag, static_cast<uint32_t>(at)});
    }
  }

  void Swap(KeyedCollection& other) noexcept {
    m_slots.swap(other.m_slots);
    m_buckets.swap(other.m_buckets);
    std::swap(m_count, other.m_count);
    std::swap(m_holes, other.m_holes);
    std::swap(m_mask, other.m_mask);
    std::swap(m_shift, other.m_shift);
  }

  mutable std::vector<Slot> m_slots;
  mutable std::vector<Bucket> m_buckets;
  size_t m_count = 0;
  mutable size_t m_holes = 0;
  size_t m_mask = 0;
  uint32_t m_shift = 32;
};

}  // namespace orvane

#endif  // ORVANE_CORE_KEYED_COLLECTION_H_
