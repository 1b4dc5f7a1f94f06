#ifndef ORVANE_ACCOUNTS_ORDERS_H_
#define ORVANE_ACCOUNTS_ORDERS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "orvane/accounts/order.h"
#include "orvane/core/keyed_collection.h"
#include "orvane/core/object.h"
#include "orvane/core/variant.h"

namespace orvane {

// The pending orders of one account, keyed by the decimal text of OrderId, in
// insertion order. Remove and Clear only drop members.
class COrders : public Object, public ISafeObject, private NonCopyable {
 public:
  COrders() = default;
  ~COrders() override = default;

  // Creates an order, sets SymbolParam, tpPrice, slPrice, LimitPrice, lots,
  // IoID, operationType, OrderType, OrderId, status, hitPrice, hitTime,
  // OrderTime, Note and Account in this order and adds it under the text of
  // OrderId. Returns none, leaving the collection unchanged, when the key is
  // already present. Throws Error(ObjectRequired) when SymParam (or its
  // symbol) is missing; nothing is added then.
  std::shared_ptr<COrder> Add(int16_t status, double tpPrice, double slPrice,
                              double LimitPrice,
                              const std::shared_ptr<CClientParam>& SymParam,
                              double lots, int32_t IoID,
                              OperationTypeEnum operationType,
                              OrdersTypeEnum OrderType, int32_t OrderId,
                              double hitPrice, DateTime hitTime,
                              std::string OrderTime, std::string Note,
                              const std::shared_ptr<CAccount>& vAccount);
  std::shared_ptr<COrder> Item(const Variant& vntIndexKey) const;
  int32_t Count() const { return m_items.Count(); }
  // Drops the member; a miss does nothing.
  void Remove(const Variant& vntIndexKey);
  // Empties the collection; the members are dropped.
  void Clear() { m_items.Clear(); }
  // The members in insertion order, copied: safe to walk while removing.
  std::vector<std::shared_ptr<COrder>> NewEnum() const { return m_items.Snapshot(); }
  const KeyedCollection<COrder>& Items() const { return m_items; }
  KeyedCollection<COrder>::Iterator begin() const { return m_items.begin(); }
  KeyedCollection<COrder>::Iterator end() const { return m_items.end(); }

  // Orders hold no cycle of their own; the members are dropped.
  void Deallocate() override { m_items.Clear(); }

 private:
  KeyedCollection<COrder> m_items;
};

}  // namespace orvane

#endif  // ORVANE_ACCOUNTS_ORDERS_H_
