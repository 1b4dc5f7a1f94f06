#include "gateway.h"

#include <algorithm>
#include <chrono>

#include "desk.h"
#include "log_text.h"
#include "messages.h"
#include "orvane/io/timer.h"
#include "orvane/market/symbol.h"
#include "orvane/protocol/event_manager.h"
#include "orvane/protocol/process.h"
#include "orvane/session/security.h"
#include "orvane/session/session.h"
#include "password_hash.h"
#include "platform.h"
#include "rows.h"

namespace orvane::apps {

namespace {

constexpr int32_t kUndefinedCommand = -501;
constexpr int32_t kInvalidParameter = -502;
constexpr int32_t kServerStopping = -599;

}  // namespace

Gateway::Gateway(Desk& desk, ITimerFactory& timers, GatewayOptions options)
    : m_desk(desk),
      m_timers(timers),
      m_options(std::move(options)),
      m_handlers{{GET_ALL_SYMBOLS_TOKEN, &Gateway::symbols},
                 {GET_CLIENT_INFO_TOKEN, &Gateway::ClientInfo},
                 {GET_ACCOUNTS_TOKEN, &Gateway::accounts},
                 {GETOPENPOS_TOKEN, &Gateway::positions},
                 {GET_PENDING_ORDERS_TOKEN, &Gateway::orders},
                 {GET_SUMMARIES_TOKEN, &Gateway::Summaries},
                 {START_MARKET_TOKEN, &Gateway::StartMarket},
                 {GET_ONE_POS_TOKEN, &Gateway::OnePosition},
                 {GET_PRIVS_TOKEN, &Gateway::privileges},
                 {GET_ACCOUNT_HISTORY_TOKEN, &Gateway::AccountHistory},
                 {NEW_ORDER_TOKEN, &Gateway::OpenOrder},
                 {CLOSE_POS_ORDER_TOKEN, &Gateway::CloseOrder},
                 {CLOSE_HEDGE_TOKEN, &Gateway::HedgeOrder},
                 {NEW_LIMIT_ORDER_TOKEN, &Gateway::PlaceEntry},
                 {UPDATE_LIMIT_ORDER_TOKEN, &Gateway::ChangeEntry},
                 {DELETE_LIMIT_ORDER_TOKEN, &Gateway::DeleteEntry},
                 {NEW_SL_TP_TOKEN, &Gateway::place_guard},
                 {UPDATE_SL_TP_ORDER_TOKEN, &Gateway::ChangeGuard},
                 {DELETE_SL_TP_ORDER_TOKEN, &Gateway::DeleteGuard},
                 {GET_SL_TP_TOKEN, &Gateway::Guards},
                 {ACCOUNT_TRANS_TOKEN, &Gateway::money},
                 {NEW_POSITION_TOKEN, &Gateway::ManualOpen},
                 {CLOSE_POSITION_TOKEN, &Gateway::ManualClose},
                 {NEW_CLIENT_TOKEN, &Gateway::new_client},
                 {NEW_ACCOUNT_TOKEN, &Gateway::new_account},
                 {UPDATE_CLIENT_INFO_TOKEN, &Gateway::AutoLiquidation},
                 {BROADCAST_MSG_TOKEN, &Gateway::Broadcast},
                 {DISCONNECT_SESSION_TOKEN, &Gateway::DisconnectClient},
                 {CHAT_ON_TOKEN, &Gateway::ChatOn},
                 {CHAT_OFF_TOKEN, &Gateway::ChatOff},
                 {MARKET_ORDER_TOKEN, &Gateway::HeldOrders},
                 {DLR_ACCEPT_MARKET_ORDER_TOKEN, &Gateway::DealerAccept},
                 {DLR_REJECT_MARKET_ORDER_TOKEN, &Gateway::DealerReject},
                 {DLR_CHANGE_MARKET_ORDER_TOKEN, &Gateway::DealerRequote},
                 {ACCEPT_ORDER_TOKEN, &Gateway::ClientAccept},
                 {REJECT_ORDER_TOKEN, &Gateway::ClientReject}},
      m_event_manager(std::make_shared<CEventManager>()),
      m_handshake(timers.CreateTimer()),
      m_negotiations(desk, timers, static_cast<NegotiationHost&>(*this)),
      m_throttle(m_options.throttle),
      m_unknown_user_hash(HashPassword("", m_options.password_iterations)) {
  m_handshake->Interval(m_options.handshake_ms);
  m_handshake->OnTick([this] { Handshake(); });
}

Gateway::~Gateway() {
  m_handshake->OnTick(nullptr);
  Stop();
}

void Gateway::Start() { m_handshake->Enabled(true); }

void Gateway::Stop() {
  m_handshake->Enabled(false);
  std::vector<std::shared_ptr<ServerConnection>> open;
  for (auto& [raw, connection] : m_connections) open.push_back(connection);
  for (auto& connection : open) connection->Close("the server stops");
  m_connections.clear();
  m_by_client.clear();
  m_by_user.clear();
  m_by_address.clear();
  m_dealers.clear();
  m_market.clear();
  m_closed.clear();
}

size_t Gateway::LoggedOnSessions() const {
  size_t count = 0;
  for (const auto& [client, sessions] : m_by_client) count += sessions.size();
  return count + m_dealers.size();
}

// ---- connections ----

bool Gateway::Full(const std::string& address, size_t pending) {
  const size_t count = m_connections.size() + pending;
  if (count < m_options.max_connections) {
    if (m_refused > 0) {
      Log("taking connections again; " + std::to_string(m_refused) +
          " refused at the cap of " + std::to_string(m_options.max_connections));
      m_refused = 0;
    }
    return false;
  }
  ++m_stats.connections_refused;
  if (m_refused++ == 0) {
    Warn("connection cap reached: " + std::to_string(count) + " connections (" +
         std::to_string(pending) + " being set up); refusing new ones, the first from " +
         LogText(address));
  }
  return true;
}

bool Gateway::Admit(const std::string& address, size_t pending) {
  return !Full(address, pending);
}

void Gateway::Accept(const std::shared_ptr<ISocket>& socket) {
  m_closed.clear();
  if (Full(socket->RemoteAddress(), 0)) {
    socket->Close();
    return;
  }
  // Also the timer of a log-on answer held back; with no deadline its
  // interval of 0 never ticks.
  std::shared_ptr<ITimer> deadline = m_timers.CreateTimer();
  deadline->Interval(std::max(m_options.login_timeout_ms, 0));
  auto connection = std::make_shared<ServerConnection>(static_cast<ConnectionHost&>(*this),
                                                       socket, m_options.limits, deadline);
  m_connections[connection.get()] = connection;
  connection->Start();
}

void Gateway::Dropped(const std::string& address, const std::string& why) {
  ++m_stats.connections_dropped;
  if (m_dropped++ == 0) {
    m_dropped_since = Now();
    Warn("connection from " + LogText(address) + " dropped before it was served: " + why);
  }
}

void Gateway::SummariseDropped() {
  constexpr int64_t kDroppedLineMs = 10000;
  if (m_dropped == 0 || Now() - m_dropped_since < kDroppedLineMs) return;
  if (m_dropped > 1) {
    Warn(std::to_string(m_dropped - 1) + " more connections dropped before they were served");
  }
  m_dropped = 0;
}

const model::User* Gateway::user(const std::string& username) const {
  return m_desk.user(username);
}

int32_t Gateway::NewSid() { return m_sids.next(); }

// What logged-on sessions are sent reports the desk's state: it waits for
// the desk's batch to be committed.
bool Gateway::Holding() const { return m_desk.waiting(); }

void Gateway::Hold(std::function<void()> send) { m_desk.after_commit(std::move(send)); }

int32_t Gateway::last_order_number(const std::string& username) const {
  return m_desk.last_order_number(username);
}

std::string Gateway::market_time() const { return m_desk.market_time_text(); }

std::string Gateway::Settings() const { return model::platform_text(m_desk.platform()); }

namespace {

template <typename Key>
void Forget(std::unordered_map<Key, std::vector<ServerConnection*>>& index, const Key& key,
            ServerConnection* connection) {
  auto it = index.find(key);
  if (it == index.end()) return;
  auto& sessions = it->second;
  sessions.erase(std::remove(sessions.begin(), sessions.end(), connection), sessions.end());
  if (sessions.empty()) index.erase(it);
}

}  // namespace

int64_t Gateway::Now() const {
  if (m_options.elapsed_ms) return m_options.elapsed_ms();
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t Gateway::LogOnDelay(ServerConnection& connection, const std::string& username) {
  const std::string& address = connection.Address();
  const int64_t delay = m_throttle.Reserve(username, user(username) != nullptr, address, Now());
  if (delay < 0 || (delay > 0 && m_held >= m_options.max_waiting_log_ons)) {
    if (delay > 0) m_throttle.Release(username, address, false);
    ++m_stats.refused_waiting;
    return -1;
  }
  // In flight until answered or gone; held when it waits.
  m_waiting[&connection] = {username, address, delay > 0};
  if (delay > 0) ++m_held;
  return delay;
}

void Gateway::CheckPassword(const model::User* user, std::string password,
                            std::function<void(bool)> done) {
  const std::string& hash = user != nullptr ? user->password : m_unknown_user_hash;
  auto answer = [known = user != nullptr, done = std::move(done)](bool ok) { done(known && ok); };
  if (m_options.password_checks == nullptr) return answer(VerifyPassword(hash, password));
  m_options.password_checks->check(hash, std::move(password), std::move(answer));
}

void Gateway::StopWaiting(ServerConnection& connection, bool answered) {
  auto it = m_waiting.find(&connection);
  if (it == m_waiting.end()) return;
  m_throttle.Release(it->second.username, it->second.address, answered);
  if (it->second.held) --m_held;
  m_waiting.erase(it);
}

bool Gateway::LogOnFailed(ServerConnection& connection, const std::string& username,
                          bool known) {
  ++m_stats.refused_password;
  StopWaiting(connection, true);
  bool locked = false;
  const bool first = m_throttle.failed(username, known, connection.Address(), Now(), locked);
  if (locked) {
    Warn("user '" + LogText(username) + "' locked out after " +
         std::to_string(m_throttle.options().lockout_failures) +
         " failed log-ons in a row, the last from " + LogText(connection.Address()) +
         "; a configuration reload lifts it");
  }
  if (first && m_throttle.options().first_delay_ms > 0) {
    Warn("log-on refused for '" + LogText(username) + "' from " + connection.Peer() +
         ": throttled from now on");
  }
  return first && m_throttle.options().first_delay_ms <= 0;
}

// The server's option, or the platform's setting.
bool Gateway::MultiSessions() const {
  return m_options.multi_sessions_allowed || m_desk.platform().multi_sessions_allowed;
}

// One session a user, unless several are allowed: the newer log-on wins, so
// that a terminal whose connection died unnoticed gets back in at once.
std::string Gateway::MayLogOn(ServerConnection& connection, const model::User& user) {
  StopWaiting(connection, true);
  if (m_throttle.LockedOut(user.username)) {
    ++m_stats.refused_locked;
    return "This user is locked out after too many failed log-ons";
  }
  auto found = m_by_user.find(user.username);
  const std::vector<ServerConnection*> sessions =
      found == m_by_user.end() ? std::vector<ServerConnection*>() : found->second;
  if (MultiSessions() && m_options.max_sessions_per_user > 0 &&
      sessions.size() >= m_options.max_sessions_per_user) {
    ++m_stats.refused_limit;
    return "Too many sessions for this user (" + std::to_string(sessions.size()) + ")";
  }
  if (m_options.max_sessions_per_address > 0) {
    size_t from_address = 0;
    if (auto it = m_by_address.find(connection.Address()); it != m_by_address.end()) {
      from_address = it->second;
    }
    if (!MultiSessions()) {
      for (const ServerConnection* old : sessions) {
        if (old->Address() == connection.Address()) --from_address;  // about to go
      }
    }
    if (from_address >= m_options.max_sessions_per_address) {
      ++m_stats.refused_limit;
      return "Too many sessions from this address (" + std::to_string(from_address) + ")";
    }
  }
  if (!MultiSessions()) {
    for (ServerConnection* old : sessions) {
      // Told at once: the session closes right after.
      old->SendNow(wire::response(wire::Refusal{wire::kLoginRefused,
                                                "This user has logged on elsewhere",
                                                static_cast<int32_t>(LOGIN_TOKEN)}));
      old->Close("the user logged on again from " + connection.Peer());
    }
  }
  return {};
}

void Gateway::LoggedOn(ServerConnection& connection) {
  ++m_stats.log_ons;
  const std::vector<std::string> ended =
      m_throttle.Succeeded(connection.Username(), connection.Address());
  for (const std::string& line : ended) Log(line);
  if (IsDealer(connection)) {
    m_dealers.push_back(&connection);
  } else {
    m_by_client[connection.ClientID()].push_back(&connection);
  }
  m_by_user[connection.Username()].push_back(&connection);
  ++m_by_address[connection.Address()];
}

void Gateway::Welcomed(ServerConnection& connection) { TellExpired(connection); }

size_t Gateway::UserUnsentBytes(const ServerConnection& connection) const {
  auto it = m_by_user.find(connection.Username());
  if (it == m_by_user.end()) return connection.UnsentBytes();
  size_t total = 0;
  for (const ServerConnection* c : it->second) total += c->UnsentBytes();
  return total;
}

void Gateway::Closed(ServerConnection& connection) {
  ++m_stats.connections_closed;
  StopWaiting(connection, false);
  if (connection.LoggedOn()) {
    Forget(m_by_client, connection.ClientID(), &connection);
    m_dealers.erase(std::remove(m_dealers.begin(), m_dealers.end(), &connection), m_dealers.end());
    // A dealer who dropped keeps what it holds until its timers run out;
    // it takes no new orders until it switches chatting on again.
    if (IsDealer(connection) && m_by_user[connection.Username()].size() <= 1) {
      m_chatting.erase(std::remove(m_chatting.begin(), m_chatting.end(), connection.Username()),
                       m_chatting.end());
    }
    Forget(m_by_user, connection.Username(), &connection);
    auto it = m_by_address.find(connection.Address());
    if (it != m_by_address.end() && --it->second == 0) m_by_address.erase(it);
  }
  m_market.erase(std::remove(m_market.begin(), m_market.end(), &connection), m_market.end());
  // The connection may be inside its own handler: it goes later.
  auto found = m_connections.find(&connection);
  if (found == m_connections.end()) return;
  m_closed.push_back(found->second);
  m_connections.erase(found);
}

void Gateway::Log(const std::string& line) {
  if (m_options.log) m_options.log(line);
}

void Gateway::Warn(const std::string& line) {
  if (m_options.warn) return m_options.warn(line);
  Log(line);
}

// ---- requests ----

void Gateway::request(ServerConnection& connection, const CProcess& process) {
  const TokensEnum token = process.TokenID();
  const Route* route = RouteOf(token);
  auto handler = m_handlers.find(token);
  if (!route || handler == m_handlers.end()) {
    static const std::string kUndefined = "Undefined command";
    return connection.Refuse(kUndefinedCommand, kUndefined, token);
  }
  if (!Allowed(connection, *route, process)) return;
  (this->*(handler->second))(connection, process);
}

bool Gateway::Allowed(ServerConnection& connection, const Route& route,
                      const CProcess& process) {
  const CSession& session = *connection.Session();
  if (!Serves(route, session.UserType())) {
    Refuse(connection, route, process, wire::kNotAllowed,
           std::string("Not allowed: this kind of user may not ") + route.action);
    return false;
  }
  if (route.privilege != NonePriv && !session.Security()->UserHasPriv(route.privilege)) {
    Refuse(connection, route, process, wire::kNotAllowed,
           std::string("Not allowed: the user lacks the privilege to ") + route.action +
               " (privilege " + std::to_string(static_cast<int32_t>(route.privilege)) + ")");
    return false;
  }
  return true;
}

// An order whose number reads is refused by an order answer under its own
// token; anything else by an error.
void Gateway::Refuse(ServerConnection& c, const Route& route, const CProcess& p, int32_t code,
                     const std::string& text) {
  int32_t number = 0;
  if (route.order && p.Parameters() >= 1 && wire::read_integer(p.ParameterValue(1), number)) {
    return Answer(c, route.token, number, model::OrderNumber{"", number, code, text, 0, 0});
  }
  c.Refuse(code, text, route.token);
}

void Gateway::symbols(ServerConnection& c, const CProcess& /*p*/) {
  std::vector<std::string> rows;
  for (const model::Symbol& s : m_desk.symbols()) {
    auto symbol = m_desk.symbol(s.id);
    rows.push_back(wire::symbol_row(s, symbol->Bid(), symbol->Ask()));
  }
  c.SendRows(rows);
}

bool Gateway::IsDealer(const ServerConnection& c) {
  return c.Session() && c.Session()->UserType() == DEALER_USER_TYPE;
}

std::vector<int32_t> Gateway::ClientsOf(const ServerConnection& c) const {
  if (!IsDealer(c)) return {c.ClientID()};
  std::vector<int32_t> clients;
  for (const model::Client& client : m_desk.clients()) {
    if (client.type == CLIENT_TYPE && m_desk.sees(c.ClientID(), client.id)) {
      clients.push_back(client.id);
    }
  }
  return clients;
}

// A client reads its own record; a dealer every client, office and group it
// acts for, parents before their children as the desk loaded them.
void Gateway::ClientInfo(ServerConnection& c, const CProcess& /*p*/) {
  std::vector<std::string> rows;
  if (!IsDealer(c)) {
    if (const model::Client* client = m_desk.client(c.ClientID())) {
      rows.push_back(wire::client_row(*client));
    }
  } else {
    for (const model::Client& client : m_desk.clients()) {
      if (m_desk.sees(c.ClientID(), client.id)) rows.push_back(wire::client_row(client));
    }
  }
  c.SendRows(rows);
}

void Gateway::accounts(ServerConnection& c, const CProcess& /*p*/) {
  std::vector<std::string> rows;
  for (int32_t client : ClientsOf(c)) {
    for (const model::Account& a : m_desk.accounts(client)) rows.push_back(wire::account_row(a));
  }
  c.SendRows(rows);
}

void Gateway::positions(ServerConnection& c, const CProcess& /*p*/) {
  std::vector<std::string> rows;
  for (int32_t client : ClientsOf(c)) {
    for (const model::Position& p : m_desk.positions(client)) {
      const Desk::Guards guards = m_desk.guards_of(p);
      rows.push_back(wire::position_row(p, m_desk.symbol_name(p.symbol), guards.sl, guards.tp));
    }
  }
  c.SendRows(rows);
}

void Gateway::orders(ServerConnection& c, const CProcess& /*p*/) {
  std::vector<std::string> rows;
  for (int32_t client : ClientsOf(c)) {
    for (const model::Order& o : m_desk.orders(client)) rows.push_back(wire::order_row(o));
  }
  c.SendRows(rows);
}

void Gateway::Summaries(ServerConnection& c, const CProcess& /*p*/) {
  std::vector<std::string> rows;
  for (int32_t client : ClientsOf(c)) {
    for (const AccountFigures& f : m_desk.figures(client)) {
      rows.push_back(wire::figures_row({f.client, f.account, f.balance, f.equity, f.margin_level}));
    }
  }
  c.SendRows(rows);
}

void Gateway::StartMarket(ServerConnection& c, const CProcess& /*p*/) {
  c.Send(wire::response_text(RESULT_OK_TOKEN));
  if (c.IsMarketStarted()) return;
  c.Session()->MarketStarted(true);
  for (const model::Symbol& s : m_desk.symbols()) {
    if (s.id != 1) SendPrice(c, s.id);
  }
  if (c.IsClosed()) return;
  m_market.push_back(&c);
  if (m_options.market_started) m_options.market_started(c);
}

// GET_ONE_POS(account, ticket): the position's row, or no rows when the
// client holds no such position.
void Gateway::OnePosition(ServerConnection& c, const CProcess& p) {
  wire::PositionQuery query;
  if (!wire::decode(p, query)) {
    return c.Refuse(kInvalidParameter, "Invalid paramenter", GET_ONE_POS_TOKEN);
  }
  std::vector<std::string> rows;
  for (const model::Position& position : m_desk.positions(c.ClientID())) {
    if (position.account != query.account || position.ticket != query.ticket) continue;
    const Desk::Guards guards = m_desk.guards_of(position);
    rows.push_back(
        wire::position_row(position, m_desk.symbol_name(position.symbol), guards.sl, guards.tp));
  }
  c.SendRows(rows);
}

// GET_PRIVS: one row, the numbers of the privileges the user holds.
void Gateway::privileges(ServerConnection& c, const CProcess& /*p*/) {
  const model::User* user = m_desk.user(c.Session()->Username());
  c.SendRows({user ? user->privileges : std::string()});
}

// GET_ACCOUNT_HISTORY(account): the account's history rows, oldest first.
void Gateway::AccountHistory(ServerConnection& c, const CProcess& p) {
  wire::HistoryQuery query;
  if (!wire::decode(p, query)) {
    return c.Refuse(kInvalidParameter, "Invalid paramenter", GET_ACCOUNT_HISTORY_TOKEN);
  }
  std::vector<std::string> rows;
  for (const model::HistoryEntry& e : m_desk.history(c.ClientID())) {
    if (e.account == query.account) rows.push_back(wire::history_row(e, m_desk.symbol_name(e.symbol)));
  }
  c.SendRows(rows);
}

// GET_SL_TP(account, ticket): the orders that guard the position.
void Gateway::Guards(ServerConnection& c, const CProcess& p) {
  wire::GuardQuery query;
  if (!wire::decode(p, query)) {
    return c.Refuse(kInvalidParameter, "Invalid paramenter", GET_SL_TP_TOKEN);
  }
  std::vector<std::string> rows;
  for (const model::Order& o : m_desk.guard_orders(c.ClientID(), query.account, query.ticket)) {
    rows.push_back(wire::order_row(o));
  }
  c.SendRows(rows);
}

// Decodes an order request and executes it for the session's user and
// client: a session trades only for its own client (the desk refuses an
// account of another client as unknown).
template <typename Request, typename Order, typename Fill>
void Gateway::Trade(ServerConnection& c, const CProcess& p, Fill fill) {
  const auto arrived = std::chrono::steady_clock::now();
  Request request;
  if (!wire::decode(p, request)) {
    return Refuse(c, *RouteOf(Request::kToken), p, kInvalidParameter, "Invalid paramenter");
  }
  Order order;
  order.username = c.Session()->Username();
  order.number = request.number;
  order.client = c.ClientID();
  order.account = request.account;
  fill(request, order);
  if constexpr (Request::kToken == NEW_ORDER_TOKEN || Request::kToken == CLOSE_POS_ORDER_TOKEN) {
    if (DealtByHand(c)) {
      auto found = m_connections.find(&c);
      std::weak_ptr<ServerConnection> session;
      if (found != m_connections.end()) session = found->second;
      return m_negotiations.Take(order, Request::kToken, std::move(session));
    }
  }
  Answer(c, Request::kToken, request.number, m_desk.execute(order));
  if (!m_options.order_answered) return;
  // The answer goes out once the order's batch is committed.
  m_desk.after_commit([report = m_options.order_answered, arrived] {
    report(std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now() - arrived)
               .count());
  });
}

void Gateway::OpenOrder(ServerConnection& c, const CProcess& p) {
  Trade<wire::OpenRequest, MarketOrder>(c, p, [](const wire::OpenRequest& r, MarketOrder& order) {
    order.symbol = r.symbol;
    order.direction = r.direction;
    order.lots = r.lots;
    order.price = r.price;
  });
}

void Gateway::CloseOrder(ServerConnection& c, const CProcess& p) {
  Trade<wire::CloseRequest, MarketOrder>(c, p, [](const wire::CloseRequest& r, MarketOrder& order) {
    order.ticket = r.ticket;
    order.lots = r.lots;
    order.price = r.price;
  });
}

void Gateway::HedgeOrder(ServerConnection& c, const CProcess& p) {
  Trade<wire::HedgeRequest, MarketOrder>(c, p, [](const wire::HedgeRequest& r, MarketOrder& order) {
    order.ticket = r.ticket;
    order.hedge_ticket = r.other;
  });
}

void Gateway::PlaceEntry(ServerConnection& c, const CProcess& p) {
  Trade<wire::EntryRequest, PendingOrder>(c, p, [](const wire::EntryRequest& r, PendingOrder& o) {
    o.kind = LimitOrdersType;
    o.symbol = r.symbol;
    o.direction = r.direction;
    o.lots = r.lots;
    o.price = r.price;
    o.sl = r.sl;
    o.tp = r.tp;
    o.expiry = r.expiry;
  });
}

void Gateway::ChangeEntry(ServerConnection& c, const CProcess& p) {
  Trade<wire::EntryChangeRequest, PendingOrder>(
      c, p, [](const wire::EntryChangeRequest& r, PendingOrder& o) {
        o.action = PendingOrder::Action::kChange;
        o.kind = LimitOrdersType;
        o.id = r.order;
        o.lots = r.lots;
        o.price = r.price;
        o.sl = r.sl;
        o.tp = r.tp;
        o.expiry = r.expiry;
      });
}

void Gateway::DeleteEntry(ServerConnection& c, const CProcess& p) {
  Trade<wire::EntryDeleteRequest, PendingOrder>(
      c, p, [](const wire::EntryDeleteRequest& r, PendingOrder& o) {
        o.action = PendingOrder::Action::kDelete;
        o.kind = LimitOrdersType;
        o.id = r.order;
      });
}

void Gateway::place_guard(ServerConnection& c, const CProcess& p) {
  Trade<wire::GuardRequest, PendingOrder>(c, p, [](const wire::GuardRequest& r, PendingOrder& o) {
    o.kind = SlTpType;
    o.ticket = r.ticket;
    o.sl = r.sl;
    o.tp = r.tp;
  });
}

void Gateway::ChangeGuard(ServerConnection& c, const CProcess& p) {
  Trade<wire::GuardChangeRequest, PendingOrder>(
      c, p, [](const wire::GuardChangeRequest& r, PendingOrder& o) {
        o.action = PendingOrder::Action::kChange;
        o.kind = SlTpType;
        o.id = r.order;
        o.sl = r.sl;
        o.tp = r.tp;
      });
}

void Gateway::DeleteGuard(ServerConnection& c, const CProcess& p) {
  Trade<wire::GuardDeleteRequest, PendingOrder>(
      c, p, [](const wire::GuardDeleteRequest& r, PendingOrder& o) {
        o.action = PendingOrder::Action::kDelete;
        o.kind = SlTpType;
        o.id = r.order;
      });
}

void Gateway::Answer(ServerConnection& c, TokensEnum token, int32_t number,
                     const std::optional<model::OrderNumber>& outcome) {
  if (c.IsClosed()) return;
  const wire::OrderAnswer answer =
      outcome ? wire::OrderAnswer{outcome->number, outcome->code, outcome->text, outcome->ticket,
                                  outcome->price}
              : wire::OrderAnswer{number, kServerStopping, "The server takes no orders now", 0, 0};
  c.Send(wire::response_text(token, wire::encode(answer)));
}

// ---- prices and pushes ----

void Gateway::SendPrice(ServerConnection& connection, int32_t symbol_id) {
  auto symbol = m_desk.symbol(symbol_id);
  const wire::Price price{symbol_id, symbol->Bid(), symbol->Ask(), symbol->LastQuteTime(),
                          m_sequence[symbol_id]};
  if (connection.SendNow(wire::response(price))) ++m_stats.prices_sent;
}

void Gateway::Quote(const model::Quote& quote) {
  m_closed.clear();
  auto symbol = m_desk.symbol(quote.symbol);
  if (!symbol) return;
  const wire::Price price{quote.symbol, symbol->Bid(), symbol->Ask(), symbol->LastQuteTime(),
                          ++m_sequence[quote.symbol]};
  // Built once; every session's socket holds the same bytes until they leave.
  m_price = std::make_shared<const std::string>(wire::response(price));
  // A send may close a session and change the list: send on a copy.
  m_targets.assign(m_market.begin(), m_market.end());
  for (ServerConnection* c : m_targets) {
    if (!c->IsClosed() && c->SendNow(m_price)) ++m_stats.prices_sent;
  }
}

// To the client's sessions and to every dealer who acts for the client.
void Gateway::Push(int32_t client, std::string_view text) {
  std::vector<ServerConnection*> sessions;
  if (auto it = m_by_client.find(client); it != m_by_client.end()) sessions = it->second;
  for (ServerConnection* dealer : m_dealers) {
    if (m_desk.sees(dealer->ClientID(), client)) sessions.push_back(dealer);
  }
  for (ServerConnection* c : sessions) {
    if (!c->IsClosed()) c->Send(text);
  }
}

void Gateway::PushAll(std::string_view text) {
  std::vector<ServerConnection*> all;
  for (auto& [client, sessions] : m_by_client) all.insert(all.end(), sessions.begin(), sessions.end());
  all.insert(all.end(), m_dealers.begin(), m_dealers.end());
  for (ServerConnection* c : all) {
    if (!c->IsClosed()) c->Send(text);
  }
}

void Gateway::Handshake() {
  m_closed.clear();
  for (const std::string& ended : m_throttle.Forget(Now())) Log(ended);
  SummariseDropped();
  PushAll(wire::response_text(CONNECT_HANDCHAKE_TOKEN));
}

}  // namespace orvane::apps
