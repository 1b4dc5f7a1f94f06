#ifndef ORVANE_APPS_SERVER_PRICE_FEED_H_
#define ORVANE_APPS_SERVER_PRICE_FEED_H_

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "records.h"

namespace orvane::apps {

// The quotes a server fans out: a tape replayed in order, or a seeded
// random walk of every tradable symbol of a book from its book prices
// (symbols in turn, each step a normal move of about a pip, the book's
// spread kept, prices on a tenth of a pip). Walk times start on Wednesday
// 3 March 2027 12:00:00 and advance by 1/rate seconds a tick, so that a run
// is the same whatever the wall clock says.
class PriceFeed {
 public:
  static PriceFeed from_tape(std::vector<model::Quote> tape);
  // `ticks` 0: endless.
  static PriceFeed random_walk(const model::Snapshot& book, uint64_t seed, double rate,
                               size_t ticks);

  // The next quote; false once the feed has ended.
  bool next(model::Quote& tick);
  // Passes over quotes until `delivered` have gone (a feed resumed after a
  // restart); false when the feed ends first.
  bool skip_to(size_t delivered);
  // The time text of the first quote (the symbols' quote time before it).
  std::string first_time_text() const;
  DateTime first_time() const;
  size_t delivered() const { return m_delivered; }
  // 0 for an endless feed.
  size_t length() const { return m_length; }

 private:
  struct Walker {
    int32_t symbol = 0;
    double mid = 0;
    double half_spread = 0;
    double step = 0;  // a tenth of a pip
  };

  PriceFeed() = default;
  model::Quote walk_tick();

  std::vector<model::Quote> m_tape;
  std::vector<Walker> m_walkers;
  std::mt19937_64 m_random;
  std::normal_distribution<double> m_move{0.0, 10.0};
  double m_rate = 1;
  size_t m_length = 0;
  size_t m_delivered = 0;
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_SERVER_PRICE_FEED_H_
