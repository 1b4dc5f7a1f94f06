#ifndef ORVANE_VOCABULARY_TRANSACTION_TYPE_ENUM_H_
#define ORVANE_VOCABULARY_TRANSACTION_TYPE_ENUM_H_

#include <cstdint>

namespace orvane {

// The kind of change made to a record: insert, update or delete.
enum TransactionTypeEnum : int32_t {
  InsertTransType = 1,
  UpdateTransType = 2,
  DeleteTransType = 3,
};

}  // namespace orvane

#endif  // ORVANE_VOCABULARY_TRANSACTION_TYPE_ENUM_H_
