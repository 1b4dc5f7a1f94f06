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

std::string Base64(std::string_view in) {
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

std::string HostPort(const std::string& host, uint16_t port) {
  bool is_v6 = host.find(':') != std::string::npos;
  return (is_v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string PortBytes(uint16_t port) {
  return {char(port >> 8), char(port & 0xff)};
}

std::string Socks4Reason(uint8_t code) {
  switch (code) {
    case 0x5b: return "request rejected or failed";
    case 0x5c: return "the proxy cannot reach the client's identd";
    case 0x5d: return "the user id was not confirmed";
    default: return "unexpected reply";
  }
}

std::string Socks5Reason(uint8_t code) {
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

  void Start() {
    switch (m_proxy.kind) {
      case SocketHttpProxy: return HttpConnect();
      case SocketSocks4Proxy: return Socks4();
      case SocketSocks5Proxy: return Socks5();
      default: return Finish("unknown proxy type " +
                             std::to_string(int(m_proxy.kind)));
    }
  }

 private:
  using Step = void (Handshake::*)();

  void Finish(const std::string& error, std::string leftover = {}) {
    ProxyDone done = std::move(m_done);
    m_done = nullptr;
    if (done) done(error, std::move(leftover));
  }

  void Write(std::string data, Step next) {
    m_out = std::move(data);
    auto self = shared_from_this();
    asio::async_write(m_socket, asio::buffer(m_out),
                      [self, next](std::error_code ec, size_t) {
                        if (ec) return self->Finish(self->Broken(ec));
                        ((*self).*next)();
                      });
  }

  void Read(size_t count, Step next) {
    m_in.clear();
    auto self = shared_from_this();
    asio::async_read(m_socket, asio::dynamic_buffer(m_in),
                     asio::transfer_exactly(count),
                     [self, next](std::error_code ec, size_t) {
                       if (ec) return self->Finish(self->Broken(ec));
                       ((*self).*next)();
                     });
  }

  std::string Broken(std::error_code ec) const {
    if (ec == asio::error::eof) {
      return Kind() + " proxy closed the connection during the handshake";
    }
    return Kind() + " proxy handshake failed: " + ec.message();
  }

  std::string Kind() const {
    switch (m_proxy.kind) {
      case SocketHttpProxy: return "HTTP";
      case SocketSocks4Proxy: return "SOCKS4";
      default: return "SOCKS5";
    }
  }

  uint8_t In(size_t i) const { return uint8_t(m_in[i]); }

  // HTTP CONNECT

  void HttpConnect() {
    std::string target = HostPort(m_host, m_port);
    std::string request = "CONNECT " + target + " HTTP/1.1\r\nHost: " +
                          target + "\r\n";
    if (!m_proxy.user.empty()) {
      request += "Proxy-Authorization: Basic " +
                 Base64(m_proxy.user + ":" + m_proxy.password) + "\r\n";
    }
    request += "\r\n";
    Write(std::move(request), &Handshake::HttpReadHead);
  }

  void HttpReadHead() {
    m_in.clear();
    auto self = shared_from_this();
    asio::async_read_until(
        m_socket, asio::dynamic_buffer(m_in, kMaxHttpHead), "\r\n\r\n",
        [self](std::error_code ec, size_t head_size) {
          if (ec == asio::error::not_found) {
            return self->Finish("HTTP proxy sent an oversized answer");
          }
          if (ec) return self->Finish(self->Broken(ec));
          self->HttpCheck(head_size);
        });
  }

  void HttpCheck(size_t head_size) {
    std::string status_line = m_in.substr(0, m_in.find("\r\n"));
    // "HTTP/1.x NNN reason"
    size_t space = status_line.find(' ');
    bool ok = status_line.compare(0, 5, "HTTP/") == 0 &&
              space != std::string::npos && space + 1 < status_line.size() &&
              status_line[space + 1] == '2';
    if (!ok) return Finish("HTTP proxy refused: " + status_line);
    Finish("", m_in.substr(head_size));
  }

  // SOCKS4: the target must be an IPv4 address; names are resolved here.

  void Socks4() {
    auto self = shared_from_this();
    m_resolver.async_resolve(
        asio::ip::tcp::v4(), m_host, std::to_string(m_port),
        [self](std::error_code ec, tcp::resolver::results_type results) {
          if (ec || results.empty()) {
            return self->Finish("SOCKS4 proxy: cannot resolve " + self->m_host +
                                (ec ? ": " + ec.message() : ""));
          }
          auto bytes = results.begin()->endpoint().address().to_v4().to_bytes();
          std::string request = {4, 1};
          request += PortBytes(self->m_port);
          request.append(reinterpret_cast<const char*>(bytes.data()), 4);
          request += self->m_proxy.user;
          request += '\0';
          self->Write(std::move(request), &Handshake::Socks4Reply);
        });
  }

  void Socks4Reply() { Read(8, &Handshake::Socks4Check); }

  void Socks4Check() {
    if (In(1) != 0x5a) {
      return Finish("SOCKS4 proxy: " + Socks4Reason(In(1)) + " (reply " +
                    std::to_string(In(1)) + ")");
    }
    Finish("");
  }

  // SOCKS5

  bool WithPassword() const { return !m_proxy.user.empty(); }

  void Socks5() {
    std::string greeting = WithPassword() ? std::string{5, 2, 0, 2}
                                          : std::string{5, 1, 0};
    Write(std::move(greeting), &Handshake::Socks5Method);
  }

  void Socks5Method() { Read(2, &Handshake::Socks5CheckMethod); }

  void Socks5CheckMethod() {
    if (In(0) != 5) return Finish("SOCKS5 proxy: not a SOCKS5 answer");
    if (In(1) == 0) return Socks5Request();
    if (In(1) == 2 && WithPassword()) return Socks5Auth();
    Finish("SOCKS5 proxy: no acceptable authentication method");
  }

  void Socks5Auth() {
    if (m_proxy.user.size() > 255 || m_proxy.password.size() > 255) {
      return Finish("SOCKS5 proxy: user name or password longer than 255");
    }
    std::string auth = {1, char(m_proxy.user.size())};
    auth += m_proxy.user;
    auth += char(m_proxy.password.size());
    auth += m_proxy.password;
    Write(std::move(auth), &Handshake::Socks5AuthReply);
  }

  void Socks5AuthReply() { Read(2, &Handshake::Socks5CheckAuth); }

  void Socks5CheckAuth() {
    if (In(1) != 0) return Finish("SOCKS5 proxy: authentication failed");
    Socks5Request();
  }

  void Socks5Request() {
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
        return Finish("SOCKS5 proxy: host name longer than 255");
      }
      request += char(3);
      request += char(m_host.size());
      request += m_host;
    }
    request += PortBytes(m_port);
    Write(std::move(request), &Handshake::Socks5Reply);
  }

  void Socks5Reply() { Read(5, &Handshake::Socks5CheckReply); }

  void Socks5CheckReply() {
    if (In(0) != 5) return Finish("SOCKS5 proxy: not a SOCKS5 answer");
    if (In(1) != 0) {
      return Finish("SOCKS5 proxy: " + Socks5Reason(In(1)) + " (reply " +
                    std::to_string(In(1)) + ")");
    }
    // Five bytes are in: version, reply, reserved, address type and the
    // first address byte. The rest of the bound address and its port follow.
    size_t rest = 0;
    switch (In(3)) {
      case 1: rest = 4 - 1 + 2; break;
      case 4: rest = 16 - 1 + 2; break;
      case 3: rest = In(4) + 2u; break;
      default: return Finish("SOCKS5 proxy: unknown address type in reply");
    }
    Read(rest, &Handshake::Done);
  }

  void Done() { Finish(""); }

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
      ->Start();
}

void ConnectThrough(tcp::resolver& resolver, tcp::socket& socket,
                    const SocketProxy& proxy, const std::string& host,
                    uint16_t port, bool no_delay, ProxyDone done) {
  bool through_proxy = proxy.kind != SocketNoProxy;
  std::string first_host = through_proxy ? proxy.host : host;
  uint16_t first_port = through_proxy ? uint16_t(proxy.port) : port;
  std::string what = (through_proxy ? "proxy " : "") +
                     HostPort(first_host, first_port);
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
