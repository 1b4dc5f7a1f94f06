#include "orvane/dealing/chat_orders.h"

#include "orvane/core/clock.h"
#include "orvane/core/error.h"
#include "orvane/core/keyed_lookup.h"

namespace orvane {

CChatOrders::~CChatOrders() { Deallocate(); }

std::shared_ptr<CChatOrder> CChatOrders::AddObject(std::shared_ptr<CChatOrder> vOrder) {
  if (vOrder == nullptr) {
    throw Error(ErrorCode::ObjectRequired, "Object required: no order to add");
  }
  if (!m_orders.Add(KeyOf(vOrder->ID()), vOrder)) {
    throw Error(ErrorCode::DuplicateKey,
                "Duplicate key: order " + KeyOf(vOrder->ID()) + " is already in negotiation");
  }
  return vOrder;
}

std::shared_ptr<CChatOrder> CChatOrders::Add(
    MarketOrLimitOrderEnum MarketOrLimitOrder, int32_t ID, int32_t Dealer,
    int32_t AccountID, int32_t ClientID, int32_t SymID, OperationTypeEnum BuySell,
    double lots, double Price, double OpenPrice, double hitPrice, double RefHitPrice,
    NewOrLiquidateEnum NewOrLiq, MarketOrderStatusEnum status, int32_t MakerClientID,
    std::string MakerClientIP, double OpenLots, int32_t ClientSID, int32_t OpenTicket,
    DateTime RequestTime, bool FromSystem) {
  auto order = std::make_shared<CChatOrder>();
  order->MarketOrLimitOrder(MarketOrLimitOrder);
  order->Dealer(Dealer);
  order->ID(ID);
  order->AccountID(AccountID);
  order->ClientID(ClientID);
  order->SymbolID(SymID);
  order->BuySell(BuySell);
  order->lots(lots);
  order->OpenLots(OpenLots);
  order->Price(Price);
  order->OpenPrice(OpenPrice);
  order->hitPrice(hitPrice);
  order->RefHitPrice(RefHitPrice);
  order->NewOrLiquidate(NewOrLiq);
  order->status(status);
  order->ClientSID(ClientSID);
  order->MakerClientID(MakerClientID);
  order->MakerClientIP(std::move(MakerClientIP));
  order->OpenTicket(OpenTicket);
  order->FromSystem(FromSystem);
  order->RequestTime(RequestTime == UnsetRequestTime() ? Now() : RequestTime);
  return AddObject(std::move(order));
}

std::shared_ptr<CChatOrder> CChatOrders::Item(const Variant& vntIndexKey) const {
  return ItemByIndexKey(m_orders, vntIndexKey);
}

void CChatOrders::Remove(const Variant& vntIndexKey) { RemoveByIndexKey(m_orders, vntIndexKey); }

void CChatOrders::Deallocate() {
  for (const auto& order : m_orders.Snapshot()) order->Deallocate();
  m_orders.Clear();
}

}  // namespace orvane
