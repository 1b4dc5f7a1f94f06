#ifndef ORVANE_APPS_SERVER_TRADING_SERVER_H_
#define ORVANE_APPS_SERVER_TRADING_SERVER_H_

#include <asio/steady_timer.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "desk.h"
#include "memory_store.h"
#include "orvane/connection/asio_listener.h"
#include "orvane/connection/tls_options.h"
#include "orvane/protocol/process.h"
#include "price_feed.h"
#include "records.h"
#include "server_connection.h"

namespace orvane {
class CEventManager;
class FixedClock;
}  // namespace orvane

namespace orvane::apps {

struct ServerOptions {
  std::string address = "127.0.0.1";
  int32_t port = 0;  // 0: a free one
  TlsOptions tls;
  double rate = 50;  // quotes per second
  // The feed starts once this many sessions have started the market (0: at
  // once), so that a bounded run is seen whole.
  size_t start_after_sessions = 0;
  std::chrono::milliseconds handshake_interval{1000};
  std::chrono::milliseconds login_timeout{5000};
  size_t max_connections = 5000;
  ConnectionLimits limits;
  // Called with every log line (without time stamp); none: no log.
  std::function<void(const std::string&)> log;
  // Engine event lines (hits, closes, liquidations) go to the log too.
  bool log_engine = true;
};

// The reference trading server: accepts terminals on a listener (plain or
// TLS), logs users on against the desk's users, answers the terminal's
// requests from the desk's live state, fans every quote of
// its feed out to every session that started the market, with that
// session's client's spread, and runs the server-side engine over the same
// quotes, pushing what it executes (positions opened and closed, orders
// finished, new totals, liquidations, alerts) to the sessions of the client
// concerned. Message layouts: wire.h.
//
// Everything runs on the io_context's thread. The clock is `clock`, pinned
// to each quote's time; the host installs it as the process clock.
class TradingServer : private AsioListenerEvents,
                      private DeskEvents,
                      private ConnectionHost {
 public:
  // Seeds an in-memory store with `book` (market time: the feed's first
  // quote) and loads the desk from it. Throws orvane::Error when TLS is on
  // and its files cannot be loaded, and DeskError when the book cannot be
  // applied.
  TradingServer(asio::io_context& io, const model::Snapshot& book, PriceFeed feed,
                std::shared_ptr<FixedClock> clock, ServerOptions options);
  ~TradingServer() override;
  TradingServer(const TradingServer&) = delete;
  TradingServer& operator=(const TradingServer&) = delete;

  // Listens and starts the feed; returns the bound port. Throws
  // orvane::Error when the address cannot be bound.
  int32_t Start();
  // Stops listening and feeding and closes every connection.
  void Stop();

  // Applies one quote now, as the feed does: the engine first, then the
  // price to every session that started the market.
  void ApplyQuote(const model::Quote& tick) { Quote(tick); }

  // The account's figures as the engine last reported them.
  std::optional<AccountFigures> Figures(int32_t account) const;
  size_t Connections() const { return m_connections.size(); }
  size_t LoggedOnSessions() const;
  size_t QuotesApplied() const { return m_feed.Delivered(); }
  size_t PricesSent() const { return m_prices_sent; }
  bool FeedEnded() const { return m_feed_ended; }
  const Desk& desk() const { return m_desk; }

 private:
  // AsioListenerEvents
  void Accepted(const std::shared_ptr<ISocket>& child) override;
  // DeskEvents
  void Logged(const std::string& text) override;
  void PositionOpened(const model::Position& position) override;
  void PositionClosed(const model::PositionClosed& closed) override;
  void OrderRemoved(const model::OrderRemoved& removed) override;
  void TotalsBooked(const model::TotalsBooked& booked) override;
  void AccountLiquidated(int32_t client, int32_t account) override;
  void AlertFired(int32_t client, int32_t alert, const std::string& text) override;
  void Halted(const std::string& reason) override;
  // ConnectionHost
  const model::User* User(const std::string& username) const override;
  int32_t NewSid() override;
  void LoggedOn(ServerConnection& connection) override;
  void MarketStarted(ServerConnection& connection) override;
  bool Rows(const ServerConnection& connection, TokensEnum token,
            std::vector<std::string>& rows) override;
  void Closed(ServerConnection& connection) override;
  std::shared_ptr<CEventManager> EventManager() override { return m_event_manager; }
  void Log(const std::string& line) override;

  void StartFeed();
  void ArmFeed();
  void Feed();
  void ArmHandshake();
  void Handshake();
  void Quote(const model::Quote& tick);
  void SendPrice(ServerConnection& connection, int32_t symbol);
  // One price message with the client's spread, built once, to each session
  // that started the market.
  void SendPriceToAll(int32_t client, int32_t symbol,
                      const std::vector<ServerConnection*>& sessions);
  // Sends a push message to every logged-on session of the client.
  void Push(int32_t client, TokensEnum token, std::initializer_list<std::string_view> params);
  void PushAll(TokensEnum token);
  std::string PositionRow(const model::Position& position) const;
  void SymbolRows(int32_t client, std::vector<std::string>& rows) const;

  asio::io_context& m_io;
  PriceFeed m_feed;
  std::shared_ptr<FixedClock> m_clock;
  ServerOptions m_options;
  std::shared_ptr<CEventManager> m_event_manager;
  MemoryStore m_store;
  Desk m_desk;
  AsioListener m_listener;
  asio::steady_timer m_feed_timer;
  asio::steady_timer m_handshake_timer;
  std::chrono::steady_clock::time_point m_feed_started;
  std::unordered_map<ServerConnection*, std::shared_ptr<ServerConnection>> m_connections;
  // Logged-on sessions by client, in log-on order.
  std::unordered_map<int32_t, std::vector<ServerConnection*>> m_by_client;
  std::vector<std::pair<int32_t, std::vector<ServerConnection*>>> m_targets;
  std::unordered_map<int32_t, uint32_t> m_sequence;  // quotes of each symbol so far
  CProcess m_push;
  int32_t m_last_sid = 0;
  size_t m_prices_sent = 0;
  size_t m_market_sessions = 0;  // sessions that started the market, ever
  bool m_feed_running = false;
  bool m_feed_ended = false;
  bool m_running = false;
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_SERVER_TRADING_SERVER_H_
