// Market orders through the reference trading server on loopback with its
// in-memory store, open and closed loop (the load is order_load.h's).

#include <benchmark/benchmark.h>

#include <cstdint>

#include "order_load.h"
#include "records.h"

namespace orvane::apps {
namespace {

using namespace order_load;

// Arguments: orders a second, order numbers each user has used before.
void BM_OrdersOpenLoop(benchmark::State& state) {
  const double rate = static_cast<double>(state.range(0));
  const model::Snapshot book = Book(static_cast<size_t>(state.range(1)));
  for (auto _ : state) {
    ServerThread server(book);
    Generator generator(server.port, server.open_price, server.close_price);
    if (!generator.Ready()) {
      state.SkipWithError(generator.tally.failure.c_str());
      break;
    }
    generator.OpenLoop(rate, kSendFor, kDrainFor);
    if (!Check(state, generator)) break;
    state.SetIterationTime(generator.Seconds());
    Report(state, generator);
    const size_t n = generator.Orders();
    // The first and the last fifth of the schedule: a server that keeps up
    // answers both alike, one that falls behind answers the last later.
    state.counters["p50_first_us"] = Percentile(generator.Latencies(0, n / 5), 0.5);
    state.counters["p50_last_us"] = Percentile(generator.Latencies(n - n / 5, n), 0.5);
    state.counters["offered_per_s"] = rate;
    // Sustained: every order answered, and answered at (nearly) the rate
    // offered from the first due time to the last answer.
    const double answered_per_s = state.counters["answered_per_s"];
    state.counters["sustained"] =
        generator.tally.answered == n && answered_per_s >= 0.95 * rate ? 1 : 0;
  }
}

void BM_OrdersClosedLoop(benchmark::State& state) {
  const model::Snapshot book = Book(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    ServerThread server(book);
    Generator generator(server.port, server.open_price, server.close_price);
    if (!generator.Ready()) {
      state.SkipWithError(generator.tally.failure.c_str());
      break;
    }
    generator.ClosedLoop(kClosedLoopFor);
    if (!Check(state, generator)) break;
    state.SetIterationTime(generator.Seconds());
    Report(state, generator);
  }
}

constexpr int64_t kKept = static_cast<int64_t>(model::kOrderNumbersKept);

BENCHMARK(BM_OrdersOpenLoop)
    ->ArgNames({"rate", "kept"})
    ->Args({10000, 0})
    ->Args({1000, kKept})
    ->Args({2000, kKept})
    ->Args({5000, kKept})
    ->Args({10000, kKept})
    ->Args({20000, kKept})
    ->Args({50000, kKept})
    ->Args({100000, kKept})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OrdersClosedLoop)
    ->ArgNames({"kept"})
    ->Arg(0)
    ->Arg(kKept)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orvane::apps
