// Durable market orders: the load of bench_orders (order_load.h: 100
// sessions through the real gateway and desk on loopback) against the
// server on each store: in memory, SQLite in a scratch folder on a disk, and
// PostgreSQL in a scratch cluster this program starts (every commit synced
// in both). An order's answer goes out once its batch is committed, so its
// latency includes the commit.
//
// Closed loop: the most orders a second the server answers. Open loop at
// 10,000 orders a second: the latency percentiles at that rate.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>

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

using namespace order_load;

enum class Kind { kMemory, kSqlite, kPostgres };

// The program's PostgreSQL cluster, started at its first use.
scratch::Cluster& Postgres() {
  static scratch::Cluster cluster(ORVANE_BENCH_SCRATCH_DIR);
  return cluster;
}

// A fresh store of `kind` seeded with `book` as orvane-server seeds one;
// none for the memory store (the server keeps the book in memory itself).
// `error` says why a durable store could not be had.
class SeededStore {
 public:
  SeededStore(Kind kind, const model::Snapshot& book) {
    if (kind == Kind::kMemory) return;
    if (kind == Kind::kSqlite) {
      m_folder = std::make_unique<scratch::Folder>(ORVANE_BENCH_SCRATCH_DIR);
      if (!m_folder->error().empty()) {
        error = m_folder->error();
        return;
      }
      m_store = SqliteStore::open(m_folder->path());
    } else {
      if (!Postgres().error().empty()) {
        error = "PostgreSQL skipped: " + Postgres().error();
        return;
      }
      static int databases = 0;
      const std::string uri = Postgres().NewDatabase("orders" + std::to_string(++databases));
      if (uri.empty()) {
        error = "createdb failed";
        return;
      }
      m_store = PostgresStore::open(uri);
    }
    const StoreStatus seeded = m_store->seed(
        seed_book(book, OpeningQuote(book), GatewayOptions{}.password_iterations));
    if (!seeded.ok()) error = "cannot seed the store: " + seeded.message();
  }

  Store* store() { return m_store.get(); }
  std::string error;

 private:
  std::unique_ptr<scratch::Folder> m_folder;  // outlives the store in it
  std::unique_ptr<DurableStore> m_store;
};

constexpr size_t kKept = model::kOrderNumbersKept;

// Runs `load` on a server over a fresh store of `kind`; false when the run
// is no measurement (and the state says why).
template <typename Load>
bool RunOnce(benchmark::State& state, Kind kind, Load load) {
  const model::Snapshot book = Book(kKept);
  SeededStore seeded(kind, book);
  if (!seeded.error.empty()) {
    state.SkipWithError(seeded.error.c_str());
    return false;
  }
  ServerThread server(book, seeded.store());
  Generator generator(server.port, server.open_price, server.close_price);
  if (!generator.Ready()) {
    state.SkipWithError(generator.tally.failure.c_str());
    return false;
  }
  load(generator);
  if (!Check(state, generator)) return false;
  state.SetIterationTime(generator.Seconds());
  Report(state, generator);
  return true;
}

void BM_DurableClosedLoop(benchmark::State& state, Kind kind) {
  for (auto _ : state) {
    if (!RunOnce(state, kind, [](Generator& g) { g.ClosedLoop(kClosedLoopFor); })) break;
  }
}

void BM_DurableOpenLoop(benchmark::State& state, Kind kind) {
  const double rate = static_cast<double>(state.range(0));
  for (auto _ : state) {
    size_t orders = 0;
    const bool measured = RunOnce(state, kind, [&](Generator& g) {
      g.OpenLoop(rate, kSendFor, kDrainFor);
      orders = g.Orders();
      state.counters["sustained"] =
          g.tally.answered == orders &&
                  static_cast<double>(g.tally.answered) / g.Seconds() >= 0.95 * rate
              ? 1
              : 0;
    });
    if (!measured) break;
    state.counters["offered_per_s"] = rate;
  }
}

#define DURABLE_ORDERS(name, kind)                                                     \
  BENCHMARK_CAPTURE(BM_DurableClosedLoop, name, kind)                                  \
      ->Iterations(1)                                                                  \
      ->UseManualTime()                                                                \
      ->Unit(benchmark::kMillisecond);                                                 \
  BENCHMARK_CAPTURE(BM_DurableOpenLoop, name, kind)                                    \
      ->ArgName("rate")                                                                \
      ->Arg(10000)                                                                     \
      ->Iterations(1)                                                                  \
      ->UseManualTime()                                                                \
      ->Unit(benchmark::kMillisecond)

DURABLE_ORDERS(memory, Kind::kMemory);
DURABLE_ORDERS(sqlite, Kind::kSqlite);
DURABLE_ORDERS(postgres, Kind::kPostgres);

}  // namespace
}  // namespace orvane::apps
