#ifndef ORVANE_VOCABULARY_MARKET_ORDER_STATUS_ENUM_H_
#define ORVANE_VOCABULARY_MARKET_ORDER_STATUS_ENUM_H_

#include <cstdint>

namespace orvane {

// The state of a market order negotiated between client and dealer.
// CGenerals::MarketOrderStatusDesc gives the display text of each state.
enum MarketOrderStatusEnum : int32_t {
  HedgingIsNotAllowed = -4,
  NewOrder_RequestType = 1,
  Rejected_RequestType = 2,
  PriceSent_RequestType = 3,
  TimerExpired_RequestType = 4,
  RequestNewBuy = 10,
  RequestNewSell = 11,
  RequestLiqBuy = 12,
  RequestLiqSell = 13,
  LiqAccepted = 19,
  NewAccepted = 20,
  InvalidPrice = 21,
  DeliveryAccepted = 22,
  NewBuyPriceChanged = 30,
  NewSellPriceChanged = 31,
  LiqBuyPriceChanged = 32,
  LiqSellPriceChanged = 33,
  PriceChangedClientAccept_PendingType = 40,
  PriceChangedTimerExpired_PendingType = 44,
  PriceChangedClientReject_PendingType = 45,
  ClientCancelWhenNew_RequestType = 101,
  ClientCancelWhenPriceSent_RequestType = 103,
  FutureLiqAccepted = 119,
  FutureNewAccepted = 120,
  FutureBuyPriceChanged = 130,
  FutureSellPriceChanged = 131,
};

}  // namespace orvane

#endif  // ORVANE_VOCABULARY_MARKET_ORDER_STATUS_ENUM_H_
