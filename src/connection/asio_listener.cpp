#include "orvane/connection/asio_listener.h"

#include <chrono>
#include <utility>

#include "asio_connection.h"
#include "orvane/connection/asio_socket.h"
#include "orvane/core/error.h"

namespace orvane {

using asio::ip::tcp;

namespace {
constexpr int kAcceptPauseMs = 100;
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
        m_owner(owner) {}

  tcp::acceptor& Acceptor() { return m_acceptor; }

  void AcceptNext() {
    if (m_owner == nullptr) return;
    auto connection = std::make_shared<AsioConnection>(m_io, m_tls);
    auto self = shared_from_this();
    m_acceptor.async_accept(
        connection->Tcp(), [self, connection](std::error_code ec) {
          if (self->m_owner == nullptr) return;
          if (ec == asio::error::operation_aborted) return;
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
    connection->Accept([self, connection](bool ok) {
      --self->m_pending;
      if (!ok || self->m_owner == nullptr) return;
      auto child = std::make_shared<AsioSocket>(self->m_io, connection);
      self->m_owner->OnAccepted(child);
    });
  }

  asio::io_context& m_io;
  std::shared_ptr<AsioTlsContext> m_tls;
  tcp::acceptor m_acceptor;
  asio::steady_timer m_pause;
  AsioListener* m_owner;
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

void AsioListener::OnAccepted(const std::shared_ptr<ISocket>& child) {
  m_events.Raise([&](AsioListenerEvents& l) { l.Accepted(child); });
}

}  // namespace orvane
