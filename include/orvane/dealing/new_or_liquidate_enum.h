#ifndef ORVANE_DEALING_NEW_OR_LIQUIDATE_ENUM_H_
#define ORVANE_DEALING_NEW_OR_LIQUIDATE_ENUM_H_

#include <cstdint>

namespace orvane {

// Whether a market order opens a new position or closes (liquidates) one.
enum NewOrLiquidateEnum : int32_t {
  NewType = 1,
  LiquidateType = 2,
};

}  // namespace orvane

#endif  // ORVANE_DEALING_NEW_OR_LIQUIDATE_ENUM_H_
