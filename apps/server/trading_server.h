#ifndef ORVANE_APPS_SERVER_TRADING_SERVER_H_
#define ORVANE_APPS_SERVER_TRADING_SERVER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>

#include "desk.h"
#include "gateway.h"
#include "orvane/io/acceptor.h"
#include "memory_store.h"
#include "metrics.h"
#include "price_feed.h"
#include "records.h"

namespace orvane {
class FixedClock;
class ISocket;
class ITimer;
class ITimerFactory;
}  // namespace orvane

namespace orvane::apps {

// What the server runs on: its acceptor, its timers and a monotonic clock
// of elapsed milliseconds (Asio and the steady clock in the program, an
// in-memory network and virtual time in tests).
struct ServerEnvironment {
  std::shared_ptr<IAcceptor> acceptor;
  std::shared_ptr<ITimerFactory> timers;
  std::function<int64_t()> elapsed_ms;
  // Where the desk keeps its state (not owned; it must outlive the server),
  // already holding a book; none: a store in memory seeded with the book.
  Store* store = nullptr;
  // Runs its argument once the present turn's work is done (asio::post in
  // the program). Given, the desk commits once a turn (group commit) and
  // what it tells waits for that commit; none: a commit per command.
  std::function<void(std::function<void()>)> post = nullptr;
  // What `store` holds, when the host has just read it (for the feed's
  // symbols, say): the desk starts from it instead of reading the store again.
  std::optional<model::Snapshot> loaded = std::nullopt;
};

struct ServerOptions {
  double rate = 50;  // quotes per second
  // The feed starts once this many distinct sessions have started the
  // market (0: at once), so that a bounded run is seen whole.
  size_t start_after_sessions = 0;
  GatewayOptions gateway;
  TradingRules rules;
  // Engine event lines (hits, closes, liquidations) go to the gateway's log too.
  bool log_engine = true;
  // Called with the reason once the server has stopped itself (its store
  // failed), so that the host ends its run.
  std::function<void(const std::string&)> halted;
};

// The book as a store starts from: its market time is the feed's first
// quote time unless it has one, its users' passwords are hashed with
// `password_iterations` (those already hashed stay as they are), and a book
// without money entries gets the opening entries of every account.
model::Snapshot seed_book(model::Snapshot book, const PriceFeed& feed,
                         uint32_t password_iterations);

// The reference trading server: a desk that owns the state (on the store
// the host gives, or in memory seeded with a book), a gateway that serves
// the sessions,
// and a feed whose quotes the desk applies first and the gateway then fans
// out. What the desk executes (positions opened and closed, orders
// finished, new totals, liquidations, alerts, interest booked at a
// rollover) is pushed to the sessions of the client concerned once its batch
// is committed; a desk halted by its store stops the server.
//
// Market time is `clock` (the host installs it as the process clock): the
// feed's quote time. Elapsed time (feed pacing, handshakes, log-on
// deadlines) comes from the environment. The feed's position is kept in the
// store with each quote's batch, so that a server started again on the same
// store goes on with the quote after the last one it applied.
class TradingServer : private DeskEvents, private IAcceptorEvents {
 public:
  // Throws DeskError when the book (or the store's state) cannot be
  // applied. `book` is not read when the environment gives a store.
  TradingServer(const model::Snapshot& book, PriceFeed feed, std::shared_ptr<FixedClock> clock,
                ServerEnvironment environment, ServerOptions options);
  ~TradingServer() override;
  TradingServer(const TradingServer&) = delete;
  TradingServer& operator=(const TradingServer&) = delete;

  // Listens on address:port (0: a free port) and returns the port; starts
  // handshakes and, unless it waits for sessions, the feed. Throws
  // orvane::Error when the address cannot be listened on.
  int32_t start(const std::string& address, int32_t port);
  // Stops listening and feeding and closes every connection.
  void stop();
  bool running() const { return m_running; }
  // Engine event lines to the log or not, from now on.
  void log_engine(bool on) { m_options.log_engine = on; }

  // Applies one quote now, as the feed does: the desk first, then the price
  // to every session that started the market.
  void apply_quote(const model::Quote& quote);

  // The account's figures as the desk last reported them.
  std::optional<AccountFigures> figures(int32_t account) const;
  size_t connections() const { return m_gateway.connections(); }
  size_t logged_on_sessions() const { return m_gateway.logged_on_sessions(); }
  size_t quotes_applied() const { return m_feed.delivered(); }
  size_t prices_sent() const { return m_gateway.prices_sent(); }
  bool feed_ended() const { return m_feed_ended; }
  const Desk& desk() const { return m_desk; }
  Gateway& gateway() { return m_gateway; }
  const Gateway& gateway() const { return m_gateway; }
  Store& store() { return m_store; }
  // Sessions, log-ons and refusals, connections refused and dropped,
  // slow-reader cuts, throttling, quotes and prices, order latency.
  const Metrics& metrics() const { return m_metrics; }

 private:
  // DeskEvents
  void logged(const std::string& text) override;
  void position_opened(const model::Position& position) override;
  void position_closed(const model::PositionClosed& closed) override;
  void position_changed(const model::Position& position) override;
  void history_added(const model::HistoryEntry& entry) override;
  void closed_by_hedge(int32_t client, int32_t account, int32_t buy, int32_t sell,
                     double lots) override;
  void order_placed(const model::Order& order) override;
  void order_changed(const model::Order& order) override;
  void order_removed(const model::OrderRemoved& removed) override;
  void totals_booked(const model::TotalsBooked& booked) override;
  void account_liquidated(int32_t client, int32_t account) override;
  void alert_fired(int32_t client, int32_t alert, const std::string& text) override;
  void halted(const std::string& reason) override;
  void interest_booked(const model::Position& position) override;
  // IAcceptorEvents
  void Accepted(const std::shared_ptr<ISocket>& socket) override { m_gateway.accept(socket); }
  bool Admit(const std::string& address) override {
    return m_gateway.admit(address, m_environment.acceptor->Pending());
  }
  void Dropped(const std::string& address, const std::string& why) override {
    m_gateway.dropped(address, why);
  }

  // A position's push (opened or changed), with whether it has guards.
  template <typename Push>
  void push_position(const model::Position& position);
  void register_metrics();
  void market_started(const ServerConnection& connection);
  void start_feed();
  void feed();
  void end_feed();
  // The feed's position into the store's open batch.
  void keep_feed_position();
  void expire_negotiations();
  void log(const std::string& line);

  PriceFeed m_feed;
  std::shared_ptr<FixedClock> m_clock;
  ServerEnvironment m_environment;
  ServerOptions m_options;
  std::unique_ptr<MemoryStore> m_memory;  // when the host gives no store
  Store& m_store;
  Desk m_desk;
  Gateway m_gateway;
  std::shared_ptr<ITimer> m_feed_timer;
  Metrics m_metrics;
  Histogram* m_order_latency = nullptr;
  int64_t m_feed_started = 0;
  size_t m_feed_base = 0;  // quotes delivered when the feed started
  std::unordered_set<int32_t> m_market_sessions;  // SIDs that started the market, ever
  bool m_feed_running = false;
  bool m_feed_ended = false;
  bool m_running = false;
  bool m_halted = false;  // the store refused a batch
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_SERVER_TRADING_SERVER_H_
