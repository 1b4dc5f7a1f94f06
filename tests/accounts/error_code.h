#ifndef ORVANE_TESTS_ACCOUNTS_ERROR_CODE_H_
#define ORVANE_TESTS_ACCOUNTS_ERROR_CODE_H_

// Passes when `call` throws an orvane::Error with exactly `code`.

#include <gtest/gtest.h>

#include "orvane/core/error.h"

namespace orvane::testing_errors {

template <typename Call>
::testing::AssertionResult Throws(ErrorCode code, Call&& call) {
  try {
    call();
  } catch (const Error& e) {
    if (e.code() == code) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "another error code: " << e.what();
  }
  return ::testing::AssertionFailure() << "no error";
}

}  // namespace orvane::testing_errors

#endif  // ORVANE_TESTS_ACCOUNTS_ERROR_CODE_H_
