#ifndef ORVANE_BENCH_SCRATCH_STORES_H_
#define ORVANE_BENCH_SCRATCH_STORES_H_

// Places for the durable stores a benchmark measures: a folder on a real
// disk and a PostgreSQL cluster of the program's own. A sync on a file
// system kept in memory (tmpfs, ramfs: /dev/shm, and /tmp on some machines)
// costs nothing, so a store there measures nothing durable: the folders are
// never put on one.

#include <linux/magic.h>
#include <netinet/in.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace orvane::apps::scratch {

// Whether `path` is on a file system kept in memory.
inline bool InMemory(const std::string& path) {
  struct statfs fs {};
  if (::statfs(path.c_str(), &fs) != 0) return false;
  return fs.f_type == TMPFS_MAGIC || fs.f_type == RAMFS_MAGIC;
}

// The folder scratch folders go in: the system's temporary directory when it
// is on a disk, else `on_disk` (the build tree).
inline std::string Parent(const std::string& on_disk) {
  std::error_code ignored;
  const std::string temp = std::filesystem::temp_directory_path(ignored).string();
  return !temp.empty() && !InMemory(temp) ? temp : on_disk;
}

// A fresh folder, removed with everything in it when this goes. `error()`
// says why there is none.
class Folder {
 public:
  explicit Folder(const std::string& on_disk) {
    const std::string parent = Parent(on_disk);
    std::string path = parent + "/orvane-bench.XXXXXX";
    if (InMemory(parent)) {
      m_error = parent + " is kept in memory: give a folder on a disk";
    } else if (::mkdtemp(path.data()) == nullptr) {
      m_error = "cannot make a folder in " + parent;
    } else {
      m_path = path;
    }
  }
  ~Folder() {
    std::error_code ignored;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  const std::string& path() const { return m_path; }
  const std::string& error() const { return m_error; }

 private:
  std::string m_path;
  std::string m_error;
};

// A loopback port free a moment ago.
inline int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

inline constexpr char kServerBinaries[] = "/usr/lib/postgresql/15/bin";

// A PostgreSQL cluster made with initdb in a scratch folder, on a free
// loopback port, with the server's default durability (fsync on, every
// commit synced); stopped and removed when this goes. initdb refuses root,
// so as root the server runs as the `postgres` user. `error()` says why
// there is none (no server binaries, say).
class Cluster {
 public:
  explicit Cluster(const std::string& on_disk) : m_folder(on_disk) {
    const std::string bin = kServerBinaries;
    if (!std::filesystem::exists(bin + "/initdb") || !std::filesystem::exists(bin + "/pg_ctl")) {
      m_error = "no PostgreSQL server in " + bin + " (Debian package postgresql)";
      return;
    }
    if (!m_folder.error().empty()) {
      m_error = m_folder.error();
      return;
    }
    m_root = m_folder.path();
    if (::geteuid() == 0) {
      const passwd* user = ::getpwnam("postgres");
      if (user == nullptr || ::chown(m_root.c_str(), user->pw_uid, user->pw_gid) != 0) {
        m_error = "cannot hand " + m_root + " to the postgres user";
        return;
      }
      m_as = "runuser -u postgres -- ";
    }
    m_port = FreePort();
    if (!Run(bin + "/initdb -D " + m_root + "/data -A trust -U orvane", "initdb.log") ||
        !Run(bin + "/pg_ctl -D " + m_root + "/data -o \"-p " + std::to_string(m_port) + " -k " +
                 m_root + " -c listen_addresses=127.0.0.1\" -l " + m_root +
                 "/server.log -w start",
             "pg_ctl.log")) {
      m_error = "the scratch PostgreSQL cluster in " + m_root + " did not start (see its logs)";
      return;
    }
    m_running = true;
  }
  ~Cluster() {
    if (m_running) Run(std::string(kServerBinaries) + "/pg_ctl -D " + m_root + "/data stop -m fast",
                       "stop.log");
  }
  Cluster(const Cluster&) = delete;
  Cluster& operator=(const Cluster&) = delete;

  const std::string& error() const { return m_error; }

  // Makes a new database and returns its connection URI; empty when
  // createdb failed.
  std::string NewDatabase(const std::string& name) {
    const bool made = Run(std::string(kServerBinaries) + "/createdb -h " + m_root + " -p " +
                              std::to_string(m_port) + " -U orvane " + name,
                          "createdb.log");
    return made ? "postgresql://orvane@127.0.0.1:" + std::to_string(m_port) + "/" + name : "";
  }

 private:
  bool Run(const std::string& command, const std::string& log) {
    return std::system((m_as + command + " >" + m_root + "/" + log + " 2>&1").c_str()) == 0;
  }

  Folder m_folder;
  std::string m_root, m_as, m_error;
  int m_port = 0;
  bool m_running = false;
};

}  // namespace orvane::apps::scratch

#endif  // ORVANE_BENCH_SCRATCH_STORES_H_
