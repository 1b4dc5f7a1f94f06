// Start-up on a store that has been in use: a book of 100 users (each with
// the order numbers the desk keeps) and 1,000,000 history entries, seeded
// once per store kind in this program; each iteration then times what
// orvane-server does from start to serving on a store that holds a book:
// opening the store, reading it for the feed's symbols, the random walk
// over them, the desk loading the state and the server listening. The
// database is in the page cache after the seeding and the first iteration,
// so the figure is a warm start.
//
// `handed:1` is the server as orvane-server starts it, given the state it
// read; `handed:0` lets the desk read the store a second time.

#include <benchmark/benchmark.h>

#include <asio/io_context.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "order_load.h"
#include "postgres_store.h"
#include "records.h"
#include "scratch_stores.h"
#include "sqlite_store.h"

#ifndef ORVANE_BENCH_SCRATCH_DIR
#define ORVANE_BENCH_SCRATCH_DIR "."
#endif

namespace orvane::apps {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr size_t kHistory = 1'000'000;

// The orders benchmark's book with `kHistory` closed positions behind it,
// spread over the accounts.
model::Snapshot BookWithHistory() {
  model::Snapshot book = order_load::Book(model::kOrderNumbersKept);
  book.history.reserve(kHistory);
  for (size_t i = 0; i < kHistory; ++i) {
    const int user = static_cast<int>(i % order_load::kUsers);
    const int32_t ticket = static_cast<int32_t>(i + 1);
    book.history.push_back({order_load::ClientOf(user), order_load::AccountOf(user), ticket,
                            "03/03/2027 11:59:59", order_load::kSymbol, 0.01, 1,
                            "03/03/2027 11:00:00", 1.2001, 1.2000 + 1e-4 * (i % 7), 0.03, 0,
                            1.2, 0.01 * static_cast<double>(i % 13), "client"});
  }
  book.sequences.ticket = static_cast<int32_t>(kHistory);
  const PriceFeed feed = order_load::OpeningQuote(book);
  return seed_book(std::move(book), feed, GatewayOptions{}.password_iterations);
}

// Opens a store that holds a book; a new connection or file handle each call.
using Opener = std::unique_ptr<DurableStore> (*)();

// What orvane-server's start does on a store that holds a book, up to
// listening. The server stops and the store closes when this goes.
class Started {
 public:
  Started(Opener open, bool hand_over) : m_store(open()) {
    const auto start = SteadyClock::now();
    if (m_store->empty()) throw StoreError("the scratch store holds no book");
    model::Snapshot book = m_store->load_state();
    read = SteadyClock::now() - start;
    PriceFeed feed = PriceFeed::random_walk(book, 20270304, 50, 0);
    ServerEnvironment environment{std::make_shared<AsioListener>(m_io),
                                  std::make_shared<AsioTimerFactory>(m_io), [] { return 0; },
                                  m_store.get()};
    if (hand_over) environment.loaded = std::move(book);
    m_server = std::make_unique<TradingServer>(book, std::move(feed), m_clock,
                                               std::move(environment), ServerOptions{});
    m_server->start("127.0.0.1", 0);
  }

  size_t History() const {
    size_t entries = 0;
    for (int user = 0; user < order_load::kUsers; ++user) {
      entries += m_server->desk().history(order_load::ClientOf(user)).size();
    }
    return entries;
  }

  SteadyClock::duration read{};  // reading the store for the feed's symbols

 private:
  std::shared_ptr<FixedClock> m_clock = std::make_shared<FixedClock>();
  ScopedClock m_scoped{m_clock};
  asio::io_context m_io;
  std::unique_ptr<DurableStore> m_store;
  std::unique_ptr<TradingServer> m_server;
};

// The seeded stores, one of each kind for the program's life.
std::unique_ptr<scratch::Folder> g_sqlite_folder;
std::unique_ptr<scratch::Cluster> g_cluster;
std::string g_postgres_uri;

// Seeds the store `open` opens unless it holds a book; the error, if any.
std::string Seed(Opener open) {
  auto store = open();
  if (!store->empty()) return "";
  const StoreStatus seeded = store->seed(BookWithHistory());
  return seeded.ok() ? "" : "cannot seed the store: " + seeded.message();
}

std::unique_ptr<DurableStore> OpenSqlite() { return SqliteStore::open(g_sqlite_folder->path()); }
std::unique_ptr<DurableStore> OpenPostgres() { return PostgresStore::open(g_postgres_uri); }

// The opener of a seeded store of the kind, or the reason there is none.
std::pair<Opener, std::string> Seeded(bool postgres) {
  if (!postgres) {
    if (!g_sqlite_folder) {
      g_sqlite_folder = std::make_unique<scratch::Folder>(ORVANE_BENCH_SCRATCH_DIR);
    }
    if (!g_sqlite_folder->error().empty()) return {nullptr, g_sqlite_folder->error()};
    return {OpenSqlite, Seed(OpenSqlite)};
  }
  if (!g_cluster) {
    g_cluster = std::make_unique<scratch::Cluster>(ORVANE_BENCH_SCRATCH_DIR);
    if (g_cluster->error().empty()) g_postgres_uri = g_cluster->NewDatabase("startup");
  }
  if (!g_cluster->error().empty()) return {nullptr, "PostgreSQL skipped: " + g_cluster->error()};
  if (g_postgres_uri.empty()) return {nullptr, "createdb failed"};
  return {OpenPostgres, Seed(OpenPostgres)};
}

void BM_StartServing(benchmark::State& state, bool postgres) {
  const bool hand_over = state.range(0) != 0;
  const auto [open, error] = Seeded(postgres);
  if (!error.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  size_t history = 0;
  double opened = 0, read = 0;
  for (auto _ : state) {
    const auto start = SteadyClock::now();
    auto started = std::make_unique<Started>(open, hand_over);
    const auto served = SteadyClock::now();
    state.SetIterationTime(std::chrono::duration<double>(served - start).count());
    read += std::chrono::duration<double, std::milli>(started->read).count();
    opened += std::chrono::duration<double, std::milli>(served - start - started->read).count();
    history = started->History();
  }
  if (history != kHistory) state.SkipWithError("the desk did not load every history entry");
  state.counters["history"] = static_cast<double>(history);
  // Milliseconds an iteration: the store read for the feed, and the rest
  // (opening the store, the feed, the desk loading, listening).
  state.counters["read_ms"] = benchmark::Counter(read, benchmark::Counter::kAvgIterations);
  state.counters["rest_ms"] = benchmark::Counter(opened, benchmark::Counter::kAvgIterations);
}

BENCHMARK_CAPTURE(BM_StartServing, sqlite, false)
    ->ArgName("handed")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_StartServing, postgres, true)
    ->ArgName("handed")
    ->Arg(1)
    ->Arg(0)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orvane::apps
