// orvane-server: the reference trading server over a book and a tape or a
// random walk. Usage: see usage() below and apps/server/README.md.

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/signal_set.hpp>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>  // malloc_trim
#endif

#include "book_import.h"
#include "crash_before_commit.h"
#include "desk.h"
#include "log_file.h"
#include "metrics_endpoint.h"
#include "orvane/asio/asio_listener.h"
#include "orvane/asio/asio_timer.h"
#include "orvane/core/clock.h"
#include "orvane/core/error.h"
#include "price_feed.h"
#include "server_config.h"
#include "postgres_store.h"
#include "sqlite_store.h"
#include "thread_password_checks.h"
#include "trading_server.h"

namespace {

using orvane::apps::ConfigError;
using orvane::apps::InputError;
using orvane::apps::LogFile;
using orvane::apps::ServerConfig;
using orvane::apps::ServerConfigReader;

constexpr int kFailed = 1;
constexpr int kBadInput = 2;
constexpr int kBadArguments = 64;
constexpr int kCannotCreate = 73;

void usage() {
  std::cerr << "usage: orvane-server --book FILE [--tape FILE | --ticks N] [--rate N] [--seed N]\n"
               "                     [--wait-sessions N] [--max-connections N]\n"
               "                     [--multi-sessions] [--sessions-per-user N]\n"
               "                     [--sessions-per-address N] [--logon-delay-ms N]\n"
               "                     [--logon-delay-max-ms N] [--lockout-failures N]\n"
               "                     [--logon-waiting-max N] [--metrics-port N|none]\n"
               "                     [--rollover HH:MM:SS | --rollover none]\n"
               "                     [--address A] [--port N] [--port-file FILE]\n"
               "                     [--tls-cert FILE --tls-key FILE] [--quiet] [--log FILE]\n"
               "                     [--password-iterations N]\n"
               "                     [--data DIR | --store postgresql://...] [--config FILE]\n";
}

// A file this program could not create (the log, the port file).
class CreateError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The bound port, written for whoever started the server and removed when
// it exits.
class PortFile {
 public:
  PortFile(std::string path, int32_t port) : m_path(std::move(path)) {
    if (m_path.empty()) return;
    std::ofstream out(m_path, std::ios::trunc);
    out << port << "\n";
    out.flush();
    if (!out) {
      const std::string why = errno != 0 ? std::strerror(errno) : "write failed";
      std::remove(m_path.c_str());
      throw CreateError("cannot write the port file " + m_path + ": " + why);
    }
  }
  ~PortFile() {
    if (!m_path.empty()) std::remove(m_path.c_str());
  }
  PortFile(const PortFile&) = delete;
  PortFile& operator=(const PortFile&) = delete;

 private:
  std::string m_path;
};

// Descriptors kept beyond the connections: the log, the listener and its
// reserve, the metrics endpoint, the store, standard streams.
constexpr uint64_t kSpareDescriptors = 64;

// Raises the soft limit of open descriptors (one a connection) to the hard
// limit, says so in the log, and returns the limit now in force.
rlim_t raise_open_file_limit(LogFile& log) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
    log.warn(std::string("cannot read the open file limit: ") + std::strerror(errno));
    return RLIM_INFINITY;
  }
  auto text = [](rlim_t value) {
    return value == RLIM_INFINITY ? std::string("unlimited") : std::to_string(value);
  };
  const rlim_t before = limit.rlim_cur;
  if (limit.rlim_cur == limit.rlim_max) {
    log.info("open files: " + text(before) + " (the hard limit)");
    return before;
  }
  limit.rlim_cur = limit.rlim_max;
  if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
    log.warn("open files: " + text(before) + ", not raised to the hard limit " +
             text(limit.rlim_max) + ": " + std::strerror(errno));
    return before;
  }
  log.info("open files: raised from " + text(before) + " to the hard limit " +
           text(limit.rlim_max));
  return limit.rlim_max;
}

// The connection cap the open file limit allows.
uint64_t connection_cap(uint64_t wanted, rlim_t open_files, LogFile& log) {
  if (open_files == RLIM_INFINITY || open_files >= wanted + kSpareDescriptors) return wanted;
  const uint64_t cap = open_files > 2 * kSpareDescriptors ? open_files - kSpareDescriptors
                                                          : open_files / 2;
  log.warn("connection cap lowered from " + std::to_string(wanted) + " to " +
           std::to_string(cap) + " by the open file limit (" + std::to_string(open_files) + ")");
  return std::max<uint64_t>(cap, 1);
}

// The throttle options of a configuration.
orvane::apps::ThrottleOptions throttle(const ServerConfig& config) {
  orvane::apps::ThrottleOptions throttle;
  throttle.first_delay_ms = static_cast<int64_t>(config.logon_delay_ms);
  throttle.max_delay_ms = static_cast<int64_t>(config.logon_delay_max_ms);
  throttle.lockout_failures = config.lockout_failures;
  return throttle;
}

// Every few seconds after connections went away, the memory their buffers
// held (TLS handshakes, read and send buffers: small blocks the allocator
// keeps) is given back to the system, so that a flood of connections does
// not leave the server at its peak.
std::shared_ptr<orvane::ITimer> return_freed_memory(orvane::ITimerFactory& timers,
                                                  const orvane::apps::TradingServer& server) {
  constexpr int32_t kTrimMs = 5000;
  auto timer = timers.CreateTimer();
  timer->Interval(kTrimMs);
  timer->OnTick([&server, gone = uint64_t{0}]() mutable {
    const orvane::apps::GatewayStats& stats = server.gateway().stats();
    const uint64_t now_gone =
        stats.connections_closed + stats.connections_dropped + stats.connections_refused;
    if (now_gone == gone) return;
    gone = now_gone;
#ifdef __GLIBC__
    malloc_trim(0);
#endif
  });
  timer->Enabled(true);
  return timer;
}

std::string signal_name(int signal) {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    case SIGUSR1: return "SIGUSR1";
  }
  return "signal " + std::to_string(signal);
}

// The run of a started server: signals and reloads.
class Service {
 public:
  Service(asio::io_context& io, asio::signal_set& signals, LogFile& log,
          const ServerConfigReader& reader, ServerConfig config)
      : m_io(io), m_signals(signals), m_log(log), m_reader(reader), m_config(std::move(config)) {}

  void serve(orvane::apps::TradingServer& server) {
    m_server = &server;
    wait();
  }

  // The server stopped itself.
  void halted(const std::string& reason) { stop("store failed: " + reason, kFailed); }

  const std::string& why() const { return m_why; }
  int code() const { return m_code; }

 private:
  void wait() {
    m_signals.async_wait([this](const std::error_code& error, int signal) {
      if (error) return;
      if (signal == SIGHUP) {
        reload();
      } else if (signal == SIGUSR1) {
        status();
      } else {
        return stop(signal_name(signal), 0);
      }
      wait();
    });
  }

  void stop(const std::string& why, int code) {
    if (!m_why.empty()) return;
    m_why = why;
    m_code = code;
    m_log.write(code == 0 ? LogFile::Level::kInfo : LogFile::Level::kError, "stopping: " + why);
    m_signals.cancel();
    if (m_server != nullptr) m_server->stop();
    m_io.stop();
  }

  // SIGHUP: the log opened again by name (logrotate has moved it), then the
  // configuration file read again.
  void reload() {
    if (const std::string error = m_log.reopen(); !error.empty()) m_log.error(error);
    m_log.info("SIGHUP: log reopened" + std::string(m_reader.file().empty()
                                                        ? ""
                                                        : ", reading " + m_reader.file()));
    if (const size_t lifted = m_server->gateway().lift_lock_outs(); lifted > 0) {
      m_log.info("log-on lock-outs lifted: " + std::to_string(lifted) + " users");
    }
    if (m_reader.file().empty()) return;
    ServerConfig next;
    try {
      next = m_reader.read();
    } catch (const std::exception& e) {
      m_log.error(std::string("configuration not reloaded: ") + e.what());
      return;
    }
    for (const std::string_view key : ServerConfigReader::changed(m_config, next)) {
      const std::string value = ServerConfigReader::text(next, key);
      if (!ServerConfigReader::changes_at_run_time(key)) {
        m_log.warn(std::string(key) + " = " + value +
                   " takes effect when the server starts again");
        continue;
      }
      if (key == "log") {
        if (const std::string error = m_log.open(next.log); !error.empty()) {
          m_log.error(error);
          continue;
        }
        m_config.log = next.log;
      } else if (key == "quiet") {
        m_server->log_engine(!next.quiet);
        m_config.quiet = next.quiet;
      } else {
        m_config.logon_delay_ms = next.logon_delay_ms;
        m_config.logon_delay_max_ms = next.logon_delay_max_ms;
        m_config.lockout_failures = next.lockout_failures;
        m_server->gateway().throttle(throttle(m_config));
      }
      m_log.info(std::string(key) + " = " + value + " from now on");
    }
  }

  // SIGUSR1: one line of what the server is doing.
  void status() {
    m_log.info("status: " + std::to_string(m_server->connections()) + " connections, " +
               std::to_string(m_server->logged_on_sessions()) + " sessions logged on, " +
               std::to_string(m_server->quotes_applied()) + " quotes applied, " +
               std::to_string(m_server->prices_sent()) + " prices sent, feed " +
               (m_server->feed_ended() ? "ended" : "not ended") + ", " +
               std::to_string(m_log.lost_lines()) + " log lines lost");
  }

  asio::io_context& m_io;
  asio::signal_set& m_signals;
  LogFile& m_log;
  const ServerConfigReader& m_reader;
  ServerConfig m_config;
  orvane::apps::TradingServer* m_server = nullptr;
  std::string m_why;
  int m_code = 0;
};

int run(const ServerConfigReader& reader, const ServerConfig& config,
        std::optional<uint64_t> crash_at_commit, LogFile& log) {
  log.info("orvane-server starting, process " + std::to_string(getpid()) +
           (reader.file().empty() ? "" : ", configuration " + reader.file()));
  const rlim_t open_files = raise_open_file_limit(log);

  // Signals are taken from now on; they are handled once the server runs.
  asio::io_context io;
  asio::signal_set signals(io, SIGINT, SIGTERM, SIGHUP);
  signals.add(SIGUSR1);
  Service service(io, signals, log, reader, config);

  // The store, and how the log names it (never with a password).
  std::unique_ptr<orvane::apps::DurableStore> store;
  std::string store_name;
  if (!config.data.empty()) {
    store = orvane::apps::SqliteStore::open(config.data);
    store_name = config.data;
  } else if (!config.store.empty()) {
    auto postgres = orvane::apps::PostgresStore::open(config.store);
    store_name = postgres->where();
    store = std::move(postgres);
  }
  const bool seeding = !store || store->empty();
  if (seeding && config.book.empty()) {
    throw CreateError("the store " + store_name + " holds no book yet: give --book to seed it");
  }
  if (!seeding && !config.book.empty()) {
    log.warn("the store " + store_name + " holds a book already; " + config.book +
             " is not read");
  }
  // The symbols the feed walks or the tape names: the book's, or the store's.
  orvane::apps::model::Snapshot book =
      seeding ? orvane::apps::import_book(orvane::apps::read_file(config.book), config.book)
              : store->load_state();
  orvane::apps::PriceFeed feed =
      config.tape.empty()
          ? orvane::apps::PriceFeed::random_walk(book, config.seed, config.rate, config.ticks)
          : orvane::apps::PriceFeed::from_tape(
                orvane::apps::import_tape(orvane::apps::read_file(config.tape), config.tape, book));
  if (store && seeding) {
    const orvane::apps::StoreStatus seeded =
        store->seed(orvane::apps::seed_book(book, feed, config.password_iterations));
    if (!seeded.ok()) throw CreateError("cannot seed the store: " + seeded.message());
    log.info("store " + store_name + " seeded from " + config.book + ": " +
             std::to_string(book.accounts.size()) + " accounts, " +
             std::to_string(book.positions.size()) + " positions");
  } else if (store) {
    log.info("store " + store_name + ": " + std::to_string(book.accounts.size()) +
             " accounts, " + std::to_string(book.positions.size()) +
             " positions, market time " + book.market_time_text);
  }
  // Crash tests end the process at a chosen commit of the running server.
  std::unique_ptr<orvane::apps::CrashBeforeCommit> crashing;
  if (crash_at_commit && store) {
    crashing = std::make_unique<orvane::apps::CrashBeforeCommit>(*store, *crash_at_commit);
    log.warn(std::string(orvane::apps::CrashBeforeCommit::kVariable) + "=" +
             std::to_string(*crash_at_commit) + ": the process is killed at that commit");
  } else if (crash_at_commit) {
    log.warn(std::string(orvane::apps::CrashBeforeCommit::kVariable) +
             " is ignored: the server keeps no store");
  }
  orvane::apps::Store* const server_store =
      crashing ? static_cast<orvane::apps::Store*>(crashing.get()) : store.get();
  auto clock = std::make_shared<orvane::FixedClock>();
  orvane::ScopedClock scoped(clock);

  orvane::apps::ServerOptions options;
  options.rate = config.rate;
  options.start_after_sessions = config.wait_sessions;
  options.gateway.max_sessions_per_address = config.sessions_per_address;
  options.gateway.max_connections = connection_cap(config.max_connections, open_files, log);
  options.gateway.multi_sessions_allowed = config.multi_sessions;
  options.gateway.max_sessions_per_user = config.sessions_per_user;
  options.gateway.throttle = throttle(config);
  options.gateway.max_waiting_log_ons = config.logon_waiting_max;
  orvane::apps::ThreadPasswordChecks password_checks(io);
  options.gateway.password_checks = &password_checks;
  options.gateway.password_iterations = config.password_iterations;
  options.log_engine = !config.quiet;
  options.rules.rollover_seconds = config.rollover;
  options.gateway.log = [&log](const std::string& line) { log.info(line); };
  options.gateway.warn = [&log](const std::string& line) { log.warn(line); };
  options.halted = [&service](const std::string& reason) { service.halted(reason); };
  orvane::TlsOptions tls;
  if (!config.tls_cert.empty()) {
    tls.enabled = true;
    tls.certificate_file = config.tls_cert;
    tls.private_key_file = config.tls_key;
  }
  const auto started = std::chrono::steady_clock::now();
  orvane::apps::ServerEnvironment environment{
      std::make_shared<orvane::AsioListener>(io, tls),
      std::make_shared<orvane::AsioTimerFactory>(io),
      [started] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - started)
            .count();
      },
      server_store,
      [&io](std::function<void()> task) { asio::post(io, std::move(task)); }};
  // The desk starts from the state just read instead of reading the store
  // again; the server reads `book` only when it has no store.
  orvane::apps::ServerEnvironment server_environment = environment;
  if (store && !seeding) server_environment.loaded = std::move(book);
  orvane::apps::TradingServer server(book, std::move(feed), clock, std::move(server_environment),
                                     options);
  const int32_t port = server.start(config.address, config.port);
  if (tls.enabled) {
    log.info("connections need TLS");
  } else if (config.address.rfind("127.", 0) != 0 && config.address != "::1" &&
             config.address != "localhost") {
    log.warn("listening on " + config.address + ":" + std::to_string(port) +
             " without TLS: passwords and orders cross the network unencrypted");
  }
  std::unique_ptr<orvane::apps::MetricsEndpoint> metrics;
  if (config.metrics_port) {
    metrics = std::make_unique<orvane::apps::MetricsEndpoint>(
        std::make_shared<orvane::AsioListener>(io), environment.timers,
        [&server] { return server.metrics().render(); },
        [&server] { return server.running(); });
    const int32_t metrics_port = metrics->listen("127.0.0.1", *config.metrics_port);
    log.info("metrics on http://127.0.0.1:" + std::to_string(metrics_port) +
             "/metrics, health on /health");
  }
  const std::shared_ptr<orvane::ITimer> trim = return_freed_memory(*environment.timers, server);
  const PortFile port_file(config.port_file, port);
  service.serve(server);
  io.run();
  log.info(std::to_string(server.quotes_applied()) + " quotes applied, " +
           std::to_string(server.prices_sent()) + " prices sent");
  return service.code();
}

}  // namespace

int main(int argc, char** argv) {
  // A log piped to a reader that has gone fails its writes instead of
  // killing the server.
  std::signal(SIGPIPE, SIG_IGN);

  std::optional<ServerConfigReader> reader;
  ServerConfig config;
  std::optional<uint64_t> crash_at_commit;
  try {
    reader.emplace(std::vector<std::string>(argv + 1, argv + argc));
    config = reader->read();
    crash_at_commit = orvane::apps::CrashBeforeCommit::commit_from_environment(
        std::getenv(orvane::apps::CrashBeforeCommit::kVariable));
  } catch (const ConfigError& e) {
    std::cerr << "orvane-server: " << e.what() << "\n";
    usage();
    return kBadArguments;
  } catch (const std::invalid_argument& e) {
    std::cerr << "orvane-server: " << e.what() << "\n";
    return kBadArguments;
  }
  LogFile log;
  if (const std::string error = log.open(config.log); !error.empty()) {
    std::cerr << "orvane-server: " << error << "\n";
    return kCannotCreate;
  }
  // A failure to start is told on standard error too when the log is a file.
  auto fail = [&](const std::string& what, int code) {
    log.error("stopping: " + what);
    if (!log.path().empty()) std::cerr << "orvane-server: " << what << "\n";
    return code;
  };
  try {
    return run(*reader, config, crash_at_commit, log);
  } catch (const InputError& e) {
    return fail(e.what(), kBadInput);
  } catch (const CreateError& e) {
    return fail(e.what(), kCannotCreate);
  } catch (const std::exception& e) {
    return fail(e.what(), kFailed);
  }
}
