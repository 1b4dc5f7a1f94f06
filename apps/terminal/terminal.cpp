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
            Answered(request, std::move(rows));
          },
          [this](const std::string& complaint) { Log(complaint); },
          [this](const std::string& breach) { Breach(breach); },
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

void Terminal::Connect() {
  m_stopping = false;
  m_connection->Connect();
}

void Terminal::Disconnect() {
  m_stopping = true;
  request(DISCONNECT_TOKEN);
  m_connection->Disconnect(false);
}

size_t Terminal::OpenPositions() const {
  size_t count = 0;
  for (const auto& [account, figures] : m_figures) {
    count += static_cast<size_t>(figures.open_positions);
  }
  return count;
}

std::optional<std::pair<double, double>> Terminal::LastPrice(int32_t symbol) const {
  auto it = m_last_prices.find(symbol);
  if (it == m_last_prices.end()) return std::nullopt;
  return it->second;
}

// ---- connection ----

void Terminal::state(TCPClientStatusType status) {
  if (status == STATUS_CONNECTED) {
    m_phase = Phase::kLoggingOn;
    m_sid = -1;
    Log("connected to " + m_options.host + ":" + std::to_string(m_options.port) +
        ", logging on as " + m_options.username);
    request(LOGIN_TOKEN, wire::encode(wire::LogOn{m_options.username, m_options.password}));
  } else if (m_phase != Phase::kRefused) {
    m_phase = Phase::kConnecting;
    m_rows.Cancel();
    m_held.clear();
    m_unframed = 0;
    if (!m_stopping) Log("disconnected; retrying");
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
    Breach(std::to_string(m_unframed) + " bytes without the end of a message, more than " +
           std::to_string(m_options.max_message_bytes));
  }
}

void Terminal::Receive(const std::shared_ptr<CProcess>& process) {
  // What follows a drop in the same read, or a refusal, is not taken.
  if (m_phase == Phase::kConnecting || m_phase == Phase::kRefused) return;
  m_unframed = 0;
  switch (process->TokenID()) {
    case LOGIN_TOKEN:
      return OnLogin(*process);
    case ERROR_TOKEN:
      return OnError(*process);
    case RESULT_COUNT_TOKEN:
    case RESULT_TOKEN:
      return m_rows.Take(*process);
    case RESULT_OK_TOKEN:
      if (m_phase == Phase::kLoading && m_desk) {
        m_phase = Phase::kStreaming;
        for (const auto& [number, order] : m_unanswered) SendOrder(order);
        m_events->Streaming();
        if (m_feed_stopped) CompareWithServer();
      }
      return;
    case MARKET_DATA_TOKEN:
      return OnPrice(*process);
    case STOP_FEED_TOKEN:
      // One answer at a time: a feed that stops while the model loads is
      // compared once the load is done.
      m_feed_stopped = true;
      if (m_phase == Phase::kStreaming) {
        Log("the feed stopped");
        CompareWithServer();
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
      return OnAnswer(*process);
    default:
      if (m_desk) return OnPush(*process);
      if (m_phase != Phase::kLoading) return;
      if (m_held.size() >= m_options.max_held_pushes) {
        return Breach("more than " + std::to_string(m_options.max_held_pushes) +
                      " pushes while the model loads");
      }
      m_held.push_back(process);
      return;
  }
}

void Terminal::OnLogin(const CProcess& process) {
  wire::LoggedOn answer;
  if (m_phase != Phase::kLoggingOn) return Complain("a log-on answer to no log-on");
  if (!wire::decode(process, answer)) {
    Log("an unreadable log-on answer");
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
  m_sequences.clear();  // the market's snapshot starts them again
  m_feed_stopped = false;
  Log("logged on: session " + std::to_string(answer.sid) + ", client " +
      std::to_string(answer.client));
  m_rows.Ask(GET_ALL_SYMBOLS_TOKEN);
}

void Terminal::OnError(const CProcess& process) {
  wire::Refusal refusal;
  wire::decode(process, refusal);
  if (refusal.code == wire::kLoginRefused && m_phase != Phase::kLoggingOn) {
    return Complain("a log-on refusal to no log-on");
  }
  // Summarised by code: a server repeating itself costs a few lines.
  const std::string line = m_complaints.Count("server error " + std::to_string(refusal.code));
  if (!line.empty()) Log(line + ": " + refusal.text);
  if (refusal.code == wire::kLoginRefused) {
    m_phase = Phase::kRefused;
    m_connection->Disconnect(false);
    m_events->refused(refusal.text);
    return;
  }
  // A refused query answers with no rows: it is not waited for.
  if (m_rows.Busy() && refusal.token == static_cast<int32_t>(m_rows.Asked())) m_rows.Cancel();
  m_events->Received(process);
  if (m_feed_stopped && m_phase == Phase::kStreaming && !m_rows.Busy()) AskSummaries();
}

// ---- the model ----

void Terminal::Answered(TokensEnum request, std::vector<std::string> rows) {
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
      return m_rows.Ask(GET_CLIENT_INFO_TOKEN);
    case GET_CLIENT_INFO_TOKEN:
      read_all(s.clients, [](const std::string& r, model::Client& x) {
        return wire::read_client_row(r, x);
      });
      return m_rows.Ask(GET_ACCOUNTS_TOKEN);
    case GET_ACCOUNTS_TOKEN:
      read_all(s.accounts, [](const std::string& r, model::Account& x) {
        return wire::read_account_row(r, x);
      });
      return m_rows.Ask(GETOPENPOS_TOKEN);
    case GETOPENPOS_TOKEN:
      read_all(s.positions, [](const std::string& r, model::Position& x) {
        return wire::read_position_row(r, x);
      });
      return m_rows.Ask(GET_PENDING_ORDERS_TOKEN);
    case GET_PENDING_ORDERS_TOKEN:
      read_all(s.orders, [](const std::string& r, model::Order& x) {
        return wire::read_order_row(r, x);
      });
      if (LoadModel()) this->request(START_MARKET_TOKEN);
      return;
    case GET_SUMMARIES_TOKEN:
      return Compare(rows);
    case GET_ACCOUNT_HISTORY_TOKEN: {
      std::vector<model::HistoryEntry> entries;
      read_all(entries, [](const std::string& r, model::HistoryEntry& x) {
        return wire::read_history_row(r, x);
      });
      return m_events->HistoryRead(m_history_account, entries);
    }
    default:
      m_events->RowsRead(request, rows);
      if (m_feed_stopped && m_phase == Phase::kStreaming && !m_rows.Busy()) AskSummaries();
      return;
  }
}

bool Terminal::LoadModel() {
  m_store = std::make_unique<MemoryStore>(m_snapshot);
  m_desk = std::make_unique<Desk>(*m_store, m_clock, static_cast<DeskEvents*>(this),
                                  CLIENT_SIDE_EXECUTION);
  try {
    m_desk->load();
  } catch (const std::exception& e) {
    const std::string reason = std::string("the model could not be loaded: ") + e.what();
    m_desk.reset();
    m_phase = Phase::kLoadFailed;
    Log(reason);
    m_events->LoadFailed(reason);
    return false;
  }
  m_symbols.clear();
  for (const model::Symbol& symbol : m_snapshot.symbols) m_symbols.insert(symbol.id);
  for (const model::Account& a : m_snapshot.accounts) {
    if (m_figures.count(a.account) == 0) m_figures[a.account] = AccountFigures{a.client, a.account};
  }
  Log("loaded " + std::to_string(m_snapshot.symbols.size()) + " symbols, " +
      std::to_string(m_snapshot.accounts.size()) + " accounts, " +
      std::to_string(m_snapshot.positions.size()) + " positions, " +
      std::to_string(m_snapshot.orders.size()) + " orders");
  ApplyHeldPushes();
  return true;
}

void Terminal::ApplyHeldPushes() {
  std::vector<std::shared_ptr<CProcess>> held;
  held.swap(m_held);
  for (const auto& process : held) OnPush(*process);
}

// ---- prices and pushes ----

void Terminal::OnPrice(const CProcess& process) {
  if (!m_desk) return;
  wire::Price& price = m_price;
  if (!wire::decode(process, price)) return Complain("an unreadable price");
  if (m_symbols.count(price.symbol) == 0) return Complain("a price of a symbol not loaded");
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
  CheckSequence(price.symbol, price.sequence);
  m_last_prices[price.symbol] = {price.bid, price.ask};
  m_desk->apply_quote(quote);
}

void Terminal::CheckSequence(int32_t symbol, int32_t sequence) {
  auto [it, first] = m_sequences.try_emplace(symbol, sequence);
  if (!first) {
    if (sequence != it->second + 1) ++m_sequence_gaps;
    it->second = sequence;
  }
}

void Terminal::OnPush(const CProcess& process) {
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
        Log("order " + std::to_string(push.removed.id) + " expired");
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
        Log("account " + std::to_string(push.account) + " was liquidated");
      }
      return;
    }
    case MESSAGE_TOKEN: {
      wire::TextPush push;
      if (wire::decode(process, push)) Log("message: " + push.text);
      return;
    }
    case MARKET_ORDER_RECIEVED_TOKEN:
    case MARKET_ORDER_TOKEN:
    case DLR_CHANGE_MARKET_ORDER_TOKEN:
    case TIMER_EXPIRED_TOKEN: {
      wire::Negotiation negotiation;
      if (!wire::decode(process, negotiation)) return;
      Log("order " + std::to_string(negotiation.number) + " (negotiation " +
          std::to_string(negotiation.id) + "): " + negotiation.text +
          (process.TokenID() == DLR_CHANGE_MARKET_ORDER_TOKEN
               ? ", new price " + wire::number(negotiation.dealer_price)
               : std::string()));
      m_events->Negotiating(process.TokenID(), negotiation);
      return m_events->Received(process);
    }
    default:
      return m_events->Received(process);
  }
}

bool Terminal::AnswerRequote(int32_t id, bool accept) {
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
int32_t Terminal::Submit(Message request) {
  if (m_phase != Phase::kStreaming) return 0;
  request.number = ++m_last_order;
  m_unanswered[request.number] = request;
  SendOrder(request);
  return request.number;
}

int32_t Terminal::open(int32_t account, int32_t symbol, int32_t direction, double lots,
                       double sl, double tp) {
  if (m_phase != Phase::kStreaming) return 0;
  const auto price = m_desk->deal_price(m_client, symbol, direction, false);
  if (!price) return 0;
  const int32_t number = Submit(wire::OpenRequest{0, account, symbol, direction, lots, *price});
  if (sl > 0 || tp > 0) m_levels_after_open[number] = {account, sl, tp};
  return number;
}

int32_t Terminal::Close(int32_t account, int32_t ticket, double lots) {
  if (m_phase != Phase::kStreaming) return 0;
  for (const model::Position& p : m_desk->positions(m_client)) {
    if (p.account != account || p.ticket != ticket) continue;
    const auto price = m_desk->deal_price(m_client, p.symbol, p.direction, true);
    if (!price) return 0;
    return Submit(wire::CloseRequest{0, account, ticket, lots, *price});
  }
  return 0;
}

int32_t Terminal::Hedge(int32_t account, int32_t ticket, int32_t other) {
  return Submit(wire::HedgeRequest{0, account, ticket, other});
}

int32_t Terminal::PlaceEntry(int32_t account, int32_t symbol, int32_t direction, double lots,
                             double price, double sl, double tp, const std::string& expiry) {
  return Submit(wire::EntryRequest{0, account, symbol, direction, lots, price, sl, tp, expiry});
}

int32_t Terminal::ChangeEntry(int32_t account, int32_t order, double lots, double price,
                              double sl, double tp, const std::string& expiry) {
  return Submit(wire::EntryChangeRequest{0, account, order, lots, price, sl, tp, expiry});
}

int32_t Terminal::DeleteEntry(int32_t account, int32_t order) {
  wire::EntryDeleteRequest request;
  request.account = account;
  request.order = order;
  return Submit(request);
}

int32_t Terminal::place_guard(int32_t account, int32_t ticket, double sl, double tp) {
  return Submit(wire::GuardRequest{0, account, ticket, sl, tp});
}

int32_t Terminal::ChangeGuard(int32_t account, int32_t order, double sl, double tp) {
  return Submit(wire::GuardChangeRequest{0, account, order, sl, tp});
}

int32_t Terminal::DeleteGuard(int32_t account, int32_t order) {
  wire::GuardDeleteRequest request;
  request.account = account;
  request.order = order;
  return Submit(request);
}

bool Terminal::AskHistory(int32_t account) {
  if (m_phase != Phase::kStreaming) return false;
  m_history_account = account;
  m_rows.Ask(GET_ACCOUNT_HISTORY_TOKEN, {std::to_string(account)});
  return true;
}

void Terminal::SendOrder(const OrderRequest& order) {
  std::visit([this](const auto& o) { request(o.kToken, wire::encode(o)); }, order);
}

void Terminal::OnAnswer(const CProcess& process) {
  wire::OrderAnswer answer;
  if (!wire::decode(process, answer)) return Complain("an unreadable order answer");
  if (m_unanswered.erase(answer.number) == 0) {
    return Complain("an answer to an order this terminal is not waiting for");
  }
  Log("order " + std::to_string(answer.number) + ": " +
      (answer.code == 0 ? answer.text + (answer.price != 0 ? " at " + wire::number(answer.price)
                                                            : std::string())
                        : "refused (" + std::to_string(answer.code) + "): " + answer.text));
  auto levels = m_levels_after_open.find(answer.number);
  if (levels != m_levels_after_open.end()) {
    const Levels placed = levels->second;
    m_levels_after_open.erase(levels);
    if (answer.code == 0) place_guard(placed.account, answer.ticket, placed.sl, placed.tp);
  }
  m_events->OrderAnswered(answer);
}

// ---- the check against the server ----

bool Terminal::Send(TokensEnum token, const std::vector<std::string>& params) {
  if (m_phase != Phase::kStreaming) return false;
  request(token, params);
  return true;
}

bool Terminal::AskRows(TokensEnum token, const std::vector<std::string>& params) {
  if (m_phase != Phase::kStreaming || m_rows.Busy()) return false;
  m_rows.Ask(token, params);
  return true;
}

bool Terminal::CompareWithServer() {
  if (m_phase != Phase::kStreaming) return false;
  m_feed_stopped = true;  // owed until no other answer is being collected
  if (!m_rows.Busy()) AskSummaries();
  return true;
}

void Terminal::AskSummaries() {
  m_feed_stopped = false;
  Log("comparing figures with the server's");
  m_rows.Ask(GET_SUMMARIES_TOKEN);
}

void Terminal::Compare(const std::vector<std::string>& rows) {
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
  m_events->Checked(comparisons);
}

bool Comparison::Equal() const {
  return loaded && RoundMoney(terminal.balance) == RoundMoney(server.balance) &&
         RoundMoney(terminal.equity) == RoundMoney(server.equity) &&
         RoundMoney(terminal.margin_level * 100) == RoundMoney(server.margin_level * 100);
}

std::string PrintableLine(const std::string& line) {
  constexpr size_t kMaxLine = 500;
  std::string shown = line.substr(0, kMaxLine);
  for (char& c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) c = '?';
  }
  if (line.size() > kMaxLine) shown += "...";
  return shown;
}

void Terminal::Log(const std::string& line) { m_events->Log(PrintableLine(line)); }

void Terminal::Complain(const std::string& text) {
  const std::string line = m_complaints.Count(text);
  if (!line.empty()) Log(line);
}

void Terminal::Breach(const std::string& text) {
  ++m_breaches;
  Log("the server broke the terminal's limits (" + text + "); disconnecting");
  m_phase = Phase::kConnecting;
  m_rows.Cancel();
  m_held.clear();
  m_connection->Disconnect(true);
}

}  // namespace orvane::apps
