#ifndef ORVANE_CORE_ERROR_H_
#define ORVANE_CORE_ERROR_H_

#include <stdexcept>
#include <string>

namespace orvane {

// What went wrong, carried by every Error.
enum class ErrorCode {
  TypeMismatch,         // a text that is no number where one is required
  Overflow,             // a number outside the range of its integer type
  SubscriptOutOfRange,  // a range or index error
  DuplicateKey,         // Add of a key a collection already holds
  ObjectRequired,       // a missing reference
  InvalidArgument,      // an argument the operation cannot accept
  FileError,            // a file that is missing or cannot be read or written
};

// The one error type the library throws where a failure reaches the caller.
class Error : public std::runtime_error {
 public:
  // An error of kind `code`; what() returns `message`.
  Error(ErrorCode code, const std::string& message)
      : std::runtime_error(message), m_code(code) {}

  // The kind of error.
  ErrorCode code() const noexcept { return m_code; }

 private:
  ErrorCode m_code;
};

}  // namespace orvane

#endif  // ORVANE_CORE_ERROR_H_
