// Account figures on a tick, and the keyed collections at book scale.
//
// BM_TotalFloatingProfitLoss: one account of 50 positions over 10 symbols,
// half of them crosses whose profit converts through a reference symbol;
// the "per_position" counter is the time per position revalued.
// BM_*At100k: lookups and index insert/remove with 100,000 members.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "orvane/accounts/account.h"
#include "orvane/accounts/account_refs.h"
#include "orvane/accounts/accounts.h"
#include "orvane/accounts/open_positions.h"
#include "orvane/accounts/summaries.h"
#include "orvane/clients/client.h"
#include "orvane/clients/client_param.h"
#include "orvane/clients/client_params.h"
#include "orvane/core/keyed_collection.h"
#include "orvane/market/symbol.h"
#include "orvane/market/symbols.h"

namespace orvane {
namespace {

constexpr int kMembers = 100000;

std::shared_ptr<CSymbol> NewSymbol(int32_t id, int32_t ref_id, double bid) {
  auto symbol = std::make_shared<CSymbol>();
  symbol->ID(id);
  symbol->RefID(ref_id);
  symbol->PipLocation(-4);
  symbol->Factor(100000);
  symbol->PriceCase(1);
  symbol->RefPriceCase(1);
  symbol->Bid(bid);
  symbol->Ask(bid + 0.0002);
  return symbol;
}

// Symbols 2..6 are quoted in account currency (reference: the unit symbol
// 1); 7..11 are crosses, each converting through one of 2..6.
struct TickBook {
  TickBook() {
    symbols->AddByObject(NewSymbol(1, 1, 1));
    for (int32_t id = 2; id <= 6; ++id) symbols->AddByObject(NewSymbol(id, 1, 1.1 + id * 0.01));
    for (int32_t id = 7; id <= 11; ++id) {
      symbols->AddByObject(NewSymbol(id, id - 5, 0.8 + id * 0.01));
    }
    client->ClientID(1);
    client->CommCalcType(ON_CLOSE_TYPE);
    for (const auto& symbol : *symbols) {
      client->AddParam(2, 0, 7.5, 100, 0.01, 0, 0, 0, symbol, false, true, 1);
    }
    client->Params()->SetParamsRefParams();
    account = client->Accounts()->Add(client, std::make_shared<CSummaries>(), 1001, 1,
                                      NormalAccountType, false, false, false);
    for (int32_t ticket = 1; ticket <= 50; ++ticket) {
      const int32_t symbol_id = 2 + (ticket - 1) % 10;
      const auto type = ticket % 2 == 0 ? BuyType : SellType;
      account->OpenPositions()->Add(1.0 + ticket * 0.0001, client->SymbolParam(symbol_id),
                                    0.5 + ticket % 3, type, ticket, account, -1.25,
                                    "", "");
    }
  }
  ~TickBook() {
    client->Deallocate();
    symbols->Deallocate();
  }

  std::shared_ptr<CSymbols> symbols = std::make_shared<CSymbols>();
  std::shared_ptr<CClient> client = std::make_shared<CClient>();
  std::shared_ptr<CAccount> account;
};

void BM_TotalFloatingProfitLoss(benchmark::State& state) {
  TickBook book;
  const auto& positions = *book.account->OpenPositions();
  const auto tick = book.symbols->Item(std::string("3"));
  double bid = tick->Bid();
  for (auto _ : state) {
    bid = bid == 1.1300 ? 1.1301 : 1.1300;  // a fresh quote every pass
    tick->Bid(bid);
    benchmark::DoNotOptimize(positions.TotalFloatingProfitLoss(ON_CLOSE_TYPE));
  }
  state.counters["per_position"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * positions.Count(),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_TotalFloatingProfitLoss);

std::vector<std::string> ShuffledKeys() {
  std::vector<std::string> keys;
  keys.reserve(kMembers);
  for (int i = 1; i <= kMembers; ++i) keys.push_back(KeyOf(i));
  std::shuffle(keys.begin(), keys.end(), std::mt19937(42));
  return keys;
}

void BM_AccountLookupAt100k(benchmark::State& state) {
  CAccounts accounts;
  for (int32_t id = 1; id <= kMembers; ++id) {
    accounts.Add(nullptr, nullptr, id, 1, NormalAccountType, false, false, false);
  }
  const std::vector<std::string> keys = ShuffledKeys();
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(accounts.Items().Item(keys[i]));
    if (++i == keys.size()) i = 0;
  }
}
BENCHMARK(BM_AccountLookupAt100k);

// The same collection, with lookups cycling over 512 of its members: the
// cost of the lookup itself once the members it touches are in cache.
void BM_AccountLookupAt100kWarm(benchmark::State& state) {
  CAccounts accounts;
  for (int32_t id = 1; id <= kMembers; ++id) {
    accounts.Add(nullptr, nullptr, id, 1, NormalAccountType, false, false, false);
  }
  std::vector<std::string> keys = ShuffledKeys();
  keys.resize(512);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(accounts.Items().Item(keys[i]));
    if (++i == keys.size()) i = 0;
  }
}
BENCHMARK(BM_AccountLookupAt100kWarm);

// The same lookup through the variant key the collection classes offer.
void BM_AccountItemByVariantKeyAt100k(benchmark::State& state) {
  CAccounts accounts;
  for (int32_t id = 1; id <= kMembers; ++id) {
    accounts.Add(nullptr, nullptr, id, 1, NormalAccountType, false, false, false);
  }
  std::vector<Variant> keys;
  for (const auto& key : ShuffledKeys()) keys.emplace_back(key);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(accounts.Item(keys[i]));
    if (++i == keys.size()) i = 0;
  }
}
BENCHMARK(BM_AccountItemByVariantKeyAt100k);

// What the engine does when a position opens and closes: list the account in
// a symbol's index of 100,000 holders and take it out again.
void BM_IndexAddRemoveAt100k(benchmark::State& state) {
  std::vector<std::shared_ptr<CAccount>> accounts;
  CAccountRefs index;
  for (int32_t id = 1; id <= kMembers + 1; ++id) {
    auto account = std::make_shared<CAccount>();
    account->AccountID(id);
    accounts.push_back(account);
    if (id <= kMembers) index.Add(account);
  }
  const auto& extra = accounts.back();
  for (auto _ : state) {
    benchmark::DoNotOptimize(index.Add(extra));
    index.Remove(extra->IndexKey());
  }
}
BENCHMARK(BM_IndexAddRemoveAt100k);

}  // namespace
}  // namespace orvane
