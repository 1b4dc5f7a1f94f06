#include "orvane/protocol/detail/attached_sid.h"

#include <memory>

#include "orvane/io/socket.h"
#include "orvane/session/session.h"

namespace orvane::detail {

std::optional<int32_t> AttachedSid(const ISocket& socket) {
  const auto session = std::dynamic_pointer_cast<CSession>(socket.Session());
  if (!session) return std::nullopt;
  return session->sid();
}

}  // namespace orvane::detail
