#ifndef ORVANE_APPS_SERVER_STRICT_NUMBER_H_
#define ORVANE_APPS_SERVER_STRICT_NUMBER_H_

#include <cstdint>
#include <limits>
#include <string_view>

namespace orvane::apps {

// Reads the numeric options of the hosts (command line and configuration
// file). The whole text must be one decimal number within [min, max]: no
// blanks, no sign on an unsigned number, nothing after it, no NaN and no
// infinity. Anything else throws std::invalid_argument, its text naming the
// option, the range and the text given ("--rate takes a number from 0.001
// to 1000000, not 'nan'").
class StrictNumber {
 public:
  static int64_t integer(std::string_view name, std::string_view text, int64_t min, int64_t max);
  static uint64_t unsigned_number(std::string_view name, std::string_view text,
                           uint64_t max = std::numeric_limits<uint64_t>::max());
  static double real(std::string_view name, std::string_view text, double min, double max);
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_SERVER_STRICT_NUMBER_H_
