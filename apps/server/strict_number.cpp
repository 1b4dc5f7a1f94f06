#include "strict_number.h"

#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string>
#include <system_error>

namespace orvane::apps {

namespace {

[[noreturn]] void refuse(std::string_view name, std::string_view what, std::string_view text) {
  throw std::invalid_argument(std::string(name) + " takes " + std::string(what) + ", not '" +
                              std::string(text) + "'");
}

// The shortest text that reads back as the same number, without exponent.
std::string shortest(double value) {
  char text[512];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  return std::string(text, result.ptr);
}

// The whole text as a T; false when it is not one (or does not fit).
template <typename T>
bool whole(std::string_view text, T& value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && stop == end;
}

}  // namespace

int64_t StrictNumber::integer(std::string_view name, std::string_view text, int64_t min,
                              int64_t max) {
  int64_t value = 0;
  if (!whole(text, value) || value < min || value > max) {
    refuse(name, "a whole number from " + std::to_string(min) + " to " + std::to_string(max), text);
  }
  return value;
}

uint64_t StrictNumber::unsigned_number(std::string_view name, std::string_view text, uint64_t max) {
  uint64_t value = 0;
  if (!whole(text, value) || value > max) {
    refuse(name, "a whole number from 0 to " + std::to_string(max), text);
  }
  return value;
}

double StrictNumber::real(std::string_view name, std::string_view text, double min, double max) {
  double value = 0;
  if (!whole(text, value) || !std::isfinite(value) || value < min || value > max) {
    refuse(name, "a number from " + shortest(min) + " to " + shortest(max), text);
  }
  return value;
}

}  // namespace orvane::apps
