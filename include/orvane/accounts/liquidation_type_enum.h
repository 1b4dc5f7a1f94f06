#ifndef ORVANE_ACCOUNTS_LIQUIDATION_TYPE_ENUM_H_
#define ORVANE_ACCOUNTS_LIQUIDATION_TYPE_ENUM_H_

#include <cstdint>

namespace orvane {

// Which figure of an account a client's liquidation point is compared with:
// the equity, or the margin level in percent.
enum LiquidationTypeEnum : int32_t {
  EQUITY_LIQUIDATION = 1,
  MARGIN_LEVEL_LIQUIDATION = 2,
};

}  // namespace orvane

#endif  // ORVANE_ACCOUNTS_LIQUIDATION_TYPE_ENUM_H_
