#ifndef ORVANE_VOCABULARY_OPERATION_TYPE_ENUM_H_
#define ORVANE_VOCABULARY_OPERATION_TYPE_ENUM_H_

#include <cstdint>

namespace orvane {

// The direction of a deal or order. The value enters profit as its sign:
// a buy is +1, a sell -1.
enum OperationTypeEnum : int32_t {
  BuyType = 1,
  SellType = -1,
  BuyStopType = 2,
  SellStopType = -2,
};

}  // namespace orvane

#endif  // ORVANE_VOCABULARY_OPERATION_TYPE_ENUM_H_
