#ifndef ORVANE_ACCOUNTS_ACCOUNT_TYPE_ENUM_H_
#define ORVANE_ACCOUNTS_ACCOUNT_TYPE_ENUM_H_

#include <cstdint>

namespace orvane {

// The kind of a trading account. Only normal accounts are ever liquidated.
enum AccountTypeEnum : int32_t {
  DemoAccountType = 0,
  NormalAccountType = 1,
  CoverageAccountType = 2,
};

}  // namespace orvane

#endif  // ORVANE_ACCOUNTS_ACCOUNT_TYPE_ENUM_H_
