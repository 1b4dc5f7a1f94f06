#ifndef ORVANE_UTIL_MARKET_ORDER_STATUS_ENUM_H_
#define ORVANE_UTIL_MARKET_ORDER_STATUS_ENUM_H_

// Forwarding header, kept for one release: this header moved to orvane/vocabulary/market_order_status_enum.h.
#include "orvane/vocabulary/market_order_status_enum.h"

#endif  // ORVANE_UTIL_MARKET_ORDER_STATUS_ENUM_H_
