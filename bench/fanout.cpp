// Price fan-out from the reference server to N terminal sessions on
// loopback, end to end: the server applies each quote to its engine, builds
// the symbol's raw price once and sends the same bytes to every session that
// started the market; each terminal splits, parses and applies it to its own
// engine, which adds the client's spread. The reference pushes the same
// number of messages of about that length through raw Asio sockets that only
// count terminators. Everything runs on one thread, as `orvane-terminal
// --sessions N` does. Both report the heap allocations per delivered
// message (counted by the operator new below), server and terminals
// together.

#include <sys/resource.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <asio.hpp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "book_import.h"
#include "orvane/asio/asio_listener.h"
#include "orvane/asio/asio_timer.h"
#include "orvane/connection/tcp_client_environment.h"
#include "orvane/core/clock.h"
#include "orvane/protocol/data_protocol.h"
#include "messages.h"
#include "orvane/protocol/process.h"
#include "price_feed.h"
#include "raw_reader.h"
#include "terminal.h"
#include "trading_server.h"

namespace {

uint64_t g_allocations = 0;

}  // namespace

// Counting replacements of the global allocation functions; kept out of line
// so that the compiler pairs them with each other.
#define ORVANE_BENCH_NOINLINE __attribute__((noinline))

ORVANE_BENCH_NOINLINE void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
ORVANE_BENCH_NOINLINE void* operator new[](std::size_t size) { return operator new(size); }
ORVANE_BENCH_NOINLINE void operator delete(void* p) noexcept { std::free(p); }
ORVANE_BENCH_NOINLINE void operator delete[](void* p) noexcept { std::free(p); }
ORVANE_BENCH_NOINLINE void operator delete(void* p, std::size_t) noexcept { std::free(p); }
ORVANE_BENCH_NOINLINE void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace orvane::apps {
namespace {

constexpr int kQuotesPerRound = 100;

void ReportAllocations(benchmark::State& state, uint64_t allocations, int64_t messages) {
  state.counters["allocs_per_msg"] =
      static_cast<double>(allocations) / static_cast<double>(std::max<int64_t>(messages, 1));
}

// 1,000 sessions need two descriptors each in this one process.
const bool kDescriptorsRaised = [] {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  return true;
}();

const model::Snapshot& SampleBook() {
  static const model::Snapshot book = [] {
    const char* root = std::getenv("ORVANE_SOURCE_DIR");
    const std::string path = std::string(root ? root : ORVANE_DEFAULT_SOURCE_DIR) +
                             "/data/sample_book.txt";
    return import_book(read_file(path), path);
  }();
  return book;
}

// Runs handlers until `done`, asked after at most `every` ready handlers
// (asking may cost as much as a handler when it counts over 1,000
// sessions); waits only when no handler is ready.
void RunUntil(asio::io_context& io, const std::function<bool()>& done, int every = 1) {
  while (!done()) {
    int ran = 0;
    while (ran < every && io.poll_one() > 0) ++ran;
    if (ran == 0) io.run_one();
  }
}

// The reference server on loopback with `sessions` terminals streaming its
// prices, everything on one io_context run by the benchmark's thread.
struct Platform {
  explicit Platform(size_t sessions)
      : clock(std::make_shared<FixedClock>()),
        scoped(clock),
        timers(std::make_shared<AsioTimerFactory>(io)),
        server(SampleBook(), PriceFeed::from_tape({}), clock,
               {std::make_shared<AsioListener>(io), timers, [] { return int64_t{0}; }},
               Options()),
        walk(PriceFeed::random_walk(SampleBook(), 11, 1000, 0)) {
    const model::Snapshot& book = SampleBook();
    port = server.start("127.0.0.1", 0);
    for (size_t i = 0; i < sessions; ++i) {
      const model::User& user = book.users[i % book.users.size()];
      TerminalOptions t;
      t.port = port;
      t.username = user.username;
      t.password = user.password;
      t.handshake_ms = 3600 * 1000;
      terminals.push_back(
          std::make_unique<Terminal>(AsioTcpClientEnvironment(io), *timers, t, clock, nullptr));
      terminals.back()->connect();
    }
    RunUntil(io, [&] {
      for (auto& t : terminals) {
        if (t->phase() != Terminal::Phase::kStreaming) return false;
      }
      return true;
    });
  }
  ~Platform() {
    for (auto& t : terminals) t->disconnect();
    server.stop();
  }

  // One round of the walk's quotes, each applied by the server.
  void QuoteRound() {
    for (int q = 0; q < kQuotesPerRound; ++q) {
      walk.next(tick);
      server.apply_quote(tick);
    }
  }

  // Prices received by all terminals together.
  size_t Received() const {
    size_t total = 0;
    for (const auto& t : terminals) total += t->prices_received();
    return total;
  }

  static ServerOptions Options() {
    ServerOptions options;
    options.rate = 1e-9;  // quotes come from the benchmark loop
    options.log_engine = false;
    options.gateway.handshake_ms = 3600 * 1000;
    // Every session from this one address, several of them per user of the book.
    options.gateway.multi_sessions_allowed = true;
    options.gateway.max_sessions_per_user = 0;
    options.gateway.max_sessions_per_address = 0;
    return options;
  }

  asio::io_context io;
  std::shared_ptr<FixedClock> clock;
  ScopedClock scoped;
  std::shared_ptr<AsioTimerFactory> timers;
  TradingServer server;
  int32_t port = 0;
  PriceFeed walk;
  model::Quote tick;  // reused, so its time text keeps its buffer
  std::vector<std::unique_ptr<Terminal>> terminals;
};

void BM_ServerToTerminals(benchmark::State& state) {
  Platform platform(static_cast<size_t>(state.range(0)));
  size_t sent_before = platform.server.prices_sent();
  const uint64_t allocations_before = g_allocations;
  for (auto _ : state) {
    platform.QuoteRound();
    const size_t target = platform.server.prices_sent();
    RunUntil(platform.io, [&] { return platform.Received() >= target; }, 64);
  }
  const uint64_t allocations = g_allocations - allocations_before;
  const auto delivered = static_cast<int64_t>(platform.server.prices_sent() - sent_before);
  state.SetItemsProcessed(delivered);
  ReportAllocations(state, allocations, delivered);
  state.counters["per_quote"] =
      static_cast<double>(delivered) / static_cast<double>(state.iterations() * kQuotesPerRound);
}

// The time from a quote's arrival at the server to each terminal's figures
// holding it. Quotes come one at a time, each delivered to every session
// before the next: the latency of an unloaded fan-out, all sessions served by
// one thread. A terminal's price handler applies the quote to its engine
// before it returns, so once its count of prices rises its figures are
// current; the count is read after every handler the loop runs.
void BM_QuoteToFigures(benchmark::State& state) {
  Platform platform(static_cast<size_t>(state.range(0)));
  model::Quote tick;
  std::vector<double> latencies_us;
  latencies_us.reserve(1 << 22);
  for (auto _ : state) {
    platform.walk.next(tick);
    size_t seen = platform.Received();
    const size_t sent_before = platform.server.prices_sent();
    const auto arrival = std::chrono::steady_clock::now();
    platform.server.apply_quote(tick);
    const size_t target = seen + (platform.server.prices_sent() - sent_before);
    while (seen < target) {
      if (platform.io.poll_one() == 0) platform.io.run_one();
      const size_t now_seen = platform.Received();
      if (now_seen == seen) continue;
      const double us = std::chrono::duration<double, std::micro>(
                            std::chrono::steady_clock::now() - arrival).count();
      latencies_us.insert(latencies_us.end(), now_seen - seen, us);
      seen = now_seen;
    }
  }
  std::sort(latencies_us.begin(), latencies_us.end());
  auto quantile = [&](double q) {
    if (latencies_us.empty()) return 0.0;
    return latencies_us[static_cast<size_t>(q * static_cast<double>(latencies_us.size() - 1))];
  };
  state.counters["p50_us"] = quantile(0.50);
  state.counters["p99_us"] = quantile(0.99);
  state.counters["max_us"] = quantile(1.0);
  state.counters["deliveries"] = static_cast<double>(latencies_us.size());
  // What reading the counts after each handler adds to the figures above.
  constexpr int kScans = 1000;
  size_t sink = 0;
  const auto scan_start = std::chrono::steady_clock::now();
  for (int i = 0; i < kScans; ++i) {
    sink += platform.Received();
    benchmark::ClobberMemory();
  }
  benchmark::DoNotOptimize(sink);
  state.counters["scan_us"] = std::chrono::duration<double, std::micro>(
                                  std::chrono::steady_clock::now() - scan_start).count() / kScans;
}

// ---- the raw reference ----

class Pusher : public AsioListenerEvents {
 public:
  explicit Pusher(asio::io_context& io) : m_listener(io) {
    m_listener.Advise(this);
    port = m_listener.Listen("127.0.0.1", 0);
  }
  void Accepted(const std::shared_ptr<ISocket>& child) override { children.push_back(child); }
  std::vector<std::shared_ptr<ISocket>> children;
  int32_t port = 0;

 private:
  AsioListener m_listener;
};

void BM_RawAsioReference(benchmark::State& state) {
  const size_t sessions = static_cast<size_t>(state.range(0));
  asio::io_context io;
  Pusher pusher(io);
  int64_t count = 0;
  std::vector<std::unique_ptr<bench::RawReader>> readers;
  const asio::ip::tcp::endpoint server(asio::ip::make_address("127.0.0.1"),
                                       static_cast<uint16_t>(pusher.port));
  for (size_t i = 0; i < sessions; ++i) {
    readers.push_back(std::make_unique<bench::RawReader>(io, count));
    readers.back()->Socket().connect(server);
    readers.back()->Read();
  }
  RunUntil(io, [&] { return pusher.children.size() == sessions; });
  // A price message about as long as the server's: 86 bytes, theirs 80 on
  // average (symbol, prices and sequence numbers vary in length).
  CDataProtocol wire;
  const std::string message =
      wire.Response(MARKET_DATA_TOKEN, {"12", "1.08347", "1.08367", "03/03/2027 12:00:01", "4711"});
  const uint64_t allocations_before = g_allocations;
  for (auto _ : state) {
    const int64_t target = count + static_cast<int64_t>(sessions) * kQuotesPerRound;
    for (int q = 0; q < kQuotesPerRound; ++q) {
      for (auto& child : pusher.children) child->Send(message);
    }
    RunUntil(io, [&] { return count >= target; });
  }
  const uint64_t allocations = g_allocations - allocations_before;
  const int64_t delivered = state.iterations() * static_cast<int64_t>(sessions) * kQuotesPerRound;
  state.SetItemsProcessed(delivered);
  ReportAllocations(state, allocations, delivered);
  for (auto& r : readers) {
    std::error_code ignored;
    r->Socket().close(ignored);
  }
  io.restart();
  io.poll();
}

// ---- the server's side alone ----

// A session that logs on and starts the market with the protocol's own
// texts, then only counts terminators, as the raw reference's readers do.
class RawSession {
 public:
  RawSession(asio::io_context& io, int64_t& count) : m_socket(io), m_count(count) {}

  void Start(int32_t port, const model::User& user) {
    m_socket.connect({asio::ip::make_address("127.0.0.1"), static_cast<uint16_t>(port)});
    asio::write(m_socket, asio::buffer(wire::request(-1, wire::LogOn{user.username,
                                                                     user.password})));
    ReadAnswer();
  }
  bool Counting() const { return m_reader != nullptr; }

 private:
  // Until the log-on's answer is whole; then START_MARKET under its SID.
  void ReadAnswer() {
    m_socket.async_read_some(asio::buffer(m_buffer), [this](std::error_code ec, size_t n) {
      if (ec) return;
      m_answer.append(m_buffer.data(), n);
      const size_t end = m_answer.find(kTerminator);
      if (end == std::string::npos) return ReadAnswer();
      CProcess process;
      process.DefineProcessByCommand(5, m_answer.substr(0, end + std::strlen(kTerminator)));
      wire::LoggedOn logged_on;
      if (!wire::decode(process, logged_on)) return;
      const std::string start = wire::request_text(logged_on.sid, START_MARKET_TOKEN, {});
      asio::write(m_socket, asio::buffer(start));
      m_reader = std::make_unique<bench::RawReader>(std::move(m_socket), m_count);
      m_reader->Read();
    });
  }

  static constexpr const char* kTerminator = "+3!";
  asio::ip::tcp::socket m_socket;
  int64_t& m_count;
  std::array<char, 4096> m_buffer{};
  std::string m_answer;
  std::unique_ptr<bench::RawReader> m_reader;
};

// The same server and quotes as BM_ServerToTerminals, its sessions counting
// terminators instead of being terminals: the server's own fan-out (its
// engine, the gateway's queues and gathered writes) against the raw
// reference, without the terminals' parsing and engines.
void BM_ServerToRawSessions(benchmark::State& state) {
  const size_t sessions = static_cast<size_t>(state.range(0));
  Platform platform(0);
  const model::Snapshot& book = SampleBook();
  int64_t count = 0;
  std::vector<std::unique_ptr<RawSession>> raw;
  for (size_t i = 0; i < sessions; ++i) {
    raw.push_back(std::make_unique<RawSession>(platform.io, count));
    raw.back()->Start(platform.port, book.users[i % book.users.size()]);
  }
  RunUntil(platform.io, [&] {
    return std::all_of(raw.begin(), raw.end(), [](const auto& r) { return r->Counting(); });
  });
  platform.io.run_for(std::chrono::milliseconds(200));  // START_MARKET's answers and prices
  const int64_t others = count - static_cast<int64_t>(platform.server.prices_sent());
  const size_t sent_before = platform.server.prices_sent();
  const uint64_t allocations_before = g_allocations;
  for (auto _ : state) {
    platform.QuoteRound();
    const int64_t target = others + static_cast<int64_t>(platform.server.prices_sent());
    RunUntil(platform.io, [&] { return count >= target; }, 64);
  }
  const uint64_t allocations = g_allocations - allocations_before;
  const auto delivered = static_cast<int64_t>(platform.server.prices_sent() - sent_before);
  state.SetItemsProcessed(delivered);
  ReportAllocations(state, allocations, delivered);
  state.counters["per_quote"] =
      static_cast<double>(delivered) / static_cast<double>(state.iterations() * kQuotesPerRound);
}

BENCHMARK(BM_ServerToTerminals)->Arg(100)->Arg(1000)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuoteToFigures)->Arg(100)->Arg(1000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ServerToRawSessions)
    ->Arg(100)
    ->Arg(1000)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawAsioReference)->Arg(100)->Arg(1000)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orvane::apps
