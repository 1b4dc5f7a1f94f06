#ifndef ORVANE_TESTS_SUPPORT_ERRORS_H_
#define ORVANE_TESTS_SUPPORT_ERRORS_H_

// Checks of the orvane::Error an action raises.

#include <gtest/gtest.h>

#include <string>

#include "orvane/core/error.h"

namespace orvane::test {

struct RaisedError {
  ErrorCode code;
  std::string what;
};

// Runs `action` and returns the orvane::Error it raised. When it raises
// none, the test fails here and the result holds InvalidArgument and no text.
template <typename Action>
RaisedError ErrorOf(Action&& action) {
  try {
    action();
  } catch (const Error& e) {
    return {e.code(), e.what()};
  }
  ADD_FAILURE() << "no orvane::Error was raised";
  return {ErrorCode::InvalidArgument, ""};
}

// Passes when `action` throws an orvane::Error with exactly `code`.
template <typename Action>
::testing::AssertionResult Throws(ErrorCode code, Action&& action) {
  try {
    action();
  } catch (const Error& e) {
    if (e.code() == code) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "another error code: " << e.what();
  }
  return ::testing::AssertionFailure() << "no error";
}

}  // namespace orvane::test

#endif  // ORVANE_TESTS_SUPPORT_ERRORS_H_
