// orvane-terminal: the reference trading terminal (one, or N on one
// io_context for load tests). Usage: see usage() below and
// apps/server/README.md.

#include <unistd.h>

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/read_until.hpp>
#include <asio/streambuf.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <functional>
#include <fstream>
#include <sstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "orvane/asio/asio_timer.h"
#include "orvane/connection/tcp_client_environment.h"
#include "orvane/core/clock.h"
#include "orvane/core/conversions.h"
#include "orvane/io/tls_options.h"
#include "orvane/vocabulary/operation_type_enum.h"
#include "command.h"
#include "exit_codes.h"
#include "secrets.h"
#include "strict_number.h"
#include "terminal.h"

namespace {

using orvane::apps::Command;
using orvane::apps::CommandRunner;
using orvane::apps::StrictNumber;
using orvane::apps::Comparison;
using orvane::apps::Terminal;
using orvane::apps::TerminalOptions;

namespace exit_code = orvane::apps::exit_code;

void usage() {
  std::cerr << "usage: orvane-terminal --port N --user NAME [--password-file FILE] [--host H]\n"
               "                       [--ca FILE [--server-name NAME]]\n"
               "                       [--proxy http|socks4|socks5:HOST:PORT [--proxy-user U"
               " --proxy-password P]]\n"
               "                       [--sessions N [--users-from K]] [--seconds T] [--soak]\n"
               "                       [--handshake-ms N] [--label TEXT]\n"
               "                       [--orders FILE [--order-ms N]] [--prompt]\n"
               "                       [--requotes accept|reject|ask]\n"
               "The password is the first line of --password-file, or $ORVANE_PASSWORD, or\n"
               "typed in (not echoed) when the input is a terminal; --password TEXT works\n"
               "but shows it to every local user.\n"
               "A dealer's new price for an order dealt by hand is accepted (the default),\n"
               "rejected, or, with ask, answered at the prompt: accept ID or reject ID.\n"
               "With --prompt, or when its input is a terminal, it takes orders typed in:\n"
            << orvane::apps::kCommandHelp;
}

std::string requotes(const std::string& text) {
  if (text == "accept" || text == "reject" || text == "ask") return text;
  throw std::invalid_argument("--requotes takes accept, reject or ask, not '" + text + "'");
}

std::string cents(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", orvane::RoundMoney(value));
  return text;
}

std::string level(double ratio) {
  return ratio == 0 ? std::string("-") : cents(ratio * 100) + " %";
}

std::string numbered(const std::string& text, size_t number) {
  const size_t digits = text.find_last_not_of("0123456789") + 1;
  return text.substr(0, digits) + std::to_string(number);
}

struct Arguments {
  TerminalOptions options;
  orvane::TlsOptions tls;  // `enabled` with `ca_file` (and `server_name`) to verify the server
  size_t sessions = 1;
  double seconds = 0;
  // Run for --seconds, then report sessions, prices and sequence gaps
  // instead of waiting for the feed to stop.
  bool soak = false;
  // Session i logs on as the user and password with their trailing number
  // replaced by users_from + i (0: every session as the same user).
  size_t users_from = 0;
  std::string label = "terminal";
  // Orders to place once streaming, one a line, --order-ms apart.
  std::string orders;
  int order_ms = 200;
  // Orders typed in (one session): on --prompt, or when the input is a terminal.
  bool prompt = false;
  // How a dealer's new price is answered: "accept", "reject" or "ask".
  std::string requotes = "accept";
  // Where the password comes from; see read_password.
  bool password_given = false;
  std::string password_file;
};

// The password, from --password-file, --password (with a warning: other
// local users see the command line), $ORVANE_PASSWORD or typed in.
void read_password(Arguments& a) {
  TerminalOptions& o = a.options;
  if (a.password_given && !a.password_file.empty()) {
    throw std::invalid_argument("--password and --password-file: give one");
  }
  if (a.password_given) {
    std::cerr << "orvane-terminal: warning: --password is visible to other local users"
                 " (ps); use --password-file or ORVANE_PASSWORD\n";
  } else if (!a.password_file.empty()) {
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
  if (!o.proxy_password.empty()) {
    std::cerr << "orvane-terminal: warning: --proxy-password is visible to other local users"
                 " (ps)\n";
  }
}

// One line when the password and orders would cross a network unencrypted.
void warn_if_plain(const Arguments& a) {
  if (a.tls.enabled || orvane::apps::is_loopback_host(a.options.host)) return;
  std::cerr << "orvane-terminal: WARNING: connecting to " << a.options.host
            << " over plain TCP (no --ca): the password and every order cross the network"
               " unencrypted\n";
}

void parse_proxy(const std::string& text, TerminalOptions& o) {
  const size_t first = text.find(':');
  const size_t last = text.rfind(':');
  if (first == std::string::npos || first == last) {
    throw std::invalid_argument("--proxy takes KIND:HOST:PORT");
  }
  const std::string kind = text.substr(0, first);
  if (kind == "http") o.proxy_type = orvane::HTTPProxy;
  else if (kind == "socks4") o.proxy_type = orvane::Socks4Proxy;
  else if (kind == "socks5") o.proxy_type = orvane::Socks5Proxy;
  else throw std::invalid_argument("unknown proxy kind " + kind);
  o.proxy = true;
  o.proxy_host = text.substr(first + 1, last - first - 1);
  o.proxy_port = static_cast<int32_t>(
      StrictNumber::integer("--proxy port", text.substr(last + 1), 1, 65535));
}

void parse(int argc, char** argv, Arguments& a) {
  TerminalOptions& o = a.options;
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
    else if (flag == "--password") o.password = value(), a.password_given = true;
    else if (flag == "--password-file") a.password_file = value();
    else if (flag == "--ca") a.tls.enabled = true, a.tls.ca_file = value();
    else if (flag == "--server-name") a.tls.server_name = value();
    else if (flag == "--proxy") parse_proxy(value(), o);
    else if (flag == "--proxy-user") o.proxy_user = value();
    else if (flag == "--proxy-password") o.proxy_password = value();
    else if (flag == "--sessions")
      a.sessions = StrictNumber::unsigned_number(flag, value(), 100000);
    else if (flag == "--seconds") a.seconds = StrictNumber::real(flag, value(), 0, 1e7);
    else if (flag == "--label") a.label = value();
    else if (flag == "--soak") a.soak = true;
    else if (flag == "--handshake-ms")
      o.handshake_ms = static_cast<int32_t>(StrictNumber::integer(flag, value(), 1, 3600000));
    else if (flag == "--users-from")
      a.users_from = StrictNumber::unsigned_number(flag, value(), 1000000000);
    else if (flag == "--orders") a.orders = value();
    else if (flag == "--order-ms")
      a.order_ms = static_cast<int>(StrictNumber::integer(flag, value(), 1, 3600000));
    else if (flag == "--prompt") a.prompt = true;
    else if (flag == "--requotes") a.requotes = requotes(value());
    else throw std::invalid_argument("unknown argument " + flag);
  }
  if (o.port <= 0 || o.username.empty()) throw std::invalid_argument("--port and --user are required");
  if (a.sessions == 0) throw std::invalid_argument("--sessions must be at least 1");
  read_password(a);
  if (a.soak && a.seconds <= 0) throw std::invalid_argument("--soak needs --seconds");
  if (!a.orders.empty() && a.sessions != 1) {
    throw std::invalid_argument("--orders takes one session");
  }
  if (a.order_ms < 1) throw std::invalid_argument("--order-ms must be at least 1");
  if (a.prompt && a.sessions != 1) throw std::invalid_argument("--prompt takes one session");
  if (!a.prompt && a.sessions == 1 && a.orders.empty() && !a.soak && isatty(STDIN_FILENO) == 1) {
    a.prompt = true;
  }
}

// A script of orders in the terminal's order language (see command.h), one
// a line. One order at a time: the next goes once the last is answered and
// --order-ms have passed. A re-quote is taken once, at the current price.
class OrderScript {
 public:
  static std::vector<Command> read(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::invalid_argument(path + ": cannot be read");
    std::vector<Command> steps;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
      ++number;
      try {
        if (auto command = orvane::apps::read_command(line)) steps.push_back(*command);
      } catch (const std::invalid_argument& e) {
        throw std::invalid_argument(path + ":" + std::to_string(number) + ": " + e.what());
      }
    }
    return steps;
  }

  OrderScript(std::vector<Command> steps, CommandRunner& runner,
              std::function<void(const std::string&)> say)
      : m_steps(std::move(steps)), m_runner(runner), m_say(std::move(say)) {}

  bool done() const { return m_next >= m_steps.size() && m_waiting == 0; }

  // Runs the next step when no order is outstanding.
  void tick() {
    if (m_waiting != 0 || m_next >= m_steps.size()) return;
    std::string said;
    m_waiting = m_runner.run(m_steps[m_next], said);
    if (m_waiting == 0 && said == "not connected yet") return;
    if (!said.empty()) m_say(said);
    m_requoted = false;
    ++m_next;
  }

  void answered(const orvane::apps::wire::OrderAnswer& answer) {
    if (answer.number != m_waiting) return;
    m_waiting = 0;
    if (answer.code == orvane::apps::kRequote && !m_requoted) {
      m_requoted = true;
      std::string said;
      m_waiting = m_runner.run(m_steps[m_next - 1], said, answer.number);
    }
  }

 private:
  std::vector<Command> m_steps;
  CommandRunner& m_runner;
  std::function<void(const std::string&)> m_say;
  size_t m_next = 0;
  int32_t m_waiting = 0;
  bool m_requoted = false;
};

// Runs the terminals, shows their progress, and ends the run when every one
// has compared its figures (or the time is up).
class Runner : public orvane::apps::TerminalEvents {
 public:
  Runner(asio::io_context& io, const Arguments& args)
      : m_io(io),
        m_args(args),
        m_tty(isatty(STDERR_FILENO) == 1),
        m_timers(io),
        m_display(io),
        m_deadline(io),
        m_stagger(io),
        m_pacing(io),
        m_input(io) {
    auto clock = std::make_shared<orvane::FixedClock>(orvane::Now());
    m_clock = clock;
    for (size_t i = 0; i < args.sessions; ++i) {
      TerminalOptions options = args.options;
      if (args.users_from > 0) {
        options.username = numbered(options.username, args.users_from + i);
        options.password = numbered(options.password, args.users_from + i);
      }
      m_terminals.push_back(std::make_unique<Terminal>(
          orvane::AsioTcpClientEnvironment(io, args.tls), m_timers, options, clock, this));
    }
    if (args.sessions == 1) m_commands = std::make_unique<CommandRunner>(*m_terminals[0]);
    if (!args.orders.empty()) {
      m_script = std::make_unique<OrderScript>(OrderScript::read(args.orders), *m_commands,
                                               [this](const std::string& line) { say(line); });
    }
    if (args.prompt) {
      m_tty = false;  // no status line over what is typed
      m_input.assign(dup(STDIN_FILENO));
    }
  }

  int run() {
    orvane::ScopedClock scoped(m_clock);
    connect_next();
    arm_display();
    if (m_script) arm_script();
    if (m_args.prompt) read_line();
    if (m_args.seconds > 0) {
      m_deadline.expires_after(std::chrono::milliseconds(static_cast<int64_t>(m_args.seconds * 1000)));
      m_deadline.async_wait([this](const std::error_code& e) {
        if (e) return;
        if (m_args.soak) return soak_report();
        say("gave up: no figures to compare after " + cents(m_args.seconds) + " s");
        m_exit = exit_code::kTimedOut;
        finish();
      });
    }
    m_io.run();
    return m_exit;
  }

  void log(const std::string& line) override {
    const bool drop = line.rfind("disconnected", 0) == 0 || line.rfind("server error", 0) == 0;
    if (m_args.sessions == 1 || drop) say(line);
  }
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
  void order_answered(const orvane::apps::wire::OrderAnswer& answer) override {
    if (m_commands) m_commands->answered(answer.number, answer.code, answer.ticket);
    if (m_script) m_script->answered(answer);
    if (m_args.prompt && answer.code == orvane::apps::kRequote) {
      say("re-quoted: the price moved; type the order again to take " +
          orvane::apps::wire::number(answer.price));
    }
  }
  void history_read(int32_t account,
                   const std::vector<orvane::apps::model::HistoryEntry>& entries) override {
    say("history of account " + std::to_string(account) + ", " +
        std::to_string(entries.size()) + " entries:\n" +
        orvane::apps::describe_history(*m_terminals[0]->desk(), entries));
  }
  void checked(const std::vector<Comparison>& comparisons) override {
    if (m_args.soak) return;
    for (const Comparison& c : comparisons) {
      if (!c.equal()) m_exit = exit_code::kMismatch;
      if (m_args.sessions > 1 && c.equal()) continue;
      say("account " + std::to_string(c.account) + "  terminal: balance " +
          cents(c.terminal.balance) + " equity " + cents(c.terminal.equity) + " margin level " +
          level(c.terminal.margin_level) + "  server: balance " + cents(c.server.balance) +
          " equity " + cents(c.server.equity) + " margin level " + level(c.server.margin_level) +
          (c.equal() ? "  equal" : "  DIFFERENT"));
    }
    m_compared += comparisons.size();
    if (++m_checked == m_terminals.size()) {
      say(std::to_string(m_checked) + " terminal(s) compared " + std::to_string(m_compared) +
          " account(s) with the server: " + (m_exit == 0 ? "all equal" : "MISMATCH"));
      finish();
    }
  }

 private:
  void say(const std::string& line) {
    if (m_tty && m_status_shown) std::cerr << "\r\033[K";
    m_status_shown = false;
    std::cerr << m_args.label << ": " << line << "\n";
  }

  void arm_display() {
    m_display.expires_after(std::chrono::milliseconds(m_tty ? 250 : m_args.soak ? 60000 : 1000));
    m_display.async_wait([this](const std::error_code& e) {
      if (e) return;
      show_status();
      arm_display();
    });
  }

  // Takes the orders typed in, a line at a time, until the input ends.
  void read_line() {
    asio::async_read_until(m_input, m_typed, '\n', [this](const std::error_code& e, size_t) {
      if (e) return;
      std::istream in(&m_typed);
      std::string line;
      std::getline(in, line);
      if (answer_typed(line)) return read_line();
      try {
        const auto command = orvane::apps::read_command(line);
        if (command && command->verb == Command::Verb::kQuit) return finish();
        std::string said;
        if (command) m_commands->run(*command, said);
        if (!said.empty()) say(said);
      } catch (const std::invalid_argument& error) {
        say(std::string("not understood: ") + error.what());
      }
      read_line();
    });
  }

  // "accept ID" or "reject ID": the answer to a dealer's new price.
  bool answer_typed(const std::string& line) {
    std::istringstream in(line);
    std::string verb, rest;
    int32_t id = 0;
    if (!(in >> verb) || (verb != "accept" && verb != "reject")) return false;
    if (!(in >> id) || (in >> rest)) {
      say("not understood: " + verb + " takes the negotiation's number");
    } else if (!m_terminals[0]->answer_requote(id, verb == "accept")) {
      say("not connected yet");
    }
    return true;
  }

  void negotiating(orvane::TokensEnum what,
                   const orvane::apps::wire::Negotiation& negotiation) override {
    if (what != orvane::DLR_CHANGE_MARKET_ORDER_TOKEN) return;
    const std::string price = orvane::apps::wire::number(negotiation.dealer_price);
    const std::string id = std::to_string(negotiation.id);
    if (m_args.requotes == "ask") {
      return say("the dealer offers " + price + " for order " + std::to_string(negotiation.number) +
                 ": type accept " + id + " or reject " + id);
    }
    for (auto& terminal : m_terminals) {
      if (terminal->client_id() == negotiation.client) {
        terminal->answer_requote(negotiation.id, m_args.requotes == "accept");
      }
    }
    say((m_args.requotes == "accept" ? "accepted" : "rejected") + std::string(" the dealer's ") +
        price + " for order " + std::to_string(negotiation.number));
  }

  void arm_script() {
    m_pacing.expires_after(std::chrono::milliseconds(m_args.order_ms));
    m_pacing.async_wait([this](const std::error_code& e) {
      if (e) return;
      m_script->tick();
      if (!m_script->done()) arm_script();
    });
  }
  void show_status() {
    size_t streaming = 0, prices = 0;
    for (auto& t : m_terminals) {
      streaming += t->phase() == Terminal::Phase::kStreaming;
      prices += t->prices_received();
    }
    std::string line = std::to_string(streaming) + "/" + std::to_string(m_terminals.size()) +
                       " streaming, " + std::to_string(prices) + " prices";
    if (m_terminals.size() == 1) {
      for (const auto& [account, f] : m_terminals.front()->figures()) {
        line += " | " + std::to_string(account) + ": balance " + cents(f.balance) + " equity " +
                cents(f.equity) + " margin " + level(f.margin_level);
      }
    }
    if (m_tty) {
      std::cerr << "\r\033[K" << m_args.label << ": " << line.substr(0, 200) << std::flush;
      m_status_shown = true;
    } else if (prices != m_last_prices) {
      std::cerr << m_args.label << ": " << line << "\n";
    }
    m_last_prices = prices;
  }

  // Sessions connect 50 at a time, so that a thousand log-ons do not queue
  // up behind each other past the handshake interval.
  void connect_next() {
    for (size_t i = 0; i < 50 && m_connected < m_terminals.size(); ++i) {
      m_terminals[m_connected++]->connect();
    }
    if (m_connected == m_terminals.size()) return;
    m_stagger.expires_after(std::chrono::milliseconds(50));
    m_stagger.async_wait([this](const std::error_code& e) {
      if (!e) connect_next();
    });
  }

  void soak_report() {
    size_t streaming = 0, prices = 0, gaps = 0, logons = 0;
    for (auto& t : m_terminals) {
      streaming += t->phase() == Terminal::Phase::kStreaming;
      prices += t->prices_received();
      gaps += t->sequence_gaps();
      logons += t->logons();
    }
    say("soak: " + std::to_string(streaming) + "/" + std::to_string(m_terminals.size()) +
        " sessions streaming, " + std::to_string(prices) + " prices received, " +
        std::to_string(gaps) + " sequence gaps, " + std::to_string(logons) + " log-ons");
    if (gaps != 0 || streaming != m_terminals.size()) m_exit = exit_code::kSoakFailed;
    finish();
  }

  void finish() {
    m_display.cancel();
    m_deadline.cancel();
    m_stagger.cancel();
    m_pacing.cancel();
    if (m_input.is_open()) m_input.close();
    for (auto& t : m_terminals) t->disconnect();
    m_io.stop();
  }

  asio::io_context& m_io;
  const Arguments& m_args;
  bool m_tty;
  bool m_status_shown = false;
  std::shared_ptr<orvane::FixedClock> m_clock;
  orvane::AsioTimerFactory m_timers;
  std::vector<std::unique_ptr<Terminal>> m_terminals;
  asio::steady_timer m_display;
  asio::steady_timer m_deadline;
  asio::steady_timer m_stagger;
  asio::steady_timer m_pacing;
  asio::posix::stream_descriptor m_input;
  asio::streambuf m_typed;
  std::unique_ptr<CommandRunner> m_commands;
  std::unique_ptr<OrderScript> m_script;
  size_t m_connected = 0;
  size_t m_checked = 0;
  size_t m_compared = 0;
  size_t m_last_prices = 0;
  int m_exit = 0;
};

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  try {
    parse(argc, argv, args);
  } catch (const std::exception& e) {
    std::cerr << "orvane-terminal: " << e.what() << "\n";
    usage();
    return exit_code::kBadArguments;
  }
  warn_if_plain(args);
  try {
    asio::io_context io;
    Runner runner(io, args);
    return runner.run();
  } catch (const std::exception& e) {
    std::cerr << "orvane-terminal: " << e.what() << "\n";
    return 1;
  }
}
