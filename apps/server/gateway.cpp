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
                 {GET_CLIENT_INFO_TOKEN, &Gateway::client_info},
                 {GET_ACCOUNTS_TOKEN, &Gateway::accounts},
                 {GETOPENPOS_TOKEN, &Gateway::positions},
                 {GET_PENDING_ORDERS_TOKEN, &Gateway::orders},
                 {GET_SUMMARIES_TOKEN, &Gateway::summaries},
                 {START_MARKET_TOKEN, &Gateway::start_market},
                 {GET_ONE_POS_TOKEN, &Gateway::one_position},
                 {GET_PRIVS_TOKEN, &Gateway::privileges},
                 {GET_ACCOUNT_HISTORY_TOKEN, &Gateway::account_history},
                 {NEW_ORDER_TOKEN, &Gateway::open_order},
                 {CLOSE_POS_ORDER_TOKEN, &Gateway::close_order},
                 {CLOSE_HEDGE_TOKEN, &Gateway::hedge_order},
                 {NEW_LIMIT_ORDER_TOKEN, &Gateway::place_entry},
                 {UPDATE_LIMIT_ORDER_TOKEN, &Gateway::change_entry},
                 {DELETE_LIMIT_ORDER_TOKEN, &Gateway::delete_entry},
                 {NEW_SL_TP_TOKEN, &Gateway::place_guard},
                 {UPDATE_SL_TP_ORDER_TOKEN, &Gateway::change_guard},
                 {DELETE_SL_TP_ORDER_TOKEN, &Gateway::delete_guard},
                 {GET_SL_TP_TOKEN, &Gateway::guards},
                 {ACCOUNT_TRANS_TOKEN, &Gateway::money},
                 {NEW_POSITION_TOKEN, &Gateway::manual_open},
                 {CLOSE_POSITION_TOKEN, &Gateway::manual_close},
                 {NEW_CLIENT_TOKEN, &Gateway::new_client},
                 {NEW_ACCOUNT_TOKEN, &Gateway::new_account},
                 {UPDATE_CLIENT_INFO_TOKEN, &Gateway::auto_liquidation},
                 {BROADCAST_MSG_TOKEN, &Gateway::broadcast},
                 {DISCONNECT_SESSION_TOKEN, &Gateway::disconnect_client},
                 {CHAT_ON_TOKEN, &Gateway::chat_on},
                 {CHAT_OFF_TOKEN, &Gateway::chat_off},
                 {MARKET_ORDER_TOKEN, &Gateway::held_orders},
                 {DLR_ACCEPT_MARKET_ORDER_TOKEN, &Gateway::dealer_accept},
                 {DLR_REJECT_MARKET_ORDER_TOKEN, &Gateway::dealer_reject},
                 {DLR_CHANGE_MARKET_ORDER_TOKEN, &Gateway::dealer_requote},
                 {ACCEPT_ORDER_TOKEN, &Gateway::client_accept},
                 {REJECT_ORDER_TOKEN, &Gateway::client_reject}},
      m_event_manager(std::make_shared<CEventManager>()),
      m_handshake(timers.CreateTimer()),
      m_negotiations(desk, timers, static_cast<NegotiationHost&>(*this)),
      m_throttle(m_options.throttle),
      m_unknown_user_hash(hash_password("", m_options.password_iterations)) {
  m_handshake->Interval(m_options.handshake_ms);
  m_handshake->OnTick([this] { handshake(); });
}

Gateway::~Gateway() {
  m_handshake->OnTick(nullptr);
  stop();
}

void Gateway::start() { m_handshake->Enabled(true); }

void Gateway::stop() {
  m_handshake->Enabled(false);
  std::vector<std::shared_ptr<ServerConnection>> open;
  for (auto& [raw, connection] : m_connections) open.push_back(connection);
  for (auto& connection : open) connection->close("the server stops");
  m_connections.clear();
  m_by_client.clear();
  m_by_user.clear();
  m_by_address.clear();
  m_dealers.clear();
  m_market.clear();
  m_closed.clear();
}

size_t Gateway::logged_on_sessions() const {
  size_t count = 0;
  for (const auto& [client, sessions] : m_by_client) count += sessions.size();
  return count + m_dealers.size();
}

// ---- connections ----

bool Gateway::full(const std::string& address, size_t pending) {
  const size_t count = m_connections.size() + pending;
  if (count < m_options.max_connections) {
    if (m_refused > 0) {
      log("taking connections again; " + std::to_string(m_refused) +
          " refused at the cap of " + std::to_string(m_options.max_connections));
      m_refused = 0;
    }
    return false;
  }
  ++m_stats.connections_refused;
  if (m_refused++ == 0) {
    warn("connection cap reached: " + std::to_string(count) + " connections (" +
         std::to_string(pending) + " being set up); refusing new ones, the first from " +
         log_text(address));
  }
  return true;
}

bool Gateway::admit(const std::string& address, size_t pending) {
  return !full(address, pending);
}

void Gateway::accept(const std::shared_ptr<ISocket>& socket) {
  m_closed.clear();
  if (full(socket->RemoteAddress(), 0)) {
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
  connection->start();
}

void Gateway::dropped(const std::string& address, const std::string& why) {
  ++m_stats.connections_dropped;
  if (m_dropped++ == 0) {
    m_dropped_since = now();
    warn("connection from " + log_text(address) + " dropped before it was served: " + why);
  }
}

void Gateway::summarise_dropped() {
  constexpr int64_t kDroppedLineMs = 10000;
  if (m_dropped == 0 || now() - m_dropped_since < kDroppedLineMs) return;
  if (m_dropped > 1) {
    warn(std::to_string(m_dropped - 1) + " more connections dropped before they were served");
  }
  m_dropped = 0;
}

const model::User* Gateway::user(const std::string& username) const {
  return m_desk.user(username);
}

int32_t Gateway::new_sid() { return m_sids.next(); }

// What logged-on sessions are sent reports the desk's state: it waits for
// the desk's batch to be committed.
bool Gateway::holding() const { return m_desk.waiting(); }

void Gateway::hold(std::function<void()> send) { m_desk.after_commit(std::move(send)); }

int32_t Gateway::last_order_number(const std::string& username) const {
  return m_desk.last_order_number(username);
}

std::string Gateway::market_time() const { return m_desk.market_time_text(); }

std::string Gateway::settings() const { return model::platform_text(m_desk.platform()); }

namespace {

template <typename Key>
void forget(std::unordered_map<Key, std::vector<ServerConnection*>>& index, const Key& key,
            ServerConnection* connection) {
  auto it = index.find(key);
  if (it == index.end()) return;
  auto& sessions = it->second;
  sessions.erase(std::remove(sessions.begin(), sessions.end(), connection), sessions.end());
  if (sessions.empty()) index.erase(it);
}

}  // namespace

int64_t Gateway::now() const {
  if (m_options.elapsed_ms) return m_options.elapsed_ms();
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t Gateway::log_on_delay(ServerConnection& connection, const std::string& username) {
  const std::string& address = connection.address();
  const int64_t delay = m_throttle.reserve(username, user(username) != nullptr, address, now());
  if (delay < 0 || (delay > 0 && m_held >= m_options.max_waiting_log_ons)) {
    if (delay > 0) m_throttle.release(username, address, false);
    ++m_stats.refused_waiting;
    return -1;
  }
  // In flight until answered or gone; held when it waits.
  m_waiting[&connection] = {username, address, delay > 0};
  if (delay > 0) ++m_held;
  return delay;
}

void Gateway::check_password(const model::User* user, std::string password,
                            std::function<void(bool)> done) {
  const std::string& hash = user != nullptr ? user->password : m_unknown_user_hash;
  auto answer = [known = user != nullptr, done = std::move(done)](bool ok) { done(known && ok); };
  if (m_options.password_checks == nullptr) return answer(verify_password(hash, password));
  m_options.password_checks->check(hash, std::move(password), std::move(answer));
}

void Gateway::stop_waiting(ServerConnection& connection, bool answered) {
  auto it = m_waiting.find(&connection);
  if (it == m_waiting.end()) return;
  m_throttle.release(it->second.username, it->second.address, answered);
  if (it->second.held) --m_held;
  m_waiting.erase(it);
}

bool Gateway::log_on_failed(ServerConnection& connection, const std::string& username,
                          bool known) {
  ++m_stats.refused_password;
  stop_waiting(connection, true);
  bool locked = false;
  const bool first = m_throttle.failed(username, known, connection.address(), now(), locked);
  if (locked) {
    warn("user '" + log_text(username) + "' locked out after " +
         std::to_string(m_throttle.options().lockout_failures) +
         " failed log-ons in a row, the last from " + log_text(connection.address()) +
         "; a configuration reload lifts it");
  }
  if (first && m_throttle.options().first_delay_ms > 0) {
    warn("log-on refused for '" + log_text(username) + "' from " + connection.peer() +
         ": throttled from now on");
  }
  return first && m_throttle.options().first_delay_ms <= 0;
}

// The server's option, or the platform's setting.
bool Gateway::multi_sessions() const {
  return m_options.multi_sessions_allowed || m_desk.platform().multi_sessions_allowed;
}

// One session a user, unless several are allowed: the newer log-on wins, so
// that a terminal whose connection died unnoticed gets back in at once.
std::string Gateway::may_log_on(ServerConnection& connection, const model::User& user) {
  stop_waiting(connection, true);
  if (m_throttle.locked_out(user.username)) {
    ++m_stats.refused_locked;
    return "This user is locked out after too many failed log-ons";
  }
  auto found = m_by_user.find(user.username);
  const std::vector<ServerConnection*> sessions =
      found == m_by_user.end() ? std::vector<ServerConnection*>() : found->second;
  if (multi_sessions() && m_options.max_sessions_per_user > 0 &&
      sessions.size() >= m_options.max_sessions_per_user) {
    ++m_stats.refused_limit;
    return "Too many sessions for this user (" + std::to_string(sessions.size()) + ")";
  }
  if (m_options.max_sessions_per_address > 0) {
    size_t from_address = 0;
    if (auto it = m_by_address.find(connection.address()); it != m_by_address.end()) {
      from_address = it->second;
    }
    if (!multi_sessions()) {
      for (const ServerConnection* old : sessions) {
        if (old->address() == connection.address()) --from_address;  // about to go
      }
    }
    if (from_address >= m_options.max_sessions_per_address) {
      ++m_stats.refused_limit;
      return "Too many sessions from this address (" + std::to_string(from_address) + ")";
    }
  }
  if (!multi_sessions()) {
    for (ServerConnection* old : sessions) {
      // Told at once: the session closes right after.
      old->send_now(wire::response(wire::Refusal{wire::kLoginRefused,
                                                "This user has logged on elsewhere",
                                                static_cast<int32_t>(LOGIN_TOKEN)}));
      old->close("the user logged on again from " + connection.peer());
    }
  }
  return {};
}

void Gateway::logged_on(ServerConnection& connection) {
  ++m_stats.log_ons;
  const std::vector<std::string> ended =
      m_throttle.succeeded(connection.username(), connection.address());
  for (const std::string& line : ended) log(line);
  if (is_dealer(connection)) {
    m_dealers.push_back(&connection);
  } else {
    m_by_client[connection.client_id()].push_back(&connection);
  }
  std::vector<ServerConnection*>& sessions = m_by_user[connection.username()];
  sessions.push_back(&connection);
  // The list stays where it is while it has a session: m_by_user's values
  // do not move when other users come and go.
  connection.share_budget(&sessions);
  ++m_by_address[connection.address()];
}

void Gateway::welcomed(ServerConnection& connection) { tell_expired(connection); }

void Gateway::closed(ServerConnection& connection) {
  ++m_stats.connections_closed;
  stop_waiting(connection, false);
  if (connection.logged_on()) {
    forget(m_by_client, connection.client_id(), &connection);
    m_dealers.erase(std::remove(m_dealers.begin(), m_dealers.end(), &connection), m_dealers.end());
    // A dealer who dropped keeps what it holds until its timers run out;
    // it takes no new orders until it switches chatting on again.
    if (is_dealer(connection) && m_by_user[connection.username()].size() <= 1) {
      m_chatting.erase(std::remove(m_chatting.begin(), m_chatting.end(), connection.username()),
                       m_chatting.end());
    }
    connection.share_budget(nullptr);
    forget(m_by_user, connection.username(), &connection);
    auto it = m_by_address.find(connection.address());
    if (it != m_by_address.end() && --it->second == 0) m_by_address.erase(it);
  }
  m_market.erase(std::remove(m_market.begin(), m_market.end(), &connection), m_market.end());
  // The connection may be inside its own handler: it goes later.
  auto found = m_connections.find(&connection);
  if (found == m_connections.end()) return;
  m_closed.push_back(found->second);
  m_connections.erase(found);
}

void Gateway::log(const std::string& line) {
  if (m_options.log) m_options.log(line);
}

void Gateway::warn(const std::string& line) {
  if (m_options.warn) return m_options.warn(line);
  log(line);
}

// ---- requests ----

void Gateway::request(ServerConnection& connection, const CProcess& process) {
  const TokensEnum token = process.TokenID();
  const Route* route = route_of(token);
  auto handler = m_handlers.find(token);
  if (!route || handler == m_handlers.end()) {
    static const std::string kUndefined = "Undefined command";
    return connection.refuse(kUndefinedCommand, kUndefined, token);
  }
  if (!allowed(connection, *route, process)) return;
  (this->*(handler->second))(connection, process);
}

bool Gateway::allowed(ServerConnection& connection, const Route& route,
                      const CProcess& process) {
  const CSession& session = *connection.session();
  if (!serves(route, session.UserType())) {
    refuse(connection, route, process, wire::kNotAllowed,
           std::string("Not allowed: this kind of user may not ") + route.action);
    return false;
  }
  if (route.privilege != NonePriv && !session.Security()->UserHasPriv(route.privilege)) {
    refuse(connection, route, process, wire::kNotAllowed,
           std::string("Not allowed: the user lacks the privilege to ") + route.action +
               " (privilege " + std::to_string(static_cast<int32_t>(route.privilege)) + ")");
    return false;
  }
  return true;
}

// An order whose number reads is refused by an order answer under its own
// token; anything else by an error.
void Gateway::refuse(ServerConnection& c, const Route& route, const CProcess& p, int32_t code,
                     const std::string& text) {
  int32_t number = 0;
  if (route.order && p.Parameters() >= 1 && wire::read_integer(p.ParameterValue(1), number)) {
    return answer(c, route.token, number, model::OrderNumber{"", number, code, text, 0, 0});
  }
  c.refuse(code, text, route.token);
}

void Gateway::symbols(ServerConnection& c, const CProcess& /*p*/) {
  std::vector<std::string> rows;
  for (const model::Symbol& s : m_desk.symbols()) {
    auto symbol = m_desk.symbol(s.id);
    rows.push_back(wire::symbol_row(s, symbol->Bid(), symbol->Ask()));
  }
  c.send_rows(rows);
}

bool Gateway::is_dealer(const ServerConnection& c) {
  return c.session() && c.session()->UserType() == DEALER_USER_TYPE;
}

std::vector<int32_t> Gateway::clients_of(const ServerConnection& c) const {
  if (!is_dealer(c)) return {c.client_id()};
  std::vector<int32_t> clients;
  for (const model::Client& client : m_desk.clients()) {
    if (client.type == CLIENT_TYPE && m_desk.sees(c.client_id(), client.id)) {
      clients.push_back(client.id);
    }
  }
  return clients;
}

// A client reads its own record; a dealer every client, office and group it
// acts for, parents before their children as the desk loaded them.
void Gateway::client_info(ServerConnection& c, const CProcess& /*p*/) {
  std::vector<std::string> rows;
  if (!is_dealer(c)) {
    if (const model::Client* client = m_desk.client(c.client_id())) {
      rows.push_back(wire::client_row(*client));
    }
  } else {
    for (const model::Client& client : m_desk.clients()) {
      if (m_desk.sees(c.client_id(), client.id)) rows.push_back(wire::client_row(client));
    }
  }
  c.send_rows(rows);
}

void Gateway::accounts(ServerConnection& c, const CProcess& /*p*/) {
  std::vector<std::string> rows;
  for (int32_t client : clients_of(c)) {
    for (const model::Account& a : m_desk.accounts(client)) rows.push_back(wire::account_row(a));
  }
  c.send_rows(rows);
}

void Gateway::positions(ServerConnection& c, const CProcess& /*p*/) {
  std::vector<std::string> rows;
  for (int32_t client : clients_of(c)) {
    for (const model::Position& p : m_desk.positions(client)) {
      const Desk::Guards guards = m_desk.guards_of(p);
      rows.push_back(wire::position_row(p, m_desk.symbol_name(p.symbol), guards.sl, guards.tp));
    }
  }
  c.send_rows(rows);
}

void Gateway::orders(ServerConnection& c, const CProcess& /*p*/) {
  std::vector<std::string> rows;
  for (int32_t client : clients_of(c)) {
    for (const model::Order& o : m_desk.orders(client)) rows.push_back(wire::order_row(o));
  }
  c.send_rows(rows);
}

void Gateway::summaries(ServerConnection& c, const CProcess& /*p*/) {
  std::vector<std::string> rows;
  for (int32_t client : clients_of(c)) {
    for (const AccountFigures& f : m_desk.figures(client)) {
      rows.push_back(wire::figures_row({f.client, f.account, f.balance, f.equity, f.margin_level}));
    }
  }
  c.send_rows(rows);
}

void Gateway::start_market(ServerConnection& c, const CProcess& /*p*/) {
  c.send(wire::response_text(RESULT_OK_TOKEN));
  if (c.is_market_started()) return;
  c.session()->MarketStarted(true);
  for (const model::Symbol& s : m_desk.symbols()) {
    if (s.id != 1) send_price(c, s.id);
  }
  if (c.is_closed()) return;
  m_market.push_back(&c);
  if (m_options.market_started) m_options.market_started(c);
}

// GET_ONE_POS(account, ticket): the position's row, or no rows when the
// client holds no such position.
void Gateway::one_position(ServerConnection& c, const CProcess& p) {
  wire::PositionQuery query;
  if (!wire::decode(p, query)) {
    return c.refuse(kInvalidParameter, "Invalid paramenter", GET_ONE_POS_TOKEN);
  }
  std::vector<std::string> rows;
  for (const model::Position& position : m_desk.positions(c.client_id())) {
    if (position.account != query.account || position.ticket != query.ticket) continue;
    const Desk::Guards guards = m_desk.guards_of(position);
    rows.push_back(
        wire::position_row(position, m_desk.symbol_name(position.symbol), guards.sl, guards.tp));
  }
  c.send_rows(rows);
}

// GET_PRIVS: one row, the numbers of the privileges the user holds.
void Gateway::privileges(ServerConnection& c, const CProcess& /*p*/) {
  const model::User* user = m_desk.user(c.session()->Username());
  c.send_rows({user ? user->privileges : std::string()});
}

// GET_ACCOUNT_HISTORY(account): the account's history rows, oldest first.
void Gateway::account_history(ServerConnection& c, const CProcess& p) {
  wire::HistoryQuery query;
  if (!wire::decode(p, query)) {
    return c.refuse(kInvalidParameter, "Invalid paramenter", GET_ACCOUNT_HISTORY_TOKEN);
  }
  std::vector<std::string> rows;
  for (const model::HistoryEntry& e : m_desk.history(c.client_id())) {
    if (e.account == query.account)
      rows.push_back(wire::history_row(e, m_desk.symbol_name(e.symbol)));
  }
  c.send_rows(rows);
}

// GET_SL_TP(account, ticket): the orders that guard the position.
void Gateway::guards(ServerConnection& c, const CProcess& p) {
  wire::GuardQuery query;
  if (!wire::decode(p, query)) {
    return c.refuse(kInvalidParameter, "Invalid paramenter", GET_SL_TP_TOKEN);
  }
  std::vector<std::string> rows;
  for (const model::Order& o : m_desk.guard_orders(c.client_id(), query.account, query.ticket)) {
    rows.push_back(wire::order_row(o));
  }
  c.send_rows(rows);
}

// Decodes an order request and executes it for the session's user and
// client: a session trades only for its own client (the desk refuses an
// account of another client as unknown).
template <typename Request, typename Order, typename Fill>
void Gateway::trade(ServerConnection& c, const CProcess& p, Fill fill) {
  const auto arrived = std::chrono::steady_clock::now();
  Request request;
  if (!wire::decode(p, request)) {
    return refuse(c, *route_of(Request::kToken), p, kInvalidParameter, "Invalid paramenter");
  }
  Order order;
  order.username = c.session()->Username();
  order.number = request.number;
  order.client = c.client_id();
  order.account = request.account;
  fill(request, order);
  if constexpr (Request::kToken == NEW_ORDER_TOKEN || Request::kToken == CLOSE_POS_ORDER_TOKEN) {
    if (dealt_by_hand(c)) {
      auto found = m_connections.find(&c);
      std::weak_ptr<ServerConnection> session;
      if (found != m_connections.end()) session = found->second;
      return m_negotiations.take(order, Request::kToken, std::move(session));
    }
  }
  answer(c, Request::kToken, request.number, m_desk.execute(order));
  if (!m_options.order_answered) return;
  // The answer goes out once the order's batch is committed.
  m_desk.after_commit([report = m_options.order_answered, arrived] {
    report(std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now() - arrived)
               .count());
  });
}

void Gateway::open_order(ServerConnection& c, const CProcess& p) {
  trade<wire::OpenRequest, MarketOrder>(c, p, [](const wire::OpenRequest& r, MarketOrder& order) {
    order.symbol = r.symbol;
    order.direction = r.direction;
    order.lots = r.lots;
    order.price = r.price;
  });
}

void Gateway::close_order(ServerConnection& c, const CProcess& p) {
  trade<wire::CloseRequest, MarketOrder>(c, p, [](const wire::CloseRequest& r, MarketOrder& order) {
    order.ticket = r.ticket;
    order.lots = r.lots;
    order.price = r.price;
  });
}

void Gateway::hedge_order(ServerConnection& c, const CProcess& p) {
  trade<wire::HedgeRequest, MarketOrder>(c, p, [](const wire::HedgeRequest& r, MarketOrder& order) {
    order.ticket = r.ticket;
    order.hedge_ticket = r.other;
  });
}

void Gateway::place_entry(ServerConnection& c, const CProcess& p) {
  trade<wire::EntryRequest, PendingOrder>(c, p, [](const wire::EntryRequest& r, PendingOrder& o) {
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

void Gateway::change_entry(ServerConnection& c, const CProcess& p) {
  trade<wire::EntryChangeRequest, PendingOrder>(
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

void Gateway::delete_entry(ServerConnection& c, const CProcess& p) {
  trade<wire::EntryDeleteRequest, PendingOrder>(
      c, p, [](const wire::EntryDeleteRequest& r, PendingOrder& o) {
        o.action = PendingOrder::Action::kDelete;
        o.kind = LimitOrdersType;
        o.id = r.order;
      });
}

void Gateway::place_guard(ServerConnection& c, const CProcess& p) {
  trade<wire::GuardRequest, PendingOrder>(c, p, [](const wire::GuardRequest& r, PendingOrder& o) {
    o.kind = SlTpType;
    o.ticket = r.ticket;
    o.sl = r.sl;
    o.tp = r.tp;
  });
}

void Gateway::change_guard(ServerConnection& c, const CProcess& p) {
  trade<wire::GuardChangeRequest, PendingOrder>(
      c, p, [](const wire::GuardChangeRequest& r, PendingOrder& o) {
        o.action = PendingOrder::Action::kChange;
        o.kind = SlTpType;
        o.id = r.order;
        o.sl = r.sl;
        o.tp = r.tp;
      });
}

void Gateway::delete_guard(ServerConnection& c, const CProcess& p) {
  trade<wire::GuardDeleteRequest, PendingOrder>(
      c, p, [](const wire::GuardDeleteRequest& r, PendingOrder& o) {
        o.action = PendingOrder::Action::kDelete;
        o.kind = SlTpType;
        o.id = r.order;
      });
}

void Gateway::answer(ServerConnection& c, TokensEnum token, int32_t number,
                     const std::optional<model::OrderNumber>& outcome) {
  if (c.is_closed()) return;
  const wire::OrderAnswer answer =
      outcome ? wire::OrderAnswer{outcome->number, outcome->code, outcome->text, outcome->ticket,
                                  outcome->price}
              : wire::OrderAnswer{number, kServerStopping, "The server takes no orders now", 0, 0};
  c.send(wire::response_text(token, wire::encode(answer)));
}

// ---- prices and pushes ----

void Gateway::send_price(ServerConnection& connection, int32_t symbol_id) {
  auto symbol = m_desk.symbol(symbol_id);
  const wire::Price price{symbol_id, symbol->Bid(), symbol->Ask(), symbol->LastQuteTime(),
                          m_sequence[symbol_id]};
  if (connection.send_now(wire::response(price))) ++m_stats.prices_sent;
}

void Gateway::quote(const model::Quote& quote) {
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
    if (!c->is_closed() && c->send_now(m_price)) ++m_stats.prices_sent;
  }
}

// To the client's sessions and to every dealer who acts for the client.
void Gateway::push(int32_t client, std::string_view text) {
  std::vector<ServerConnection*> sessions;
  if (auto it = m_by_client.find(client); it != m_by_client.end()) sessions = it->second;
  for (ServerConnection* dealer : m_dealers) {
    if (m_desk.sees(dealer->client_id(), client)) sessions.push_back(dealer);
  }
  for (ServerConnection* c : sessions) {
    if (!c->is_closed()) c->send(text);
  }
}

void Gateway::push_all(std::string_view text) {
  std::vector<ServerConnection*> all;
  for (auto& [client, sessions] : m_by_client) all.insert(all.end(), sessions.begin(), sessions.end());
  all.insert(all.end(), m_dealers.begin(), m_dealers.end());
  for (ServerConnection* c : all) {
    if (!c->is_closed()) c->send(text);
  }
}

void Gateway::handshake() {
  m_closed.clear();
  for (const std::string& ended : m_throttle.forget(now())) log(ended);
  summarise_dropped();
  push_all(wire::response_text(CONNECT_HANDCHAKE_TOKEN));
}

}  // namespace orvane::apps
