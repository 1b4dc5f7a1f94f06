#ifndef ORVANE_VOCABULARY_ACCOUNT_TRANS_TYPE_ENUM_H_
#define ORVANE_VOCABULARY_ACCOUNT_TRANS_TYPE_ENUM_H_

#include <cstdint>

namespace orvane {

// The kind of a money movement on an account. Money in is positive, money
// out negative.
enum AccountTransTypeEnum : int32_t {
  DepositAccTrans = 1,
  WithdrawalAccTrans = -1,
  AdjustmentAccTrans = 2,
  CreditInAccTrans = 3,
  CreditOutAccTrans = -3,
  DeliveryAccTrans = -4,
};

}  // namespace orvane

#endif  // ORVANE_VOCABULARY_ACCOUNT_TRANS_TYPE_ENUM_H_
