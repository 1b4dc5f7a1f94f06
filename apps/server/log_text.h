#ifndef ORVANE_APPS_SERVER_LOG_TEXT_H_
#define ORVANE_APPS_SERVER_LOG_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace orvane::apps {

// Text a peer chose (a user name, a token's text) as it may stand in a log
// line: printable ASCII stays, every other byte (control characters,
// newlines, ESC, DEL, the bytes of non-ASCII characters) and the backslash
// itself are written \xNN, so that a line can neither be split nor drive a
// terminal. Text longer than `max_chars` is cut there and ends in "...".
std::string log_text(std::string_view text, size_t max_chars = 64);

}  // namespace orvane::apps

#endif  // ORVANE_APPS_SERVER_LOG_TEXT_H_
