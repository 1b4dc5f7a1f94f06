#include "orvane/io/socket.h"

namespace orvane {

std::string_view ISocket::ReceiveView() {
  m_lent = Receive();
  return m_lent;
}

}  // namespace orvane
