#ifndef ORVANE_APPS_REPLAY_REPLAY_H_
#define ORVANE_APPS_REPLAY_REPLAY_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "book_import.h"
#include "records.h"

// The risk replay: a server-side desk (apps::Desk, which executes what the
// engine reports) run over a tick tape.
namespace orvane::replay {

using apps::import_book;
using apps::import_tape;
using apps::InputError;
using apps::read_file;
using Book = apps::model::Snapshot;
using Tick = apps::model::Quote;

struct ChartPoint {
  double equity = 0;
  double margin_level = 0;  // percent; 0 when no margin is required
};

struct AccountResult {
  int32_t client = 0;
  int32_t account = 0;
  double balance = 0;
  double equity = 0;
  double margin_requirement = 0;
  double margin_level = 0;  // ratio as the engine reports it (1.0 = 100 %)
  int32_t open_positions = 0;
  int32_t hits = 0;          // entry, stop-loss and take-profit orders executed
  int32_t liquidations = 0;  // times the account was sent for liquidation
  std::vector<ChartPoint> chart;  // equity and margin level over the tape
};

struct ReplayResult {
  std::vector<AccountResult> accounts;  // in book order
  std::vector<std::string> events;      // the event log, one line each
  size_t ticks = 0;
  double seconds = 0;      // wall time of the tick loop
  double cpu_seconds = 0;  // processor time of the tick loop
  size_t order_hits = 0;
  size_t alert_hits = 0;
  size_t liquidated_positions = 0;
  std::string first_tick, last_tick;
};

struct ReplayOptions {
  size_t chart_points = 120;
  // Called now and then with the share of the tape done (0..1).
  std::function<void(double)> progress;
};

// Loads the book into a new desk (market time: the tape's first tick) and
// runs the tape. Throws apps::DeskError when the book cannot be applied
// (import_book has checked it already).
ReplayResult run_replay(const Book& book, const std::vector<Tick>& tape,
                       const ReplayOptions& options = {});

}  // namespace orvane::replay

#endif  // ORVANE_APPS_REPLAY_REPLAY_H_
