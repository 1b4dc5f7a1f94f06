// orvane-server: the reference trading server over a book and a tape or a
// random walk. Usage: see Usage() below and apps/server/README.md.

#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "book_import.h"
#include "desk.h"
#include "orvane/connection/asio_listener.h"
#include "orvane/connection/asio_timer.h"
#include "orvane/core/clock.h"
#include "orvane/core/error.h"
#include "price_feed.h"
#include "time_of_day.h"
#include "trading_server.h"

namespace {

using orvane::apps::InputError;

constexpr int kBadInput = 2;
constexpr int kBadArguments = 64;

void Usage() {
  std::cerr << "usage: orvane-server --book FILE [--tape FILE | --ticks N] [--rate N] [--seed N]\n"
               "                     [--wait-sessions N] [--rollover HH:MM:SS | --rollover none]\n"
               "                     [--address A] [--port N] [--port-file FILE]\n"
               "                     [--tls-cert FILE --tls-key FILE] [--quiet]\n"
               "                     [--sessions-per-address N]\n";
}

std::string Stamp() {
  const std::time_t now = std::time(nullptr);
  char text[32];
  std::strftime(text, sizeof text, "%H:%M:%S", std::localtime(&now));
  return text;
}

struct Arguments {
  std::string book, tape, address = "127.0.0.1", port_file, cert, key;
  int port = 0;
  double rate = 50;
  size_t ticks = 0;
  size_t wait_sessions = 0;
  std::optional<size_t> sessions_per_address;
  uint64_t seed = 20270304;
  bool quiet = false;
  std::optional<int32_t> rollover = 22 * 3600;  // seconds after midnight of market time
};

// The daily rollover of market time: HH:MM:SS, or none for no interest.
std::optional<int32_t> Rollover(const std::string& text) {
  if (text == "none") return std::nullopt;
  const auto seconds = orvane::apps::ParseTimeOfDay(text);
  if (!seconds) {
    throw std::invalid_argument("--rollover takes a time HH:MM:SS or none, not '" + text + "'");
  }
  return seconds;
}

bool Parse(int argc, char** argv, Arguments& a) {
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument(flag + " needs a value");
      return argv[++i];
    };
    if (flag == "--book") a.book = value();
    else if (flag == "--tape") a.tape = value();
    else if (flag == "--ticks") a.ticks = std::stoul(value());
    else if (flag == "--rate") a.rate = std::stod(value());
    else if (flag == "--seed") a.seed = std::stoull(value());
    else if (flag == "--address") a.address = value();
    else if (flag == "--port") a.port = std::stoi(value());
    else if (flag == "--port-file") a.port_file = value();
    else if (flag == "--tls-cert") a.cert = value();
    else if (flag == "--tls-key") a.key = value();
    else if (flag == "--wait-sessions") a.wait_sessions = std::stoul(value());
    else if (flag == "--sessions-per-address") a.sessions_per_address = std::stoul(value());
    else if (flag == "--quiet") a.quiet = true;
    else if (flag == "--rollover") a.rollover = Rollover(value());
    else throw std::invalid_argument("unknown argument " + flag);
  }
  if (a.book.empty()) throw std::invalid_argument("--book is required");
  if (a.rate <= 0) throw std::invalid_argument("--rate must be positive");
  if (a.cert.empty() != a.key.empty()) {
    throw std::invalid_argument("--tls-cert and --tls-key go together");
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  try {
    Parse(argc, argv, args);
  } catch (const std::exception& e) {
    std::cerr << "orvane-server: " << e.what() << "\n";
    Usage();
    return kBadArguments;
  }
  try {
    const orvane::apps::model::Snapshot book =
        orvane::apps::ImportBook(orvane::apps::ReadFile(args.book), args.book);
    orvane::apps::PriceFeed feed =
        args.tape.empty()
            ? orvane::apps::PriceFeed::RandomWalk(book, args.seed, args.rate, args.ticks)
            : orvane::apps::PriceFeed::FromTape(
                  orvane::apps::ImportTape(orvane::apps::ReadFile(args.tape), args.tape, book));
    auto clock = std::make_shared<orvane::FixedClock>();
    orvane::ScopedClock scoped(clock);

    orvane::apps::ServerOptions options;
    options.rate = args.rate;
    options.start_after_sessions = args.wait_sessions;
    options.log_engine = !args.quiet;
    options.rules.rollover_seconds = args.rollover;
    if (args.sessions_per_address) {
      options.gateway.max_sessions_per_address = *args.sessions_per_address;
    }
    options.gateway.log = [](const std::string& line) {
      std::cerr << Stamp() << " server: " << line << "\n";
    };
    orvane::TlsOptions tls;
    if (!args.cert.empty()) {
      tls.enabled = true;
      tls.certificate_file = args.cert;
      tls.private_key_file = args.key;
    }
    asio::io_context io;
    const auto started = std::chrono::steady_clock::now();
    orvane::apps::ServerEnvironment environment{
        std::make_shared<orvane::AsioListener>(io, tls),
        std::make_shared<orvane::AsioTimerFactory>(io), [started] {
          return std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - started)
              .count();
        }};
    orvane::apps::TradingServer server(book, std::move(feed), clock, environment, options);
    const int32_t port = server.Start(args.address, args.port);
    if (tls.enabled) options.gateway.log("connections need TLS");
    if (!args.port_file.empty()) {
      std::ofstream(args.port_file) << port << "\n";
    }
    asio::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](const std::error_code&, int) {
      server.Stop();
      io.stop();
    });
    io.run();
    std::cerr << Stamp() << " server: " << server.QuotesApplied() << " quotes applied, "
              << server.PricesSent() << " prices sent\n";
    return 0;
  } catch (const InputError& e) {
    std::cerr << "orvane-server: " << e.what() << "\n";
    return kBadInput;
  } catch (const std::exception& e) {
    std::cerr << "orvane-server: " << e.what() << "\n";
    return 1;
  }
}
