#include "orvane/core/keyed_collection.h"

namespace orvane {

std::string KeyOf(int64_t id) { return std::to_string(id); }

}  // namespace orvane
