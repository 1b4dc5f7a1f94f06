#ifndef ORVANE_ACCOUNTS_DELIVERY_ITEMS_H_
#define ORVANE_ACCOUNTS_DELIVERY_ITEMS_H_

#include <cstdint>
#include <memory>

#include "orvane/accounts/delivery_item.h"
#include "orvane/core/keyed_collection.h"
#include "orvane/core/object.h"
#include "orvane/core/variant.h"

namespace orvane {

// The delivery items on offer, keyed by their ID text, in insertion order.
// Unlike most collections of the library, adding a key already present is an
// error to the caller.
class CDeliveryItems : public Object, private NonCopyable {
 public:
  CDeliveryItems() = default;

  // Adds the item under its ID text and returns it; objNewMember is cleared
  // (holds no object) on return. Throws Error(DuplicateKey) when the ID is
  // already present and Error(ObjectRequired) for no item; in both cases the
  // collection and objNewMember are left as they were.
  std::shared_ptr<CDeliveryItem> Add(std::shared_ptr<CDeliveryItem>& objNewMember);

  // The item under a key text or at a 1-based position; nullptr when there is
  // none (also for an index that is neither text nor a number).
  std::shared_ptr<CDeliveryItem> Item(const Variant& vntIndexKey) const;

  int32_t Count() const { return m_items.Count(); }

  // Removes the item under a key text or at a position; a miss is ignored.
  void Remove(const Variant& vntIndexKey);

  // The live collection, not a copy.
  KeyedCollection<CDeliveryItem>& Items() { return m_items; }
  const KeyedCollection<CDeliveryItem>& Items() const { return m_items; }

 private:
  KeyedCollection<CDeliveryItem> m_items;
};

}  // namespace orvane

#endif  // ORVANE_ACCOUNTS_DELIVERY_ITEMS_H_
