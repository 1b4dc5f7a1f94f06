#ifndef ORVANE_UTIL_ACCOUNT_TRANS_TYPE_ENUM_H_
#define ORVANE_UTIL_ACCOUNT_TRANS_TYPE_ENUM_H_

// Forwarding header, kept for one release: this header moved to orvane/vocabulary/account_trans_type_enum.h.
#include "orvane/vocabulary/account_trans_type_enum.h"

#endif  // ORVANE_UTIL_ACCOUNT_TRANS_TYPE_ENUM_H_
