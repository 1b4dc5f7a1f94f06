#ifndef ORVANE_CORE_KEYED_COLLECTION_H_
#define ORVANE_CORE_KEYED_COLLECTION_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace orvane {

// The decimal text of an identifier, the key of every keyed collection.
std::string KeyOf(int64_t id);

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
template <typename T>
class KeyedCollection {
 public:
  using Pointer = std::shared_ptr<T>;

  bool Add(std::string key, Pointer item) {
    auto [it, inserted] = m_index.try_emplace(std::move(key), m_slots.size());
    if (!inserted) return false;
    m_slots.push_back(Slot{&it->first, std::move(item)});
    return true;
  }

  Pointer Item(std::string_view key) const {
    auto it = m_index.find(key);
    return it == m_index.end() ? nullptr : m_slots[it->second].item;
  }

  Pointer Item(int32_t position) const {
    if (position < 1 || position > Count()) return nullptr;
    Compact();
    return m_slots[static_cast<size_t>(position - 1)].item;
  }

  bool Contains(std::string_view key) const {
    return m_index.find(key) != m_index.end();
  }

  // Removes and returns the member, or nullptr when there is none.
  Pointer Remove(std::string_view key) {
    auto it = m_index.find(key);
    if (it == m_index.end()) return nullptr;
    Slot& slot = m_slots[it->second];
    Pointer item = std::move(slot.item);
    slot.key = nullptr;
    m_index.erase(it);
    ++m_holes;
    if (m_holes > 16 && m_holes * 2 > m_slots.size()) Compact();
    return item;
  }

  void Clear() {
    m_slots.clear();
    m_index.clear();
    m_holes = 0;
  }

  int32_t Count() const { return static_cast<int32_t>(m_index.size()); }
  bool Empty() const { return m_index.empty(); }

  // The members in insertion order, copied, for walks that change the
  // collection.
  std::vector<Pointer> Snapshot() const {
    std::vector<Pointer> items;
    items.reserve(m_index.size());
    for (const Slot& slot : m_slots) {
      if (slot.key != nullptr) items.push_back(slot.item);
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
    const std::string& key() const { return *m_owner->m_slots[m_at].key; }

   private:
    void SkipHoles() {
      while (m_at < m_owner->m_slots.size() &&
             m_owner->m_slots[m_at].key == nullptr) {
        ++m_at;
      }
    }
    const KeyedCollection* m_owner;
    size_t m_at;
  };

  Iterator begin() const { return Iterator(this, 0); }
  Iterator end() const { return Iterator(this, m_slots.size()); }

 private:
  struct StringHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>{}(text);
    }
  };
  struct Slot {
    const std::string* key;  // nullptr for a removed member
    Pointer item;
  };

  // Drops the holes left by removals and renumbers the index. Keys live in
  // the index's nodes, whose addresses do not move.
  void Compact() const {
    if (m_holes == 0) return;
    size_t out = 0;
    for (size_t in = 0; in < m_slots.size(); ++in) {
      if (m_slots[in].key == nullptr) continue;
      if (out != in) m_slots[out] = std::move(m_slots[in]);
      m_index.find(*m_slots[out].key)->second = out;
      ++out;
    }
    m_slots.resize(out);
    m_holes = 0;
  }

  mutable std::vector<Slot> m_slots;
  mutable std::unordered_map<std::string, size_t, StringHash, std::equal_to<>>
      m_index;
  mutable size_t m_holes = 0;
};

}  // namespace orvane

#endif  // ORVANE_CORE_KEYED_COLLECTION_H_
