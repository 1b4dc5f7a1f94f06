#ifndef ORVANE_VOCABULARY_CLIENT_TYPE_ENUM_H_
#define ORVANE_VOCABULARY_CLIENT_TYPE_ENUM_H_

#include <cstdint>

namespace orvane {

// The kind of a party in the broker's tree.
enum ClientTypeEnum : int32_t {
  CLIENT_TYPE = 1,
  OFFICE_TYPE = 2,
  OTHER_GROUPS_TYPE = 3,
};

}  // namespace orvane

#endif  // ORVANE_VOCABULARY_CLIENT_TYPE_ENUM_H_
