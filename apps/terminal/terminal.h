#ifndef ORVANE_APPS_TERMINAL_TERMINAL_H_
#define ORVANE_APPS_TERMINAL_TERMINAL_H_

#include <asio/steady_timer.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "desk.h"
#include "memory_store.h"
#include "orvane/connection/h_client.h"
#include "orvane/connection/tls_options.h"
#include "orvane/protocol/tokens_enum.h"
#include "wire.h"

namespace orvane {
class FixedClock;
}  // namespace orvane

namespace orvane::apps {

struct TerminalOptions {
  std::string host = "127.0.0.1";
  int32_t port = 0;
  std::string username;
  std::string password;
  TlsOptions tls;  // `enabled` with `ca_file` (and `server_name`) to verify the server
  bool proxy = false;
  ProxyTypeEnum proxy_type = Socks5Proxy;
  std::string proxy_host;
  int32_t proxy_port = 0;
  std::string proxy_user;
  std::string proxy_password;
  // The server's silence after which the connection counts as lost.
  int32_t handshake_ms = 5000;
  // How long a multi-row answer may stall before its missing rows are
  // asked for again.
  std::chrono::milliseconds row_patience{1000};
};

// One account's figures on both sides when the feed stopped.
struct Comparison {
  int32_t account = 0;
  wire::Figures terminal;
  wire::Figures server;
  bool loaded = false;  // the terminal holds the account
  // Balance and equity to the cent, margin level to a hundredth of a percent.
  bool Equal() const;
};

// What a terminal tells its host.
class TerminalEvents {
 public:
  virtual ~TerminalEvents() = default;
  virtual void Log(const std::string& /*line*/) {}
  // The model was loaded (again, after every log-on) and prices flow.
  virtual void Streaming() {}
  virtual void FiguresChanged(const AccountFigures& /*figures*/) {}
  // The feed stopped and the server's figures were compared with this
  // terminal's, account by account.
  virtual void Checked(const std::vector<Comparison>& /*comparisons*/) {}
  // The server refused the log-on; the terminal does not try again.
  virtual void Refused(const std::string& /*reason*/) {}
};

// A client's trading terminal: a CHClient (connect with retry, handshake
// supervision, automatic re-login after a drop, optional proxy and TLS) that
// logs on, loads the symbols, client, accounts, positions and orders it is
// sent into its own client-side engine, starts the market and keeps every
// account's figures current from the prices and pushes that follow. Every
// log-on loads a fresh model. Rows missing from a multi-row answer are asked
// for again (RESULT_LOST). When the server stops its feed, the terminal asks
// for the server's figures and compares them with its own, to the cent.
//
// Prices arrive with the client's spread in them; the client's parameters
// are applied with the spread taken as sent (wire::PricesAsSent).
class Terminal : private CHClientEvents, private DeskEvents {
 public:
  enum class Phase { kConnecting, kLoggingOn, kLoading, kStreaming, kRefused };

  Terminal(asio::io_context& io, TerminalOptions options, std::shared_ptr<FixedClock> clock,
           TerminalEvents* events);
  ~Terminal() override;
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  void Connect();
  void Disconnect();

  Phase phase() const { return m_phase; }
  int32_t ClientID() const { return m_client; }
  // Every account of the client with its figures as this terminal's engine
  // last reported them.
  const std::map<int32_t, AccountFigures>& Figures() const { return m_figures; }
  size_t Logons() const { return m_logons; }
  size_t PricesReceived() const { return m_prices; }
  // Prices whose symbol's sequence number was not the one after the last
  // (a price lost or out of order since the market was started).
  size_t SequenceGaps() const { return m_sequence_gaps; }
  size_t LostRowsAsked() const { return m_lost_rows_asked; }
  size_t OpenPositions() const;
  // The last price of a symbol as received (bid, ask); none before one came.
  std::optional<std::pair<double, double>> LastPrice(int32_t symbol) const;
  const CHClient& Client() const { return *m_client_connection; }

 private:
  // A multi-row answer being collected.
  struct Answer {
    TokensEnum request = UNDEFINED;
    bool counted = false;
    std::vector<std::optional<std::string>> rows;
    size_t received = 0;
    size_t asked_up_to = 0;  // rows before this index were checked for gaps
  };

  // CHClientEvents
  void state(TCPClientStatusType status) override;
  void Receive(const std::shared_ptr<CProcess>& process) override;
  // DeskEvents
  void FiguresChanged(const AccountFigures& figures) override;

  void Request(TokensEnum token, std::initializer_list<std::string_view> params = {});
  void Ask(TokensEnum token);
  void CompareWithServer();
  void OnLogin(const CProcess& process);
  void OnError(const CProcess& process);
  void OnCount(const CProcess& process);
  void OnRow(const CProcess& process);
  void AskLost(size_t up_to);
  void ArmRowTimer();
  void Answered(std::vector<std::string> rows);
  void LoadModel();
  void OnPrice(const CProcess& process);
  void CheckSequence(int32_t symbol, const std::string& text);
  void OnPush(const CProcess& process);
  void ApplyHeldPushes();
  void Compare(const std::vector<std::string>& rows);
  void Log(const std::string& line);

  TerminalOptions m_options;
  std::shared_ptr<FixedClock> m_clock;
  TerminalEvents* m_events;
  TerminalEvents m_no_events;
  std::shared_ptr<CHClient> m_client_connection;
  asio::steady_timer m_row_timer;
  Phase m_phase = Phase::kConnecting;
  int32_t m_sid = -1;
  int32_t m_client = 0;
  Answer m_answer;
  model::Snapshot m_snapshot;  // what the server sent, the model's source
  std::unique_ptr<MemoryStore> m_store;
  std::unique_ptr<Desk> m_desk;
  // Pushes that came while the model was being loaded, applied once it is
  // (each is idempotent, so one the snapshot already holds does no harm).
  std::vector<std::shared_ptr<CProcess>> m_held;
  std::map<int32_t, AccountFigures> m_figures;
  std::map<int32_t, std::pair<double, double>> m_last_prices;
  std::string m_last_time_text;
  DateTime m_last_time;
  bool m_stopping = false;
  bool m_feed_stopped = false;  // a STOP_FEED waits for the load to finish
  size_t m_logons = 0;
  size_t m_prices = 0;
  std::map<int32_t, int64_t> m_sequences;  // the last sequence number of each symbol
  size_t m_sequence_gaps = 0;
  size_t m_lost_rows_asked = 0;
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_TERMINAL_TERMINAL_H_
