#ifndef ORVANE_APPS_SERVER_TIME_OF_DAY_H_
#define ORVANE_APPS_SERVER_TIME_OF_DAY_H_

#include <cstdint>
#include <optional>
#include <string_view>

namespace orvane::apps {

// Seconds after midnight of a time of day written HH:MM:SS, 00:00:00 to
// 23:59:59; none for any other text.
inline std::optional<int32_t> parse_time_of_day(std::string_view text) {
  if (text.size() != 8 || text[2] != ':' || text[5] != ':') return std::nullopt;
  int32_t parts[3] = {0, 0, 0};
  for (size_t part = 0; part < 3; ++part) {
    const char high = text[part * 3];
    const char low = text[part * 3 + 1];
    if (high < '0' || high > '9' || low < '0' || low > '9') return std::nullopt;
    parts[part] = (high - '0') * 10 + (low - '0');
  }
  if (parts[0] > 23 || parts[1] > 59 || parts[2] > 59) return std::nullopt;
  return parts[0] * 3600 + parts[1] * 60 + parts[2];
}

}  // namespace orvane::apps

#endif  // ORVANE_APPS_SERVER_TIME_OF_DAY_H_
