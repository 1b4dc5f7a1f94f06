#ifndef ORVANE_VOCABULARY_ACCOUNT_HISTORY_TYPE_ENUM_H_
#define ORVANE_VOCABULARY_ACCOUNT_HISTORY_TYPE_ENUM_H_

#include <cstdint>

namespace orvane {

// The kind of an account history entry: a new position, a liquidation, or
// a money movement (whose kind is an AccountTransTypeEnum).
enum AccountHistoryTypeEnum : int32_t {
  NewPositionAccHis = 1,
  LiquidatePositionAccHis = 2,
  AccountTransAccHis = 3,
};

}  // namespace orvane

#endif  // ORVANE_VOCABULARY_ACCOUNT_HISTORY_TYPE_ENUM_H_
