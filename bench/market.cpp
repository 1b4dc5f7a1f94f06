// The per-tick price work of a symbol: storing a new quote (rounded to the
// symbol's decimals), reading prices with spread in the symbol's own forms
// and in the forms a client's parameter entry uses, and the deal profit of
// a position converted through a reference symbol.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "orvane/clients/client_param_cl.h"
#include "orvane/market/symbol.h"

namespace orvane {
namespace {

// Feed-like quotes with five decimals around 1.1, so that a share of them
// lands on a rounding half once the tenth of a pip is added.
std::vector<double> Quotes() {
  std::mt19937_64 rng(42);
  std::vector<double> quotes(4096);
  for (double& q : quotes) q = 1.1 + static_cast<double>(rng() % 100000) / 1e5 * 0.1;
  return quotes;
}

std::shared_ptr<CSymbol> MakeSymbol(int id, SpreadCalTypeEnum spread_type, const Variant& spread) {
  auto symbol = std::make_shared<CSymbol>();
  symbol->ID(id);
  symbol->PipLocation(-4);
  symbol->SpreadType(spread_type);
  symbol->Spread(spread);
  symbol->SourcePlus(3);
  symbol->SpreadOffset(1);
  symbol->PriceOffset(1);
  symbol->ClientPriceOffset(-1);
  symbol->PriceCase(1);
  symbol->RefPriceCase(2);
  symbol->Factor(100000);
  symbol->Bid(1.1234);
  symbol->Ask(1.1237);
  return symbol;
}

void BM_SetBidAsk(benchmark::State& state) {
  const std::vector<double> quotes = Quotes();
  auto symbol = MakeSymbol(7, FromBidSpread, Null);
  size_t i = 0;
  for (auto _ : state) {
    const double q = quotes[i++ & 4095];
    symbol->Bid(q);
    symbol->Ask(q + 0.00031);
    benchmark::DoNotOptimize(symbol->Ask());
  }
}
BENCHMARK(BM_SetBidAsk);

// One client price with spread, read the way a client's parameter entry
// reads it: the client's spread (a variant), source plus and price offset.
void BM_ClientAskWithSpread(benchmark::State& state) {
  const SpreadCalTypeEnum type = static_cast<SpreadCalTypeEnum>(state.range(0));
  auto symbol = MakeSymbol(7, type, Null);
  const Variant client_spread = state.range(1) != 0 ? Variant(3.0) : Variant(Null);
  for (auto _ : state) {
    benchmark::DoNotOptimize(symbol->AskWithSpread2(client_spread, 2, 1));
  }
}
BENCHMARK(BM_ClientAskWithSpread)
    ->ArgNames({"spread_type", "fixed"})
    ->Args({FromBidSpread, 0})
    ->Args({FromBidSpread, 1})
    ->Args({FromAvgSpread, 0})
    ->Args({FromAvgSpread, 1});

void BM_ClientBidWithSpread(benchmark::State& state) {
  auto symbol = MakeSymbol(7, FromAvgSpread, Null);
  const Variant client_spread = 3.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(symbol->BidWithSpread2(client_spread, 2, 1));
  }
}
BENCHMARK(BM_ClientBidWithSpread);

void BM_ClosePriceWithSpread(benchmark::State& state) {
  auto symbol = MakeSymbol(7, FromAvgSpread, 2.0);
  OperationTypeEnum side = BuyType;
  for (auto _ : state) {
    benchmark::DoNotOptimize(symbol->ClosePriceWithSpread(side));
    side = side == BuyType ? SellType : BuyType;
  }
}
BENCHMARK(BM_ClosePriceWithSpread);

// A tick followed by the three prices an account engine reads for a client.
void BM_TickThenClientPrices(benchmark::State& state) {
  const std::vector<double> quotes = Quotes();
  auto symbol = MakeSymbol(7, FromBidSpread, Null);
  const Variant client_spread = 2.0;
  size_t i = 0;
  for (auto _ : state) {
    const double q = quotes[i++ & 4095];
    symbol->Bid(q);
    symbol->Ask(q + 0.00031);
    benchmark::DoNotOptimize(symbol->BidWithSpread2(client_spread, 0, 1));
    benchmark::DoNotOptimize(symbol->AskWithSpread2(client_spread, 0, 1));
    benchmark::DoNotOptimize(symbol->ClosePriceWithSpread2(client_spread, 0, 1, BuyType));
  }
}
BENCHMARK(BM_TickThenClientPrices);

// The prices an account engine reads through a client's parameter entry
// after a tick: bid, ask and close price with the client's spread.
void BM_ClientParamClPrices(benchmark::State& state) {
  const SpreadCalTypeEnum type = static_cast<SpreadCalTypeEnum>(state.range(0));
  auto symbol = MakeSymbol(7, type, Null);
  auto entry = std::make_shared<CClientParamCl>();
  entry->Symbol(symbol);
  entry->Spread(state.range(1) != 0 ? Variant(3.0) : Variant(Null));
  entry->SourcePlus(2);
  entry->PriceOffset(1);
  OperationTypeEnum side = BuyType;
  for (auto _ : state) {
    benchmark::DoNotOptimize(entry->BidWithSpread());
    benchmark::DoNotOptimize(entry->AskWithSpread());
    benchmark::DoNotOptimize(entry->ClosePriceWithSpread(side));
    side = side == BuyType ? SellType : BuyType;
  }
  state.counters["per_price_ns"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * 3,
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  entry->Deallocate();
}
BENCHMARK(BM_ClientParamClPrices)
    ->ArgNames({"spread_type", "fixed"})
    ->Args({FromBidSpread, 0})
    ->Args({FromBidSpread, 1})
    ->Args({FromAvgSpread, 0})
    ->Args({FromAvgSpread, 1});

// Deal profit whose reference price comes from the reference symbol's
// close price with spread (the default RefPrice).
void BM_DealProfitWithReferenceSymbol(benchmark::State& state) {
  auto symbol = MakeSymbol(7, FromBidSpread, Null);
  auto reference = MakeSymbol(3, FromAvgSpread, 2.0);
  reference->Bid(109.12);
  reference->Ask(109.15);
  symbol->RefSymbol(reference);
  OperationTypeEnum side = BuyType;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        symbol->DealProfit(1.1234, 1.1301, 2.5, side, 1.5, -3, ON_CLOSE_TYPE));
    side = side == BuyType ? SellType : BuyType;
  }
  symbol->Deallocate();
}
BENCHMARK(BM_DealProfitWithReferenceSymbol);

}  // namespace
}  // namespace orvane
