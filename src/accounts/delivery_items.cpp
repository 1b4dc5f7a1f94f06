#include "orvane/accounts/delivery_items.h"

#include "orvane/core/error.h"
#include "orvane/core/keyed_lookup.h"

namespace orvane {

std::shared_ptr<CDeliveryItem> CDeliveryItems::Add(
    std::shared_ptr<CDeliveryItem>& objNewMember) {
  if (objNewMember == nullptr) {
    throw Error(ErrorCode::ObjectRequired, "Object required: no delivery item to add");
  }
  if (!m_items.Add(objNewMember->ID(), objNewMember)) {
    throw Error(ErrorCode::DuplicateKey,
                "Duplicate key: a delivery item with ID \"" + objNewMember->ID() +
                    "\" is already in the collection");
  }
  return std::move(objNewMember);
}

std::shared_ptr<CDeliveryItem> CDeliveryItems::Item(const Variant& vntIndexKey) const {
  return ItemByIndexKey(m_items, vntIndexKey);
}

void CDeliveryItems::Remove(const Variant& vntIndexKey) {
  RemoveByIndexKey(m_items, vntIndexKey);
}

}  // namespace orvane
