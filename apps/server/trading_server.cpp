#include "trading_server.h"

#include <algorithm>
#include <asio/post.hpp>

#include "orvane/accounts/account.h"
#include "orvane/accounts/open_position.h"
#include "orvane/accounts/open_positions.h"
#include "orvane/accounts/orders.h"
#include "orvane/accounts/order.h"
#include "orvane/clients/client.h"
#include "orvane/clients/client_param.h"
#include "orvane/clients/clients.h"
#include "orvane/core/clock.h"
#include "orvane/core/error.h"
#include "orvane/core/keyed_collection.h"
#include "orvane/market/symbol.h"
#include "orvane/protocol/event_manager.h"
#include "orvane/session/session.h"
#include "wire.h"

namespace orvane::apps {

namespace {

constexpr int16_t kLogLevel = 5;
constexpr auto kFeedTick = std::chrono::milliseconds(10);

// The book as a store starts from: market time is the feed's start.
model::Snapshot Seed(model::Snapshot book, const PriceFeed& feed) {
  if (book.market_time_text.empty()) {
    book.market_time = feed.FirstTime();
    book.market_time_text = feed.FirstTimeText();
  }
  return book;
}

}  // namespace

TradingServer::TradingServer(asio::io_context& io, const model::Snapshot& book, PriceFeed feed,
                             std::shared_ptr<FixedClock> clock, ServerOptions options)
    : m_io(io),
      m_feed(std::move(feed)),
      m_clock(std::move(clock)),
      m_options(std::move(options)),
      m_event_manager(std::make_shared<CEventManager>()),
      m_store(Seed(book, m_feed)),
      m_desk(m_store, m_clock, this),
      m_listener(io, m_options.tls),
      m_feed_timer(io),
      m_handshake_timer(io) {
  m_desk.Load();
  m_listener.Advise(this);
}

TradingServer::~TradingServer() {
  Stop();
  m_listener.Unadvise(this);
}

int32_t TradingServer::Start() {
  const int32_t port = m_listener.Listen(m_options.address, m_options.port);
  m_running = true;
  Log("listening on " + m_options.address + ":" + std::to_string(port) +
      (m_options.tls.enabled ? " (TLS)" : ""));
  if (m_options.start_after_sessions == 0) StartFeed();
  ArmHandshake();
  return port;
}

void TradingServer::Stop() {
  m_running = false;
  m_feed_timer.cancel();
  m_handshake_timer.cancel();
  m_listener.Close();
  std::vector<std::shared_ptr<ServerConnection>> open;
  for (auto& [raw, connection] : m_connections) open.push_back(connection);
  for (auto& connection : open) connection->Close("the server stops");
  m_connections.clear();
  m_by_client.clear();
}

std::optional<AccountFigures> TradingServer::Figures(int32_t account) const {
  return m_desk.FiguresOf(account);
}

size_t TradingServer::LoggedOnSessions() const {
  size_t count = 0;
  for (const auto& [client, sessions] : m_by_client) count += sessions.size();
  return count;
}

// ---- connections ----

void TradingServer::Accepted(const std::shared_ptr<ISocket>& child) {
  if (m_connections.size() >= m_options.max_connections) {
    Log("refused " + child->RemoteAddress() + ": " + std::to_string(m_connections.size()) +
        " connections already");
    child->Close();
    return;
  }
  auto connection = std::make_shared<ServerConnection>(static_cast<ConnectionHost&>(*this), child,
                                                       m_options.limits);
  m_connections[connection.get()] = connection;
  connection->Start();
}

const model::User* TradingServer::User(const std::string& username) const {
  return m_desk.User(username);
}

int32_t TradingServer::NewSid() { return ++m_last_sid; }

void TradingServer::LoggedOn(ServerConnection& connection) {
  m_by_client[connection.ClientID()].push_back(&connection);
}

void TradingServer::MarketStarted(ServerConnection& connection) {
  for (const model::Symbol& s : m_desk.Symbols()) {
    if (s.id != 1) SendPrice(connection, s.id);
  }
  if (++m_market_sessions == m_options.start_after_sessions) StartFeed();
}

void TradingServer::Closed(ServerConnection& connection) {
  auto it = m_by_client.find(connection.ClientID());
  if (it != m_by_client.end()) {
    auto& sessions = it->second;
    sessions.erase(std::remove(sessions.begin(), sessions.end(), &connection), sessions.end());
    if (sessions.empty()) m_by_client.erase(it);
  }
  // The connection is inside its own handler: it goes once that returns.
  auto found = m_connections.find(&connection);
  if (found == m_connections.end()) return;
  auto keep = found->second;
  m_connections.erase(found);
  asio::post(m_io, [keep] {});
}

void TradingServer::Log(const std::string& line) {
  if (m_options.log) m_options.log(line);
}

// ---- feed ----

void TradingServer::StartFeed() {
  if (m_feed_running || !m_running) return;
  m_feed_running = true;
  m_feed_started = std::chrono::steady_clock::now();
  ArmFeed();
}

void TradingServer::ArmFeed() {
  if (!m_running || m_feed_ended) return;
  m_feed_timer.expires_after(kFeedTick);
  m_feed_timer.async_wait([this](const std::error_code& error) {
    if (!error) Feed();
  });
}

void TradingServer::Feed() {
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - m_feed_started).count();
  const auto due = static_cast<size_t>(elapsed * m_options.rate);
  model::Quote tick;
  while (m_running && m_feed.Delivered() < due) {
    if (!m_feed.Next(tick)) {
      m_feed_ended = true;
      Log("feed ended after " + std::to_string(m_feed.Delivered()) + " quotes");
      PushAll(STOP_FEED_TOKEN);
      return;
    }
    Quote(tick);
  }
  if (m_feed.Length() != 0 && m_feed.Delivered() >= m_feed.Length()) {
    m_feed_ended = true;
    Log("feed ended after " + std::to_string(m_feed.Delivered()) + " quotes");
    PushAll(STOP_FEED_TOKEN);
    return;
  }
  ArmFeed();
}

void TradingServer::Quote(const model::Quote& tick) {
  if (!m_desk.ApplyQuote(tick)) return;
  ++m_sequence[tick.symbol];
  // A send may close a session and change the index: work on a copy.
  m_targets.clear();
  for (const auto& [client, sessions] : m_by_client) {
    for (ServerConnection* c : sessions) {
      if (c->IsMarketStarted()) {
        m_targets.emplace_back(client, sessions);
        break;
      }
    }
  }
  for (const auto& [client, sessions] : m_targets) SendPriceToAll(client, tick.symbol, sessions);
}

void TradingServer::SendPrice(ServerConnection& connection, int32_t symbol) {
  std::vector<ServerConnection*> one{&connection};
  SendPriceToAll(connection.ClientID(), symbol, one);
}

void TradingServer::SendPriceToAll(int32_t client_id, int32_t symbol_id,
                                   const std::vector<ServerConnection*>& sessions) {
  auto client = m_desk.Engine().Clients()->Item(KeyOf(client_id));
  auto param = client ? client->SymbolParam(symbol_id) : nullptr;
  auto symbol = m_desk.Symbol(symbol_id);
  if (!param || !symbol) return;
  double bid = 0, ask = 0;
  try {
    bid = param->BidWithSpread();
    ask = param->AskWithSpread();
  } catch (const Error&) {
    return;
  }
  const std::string bid_text = wire::Number(bid);
  const std::string ask_text = wire::Number(ask);
  const std::string sequence = std::to_string(m_sequence[symbol_id]);
  m_push.DefineResponseByToken(kLogLevel, MARKET_DATA_TOKEN,
                               {wire::Number(symbol_id), bid_text, ask_text,
                                symbol->LastQuteTime(), sequence});
  for (ServerConnection* c : sessions) {
    if (!c->IsClosed() && c->IsMarketStarted() && c->Send(m_push.ProcessText())) {
      ++m_prices_sent;
    }
  }
}

void TradingServer::ArmHandshake() {
  if (!m_running) return;
  m_handshake_timer.expires_after(m_options.handshake_interval);
  m_handshake_timer.async_wait([this](const std::error_code& error) {
    if (!error) Handshake();
  });
}

void TradingServer::Handshake() {
  PushAll(CONNECT_HANDCHAKE_TOKEN);
  const auto now = std::chrono::steady_clock::now();
  std::vector<std::shared_ptr<ServerConnection>> late;
  for (auto& [raw, connection] : m_connections) {
    if (!connection->LoggedOn() && now - connection->Opened() > m_options.login_timeout) {
      late.push_back(connection);
    }
  }
  for (auto& connection : late) connection->Close("no log-on in time");
  ArmHandshake();
}

// ---- pushes ----

void TradingServer::Push(int32_t client, TokensEnum token,
                         std::initializer_list<std::string_view> params) {
  auto it = m_by_client.find(client);
  if (it == m_by_client.end()) return;
  m_push.DefineResponseByToken(kLogLevel, token, params);
  auto sessions = it->second;
  for (ServerConnection* c : sessions) c->Send(m_push.ProcessText());
}

void TradingServer::PushAll(TokensEnum token) {
  m_push.DefineResponseByToken(kLogLevel, token, {});
  std::vector<ServerConnection*> all;
  for (auto& [client, sessions] : m_by_client) all.insert(all.end(), sessions.begin(), sessions.end());
  for (ServerConnection* c : all) c->Send(m_push.ProcessText());
}

void TradingServer::Logged(const std::string& text) {
  if (m_options.log_engine) Log(text);
}

void TradingServer::PositionOpened(const model::Position& position) {
  Push(position.client, NEW_OPEN_POSITION_TOKEN, {PositionRow(position)});
}

void TradingServer::PositionClosed(const model::PositionClosed& closed) {
  Push(closed.client, CLOSE_OPEN_POSITION_TOKEN,
       {wire::Number(closed.client), wire::Number(closed.account), wire::Number(closed.ticket)});
}

void TradingServer::OrderRemoved(const model::OrderRemoved& removed) {
  Push(removed.client, DELETE_PENDING_ORDER_TOKEN,
       {wire::Number(removed.client), wire::Number(removed.account), wire::Number(removed.id)});
}

void TradingServer::TotalsBooked(const model::TotalsBooked& booked) {
  const std::vector<std::string> p = wire::TotalsParameters(booked);
  Push(booked.client, SUMMARIES_CHANGED_TOKEN,
       {p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8]});
}

void TradingServer::AccountLiquidated(int32_t client, int32_t account) {
  Push(client, ACCOUNT_LIQUIDATED_TOKEN, {wire::Number(client), wire::Number(account)});
}

void TradingServer::AlertFired(int32_t client, int32_t /*alert*/, const std::string& text) {
  Push(client, MESSAGE_TOKEN, {text});
}

void TradingServer::Halted(const std::string& reason) {
  Log("stopping: " + reason);
  Stop();
}

// ---- answers ----

bool TradingServer::Rows(const ServerConnection& connection, TokensEnum token,
                         std::vector<std::string>& rows) {
  const int32_t client = connection.ClientID();
  switch (token) {
    case GET_ALL_SYMBOLS_TOKEN:
      SymbolRows(client, rows);
      return true;
    case GET_CLIENT_INFO_TOKEN:
      if (const model::Client* c = m_desk.Client(client)) {
        rows.push_back(wire::ClientRow(*c, wire::PricesAsSent(c->parameters)));
      }
      return true;
    case GET_ACCOUNTS_TOKEN:
      for (const model::Account& a : m_desk.Accounts(client)) rows.push_back(wire::AccountRow(a));
      return true;
    case GETOPENPOS_TOKEN:
      for (const model::Position& p : m_desk.Positions(client)) rows.push_back(PositionRow(p));
      return true;
    case GET_PENDING_ORDERS_TOKEN:
      for (const model::Order& o : m_desk.Orders(client)) rows.push_back(wire::OrderRow(o));
      return true;
    case GET_SUMMARIES_TOKEN:
      for (const AccountFigures& f : m_desk.Figures(client)) {
        rows.push_back(
            wire::FiguresRow({f.client, f.account, f.balance, f.equity, f.margin_level}));
      }
      return true;
    default:
      return false;
  }
}

void TradingServer::SymbolRows(int32_t client_id, std::vector<std::string>& rows) const {
  auto client = m_desk.Engine().Clients()->Item(KeyOf(client_id));
  for (const model::Symbol& s : m_desk.Symbols()) {
    auto symbol = m_desk.Symbol(s.id);
    if (!symbol) continue;
    double bid = symbol->Bid(), ask = symbol->Ask();
    if (auto param = client ? client->SymbolParam(s.id) : nullptr) {
      try {
        bid = param->BidWithSpread();
        ask = param->AskWithSpread();
      } catch (const Error&) {
      }
    }
    rows.push_back(wire::SymbolRow(s, bid, ask));
  }
}

std::string TradingServer::PositionRow(const model::Position& p) const {
  bool sl = false, tp = false;
  auto account = m_desk.Engine().Account(p.client, p.account);
  if (account) {
    for (const auto& order : account->Orders()->Items()) {
      if (order->IoID() != p.ticket) continue;
      sl = sl || order->slPrice() != 0;
      tp = tp || order->tpPrice() != 0;
    }
  }
  auto symbol = m_desk.Symbol(p.symbol);
  return wire::PositionRow(p, symbol ? symbol->Name().TextValue() : std::string(), sl, tp);
}

}  // namespace orvane::apps
