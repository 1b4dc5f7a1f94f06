#ifndef ORVANE_TESTS_CONNECTION_INTEGRATION_PEERS_H_
#define ORVANE_TESTS_CONNECTION_INTEGRATION_PEERS_H_

// Real peers for the connection tests: a loopback listener of the test,
// proxy daemons started on free loopback ports and stopped by process ID,
// and throw-away TLS certificates made with the openssl command.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <asio.hpp>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "orvane/asio/asio_listener.h"
#include "orvane/io/socket.h"

extern char** environ;

namespace orvane::test {

using namespace std::chrono_literals;

// Runs `io` until `done` holds or `limit` passes; true when done held.
inline bool RunUntil(asio::io_context& io, const std::function<bool()>& done,
                     std::chrono::milliseconds limit = 3s) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    io.restart();
    io.run_for(2ms);
  }
  return true;
}

// Runs `io` for a while (to show that something does not happen).
inline void RunFor(asio::io_context& io, std::chrono::milliseconds span) {
  RunUntil(io, [] { return false; }, span);
}

// A loopback port that was free a moment ago.
inline int FreePort() {
  asio::io_context io;
  asio::ip::tcp::acceptor a(io, {asio::ip::make_address("127.0.0.1"), 0});
  return a.local_endpoint().port();
}

inline bool PortAccepts(int port) {
  asio::io_context io;
  asio::ip::tcp::socket s(io);
  std::error_code ec;
  s.connect({asio::ip::make_address("127.0.0.1"), uint16_t(port)}, ec);
  return !ec;
}

inline bool WaitForPort(int port, std::chrono::milliseconds limit = 3s) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!PortAccepts(port)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

class TempDir {
 public:
  TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "orvane-conn-XXXXXX").string();
    m_path = mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& name) const { return m_path + "/" + name; }
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(File(name)) << text;
    return File(name);
  }

 private:
  std::string m_path;
};

// A daemon in a process group of its own, output to a log file; stopped
// (the whole group) when the object goes.
class Peer {
 public:
  Peer(const std::vector<std::string>& argv, const std::string& log_file) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log_file.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (posix_spawnp(&m_pid, args[0], &actions, &attr, args.data(), environ) !=
        0) {
      m_pid = 0;
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
  }
  ~Peer() { Stop(); }
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  bool Running() const { return m_pid > 0; }
  void Signal(int signal) {
    if (m_pid > 0) kill(-m_pid, signal);
  }

  void Stop() {
    if (m_pid <= 0) return;
    kill(-m_pid, SIGCONT);
    kill(-m_pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 200; ++i) {
      if (waitpid(m_pid, &status, WNOHANG) == m_pid) break;
      if (i == 199) {
        kill(-m_pid, SIGKILL);
        waitpid(m_pid, &status, 0);
      }
      std::this_thread::sleep_for(5ms);
    }
    kill(-m_pid, SIGKILL);  // children of the group, if any are left
    m_pid = 0;
  }

 private:
  pid_t m_pid = 0;
};

// Certificates made once per test program: a trusted CA with a server
// certificate for "localhost" only, and a self-signed "localhost"
// certificate that no CA vouches for.
struct Certificates {
  std::string ca;
  std::string server_cert;
  std::string server_key;
  std::string rogue_cert;
  std::string rogue_key;
  bool ok = false;

  static const Certificates& Get() {
    static TempDir dir;
    static Certificates made = Make(dir);
    return made;
  }

 private:
  static Certificates Make(const TempDir& dir) {
    Certificates c;
    c.ca = dir.File("ca.crt");
    c.server_cert = dir.File("server.crt");
    c.server_key = dir.File("server.key");
    c.rogue_cert = dir.File("rogue.crt");
    c.rogue_key = dir.File("rogue.key");
    std::string ext = dir.Write("server.ext",
                                "subjectAltName=DNS:localhost\n"
                                "basicConstraints=CA:FALSE\n");
    const std::string ec =
        " -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes";
    const std::string quiet = " >/dev/null 2>&1";
    std::string commands =
        "openssl req -x509" + ec + " -subj /CN=Orvane-Test-CA -keyout " +
        dir.File("ca.key") + " -out " + c.ca + " -days 2" + quiet + " && " +
        "openssl req" + ec + " -subj /CN=localhost -keyout " + c.server_key +
        " -out " + dir.File("server.csr") + quiet + " && " +
        "openssl x509 -req -in " + dir.File("server.csr") + " -CA " + c.ca +
        " -CAkey " + dir.File("ca.key") + " -CAcreateserial -out " +
        c.server_cert + " -days 2 -extfile " + ext + quiet + " && " +
        "openssl req -x509" + ec +
        " -subj /CN=localhost -addext subjectAltName=DNS:localhost -keyout " +
        c.rogue_key + " -out " + c.rogue_cert + " -days 2" + quiet;
    c.ok = std::system(commands.c_str()) == 0;
    return c;
  }
};

// A TLS listener's options: the "localhost" certificate the CA signed, or
// the self-signed one.
inline TlsOptions ServerTls(bool rogue = false) {
  const Certificates& c = Certificates::Get();
  TlsOptions tls;
  tls.enabled = true;
  tls.certificate_file = rogue ? c.rogue_cert : c.server_cert;
  tls.private_key_file = rogue ? c.rogue_key : c.server_key;
  return tls;
}

// A TLS client's options, trusting the test CA.
inline TlsOptions ClientTls(const std::string& server_name = "") {
  TlsOptions tls;
  tls.enabled = true;
  tls.ca_file = Certificates::Get().ca;
  tls.server_name = server_name;
  return tls;
}

// A listener of the test on 127.0.0.1 that keeps every accepted socket and
// what arrived on it.
class TestServer : public AsioListenerEvents, public ISocketEvents {
 public:
  explicit TestServer(asio::io_context& io, const TlsOptions& tls = {},
                      int port = 0)
      : m_listener(io, tls) {
    m_listener.Advise(this);
    m_port = m_listener.Listen("127.0.0.1", port);
  }
  ~TestServer() override {
    for (auto& child : children) child->Unadvise(this);
  }

  int Port() const { return m_port; }

  void Accepted(const std::shared_ptr<ISocket>& child) override {
    child->Advise(this);
    children.push_back(child);
  }
  void Receive(ISocket& socket) override {
    std::string text = socket.Receive();
    received += text;
    ++receives;
  }
  void State(ISocket&, SocketStateEnum state) override {
    if (state == SocketClosed) ++closed;
  }

  std::vector<std::shared_ptr<ISocket>> children;
  std::string received;
  int receives = 0;  // Receive events: chunks as they were read
  int closed = 0;

 private:
  AsioListener m_listener;
  int m_port = 0;
};

}  // namespace orvane::test

#endif  // ORVANE_TESTS_CONNECTION_INTEGRATION_PEERS_H_
