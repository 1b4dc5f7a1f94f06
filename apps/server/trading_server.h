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

#include "book.h"
#include "book_engine.h"
#include "orvane/connection/asio_listener.h"
#include "orvane/connection/tls_options.h"
#include "orvane/protocol/process.h"
#include "price_feed.h"
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
// TLS), logs users on against the book's USER records, answers the
// terminal's requests with the book's current state, fans every quote of
// its feed out to every session that started the market, with that
// session's client's spread, and runs the server-side engine over the same
// quotes, pushing what it executes (positions opened and closed, orders
// finished, new totals, liquidations, alerts) to the sessions of the client
// concerned. Message layouts: wire.h.
//
// Everything runs on the io_context's thread. The clock is `clock`, pinned
// to each quote's time; the host installs it as the process clock.
class TradingServer : private AsioListenerEvents,
                      private BookEngineEvents,
                      private ConnectionHost {
 public:
  // Throws orvane::Error when TLS is on and its files cannot be loaded, and
  // InputError when the book cannot be applied.
  TradingServer(asio::io_context& io, const Book& book, PriceFeed feed,
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
  void ApplyQuote(const Tick& tick) { Quote(tick); }

  // The account's figures as the engine last reported them.
  std::optional<AccountFigures> Figures(int32_t account) const;
  size_t Connections() const { return m_connections.size(); }
  size_t LoggedOnSessions() const;
  size_t QuotesApplied() const { return m_feed.Delivered(); }
  size_t PricesSent() const { return m_prices_sent; }
  bool FeedEnded() const { return m_feed_ended; }
  const BookEngine& Engine() const { return m_engine; }

 private:
  // AsioListenerEvents
  void Accepted(const std::shared_ptr<ISocket>& child) override;
  // BookEngineEvents
  void Logged(const std::string& text) override;
  void FiguresChanged(const AccountFigures& figures) override;
  void PositionOpened(const COpenPosition& position) override;
  void PositionClosed(int32_t client, int32_t account, int32_t ticket) override;
  void OrderFinished(int32_t client, int32_t account, int32_t order) override;
  void TotalsBooked(const CAccount& account) override;
  void AccountLiquidated(int32_t client, int32_t account) override;
  void AlertFired(int32_t client, int32_t alert, const std::string& text) override;
  // ConnectionHost
  const UserRecord* User(const std::string& username) const override;
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
  void Quote(const Tick& tick);
  void SendPrice(ServerConnection& connection, int32_t symbol);
  // One price message with the client's spread, built once, to each session
  // that started the market.
  void SendPriceToAll(int32_t client, int32_t symbol,
                      const std::vector<ServerConnection*>& sessions);
  // Sends a push message to every logged-on session of the client.
  void Push(int32_t client, TokensEnum token, std::initializer_list<std::string_view> params);
  void PushAll(TokensEnum token);
  std::string PositionRow(int32_t client, int32_t account, const COpenPosition& position) const;
  void AccountRows(int32_t client, std::vector<std::string>& rows) const;
  void PositionRows(int32_t client, std::vector<std::string>& rows) const;
  void OrderRows(int32_t client, std::vector<std::string>& rows) const;
  void SymbolRows(int32_t client, std::vector<std::string>& rows) const;
  void FiguresRows(int32_t client, std::vector<std::string>& rows) const;
  const ClientRecord* Client(int32_t id) const;

  asio::io_context& m_io;
  const Book& m_book;
  PriceFeed m_feed;
  std::shared_ptr<FixedClock> m_clock;
  ServerOptions m_options;
  std::shared_ptr<CEventManager> m_event_manager;
  BookEngine m_engine;
  AsioListener m_listener;
  asio::steady_timer m_feed_timer;
  asio::steady_timer m_handshake_timer;
  std::chrono::steady_clock::time_point m_feed_started;
  std::unordered_map<ServerConnection*, std::shared_ptr<ServerConnection>> m_connections;
  // Logged-on sessions by client, in log-on order.
  std::unordered_map<int32_t, std::vector<ServerConnection*>> m_by_client;
  std::unordered_map<int32_t, AccountFigures> m_figures;
  std::unordered_map<std::string, const UserRecord*> m_users;
  std::unordered_map<int32_t, std::vector<const AccountRecord*>> m_accounts_by_client;
  std::map<int32_t, const OrderRecord*> m_orders;
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
