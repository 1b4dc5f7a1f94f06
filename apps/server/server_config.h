#ifndef ORVANE_APPS_SERVER_SERVER_CONFIG_H_
#define ORVANE_APPS_SERVER_SERVER_CONFIG_H_

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvane::apps {

// Every option of orvane-server, at its default.
struct ServerConfig {
  std::string book;
  std::string data;   // a SQLite store's directory
  std::string store;  // a PostgreSQL store's connection (postgresql://...); neither: memory
  std::string tape;
  uint64_t ticks = 0;  // quotes of the random walk; 0: no end
  double rate = 50;    // quotes a second
  uint64_t seed = 20270304;
  uint64_t wait_sessions = 0;
  uint64_t sessions_per_address = 100;  // logged-on sessions from one address; 0: no limit
  uint64_t max_connections = 5000;      // lowered at start to what the open file limit allows
  bool multi_sessions = false;          // a user logged on in several sessions at once
  uint64_t sessions_per_user = 8;       // with multi_sessions; 0: no limit
  uint64_t logon_delay_ms = 250;        // after the first failed log-on; 0: no throttling
  uint64_t logon_delay_max_ms = 30000;
  uint64_t lockout_failures = 20;  // failed log-ons in a row that lock a user out; 0: never
  uint64_t logon_waiting_max = 1000;  // log-on answers held back at once
  uint32_t password_iterations = 100000;  // the cost of the hashes made of a book's passwords
  std::optional<int32_t> rollover = 22 * 3600;  // seconds after midnight of market time
  std::string address = "127.0.0.1";
  int32_t port = 0;
  std::string port_file;
  std::string tls_cert;
  std::string tls_key;
  std::optional<int32_t> metrics_port;  // loopback HTTP; none: no endpoint, 0: a free port
  bool quiet = false;
  std::string log;  // empty: standard error
};

// Options that cannot be used: an unknown flag or key, a bad value, a
// missing book. The text says where ("server.conf:7: ...").
class ConfigError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// Reads the server's options: the defaults, then the configuration file
// named by --config (key = value lines, a key being a flag without its
// dashes; blank lines and lines starting with '#' are skipped), then the
// other flags of the command line, which win over the file. read() reads
// the file again each time, so that the host can reload it.
class ServerConfigReader {
 public:
  // The command line without the program name. Throws ConfigError for an
  // unknown flag, a missing value or a bad one.
  explicit ServerConfigReader(std::vector<std::string> arguments = {});

  // The options now; throws ConfigError.
  ServerConfig read() const;
  // The same with the file's text given (`origin` names it in errors).
  ServerConfig read(std::string_view file_text, std::string_view origin) const;

  // The --config file; empty when none.
  const std::string& file() const { return m_file; }

  // Every key, in the order of the usage text.
  static std::vector<std::string_view> keys();
  // The keys whose values differ between `before` and `after`.
  static std::vector<std::string_view> changed(const ServerConfig& before,
                                               const ServerConfig& after);
  // Whether the running server takes a new value of `key` on a reload (the
  // others wait for a restart).
  static bool changes_at_run_time(std::string_view key);
  // The value of `key` as a configuration file writes it.
  static std::string text(const ServerConfig& config, std::string_view key);

 private:
  std::vector<std::pair<std::string, std::string>> m_flags;  // key, value
  std::string m_file;
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_SERVER_SERVER_CONFIG_H_
