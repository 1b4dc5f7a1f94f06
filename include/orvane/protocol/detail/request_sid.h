#ifndef ORVANE_PROTOCOL_DETAIL_REQUEST_SID_H_
#define ORVANE_PROTOCOL_DETAIL_REQUEST_SID_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "orvane/protocol/detail/token_table.h"

namespace orvane::detail {

// The SID of a received request, as CDataProtocol::RequestSID reads it, for
// a message whose head was read already. With a known token the markers are
// searched only behind the head, where the first of them must stand. Throws
// Error(Overflow) when the number does not fit in 32 bits.
int32_t ReadRequestSid(std::string_view cmd, const MessageHead& head);
// The same for a message with a known token whose first SID end marker
// behind the head was found already: at `sid_end`, npos when there is none.
int32_t ReadRequestSid(std::string_view cmd, const MessageHead& head, size_t sid_end);

}  // namespace orvane::detail

#endif  // ORVANE_PROTOCOL_DETAIL_REQUEST_SID_H_
