// The account engine on the server side at book scale: 100,000 accounts of 5
// positions each across 50 symbols (a fifth of them converting profit through
// a reference symbol), with pending orders and price alerts that do not hit.
//
// BM_EngineTick: one quote (DealWithChangedSymbolPrices) per iteration,
//   cycling through the symbols; "holders_per_s" counts the accounts
//   revalued, "repriced_per_s" the positions whose floating result was
//   worked out again (the others' kept results held: their prices had not
//   moved), "allocs_per_tick" the heap allocations made during the ticks
//   (the engine's own work adds none once warm). BM_EngineTickListened: the
//   same with a listener attached, as every host attaches one.
//   "book_resident_mb" is the resident memory the book of 100,000 accounts
//   added, the engine's copies for the walk included.
// BM_FlatReference: the same quotes over plain arrays that compute the same
//   floating results (checked equal to the cent before the runs) and the same
//   account figures, with no object model.
// BM_EngineVersusFlat: both over the same ticks in one run; "ratio" is the
//   engine's time over the flat loop's. BM_EngineVersusFlatListened: the same
//   with the listener attached to the engine.
// BM_EngineRecordChanges: a position opened, modified, partly closed and
//   closed through the engine (with the listener, as a host runs), per
//   iteration; BM_EngineRecordChangesThenTick adds a quote of the symbol
//   after each change, so that work a change leaves for the next quote is
//   counted too.

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "orvane/accounts/account.h"
#include "orvane/accounts/account_ref.h"
#include "orvane/accounts/account_refs.h"
#include "orvane/accounts/accounts_transactions.h"
#include "orvane/accounts/alert.h"
#include "orvane/accounts/cur_account.h"
#include "orvane/accounts/open_positions.h"
#include "orvane/accounts/summaries.h"
#include "orvane/clients/client.h"
#include "orvane/clients/client_param.h"
#include "orvane/core/clock.h"
#include "orvane/core/conversions.h"
#include "orvane/market/detail/price_rounding.h"
#include "orvane/market/symbol.h"
#include "orvane/market/symbols.h"

#if __has_include("../src/accounts/detail/holder_book.h")
#include "../src/accounts/detail/holder_book.h"
#define ORVANE_BENCH_TICK_COUNTS 1
#endif

namespace {
std::atomic<uint64_t> g_allocations{0};
}  // namespace

// Counting replacements of the global allocation functions; kept out of line
// so that the compiler pairs them with each other.
__attribute__((noinline)) void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace orvane {
namespace {

constexpr int kSymbols = 50;
constexpr int kClients = 1000;
constexpr int kAccountsPerClient = 100;
constexpr int kPositionsPerAccount = 5;
constexpr int kSpreadPips = 2;
constexpr double kCommission = 5;

struct SymbolSetup {
  int32_t id;
  int32_t ref;
  int32_t ref_case;
  int32_t pip_location;
  double bid;
};

std::vector<SymbolSetup> Setups() {
  std::vector<SymbolSetup> setups;
  setups.push_back({1, 1, 1, -4, 1.0});
  for (int i = 0; i < kSymbols; ++i) {
    const int32_t id = i + 2;
    if (i % 5 == 4) {
      setups.push_back({id, id, 0, -2, 100.0 + i});  // quoted against the dollar
    } else if (i % 5 == 3) {
      setups.push_back({id, 2, 1, -4, 0.80 + 0.01 * i});  // a cross through symbol 2
    } else {
      setups.push_back({id, 1, 1, -4, 1.0 + 0.01 * i});
    }
  }
  return setups;
}

std::string ParamsText(const std::vector<SymbolSetup>& setups) {
  std::string text;
  for (const SymbolSetup& s : setups) {
    if (!text.empty()) text += ",";
    text += std::to_string(s.id) + "," + std::to_string(s.id == 1 ? 0 : kSpreadPips) +
            ",0,0,0," + (s.id == 1 ? std::string("0") : NumberText(kCommission)) +
            ",100,0.01,0";
  }
  return text;
}

std::string NameOf(int32_t id) {
  std::string name = std::to_string(id);
  name.insert(name.begin(), 'S');
  return name;
}

int32_t PositionSymbol(int account, int j) { return 2 + (account * 7 + j * 11) % kSymbols; }

// The book, built once through the engine.
struct Book {
  std::shared_ptr<FixedClock> clock = std::make_shared<FixedClock>(
      DateTime::FromParts(2027, 3, 3, 12, 0, 0));
  ScopedClock scoped{clock};
  std::vector<SymbolSetup> setups = Setups();
  std::shared_ptr<CAccountsTransactions> engine = std::make_shared<CAccountsTransactions>();
  std::shared_ptr<CSymbols> symbols = std::make_shared<CSymbols>();
  std::vector<std::shared_ptr<CSymbol>> by_id;
  std::vector<int64_t> positions_per_tick;  // by symbol id

  Book() {
    engine->InitializeNeededData(symbols, SERVER_SIDE_EXECUTION);
    by_id.resize(kSymbols + 2);
    for (const SymbolSetup& s : setups) {
      by_id[s.id] = engine->NewSymbol(
          0, s.ref_case, 1, 100000, "03/03/2027 12:00:00", s.bid, s.bid, s.bid, s.bid, true,
          true, s.ref, s.pip_location, symbol_type, NameOf(s.id), s.id,
          "SUNDAY", "22:00", "FRIDAY", "22:00", Null, Null, Null, Null, Null, Null, false, "",
          false, "1", "1", false, false, "0", "0", "", false, "60", FromBidSpread, "", s.bid,
          s.bid);
    }
    symbols->SetSymbolsRefSymbols();
    const std::string params = ParamsText(setups);
    for (int c = 0; c < kClients; ++c) {
      const int32_t client_id = c + 1;
      auto client = engine->AddNewClient(client_id, params, Null, CLIENT_TYPE, false,
                                         MARGIN_LEVEL_LIQUIDATION, 50, "C", "", "", "", "u", 2,
                                         ON_CLOSE_TYPE);
      client->ParamsLoaded(true);
      if (c % 10 == 0) {
        const int32_t symbol = 2 + c % kSymbols;
        engine->AddNewAlert(client_id, 1, symbol, BID_GREATER, 1e6, 2, true);
      }
      for (int a = 0; a < kAccountsPerClient; ++a) AddAccount(client_id, c * kAccountsPerClient + a);
    }
    positions_per_tick.assign(kSymbols + 2, 0);
    for (int id = 2; id < kSymbols + 2; ++id) {
      auto index = std::dynamic_pointer_cast<CCurAccount>(by_id[id]->Ref1());
      for (const auto& ref : index->AccountsHavePositions()->Items()) {
        positions_per_tick[id] += ref->Account()->OpenPositions()->Count();
      }
    }
  }

  ~Book() {
    engine->Deallocate();
    symbols->Deallocate();
  }

  void AddAccount(int32_t client_id, int account) {
    const int32_t account_id = account + 1;
    engine->AddNewAccount(client_id, account_id, 1, 0, 0, -5000, 0, 1000000, 0, 0, 0, 0, false,
                          false, true);
    for (int j = 0; j < kPositionsPerAccount; ++j) {
      const int32_t symbol = PositionSymbol(account, j);
      const double price = setups[symbol - 1].bid;
      engine->AddNewOpenPosition(client_id, account_id, account * kPositionsPerAccount + j + 1,
                                 symbol, 1 + account % 3, price, j % 2 == 0 ? 1 : -1, 0, "", "",
                                 true);
    }
    if (account % 10 == 0) {
      const int32_t symbol = PositionSymbol(account, 0);
      engine->AddNewOrder(client_id, account_id, account_id, 2, 1, 0, 1, symbol,
                          setups[symbol - 1].bid / 2, 0, 0, 0, 0, DateTime(), "", "");
    }
  }

  // The n-th quote of a run: the symbols in turn, moving a few pips.
  void Quote(int64_t n) {
    const int32_t id = static_cast<int32_t>(2 + n % kSymbols);
    const SymbolSetup& s = setups[id - 1];
    const double pip = std::pow(10.0, s.pip_location);
    const double bid = s.bid + static_cast<double>((n / kSymbols) % 7 - 3) * pip;
    by_id[id]->Bid(bid);
    by_id[id]->Ask(bid + pip);
    engine->DealWithChangedSymbolPrices(by_id[id]);
  }
};

// Resident memory of the process in MB, from /proc (0 where there is none).
double ResidentMb() {
  std::FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return 0;
  char line[256];
  double kb = 0;
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::sscanf(line, "VmRSS: %lf kB", &kb) == 1) break;
  }
  std::fclose(status);
  return kb / 1024;
}

// What the book and the engine's copies of it hold resident, once every
// symbol has been quoted.
double g_book_mb = 0;

Book& TheBook() {
  static Book* book = [] {
    const double before = ResidentMb();
    auto* b = new Book();  // lives for the whole program
    for (int64_t n = 0; n < kSymbols; ++n) b->Quote(n);
    g_book_mb = ResidentMb() - before;
    return b;
  }();
  return *book;
}

// The same accounts as plain arrays.
struct Flat {
  struct Position {
    int32_t symbol;
    int32_t ref;
    int32_t type;
    double lots;
    double price;
  };
  struct SymbolQuote {
    double bid = 0;
    double pip = 0;
    double tenth = 0;
    int decimals = 0;
    int32_t ref_case = 1;
  };
  std::vector<SymbolQuote> quotes;                        // by symbol id
  std::vector<Position> positions;                  // 5 per account
  std::vector<std::vector<int32_t>> holders;        // accounts by symbol id
  std::vector<double> balance, credit, margin, floating;

  explicit Flat(const Book& book) {
    quotes.resize(kSymbols + 2);
    for (const SymbolSetup& s : book.setups) {
      SymbolQuote& q = quotes[s.id];
      q.bid = book.by_id[s.id]->Bid();
      q.pip = std::pow(10.0, s.pip_location);
      q.tenth = q.pip * 0.1;
      q.decimals = -s.pip_location;
      q.ref_case = s.ref_case;
    }
    const int accounts = kClients * kAccountsPerClient;
    holders.resize(kSymbols + 2);
    for (int a = 0; a < accounts; ++a) {
      auto account = book.engine->Account(a / kAccountsPerClient + 1, a + 1);
      for (const auto& p : account->OpenPositions()->Items()) {
        const int32_t symbol = p->SymbolParam()->Symbol()->ID();
        positions.push_back({symbol, book.setups[symbol - 1].ref, p->Type_no(), p->lots(),
                             p->Price()});
      }
      for (int j = 0; j < kPositionsPerAccount; ++j) {
        std::vector<int32_t>& list = holders[PositionSymbol(a, j)];
        if (list.empty() || list.back() != a) list.push_back(a);
      }
      const CSummaries& s = *account->SummeryInfo();
      balance.push_back(s.Balance());
      credit.push_back(s.Credit());
      margin.push_back(s.MarginRequirement());
      floating.push_back(0);
    }
  }

  double ClosePrice(int32_t symbol, int32_t type) const {
    const SymbolQuote& q = quotes[symbol];
    if (symbol == 1) return 1.0;
    if (type == 1) return q.bid;
    return detail::RoundHalfAwayPrice(q.bid + kSpreadPips * q.pip + q.tenth, q.decimals);
  }

  double Profit(const Position& p) const {
    const double close = ClosePrice(p.symbol, p.type);
    const double ref_price = ClosePrice(p.ref, p.type);
    const double r = quotes[p.symbol].ref_case == 1 ? ref_price
                     : ref_price == 0               ? 0
                                                    : 1 / ref_price;
    const double gross = (close - p.price) * r * p.lots * p.type * 100000;
    return RoundMoney(gross - std::fabs(kCommission * p.lots));
  }

  // One quote: the figures of every holder, as the engine computes them.
  int Tick(int32_t symbol, double bid) {
    quotes[symbol].bid = bid;
    int liquidations = 0;
    for (int32_t a : holders[symbol]) {
      double total = 0;
      for (int j = 0; j < kPositionsPerAccount; ++j) total += Profit(positions[a * 5 + j]);
      floating[a] = total;
      const double equity = total + balance[a] + credit[a];
      const double level = margin[a] != 0 ? equity / std::fabs(margin[a]) : 1.0;
      liquidations += RoundMoney(level * 100) <= 50;
    }
    return liquidations;
  }

  void Quote(int64_t n, const Book& book) {
    const int32_t id = static_cast<int32_t>(2 + n % kSymbols);
    const SymbolSetup& s = book.setups[id - 1];
    const double pip = std::pow(10.0, s.pip_location);
    const double bid = detail::RoundHalfAwayPrice(
        s.bid + static_cast<double>((n / kSymbols) % 7 - 3) * pip + pip * 0.1, -s.pip_location);
    benchmark::DoNotOptimize(Tick(id, bid));
  }
};

Flat& TheFlat() {
  static Flat* flat = [] {
    Book& book = TheBook();
    auto* f = new Flat(book);
    // The two must agree to the cent on every account before anything is
    // timed.
    for (int64_t n = 0; n < 3 * kSymbols; ++n) {
      book.Quote(n);
      f->Quote(n, book);
    }
    int mismatches = 0;
    for (size_t a = 0; a < f->floating.size(); ++a) {
      auto account = book.engine->Account(static_cast<int32_t>(a / kAccountsPerClient + 1),
                                          static_cast<int32_t>(a + 1));
      if (account->SummeryInfo()->FloatingProfitLoss() != f->floating[a]) ++mismatches;
    }
    if (mismatches != 0) {
      std::fprintf(stderr, "engine and flat reference disagree on %d accounts\n", mismatches);
      std::abort();
    }
    return f;
  }();
  return *flat;
}

int64_t PositionsOf(const Book& book, int64_t n) {
  return book.positions_per_tick[2 + n % kSymbols];
}

// A host's listener: keeps the last figures of every account, as a dealer
// desk keeps them for its screens.
class FiguresListener : public CAccountsTransactionsEvents {
 public:
  struct Figures {
    double balance, flt, equity, margin_level, effective_margin;
    int32_t open_positions;
  };
  FiguresListener() : m_figures(kClients * kAccountsPerClient + 1) {}
  void UpdateListView(int32_t& /*cl_no*/, int32_t& acc_no, double& Balance, double& flt,
                      double& /*Credit*/, double& Equity, double& /*MarginReq*/,
                      double& marginLevel, double& EffMargin, int32_t& OpenPos) override {
    m_figures[static_cast<size_t>(acc_no)] = {Balance, flt, Equity, marginLevel, EffMargin,
                                              OpenPos};
    ++m_updates;
  }
  const Figures& Of(int32_t account) const { return m_figures[static_cast<size_t>(account)]; }
  int64_t updates() const { return m_updates; }

 private:
  std::vector<Figures> m_figures;
  int64_t m_updates = 0;
};

// Attaches a listener to the book's engine for a benchmark's run.
class Listening {
 public:
  explicit Listening(Book& book) : m_book(book) { m_book.engine->Advise(&m_listener); }
  ~Listening() { m_book.engine->Unadvise(&m_listener); }
  Listening(const Listening&) = delete;
  Listening& operator=(const Listening&) = delete;
  const FiguresListener& listener() const { return m_listener; }

 private:
  Book& m_book;
  FiguresListener m_listener;
};

// What the engine's ticks did, from its own counts where the build has them.
struct TickWork {
#ifdef ORVANE_BENCH_TICK_COUNTS
  detail::TickCounts start = detail::ThreadTickCounts();
  int64_t holders() const { return detail::ThreadTickCounts().holders - start.holders; }
  int64_t repriced() const { return detail::ThreadTickCounts().repriced - start.repriced; }
#else
  int64_t holders() const { return 0; }
  int64_t repriced() const { return 0; }
#endif
};

void ReportTicks(benchmark::State& state, const TickWork& work, int64_t ticks,
                 uint64_t allocations) {
  const double n = static_cast<double>(std::max<int64_t>(ticks, 1));
  state.counters["holders_per_s"] =
      benchmark::Counter(static_cast<double>(work.holders()), benchmark::Counter::kIsRate);
  state.counters["repriced_per_s"] =
      benchmark::Counter(static_cast<double>(work.repriced()), benchmark::Counter::kIsRate);
  state.counters["holders_per_tick"] = static_cast<double>(work.holders()) / n;
  state.counters["repriced_per_tick"] = static_cast<double>(work.repriced()) / n;
  state.counters["allocs_per_tick"] = static_cast<double>(allocations) / n;
}

void RunEngineTicks(benchmark::State& state, Book& book) {
  int64_t n = 0;
  for (int64_t warm = 0; warm < kSymbols; ++warm) book.Quote(warm);
  const TickWork work;
  const uint64_t allocations_before = g_allocations.load();
  for (auto _ : state) book.Quote(n++);
  ReportTicks(state, work, n, g_allocations.load() - allocations_before);
}

void BM_EngineTick(benchmark::State& state) {
  Book& book = TheBook();
  TheFlat();
  RunEngineTicks(state, book);
  state.counters["book_resident_mb"] = g_book_mb;
}
BENCHMARK(BM_EngineTick)->Unit(benchmark::kMicrosecond);

void BM_EngineTickListened(benchmark::State& state) {
  Book& book = TheBook();
  TheFlat();
  Listening listening(book);
  RunEngineTicks(state, book);
}
BENCHMARK(BM_EngineTickListened)->Unit(benchmark::kMicrosecond);

void BM_FlatReference(benchmark::State& state) {
  Book& book = TheBook();
  Flat& flat = TheFlat();
  int64_t n = 0;
  int64_t positions = 0;
  for (auto _ : state) {
    positions += PositionsOf(book, n);
    flat.Quote(n++, book);
  }
  state.counters["positions_per_s"] =
      benchmark::Counter(static_cast<double>(positions), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FlatReference)->Unit(benchmark::kMicrosecond);

void EngineVersusFlat(benchmark::State& state, Book& book) {
  Flat& flat = TheFlat();
  using Clock = std::chrono::steady_clock;
  double engine_seconds = 0, flat_seconds = 0;
  int64_t n = 0;
  const TickWork work;
  const uint64_t allocations_before = g_allocations.load();
  for (auto _ : state) {
    const auto t0 = Clock::now();
    for (int i = 0; i < kSymbols; ++i) book.Quote(n + i);
    const auto t1 = Clock::now();
    for (int i = 0; i < kSymbols; ++i) flat.Quote(n + i, book);
    const auto t2 = Clock::now();
    n += kSymbols;
    engine_seconds += std::chrono::duration<double>(t1 - t0).count();
    flat_seconds += std::chrono::duration<double>(t2 - t1).count();
  }
  const uint64_t allocations = g_allocations.load() - allocations_before;
  const double ticks = static_cast<double>(n);
  state.counters["engine_us_per_tick"] = engine_seconds / ticks * 1e6;
  state.counters["flat_us_per_tick"] = flat_seconds / ticks * 1e6;
  state.counters["ratio"] = flat_seconds > 0 ? engine_seconds / flat_seconds : 0;
  state.counters["holders_per_tick"] = static_cast<double>(work.holders()) / ticks;
  state.counters["repriced_per_tick"] = static_cast<double>(work.repriced()) / ticks;
  state.counters["allocs_per_tick"] = static_cast<double>(allocations) / ticks;
  // Every figure still equal to the flat reference's, to the cent.
  int mismatches = 0;
  for (size_t a = 0; a < flat.floating.size(); ++a) {
    auto account = book.engine->Account(static_cast<int32_t>(a / kAccountsPerClient + 1),
                                        static_cast<int32_t>(a + 1));
    if (account->SummeryInfo()->FloatingProfitLoss() != flat.floating[a]) ++mismatches;
  }
  state.counters["mismatches"] = mismatches;
}

void BM_EngineVersusFlat(benchmark::State& state) { EngineVersusFlat(state, TheBook()); }
BENCHMARK(BM_EngineVersusFlat)->Unit(benchmark::kMillisecond);

void BM_EngineVersusFlatListened(benchmark::State& state) {
  Book& book = TheBook();
  Listening listening(book);
  EngineVersusFlat(state, book);
  // The listener saw what the accounts hold.
  int mismatches = 0;
  const Flat& flat = TheFlat();
  for (size_t a = 0; a < flat.floating.size(); ++a) {
    if (listening.listener().Of(static_cast<int32_t>(a + 1)).flt != flat.floating[a]) {
      ++mismatches;
    }
  }
  state.counters["listener_mismatches"] = mismatches;
}
BENCHMARK(BM_EngineVersusFlatListened)->Unit(benchmark::kMillisecond);

// One position's life through the engine's record paths, on an account
// of the book that holds symbol `symbol`; the book is as before afterwards.
void PositionLife(Book& book, int64_t n, bool quote) {
  const int account = static_cast<int>((n * 7919) % (kClients * kAccountsPerClient));
  const int32_t client_id = account / kAccountsPerClient + 1;
  const int32_t account_id = account + 1;
  const int32_t symbol = PositionSymbol(account, 0);
  const int32_t ticket = 10000000 + static_cast<int32_t>(n % 1000000);
  const double price = book.setups[symbol - 1].bid;
  auto tick = [&] {
    if (quote) book.engine->DealWithChangedSymbolPrices(book.by_id[symbol]);
  };
  book.engine->AddNewOpenPosition(client_id, account_id, ticket, symbol, 2, price, 1, 0, "",
                                  "", false);
  tick();
  book.engine->UpdateOpenPosition(client_id, account_id, ticket, 3, price, 1, symbol, 0, "",
                                  "");
  tick();
  book.engine->ClosePosition(client_id, account_id, ticket, 1);
  tick();
  book.engine->ClosePosition(client_id, account_id, ticket, 2);
  tick();
}

void RecordChanges(benchmark::State& state, bool quote) {
  Book& book = TheBook();
  TheFlat();
  Listening listening(book);
  int64_t n = 0;
  for (auto _ : state) PositionLife(book, n++, quote);
  state.counters["changes_per_s"] =
      benchmark::Counter(static_cast<double>(4 * n), benchmark::Counter::kIsRate);
}

void BM_EngineRecordChanges(benchmark::State& state) { RecordChanges(state, false); }
BENCHMARK(BM_EngineRecordChanges)->Unit(benchmark::kMicrosecond);

void BM_EngineRecordChangesThenTick(benchmark::State& state) { RecordChanges(state, true); }
BENCHMARK(BM_EngineRecordChangesThenTick)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace orvane
