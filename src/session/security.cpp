#include "orvane/session/security.h"

#include <cmath>
#include <string>

#include "orvane/core/conversions.h"
#include "orvane/core/error.h"

namespace orvane {

namespace {

// The privilege number a piece of a grant list names, rounded as an index.
double piece_number(std::string_view piece) {
  return std::nearbyint(Val(piece));  // the default rounding mode: half to even
}

[[noreturn]] void ThrowOutOfRange(std::string_view what) {
  throw Error(ErrorCode::SubscriptOutOfRange,
              "privilege " + std::string(what) + " is outside 1..200");
}

}  // namespace

void CSecurity::UserHasThesePrivs(std::string_view PrivsArr) {
  if (!PrivsArr.empty()) {
    size_t start = 0;
    for (;;) {
      const size_t comma = PrivsArr.find(',', start);
      const std::string_view piece = PrivsArr.substr(
          start, comma == std::string_view::npos ? std::string_view::npos
                                                 : comma - start);
      const double number = piece_number(piece);
      if (!(number >= 1 && number <= kPrivilegeCount)) {
        ThrowOutOfRange("\"" + std::string(piece) + "\"");
      }
      m_granted[static_cast<size_t>(number)] = true;
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
  }
  m_events.Raise([](CSecurityEvents& l) { l.ExecuteSecurityPrivs(); });
}

bool CSecurity::UserHasPriv(PrivsEnum vPriv) const {
  if (vPriv == NonePriv) return true;
  if (vPriv < 0 || vPriv > kPrivilegeCount) {
    ThrowOutOfRange(std::to_string(static_cast<int32_t>(vPriv)));
  }
  return m_granted[static_cast<size_t>(vPriv)];
}

}  // namespace orvane
