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

size_t QuotesPerTick(double rate) {
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

model::Snapshot SeedBook(model::Snapshot book, const PriceFeed& feed,
                         uint32_t password_iterations) {
  HashPasswords(book, password_iterations);
  if (book.market_time_text.empty()) {
    book.market_time = feed.FirstTime();
    book.market_time_text = feed.FirstTimeText();
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
                                   : std::make_unique<MemoryStore>(SeedBook(
                                         book, m_feed, m_options.gateway.password_iterations))),
      m_store(m_environment.store ? *m_environment.store : *m_memory),
      m_desk(m_store, m_clock, this),
      m_gateway(m_desk, *m_environment.timers, [this] {
        GatewayOptions gateway = m_options.gateway;
        gateway.market_started = [this](ServerConnection& c) { MarketStarted(c); };
        if (!gateway.elapsed_ms) gateway.elapsed_ms = m_environment.elapsed_ms;
        gateway.keep_negotiations = [this](const std::string& text) {
          m_store.set_meta(kNegotiations, text);
        };
        gateway.order_answered = [this](int64_t micros) {
          m_order_latency->Observe(static_cast<double>(micros) / 1e6);
        };
        return gateway;
      }()),
      m_feed_timer(m_environment.timers->CreateTimer()) {
  RegisterMetrics();
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
  ExpireNegotiations();
  if (const auto position = m_store.meta(kFeedPosition)) {
    const size_t delivered = std::stoull(*position);
    m_feed.SkipTo(delivered);
    Log("feed resumed after " + std::to_string(m_feed.Delivered()) + " quotes");
  }
  m_feed_timer->Interval(kFeedTickMs);
  m_feed_timer->OnTick([this] { Feed(); });
  m_environment.acceptor->Advise(static_cast<IAcceptorEvents*>(this));
}

TradingServer::~TradingServer() {
  m_feed_timer->OnTick(nullptr);
  Stop();
  m_environment.acceptor->Unadvise(static_cast<IAcceptorEvents*>(this));
}

int32_t TradingServer::Start(const std::string& address, int32_t port) {
  const int32_t bound = m_environment.acceptor->Listen(address, port);
  m_running = true;
  Log("listening on " + address + ":" + std::to_string(bound));
  m_gateway.Start();
  if (m_options.start_after_sessions == 0) StartFeed();
  return bound;
}

void TradingServer::Stop() {
  const bool was_running = m_running;
  m_running = false;
  m_environment.acceptor->Close();
  m_feed_timer->Enabled(false);
  // What the sessions are owed goes out before they close.
  if (!m_halted) m_desk.flush();
  m_gateway.Stop();
  // The feed's position after quotes that changed nothing waits in the open
  // batch: kept, so that the next start goes on from the last quote.
  if (was_running && !m_halted) {
    if (const StoreStatus status = m_store.commit(); !status.ok()) {
      Log("the feed's position was not kept: " + status.message());
    }
  }
}

std::optional<AccountFigures> TradingServer::figures(int32_t account) const {
  return m_desk.figures_of(account);
}

void TradingServer::RegisterMetrics() {
  const GatewayStats& stats = m_gateway.stats();
  Metrics& m = m_metrics;
  m.AddGauge("orvane_connections", "Connections open, log-on or not.",
             [this] { return static_cast<double>(m_gateway.Connections()); });
  m.AddGauge("orvane_sessions", "Sessions logged on.",
             [this] { return static_cast<double>(m_gateway.LoggedOnSessions()); });
  m.AddCounter("orvane_logons_total", "Log-ons accepted.", [&stats] { return stats.log_ons; });
  const char* refusals = "Log-ons refused, by reason.";
  m.AddCounter("orvane_logon_refusals_total", refusals, "reason", "password",
               [&stats] { return stats.refused_password; });
  m.AddCounter("orvane_logon_refusals_total", refusals, "reason", "locked_out",
               [&stats] { return stats.refused_locked; });
  m.AddCounter("orvane_logon_refusals_total", refusals, "reason", "session_limit",
               [&stats] { return stats.refused_limit; });
  m.AddCounter("orvane_logon_refusals_total", refusals, "reason", "busy",
               [&stats] { return stats.refused_waiting; });
  m.AddGauge("orvane_throttled", "Users and addresses whose log-ons are slowed down now.",
             [this] { return static_cast<double>(m_gateway.ThrottledKeys()); });
  m.AddGauge("orvane_logons_waiting", "Log-on answers held back now.",
             [this] { return static_cast<double>(m_gateway.WaitingLogOns()); });
  m.AddCounter("orvane_connections_refused_total", "Connections closed at the connection cap.",
               [&stats] { return stats.connections_refused; });
  m.AddCounter("orvane_connections_dropped_total",
               "Connections dropped before they were served (TLS handshakes, descriptors).",
               [&stats] { return stats.connections_dropped; });
  m.AddCounter("orvane_slow_reader_cuts_total",
               "Sessions closed because their peer took too little of what was sent.",
               [&stats] { return stats.slow_reader_cuts; });
  m.AddCounter("orvane_quotes_applied_total", "Quotes of the feed applied.",
               [this] { return static_cast<uint64_t>(m_feed.Delivered()); });
  m.AddCounter("orvane_prices_sent_total", "Prices sent to sessions.",
               [&stats] { return stats.prices_sent; });
  m_order_latency = &m.AddHistogram(
      "orvane_order_latency_seconds", "From an order's arrival to its answer.",
      {0.0001, 0.00025, 0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 1});
}

void TradingServer::Log(const std::string& line) {
  if (m_options.gateway.log) m_options.gateway.log(line);
}

// ---- feed ----

// Sessions are counted by SID (never reused), so a session that starts the
// market again counts once.
void TradingServer::MarketStarted(const ServerConnection& connection) {
  if (m_feed_running || m_options.start_after_sessions == 0) return;
  m_market_sessions.insert(connection.Session()->sid());
  if (m_market_sessions.size() >= m_options.start_after_sessions) {
    m_market_sessions.clear();
    StartFeed();
  }
}

void TradingServer::StartFeed() {
  if (m_feed_running || !m_running) return;
  m_feed_running = true;
  m_feed_started = m_environment.elapsed_ms();
  m_feed_base = m_feed.Delivered();
  m_feed_timer->Enabled(true);
}

void TradingServer::Feed() {
  const int64_t now = m_environment.elapsed_ms();
  const double elapsed = static_cast<double>(now - m_feed_started) / 1000;
  const auto due = m_feed_base + static_cast<size_t>(elapsed * m_options.rate);
  model::Quote quote;
  const size_t before = m_feed.Delivered();
  // Deferred, the whole turn is one batch: the position is written once.
  const bool one_batch = static_cast<bool>(m_environment.post);
  bool ended = false;
  size_t budget = QuotesPerTick(m_options.rate);
  while (m_running && m_feed.Delivered() < due && budget-- > 0 &&
         m_environment.elapsed_ms() - now < kFeedTickMs) {
    if (!m_feed.next(quote)) {
      ended = true;
      break;
    }
    if (!one_batch) KeepFeedPosition();
    apply_quote(quote);
  }
  if (one_batch && m_running && m_feed.Delivered() != before) KeepFeedPosition();
  if (ended || (m_feed.Length() != 0 && m_feed.Delivered() >= m_feed.Length())) EndFeed();
}

// Negotiations the server was in when it stopped are expired, in the batch
// that forgets them; each side hears of it when it logs on.
void TradingServer::ExpireNegotiations() {
  const auto kept = m_store.meta(kNegotiations);
  if (!kept || kept->empty()) return;
  m_store.set_meta(kNegotiations, "");
  std::vector<wire::Negotiation> expired = Negotiations::ExpireKept(m_desk, *kept);
  Log(std::to_string(expired.size()) + " negotiations expired: the server stopped during them");
  m_gateway.ExpiredAtStart(std::move(expired));
  m_desk.flush();
}

void TradingServer::KeepFeedPosition() {
  m_store.set_meta(kFeedPosition, std::to_string(m_feed.Delivered()));
}

void TradingServer::EndFeed() {
  m_feed_timer->Enabled(false);
  if (m_feed_ended) return;
  m_feed_ended = true;
  Log("feed ended after " + std::to_string(m_feed.Delivered()) + " quotes");
  m_gateway.PushAll(wire::response_text(STOP_FEED_TOKEN));
}

void TradingServer::apply_quote(const model::Quote& quote) {
  if (!m_desk.apply_quote(quote)) return;
  m_gateway.Quote(quote);
}

// ---- what the desk tells ----

void TradingServer::logged(const std::string& text) {
  if (m_options.log_engine) Log(LogText(text, kEngineLineChars));
}

void TradingServer::position_opened(const model::Position& position) {
  const Desk::Guards guards = m_desk.guards_of(position);
  m_gateway.Push(position.client,
                 wire::response(wire::PositionOpenedPush{
                     position, m_desk.symbol_name(position.symbol), guards.sl, guards.tp}));
}

void TradingServer::position_closed(const model::PositionClosed& closed) {
  m_gateway.Push(closed.client, wire::response(wire::PositionClosedPush{closed}));
}

void TradingServer::position_changed(const model::Position& position) {
  const Desk::Guards guards = m_desk.guards_of(position);
  m_gateway.Push(position.client,
                 wire::response(wire::PositionChangedPush{
                     position, m_desk.symbol_name(position.symbol), guards.sl, guards.tp}));
}

void TradingServer::history_added(const model::HistoryEntry& entry) {
  m_gateway.Push(entry.client,
                 wire::response(wire::HistoryPush{entry, m_desk.symbol_name(entry.symbol)}));
}

void TradingServer::closed_by_hedge(int32_t client, int32_t account, int32_t buy, int32_t sell,
                                  double lots) {
  m_gateway.Push(client, wire::response(wire::HedgePush{client, account, buy, sell, lots}));
}

void TradingServer::order_placed(const model::Order& order) {
  m_gateway.Push(order.client, wire::response(wire::OrderPlacedPush{{order}}));
}

void TradingServer::order_changed(const model::Order& order) {
  m_gateway.Push(order.client, order.kind == LimitOrdersType
                                   ? wire::response(wire::EntryChangedPush{{order}})
                                   : wire::response(wire::GuardChangedPush{{order}}));
}

void TradingServer::order_removed(const model::OrderRemoved& removed) {
  m_gateway.Push(removed.client, wire::response(wire::OrderRemovedPush{removed}));
}

void TradingServer::totals_booked(const model::TotalsBooked& booked) {
  m_gateway.Push(booked.client, wire::response(wire::TotalsPush{booked}));
}

void TradingServer::account_liquidated(int32_t client, int32_t account) {
  m_gateway.Push(client, wire::response(wire::LiquidatedPush{client, account}));
}

void TradingServer::alert_fired(int32_t client, int32_t /*alert*/, const std::string& text) {
  m_gateway.Push(client, wire::response(wire::TextPush{text}));
}

// The position as it now stands, its interest grown; new totals of a client
// booked on open follow as their own push.
void TradingServer::interest_booked(const model::Position& position) {
  const Desk::Guards guards = m_desk.guards_of(position);
  m_gateway.Push(position.client,
                 wire::response(wire::PositionChangedPush{
                     position, m_desk.symbol_name(position.symbol), guards.sl, guards.tp}));
}

void TradingServer::halted(const std::string& reason) {
  m_halted = true;
  Log("stopping: " + reason);
  Stop();
  if (m_options.halted) m_options.halted(reason);
}

}  // namespace orvane::apps
