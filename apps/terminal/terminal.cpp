#include "terminal.h"

#include <algorithm>
#include <utility>

#include "messages.h"
#include "orvane/core/clock.h"
#include "orvane/core/conversions.h"
#include "orvane/core/error.h"
#include "orvane/io/timer.h"
#include "orvane/protocol/process.h"
#include "platform.h"

namespace orvane::apps {

namespace {

constexpr int16_t kLogLevel = 5;

}  // namespace

Terminal::Terminal(TcpClientEnvironment environment, ITimerFactory& timers,
                   TerminalOptions options, std::shared_ptr<FixedClock> clock,
                   TerminalEvents* events)
    : m_options(std::move(options)),
      m_clock(std::move(clock)),
      m_events(events ? events : &m_no_events),
      m_connection(std::make_shared<CHClient>(std::move(environment))),
      m_rows(
          [&] {
            auto timer = timers.CreateTimer();
            timer->Interval(m_options.row_patience_ms);
            return timer;
          }(),
          [this](TokensEnum token, const std::vector<std::string>& params) {
            request(token, params);
          },
          [this](TokensEnum request, std::vector<std::string> rows) {
            answered(request, std::move(rows));
          },
          [this](const std::string& complaint) { log(complaint); },
          [this](const std::string& breach) { this->breach(breach); },
          RowLimits{m_options.max_rows_per_answer, m_options.max_lost_rows_per_answer}) {
  CHClient& c = *m_connection;
  c.ServerAddress(m_options.host);
  c.ServerPort(m_options.port);
  c.AutoReloginOption(true);
  c.ServerType(DisconnectWhenNoHandshakMsgType);
  c.HandshakeMsgTimer(m_options.handshake_ms);
  if (m_options.proxy) {
    c.ProxyEnabled(true);
    c.ProxyType(m_options.proxy_type);
    c.proxyAddress(m_options.proxy_host);
    c.proxyPort(m_options.proxy_port);
    c.ProxyUsername(m_options.proxy_user);
    c.ProxyPassword(m_options.proxy_password);
  }
  c.Advise(this);
}

Terminal::~Terminal() {
  m_connection->Unadvise(this);
  m_connection->Disconnect(false);
}

void Terminal::connect() {
  m_stopping = false;
  m_connection->Connect();
}

void Terminal::disconnect() {
  m_stopping = true;
  request(DISCONNECT_TOKEN);
  m_connection->Disconnect(false);
}

size_t Terminal::open_positions() const {
  size_t count = 0;
  for (const auto& [account, figures] : m_figures) {
    count += static_cast<size_t>(figures.open_positions);
  }
  return count;
}

std::optional<std::pair<double, double>> Terminal::last_price(int32_t symbol) const {
  const SymbolState* state = m_symbols.find(symbol);
  return state == nullptr ? std::nullopt : state->last_price;
}

// ---- connection ----

void Terminal::state(TCPClientStatusType status) {
  if (status == STATUS_CONNECTED) {
    m_phase = Phase::kLoggingOn;
    m_sid = -1;
    log("connected to " + m_options.host + ":" + std::to_string(m_options.port) +
        ", logging on as " + m_options.username);
    request(LOGIN_TOKEN, wire::encode(wire::LogOn{m_options.username, m_options.password}));
  } else if (m_phase != Phase::kRefused) {
    m_phase = Phase::kConnecting;
    m_rows.cancel();
    m_held.clear();
    m_unframed = 0;
    if (!m_stopping) log("disconnected; retrying");
  }
}

void Terminal::request(TokensEnum token, const std::vector<std::string>& params) {
  auto socket = m_connection->Child();
  if (!socket || socket->State() != SocketConnected) return;
  CProcess request;
  request.DefineRequestByToken(m_sid, kLogLevel, token, params);
  request.Send(socket);
}

void Terminal::ReceivedData(int32_t bytes) {
  if (m_phase == Phase::kConnecting || m_phase == Phase::kRefused) return;
  // Reset by every whole message; what is left is one message still
  // being framed, which the connection holds until its end comes.
  m_unframed += static_cast<size_t>(std::max(bytes, 0));
  if (m_unframed > m_options.max_message_bytes) {
    breach(std::to_string(m_unframed) + " bytes without the end of a message, more than " +
           std::to_string(m_options.max_message_bytes));
  }
}

void Terminal::Receive(const std::shared_ptr<CProcess>& process) {
  // What follows a drop in the same read, or a refusal, is not taken.
  if (m_phase == Phase::kConnecting || m_phase == Phase::kRefused) return;
  m_unframed = 0;
  switch (process->TokenID()) {
    case LOGIN_TOKEN:
      return on_login(*process);
    case ERROR_TOKEN:
      return on_error(*process);
    case RESULT_COUNT_TOKEN:
    case RESULT_TOKEN:
      return m_rows.take(*process);
    case RESULT_OK_TOKEN:
      if (m_phase == Phase::kLoading && m_desk) {
        m_phase = Phase::kStreaming;
        for (const auto& [number, order] : m_unanswered) send_order(order);
        m_events->streaming();
        if (m_feed_stopped) compare_with_server();
      }
      return;
    case MARKET_DATA_TOKEN:
      return on_price(*process);
    case STOP_FEED_TOKEN:
      // One answer at a time: a feed that stops while the model loads is
      // compared once the load is done.
      m_feed_stopped = true;
      if (m_phase == Phase::kStreaming) {
        log("the feed stopped");
        compare_with_server();
      }
      return;
    case CONNECT_HANDCHAKE_TOKEN:
      return;
    case NEW_ORDER_TOKEN:
    case CLOSE_POS_ORDER_TOKEN:
    case CLOSE_HEDGE_TOKEN:
    case NEW_LIMIT_ORDER_TOKEN:
    case UPDATE_LIMIT_ORDER_TOKEN:
    case DELETE_LIMIT_ORDER_TOKEN:
    case NEW_SL_TP_TOKEN:
    case UPDATE_SL_TP_ORDER_TOKEN:
    case DELETE_SL_TP_ORDER_TOKEN:
      return on_answer(*process);
    default:
      if (m_desk) return on_push(*process);
      if (m_phase != Phase::kLoading) return;
      if (m_held.size() >= m_options.max_held_pushes) {
        return breach("more than " + std::to_string(m_options.max_held_pushes) +
                      " pushes while the model loads");
      }
      m_held.push_back(process);
      return;
  }
}

void Terminal::on_login(const CProcess& process) {
  wire::LoggedOn answer;
  if (m_phase != Phase::kLoggingOn) return complain("a log-on answer to no log-on");
  if (!wire::decode(process, answer)) {
    log("an unreadable log-on answer");
    return m_connection->Disconnect(true);
  }
  m_sid = answer.sid;
  m_client = answer.client;
  m_last_order = answer.last_order;
  m_platform = model::platform_from_text(answer.settings);
  m_connection->sid(answer.sid);
  ++m_logons;
  m_phase = Phase::kLoading;
  m_desk.reset();
  m_store.reset();
  m_snapshot = model::Snapshot();
  // The model starts at the server's market time; quotes move it on.
  if (wire::read_time(answer.market_time, m_snapshot.market_time)) {
    m_snapshot.market_time_text = answer.market_time;
  }
  m_figures.clear();
  m_held.clear();
  // The market's snapshot starts the sequences again.
  m_symbols.for_each([](int32_t, SymbolState& state) { state.sequenced = false; });
  m_feed_stopped = false;
  log("logged on: session " + std::to_string(answer.sid) + ", client " +
      std::to_string(answer.client));
  m_rows.ask(GET_ALL_SYMBOLS_TOKEN);
}

void Terminal::on_error(const CProcess& process) {
  wire::Refusal refusal;
  wire::decode(process, refusal);
  if (refusal.code == wire::kLoginRefused && m_phase != Phase::kLoggingOn) {
    return complain("a log-on refusal to no log-on");
  }
  // Summarised by code: a server repeating itself costs a few lines.
  const std::string line = m_complaints.count("server error " + std::to_string(refusal.code));
  if (!line.empty()) log(line + ": " + refusal.text);
  if (refusal.code == wire::kLoginRefused) {
    m_phase = Phase::kRefused;
    m_connection->Disconnect(false);
    m_events->refused(refusal.text);
    return;
  }
  // A refused query answers with no rows: it is not waited for.
  if (m_rows.busy() && refusal.token == static_cast<int32_t>(m_rows.asked())) m_rows.cancel();
  m_events->received(process);
  if (m_feed_stopped && m_phase == Phase::kStreaming && !m_rows.busy()) ask_summaries();
}

// ---- the model ----

void Terminal::answered(TokensEnum request, std::vector<std::string> rows) {
  model::Snapshot& s = m_snapshot;
  // A row that does not read is dropped; the load below then says so.
  auto read_all = [&](auto& into, auto read) {
    for (const std::string& row : rows) {
      typename std::decay_t<decltype(into)>::value_type record;
      if (read(row, record)) into.push_back(std::move(record));
    }
  };
  switch (request) {
    case GET_ALL_SYMBOLS_TOKEN:
      read_all(s.symbols, [](const std::string& r, model::Symbol& x) {
        return wire::read_symbol_row(r, x);
      });
      return m_rows.ask(GET_CLIENT_INFO_TOKEN);
    case GET_CLIENT_INFO_TOKEN:
      read_all(s.clients, [](const std::string& r, model::Client& x) {
        return wire::read_client_row(r, x);
      });
      return m_rows.ask(GET_ACCOUNTS_TOKEN);
    case GET_ACCOUNTS_TOKEN:
      read_all(s.accounts, [](const std::string& r, model::Account& x) {
        return wire::read_account_row(r, x);
      });
      return m_rows.ask(GETOPENPOS_TOKEN);
    case GETOPENPOS_TOKEN:
      read_all(s.positions, [](const std::string& r, model::Position& x) {
        return wire::read_position_row(r, x);
      });
      return m_rows.ask(GET_PENDING_ORDERS_TOKEN);
    case GET_PENDING_ORDERS_TOKEN:
      read_all(s.orders, [](const std::string& r, model::Order& x) {
        return wire::read_order_row(r, x);
      });
      if (load_model()) this->request(START_MARKET_TOKEN);
      return;
    case GET_SUMMARIES_TOKEN:
      return compare(rows);
    case GET_ACCOUNT_HISTORY_TOKEN: {
      std::vector<model::HistoryEntry> entries;
      read_all(entries, [](const std::string& r, model::HistoryEntry& x) {
        return wire::read_history_row(r, x);
      });
      return m_events->history_read(m_history_account, entries);
    }
    default:
      m_events->rows_read(request, rows);
      if (m_feed_stopped && m_phase == Phase::kStreaming && !m_rows.busy()) ask_summaries();
      return;
  }
}

bool Terminal::load_model() {
  m_store = std::make_unique<MemoryStore>(m_snapshot);
  m_desk = std::make_unique<Desk>(*m_store, m_clock, static_cast<DeskEvents*>(this),
                                  CLIENT_SIDE_EXECUTION);
  try {
    m_desk->load();
  } catch (const std::exception& e) {
    const std::string reason = std::string("the model could not be loaded: ") + e.what();
    m_desk.reset();
    m_phase = Phase::kLoadFailed;
    log(reason);
    m_events->load_failed(reason);
    return false;
  }
  m_symbols.for_each([](int32_t, SymbolState& state) { state.loaded = false; });
  for (const model::Symbol& symbol : m_snapshot.symbols) m_symbols[symbol.id].loaded = true;
  for (const model::Account& a : m_snapshot.accounts) {
    if (m_figures.count(a.account) == 0) m_figures[a.account] = AccountFigures{a.client, a.account};
  }
  log("loaded " + std::to_string(m_snapshot.symbols.size()) + " symbols, " +
      std::to_string(m_snapshot.accounts.size()) + " accounts, " +
      std::to_string(m_snapshot.positions.size()) + " positions, " +
      std::to_string(m_snapshot.orders.size()) + " orders");
  apply_held_pushes();
  return true;
}

void Terminal::apply_held_pushes() {
  std::vector<std::shared_ptr<CProcess>> held;
  held.swap(m_held);
  for (const auto& process : held) on_push(*process);
}

// ---- prices and pushes ----

void Terminal::on_price(const CProcess& process) {
  if (!m_desk) return;
  wire::Price& price = m_price;
  if (!wire::decode(process, price)) return complain("an unreadable price");
  SymbolState* state = m_symbols.find(price.symbol);
  if (state == nullptr || !state->loaded) return complain("a price of a symbol not loaded");
  model::Quote& quote = m_quote;
  quote.time_text.assign(price.time);
  quote.symbol = price.symbol;
  quote.bid = price.bid;
  quote.ask = price.ask;
  if (quote.time_text == m_last_time_text) {
    quote.time = m_last_time;  // quotes of one second share their time
  } else if (wire::read_time(quote.time_text, quote.time)) {
    m_last_time_text = quote.time_text;
    m_last_time = quote.time;
  } else {
    quote.time = m_desk->market_time();
  }
  ++m_prices;
  check_sequence(*state, price.sequence);
  state->last_price = {price.bid, price.ask};
  m_desk->apply_quote(quote);
}

void Terminal::check_sequence(SymbolState& state, int32_t sequence) {
  if (state.sequenced && sequence != state.sequence + 1) ++m_sequence_gaps;
  state.sequenced = true;
  state.sequence = sequence;
}

void Terminal::on_push(const CProcess& process) {
  switch (process.TokenID()) {
    case NEW_OPEN_POSITION_TOKEN: {
      wire::PositionOpenedPush push;
      if (wire::decode(process, push)) m_desk->apply_change(model::PositionOpened{push.position});
      return;
    }
    case UPDATE_OPEN_POSITION_TOKEN: {
      wire::PositionChangedPush push;
      if (wire::decode(process, push)) m_desk->apply_change(model::PositionChanged{push.position});
      return;
    }
    case NEW_ACCOUNT_HISTORY_TOKEN: {
      wire::HistoryPush push;
      if (wire::decode(process, push)) m_desk->apply_change(model::HistoryAdded{push.entry});
      return;
    }
    case CLOSE_OPEN_POSITION_TOKEN: {
      wire::PositionClosedPush push;
      if (wire::decode(process, push)) m_desk->apply_change(push.closed);
      return;
    }
    case NEW_PENDING_ORDER_TOKEN: {
      wire::OrderPlacedPush push;
      if (wire::decode(process, push)) m_desk->apply_change(model::OrderPlaced{push.order});
      return;
    }
    case LIMIT_ORDER_UPDATED_TOKEN:
    case SLTP_ORDER_UPDATED_TOKEN: {
      wire::OrderMessage push;
      if (wire::decode(process, push)) m_desk->apply_change(model::OrderChanged{push.order});
      return;
    }
    case DELETE_PENDING_ORDER_TOKEN: {
      wire::OrderRemovedPush push;
      if (!wire::decode(process, push)) return;
      if (push.removed.reason == "expired") {
        log("order " + std::to_string(push.removed.id) + " expired");
      }
      m_desk->apply_change(push.removed);
      return;
    }
    case SUMMARIES_CHANGED_TOKEN: {
      wire::TotalsPush push;
      if (wire::decode(process, push)) m_desk->apply_change(push.booked);
      return;
    }
    case ACCOUNT_LIQUIDATED_TOKEN: {
      wire::LiquidatedPush push;
      if (wire::decode(process, push)) {
        log("account " + std::to_string(push.account) + " was liquidated");
      }
      return;
    }
    case MESSAGE_TOKEN: {
      wire::TextPush push;
      if (wire::decode(process, push)) log("message: " + push.text);
      return;
    }
    case MARKET_ORDER_RECIEVED_TOKEN:
    case MARKET_ORDER_TOKEN:
    case DLR_CHANGE_MARKET_ORDER_TOKEN:
    case TIMER_EXPIRED_TOKEN: {
      wire::Negotiation negotiation;
      if (!wire::decode(process, negotiation)) return;
      log("order " + std::to_string(negotiation.number) + " (negotiation " +
          std::to_string(negotiation.id) + "): " + negotiation.text +
          (process.TokenID() == DLR_CHANGE_MARKET_ORDER_TOKEN
               ? ", new price " + wire::number(negotiation.dealer_price)
               : std::string()));
      m_events->negotiating(process.TokenID(), negotiation);
      return m_events->received(process);
    }
    default:
      return m_events->received(process);
  }
}

bool Terminal::answer_requote(int32_t id, bool accept) {
  if (m_phase != Phase::kStreaming) return false;
  request(accept ? ACCEPT_ORDER_TOKEN : REJECT_ORDER_TOKEN,
          wire::encode(wire::NegotiationAnswer{id, 0}));
  return true;
}

void Terminal::figures_changed(const AccountFigures& figures) {
  m_figures[figures.account] = figures;
  m_events->figures_changed(figures);
}

// ---- market orders ----

template <typename Message>
int32_t Terminal::submit(Message request) {
  if (m_phase != Phase::kStreaming) return 0;
  request.number = ++m_last_order;
  m_unanswered[request.number] = request;
  send_order(request);
  return request.number;
}

int32_t Terminal::open(int32_t account, int32_t symbol, int32_t direction, double lots,
                       double sl, double tp) {
  if (m_phase != Phase::kStreaming) return 0;
  const auto price = m_desk->deal_price(m_client, symbol, direction, false);
  if (!price) return 0;
  const int32_t number = submit(wire::OpenRequest{0, account, symbol, direction, lots, *price});
  if (sl > 0 || tp > 0) m_levels_after_open[number] = {account, sl, tp};
  return number;
}

int32_t Terminal::close(int32_t account, int32_t ticket, double lots) {
  if (m_phase != Phase::kStreaming) return 0;
  for (const model::Position& p : m_desk->positions(m_client)) {
    if (p.account != account || p.ticket != ticket) continue;
    const auto price = m_desk->deal_price(m_client, p.symbol, p.direction, true);
    if (!price) return 0;
    return submit(wire::CloseRequest{0, account, ticket, lots, *price});
  }
  return 0;
}

int32_t Terminal::hedge(int32_t account, int32_t ticket, int32_t other) {
  return submit(wire::HedgeRequest{0, account, ticket, other});
}

int32_t Terminal::place_entry(int32_t account, int32_t symbol, int32_t direction, double lots,
                             double price, double sl, double tp, const std::string& expiry) {
  return submit(wire::EntryRequest{0, account, symbol, direction, lots, price, sl, tp, expiry});
}

int32_t Terminal::change_entry(int32_t account, int32_t order, double lots, double price,
                              double sl, double tp, const std::string& expiry) {
  return submit(wire::EntryChangeRequest{0, account, order, lots, price, sl, tp, expiry});
}

int32_t Terminal::delete_entry(int32_t account, int32_t order) {
  wire::EntryDeleteRequest request;
  request.account = account;
  request.order = order;
  return submit(request);
}

int32_t Terminal::place_guard(int32_t account, int32_t ticket, double sl, double tp) {
  return submit(wire::GuardRequest{0, account, ticket, sl, tp});
}

int32_t Terminal::change_guard(int32_t account, int32_t order, double sl, double tp) {
  return submit(wire::GuardChangeRequest{0, account, order, sl, tp});
}

int32_t Terminal::delete_guard(int32_t account, int32_t order) {
  wire::GuardDeleteRequest request;
  request.account = account;
  request.order = order;
  return submit(request);
}

bool Terminal::ask_history(int32_t account) {
  if (m_phase != Phase::kStreaming) return false;
  m_history_account = account;
  m_rows.ask(GET_ACCOUNT_HISTORY_TOKEN, {std::to_string(account)});
  return true;
}

void Terminal::send_order(const OrderRequest& order) {
  std::visit([this](const auto& o) { request(o.kToken, wire::encode(o)); }, order);
}

void Terminal::on_answer(const CProcess& process) {
  wire::OrderAnswer answer;
  if (!wire::decode(process, answer)) return complain("an unreadable order answer");
  if (m_unanswered.erase(answer.number) == 0) {
    return complain("an answer to an order this terminal is not waiting for");
  }
  log("order " + std::to_string(answer.number) + ": " +
      (answer.code == 0 ? answer.text + (answer.price != 0 ? " at " + wire::number(answer.price)
                                                            : std::string())
                        : "refused (" + std::to_string(answer.code) + "): " + answer.text));
  auto levels = m_levels_after_open.find(answer.number);
  if (levels != m_levels_after_open.end()) {
    const Levels placed = levels->second;
    m_levels_after_open.erase(levels);
    if (answer.code == 0) place_guard(placed.account, answer.ticket, placed.sl, placed.tp);
  }
  m_events->order_answered(answer);
}

// ---- the check against the server ----

bool Terminal::send(TokensEnum token, const std::vector<std::string>& params) {
  if (m_phase != Phase::kStreaming) return false;
  request(token, params);
  return true;
}

bool Terminal::ask_rows(TokensEnum token, const std::vector<std::string>& params) {
  if (m_phase != Phase::kStreaming || m_rows.busy()) return false;
  m_rows.ask(token, params);
  return true;
}

bool Terminal::compare_with_server() {
  if (m_phase != Phase::kStreaming) return false;
  m_feed_stopped = true;  // owed until no other answer is being collected
  if (!m_rows.busy()) ask_summaries();
  return true;
}

void Terminal::ask_summaries() {
  m_feed_stopped = false;
  log("comparing figures with the server's");
  m_rows.ask(GET_SUMMARIES_TOKEN);
}

void Terminal::compare(const std::vector<std::string>& rows) {
  std::vector<Comparison> comparisons;
  for (const std::string& row : rows) {
    Comparison c;
    if (!wire::read_figures_row(row, c.server)) continue;
    c.account = c.server.account;
    auto it = m_figures.find(c.account);
    if (it != m_figures.end()) {
      const AccountFigures& mine = it->second;
      c.loaded = true;
      c.terminal = {mine.client, mine.account, mine.balance, mine.equity, mine.margin_level};
    }
    comparisons.push_back(c);
  }
  m_events->checked(comparisons);
}

bool Comparison::equal() const {
  return loaded && RoundMoney(terminal.balance) == RoundMoney(server.balance) &&
         RoundMoney(terminal.equity) == RoundMoney(server.equity) &&
         RoundMoney(terminal.margin_level * 100) == RoundMoney(server.margin_level * 100);
}

std::string printable_line(const std::string& line) {
  constexpr size_t kMaxLine = 500;
  std::string shown = line.substr(0, kMaxLine);
  for (char& c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) c = '?';
  }
  if (line.size() > kMaxLine) shown += "...";
  return shown;
}

void Terminal::log(const std::string& line) { m_events->log(printable_line(line)); }

void Terminal::complain(const std::string& text) {
  const std::string line = m_complaints.count(text);
  if (!line.empty()) log(line);
}

void Terminal::breach(const std::string& text) {
  ++m_breaches;
  log("the server broke the terminal's limits (" + text + "); disconnecting");
  m_phase = Phase::kConnecting;
  m_rows.cancel();
  m_held.clear();
  m_connection->Disconnect(true);
}

}  // namespace orvane::apps
