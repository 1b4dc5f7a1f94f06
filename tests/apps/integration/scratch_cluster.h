#ifndef ORVANE_TESTS_APPS_INTEGRATION_SCRATCH_CLUSTER_H_
#define ORVANE_TESTS_APPS_INTEGRATION_SCRATCH_CLUSTER_H_

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "connection/integration/peers.h"

namespace orvane::apps::test {

inline constexpr char kServerBinaries[] = "/usr/lib/postgresql/15/bin";

// A scratch PostgreSQL cluster for this program, started by the first test
// that asks for it (the program's other tests need none): made with initdb in
// a folder under /tmp, listening on a free loopback port, stopped and removed
// at the end. initdb refuses root, so as root the server runs as the
// `postgres` user.
class ScratchCluster : public ::testing::Environment {
 public:
  static ScratchCluster* Get() {
    if (!s_cluster->m_started) s_cluster->Start();
    return s_cluster;
  }

  ScratchCluster() { s_cluster = this; }

  void Start() {
    m_started = true;
    const std::string bin = kServerBinaries;
    if (!std::filesystem::exists(bin + "/initdb") || !std::filesystem::exists(bin + "/pg_ctl")) {
      m_error = "no PostgreSQL server in " + bin + ": install the Debian package postgresql " +
                "(scripts/setup.sh does)";
      return;
    }
    m_dir = std::make_unique<orvane::test::TempDir>();
    m_root = m_dir->File("");
    m_root.pop_back();
    if (::geteuid() == 0) {
      const passwd* user = ::getpwnam("postgres");
      if (user == nullptr || ::chown(m_root.c_str(), user->pw_uid, user->pw_gid) != 0) {
        m_error = "cannot hand " + m_root + " to the postgres user";
        return;
      }
      m_as = "runuser -u postgres -- ";
    }
    m_port = orvane::test::FreePort();
    const std::string data = m_root + "/data";
    if (!Run(bin + "/initdb -D " + data + " -A trust -U orvane", "initdb.log") ||
        !Run(bin + "/pg_ctl -D " + data + " -o \"-p " + std::to_string(m_port) + " -k " +
                 m_root + " -c listen_addresses=127.0.0.1 -c fsync=off\" -l " + m_root +
                 "/server.log -w start",
             "pg_ctl.log")) {
      m_error = "the scratch PostgreSQL cluster in " + m_root + " did not start (see its logs)";
      return;
    }
    m_running = true;
  }

  void TearDown() override {
    if (m_running) {
      Run(std::string(kServerBinaries) + "/pg_ctl -D " + m_root + "/data stop -m immediate",
          "stop.log");
    }
    m_running = false;
    m_dir.reset();
  }

  // Why the cluster is not there; empty while it is.
  const std::string& error() const { return m_error; }
  std::string Conninfo(const std::string& database) const {
    return "postgresql://orvane@127.0.0.1:" + std::to_string(m_port) + "/" + database;
  }
  int port() const { return m_port; }

 private:
  bool Run(const std::string& command, const std::string& log) {
    return std::system((m_as + command + " >" + m_root + "/" + log + " 2>&1").c_str()) == 0;
  }

  static inline ScratchCluster* s_cluster = nullptr;
  std::unique_ptr<orvane::test::TempDir> m_dir;
  std::string m_root, m_as, m_error;
  int m_port = 0;
  bool m_started = false;
  bool m_running = false;
};

inline const auto* const kScratchCluster = ::testing::AddGlobalTestEnvironment(new ScratchCluster);

}  // namespace orvane::apps::test

#endif  // ORVANE_TESTS_APPS_INTEGRATION_SCRATCH_CLUSTER_H_
