#include "trading_server.h"

#include <utility>

#include "log_text.h"
#include "messages.h"
#include "orvane/core/clock.h"
#include "orvane/io/timer.h"
#include "orvane/session/session.h"
#include "password_hash.h"

namespace orvane::apps {

namespace {

constexpr int32_t kFeedTickMs = 10;
// A feed behind its rate (a store slower than the rate, a stalled process)
// catches up at most this many ticks' worth of quotes a tick, and within
// one tick's time, so that sessions are served between ticks: a late feed
// delays prices, never the answers to orders and log-ons.
constexpr double kCatchUpTicks = 4;

size_t quotes_per_tick(double rate) {
  const double quotes = rate * kFeedTickMs / 1000 * kCatchUpTicks;
  return quotes < 1 ? 1 : static_cast<size_t>(quotes);
}
// The store's key for the number of feed quotes applied.
constexpr const char* kFeedPosition = "feed_delivered";
// The negotiations in flight, kept so that a server started again expires them.
constexpr const char* kNegotiations = "negotiations";
// Engine lines may carry what a peer sent (an order's expiry): escaped, and
// cut only when far longer than any line the engine makes.
constexpr size_t kEngineLineChars = 512;

}  // namespace

model::Snapshot seed_book(model::Snapshot book, const PriceFeed& feed,
                         uint32_t password_iterations) {
  hash_passwords(book, password_iterations);
  if (book.market_time_text.empty()) {
    book.market_time = feed.first_time();
    book.market_time_text = feed.first_time_text();
  }
  // Every balance is explained by entries from the start.
  if (book.entries.empty()) {
    for (const model::Account& a : book.accounts) {
      for (model::MoneyEntry& entry :
           model::opening_entries(a.client, a.account, a.totals, book.market_time_text)) {
        book.entries.push_back(std::move(entry));
      }
    }
  }
  return book;
}

TradingServer::TradingServer(const model::Snapshot& book, PriceFeed feed,
                             std::shared_ptr<FixedClock> clock, ServerEnvironment environment,
                             ServerOptions options)
    : m_feed(std::move(feed)),
      m_clock(std::move(clock)),
      m_environment(std::move(environment)),
      m_options(std::move(options)),
      m_memory(m_environment.store ? nullptr
                                   : std::make_unique<MemoryStore>(seed_book(
                                         book, m_feed, m_options.gateway.password_iterations))),
      m_store(m_environment.store ? *m_environment.store : *m_memory),
      m_desk(m_store, m_clock, this),
      m_gateway(m_desk, *m_environment.timers, [this] {
        GatewayOptions gateway = m_options.gateway;
        gateway.market_started = [this](ServerConnection& c) { market_started(c); };
        if (!gateway.elapsed_ms) gateway.elapsed_ms = m_environment.elapsed_ms;
        gateway.keep_negotiations = [this](const std::string& text) {
          m_store.set_meta(kNegotiations, text);
        };
        gateway.order_answered = [this](int64_t micros) {
          m_order_latency->observe(static_cast<double>(micros) / 1e6);
        };
        return gateway;
      }()),
      m_feed_timer(m_environment.timers->CreateTimer()) {
  register_metrics();
  m_desk.rules(m_options.rules);
  if (m_environment.loaded) {
    m_desk.load(std::move(*m_environment.loaded));
    m_environment.loaded.reset();
  } else {
    m_desk.load();
  }
  if (m_environment.post) m_desk.defer_commits(m_environment.post);
  // Lots are multiples of the platform's smallest lot step.
  TradingRules rules = m_options.rules;
  rules.lot_decimals = m_desk.platform().valid_lots_location;
  m_desk.rules(rules);
  expire_negotiations();
  if (const auto position = m_store.meta(kFeedPosition)) {
    const size_t delivered = std::stoull(*position);
    m_feed.skip_to(delivered);
    log("feed resumed after " + std::to_string(m_feed.delivered()) + " quotes");
  }
  m_feed_timer->Interval(kFeedTickMs);
  m_feed_timer->OnTick([this] { this->feed(); });
  m_environment.acceptor->Advise(static_cast<IAcceptorEvents*>(this));
}

TradingServer::~TradingServer() {
  m_feed_timer->OnTick(nullptr);
  stop();
  m_environment.acceptor->Unadvise(static_cast<IAcceptorEvents*>(this));
}

int32_t TradingServer::start(const std::string& address, int32_t port) {
  const int32_t bound = m_environment.acceptor->Listen(address, port);
  m_running = true;
  log("listening on " + address + ":" + std::to_string(bound));
  m_gateway.start();
  if (m_options.start_after_sessions == 0) start_feed();
  return bound;
}

void TradingServer::stop() {
  const bool was_running = m_running;
  m_running = false;
  m_environment.acceptor->Close();
  m_feed_timer->Enabled(false);
  // What the sessions are owed goes out before they close.
  if (!m_halted) m_desk.flush();
  m_gateway.stop();
  // The feed's position after quotes that changed nothing waits in the open
  // batch: kept, so that the next start goes on from the last quote.
  if (was_running && !m_halted) {
    if (const StoreStatus status = m_store.commit(); !status.ok()) {
      log("the feed's position was not kept: " + status.message());
    }
  }
}

std::optional<AccountFigures> TradingServer::figures(int32_t account) const {
  return m_desk.figures_of(account);
}

void TradingServer::register_metrics() {
  const GatewayStats& stats = m_gateway.stats();
  Metrics& m = m_metrics;
  m.add_gauge("orvane_connections", "Connections open, log-on or not.",
             [this] { return static_cast<double>(m_gateway.connections()); });
  m.add_gauge("orvane_sessions", "Sessions logged on.",
             [this] { return static_cast<double>(m_gateway.logged_on_sessions()); });
  m.add_counter("orvane_logons_total", "Log-ons accepted.", [&stats] { return stats.log_ons; });
  const char* refusals = "Log-ons refused, by reason.";
  m.add_counter("orvane_logon_refusals_total", refusals, "reason", "password",
               [&stats] { return stats.refused_password; });
  m.add_counter("orvane_logon_refusals_total", refusals, "reason", "locked_out",
               [&stats] { return stats.refused_locked; });
  m.add_counter("orvane_logon_refusals_total", refusals, "reason", "session_limit",
               [&stats] { return stats.refused_limit; });
  m.add_counter("orvane_logon_refusals_total", refusals, "reason", "busy",
               [&stats] { return stats.refused_waiting; });
  m.add_gauge("orvane_throttled", "Users and addresses whose log-ons are slowed down now.",
             [this] { return static_cast<double>(m_gateway.throttled_keys()); });
  m.add_gauge("orvane_logons_waiting", "Log-on answers held back now.",
             [this] { return static_cast<double>(m_gateway.waiting_log_ons()); });
  m.add_counter("orvane_connections_refused_total", "Connections closed at the connection cap.",
               [&stats] { return stats.connections_refused; });
  m.add_counter("orvane_connections_dropped_total",
               "Connections dropped before they were served (TLS handshakes, descriptors).",
               [&stats] { return stats.connections_dropped; });
  m.add_counter("orvane_slow_reader_cuts_total",
               "Sessions closed because their peer took too little of what was sent.",
               [&stats] { return stats.slow_reader_cuts; });
  m.add_counter("orvane_quotes_applied_total", "Quotes of the feed applied.",
               [this] { return static_cast<uint64_t>(m_feed.delivered()); });
  m.add_counter("orvane_prices_sent_total", "Prices sent to sessions.",
               [&stats] { return stats.prices_sent; });
  m_order_latency = &m.add_histogram(
      "orvane_order_latency_seconds", "From an order's arrival to its answer.",
      {0.0001, 0.00025, 0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 1});
}

void TradingServer::log(const std::string& line) {
  if (m_options.gateway.log) m_options.gateway.log(line);
}

// ---- feed ----

// Sessions are counted by SID (never reused), so a session that starts the
// market again counts once.
void TradingServer::market_started(const ServerConnection& connection) {
  if (m_feed_running || m_options.start_after_sessions == 0) return;
  m_market_sessions.insert(connection.session()->sid());
  if (m_market_sessions.size() >= m_options.start_after_sessions) {
    m_market_sessions.clear();
    start_feed();
  }
}

void TradingServer::start_feed() {
  if (m_feed_running || !m_running) return;
  m_feed_running = true;
  m_feed_started = m_environment.elapsed_ms();
  m_feed_base = m_feed.delivered();
  m_feed_timer->Enabled(true);
}

void TradingServer::feed() {
  const int64_t now = m_environment.elapsed_ms();
  const double elapsed = static_cast<double>(now - m_feed_started) / 1000;
  const auto due = m_feed_base + static_cast<size_t>(elapsed * m_options.rate);
  model::Quote quote;
  const size_t before = m_feed.delivered();
  // Deferred, the whole turn is one batch: the position is written once.
  const bool one_batch = static_cast<bool>(m_environment.post);
  bool ended = false;
  size_t budget = quotes_per_tick(m_options.rate);
  while (m_running && m_feed.delivered() < due && budget-- > 0 &&
         m_environment.elapsed_ms() - now < kFeedTickMs) {
    if (!m_feed.next(quote)) {
      ended = true;
      break;
    }
    if (!one_batch) keep_feed_position();
    apply_quote(quote);
  }
  if (one_batch && m_running && m_feed.delivered() != before) keep_feed_position();
  if (ended || (m_feed.length() != 0 && m_feed.delivered() >= m_feed.length())) end_feed();
}

// Negotiations the server was in when it stopped are expired, in the batch
// that forgets them; each side hears of it when it logs on.
void TradingServer::expire_negotiations() {
  const auto kept = m_store.meta(kNegotiations);
  if (!kept || kept->empty()) return;
  m_store.set_meta(kNegotiations, "");
  std::vector<wire::Negotiation> expired = Negotiations::expire_kept(m_desk, *kept);
  log(std::to_string(expired.size()) + " negotiations expired: the server stopped during them");
  m_gateway.expired_at_start(std::move(expired));
  m_desk.flush();
}

void TradingServer::keep_feed_position() {
  m_store.set_meta(kFeedPosition, std::to_string(m_feed.delivered()));
}

void TradingServer::end_feed() {
  m_feed_timer->Enabled(false);
  if (m_feed_ended) return;
  m_feed_ended = true;
  log("feed ended after " + std::to_string(m_feed.delivered()) + " quotes");
  m_gateway.push_all(wire::response_text(STOP_FEED_TOKEN));
}

void TradingServer::apply_quote(const model::Quote& quote) {
  if (!m_desk.apply_quote(quote)) return;
  m_gateway.quote(quote);
}

// ---- what the desk tells ----

void TradingServer::logged(const std::string& text) {
  if (m_options.log_engine) log(log_text(text, kEngineLineChars));
}

template <typename Push>
void TradingServer::push_position(const model::Position& position) {
  const Desk::Guards guards = m_desk.guards_of(position);
  m_gateway.push(position.client, wire::response(Push{position, m_desk.symbol_name(position.symbol),
                                                      guards.sl, guards.tp}));
}

void TradingServer::position_opened(const model::Position& position) {
  push_position<wire::PositionOpenedPush>(position);
}

void TradingServer::position_closed(const model::PositionClosed& closed) {
  m_gateway.push(closed.client, wire::response(wire::PositionClosedPush{closed}));
}

void TradingServer::position_changed(const model::Position& position) {
  push_position<wire::PositionChangedPush>(position);
}

void TradingServer::history_added(const model::HistoryEntry& entry) {
  m_gateway.push(entry.client,
                 wire::response(wire::HistoryPush{entry, m_desk.symbol_name(entry.symbol)}));
}

void TradingServer::closed_by_hedge(int32_t client, int32_t account, int32_t buy, int32_t sell,
                                  double lots) {
  m_gateway.push(client, wire::response(wire::HedgePush{client, account, buy, sell, lots}));
}

void TradingServer::order_placed(const model::Order& order) {
  m_gateway.push(order.client, wire::response(wire::OrderPlacedPush{{order}}));
}

void TradingServer::order_changed(const model::Order& order) {
  m_gateway.push(order.client, order.kind == LimitOrdersType
                                   ? wire::response(wire::EntryChangedPush{{order}})
                                   : wire::response(wire::GuardChangedPush{{order}}));
}

void TradingServer::order_removed(const model::OrderRemoved& removed) {
  m_gateway.push(removed.client, wire::response(wire::OrderRemovedPush{removed}));
}

void TradingServer::totals_booked(const model::TotalsBooked& booked) {
  m_gateway.push(booked.client, wire::response(wire::TotalsPush{booked}));
}

void TradingServer::account_liquidated(int32_t client, int32_t account) {
  m_gateway.push(client, wire::response(wire::LiquidatedPush{client, account}));
}

void TradingServer::alert_fired(int32_t client, int32_t /*alert*/, const std::string& text) {
  m_gateway.push(client, wire::response(wire::TextPush{text}));
}

// The position as it now stands, its interest grown; new totals of a client
// booked on open follow as their own push.
void TradingServer::interest_booked(const model::Position& position) {
  push_position<wire::PositionChangedPush>(position);
}

void TradingServer::halted(const std::string& reason) {
  m_halted = true;
  log("stopping: " + reason);
  stop();
  if (m_options.halted) m_options.halted(reason);
}

}  // namespace orvane::apps
