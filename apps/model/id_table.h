#ifndef ORVANE_APPS_MODEL_ID_TABLE_H_
#define ORVANE_APPS_MODEL_ID_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace orvane::apps {

// A map from a record's number (an account, a client) to a value, for the
// paths that look one up for every holder on every tick: one flat array,
// open addressing, no erase. Any int32_t is a valid key. A pointer a lookup
// returns stays valid until the next insertion.
template <typename Value>
class IdTable {
 public:
  // The value under `id`, made with Value{} when it is not there yet.
  Value& operator[](int32_t id) {
    if (Value* value = find(id)) return *value;
    if ((m_size + 1) * 4 > m_slots.size() * 3) grow();
    Slot& slot = m_slots[position(id)];
    slot = Slot{id, true, Value{}};
    ++m_size;
    return slot.value;
  }

  // nullptr when `id` has no value.
  const Value* find(int32_t id) const {
    if (m_slots.empty()) return nullptr;
    const Slot& slot = m_slots[position(id)];
    return slot.used ? &slot.value : nullptr;
  }
  Value* find(int32_t id) {
    return const_cast<Value*>(std::as_const(*this).find(id));
  }

  size_t size() const { return m_size; }

  // Calls f(id, value) for every value, in no particular order.
  template <typename F>
  void for_each(F f) {
    for (Slot& slot : m_slots) {
      if (slot.used) f(slot.id, slot.value);
    }
  }

 private:
  struct Slot {
    int32_t id = 0;
    bool used = false;
    Value value{};
  };

  // The slot holding `id`, or the free slot where it would go.
  size_t position(int32_t id) const {
    const size_t mask = m_slots.size() - 1;
    // Fibonacci hashing spreads consecutive numbers over the table.
    size_t i = static_cast<size_t>((static_cast<uint64_t>(static_cast<uint32_t>(id)) *
                                    0x9E3779B97F4A7C15ull) >> 32) & mask;
    while (m_slots[i].used && m_slots[i].id != id) i = (i + 1) & mask;
    return i;
  }

  void grow() {
    std::vector<Slot> old = std::move(m_slots);
    m_slots.assign(old.empty() ? 16 : old.size() * 2, Slot{});
    for (Slot& slot : old) {
      if (slot.used) m_slots[position(slot.id)] = std::move(slot);
    }
  }

  std::vector<Slot> m_slots;  // a power of two long, at most three quarters used
  size_t m_size = 0;
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_MODEL_ID_TABLE_H_
