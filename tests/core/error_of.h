#ifndef ORVANE_TESTS_CORE_ERROR_OF_H_
#define ORVANE_TESTS_CORE_ERROR_OF_H_

// The error an action raises, for tests that pin its code and its text.

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

}  // namespace orvane::test

#endif  // ORVANE_TESTS_CORE_ERROR_OF_H_
