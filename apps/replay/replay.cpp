#include "replay.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <memory>

#include "desk.h"
#include "id_table.h"
#include "memory_store.h"
#include "orvane/core/clock.h"

namespace orvane::replay {

namespace {

// Market time starts at the tape's first tick.
Book seed(Book book, const std::vector<Tick>& tape) {
  if (!tape.empty()) {
    book.market_time = tape.front().time;
    book.market_time_text = tape.front().time_text;
  }
  return book;
}

// The replay's side of the engine: ticks in, figures, counts, charts and the
// event log out.
class Host : public apps::DeskEvents {
 public:
  Host(const Book& book, const std::vector<Tick>& tape, const ReplayOptions& options)
      : m_tape(tape),
        m_options(options),
        m_clock(std::make_shared<FixedClock>(tape.empty() ? DateTime() : tape.front().time)),
        m_scoped_clock(m_clock),
        m_store(seed(book, tape)),
        m_engine(m_store, m_clock, this) {
    if (!tape.empty()) {
      m_start = tape.front().time.Serial();
      m_span = tape.back().time.Serial() - m_start;
    }
    for (const apps::model::Account& a : book.accounts) {
      m_index[a.account] = m_result.accounts.size();
      AccountResult result;
      result.client = a.client;
      result.account = a.account;
      m_result.accounts.push_back(std::move(result));
    }
    m_charts.assign(m_points * m_result.accounts.size(), ChartPoint{std::nan(""), 0});
  }

  void load() { m_engine.load(); }

  ReplayResult run() {
    const auto began = std::chrono::steady_clock::now();
    const std::clock_t cpu_began = std::clock();
    const size_t step = std::max<size_t>(m_tape.size() / 200, 1);
    for (size_t i = 0; i < m_tape.size(); ++i) {
      m_now = &m_tape[i];
      m_bucket = bucket_of(*m_now);
      m_engine.apply_quote(m_tape[i]);
      if (m_options.progress && i % step == 0) {
        m_options.progress(static_cast<double>(i) / static_cast<double>(m_tape.size()));
      }
    }
    const auto ended = std::chrono::steady_clock::now();
    m_result.cpu_seconds =
        static_cast<double>(std::clock() - cpu_began) / static_cast<double>(CLOCKS_PER_SEC);
    if (m_options.progress) m_options.progress(1.0);
    m_result.ticks = m_tape.size();
    m_result.seconds = std::chrono::duration<double>(ended - began).count();
    if (!m_tape.empty()) {
      m_result.first_tick = m_tape.front().time_text;
      m_result.last_tick = m_tape.back().time_text;
    }
    m_result.order_hits = m_engine.counts().order_hits;
    m_result.alert_hits = m_engine.counts().alert_hits;
    m_result.liquidated_positions = m_engine.counts().liquidated_positions;
    fill_charts();
    return std::move(m_result);
  }

  // ---- what the engine reports ----

  void logged(const std::string& text) override {
    const std::string& when = m_now ? m_now->time_text : std::string("load");
    m_result.events.push_back(when + "  " + text);
  }
  void figures_changed(const apps::AccountFigures& f) override {
    AccountResult* result = find(f.account);
    if (!result) return;
    result->balance = f.balance;
    result->equity = f.equity;
    result->margin_requirement = f.margin_requirement;
    result->margin_level = f.margin_level;
    result->open_positions = f.open_positions;
    m_charts[m_bucket * m_result.accounts.size() + slot(*result)] =
        ChartPoint{f.equity, f.margin_requirement != 0 ? f.margin_level * 100 : 0};
  }
  void order_executed(int32_t account) override {
    if (AccountResult* result = find(account)) ++result->hits;
  }
  void account_liquidated(int32_t /*client*/, int32_t account) override {
    if (AccountResult* result = find(account)) ++result->liquidations;
  }

 private:
  AccountResult* find(int32_t account) {
    const size_t* slot = m_index.find(account);
    return slot == nullptr ? nullptr : &m_result.accounts[*slot];
  }
  size_t slot(const AccountResult& result) const {
    return static_cast<size_t>(&result - m_result.accounts.data());
  }

  // The chart point of the tape's share up to `tick`; every account's chart
  // has the same number of points.
  size_t bucket_of(const Tick& tick) const {
    if (m_span <= 0) return 0;
    const double share = (tick.time.Serial() - m_start) / m_span;
    const auto bucket = static_cast<size_t>(share * static_cast<double>(m_points - 1));
    return std::min(bucket, m_points - 1);
  }

  // Buckets no tick reached carry the value before them.
  void fill_charts() {
    const size_t accounts = m_result.accounts.size();
    for (size_t a = 0; a < accounts; ++a) {
      AccountResult& result = m_result.accounts[a];
      result.chart.resize(m_points);
      for (size_t bucket = 0; bucket < m_points; ++bucket) {
        result.chart[bucket] = m_charts[bucket * accounts + a];
      }
      ChartPoint last{std::nan(""), 0};
      for (ChartPoint& point : result.chart) {
        if (std::isnan(point.equity)) {
          point = last;
        } else {
          last = point;
        }
      }
      for (ChartPoint& point : result.chart) {
        if (std::isnan(point.equity)) point = ChartPoint{result.equity, 0};
      }
    }
  }

  const std::vector<Tick>& m_tape;
  ReplayOptions m_options;
  std::shared_ptr<FixedClock> m_clock;
  ScopedClock m_scoped_clock;
  apps::IdTable<size_t> m_index;  // an account's place in m_result.accounts
  ReplayResult m_result;
  const Tick* m_now = nullptr;
  const size_t m_points = std::max<size_t>(m_options.chart_points, 2);  // per chart
  size_t m_bucket = 0;  // the chart point of the tick being applied
  // The charts while the tape runs, a chart point's accounts side by side:
  // one tick writes to one row.
  std::vector<ChartPoint> m_charts;
  double m_start = 0;
  double m_span = 0;
  apps::MemoryStore m_store;
  apps::Desk m_engine;  // last: it reports into the members above
};

}  // namespace

ReplayResult run_replay(const Book& book, const std::vector<Tick>& tape,
                       const ReplayOptions& options) {
  Host host(book, tape, options);
  host.load();
  return host.run();
}

}  // namespace orvane::replay
