#ifndef ORVANE_VOCABULARY_ORDERS_TYPE_ENUM_H_
#define ORVANE_VOCABULARY_ORDERS_TYPE_ENUM_H_

#include <cstdint>

namespace orvane {

// The kind of an order: a market deal, a limit or stop entry order, or a
// stop-loss/take-profit order.
enum OrdersTypeEnum : int32_t {
  MarketDataType = 1,
  LimitOrdersType = 2,
  SlTpType = 3,
};

}  // namespace orvane

#endif  // ORVANE_VOCABULARY_ORDERS_TYPE_ENUM_H_
