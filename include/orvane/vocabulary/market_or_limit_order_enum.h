#ifndef ORVANE_VOCABULARY_MARKET_OR_LIMIT_ORDER_ENUM_H_
#define ORVANE_VOCABULARY_MARKET_OR_LIMIT_ORDER_ENUM_H_

#include <cstdint>

namespace orvane {

// The kind of an order: at market, a limit (or stop) entry, or the stop-loss
// and take-profit of a position. The values travel in messages and events.
enum MarketOrLimitOrderEnum : int32_t {
  MarketOrderType = 1,
  LimitOrderType = 2,
  SLOrderType = 3,
  TPOrderType = 4,
};

}  // namespace orvane

#endif  // ORVANE_VOCABULARY_MARKET_OR_LIMIT_ORDER_ENUM_H_
