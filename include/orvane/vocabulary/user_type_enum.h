#ifndef ORVANE_VOCABULARY_USER_TYPE_ENUM_H_
#define ORVANE_VOCABULARY_USER_TYPE_ENUM_H_

#include <cstdint>

namespace orvane {

// The kind of user behind a server session.
enum UserTypeEnum : int32_t {
  DEALER_USER_TYPE = 1,
  CLIENT_USER_TYPE = 2,
  DEMO_CLIENT_USER_TYPE = 3,
  TICK_ORDERS_LIQ_TYPE = 4,
  WEB_SERVER_TYPE = 5,
  HISTORY_CLIENT_USER_TYPE = 6,
};

}  // namespace orvane

#endif  // ORVANE_VOCABULARY_USER_TYPE_ENUM_H_
