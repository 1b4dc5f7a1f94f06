#ifndef ORVANE_APPS_DESK_DESK_EVENTS_H_
#define ORVANE_APPS_DESK_DESK_EVENTS_H_

#include <cstdint>
#include <string>

#include "change.h"
#include "records.h"

namespace orvane::apps {

// An account's figures as the engine last reported them.
struct AccountFigures {
  int32_t client = 0;
  int32_t account = 0;
  double balance = 0;
  double equity = 0;
  double margin_requirement = 0;
  double margin_level = 0;  // ratio as the engine reports it (1.0 = 100 %)
  double effective_margin = 0;
  int32_t open_positions = 0;
};

// What a desk tells its host, in the order things happened, once the batch
// that holds them is committed (never about a batch that failed to commit).
// Every handler has an empty default, so a host listens only to what it
// needs. A handler must not call back into the desk.
class DeskEvents {
 public:
  virtual ~DeskEvents() = default;
  // An event log line (without time).
  virtual void logged(const std::string& /*text*/) {}
  virtual void figures_changed(const AccountFigures& /*figures*/) {}
  // An entry, stop-loss or take-profit order of the account was executed.
  virtual void order_executed(int32_t /*account*/) {}
  virtual void position_opened(const model::Position& /*position*/) {}
  virtual void position_closed(const model::PositionClosed& /*closed*/) {}
  // Part of a position's lots was closed: the position as it now stands.
  virtual void position_changed(const model::Position& /*position*/) {}
  virtual void history_added(const model::HistoryEntry& /*entry*/) {}
  // A buy and a sell were closed against each other (their closes, history
  // and totals are told as well).
  virtual void closed_by_hedge(int32_t /*client*/, int32_t /*account*/, int32_t /*buy*/,
                             int32_t /*sell*/, double /*lots*/) {}
  // A pending order was placed (by its client, or the guard of a position
  // an entry order opened).
  virtual void order_placed(const model::Order& /*order*/) {}
  // A pending order's price, lots, levels or expiry changed.
  virtual void order_changed(const model::Order& /*order*/) {}
  // An order left the book (filled, deleted, expired, or its position went).
  virtual void order_removed(const model::OrderRemoved& /*removed*/) {}
  // New totals of the account were booked.
  virtual void totals_booked(const model::TotalsBooked& /*booked*/) {}
  virtual void account_liquidated(int32_t /*client*/, int32_t /*account*/) {}
  virtual void alert_fired(int32_t /*client*/, int32_t /*alert*/, const std::string& /*text*/) {}
  // The store refused a batch; the desk takes no more commands.
  virtual void halted(const std::string& /*reason*/) {}
  // A rollover booked interest to a position: the position as it now
  // stands (its interest is all rollovers so far). New totals follow for a
  // client booked on open.
  virtual void interest_booked(const model::Position& /*position*/) {}
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_DESK_DESK_EVENTS_H_
