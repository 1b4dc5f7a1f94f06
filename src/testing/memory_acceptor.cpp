#include "orvane/testing/memory_acceptor.h"

#include <utility>

#include "orvane/core/error.h"

namespace orvane {

MemoryAcceptor::MemoryAcceptor(std::shared_ptr<MemoryNetwork> network)
    : m_network(std::move(network)) {
  if (!m_network) {
    throw Error(ErrorCode::ObjectRequired, "a memory acceptor needs a network");
  }
}

MemoryAcceptor::~MemoryAcceptor() { Close(); }

int32_t MemoryAcceptor::Listen(const std::string& address, int32_t port) {
  Close();
  m_local_port = m_network->Bind(this, address, port);
  m_local_address = address;
  return m_local_port;
}

void MemoryAcceptor::Close() {
  if (m_local_port == 0) return;
  m_network->Unbind(this, m_local_port);
  m_local_port = 0;
  m_local_address.clear();
}

void MemoryAcceptor::Offer(const std::shared_ptr<MemorySocket>& child) {
  const std::string address = child->RemoteAddress();
  bool admitted = true;
  m_events.Raise([&](IAcceptorEvents& l) { admitted = admitted && l.Admit(address); });
  if (!admitted) {
    child->Close();
    return;
  }
  ++m_accepted;
  const std::shared_ptr<ISocket> socket = child;
  m_events.Raise([&](IAcceptorEvents& l) { l.Accepted(socket); });
}

}  // namespace orvane
