#ifndef ORVANE_PROTOCOL_DETAIL_ATTACHED_SID_H_
#define ORVANE_PROTOCOL_DETAIL_ATTACHED_SID_H_

#include <cstdint>
#include <optional>

namespace orvane {
class ISocket;
}

namespace orvane::detail {

// The sid of the session attached to a connection, or nothing when no
// session is attached (or the attached object is no session).
std::optional<int32_t> AttachedSid(const ISocket& socket);

}  // namespace orvane::detail

#endif  // ORVANE_PROTOCOL_DETAIL_ATTACHED_SID_H_
