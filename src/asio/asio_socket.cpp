#include "orvane/asio/asio_socket.h"

#include <openssl/bio.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <sys/socket.h>
#include <sys/uio.h>

#include <chrono>
#include <climits>
#include <string>
#include <utility>

#include "asio_connection.h"
#include "orvane/core/error.h"

namespace orvane {
namespace {

using asio::ip::tcp;

constexpr size_t kReadBufferBytes = 64 * 1024;

bool is_address_literal(const std::string& host) {
  std::error_code ec;
  asio::ip::make_address(host, ec);
  return !ec;
}

std::string describe(std::error_code ec) {
  if (ec == asio::error::eof) return "connection closed by the peer";
  return ec.message();
}

// Both ends refuse SSL and TLS before 1.2.
void allow_tls12_and_later(asio::ssl::context& context) {
  context.set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                      asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                      asio::ssl::context::no_tlsv1_1);
}

}  // namespace

// --- TLS contexts ---------------------------------------------------------

std::shared_ptr<AsioTlsContext> AsioTlsContext::ForClient(
    const TlsOptions& options) {
  auto tls = std::make_shared<AsioTlsContext>(asio::ssl::context::tls_client);
  auto& context = tls->Context();
  allow_tls12_and_later(context);
  std::error_code ec;
  if (options.ca_file.empty()) {
    context.set_default_verify_paths(ec);
  } else {
    context.load_verify_file(options.ca_file, ec);
  }
  if (ec) {
    throw Error(ErrorCode::FileError,
                "cannot load trusted certificates" +
                    (options.ca_file.empty() ? std::string()
                                             : " from " + options.ca_file) +
                    ": " + ec.message());
  }
  context.set_verify_mode(asio::ssl::verify_peer);
  return tls;
}

namespace {

std::string time_text(const ASN1_TIME* time) {
  BIO* bio = BIO_new(BIO_s_mem());
  if (bio == nullptr) return "?";
  ASN1_TIME_print(bio, time);
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio, &data);
  std::string text(data, static_cast<size_t>(size > 0 ? size : 0));
  BIO_free(bio);
  return text;
}

// A certificate that has expired, or is not valid yet, would fail every
// handshake: refused when the server starts instead.
void check_valid_now(asio::ssl::context& context, const std::string& file) {
  const X509* certificate = SSL_CTX_get0_certificate(context.native_handle());
  if (certificate == nullptr) return;
  const ASN1_TIME* not_before = X509_get0_notBefore(certificate);
  const ASN1_TIME* not_after = X509_get0_notAfter(certificate);
  if (X509_cmp_current_time(not_before) >= 0) {
    throw Error(ErrorCode::FileError, "the server certificate " + file +
                                          " is not valid before " + time_text(not_before));
  }
  if (X509_cmp_current_time(not_after) <= 0) {
    throw Error(ErrorCode::FileError,
                "the server certificate " + file + " expired on " + time_text(not_after));
  }
}

}  // namespace

std::shared_ptr<AsioTlsContext> AsioTlsContext::ForServer(
    const TlsOptions& options) {
  auto tls = std::make_shared<AsioTlsContext>(asio::ssl::context::tls_server);
  auto& context = tls->Context();
  allow_tls12_and_later(context);
  std::error_code ec;
  context.use_certificate_chain_file(options.certificate_file, ec);
  if (!ec) {
    context.use_private_key_file(options.private_key_file,
                                 asio::ssl::context::pem, ec);
  }
  if (ec) {
    throw Error(ErrorCode::FileError,
                "cannot load the server certificate " +
                    options.certificate_file + " or key " +
                    options.private_key_file + ": " + ec.message());
  }
  check_valid_now(context, options.certificate_file);
  // An idle connection gives its OpenSSL buffers back.
  SSL_CTX_set_mode(context.native_handle(), SSL_MODE_RELEASE_BUFFERS);
  tls->m_handshake_timeout_ms = options.handshake_timeout_ms;
  return tls;
}

// --- AsioConnection -------------------------------------------------------

AsioConnection::AsioConnection(asio::io_context& io,
                               std::shared_ptr<AsioTlsContext> tls)
    : m_io(io), m_turn(asio::use_service<AsioWriteTurn>(io)), m_tls(std::move(tls)), m_resolver(io) {
  if (m_tls) {
    m_secure.emplace(tcp::socket(io), m_tls->Context());
  } else {
    m_plain.emplace(io);
  }
}

tcp::socket& AsioConnection::Tcp() {
  return m_secure ? m_secure->next_layer() : *m_plain;
}

template <typename F>
void AsioConnection::WithStream(F&& f) {
  if (m_secure) {
    f(*m_secure);
  } else {
    f(*m_plain);
  }
}

void AsioConnection::Start(const std::string& host, uint16_t port,
                           const SocketProxy& proxy,
                           const std::string& server_name, bool no_delay) {
  m_through_proxy = proxy.kind != SocketNoProxy;
  m_target_host = host;
  m_target_port = port;
  auto self = shared_from_this();
  ConnectThrough(
      m_resolver, Tcp(), proxy, host, port, no_delay,
      [self, server_name](const std::string& error, std::string leftover) {
        if (self->m_closed) return;
        if (!error.empty()) return self->Fail(error);
        if (!self->m_secure) return self->Established(std::move(leftover));
        std::string name = server_name.empty() ? self->m_target_host
                                               : server_name;
        if (!is_address_literal(name)) {
          SSL_set_tlsext_host_name(self->m_secure->native_handle(),
                                   name.c_str());
        }
        self->m_secure->set_verify_callback(
            asio::ssl::host_name_verification(name));
        self->m_secure->async_handshake(
            asio::ssl::stream_base::client, [self](std::error_code ec) {
              if (self->m_closed) return;
              if (ec) return self->Fail("TLS handshake failed: " + ec.message());
              self->Established("");
            });
      });
}

void AsioConnection::Accept(std::function<void(const std::string& error)> done) {
  if (!m_secure) {
    m_established = true;
    return done({});
  }
  auto self = shared_from_this();
  // A client that never finishes its handshake is cut after a while.
  const int32_t timeout_ms = m_tls->HandshakeTimeoutMs();
  m_deadline.emplace(m_io, std::chrono::milliseconds(timeout_ms));
  m_deadline->async_wait([self](std::error_code ec) {
    if (!ec) self->CloseNow();
  });
  m_secure->async_handshake(
      asio::ssl::stream_base::server,
      [self, timeout_ms, done = std::move(done)](std::error_code ec) {
        self->m_deadline->cancel();
        if (self->m_closed) {
          return done("TLS handshake not finished within " + std::to_string(timeout_ms) +
                      " ms");
        }
        if (ec) {
          self->CloseNow();
          return done("TLS handshake failed: " + ec.message());
        }
        self->m_established = true;
        done({});
      });
}

void AsioConnection::Established(std::string leftover) {
  m_established = true;
  if (m_owner == nullptr) return CloseNow();
  std::string address = m_target_host;
  int32_t port = m_target_port;
  if (!m_through_proxy) {
    std::error_code ec;
    tcp::endpoint remote = Tcp().remote_endpoint(ec);
    if (!ec) {
      address = remote.address().to_string();
      port = remote.port();
    }
  }
  m_owner->OnEstablished(address, port, std::move(leftover));
  StartReading();
}

void AsioConnection::StartReading() {
  if (m_owner == nullptr || m_closed) return;
  if (!m_read_buffer) m_read_buffer.reset(new char[kReadBufferBytes]);
  auto self = shared_from_this();
  WithStream([&](auto& stream) {
    stream.async_read_some(
        asio::buffer(m_read_buffer.get(), kReadBufferBytes),
        [self](std::error_code ec, size_t size) {
          if (self->m_owner == nullptr || self->m_closed) return;
          if (size > 0) {
            self->m_owner->OnData(self->m_read_buffer.get(), size);
            if (self->m_owner == nullptr) return;
          }
          if (ec) return self->Fail(describe(ec));
          self->StartReading();
        });
  });
}

void AsioConnection::Batch::Clear() {
  pieces.clear();
  copies.clear();
  bytes = 0;
}

void AsioConnection::Write(std::string_view text) {
  if (text.empty()) return;
  Batch::Piece* last = m_pending.empty() ? nullptr : &m_pending.pieces.back();
  if (last != nullptr && !last->shared) {
    last->size += text.size();
  } else {
    m_pending.pieces.push_back({nullptr, m_pending.copies.size(), text.size()});
  }
  m_pending.copies.append(text);
  m_pending.bytes += text.size();
  Queued();
}

void AsioConnection::Write(const std::shared_ptr<const std::string>& text) {
  if (text->empty()) return;
  m_pending.pieces.push_back({text, 0, text->size()});
  m_pending.bytes += text->size();
  Queued();
}

void AsioConnection::Queued() {
  if (m_write_active || m_flush_queued) return;
  m_flush_queued = true;
  m_turn.Add(shared_from_this());
}

void AsioConnection::Flush() {
  m_flush_queued = false;
  if (!m_write_active) StartWrite();
}

namespace {

// A span of buffers that Asio's composed write copies as two pointers.
struct BufferSpan {
  using value_type = asio::const_buffer;
  using const_iterator = const asio::const_buffer*;
  const asio::const_buffer* first;
  const asio::const_buffer* last;
  const_iterator begin() const { return first; }
  const_iterator end() const { return last; }
};

}  // namespace

void AsioConnection::StartWrite() {
  if (m_closed || m_pending.empty()) return;
  std::swap(m_writing, m_pending);
  m_pending.Clear();
  m_buffers.clear();
  if (m_secure) {
    // TLS seals what it is given one buffer at a time: one buffer, one record.
    if (m_writing.pieces.size() > 1 || m_writing.pieces.front().shared) {
      std::string whole;
      whole.reserve(m_writing.bytes);
      for (const Batch::Piece& piece : m_writing.pieces) {
        whole.append(piece.shared ? *piece.shared : m_writing.copies, piece.begin, piece.size);
      }
      m_writing.copies.swap(whole);
    }
    m_buffers.emplace_back(m_writing.copies.data(), m_writing.copies.size());
  } else {
    for (const Batch::Piece& piece : m_writing.pieces) {
      const char* data = piece.shared ? piece.shared->data() : m_writing.copies.data();
      m_buffers.emplace_back(data + piece.begin, piece.size);
    }
  }
  m_write_active = true;
  size_t first = 0;
  if (!m_secure) {
    // Asio's composed write gathers at most 16 buffers a call; the kernel
    // takes up to IOV_MAX. Only what it does not take now waits for Asio.
    size_t written = WriteNow();
    if (written == m_writing.bytes) return Written();
    while (written >= m_buffers[first].size()) written -= m_buffers[first++].size();
    m_buffers[first] += written;
  }
  auto self = shared_from_this();
  const BufferSpan buffers{m_buffers.data() + first, m_buffers.data() + m_buffers.size()};
  WithStream([&](auto& stream) {
    asio::async_write(stream, buffers, [self](std::error_code ec, size_t) {
      if (self->m_closed) {
        self->m_write_active = false;
        self->m_writing.Clear();
        return;
      }
      if (ec) {
        self->m_write_active = false;
        self->m_writing.Clear();
        self->m_pending.Clear();
        return self->Fail(describe(ec));
      }
      self->Written();
      if (!self->m_write_active && self->m_owner == nullptr) self->CloseNow();
    });
  });
}

size_t AsioConnection::WriteNow() {
  m_iovecs.clear();
  for (const asio::const_buffer& buffer : m_buffers) {
    if (m_iovecs.size() == IOV_MAX) break;
    m_iovecs.push_back({const_cast<void*>(buffer.data()), buffer.size()});
  }
  msghdr message{};
  message.msg_iov = m_iovecs.data();
  message.msg_iovlen = m_iovecs.size();
  const ssize_t written = ::sendmsg(Tcp().native_handle(), &message, MSG_NOSIGNAL | MSG_DONTWAIT);
  // An error is left for the composed write to meet and report.
  return written > 0 ? static_cast<size_t>(written) : 0;
}

// The batch under way has gone; what was queued meanwhile follows.
void AsioConnection::Written() {
  m_write_active = false;
  m_writing.Clear();
  if (!m_pending.empty()) StartWrite();
}

void AsioConnection::SetNoDelay(bool value) {
  std::error_code ignored;
  Tcp().set_option(tcp::no_delay(value), ignored);
}

void AsioConnection::Detach(int32_t linger_seconds) {
  m_owner = nullptr;
  m_resolver.cancel();
  // What the owner queued in this turn starts to leave before the close.
  if (!m_write_active) StartWrite();
  bool unsent = m_write_active || !m_pending.empty();
  if (!m_established || !unsent || linger_seconds <= 0) return CloseNow();
  m_deadline.emplace(m_io, std::chrono::seconds(linger_seconds));
  auto self = shared_from_this();
  m_deadline->async_wait([self](std::error_code) { self->CloseNow(); });
}

void AsioConnection::Fail(const std::string& reason) {
  AsioSocket* owner = m_owner;
  m_owner = nullptr;
  CloseNow();
  if (owner != nullptr) owner->OnFailed(reason);
}

void AsioConnection::CloseNow() {
  if (m_closed) return;
  m_closed = true;
  m_resolver.cancel();
  std::error_code ignored;
  Tcp().shutdown(tcp::socket::shutdown_both, ignored);
  Tcp().close(ignored);
  if (m_deadline) m_deadline->cancel();
  m_pending.Clear();
}

// --- AsioWriteTurn --------------------------------------------------------

asio::execution_context::id AsioWriteTurn::id;

AsioWriteTurn::AsioWriteTurn(asio::io_context& io)
    : asio::execution_context::service(io), m_io(io) {}

void AsioWriteTurn::Add(std::shared_ptr<AsioConnection> connection) {
  if (m_queued.empty()) asio::post(m_io, [this] { FlushAll(); });
  m_queued.push_back(std::move(connection));
}

void AsioWriteTurn::FlushAll() {
  m_flushing.swap(m_queued);
  for (const auto& connection : m_flushing) connection->Flush();
  m_flushing.clear();
}

void AsioWriteTurn::shutdown() {
  m_queued.clear();
  m_flushing.clear();
}

// --- AsioSocket -----------------------------------------------------------

AsioSocket::AsioSocket(asio::io_context& io, const TlsOptions& tls)
    : m_io(io),
      m_tls(tls.enabled ? AsioTlsContext::ForClient(tls) : nullptr),
      m_server_name(tls.server_name),
      m_alive(std::make_shared<bool>(true)) {}

AsioSocket::AsioSocket(asio::io_context& io,
                       std::shared_ptr<AsioConnection> accepted)
    : m_io(io),
      m_connection(std::move(accepted)),
      m_state(SocketConnected),
      m_alive(std::make_shared<bool>(true)) {
  std::error_code ec;
  tcp::endpoint remote = m_connection->Tcp().remote_endpoint(ec);
  if (!ec) {
    m_remote_address = remote.address().to_string();
    m_remote_port = remote.port();
  }
  m_connection->Attach(this);
  m_connection->StartReading();
}

AsioSocket::~AsioSocket() {
  *m_alive = false;
  Detach();
}

int32_t AsioSocket::RemotePort() const {
  return m_state == SocketConnected ? m_remote_port : 0;
}

bool AsioSocket::Blocked() const { return UnsentBytes() > kBlockedBytes; }

size_t AsioSocket::UnsentBytes() const {
  return m_connection ? m_connection->Unsent() : 0;
}

void AsioSocket::Connect(const std::string& host, int32_t port) {
  if (m_state != SocketClosed) {
    throw Error(ErrorCode::InvalidArgument,
                "the socket is already connected or connecting");
  }
  if (port < 1 || port > 65535) {
    throw Error(ErrorCode::InvalidArgument,
                "port " + std::to_string(port) + " is outside 1..65535");
  }
  if (host.empty()) {
    throw Error(ErrorCode::InvalidArgument, "no host to connect to");
  }
  if (m_proxy.kind != SocketNoProxy &&
      (m_proxy.host.empty() || m_proxy.port < 1 || m_proxy.port > 65535)) {
    throw Error(ErrorCode::InvalidArgument,
                "the proxy needs a host and a port in 1..65535");
  }
  m_inbox.clear();
  m_fresh = {};
  m_last_error.clear();
  m_remote_address.clear();
  m_remote_port = 0;
  m_connection = std::make_shared<AsioConnection>(m_io, m_tls);
  m_connection->Attach(this);
  m_connection->Start(host, uint16_t(port), m_proxy, m_server_name,
                      m_no_delay);
  SetState(SocketConnecting);
}

void AsioSocket::Send(std::string_view text) {
  if (m_state != SocketConnected || !m_connection) {
    throw Error(ErrorCode::InvalidArgument, "the socket is not connected");
  }
  m_connection->Write(text);
}

void AsioSocket::SendShared(const std::shared_ptr<const std::string>& text) {
  if (m_state != SocketConnected || !m_connection) {
    throw Error(ErrorCode::InvalidArgument, "the socket is not connected");
  }
  m_connection->Write(text);
}

std::string AsioSocket::Receive() {
  std::string data(m_fresh);
  m_fresh = {};
  data.append(m_inbox);
  m_inbox.clear();
  return data;
}

std::string_view AsioSocket::ReceiveView() {
  if (m_inbox.empty()) {
    std::string_view data = m_fresh;
    m_fresh = {};
    return data;
  }
  if (m_fresh.empty()) {
    m_lent.swap(m_inbox);
  } else {
    m_lent.assign(m_fresh);
    m_lent.append(m_inbox);
    m_fresh = {};
  }
  m_inbox.clear();
  return m_lent;
}

void AsioSocket::Close() {
  if (m_state == SocketClosed) return;
  Detach();
  SetState(SocketClosed);
}

void AsioSocket::NoDelay(bool value) {
  m_no_delay = value;
  if (m_connection) m_connection->SetNoDelay(value);
}

void AsioSocket::Detach() {
  if (!m_connection) return;
  m_connection->Detach(m_linger_seconds);
  m_connection.reset();
}

void AsioSocket::OnEstablished(const std::string& address, int32_t port,
                               std::string leftover) {
  m_remote_address = address;
  m_remote_port = port;
  m_inbox += leftover;
  SetState(SocketConnected);
  if (!m_inbox.empty()) Queue({false, SocketConnected});
}

// A chunk that arrives while nothing waits to be read and no handler of
// this socket is running is offered where the connection read it: the
// buffer is not read into again before this call returns. Whatever the
// handlers leave unread is kept in the inbox.
void AsioSocket::OnData(const char* data, size_t size) {
  if (m_raising || !m_inbox.empty() || !m_fresh.empty()) {
    m_inbox.append(data, size);
    Queue({false, m_state});
    return;
  }
  m_fresh = std::string_view(data, size);
  std::shared_ptr<bool> alive = m_alive;
  Queue({false, m_state});
  if (!*alive || m_fresh.empty()) return;
  m_inbox.insert(0, m_fresh);
  m_fresh = {};
}

void AsioSocket::OnFailed(const std::string& reason) {
  m_last_error = reason;
  m_connection.reset();
  SetState(SocketClosed);
}

void AsioSocket::SetState(SocketStateEnum state) {
  m_state = state;
  Queue({true, state});
}

void AsioSocket::Queue(PendingEvent event) {
  m_pending.push_back(event);
  Drain();
}

void AsioSocket::Drain() {
  if (m_raising) return;
  m_raising = true;
  // A handler may drop the last reference to this socket; it then lives
  // until the events in hand are raised.
  std::shared_ptr<AsioSocket> pin = weak_from_this().lock();
  std::shared_ptr<bool> alive = m_alive;
  while (!m_pending.empty()) {
    PendingEvent event = m_pending.front();
    m_pending.pop_front();
    if (event.is_state) {
      m_events.Raise([&](ISocketEvents& l) { l.State(*this, event.state); });
    } else if (!m_inbox.empty() || !m_fresh.empty()) {
      m_events.Raise([&](ISocketEvents& l) { l.Receive(*this); });
    }
    if (!*alive) return;
  }
  m_raising = false;
}

}  // namespace orvane
