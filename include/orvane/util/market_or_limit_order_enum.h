#ifndef ORVANE_UTIL_MARKET_OR_LIMIT_ORDER_ENUM_H_
#define ORVANE_UTIL_MARKET_OR_LIMIT_ORDER_ENUM_H_

// Forwarding header, kept for one release: this header moved to orvane/vocabulary/market_or_limit_order_enum.h.
#include "orvane/vocabulary/market_or_limit_order_enum.h"

#endif  // ORVANE_UTIL_MARKET_OR_LIMIT_ORDER_ENUM_H_
