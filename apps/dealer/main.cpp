// orvane-dealer: the broker's dealer terminal. Usage: see usage() below and
// apps/dealer/README.md.

#include <unistd.h>

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/read_until.hpp>
#include <asio/steady_timer.hpp>
#include <asio/streambuf.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "dealer.h"
#include "dealer_command.h"
#include "exit_codes.h"
#include "orvane/asio/asio_timer.h"
#include "orvane/connection/tcp_client_environment.h"
#include "orvane/core/clock.h"
#include "orvane/core/conversions.h"
#include "orvane/io/tls_options.h"
#include "secrets.h"
#include "strict_number.h"

namespace {

using orvane::apps::Comparison;
using orvane::apps::Dealer;
using orvane::apps::DealerCommand;
using orvane::apps::StrictNumber;

namespace exit_code = orvane::apps::exit_code;
// How long the server's figures may take once the run ends.
constexpr int kCompareSeconds = 10;

void usage() {
  std::cerr << "usage: orvane-dealer --port N --user NAME [--password-file FILE] [--host H]\n"
               "                     [--ca FILE [--server-name NAME]] [--seconds T] [--prompt]\n"
               "                     [--policy accept|reject|requote:POINTS|silent]"
               " [--like CLIENT]\n"
               "The password is the first line of --password-file, or $ORVANE_PASSWORD, or\n"
               "typed in (not echoed) when the input is a terminal.\n"
               "--policy answers every order sent to the dealer by itself (default silent).\n"
               "--seconds T ends the run after T seconds; the input ending or quit ends it too.\n"
               "At the end it prints its figures and compares them with the server's.\n"
               "With --prompt it takes commands typed in:\n"
            << orvane::apps::kDealerHelp;
}

std::string cents(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", orvane::RoundMoney(value));
  return text;
}

struct Arguments {
  orvane::apps::TerminalOptions options;
  orvane::TlsOptions tls;
  orvane::apps::DealerPolicy policy;
  std::string like;
  double seconds = 0;
  bool prompt = false;
  std::string password_file;
};

void read_password(Arguments& a) {
  auto& o = a.options;
  if (!a.password_file.empty()) {
    o.password = orvane::apps::read_secret_file(a.password_file);
  } else if (const char* env = std::getenv("ORVANE_PASSWORD"); env && *env) {
    o.password = env;
  } else if (auto typed = orvane::apps::prompt_secret("password for " + o.username + ": ",
                                                      STDIN_FILENO)) {
    o.password = *typed;
  } else {
    throw std::invalid_argument(
        "no password: give --password-file FILE or ORVANE_PASSWORD, or run it at a terminal");
  }
}

void parse(int argc, char** argv, Arguments& a) {
  auto& o = a.options;
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument(flag + " needs a value");
      return argv[++i];
    };
    if (flag == "--host") o.host = value();
    else if (flag == "--port")
      o.port = static_cast<int32_t>(StrictNumber::integer(flag, value(), 1, 65535));
    else if (flag == "--user") o.username = value();
    else if (flag == "--password-file") a.password_file = value();
    else if (flag == "--ca") a.tls.enabled = true, a.tls.ca_file = value();
    else if (flag == "--server-name") a.tls.server_name = value();
    else if (flag == "--seconds") a.seconds = StrictNumber::real(flag, value(), 0, 1e7);
    else if (flag == "--prompt") a.prompt = true;
    else if (flag == "--policy") a.policy = orvane::apps::read_dealer_policy(value());
    else if (flag == "--like") a.like = value();
    else throw std::invalid_argument("unknown argument " + flag);
  }
  if (o.port <= 0 || o.username.empty()) {
    throw std::invalid_argument("--port and --user are required");
  }
  read_password(a);
}

// Runs the dealer, shows what it says, takes the prompt's commands, and at
// the end prints the figures and compares them with the server's.
class Runner : public orvane::apps::DealerEvents {
 public:
  Runner(asio::io_context& io, const Arguments& args)
      : m_io(io), m_args(args), m_timers(io), m_deadline(io), m_input(io) {
    m_clock = std::make_shared<orvane::FixedClock>(orvane::Now());
    m_dealer = std::make_unique<Dealer>(orvane::AsioTcpClientEnvironment(io, args.tls), m_timers,
                                        args.options, args.policy, m_clock, this);
    m_commands = std::make_unique<orvane::apps::DealerCommandRunner>(*m_dealer, args.like);
    if (args.prompt) m_input.assign(dup(STDIN_FILENO));
  }

  int run() {
    orvane::ScopedClock scoped(m_clock);
    m_dealer->connect();
    if (m_args.prompt) read_line();
    if (m_args.seconds > 0) {
      m_deadline.expires_after(
          std::chrono::milliseconds(static_cast<int64_t>(m_args.seconds * 1000)));
      m_deadline.async_wait([this](const std::error_code& e) {
        if (!e) end();
      });
    }
    m_io.run();
    return m_exit;
  }

  void log(const std::string& line) override { say(line); }
  void ready() override { say("ready: " + std::to_string(m_dealer->risks().size()) + " accounts"); }
  void refused(const std::string& reason) override {
    say("log-on refused: " + reason);
    m_exit = exit_code::kRefused;
    finish();
  }
  void load_failed(const std::string& reason) override {
    say(reason);
    m_exit = exit_code::kLoadFailed;
    finish();
  }
  void arrived(const orvane::apps::wire::Negotiation& n) override {
    if (m_args.prompt && m_args.policy.kind == orvane::apps::DealerPolicy::Kind::kSilent) {
      say("answer it: accept " + std::to_string(n.id) + " | reject " + std::to_string(n.id) +
          " | requote " + std::to_string(n.id) + " PRICE");
    }
  }
  void checked(const std::vector<Comparison>& comparisons) override {
    if (!m_ending) print();
    bool equal = true;
    for (const Comparison& c : comparisons) {
      equal = equal && c.equal();
      say("account " + std::to_string(c.account) + "  dealer: balance " +
          cents(c.terminal.balance) + " equity " + cents(c.terminal.equity) + "  server: balance " +
          cents(c.server.balance) + " equity " + cents(c.server.equity) +
          (c.equal() ? "  equal" : "  DIFFERENT"));
    }
    say("compared " + std::to_string(comparisons.size()) + " account(s) with the server: " +
        (equal ? "all equal to the cent" : "MISMATCH"));
    if (!equal) m_exit = exit_code::kMismatch;
    finish();
  }

 private:
  void say(const std::string& line) { std::cerr << "dealer: " << line << "\n"; }

  void print() {
    std::cout << m_commands->accounts() << m_commands->orders() << "\n"
              << m_commands->exposure() << std::flush;
  }

  // The run ends: the figures, then the server's to compare them with.
  void end() {
    if (m_ending) return;
    m_ending = true;
    if (m_input.is_open()) m_input.close();
    print();
    if (!m_dealer->compare_with_server()) {
      say("not connected: nothing to compare");
      m_exit = exit_code::kTimedOut;
      return finish();
    }
    m_deadline.expires_after(std::chrono::seconds(kCompareSeconds));
    m_deadline.async_wait([this](const std::error_code& e) {
      if (e) return;
      say("gave up: the server's figures did not come");
      m_exit = exit_code::kTimedOut;
      finish();
    });
  }

  void read_line() {
    asio::async_read_until(m_input, m_typed, '\n', [this](const std::error_code& e, size_t) {
      if (e) return end();  // the input ended
      std::istream in(&m_typed);
      std::string line;
      std::getline(in, line);
      try {
        const auto command = orvane::apps::read_dealer_command(line);
        if (command && command->verb == DealerCommand::Verb::kQuit) return end();
        if (command) std::cout << m_commands->run(*command) << "\n" << std::flush;
      } catch (const std::invalid_argument& error) {
        say(std::string("not understood: ") + error.what());
      }
      read_line();
    });
  }

  void finish() {
    m_deadline.cancel();
    if (m_input.is_open()) m_input.close();
    m_dealer->disconnect();
    m_io.stop();
  }

  asio::io_context& m_io;
  const Arguments& m_args;
  std::shared_ptr<orvane::FixedClock> m_clock;
  orvane::AsioTimerFactory m_timers;
  std::unique_ptr<Dealer> m_dealer;
  std::unique_ptr<orvane::apps::DealerCommandRunner> m_commands;
  asio::steady_timer m_deadline;
  asio::posix::stream_descriptor m_input;
  asio::streambuf m_typed;
  bool m_ending = false;
  int m_exit = 0;
};

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  try {
    parse(argc, argv, args);
  } catch (const std::exception& e) {
    std::cerr << "orvane-dealer: " << e.what() << "\n";
    usage();
    return exit_code::kBadArguments;
  }
  if (!args.tls.enabled && !orvane::apps::is_loopback_host(args.options.host)) {
    std::cerr << "orvane-dealer: WARNING: connecting to " << args.options.host
              << " over plain TCP (no --ca): the password crosses the network unencrypted\n";
  }
  try {
    asio::io_context io;
    Runner runner(io, args);
    return runner.run();
  } catch (const std::exception& e) {
    std::cerr << "orvane-dealer: " << e.what() << "\n";
    return 1;
  }
}
