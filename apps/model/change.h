#ifndef ORVANE_APPS_MODEL_CHANGE_H_
#define ORVANE_APPS_MODEL_CHANGE_H_

#include <cstdint>
#include <string>
#include <variant>

#include "records.h"

// One effect of a command or of the engine, as a store keeps it. A batch of
// changes is what one command (or one quote) decided; applied in order to
// the snapshot the desk started from, the changes give the desk's state.
namespace orvane::apps::model {

struct PositionOpened {
  Position position;
  friend bool operator==(const PositionOpened&, const PositionOpened&) = default;
};

// The position left the book. Its realised result is already in the
// account's totals (a TotalsBooked follows); price, profit and reason say
// how it closed.
struct PositionClosed {
  int32_t client = 0;
  int32_t account = 0;
  int32_t ticket = 0;
  double price = 0;      // close price
  double ref_price = 0;  // the reference price that converted the result
  double profit = 0;     // realised, in account currency, rounded to cents
  std::string time;      // market time of the close
  std::string reason;    // "stop-loss", "take-profit", "liquidation", ...
  friend bool operator==(const PositionClosed&, const PositionClosed&) = default;
};

// An open position's lots or price changed (a partial close).
struct PositionChanged {
  Position position;
  friend bool operator==(const PositionChanged&, const PositionChanged&) = default;
};

struct HistoryAdded {
  HistoryEntry entry;
  friend bool operator==(const HistoryAdded&, const HistoryAdded&) = default;
};

struct AuditAdded {
  AuditEntry entry;
  friend bool operator==(const AuditAdded&, const AuditAdded&) = default;
};

// A user's order number was used and had this outcome.
struct OrderNumberUsed {
  OrderNumber number;
  friend bool operator==(const OrderNumberUsed&, const OrderNumberUsed&) = default;
};

struct OrderPlaced {
  Order order;
  friend bool operator==(const OrderPlaced&, const OrderPlaced&) = default;
};

// A pending order's price, lots, levels or expiry changed.
struct OrderChanged {
  Order order;
  friend bool operator==(const OrderChanged&, const OrderChanged&) = default;
};

// The order left the book: filled, deleted, expired, or its position went.
struct OrderRemoved {
  int32_t client = 0;
  int32_t account = 0;
  int32_t id = 0;
  std::string reason;  // "filled", "deleted", "expired", "position closed"
  friend bool operator==(const OrderRemoved&, const OrderRemoved&) = default;
};

// The account's totals are now these.
struct TotalsBooked {
  int32_t client = 0;
  int32_t account = 0;
  Totals totals;
  friend bool operator==(const TotalsBooked&, const TotalsBooked&) = default;
};

// An alert fired and was taken off the book.
struct AlertRemoved {
  int32_t client = 0;
  int32_t id = 0;
  friend bool operator==(const AlertRemoved&, const AlertRemoved&) = default;
};

// Market time moved forward to `time`.
struct MarketTimeAdvanced {
  DateTime time;
  std::string text;  // dd/mm/yyyy hh:nn:ss
  friend bool operator==(const MarketTimeAdvanced&, const MarketTimeAdvanced&) = default;
};

// A rollover booked interest to the position: its interest is now
// `interest` (account currency, all rollovers so far). For a client booked
// on open, a TotalsBooked with the account's new interest total follows.
struct InterestAdded {
  int32_t client = 0;
  int32_t account = 0;
  int32_t ticket = 0;
  double interest = 0;
  friend bool operator==(const InterestAdded&, const InterestAdded&) = default;
};

// Money moved in one of an account's ledgers; the TotalsBooked of the same
// batch holds the total it moved.
struct MoneyBooked {
  MoneyEntry entry;
  friend bool operator==(const MoneyBooked&, const MoneyBooked&) = default;
};

// A dealer added a client (or an office or group) to the tree.
struct ClientAdded {
  Client client;
  friend bool operator==(const ClientAdded&, const ClientAdded&) = default;
};
// A client's settings changed (auto-liquidation switched on or off).
struct ClientChanged {
  Client client;
  friend bool operator==(const ClientChanged&, const ClientChanged&) = default;
};
// A dealer opened an account for a client; its totals are all 0.
struct AccountAdded {
  Account account;
  friend bool operator==(const AccountAdded&, const AccountAdded&) = default;
};
// A user who may log on now (a new client's own).
struct UserAdded {
  User user;
  friend bool operator==(const UserAdded&, const UserAdded&) = default;
};

using Change = std::variant<PositionOpened, PositionClosed, PositionChanged, OrderPlaced,
                            OrderChanged, OrderRemoved, TotalsBooked, AlertRemoved,
                            MarketTimeAdvanced, HistoryAdded, AuditAdded, OrderNumberUsed,
                            InterestAdded, MoneyBooked, ClientAdded, ClientChanged,
                            AccountAdded, UserAdded>;

// How many outcomes of each user's order numbers a snapshot keeps: a number
// older than these is refused as used.
constexpr size_t kOrderNumbersKept = 256;

// Applies one change to a snapshot. A change that names a record the
// snapshot does not hold changes nothing and returns false.
bool apply(Snapshot& snapshot, const Change& change);

}  // namespace orvane::apps::model

#endif  // ORVANE_APPS_MODEL_CHANGE_H_
