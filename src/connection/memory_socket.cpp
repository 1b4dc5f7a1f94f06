#include "orvane/connection/memory_socket.h"

#include "orvane/core/error.h"

namespace orvane {

namespace {

constexpr int32_t kAcceptedPeerPort = 50001;
constexpr int32_t kMaxPort = 65535;

}  // namespace

std::shared_ptr<MemorySocket> MemorySocket::Create() {
  return std::make_shared<MemorySocket>(Key{});
}

std::pair<std::shared_ptr<MemorySocket>, std::shared_ptr<MemorySocket>>
MemorySocket::CreatePair(int32_t first_port, int32_t second_port) {
  auto first = Create();
  auto second = Create();
  first->Link(second, "127.0.0.1", second_port);
  second->Link(first, "127.0.0.1", first_port);
  return {first, second};
}

MemorySocket::MemorySocket(Key) {}

MemorySocket::~MemorySocket() {
  if (auto peer = m_peer.lock()) {
    m_peer.reset();
    peer->CloseConnection();
  }
}

int32_t MemorySocket::RemotePort() const {
  return m_state == SocketConnected ? m_remote_port : 0;
}

void MemorySocket::Connect(const std::string& host, int32_t port) {
  if (m_fail_connect) {
    throw Error(ErrorCode::InvalidArgument, "connect refused by the test");
  }
  if (port < 1 || port > kMaxPort) {
    throw Error(ErrorCode::InvalidArgument,
                "remote port must lie between 1 and 65535");
  }
  if (m_state != SocketClosed) {
    throw Error(ErrorCode::InvalidArgument,
                "socket is busy: close it before connecting again");
  }
  m_connect_host = host;
  m_connect_port = port;
  ++m_connect_count;
  SetState(SocketConnecting);
}

void MemorySocket::Send(std::string_view text) {
  if (m_fail_send) {
    throw Error(ErrorCode::InvalidArgument, "send refused by the test");
  }
  auto peer = m_peer.lock();
  if (m_state != SocketConnected || !peer) {
    throw Error(ErrorCode::InvalidArgument, "socket is not connected");
  }
  m_sent.emplace_back(text);
  peer->Deliver(text);
}

std::string MemorySocket::Receive() {
  std::string out;
  out.swap(m_inbox);
  return out;
}

void MemorySocket::Close() {
  ++m_close_count;
  auto peer = m_peer.lock();
  m_peer.reset();
  CloseConnection();
  if (peer) peer->CloseConnection();
}

std::shared_ptr<MemorySocket> MemorySocket::AcceptConnect() {
  if (m_state != SocketConnecting) return nullptr;
  auto server_end = Create();
  server_end->Link(shared_from_this(), "127.0.0.1", kAcceptedPeerPort);
  Link(server_end, m_connect_host, m_connect_port);
  return server_end;
}

void MemorySocket::RefuseConnect() {
  if (m_state != SocketConnecting) return;
  SetState(SocketClosed);
}

void MemorySocket::Link(const std::shared_ptr<MemorySocket>& peer,
                        std::string address, int32_t remote_port) {
  m_peer = peer;
  m_remote_address = std::move(address);
  m_remote_port = remote_port;
  SetState(SocketConnected);
}

void MemorySocket::Deliver(std::string_view text) {
  if (text.empty()) return;
  m_inbox.append(text);
  Queue(PendingEvent{false, m_state});
}

void MemorySocket::CloseConnection() {
  m_peer.reset();
  SetState(SocketClosed);
}

void MemorySocket::SetState(SocketStateEnum state) {
  if (m_state == state) return;
  m_state = state;
  Queue(PendingEvent{true, state});
}

void MemorySocket::Queue(PendingEvent event) {
  if (!event.is_state) {
    for (const PendingEvent& pending : m_pending) {
      if (!pending.is_state) return;  // one Receive covers all unread text
    }
  }
  m_pending.push_back(event);
  Drain();
}

void MemorySocket::Drain() {
  if (m_raising) return;
  // A handler may drop the last reference to this socket.
  auto self = weak_from_this().lock();
  if (!self) {
    m_pending.clear();
    return;
  }
  m_raising = true;
  struct RaisingGuard {
    bool& raising;
    ~RaisingGuard() { raising = false; }
  } guard{m_raising};
  while (!m_pending.empty()) {
    PendingEvent event = m_pending.front();
    m_pending.pop_front();
    if (event.is_state) {
      m_events.Raise([&](ISocketEvents& l) { l.State(*this, event.state); });
    } else {
      m_events.Raise([&](ISocketEvents& l) { l.Receive(*this); });
    }
  }
}

}  // namespace orvane
