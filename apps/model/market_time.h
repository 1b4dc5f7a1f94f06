#ifndef ORVANE_APPS_MODEL_MARKET_TIME_H_
#define ORVANE_APPS_MODEL_MARKET_TIME_H_

#include <string_view>

#include "orvane/core/date_time.h"

namespace orvane::apps::model {

// Reads a market time dd/mm/yyyy hh:nn:ss, the form every quote, position
// and order carries; false (time untouched) for any other text or a date
// that does not exist.
bool read_time(std::string_view text, DateTime& time);

}  // namespace orvane::apps::model

#endif  // ORVANE_APPS_MODEL_MARKET_TIME_H_
