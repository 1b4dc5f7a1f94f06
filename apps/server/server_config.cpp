#include "server_config.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "gateway.h"
#include "strict_number.h"
#include "time_of_day.h"

namespace orvane::apps {

namespace {

constexpr double kMinRate = 0.001;
constexpr double kMaxRate = 1000000;

// `name` is how the value was given: "--rate" or "rate".
using Setter = void (*)(ServerConfig&, const std::string& name, std::string_view value);
using Getter = std::string (*)(const ServerConfig&);

struct Option {
  std::string_view key;
  bool takes_value;  // false: a flag alone on the command line, true or false in the file
  bool run_time;     // taken by a running server on a reload
  Setter set;
  Getter text;
};

std::string real_text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::string time_text(std::optional<int32_t> seconds) {
  if (!seconds) return "none";
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", *seconds / 3600, *seconds / 60 % 60,
                *seconds % 60);
  return text;
}

bool boolean(const std::string& name, std::string_view v) {
  if (v != "true" && v != "false") {
    throw ConfigError(name + " takes true or false, not '" + std::string(v) + "'");
  }
  return v == "true";
}

std::string boolean_text(bool value) { return value ? "true" : "false"; }

constexpr uint64_t kMaxConnections = 1000000;
constexpr uint64_t kMaxDelayMs = 3600 * 1000;

const Option kOptions[] = {
    {"book", true, false,
     [](ServerConfig& c, const std::string&, std::string_view v) { c.book = v; },
     [](const ServerConfig& c) { return c.book; }},
    {"data", true, false,
     [](ServerConfig& c, const std::string&, std::string_view v) { c.data = v; },
     [](const ServerConfig& c) { return c.data; }},
    {"store", true, false,
     [](ServerConfig& c, const std::string&, std::string_view v) { c.store = v; },
     [](const ServerConfig& c) { return c.store; }},
    {"tape", true, false,
     [](ServerConfig& c, const std::string&, std::string_view v) { c.tape = v; },
     [](const ServerConfig& c) { return c.tape; }},
    {"ticks", true, false,
     [](ServerConfig& c, const std::string& name, std::string_view v) {
       c.ticks = StrictNumber::unsigned_number(name, v);
     },
     [](const ServerConfig& c) { return std::to_string(c.ticks); }},
    {"rate", true, false,
     [](ServerConfig& c, const std::string& name, std::string_view v) {
       c.rate = StrictNumber::real(name, v, kMinRate, kMaxRate);
     },
     [](const ServerConfig& c) { return real_text(c.rate); }},
    {"seed", true, false,
     [](ServerConfig& c, const std::string& name, std::string_view v) {
       c.seed = StrictNumber::unsigned_number(name, v);
     },
     [](const ServerConfig& c) { return std::to_string(c.seed); }},
    {"wait-sessions", true, false,
     [](ServerConfig& c, const std::string& name, std::string_view v) {
       // More sessions than the server admits would never start the feed.
       c.wait_sessions = StrictNumber::unsigned_number(name, v, kMaxConnections);
     },
     [](const ServerConfig& c) { return std::to_string(c.wait_sessions); }},
    {"sessions-per-address", true, false,
     [](ServerConfig& c, const std::string& name, std::string_view v) {
       c.sessions_per_address = StrictNumber::unsigned_number(name, v, kMaxConnections);
     },
     [](const ServerConfig& c) { return std::to_string(c.sessions_per_address); }},
    {"max-connections", true, false,
     [](ServerConfig& c, const std::string& name, std::string_view v) {
       c.max_connections = StrictNumber::unsigned_number(name, v, kMaxConnections);
       if (c.max_connections == 0) throw ConfigError(name + " must be at least 1");
     },
     [](const ServerConfig& c) { return std::to_string(c.max_connections); }},
    {"multi-sessions", false, false,
     [](ServerConfig& c, const std::string& name, std::string_view v) {
       c.multi_sessions = boolean(name, v);
     },
     [](const ServerConfig& c) { return boolean_text(c.multi_sessions); }},
    {"sessions-per-user", true, false,
     [](ServerConfig& c, const std::string& name, std::string_view v) {
       c.sessions_per_user = StrictNumber::unsigned_number(name, v, kMaxConnections);
     },
     [](const ServerConfig& c) { return std::to_string(c.sessions_per_user); }},
    {"logon-delay-ms", true, true,
     [](ServerConfig& c, const std::string& name, std::string_view v) {
       c.logon_delay_ms = StrictNumber::unsigned_number(name, v, kMaxDelayMs);
     },
     [](const ServerConfig& c) { return std::to_string(c.logon_delay_ms); }},
    {"logon-delay-max-ms", true, true,
     [](ServerConfig& c, const std::string& name, std::string_view v) {
       c.logon_delay_max_ms = StrictNumber::unsigned_number(name, v, kMaxDelayMs);
     },
     [](const ServerConfig& c) { return std::to_string(c.logon_delay_max_ms); }},
    {"lockout-failures", true, true,
     [](ServerConfig& c, const std::string& name, std::string_view v) {
       c.lockout_failures = StrictNumber::unsigned_number(name, v, kMaxConnections);
     },
     [](const ServerConfig& c) { return std::to_string(c.lockout_failures); }},
    {"logon-waiting-max", true, false,
     [](ServerConfig& c, const std::string& name, std::string_view v) {
       c.logon_waiting_max = StrictNumber::unsigned_number(name, v, kMaxConnections);
     },
     [](const ServerConfig& c) { return std::to_string(c.logon_waiting_max); }},
    {"rollover", true, false,
     [](ServerConfig& c, const std::string& name, std::string_view v) {
       if (v == "none") {
         c.rollover = std::nullopt;
       } else if (const auto seconds = parse_time_of_day(v)) {
         c.rollover = seconds;
       } else {
         throw ConfigError(name + " takes a time HH:MM:SS or none, not '" + std::string(v) + "'");
       }
     },
     [](const ServerConfig& c) { return time_text(c.rollover); }},
    {"address", true, false,
     [](ServerConfig& c, const std::string&, std::string_view v) { c.address = v; },
     [](const ServerConfig& c) { return c.address; }},
    {"port", true, false,
     [](ServerConfig& c, const std::string& name, std::string_view v) {
       c.port = static_cast<int32_t>(StrictNumber::integer(name, v, 0, 65535));
     },
     [](const ServerConfig& c) { return std::to_string(c.port); }},
    {"port-file", true, false,
     [](ServerConfig& c, const std::string&, std::string_view v) { c.port_file = v; },
     [](const ServerConfig& c) { return c.port_file; }},
    {"tls-cert", true, false,
     [](ServerConfig& c, const std::string&, std::string_view v) { c.tls_cert = v; },
     [](const ServerConfig& c) { return c.tls_cert; }},
    {"tls-key", true, false,
     [](ServerConfig& c, const std::string&, std::string_view v) { c.tls_key = v; },
     [](const ServerConfig& c) { return c.tls_key; }},
    {"password-iterations", true, false,
     [](ServerConfig& c, const std::string& name, std::string_view v) {
       c.password_iterations = static_cast<uint32_t>(StrictNumber::integer(name, v, 1, INT32_MAX));
     },
     [](const ServerConfig& c) { return std::to_string(c.password_iterations); }},
    {"metrics-port", true, false,
     [](ServerConfig& c, const std::string& name, std::string_view v) {
       if (v == "none") {
         c.metrics_port = std::nullopt;
       } else {
         c.metrics_port = static_cast<int32_t>(StrictNumber::integer(name, v, 0, 65535));
       }
     },
     [](const ServerConfig& c) {
       return c.metrics_port ? std::to_string(*c.metrics_port) : std::string("none");
     }},
    {"quiet", false, true,
     [](ServerConfig& c, const std::string& name, std::string_view v) {
       c.quiet = boolean(name, v);
     },
     [](const ServerConfig& c) { return boolean_text(c.quiet); }},
    {"log", true, true, [](ServerConfig& c, const std::string&, std::string_view v) { c.log = v; },
     [](const ServerConfig& c) { return c.log; }},
};

const Option* find(std::string_view key) {
  for (const Option& option : kOptions) {
    if (option.key == key) return &option;
  }
  return nullptr;
}

// Sets one option; a bad value throws ConfigError with `where` before it.
void set(ServerConfig& config, const Option& option, const std::string& name,
         std::string_view value, const std::string& where) {
  try {
    option.set(config, name, value);
  } catch (const std::invalid_argument& e) {
    throw ConfigError(where + e.what());
  }
}

std::string_view trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

void apply_file(ServerConfig& config, std::string_view text, std::string_view origin) {
  std::map<std::string_view, size_t> seen;  // key, line
  size_t number = 0;
  while (!text.empty()) {
    ++number;
    const size_t end = text.find('\n');
    const std::string_view raw = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    const std::string_view line = trim(raw);
    if (line.empty() || line.front() == '#') continue;
    const std::string where = std::string(origin) + ":" + std::to_string(number) + ": ";
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      throw ConfigError(where + "expected key = value, not '" + std::string(line) + "'");
    }
    const std::string_view key = trim(line.substr(0, equals));
    const Option* option = find(key);
    if (option == nullptr) throw ConfigError(where + "unknown key '" + std::string(key) + "'");
    if (const auto first = seen.find(option->key); first != seen.end()) {
      throw ConfigError(where + std::string(key) + " is set twice (first on line " +
                        std::to_string(first->second) + ")");
    }
    seen[option->key] = number;
    set(config, *option, std::string(key), trim(line.substr(equals + 1)), where);
  }
}

void check(const ServerConfig& config) {
  if (!config.data.empty() && !config.store.empty()) {
    throw ConfigError("data and store name two stores: give one");
  }
  if (config.book.empty() && config.data.empty() && config.store.empty()) {
    throw ConfigError(
        "a book is required: --book FILE, or book = FILE in the configuration file "
        "(or a store that holds one: --data DIR or --store postgresql://...)");
  }
  if (config.tls_cert.empty() != config.tls_key.empty()) {
    throw ConfigError("tls-cert and tls-key go together");
  }
  if (config.logon_delay_max_ms < config.logon_delay_ms) {
    throw ConfigError("logon-delay-max-ms (" + std::to_string(config.logon_delay_max_ms) +
                      ") is below logon-delay-ms (" + std::to_string(config.logon_delay_ms) + ")");
  }
}

}  // namespace

ServerConfigReader::ServerConfigReader(std::vector<std::string> arguments) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& flag = arguments[i];
    const Option* option =
        flag.rfind("--", 0) == 0 ? find(std::string_view(flag).substr(2)) : nullptr;
    if (option == nullptr && flag != "--config") throw ConfigError("unknown argument " + flag);
    std::string value = "true";
    if (option == nullptr || option->takes_value) {
      if (i + 1 >= arguments.size()) throw ConfigError(flag + " needs a value");
      value = arguments[++i];
    }
    if (option == nullptr) {
      m_file = value;
      continue;
    }
    // Checked now, so that a bad flag is refused even before the file is read.
    ServerConfig scratch;
    set(scratch, *option, flag, value, "");
    m_flags.emplace_back(option->key, value);
  }
}

ServerConfig ServerConfigReader::read() const {
  if (m_file.empty()) return read({}, {});
  std::ifstream in(m_file);
  if (!in) throw ConfigError(m_file + ": cannot be read");
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw ConfigError(m_file + ": cannot be read");
  return read(text.str(), m_file);
}

ServerConfig ServerConfigReader::read(std::string_view file_text, std::string_view origin) const {
  ServerConfig config;
  apply_file(config, file_text, origin);
  for (const auto& [key, value] : m_flags) {
    set(config, *find(key), "--" + key, value, "");
  }
  check(config);
  return config;
}

std::vector<std::string_view> ServerConfigReader::keys() {
  std::vector<std::string_view> keys;
  for (const Option& option : kOptions) keys.push_back(option.key);
  return keys;
}

std::vector<std::string_view> ServerConfigReader::changed(const ServerConfig& before,
                                                          const ServerConfig& after) {
  std::vector<std::string_view> changed;
  for (const Option& option : kOptions) {
    if (option.text(before) != option.text(after)) changed.push_back(option.key);
  }
  return changed;
}

bool ServerConfigReader::changes_at_run_time(std::string_view key) {
  const Option* option = find(key);
  return option != nullptr && option->run_time;
}

std::string ServerConfigReader::text(const ServerConfig& config, std::string_view key) {
  const Option* option = find(key);
  return option == nullptr ? std::string() : option->text(config);
}

}  // namespace orvane::apps
