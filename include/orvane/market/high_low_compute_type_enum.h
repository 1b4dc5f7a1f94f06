#ifndef ORVANE_MARKET_HIGH_LOW_COMPUTE_TYPE_ENUM_H_
#define ORVANE_MARKET_HIGH_LOW_COMPUTE_TYPE_ENUM_H_

#include <cstdint>

namespace orvane {

// Which side of the quote a symbol's day high and low follow.
enum HighLowComputeTypeEnum : int32_t {
  FromBid = 1,
  FromAsk = 2,
};

}  // namespace orvane

#endif  // ORVANE_MARKET_HIGH_LOW_COMPUTE_TYPE_ENUM_H_
