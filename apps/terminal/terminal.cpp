#include "terminal.h"

#include <algorithm>

#include "orvane/core/clock.h"
#include "orvane/core/conversions.h"
#include "orvane/core/error.h"
#include "orvane/protocol/process.h"

namespace orvane::apps {

namespace {

constexpr int16_t kLogLevel = 5;

}  // namespace

Terminal::Terminal(asio::io_context& io, TerminalOptions options,
                   std::shared_ptr<FixedClock> clock, TerminalEvents* events)
    : m_options(std::move(options)),
      m_clock(std::move(clock)),
      m_events(events ? events : &m_no_events),
      m_client_connection(std::make_shared<CHClient>(io, m_options.tls)),
      m_row_timer(io) {
  CHClient& c = *m_client_connection;
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
  m_row_timer.cancel();
  m_client_connection->Unadvise(this);
  m_client_connection->Disconnect(false);
}

void Terminal::Connect() {
  m_stopping = false;
  m_client_connection->Connect();
}

void Terminal::Disconnect() {
  m_stopping = true;
  Request(DISCONNECT_TOKEN);
  m_client_connection->Disconnect(false);
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
    Request(LOGIN_TOKEN, {m_options.username, m_options.password});
  } else if (m_phase != Phase::kRefused) {
    m_phase = Phase::kConnecting;
    m_row_timer.cancel();
    if (!m_stopping) Log("disconnected; retrying");
  }
}

void Terminal::Request(TokensEnum token, std::initializer_list<std::string_view> params) {
  auto socket = m_client_connection->Child();
  if (!socket || socket->State() != SocketConnected) return;
  CProcess request;
  request.DefineRequestByToken(m_sid, kLogLevel, token, params);
  request.Send(socket);
}

void Terminal::Receive(const std::shared_ptr<CProcess>& process) {
  switch (process->TokenID()) {
    case LOGIN_TOKEN:
      return OnLogin(*process);
    case ERROR_TOKEN:
      return OnError(*process);
    case RESULT_COUNT_TOKEN:
      return OnCount(*process);
    case RESULT_TOKEN:
      return OnRow(*process);
    case RESULT_OK_TOKEN:
      if (m_phase == Phase::kLoading && m_desk) {
        m_phase = Phase::kStreaming;
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
      if (m_phase == Phase::kStreaming) CompareWithServer();
      return;
    case CONNECT_HANDCHAKE_TOKEN:
      return;
    default:
      if (m_desk) return OnPush(*process);
      if (m_phase == Phase::kLoading) m_held.push_back(process);
      return;
  }
}

void Terminal::CompareWithServer() {
  m_feed_stopped = false;
  Log("the feed stopped; comparing figures with the server's");
  Ask(GET_SUMMARIES_TOKEN);
}

void Terminal::OnLogin(const CProcess& process) {
  int32_t sid = 0, client = 0;
  if (!wire::ReadInteger(process.ParameterValue(1), sid) ||
      !wire::ReadInteger(process.ParameterValue(2), client)) {
    Log("an unreadable log-on answer");
    return m_client_connection->Disconnect(true);
  }
  m_sid = sid;
  m_client = client;
  m_client_connection->sid(sid);
  ++m_logons;
  m_phase = Phase::kLoading;
  m_desk.reset();
  m_store.reset();
  m_snapshot = model::Snapshot();
  m_figures.clear();
  m_held.clear();
  m_sequences.clear();  // the market's snapshot starts them again
  m_feed_stopped = false;
  Log("logged on: session " + std::to_string(sid) + ", client " + std::to_string(client));
  Ask(GET_ALL_SYMBOLS_TOKEN);
}

void Terminal::OnError(const CProcess& process) {
  int32_t code = 0;
  wire::ReadInteger(process.ParameterValue(1), code);
  const std::string text = process.ParameterValue(2);
  Log("server error " + std::to_string(code) + ": " + text);
  if (code == wire::kLoginRefused) {
    m_phase = Phase::kRefused;
    m_client_connection->Disconnect(false);
    m_events->Refused(text);
  }
}

// ---- multi-row answers ----

void Terminal::Ask(TokensEnum token) {
  m_answer = Answer();
  m_answer.request = token;
  Request(token);
  ArmRowTimer();
}

void Terminal::OnCount(const CProcess& process) {
  int32_t count = 0;
  if (m_answer.request == UNDEFINED || m_answer.counted ||
      !wire::ReadInteger(process.ParameterValue(1), count) || count < 0) {
    return Log("an unexpected row count");
  }
  m_answer.counted = true;
  m_answer.rows.assign(static_cast<size_t>(count), std::nullopt);
  if (count == 0) return Answered({});
}

void Terminal::OnRow(const CProcess& process) {
  int32_t number = 0;
  if (!m_answer.counted || !wire::ReadInteger(process.ParameterValue(1), number) ||
      number < 1 || static_cast<size_t>(number) > m_answer.rows.size()) {
    return Log("an unexpected result row");
  }
  auto& slot = m_answer.rows[static_cast<size_t>(number) - 1];
  if (!slot) ++m_answer.received;
  slot = process.ParameterValue(2);
  if (m_answer.received == m_answer.rows.size()) {
    std::vector<std::string> rows;
    rows.reserve(m_answer.rows.size());
    for (auto& row : m_answer.rows) rows.push_back(std::move(*row));
    return Answered(std::move(rows));
  }
  // Rows come in order: a gap before this one was lost on the way.
  AskLost(static_cast<size_t>(number) - 1);
  ArmRowTimer();
}

void Terminal::AskLost(size_t up_to) {
  for (size_t i = m_answer.asked_up_to; i < up_to; ++i) {
    if (!m_answer.rows[i]) {
      ++m_lost_rows_asked;
      Log("row " + std::to_string(i + 1) + " was lost; asking again");
      Request(RESULT_LOST_TOKEN, {std::to_string(i + 1)});
    }
  }
  m_answer.asked_up_to = std::max(m_answer.asked_up_to, up_to);
}

void Terminal::ArmRowTimer() {
  m_row_timer.expires_after(m_options.row_patience);
  m_row_timer.async_wait([this](const std::error_code& error) {
    if (error || m_answer.request == UNDEFINED) return;
    if (!m_answer.counted) {
      Ask(m_answer.request);  // the count itself went missing
      return;
    }
    m_answer.asked_up_to = 0;
    AskLost(m_answer.rows.size());
    ArmRowTimer();
  });
}

void Terminal::Answered(std::vector<std::string> rows) {
  const TokensEnum request = m_answer.request;
  m_answer = Answer();
  m_row_timer.cancel();
  switch (request) {
    case GET_ALL_SYMBOLS_TOKEN:
      for (const std::string& row : rows) {
        model::Symbol s;
        if (wire::ReadSymbolRow(row, s)) m_snapshot.symbols.push_back(std::move(s));
      }
      return Ask(GET_CLIENT_INFO_TOKEN);
    case GET_CLIENT_INFO_TOKEN:
      for (const std::string& row : rows) {
        model::Client c;
        if (wire::ReadClientRow(row, c)) m_snapshot.clients.push_back(std::move(c));
      }
      return Ask(GET_ACCOUNTS_TOKEN);
    case GET_ACCOUNTS_TOKEN:
      for (const std::string& row : rows) {
        model::Account a;
        if (wire::ReadAccountRow(row, a)) m_snapshot.accounts.push_back(a);
      }
      return Ask(GETOPENPOS_TOKEN);
    case GETOPENPOS_TOKEN:
      for (const std::string& row : rows) {
        model::Position p;
        if (wire::ReadPositionRow(row, p)) m_snapshot.positions.push_back(std::move(p));
      }
      return Ask(GET_PENDING_ORDERS_TOKEN);
    case GET_PENDING_ORDERS_TOKEN:
      for (const std::string& row : rows) {
        model::Order o;
        if (wire::ReadOrderRow(row, o)) m_snapshot.orders.push_back(std::move(o));
      }
      LoadModel();
      return Request(START_MARKET_TOKEN);
    case GET_SUMMARIES_TOKEN:
      return Compare(rows);
    default:
      return;
  }
}

void Terminal::LoadModel() {
  m_store = std::make_unique<MemoryStore>(m_snapshot);
  m_desk = std::make_unique<Desk>(*m_store, m_clock, static_cast<DeskEvents*>(this),
                                  CLIENT_SIDE_EXECUTION);
  try {
    m_desk->Load();
  } catch (const std::exception& e) {
    Log(std::string("the model could not be loaded: ") + e.what());
  }
  for (const model::Account& a : m_snapshot.accounts) {
    if (m_figures.count(a.account) == 0) m_figures[a.account] = AccountFigures{a.client, a.account};
  }
  Log("loaded " + std::to_string(m_snapshot.symbols.size()) + " symbols, " +
      std::to_string(m_snapshot.accounts.size()) + " accounts, " +
      std::to_string(m_snapshot.positions.size()) + " positions, " +
      std::to_string(m_snapshot.orders.size()) + " orders");
  ApplyHeldPushes();
}

void Terminal::ApplyHeldPushes() {
  std::vector<std::shared_ptr<CProcess>> held;
  held.swap(m_held);
  for (const auto& process : held) OnPush(*process);
}

// ---- prices and pushes ----

void Terminal::OnPrice(const CProcess& process) {
  if (!m_desk) return;
  model::Quote tick;
  if (!wire::ReadInteger(process.ParameterValue(1), tick.symbol) ||
      !wire::ReadNumber(process.ParameterValue(2), tick.bid) ||
      !wire::ReadNumber(process.ParameterValue(3), tick.ask)) {
    return Log("an unreadable price");
  }
  tick.time_text = process.ParameterValue(4);
  if (tick.time_text == m_last_time_text) {
    tick.time = m_last_time;  // quotes of one second share their time
  } else if (wire::ReadTime(tick.time_text, tick.time)) {
    m_last_time_text = tick.time_text;
    m_last_time = tick.time;
  } else {
    tick.time = Now();
  }
  ++m_prices;
  CheckSequence(tick.symbol, process.ParameterValue(5));
  m_last_prices[tick.symbol] = {tick.bid, tick.ask};
  m_desk->ApplyQuote(tick);
}

void Terminal::CheckSequence(int32_t symbol, const std::string& text) {
  int32_t sequence = 0;
  if (!wire::ReadInteger(text, sequence)) return;
  auto [it, first] = m_sequences.try_emplace(symbol, sequence);
  if (!first) {
    if (sequence != it->second + 1) ++m_sequence_gaps;
    it->second = sequence;
  }
}

void Terminal::OnPush(const CProcess& process) {
  int32_t client = 0, account = 0, id = 0;
  const bool keys = wire::ReadInteger(process.ParameterValue(1), client) &&
                    wire::ReadInteger(process.ParameterValue(2), account) &&
                    wire::ReadInteger(process.ParameterValue(3), id);
  switch (process.TokenID()) {
    case NEW_OPEN_POSITION_TOKEN: {
      model::Position p;
      if (wire::ReadPositionRow(process.ParameterValue(1), p)) {
        m_desk->ApplyChange(model::PositionOpened{p});
      }
      return;
    }
    case CLOSE_OPEN_POSITION_TOKEN:
      if (keys) {
        model::PositionClosed closed;
        closed.client = client;
        closed.account = account;
        closed.ticket = id;
        m_desk->ApplyChange(closed);
      }
      return;
    case DELETE_PENDING_ORDER_TOKEN:
      if (keys) m_desk->ApplyChange(model::OrderRemoved{client, account, id});
      return;
    case SUMMARIES_CHANGED_TOKEN: {
      std::vector<std::string> p;
      for (int16_t i = 1; i <= 9; ++i) p.push_back(process.ParameterValue(i));
      model::TotalsBooked t;
      if (wire::ReadTotals(p, t)) m_desk->ApplyChange(t);
      return;
    }
    case ACCOUNT_LIQUIDATED_TOKEN:
      return Log("account " + process.ParameterValue(2) + " was liquidated");
    case MESSAGE_TOKEN:
      return Log("message: " + process.ParameterValue(1));
    default:
      return;
  }
}

void Terminal::FiguresChanged(const AccountFigures& figures) {
  m_figures[figures.account] = figures;
  m_events->FiguresChanged(figures);
}

void Terminal::Compare(const std::vector<std::string>& rows) {
  std::vector<Comparison> comparisons;
  for (const std::string& row : rows) {
    Comparison c;
    if (!wire::ReadFiguresRow(row, c.server)) continue;
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

void Terminal::Log(const std::string& line) { m_events->Log(line); }

}  // namespace orvane::apps
