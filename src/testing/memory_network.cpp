#include "orvane/testing/memory_network.h"

#include <utility>

#include "orvane/core/error.h"
#include "orvane/testing/memory_acceptor.h"

namespace orvane {

namespace {

constexpr int32_t kFirstFreePort = 40000;
constexpr int32_t kFirstPeerPort = 50001;
constexpr int32_t kMaxPort = 65535;

bool is_wildcard(const std::string& address) {
  return address == "0.0.0.0" || address == "::";
}

}  // namespace

std::shared_ptr<MemoryNetwork> MemoryNetwork::Create(
    std::shared_ptr<VirtualTimeScheduler> loop, bool deferred_delivery) {
  return std::make_shared<MemoryNetwork>(Key{}, std::move(loop),
                                         deferred_delivery);
}

MemoryNetwork::MemoryNetwork(Key, std::shared_ptr<VirtualTimeScheduler> loop,
                             bool deferred_delivery)
    : m_loop(std::move(loop)),
      m_deferred_delivery(deferred_delivery),
      m_next_free_port(kFirstFreePort),
      m_next_peer_port(kFirstPeerPort) {
  if (!m_loop) {
    throw Error(ErrorCode::ObjectRequired, "a memory network needs a loop");
  }
}

MemoryNetwork::~MemoryNetwork() = default;

std::shared_ptr<MemorySocket> MemoryNetwork::CreateSocket() {
  std::shared_ptr<MemorySocket> socket = MemorySocket::Create();
  socket->m_network = shared_from_this();
  if (m_deferred_delivery) socket->DeferDelivery(m_loop);
  return socket;
}

TcpClientEnvironment MemoryNetwork::Environment() {
  return TcpClientEnvironment{CreateSocket(), m_loop, nullptr};
}

int32_t MemoryNetwork::Bind(MemoryAcceptor* acceptor,
                            const std::string& address, int32_t port) {
  if (address.empty()) {
    throw Error(ErrorCode::InvalidArgument, "no address to listen on");
  }
  if (port < 0 || port > kMaxPort) {
    throw Error(ErrorCode::InvalidArgument,
                "port " + std::to_string(port) + " is outside 0..65535");
  }
  if (port == 0) {
    while (m_listening.contains(m_next_free_port)) ++m_next_free_port;
    port = m_next_free_port++;
  } else if (m_listening.contains(port)) {
    throw Error(ErrorCode::InvalidArgument,
                "cannot listen on " + address + ":" + std::to_string(port) +
                    ": the port is in use");
  }
  m_listening[port] = acceptor;
  return port;
}

void MemoryNetwork::Unbind(MemoryAcceptor* acceptor, int32_t port) {
  auto it = m_listening.find(port);
  if (it != m_listening.end() && it->second == acceptor) m_listening.erase(it);
}

MemoryAcceptor* MemoryNetwork::Find(const std::string& host,
                                    int32_t port) const {
  auto it = m_listening.find(port);
  if (it == m_listening.end()) return nullptr;
  const std::string& address = it->second->LocalAddress();
  return address == host || is_wildcard(address) ? it->second : nullptr;
}

void MemoryNetwork::StartConnect(const std::shared_ptr<MemorySocket>& client,
                                 int attempt, const std::string& host,
                                 int32_t port) {
  m_loop->Post([network = weak_from_this(),
                socket = std::weak_ptr<MemorySocket>(client), attempt, host,
                port] {
    auto self = network.lock();
    auto client = socket.lock();
    if (!self || !client || client->State() != SocketConnecting ||
        client->ConnectCount() != attempt) {
      return;  // closed, or connecting again, in the meantime
    }
    self->Complete(client, host, port);
  });
}

// The server's end holds its events until Accepted has returned, so that
// whatever the client sends from its own connected event waits for the
// listener the host advises there.
void MemoryNetwork::Complete(const std::shared_ptr<MemorySocket>& client,
                             const std::string& host, int32_t port) {
  if (Find(host, port) == nullptr) return client->RefuseConnect();
  std::shared_ptr<MemorySocket> server = MemorySocket::Create();
  if (m_deferred_delivery) server->DeferDelivery(m_loop);
  auto link = std::make_shared<MemorySocket::Link>();
  server->m_raising = true;
  server->Join(client, link, "127.0.0.1", m_next_peer_port++);
  server->m_pending.clear();
  if (m_next_peer_port > kMaxPort) m_next_peer_port = kFirstPeerPort;
  client->Join(server, link, host, port);
  if (MemoryAcceptor* acceptor = Find(host, port)) {
    acceptor->Offer(server);
  } else {
    server->Close();  // the acceptor went away meanwhile
  }
  server->m_raising = false;
  server->Drain();
}

}  // namespace orvane
