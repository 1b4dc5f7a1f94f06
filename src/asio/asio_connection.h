#ifndef ORVANE_SRC_CONNECTION_ASIO_CONNECTION_H_
#define ORVANE_SRC_CONNECTION_ASIO_CONNECTION_H_

// The Asio side of one connection, shared by the Asio socket adapter, the
// listener adapter and the proxy tester. Internal: only the Asio adapters
// include this header.

#include <sys/uio.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <asio.hpp>
#include <asio/ssl.hpp>

#include "orvane/io/socket.h"
#include "orvane/io/tls_options.h"

namespace orvane {

class AsioSocket;

// An OpenSSL context made from TlsOptions.
class AsioTlsContext {
 public:
  // Trusts `ca_file` (or the system's store) and verifies the peer.
  // Throws orvane::Error(FileError) when the CA file cannot be loaded.
  static std::shared_ptr<AsioTlsContext> ForClient(const TlsOptions& options);
  // Presents the certificate chain and key. Throws orvane::Error(FileError)
  // when either cannot be loaded.
  static std::shared_ptr<AsioTlsContext> ForServer(const TlsOptions& options);

  explicit AsioTlsContext(asio::ssl::context::method method)
      : m_context(method) {}
  asio::ssl::context& Context() { return m_context; }
  // How long a server-side handshake may take.
  int32_t HandshakeTimeoutMs() const { return m_handshake_timeout_ms; }

 private:
  asio::ssl::context m_context;
  int32_t m_handshake_timeout_ms = 10000;
};

// Finishes with an empty error text and the bytes that followed the proxy's
// answer, or with a text saying why the proxy did not open the tunnel.
using ProxyDone = std::function<void(const std::string& error,
                                     std::string leftover)>;

// Asks the proxy already connected on `socket` to open a tunnel to
// host:port. The socket must outlive the handshake.
void RunProxyHandshake(asio::ip::tcp::socket& socket, const SocketProxy& proxy,
                       const std::string& host, uint16_t port, ProxyDone done);

// Resolves and connects host:port, through `proxy` when it names one. The
// done handler gets an empty text on success.
void ConnectThrough(asio::ip::tcp::resolver& resolver,
                    asio::ip::tcp::socket& socket, const SocketProxy& proxy,
                    const std::string& host, uint16_t port, bool no_delay,
                    ProxyDone done);

class AsioConnection;

// The connections of one io_context that queued text in the current turn:
// one handler posted after the turn flushes them all, so that each writes
// what the turn queued in one gathered write.
class AsioWriteTurn : public asio::execution_context::service {
 public:
  static asio::execution_context::id id;

  explicit AsioWriteTurn(asio::io_context& io);
  void Add(std::shared_ptr<AsioConnection> connection);

 private:
  void shutdown() override;
  void FlushAll();

  asio::io_context& m_io;
  std::vector<std::shared_ptr<AsioConnection>> m_queued;
  std::vector<std::shared_ptr<AsioConnection>> m_flushing;  // kept for its capacity
};

// One TCP (optionally TLS) stream with its write buffers and read loop.
// Handlers hold the connection alive; the owning socket attaches itself and
// detaches (owner nullptr) before it goes away.
class AsioConnection : public std::enable_shared_from_this<AsioConnection> {
 public:
  AsioConnection(asio::io_context& io, std::shared_ptr<AsioTlsContext> tls);

  asio::ip::tcp::socket& Tcp();
  void Attach(AsioSocket* owner) { m_owner = owner; }

  // Outgoing: resolve, connect, proxy, TLS; then the owner hears
  // OnEstablished (and the read loop starts) or OnFailed.
  void Start(const std::string& host, uint16_t port, const SocketProxy& proxy,
             const std::string& server_name, bool no_delay);
  // Incoming: the server side of the TLS handshake; done gets an empty text
  // on success (at once for plain TCP), or why the handshake failed.
  void Accept(std::function<void(const std::string& error)> done);
  void StartReading();

  // Queue text; what a turn queued leaves in one gathered write after it.
  void Write(std::string_view text);
  void Write(const std::shared_ptr<const std::string>& text);
  size_t Unsent() const { return m_pending.bytes + m_writing.bytes; }
  // Starts the write of what was queued, unless one is under way (whose
  // end starts the next). Called once a turn by the io_context's
  // AsioWriteTurn.
  void Flush();
  void SetNoDelay(bool value);

  // The owner lets go: unsent text keeps leaving for at most
  // `linger_seconds`, then the connection is cut.
  void Detach(int32_t linger_seconds);

 private:
  // Texts queued for one write: shared ones held by reference, the others
  // copied into `copies`, side by side in call order.
  struct Batch {
    struct Piece {
      std::shared_ptr<const std::string> shared;  // none: copies[begin, begin + size)
      size_t begin = 0;
      size_t size = 0;
    };
    std::vector<Piece> pieces;
    std::string copies;
    size_t bytes = 0;
    bool empty() const { return pieces.empty(); }
    void Clear();
  };

  void Established(std::string leftover);
  void Fail(const std::string& reason);
  void Queued();
  void StartWrite();
  // Hands the kernel as much of m_buffers as it takes now, in one gathered
  // call, and returns the bytes it took.
  size_t WriteNow();
  void Written();
  void CloseNow();
  template <typename F>
  void WithStream(F&& f);

  asio::io_context& m_io;
  AsioWriteTurn& m_turn;
  std::shared_ptr<AsioTlsContext> m_tls;
  asio::ip::tcp::resolver m_resolver;
  std::optional<asio::ip::tcp::socket> m_plain;
  std::optional<asio::ssl::stream<asio::ip::tcp::socket>> m_secure;
  AsioSocket* m_owner = nullptr;
  bool m_established = false;
  bool m_closed = false;
  bool m_through_proxy = false;
  std::string m_target_host;
  uint16_t m_target_port = 0;
  Batch m_pending;
  Batch m_writing;
  std::vector<asio::const_buffer> m_buffers;  // m_writing's pieces, in order
  std::vector<iovec> m_iovecs;                 // the same for the kernel
  bool m_write_active = false;
  bool m_flush_queued = false;
  // Allocated when reading starts: a connection still in its handshake (or
  // never established) holds none.
  std::unique_ptr<char[]> m_read_buffer;
  std::optional<asio::steady_timer> m_deadline;
};

}  // namespace orvane

#endif  // ORVANE_SRC_CONNECTION_ASIO_CONNECTION_H_
