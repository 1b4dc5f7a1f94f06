#include "market_time.h"

#include <charconv>
#include <cstdint>

namespace orvane::apps::model {

namespace {

bool digits(std::string_view text, int32_t& value) {
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc();
}

}  // namespace

bool read_time(std::string_view text, DateTime& time) {
  if (text.size() != 19 || text[2] != '/' || text[5] != '/' || text[10] != ' ' ||
      text[13] != ':' || text[16] != ':') {
    return false;
  }
  int32_t day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
  if (!digits(text.substr(0, 2), day) || !digits(text.substr(3, 2), month) ||
      !digits(text.substr(6, 4), year) || !digits(text.substr(11, 2), hour) ||
      !digits(text.substr(14, 2), minute) || !digits(text.substr(17, 2), second)) {
    return false;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || year < 1900 || hour > 23 ||
      minute > 59 || second > 59) {
    return false;
  }
  const DateTime read = DateTime::FromParts(year, month, day, hour, minute, second);
  if (read.Day() != day) return false;
  time = read;
  return true;
}

}  // namespace orvane::apps::model
