#ifndef ORVANE_APPS_MODEL_PLATFORM_H_
#define ORVANE_APPS_MODEL_PLATFORM_H_

#include <string>
#include <string_view>

#include "records.h"

namespace orvane::apps::model {

// The platform's settings as the server hands them to terminals: the
// comma-separated text CGlobalVar::SetValues takes (multi-sessions, the
// dealer's timer in the position the library carries unread, the re-quote
// timer, lot decimals, customised trade messages (0), the connect and
// timeout timers, no web security ID, the server's hours from GMT).
std::string platform_text(const Platform& platform);

// Reads such a text back as CGlobalVar reads it; what a short text does not
// reach keeps its default.
Platform platform_from_text(std::string_view text);

}  // namespace orvane::apps::model

#endif  // ORVANE_APPS_MODEL_PLATFORM_H_
