#ifndef ORVANE_MARKET_SPREAD_CAL_TYPE_ENUM_H_
#define ORVANE_MARKET_SPREAD_CAL_TYPE_ENUM_H_

#include <cstdint>

namespace orvane {

// How a spread is laid around the quote: all of it above the bid, or split
// around the mid price.
enum SpreadCalTypeEnum : int32_t {
  FromBidSpread = 1,
  FromAvgSpread = 2,
};

}  // namespace orvane

#endif  // ORVANE_MARKET_SPREAD_CAL_TYPE_ENUM_H_
