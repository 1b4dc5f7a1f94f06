#ifndef ORVANE_DEALING_CHAT_ORDERS_H_
#define ORVANE_DEALING_CHAT_ORDERS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "orvane/core/date_time.h"
#include "orvane/core/keyed_collection.h"
#include "orvane/core/object.h"
#include "orvane/core/variant.h"
#include "orvane/dealing/chat_order.h"

namespace orvane {

// The orders in negotiation, keyed by the decimal text of their ID, in
// insertion order. Adding an ID already present is an error to the caller.
// Releasing the collection (or Deallocate) deallocates every order in it.
class CChatOrders : public Object, public ISafeObject, private NonCopyable {
 public:
  // The RequestTime that Add reads as "not given": 1 January 1900.
  static DateTime UnsetRequestTime() { return DateTime::FromParts(1900, 1, 1); }

  CChatOrders() = default;
  ~CChatOrders() override;

  // Adds vOrder under its ID and returns it. Throws Error(DuplicateKey) when
  // the ID is present and Error(ObjectRequired) for no order; the collection
  // is then unchanged.
  std::shared_ptr<CChatOrder> AddObject(std::shared_ptr<CChatOrder> vOrder);

  // Creates an order and fills it in this order: MarketOrLimitOrder, Dealer
  // (stamping ReceivedTime), ID, AccountID, ClientID, SymbolID, BuySell, lots,
  // OpenLots, Price, OpenPrice, hitPrice, RefHitPrice, NewOrLiquidate, status,
  // ClientSID, MakerClientID, MakerClientIP, OpenTicket, FromSystem, then
  // RequestTime: now when RequestTime is 1 January 1900 (the default), else
  // the given time. Adds and returns it; throws as AddObject.
  std::shared_ptr<CChatOrder> Add(
      MarketOrLimitOrderEnum MarketOrLimitOrder, int32_t ID, int32_t Dealer,
      int32_t AccountID, int32_t ClientID, int32_t SymID, OperationTypeEnum BuySell,
      double lots, double Price, double OpenPrice, double hitPrice, double RefHitPrice,
      NewOrLiquidateEnum NewOrLiq, MarketOrderStatusEnum status, int32_t MakerClientID,
      std::string MakerClientIP, double OpenLots, int32_t ClientSID = -1,
      int32_t OpenTicket = 0, DateTime RequestTime = UnsetRequestTime(),
      bool FromSystem = false);

  // The order under a key text or at a 1-based position; nullptr when there
  // is none.
  std::shared_ptr<CChatOrder> Item(const Variant& vntIndexKey) const;

  int32_t Count() const { return m_orders.Count(); }

  // Removes the order under a key text or at a position (the order itself is
  // not deallocated); a miss is ignored.
  void Remove(const Variant& vntIndexKey);

  // The orders in insertion order, copied: safe to walk while removing.
  std::vector<std::shared_ptr<CChatOrder>> NewEnum() const { return m_orders.Snapshot(); }

  // The live collection.
  KeyedCollection<CChatOrder>& Children() { return m_orders; }
  const KeyedCollection<CChatOrder>& Children() const { return m_orders; }

  KeyedCollection<CChatOrder>::Iterator begin() const { return m_orders.begin(); }
  KeyedCollection<CChatOrder>::Iterator end() const { return m_orders.end(); }

  // Deallocates every order and empties the collection.
  void Deallocate() override;

 private:
  KeyedCollection<CChatOrder> m_orders;
};

}  // namespace orvane

#endif  // ORVANE_DEALING_CHAT_ORDERS_H_
