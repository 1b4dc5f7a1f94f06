#ifndef ORVANE_CORE_KEYED_LOOKUP_H_
#define ORVANE_CORE_KEYED_LOOKUP_H_

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "orvane/core/keyed_collection.h"
#include "orvane/core/variant.h"

// The "key text or 1-based position" argument (vntIndexKey) that the Item
// and Remove operations of the collections take as one variant.
namespace orvane {

// The 1-based position a numeric index names: the number rounded half to
// even. No value for a variant that is not a number (text is a key) or for a
// number outside the 32-bit range.
inline std::optional<int32_t> PositionOf(const Variant& index_key) {
  if (index_key.kind() != Variant::Kind::Number) return std::nullopt;
  const double rounded = std::nearbyint(index_key.NumberValue());
  if (!(rounded >= std::numeric_limits<int32_t>::min() &&
        rounded <= std::numeric_limits<int32_t>::max())) {
    return std::nullopt;
  }
  return static_cast<int32_t>(rounded);
}

// The member a key text or a position names; nullptr for a miss, and for a
// variant that is neither text nor a number.
template <typename T>
std::shared_ptr<T> ItemByIndexKey(const KeyedCollection<T>& items,
                                  const Variant& index_key) {
  if (index_key.kind() == Variant::Kind::String) {
    return items.Item(index_key.TextValue());
  }
  const std::optional<int32_t> position = PositionOf(index_key);
  return position ? items.Item(*position) : nullptr;
}

// Removes and returns the member a key text or a position names; nullptr,
// and nothing removed, for a miss.
template <typename T>
std::shared_ptr<T> RemoveByIndexKey(KeyedCollection<T>& items,
                                    const Variant& index_key) {
  if (index_key.kind() == Variant::Kind::String) {
    return items.Remove(index_key.TextValue());
  }
  const std::optional<int32_t> position = PositionOf(index_key);
  if (!position || *position < 1 || *position > items.Count()) return nullptr;
  auto it = items.begin();
  for (int32_t i = 1; i < *position; ++i) ++it;
  const std::string key = it.key();
  return items.Remove(key);
}

}  // namespace orvane

#endif  // ORVANE_CORE_KEYED_LOOKUP_H_
