#ifndef ORVANE_BENCH_RAW_READER_H_
#define ORVANE_BENCH_RAW_READER_H_

// The raw Asio reference of the connection benchmarks: a reader that only
// counts protocol terminators in what arrives.

#include <array>
#include <asio.hpp>
#include <cstdint>
#include <cstring>
#include <utility>

namespace orvane::bench {

// A raw Asio reader that counts "+3!" terminators, also across reads.
class RawReader {
 public:
  RawReader(asio::io_context& io, int64_t& count) : m_socket(io), m_count(count) {}
  // Reads from a socket already connected (and, say, logged on).
  RawReader(asio::ip::tcp::socket socket, int64_t& count)
      : m_socket(std::move(socket)), m_count(count) {}
  asio::ip::tcp::socket& Socket() { return m_socket; }

  void Read() {
    m_socket.async_read_some(asio::buffer(m_buffer),
                             [this](std::error_code ec, size_t n) {
                               if (ec) return;
                               m_count += Count(m_buffer.data(), n);
                               Read();
                             });
  }

 private:
  size_t Count(const char* p, size_t n) {
    size_t found = 0;
    size_t i = 0;
    auto follow = [&] {
      while (i < n && m_matched > 0) {
        char want = m_matched == 1 ? '3' : '!';
        if (p[i] != want) {
          m_matched = 0;
          return;
        }
        ++i;
        if (++m_matched == 3) {
          ++found;
          m_matched = 0;
        }
      }
    };
    follow();
    while (i < n) {
      const void* plus = std::memchr(p + i, '+', n - i);
      if (plus == nullptr) break;
      i = static_cast<size_t>(static_cast<const char*>(plus) - p) + 1;
      m_matched = 1;
      follow();
    }
    return found;
  }

  asio::ip::tcp::socket m_socket;
  int64_t& m_count;
  std::array<char, 64 * 1024> m_buffer{};
  int m_matched = 0;
};

}  // namespace orvane::bench

#endif  // ORVANE_BENCH_RAW_READER_H_
