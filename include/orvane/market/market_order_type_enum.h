#ifndef ORVANE_MARKET_MARKET_ORDER_TYPE_ENUM_H_
#define ORVANE_MARKET_MARKET_ORDER_TYPE_ENUM_H_

#include <cstdint>

namespace orvane {

// How a symbol's market orders are dealt: at the quoted price or at market.
enum MarketOrderTypeEnum : int32_t {
  AtPriceMO = 1,
  AtMarketMO = 2,
};

}  // namespace orvane

#endif  // ORVANE_MARKET_MARKET_ORDER_TYPE_ENUM_H_
