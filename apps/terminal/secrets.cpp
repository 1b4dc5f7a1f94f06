#include "secrets.h"

#include <arpa/inet.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace orvane::apps {

std::string read_secret_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::invalid_argument(path + ": cannot be read");
  std::string line;
  std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.empty()) throw std::invalid_argument(path + ": the first line is empty");
  return line;
}

bool is_loopback_host(const std::string& host) {
  if (host == "localhost" || host == "localhost.") return true;
  std::string address = host;
  if (address.size() > 2 && address.front() == '[' && address.back() == ']') {
    address = address.substr(1, address.size() - 2);
  }
  in_addr v4{};
  if (inet_pton(AF_INET, address.c_str(), &v4) == 1) {
    return (ntohl(v4.s_addr) >> 24) == 127;
  }
  in6_addr v6{};
  if (inet_pton(AF_INET6, address.c_str(), &v6) == 1) {
    return IN6_IS_ADDR_LOOPBACK(&v6) != 0;
  }
  return false;
}

namespace {

// Turns echo off on a terminal for as long as it lives.
class EchoOff {
 public:
  explicit EchoOff(int fd) : m_fd(fd) {
    if (tcgetattr(fd, &m_saved) != 0) return;
    termios quiet = m_saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    m_active = tcsetattr(fd, TCSAFLUSH, &quiet) == 0;
  }
  ~EchoOff() {
    if (m_active) tcsetattr(m_fd, TCSAFLUSH, &m_saved);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;
  bool active() const { return m_active; }

 private:
  int m_fd;
  termios m_saved{};
  bool m_active = false;
};

}  // namespace

std::optional<std::string> prompt_secret(const std::string& prompt, int fd) {
  if (isatty(fd) != 1) return std::nullopt;
  std::fputs(prompt.c_str(), stderr);
  std::fflush(stderr);
  EchoOff quiet(fd);
  if (!quiet.active()) return std::nullopt;
  std::string line;
  for (;;) {
    char c = 0;
    const ssize_t got = read(fd, &c, 1);
    if (got <= 0) return std::nullopt;
    if (c == '\n') break;
    line.push_back(c);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace orvane::apps
