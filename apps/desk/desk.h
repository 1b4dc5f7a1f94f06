#ifndef ORVANE_APPS_DESK_DESK_H_
#define ORVANE_APPS_DESK_DESK_H_

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <unordered_map>
#include <variant>
#include <vector>

#include "change.h"
#include "desk_events.h"
#include "id_table.h"
#include "orvane/accounts/accounts_transactions.h"
#include "orvane/accounts/accounts_transactions_events.h"
#include "platform.h"
#include "records.h"
#include "store.h"

namespace orvane {
class CAccount;
class COpenPosition;
class COrder;
class CSymbol;
class CSymbols;
class FixedClock;
}  // namespace orvane

namespace orvane::apps {

// What a client's market order asks for. `price` is the price the client
// saw (its ask for a buy, its bid for a sell; for a close, the price the
// position closes at).
struct MarketOrder {
  std::string username;
  int32_t number = 0;  // the user's own order number
  int32_t client = 0;
  int32_t account = 0;
  int32_t symbol = 0;    // opening: the symbol
  int32_t direction = 0;  // opening: BuyType or SellType
  int32_t ticket = 0;    // closing: the position
  int32_t hedge_ticket = 0;  // closing by hedge: the opposite position
  double lots = 0;       // closing: 0 for all of the position's lots
  double price = 0;
  // A dealer's deal (a manual one, or a negotiated order accepted): it
  // executes at `price` as given, under the same rules otherwise, and its
  // audit names the dealer. Empty for the client's own order.
  std::string dealer;
};

// A dealer's money transaction on an account.
struct MoneyOrder {
  enum Kind : int32_t {
    kDeposit = 1,
    kWithdrawal = 2,
    kCreditIn = 3,
    kCreditOut = 4,
    kAdjustment = 5,  // to the net profit, either way
  };
  std::string username;  // the dealer
  int32_t number = 0;    // the dealer's own number
  int32_t client = 0;
  int32_t account = 0;
  int32_t kind = kDeposit;
  double amount = 0;  // positive; an adjustment may be negative
  std::string note;
};

// A dealer's change to the tree: a new client (with its user), a new
// account, or a client's auto-liquidation switched.
struct TreeOrder {
  enum class Action { kNewClient, kNewAccount, kAutoLiquidation };
  std::string username;  // the dealer
  int32_t number = 0;
  Action action = Action::kNewClient;
  model::Client client;  // a new client (id 0: the next free one); otherwise its id
  model::User user;      // a new client's user
  model::Account account;  // a new account (number 0: the next free one)
  bool on = true;          // auto-liquidation
};

// What a client's request about a pending order asks for: an entry order
// (a buy or sell limit or stop, filled when the client's price reaches it)
// or a stop-loss and take-profit order that guards an open position.
struct PendingOrder {
  enum class Action { kPlace, kChange, kDelete };
  std::string username;
  int32_t number = 0;  // the user's own order number
  int32_t client = 0;
  int32_t account = 0;
  Action action = Action::kPlace;
  int32_t kind = 0;       // LimitOrdersType (entry) or SlTpType (guard)
  int32_t id = 0;         // changing or deleting: the order
  int32_t symbol = 0;     // placing an entry
  // Placing an entry: BuyType (buy limit), BuyStopType, SellType (sell
  // limit) or SellStopType.
  int32_t direction = 0;
  int32_t ticket = 0;  // placing a guard: the position it guards
  double lots = 0;     // an entry's
  double price = 0;    // an entry's fill price
  // Guard levels, 0 for none; an entry's guard the position it opens.
  double sl = 0;
  double tp = 0;
  std::string expiry;  // an entry's, dd/mm/yyyy hh:nn:ss; empty: until deleted
};

// The rules the desk applies to market orders.
struct TradingRules {
  int32_t lot_decimals = 2;     // lots are multiples of 10^-lot_decimals
  double max_deviation_pips = 3;  // how far the seen price may lie from the current one
  // The daily rollover, in seconds after midnight of market time; none: the
  // desk books no interest (see Desk below for when it books).
  std::optional<int32_t> rollover_seconds;
};

// How many days of interest the rollover of a weekday (1 = Sunday ... 7 =
// Saturday) books: 3 on Wednesday (it carries the weekend), 1 on the other
// working days, 0 on Saturday and Sunday (no rollover).
int16_t rollover_day_factor(int weekday);

// Why a market order was refused; 0 when it was executed.
enum OrderCode : int32_t {
  kExecuted = 0,
  kUnknownAccount = -510,
  kUnknownSymbol = -511,
  kMarketClosed = -512,
  kLotsOutOfRange = -513,
  kLotStep = -514,
  kRequote = -515,
  kNotEnoughMargin = -516,
  kUnknownPosition = -517,
  kPartialCloseNotAllowed = -518,
  kHedgingNotAllowed = -519,
  kOrderNumberUsed = -520,
  kNotAHedge = -521,
  kUnknownOrder = -522,
  kTooNearThePrice = -523,  // a pending price or level on the wrong side, or within the offset
  kBadExpiry = -524,
  kAlreadyGuarded = -525,
  kNoLevels = -526,
  kBadOrderType = -527,
  kSymbolNotAllowed = -528,  // the user may trade only some symbols, not this one
  kBadAmount = -529,
  kNotEnoughFunds = -530,    // a withdrawal or credit out the account cannot give
  kUnknownClient = -531,
  kNameTaken = -532,         // a user name or client number already there
  kNoDealer = -533,          // a client dealt by hand, and no dealer takes orders now
  kExpired = -534,           // nobody answered a negotiation in time
  kDealerRejected = -535,
  kClientRejected = -536,    // the client turned the dealer's price down
};

// A record of the store that the engine would not take.
class DeskError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The owner of a host's trading state: it loads the store's snapshot into
// an account engine, takes commands, answers queries from the live engine,
// and writes every effect, the engine's own decisions included, to the store
// as change records, one batch per command (or per turn of the host's loop,
// see defer_commits), committed before anyone hears of it (DeskEvents). After
// a failed commit it takes no more commands.
//
// On the server side (SERVER_SIDE_EXECUTION) what the engine reports after
// a quote is executed right after it, in the order it was reported:
// - an entry order that hits opens a position at the hit price (a buy limit
//   or buy stop a buy, the others a sell) under the next ticket, and the
//   order is finished;
// - a stop-loss or take-profit that hits closes its position at the hit
//   price;
// - a position sent for liquidation closes at the sent close price and
//   reference price;
// - an alert that fires is reported once and then deleted.
// Realised profit (DealProfit, rounded to cents) goes to the account's net
// profit; commission of ON_OPEN clients is booked on opening; the margin
// requirement grows and shrinks by the symbol's margin per lot. The new
// totals reach the engine through UpdateAccountSummaries. On the client side
// nothing hits: the desk keeps figures current and applies the changes a
// server pushes (apply_change).
//
// Market time is `clock`, which the host installs as the process clock: the
// store's market time at Load, then each quote's time, never backwards.
//
// Interest: on the server side, with a rollover time in the rules, every
// rollover that market time passes (a moment after the time before the quote
// and at or before the quote's) books a day's interest of every symbol with
// rates (CalculateInterest, rollover_day_factor days) before the quote prices
// anything. A quote that jumps over several rollovers books each of them,
// in order. The market time of a batch that passed a rollover is always
// stored, so a desk loaded again books only the rollovers after it.
class Desk : private CAccountsTransactionsEvents {
 public:
  struct Counts {
    size_t order_hits = 0;
    size_t alert_hits = 0;
    size_t liquidated_positions = 0;
  };

  // `events` may be null; it and `store` must outlive the desk.
  Desk(Store& store, std::shared_ptr<FixedClock> clock, DeskEvents* events,
       ExecutionModeEnum side = SERVER_SIDE_EXECUTION);
  ~Desk() override;
  Desk(const Desk&) = delete;
  Desk& operator=(const Desk&) = delete;

  // Loads the store's snapshot. Throws DeskError naming the first record the
  // engine refuses.
  void load();
  // Loads `snapshot`, which is what the store holds now (its host has just
  // read it), as load() would without reading the store again.
  void load(model::Snapshot snapshot);

  // Commands. Each is one batch; false (and nothing done) once halted.
  // A quote: its raw bid and ask are stored in the symbol, the engine
  // revalues (and checks, on the server side) and what it reported is
  // executed. A quote of a symbol the desk does not hold is ignored.
  bool apply_quote(const model::Quote& quote);
  // A client's market order that opens a position (`ticket` 0), closes one,
  // whole or in part, or closes a buy against a sell of the same symbol and
  // account (`hedge_ticket`): the two close against each other at their
  // open prices (one spread paid, not two), the smaller whole and the larger
  // keeping the rest under its ticket. Executed at the client's current price when
  // every rule holds; otherwise refused with a code and a text, the account
  // left exactly as it was. A number the user used before gets its first
  // outcome again and executes nothing. A halted desk refuses nothing and
  // executes nothing: it answers none.
  std::optional<model::OrderNumber> execute(const MarketOrder& order);
  // A client's request to place, change or delete a pending order, under
  // the same exactly-once numbering as market orders; the outcome's ticket
  // is the order's id. Placing or changing needs the symbol's market open,
  // lots as for a market order, and every price on the right side of the
  // client's current price by at least the client's offset (in pips):
  // - a buy limit at most the ask less LimitOffset, a buy stop at least the
  //   ask plus StopOffset; a sell limit at least the bid plus LimitOffset, a
  //   sell stop at most the bid less StopOffset;
  // - a guard of a buy (which closes at the bid): stop-loss at most the bid
  //   less StopOffset, take-profit at least the bid plus LimitOffset; of a
  //   sell (closing at the ask) the other way round;
  // - an entry's own levels are measured the same way from its price.
  // An entry also needs the margin its position would take now, and an
  // expiry, when it has one, after market time. A change replaces the
  // order's price, lots, levels and expiry (a guard's levels only).
  std::optional<model::OrderNumber> execute(const PendingOrder& order);
  // A dealer's money transaction, under the same exactly-once numbering:
  // booked to the account's totals as one money entry, noted with the kind
  // and the dealer. A withdrawal or credit out never leaves the effective
  // margin negative (nor the credit negative). Outcome ticket: the account.
  std::optional<model::OrderNumber> execute(const MoneyOrder& order);
  // A dealer's change to the tree; outcome ticket: the new client's or
  // account's number, or the client's.
  std::optional<model::OrderNumber> execute(const TreeOrder& order);
  // Keeps a dealer's action that changes no record (a broadcast, a client
  // disconnected) as an audit entry of the client (0: none); false when
  // halted or the store refused it.
  bool audit_dealer(const std::string& dealer, int32_t client, const std::string& text);
  // Ends a market order that was not executed (a negotiation refused or
  // expired) with `code` and `text` as its number's outcome, kept and
  // audited like any other; a number already used gets its first outcome.
  std::optional<model::OrderNumber> decline(const MarketOrder& order, int32_t code,
                                            const std::string& text);
  // The outcome the user's number had; none when the number is not kept.
  std::optional<model::OrderNumber> outcome(const std::string& username, int32_t number) const;
  // The client's current price for a deal in `direction`: a buy opens at
  // the ask, a sell at the bid; closing, a buy closes at the bid and a sell
  // at the ask. None when the client has no parameters for the symbol.
  std::optional<double> deal_price(int32_t client, int32_t symbol, int32_t direction,
                                  bool closing) const;
  // The highest order number the user has used; 0 for none.
  int32_t last_order_number(const std::string& username) const;
  void rules(const TradingRules& rules) { m_rules = rules; }

  // A change decided elsewhere (a server's push, on a terminal's desk).
  // False when halted or when the change names what the desk does not hold.
  bool apply_change(const model::Change& change);

  bool halted() const { return !m_halt_reason.empty(); }
  const std::string& halt_reason() const { return m_halt_reason; }

  // Group commit. From now on a command's changes go into the store's open
  // batch and what it tells waits; the batch is committed, and what it told
  // delivered in order, when `post`'s argument runs: the host posts it to
  // run once the work of its present turn is done (asio::post in a server),
  // so that everything one turn decides is one transaction. Until then the
  // desk is Waiting. A failed commit halts the desk and tells nothing of the
  // batch.
  void defer_commits(std::function<void(std::function<void()>)> post);
  // Commits the open batch now and delivers what it told; false when halted
  // or when the store refused it.
  bool flush();
  // Whether changes or tells wait for a commit.
  bool waiting() const { return m_uncommitted || !m_told.empty(); }
  // Runs `work` now when nothing waits, otherwise right after the waiting
  // batch commits, in order with what it tells; never when that commit
  // fails. For what reports the batch's outcome (answers to a client).
  void after_commit(std::function<void()> work);

  // Queries, from live state.
  const std::vector<model::Symbol>& symbols() const { return m_symbol_records; }
  const model::Client* client(int32_t id) const;
  const model::Platform& platform() const { return m_platform; }
  // Every client, office and group, in load order.
  const std::vector<model::Client>& clients() const { return m_clients; }
  // The client that holds the account; 0 for none.
  int32_t account_owner(int32_t account) const;
  // Whether `client` stands below `root` in the tree, at any depth, or is
  // it; every client the desk holds is below root 0.
  bool sees(int32_t root, int32_t client) const;
  const model::User* user(const std::string& username) const;
  std::vector<model::Account> accounts(int32_t client) const;
  std::vector<model::Position> positions(int32_t client) const;
  std::vector<model::Order> orders(int32_t client) const;
  std::vector<model::Alert> alerts(int32_t client) const;
  // From the store when it keeps history (none, logged, when it cannot be
  // read).
  std::vector<model::HistoryEntry> history(int32_t client) const;
  // The figures of each account of the client that the engine has reported.
  std::vector<AccountFigures> figures(int32_t client) const;
  std::optional<AccountFigures> figures_of(int32_t account) const;
  // The whole state as records, clients and accounts in load order; history,
  // audit and money entries only when the desk holds them (the store does
  // not keep them itself: Store::keeps_history).
  model::Snapshot snapshot() const;
  DateTime market_time() const;
  const std::string& market_time_text() const { return m_market_time_text; }

  // Whether a stop-loss and a take-profit order guard the position.
  struct Guards {
    bool sl = false;
    bool tp = false;
  };
  Guards guards_of(const model::Position& position) const;
  // The orders that guard the client's position; none when it is not the
  // client's.
  std::vector<model::Order> guard_orders(int32_t client, int32_t account, int32_t ticket) const;
  // Empty for a symbol the desk does not hold.
  std::string symbol_name(int32_t id) const;

  // None for an id the desk does not hold.
  std::shared_ptr<CSymbol> symbol(int32_t id) const;
  const CAccountsTransactions& engine() const { return *m_engine; }
  const Counts& counts() const { return m_counts; }

 private:
  enum class Work { kEntry, kStop, kLiquidation, kAlert };
  struct Pending {
    Work work;
    int32_t client = 0;
    int32_t account = 0;
    int32_t id = 0;  // order, ticket or alert
    double price = 0;
    double ref_price = 0;
    int16_t sl_or_tp = 0;
  };
  struct Logged {
    std::string text;
  };
  struct Executed {
    int32_t account;
  };
  struct Liquidated {
    int32_t client, account;
  };
  struct Fired {
    int32_t client, alert;
    std::string text;
  };
  struct Hedged {
    int32_t client, account, buy, sell;
    double lots;
  };
  struct Accrued {
    model::Position position;
  };
  using Told = std::variant<Logged, AccountFigures, Executed, model::Position,
                            model::PositionClosed, model::PositionChanged, model::OrderPlaced,
                            model::OrderChanged, model::OrderRemoved,
                            model::TotalsBooked, model::HistoryAdded, Liquidated, Fired,
                            Hedged, Accrued, std::function<void()>>;

  // CAccountsTransactionsEvents
  void NewAccountSummeriesData(int32_t& cl_no, int32_t& acc_no, double& Balance, double& flt,
                               double& Credit, double& Equity, double& MarginReq,
                               double& marginLevel, double& EffMargin,
                               int32_t& OpenPositions) override;
  void UpdateListView(int32_t& cl_no, int32_t& acc_no, double& Balance, double& flt,
                      double& Credit, double& Equity, double& MarginReq, double& marginLevel,
                      double& EffMargin, int32_t& OpenPos) override;
  void RaiseHitOrder(OrdersTypeEnum& OrderType, std::shared_ptr<COrder>& Order,
                     std::shared_ptr<CAccount>& AccInfo, bool& SecondHit, bool& Done,
                     int16_t& SLorTP) override;
  void RaiseHitAlert(std::shared_ptr<CAlert>& vAlert, std::shared_ptr<CClient>& vClient) override;
  void SendLiqPosition(int32_t& vClient, int32_t& vAccount, int32_t& vTicket, int32_t& vSymID,
                       double& vClosePrice, double& vRefPrice, double& vLots,
                       double& EffMargin) override;
  void SendLiquidateAccount(int32_t& vClient, int32_t& vAccount) override;
  void AddLogEntry(std::string& msg, int16_t& LogLevel) override;
  void ChangePosInterest(int32_t& vClient, int32_t& vAccount, int32_t& vTicket,
                         double& vInt) override;
  void ChangeTotInterest(int32_t& vClient, int32_t& vAccount, double& vTorInt) override;

  // Loading.
  void load_symbol(const model::Symbol& s);
  void load_client(const model::Client& c);
  void load_account(const model::Account& a);
  // Whether the engine liquidates the account at its client's point.
  bool liquidates(const model::Account& a) const;
  void load_position(const model::Position& p);
  void load_order(const model::Order& o);

  // Batches.
  void record(model::Change change);
  void tell(Told told);
  // Keeps an account's new figures and tells them. Takes the engine's
  // figures where they lie and writes each where it goes: a structure
  // copied just after it was written field by field waits on the writes.
  void keep_figures(const int32_t& client, const int32_t& account, const double& balance,
                    const double& equity, const double& margin_requirement,
                    const double& margin_level, const double& effective_margin,
                    const int32_t& open_positions);
  // Ends a command: its changes go to the store's batch, which is
  // committed now, or when the turn ends when commits are deferred; false
  // when the store refused it.
  bool finish();
  // Commits what waits and tells what it held; false when the store refused.
  bool commit();
  void schedule_flush();
  void deliver(const Told& told);
  void advance_market_time(const model::Quote& quote);

  // Interest (desk_interest.cpp).
  void load_interest_rates(const std::vector<model::InterestRate>& rates);
  // Books every rollover after `before` up to the market time now.
  void book_rollovers(DateTime before);
  bool apply_interest(const model::InterestAdded& added);

  // Execution on the server side.
  void execute_pending();
  void open_from_order(const Pending& work);
  void close_from_order(const Pending& work);
  // Closes `lots` of the position (all when 0 or more than it holds) and
  // books the realised result.
  void close_position(int32_t client_id, int32_t account_id, int32_t ticket, double price,
                     double ref_price, const std::string& reason, double lots = 0);
  std::shared_ptr<COpenPosition> open_position(int32_t client, int32_t account, int32_t symbol,
                                              int32_t direction, double lots, double price,
                                              const std::string& note);
  void book_opening(CAccount& account, const COpenPosition& position, bool from_order);
  // Runs a numbered request once: a repeat of a kept number gets its first
  // outcome back; otherwise `execute` decides the outcome, which is kept,
  // audited and committed with the request's effects.
  template <typename Request, typename ExecuteFn>
  std::optional<model::OrderNumber> once(const Request& request, ExecuteFn execute);
  model::OrderNumber check(const MarketOrder& order, double& price, double& ref_price) const;
  model::OrderNumber check_hedge(const MarketOrder& order) const;
  model::OrderNumber check_pending(const PendingOrder& order) const;
  std::string check_entry(const PendingOrder& order, const CAccount& account, const COrder* held,
                         OrderCode& code) const;
  std::string check_guard(const PendingOrder& order, const CAccount& account, const COrder* held,
                         OrderCode& code) const;
  std::string check_expiry(const std::string& text, OrderCode& code) const;
  // The first rules of every request: a number still kept, and an account
  // of the request's client. None, with `outcome` refused, otherwise.
  std::shared_ptr<CAccount> order_account(const std::string& username, int32_t number,
                                         int32_t client, int32_t account,
                                         model::OrderNumber& outcome) const;
  // The symbol trades now, for the client, and the user may trade it.
  std::string check_tradable(const std::string& username, int32_t client, int32_t symbol,
                            OrderCode& code) const;
  std::string check_lots(int32_t client, int32_t symbol, double lots, OrderCode& code) const;
  std::string check_hedging(const CAccount& account, int32_t symbol, int32_t direction,
                           OrderCode& code) const;
  std::string check_margin(int32_t account, int32_t symbol, double lots, OrderCode& code) const;
  std::string check_levels(int32_t client, int32_t symbol, int32_t position_direction,
                          double from, double sl, double tp, OrderCode& code) const;
  std::string check_entry_price(int32_t client, int32_t symbol, int32_t direction, double price,
                              OrderCode& code) const;
  void execute_pending_order(const PendingOrder& order, model::OrderNumber& outcome);
  // Gives the order the next id and books it.
  model::Order place_order(model::Order order);
  // Places a stop-loss and take-profit order on the position; its id.
  int32_t place_guard(int32_t client, int32_t account, const COpenPosition& position, double sl,
                     double tp, const std::string& note);
  void apply_order_change(const model::Order& changed);
  void track_expiry(const model::Order& order);
  void untrack_expiry(int32_t id);
  void expire_orders();
  void close_by_hedge(const MarketOrder& order, model::OrderNumber& outcome);
  void audit(const MarketOrder& order, const model::OrderNumber& outcome);
  void audit(const PendingOrder& order, const model::OrderNumber& outcome);
  void audit(const MoneyOrder& order, const model::OrderNumber& outcome);
  void audit(const TreeOrder& order, const model::OrderNumber& outcome);
  void new_client(const TreeOrder& order, model::OrderNumber& outcome);
  void new_account(const TreeOrder& order, model::OrderNumber& outcome);
  void switch_auto_liquidation(const TreeOrder& order, model::OrderNumber& outcome);
  // Finishes an order the engine reported, or one the client deleted or
  // that expired.
  void remove_order(int32_t client, int32_t account, int32_t id, const std::string& reason);
  // Books the account's totals as they stand; what moved is put down as
  // money entries of the position `ticket` (0: none), noted `note`.
  void book_totals(const CAccount& account, int32_t ticket, const std::string& note);
  // Records a money entry for each total of `booked` that moved, to the
  // cent, since the account's totals were last booked.
  void book_entries(const model::TotalsBooked& booked, int32_t ticket, const std::string& note);

  // Record reading.
  model::Position position_record(int32_t client, int32_t account, const COpenPosition& p) const;
  model::Order order_record(int32_t client, int32_t account, const COrder& o) const;
  model::Account account_record(const model::Account& stored, const CAccount& live) const;

  Store& m_store;
  std::shared_ptr<FixedClock> m_clock;
  DeskEvents* m_events;
  DeskEvents m_no_events;
  std::shared_ptr<CAccountsTransactions> m_engine;
  std::shared_ptr<CSymbols> m_symbols;
  std::vector<model::Symbol> m_symbol_records;
  IdTable<std::shared_ptr<CSymbol>> m_symbol_by_id;  // asked once a quote
  std::unordered_map<int32_t, double> m_margin_per_lot;
  // Clients, users and accounts as loaded (what the engine does not keep);
  // account totals are read from the engine.
  model::Platform m_platform;
  std::vector<model::Client> m_clients;
  std::unordered_map<int32_t, size_t> m_client_index;
  std::vector<model::User> m_users;
  std::unordered_map<std::string, size_t> m_user_index;
  std::vector<model::Account> m_accounts;
  // The lot limits and offsets of each client and symbol (the server's
  // engine keeps neither in its parameter entries).
  struct Limits {
    double min_lots = 0;
    double max_lots = 0;  // 0: no maximum
    double limit_offset = 0;  // pips
    double stop_offset = 0;   // pips
  };
  std::unordered_map<int64_t, Limits> m_limits;
  // The entry orders that expire, in time order, and each one's expiry by
  // order id.
  using ExpiryKey = std::tuple<double, int32_t, int32_t, int32_t>;  // serial, client, account, id
  struct Expiry {
    ExpiryKey key;
    std::string text;
  };
  std::set<ExpiryKey> m_expiries;
  std::unordered_map<int32_t, Expiry> m_expiry_of;
  // The records that only grow, held only for a store that does not keep them.
  template <typename R>
  void keep(std::vector<R>& records, const R& record) {
    if (!m_store_keeps_history) records.push_back(record);
  }
  bool m_store_keeps_history = false;
  std::vector<model::HistoryEntry> m_history;
  std::vector<model::MoneyEntry> m_entries;
  // The totals each account (client, account) last booked, from which the
  // next entries are measured.
  std::map<std::pair<int32_t, int32_t>, model::Totals> m_booked_totals;
  std::vector<model::AuditEntry> m_audit;
  std::map<std::string, std::vector<model::OrderNumber>> m_order_numbers;
  TradingRules m_rules;
  std::unordered_map<int32_t, std::vector<size_t>> m_accounts_by_client;
  IdTable<AccountFigures> m_figures;
  std::deque<Pending> m_pending;
  std::vector<model::Change> m_batch;
  std::vector<Told> m_told;
  std::function<void(std::function<void()>)> m_post;
  // Lets a posted flush that runs after the desk has gone know it.
  std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
  bool m_uncommitted = false;  // the store's batch holds changes not yet committed
  bool m_flush_posted = false;
  Counts m_counts;
  int32_t m_last_ticket = 0;
  int32_t m_last_order = 0;
  std::string m_market_time_text;
  std::string m_halt_reason;
  bool m_time_moved = false;
  std::vector<model::InterestRate> m_interest_rates;
  // The accounts whose positions the rollover being booked has reached.
  std::vector<std::pair<int32_t, int32_t>> m_interest_accounts;
  // A rollover was passed: the batch keeps market time even when empty.
  bool m_keep_time = false;
};

// Every numbered request, a client's or a dealer's, runs through this.
template <typename Request, typename ExecuteFn>
inline std::optional<model::OrderNumber> Desk::once(const Request& request, ExecuteFn execute) {
  if (halted()) return std::nullopt;
  std::vector<model::OrderNumber>& kept = m_order_numbers[request.username];
  for (auto it = kept.rbegin(); it != kept.rend(); ++it) {
    if (it->number == request.number) return *it;  // a repeat
  }
  const model::OrderNumber outcome = execute();
  audit(request, outcome);
  kept.push_back(outcome);
  if (kept.size() > model::kOrderNumbersKept) kept.erase(kept.begin());
  record(model::OrderNumberUsed{outcome});
  if (!finish()) return std::nullopt;
  return outcome;
}

}  // namespace orvane::apps

#endif  // ORVANE_APPS_DESK_DESK_H_
