#include "price_feed.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace orvane::apps {

namespace {

const DateTime kWalkStart = DateTime::FromParts(2027, 3, 3, 12, 0, 0);

std::string time_text(DateTime time) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", time.Day(), time.Month(),
                time.Year(), time.Hour(), time.Minute(), time.Second());
  return text;
}

double on_step(double price, double step) { return std::round(price / step) * step; }

}  // namespace

PriceFeed PriceFeed::from_tape(std::vector<model::Quote> tape) {
  PriceFeed feed;
  feed.m_length = tape.size();
  feed.m_tape = std::move(tape);
  return feed;
}

PriceFeed PriceFeed::random_walk(const model::Snapshot& book, uint64_t seed, double rate,
                                 size_t ticks) {
  PriceFeed feed;
  feed.m_random.seed(seed);
  feed.m_rate = rate > 0 ? rate : 1;
  feed.m_length = ticks;
  for (const model::Symbol& s : book.symbols) {
    if (s.id == 1) continue;
    const int32_t pip_location = s.pip_location == 100 ? -2 : s.pip_location;
    const double step = std::pow(10.0, pip_location) / 10;
    feed.m_walkers.push_back(Walker{s.id, (s.bid + s.ask) / 2, (s.ask - s.bid) / 2, step});
  }
  return feed;
}

bool PriceFeed::next(model::Quote& tick) {
  if (m_length != 0 && m_delivered >= m_length) return false;
  if (!m_tape.empty()) {
    tick = m_tape[m_delivered];
  } else if (!m_walkers.empty()) {
    tick = walk_tick();
  } else {
    return false;
  }
  ++m_delivered;
  return true;
}

DateTime PriceFeed::first_time() const {
  return m_tape.empty() ? kWalkStart : m_tape.front().time;
}

std::string PriceFeed::first_time_text() const {
  return m_tape.empty() ? time_text(kWalkStart) : m_tape.front().time_text;
}

bool PriceFeed::skip_to(size_t delivered) {
  model::Quote passed;
  while (m_delivered < delivered) {
    if (!next(passed)) return false;
  }
  return true;
}

model::Quote PriceFeed::walk_tick() {
  Walker& w = m_walkers[m_delivered % m_walkers.size()];
  const double moved = w.mid + m_move(m_random) * w.step;
  if (moved - w.half_spread > w.step) w.mid = moved;
  model::Quote tick;
  tick.symbol = w.symbol;
  tick.bid = on_step(w.mid - w.half_spread, w.step);
  tick.ask = std::max(tick.bid, on_step(w.mid + w.half_spread, w.step));
  const double seconds = std::floor(static_cast<double>(m_delivered) / m_rate);
  tick.time = kWalkStart + seconds / 86400.0;
  tick.time_text = time_text(tick.time);
  return tick;
}

}  // namespace orvane::apps
