#include "orvane/testing/memory_socket.h"

#include "orvane/core/error.h"
#include "orvane/testing/memory_network.h"

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
  auto link = std::make_shared<Link>();
  first->Join(second, link, "127.0.0.1", second_port);
  second->Join(first, link, "127.0.0.1", first_port);
  return {first, second};
}

MemorySocket::MemorySocket(Key) {}

MemorySocket::~MemorySocket() {
  auto peer = m_peer.lock();
  if (peer && peer->m_link == m_link) ClosePeer(peer);
}

int32_t MemorySocket::RemotePort() const {
  return m_state == SocketConnected ? m_remote_port : 0;
}

bool MemorySocket::Blocked() const {
  return m_blocked || UnsentBytes() > m_blocked_threshold;
}

// Text still on its way after a close is no longer this socket's.
size_t MemorySocket::UnsentBytes() const {
  if (m_state != SocketConnected) return 0;
  size_t unsent = m_in_flight;
  auto peer = m_peer.lock();
  if (peer && peer->m_link == m_link) unsent += peer->m_held_back.size();
  return unsent;
}

void MemorySocket::ResumeReading() {
  m_reading = true;
  if (m_held_back.empty()) return;
  m_inbox.append(m_held_back);
  m_held_back.clear();
  Queue(PendingEvent{false, m_state});
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
  if (m_network) {
    m_network->StartConnect(shared_from_this(), m_connect_count, host, port);
  }
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
  if (!m_loop) {
    if (peer->m_link == m_link) peer->Deliver(text);
    return;
  }
  if (text.empty()) return;
  m_in_flight += text.size();
  m_loop->Post([sender = weak_from_this(), target = m_peer, link = m_link,
                data = std::string(text)] {
    if (auto self = sender.lock()) self->m_in_flight -= data.size();
    auto peer = target.lock();
    if (peer && peer->m_link == link) peer->Deliver(data);
  });
}

std::string MemorySocket::Receive() {
  std::string out;
  out.swap(m_inbox);
  return out;
}

void MemorySocket::Close() {
  ++m_close_count;
  auto peer = m_peer.lock();
  std::shared_ptr<Link> link = m_link;
  m_peer.reset();
  CloseConnection();
  if (peer && peer->m_link == link) ClosePeer(peer);
}

// With deferred delivery the close follows the text already on its way.
void MemorySocket::ClosePeer(const std::shared_ptr<MemorySocket>& peer) {
  if (!m_loop) return peer->CloseConnection();
  m_loop->Post(
      [target = std::weak_ptr<MemorySocket>(peer), link = peer->m_link] {
        auto end = target.lock();
        if (end && end->m_link == link) end->CloseConnection();
      });
}

std::shared_ptr<MemorySocket> MemorySocket::AcceptConnect() {
  if (m_state != SocketConnecting) return nullptr;
  auto server_end = Create();
  auto link = std::make_shared<Link>();
  server_end->Join(shared_from_this(), link, "127.0.0.1", kAcceptedPeerPort);
  Join(server_end, link, m_connect_host, m_connect_port);
  return server_end;
}

void MemorySocket::RefuseConnect() {
  if (m_state != SocketConnecting) return;
  SetState(SocketClosed);
}

void MemorySocket::Join(const std::shared_ptr<MemorySocket>& peer,
                        const std::shared_ptr<Link>& link, std::string address,
                        int32_t remote_port) {
  m_peer = peer;
  m_link = link;
  m_remote_address = std::move(address);
  m_remote_port = remote_port;
  SetState(SocketConnected);
}

void MemorySocket::Deliver(std::string_view text) {
  if (text.empty()) return;
  if (!m_reading) {
    m_held_back.append(text);
    return;
  }
  m_inbox.append(text);
  Queue(PendingEvent{false, m_state});
}

void MemorySocket::CloseConnection() {
  m_peer.reset();
  m_link.reset();
  m_held_back.clear();
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
