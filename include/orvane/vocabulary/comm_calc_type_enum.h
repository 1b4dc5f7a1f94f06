#ifndef ORVANE_VOCABULARY_COMM_CALC_TYPE_ENUM_H_
#define ORVANE_VOCABULARY_COMM_CALC_TYPE_ENUM_H_

#include <cstdint>

namespace orvane {

// When a client's commission and interest are booked: to the account as they
// arise, or kept with the position and counted in its floating result.
enum CommCalcTypeEnum : int32_t {
  ON_OPEN_TYPE = 1,
  ON_CLOSE_TYPE = 2,
};

}  // namespace orvane

#endif  // ORVANE_VOCABULARY_COMM_CALC_TYPE_ENUM_H_
