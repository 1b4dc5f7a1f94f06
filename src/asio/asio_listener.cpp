#include "orvane/asio/asio_listener.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include "asio_connection.h"
#include "orvane/asio/asio_socket.h"
#include "orvane/core/error.h"

namespace orvane {

using asio::ip::tcp;

namespace {
constexpr int kAcceptPauseMs = 100;

int open_reserve() { return ::open("/dev/null", O_RDONLY | O_CLOEXEC); }

// The address of an accepted socket, or empty.
std::string peer_address(const sockaddr_storage& peer, socklen_t length) {
  if (length == 0) return {};
  if (peer.ss_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&peer);
    asio::ip::address_v4::bytes_type bytes;
    std::memcpy(bytes.data(), &v4->sin_addr, bytes.size());
    return asio::ip::address_v4(bytes).to_string();
  }
  if (peer.ss_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&peer);
    asio::ip::address_v6::bytes_type bytes;
    std::memcpy(bytes.data(), &v6->sin6_addr, bytes.size());
    return asio::ip::address_v6(bytes).to_string();
  }
  return {};
}

}  // namespace

// The accept loop; it outlives its listener while handlers are pending.
class AsioAcceptor : public std::enable_shared_from_this<AsioAcceptor> {
 public:
  AsioAcceptor(asio::io_context& io, std::shared_ptr<AsioTlsContext> tls,
               AsioListener* owner)
      : m_io(io),
        m_tls(std::move(tls)),
        m_acceptor(io),
        m_pause(io),
        m_owner(owner),
        m_reserve(open_reserve()) {}
  ~AsioAcceptor() {
    if (m_reserve >= 0) ::close(m_reserve);
  }
  AsioAcceptor(const AsioAcceptor&) = delete;
  AsioAcceptor& operator=(const AsioAcceptor&) = delete;

  tcp::acceptor& Acceptor() { return m_acceptor; }

  void AcceptNext() {
    if (m_owner == nullptr) return;
    auto connection = std::make_shared<AsioConnection>(m_io, m_tls);
    auto self = shared_from_this();
    m_acceptor.async_accept(
        connection->Tcp(), [self, connection](std::error_code ec) {
          if (self->m_owner == nullptr) return;
          if (ec == asio::error::operation_aborted) return;
          const bool out_of_descriptors =
              ec == asio::error::no_descriptors || ec.value() == ENFILE;
          if (out_of_descriptors && self->TakeOnReserve()) {
            return self->AcceptNext();
          }
          if (ec) return self->AcceptLater();
          self->Admit(connection);
          self->AcceptNext();
        });
  }

  // After a failed accept (out of descriptors, say) the loop pauses
  // instead of spinning.
  void AcceptLater() {
    auto self = shared_from_this();
    m_pause.expires_after(std::chrono::milliseconds(kAcceptPauseMs));
    m_pause.async_wait([self](std::error_code ec) {
      if (!ec) self->AcceptNext();
    });
  }

  // Out of descriptors: frees the reserve, takes the waiting connection on
  // it, closes it and takes the reserve back. False when there was none
  // to take (or no reserve).
  bool TakeOnReserve() {
    if (m_reserve < 0) return false;
    ::close(m_reserve);
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    const int taken = ::accept4(m_acceptor.native_handle(),
                                reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
    if (taken >= 0) ::close(taken);
    m_reserve = open_reserve();
    if (taken < 0) return false;
    m_owner->OnDropped(peer_address(peer, length),
                       "no descriptor left for it (the open file limit is reached)");
    return true;
  }

  size_t Pending() const { return m_pending; }

  void Stop() {
    m_owner = nullptr;
    m_pause.cancel();
    std::error_code ignored;
    m_acceptor.close(ignored);
  }

 private:
  // The host decides before the handshake, so that a connection counts
  // against its limits from the moment it is taken.
  void Admit(const std::shared_ptr<AsioConnection>& connection) {
    std::error_code ec;
    const tcp::endpoint remote = connection->Tcp().remote_endpoint(ec);
    const std::string address = ec ? std::string() : remote.address().to_string();
    if (!m_owner->OnAdmit(address)) {
      std::error_code ignored;
      connection->Tcp().close(ignored);
      return;
    }
    if (m_owner == nullptr) return;
    ++m_pending;
    auto self = shared_from_this();
    connection->Accept([self, connection, address](const std::string& error) {
      --self->m_pending;
      if (self->m_owner == nullptr) return;
      if (!error.empty()) return self->m_owner->OnDropped(address, error);
      auto child = std::make_shared<AsioSocket>(self->m_io, connection);
      self->m_owner->OnAccepted(child);
    });
  }

  asio::io_context& m_io;
  std::shared_ptr<AsioTlsContext> m_tls;
  tcp::acceptor m_acceptor;
  asio::steady_timer m_pause;
  AsioListener* m_owner;
  int m_reserve;         // a descriptor kept for taking a connection when none is left
  size_t m_pending = 0;  // admitted, handshake not finished
};

AsioListener::AsioListener(asio::io_context& io, const TlsOptions& tls)
    : m_io(io), m_tls(tls.enabled ? AsioTlsContext::ForServer(tls) : nullptr) {}

AsioListener::~AsioListener() { Close(); }

int32_t AsioListener::Listen(const std::string& address, int32_t port) {
  Close();
  if (port < 0 || port > 65535) {
    throw Error(ErrorCode::InvalidArgument,
                "port " + std::to_string(port) + " is outside 0..65535");
  }
  std::error_code ec;
  asio::ip::address ip = asio::ip::make_address(address, ec);
  if (ec) {
    throw Error(ErrorCode::InvalidArgument,
                "not an address to listen on: " + address);
  }
  auto acceptor = std::make_shared<AsioAcceptor>(m_io, m_tls, this);
  tcp::endpoint endpoint(ip, uint16_t(port));
  tcp::acceptor& a = acceptor->Acceptor();
  a.open(endpoint.protocol(), ec);
  if (!ec) a.set_option(tcp::acceptor::reuse_address(true), ec);
  if (!ec) a.bind(endpoint, ec);
  if (!ec) a.listen(asio::socket_base::max_listen_connections, ec);
  if (!ec) a.native_non_blocking(true, ec);
  if (ec) {
    acceptor->Stop();
    throw Error(ErrorCode::InvalidArgument, "cannot listen on " + address +
                                                ":" + std::to_string(port) +
                                                ": " + ec.message());
  }
  m_local_port = a.local_endpoint(ec).port();
  m_acceptor = acceptor;
  acceptor->AcceptNext();
  return m_local_port;
}

void AsioListener::Close() {
  if (m_acceptor) m_acceptor->Stop();
  m_acceptor.reset();
  m_local_port = 0;
}

bool AsioListener::IsListening() const { return m_acceptor != nullptr; }

size_t AsioListener::Pending() const { return m_acceptor ? m_acceptor->Pending() : 0; }

bool AsioListener::OnAdmit(const std::string& address) {
  bool admitted = true;
  m_events.Raise([&](AsioListenerEvents& l) { admitted = admitted && l.Admit(address); });
  return admitted;
}

void AsioListener::OnDropped(const std::string& address, const std::string& why) {
  m_events.Raise([&](AsioListenerEvents& l) { l.Dropped(address, why); });
}

void AsioListener::OnAccepted(const std::shared_ptr<ISocket>& child) {
  m_events.Raise([&](AsioListenerEvents& l) { l.Accepted(child); });
}

}  // namespace orvane
