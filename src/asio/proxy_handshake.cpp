// Proxy handshakes (HTTP CONNECT, SOCKS4, SOCKS5) on a connected Asio socket.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "asio_connection.h"

namespace orvane {
namespace {

using asio::ip::tcp;

constexpr size_t kMaxHttpHead = 16 * 1024;

std::string base64(std::string_view in) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < in.size(); i += 3) {
    uint32_t n = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8) |
                 uint8_t(in[i + 2]);
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += kAlphabet[(n >> 6) & 63];
    out += kAlphabet[n & 63];
  }
  if (i + 1 == in.size()) {
    uint32_t n = uint8_t(in[i]) << 16;
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += "==";
  } else if (i + 2 == in.size()) {
    uint32_t n = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8);
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += kAlphabet[(n >> 6) & 63];
    out += '=';
  }
  return out;
}

std::string host_port(const std::string& host, uint16_t port) {
  bool is_v6 = host.find(':') != std::string::npos;
  return (is_v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string port_bytes(uint16_t port) {
  return {char(port >> 8), char(port & 0xff)};
}

std::string socks4_reason(uint8_t code) {
  switch (code) {
    case 0x5b: return "request rejected or failed";
    case 0x5c: return "the proxy cannot reach the client's identd";
    case 0x5d: return "the user id was not confirmed";
    default: return "unexpected reply";
  }
}

std::string socks5_reason(uint8_t code) {
  switch (code) {
    case 1: return "general failure";
    case 2: return "connection not allowed by the proxy's rules";
    case 3: return "network unreachable";
    case 4: return "host unreachable";
    case 5: return "connection refused by the target";
    case 6: return "TTL expired";
    case 7: return "command not supported";
    case 8: return "address type not supported";
    default: return "unexpected reply";
  }
}

// One handshake in progress: a chain of writes and exact reads, each step
// holding the handshake alive through its handler.
class Handshake : public std::enable_shared_from_this<Handshake> {
 public:
  Handshake(tcp::socket& socket, SocketProxy proxy, std::string host,
            uint16_t port, ProxyDone done)
      : m_socket(socket),
        m_resolver(socket.get_executor()),
        m_proxy(std::move(proxy)),
        m_host(std::move(host)),
        m_port(port),
        m_done(std::move(done)) {}

  void start() {
    switch (m_proxy.kind) {
      case SocketHttpProxy: return http_connect();
      case SocketSocks4Proxy: return socks4();
      case SocketSocks5Proxy: return socks5();
      default: return finish("unknown proxy type " +
                             std::to_string(int(m_proxy.kind)));
    }
  }

 private:
  using Step = void (Handshake::*)();

  void finish(const std::string& error, std::string leftover = {}) {
    ProxyDone done = std::move(m_done);
    m_done = nullptr;
    if (done) done(error, std::move(leftover));
  }

  void write(std::string data, Step next) {
    m_out = std::move(data);
    auto self = shared_from_this();
    asio::async_write(m_socket, asio::buffer(m_out),
                      [self, next](std::error_code ec, size_t) {
                        if (ec) return self->finish(self->broken(ec));
                        ((*self).*next)();
                      });
  }

  void read(size_t count, Step next) {
    m_in.clear();
    auto self = shared_from_this();
    asio::async_read(m_socket, asio::dynamic_buffer(m_in),
                     asio::transfer_exactly(count),
                     [self, next](std::error_code ec, size_t) {
                       if (ec) return self->finish(self->broken(ec));
                       ((*self).*next)();
                     });
  }

  std::string broken(std::error_code ec) const {
    if (ec == asio::error::eof) {
      return kind() + " proxy closed the connection during the handshake";
    }
    return kind() + " proxy handshake failed: " + ec.message();
  }

  std::string kind() const {
    switch (m_proxy.kind) {
      case SocketHttpProxy: return "HTTP";
      case SocketSocks4Proxy: return "SOCKS4";
      default: return "SOCKS5";
    }
  }

  uint8_t in(size_t i) const { return uint8_t(m_in[i]); }

  // HTTP CONNECT

  void http_connect() {
    std::string target = host_port(m_host, m_port);
    std::string request = "CONNECT " + target + " HTTP/1.1\r\nHost: " +
                          target + "\r\n";
    if (!m_proxy.user.empty()) {
      request += "Proxy-Authorization: Basic " +
                 base64(m_proxy.user + ":" + m_proxy.password) + "\r\n";
    }
    request += "\r\n";
    write(std::move(request), &Handshake::http_read_head);
  }

  void http_read_head() {
    m_in.clear();
    auto self = shared_from_this();
    asio::async_read_until(
        m_socket, asio::dynamic_buffer(m_in, kMaxHttpHead), "\r\n\r\n",
        [self](std::error_code ec, size_t head_size) {
          if (ec == asio::error::not_found) {
            return self->finish("HTTP proxy sent an oversized answer");
          }
          if (ec) return self->finish(self->broken(ec));
          self->http_check(head_size);
        });
  }

  void http_check(size_t head_size) {
    std::string status_line = m_in.substr(0, m_in.find("\r\n"));
    // "HTTP/1.x NNN reason"
    size_t space = status_line.find(' ');
    bool ok = status_line.compare(0, 5, "HTTP/") == 0 &&
              space != std::string::npos && space + 1 < status_line.size() &&
              status_line[space + 1] == '2';
    if (!ok) return finish("HTTP proxy refused: " + status_line);
    finish("", m_in.substr(head_size));
  }

  // SOCKS4: the target must be an IPv4 address; names are resolved here.

  void socks4() {
    auto self = shared_from_this();
    m_resolver.async_resolve(
        asio::ip::tcp::v4(), m_host, std::to_string(m_port),
        [self](std::error_code ec, tcp::resolver::results_type results) {
          if (ec || results.empty()) {
            return self->finish("SOCKS4 proxy: cannot resolve " + self->m_host +
                                (ec ? ": " + ec.message() : ""));
          }
          auto bytes = results.begin()->endpoint().address().to_v4().to_bytes();
          std::string request = {4, 1};
          request += port_bytes(self->m_port);
          request.append(reinterpret_cast<const char*>(bytes.data()), 4);
          request += self->m_proxy.user;
          request += '\0';
          self->write(std::move(request), &Handshake::socks4_reply);
        });
  }

  void socks4_reply() { read(8, &Handshake::socks4_check); }

  void socks4_check() {
    if (in(1) != 0x5a) {
      return finish("SOCKS4 proxy: " + socks4_reason(in(1)) + " (reply " +
                    std::to_string(in(1)) + ")");
    }
    finish("");
  }

  // SOCKS5

  bool with_password() const { return !m_proxy.user.empty(); }

  void socks5() {
    std::string greeting = with_password() ? std::string{5, 2, 0, 2}
                                          : std::string{5, 1, 0};
    write(std::move(greeting), &Handshake::socks5_method);
  }

  void socks5_method() { read(2, &Handshake::socks5_check_method); }

  void socks5_check_method() {
    if (in(0) != 5) return finish("SOCKS5 proxy: not a SOCKS5 answer");
    if (in(1) == 0) return socks5_request();
    if (in(1) == 2 && with_password()) return socks5_auth();
    finish("SOCKS5 proxy: no acceptable authentication method");
  }

  void socks5_auth() {
    if (m_proxy.user.size() > 255 || m_proxy.password.size() > 255) {
      return finish("SOCKS5 proxy: user name or password longer than 255");
    }
    std::string auth = {1, char(m_proxy.user.size())};
    auth += m_proxy.user;
    auth += char(m_proxy.password.size());
    auth += m_proxy.password;
    write(std::move(auth), &Handshake::socks5_auth_reply);
  }

  void socks5_auth_reply() { read(2, &Handshake::socks5_check_auth); }

  void socks5_check_auth() {
    if (in(1) != 0) return finish("SOCKS5 proxy: authentication failed");
    socks5_request();
  }

  void socks5_request() {
    std::string request = {5, 1, 0};
    std::error_code ec;
    auto address = asio::ip::make_address(m_host, ec);
    if (!ec && address.is_v4()) {
      auto b = address.to_v4().to_bytes();
      request += char(1);
      request.append(reinterpret_cast<const char*>(b.data()), b.size());
    } else if (!ec && address.is_v6()) {
      auto b = address.to_v6().to_bytes();
      request += char(4);
      request.append(reinterpret_cast<const char*>(b.data()), b.size());
    } else {
      if (m_host.size() > 255) {
        return finish("SOCKS5 proxy: host name longer than 255");
      }
      request += char(3);
      request += char(m_host.size());
      request += m_host;
    }
    request += port_bytes(m_port);
    write(std::move(request), &Handshake::socks5_reply);
  }

  void socks5_reply() { read(5, &Handshake::socks5_check_reply); }

  void socks5_check_reply() {
    if (in(0) != 5) return finish("SOCKS5 proxy: not a SOCKS5 answer");
    if (in(1) != 0) {
      return finish("SOCKS5 proxy: " + socks5_reason(in(1)) + " (reply " +
                    std::to_string(in(1)) + ")");
    }
    // Five bytes are in: version, reply, reserved, address type and the
    // first address byte. The rest of the bound address and its port follow.
    size_t rest = 0;
    switch (in(3)) {
      case 1: rest = 4 - 1 + 2; break;
      case 4: rest = 16 - 1 + 2; break;
      case 3: rest = in(4) + 2u; break;
      default: return finish("SOCKS5 proxy: unknown address type in reply");
    }
    read(rest, &Handshake::done);
  }

  void done() { finish(""); }

  tcp::socket& m_socket;
  tcp::resolver m_resolver;
  SocketProxy m_proxy;
  std::string m_host;
  uint16_t m_port;
  ProxyDone m_done;
  std::string m_out;
  std::string m_in;
};

}  // namespace

void RunProxyHandshake(tcp::socket& socket, const SocketProxy& proxy,
                       const std::string& host, uint16_t port, ProxyDone done) {
  std::make_shared<Handshake>(socket, proxy, host, port, std::move(done))
      ->start();
}

void ConnectThrough(tcp::resolver& resolver, tcp::socket& socket,
                    const SocketProxy& proxy, const std::string& host,
                    uint16_t port, bool no_delay, ProxyDone done) {
  bool through_proxy = proxy.kind != SocketNoProxy;
  std::string first_host = through_proxy ? proxy.host : host;
  uint16_t first_port = through_proxy ? uint16_t(proxy.port) : port;
  std::string what = (through_proxy ? "proxy " : "") +
                     host_port(first_host, first_port);
  resolver.async_resolve(
      first_host, std::to_string(first_port),
      [&socket, proxy, host, port, no_delay, what, done = std::move(done)](
          std::error_code ec, tcp::resolver::results_type results) mutable {
        if (ec) return done("cannot resolve " + what + ": " + ec.message(), "");
        asio::async_connect(
            socket, results,
            [&socket, proxy, host, port, no_delay, what,
             done = std::move(done)](std::error_code ec, const tcp::endpoint&) {
              if (ec) {
                return done("cannot connect to " + what + ": " + ec.message(),
                            "");
              }
              std::error_code ignored;
              socket.set_option(tcp::no_delay(no_delay), ignored);
              if (proxy.kind == SocketNoProxy) return done("", "");
              RunProxyHandshake(socket, proxy, host, port, std::move(done));
            });
      });
}

}  // namespace orvane
