#ifndef ORVANE_APPS_TERMINAL_TERMINAL_H_
#define ORVANE_APPS_TERMINAL_TERMINAL_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <variant>
#include <string>
#include <vector>

#include "desk.h"
#include "id_table.h"
#include "messages.h"
#include "memory_store.h"
#include "orvane/connection/h_client.h"
#include "orvane/connection/tcp_client_environment.h"
#include "orvane/protocol/tokens_enum.h"
#include "records.h"
#include "row_collector.h"
#include "rows.h"

namespace orvane {
class FixedClock;
class ITimerFactory;
}  // namespace orvane

namespace orvane::apps {

struct TerminalOptions {
  std::string host = "127.0.0.1";
  int32_t port = 0;
  std::string username;
  std::string password;
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
  int32_t row_patience_ms = 1000;
  // Bounds on what a server may make the terminal hold; a server that
  // passes one is disconnected (and logged on to again, as after any drop).
  // Rows one multi-row answer may announce.
  size_t max_rows_per_answer = 1'000'000;
  // Rows one answer may have to ask for again.
  size_t max_lost_rows_per_answer = 1000;
  // Bytes received without completing a message.
  size_t max_message_bytes = 4u << 20;
  // Pushes held while the model loads.
  size_t max_held_pushes = 100'000;
};

// One account's figures on both sides when the feed stopped.
struct Comparison {
  int32_t account = 0;
  wire::Figures terminal;
  wire::Figures server;
  bool loaded = false;  // the terminal holds the account
  // Balance and equity to the cent, margin level to a hundredth of a percent.
  bool equal() const;
};

// What the server says, as one line of printable text, so that it cannot
// move the cursor, clear the screen or pass for lines of the host's own:
// control characters become '?', and what passes 500 characters is cut
// and ends in "...".
std::string printable_line(const std::string& line);

// What a terminal tells its host.
class TerminalEvents {
 public:
  virtual ~TerminalEvents() = default;
  virtual void log(const std::string& /*line*/) {}
  // The model was loaded (again, after every log-on) and prices flow.
  virtual void streaming() {}
  virtual void figures_changed(const AccountFigures& /*figures*/) {}
  // The feed stopped and the server's figures were compared with this
  // terminal's, account by account.
  virtual void checked(const std::vector<Comparison>& /*comparisons*/) {}
  // The server refused the log-on; the terminal does not try again.
  virtual void refused(const std::string& /*reason*/) {}
  // What the server sent could not be loaded; the market is not started
  // until the next log-on.
  virtual void load_failed(const std::string& /*reason*/) {}
  // The server's answer to one of this terminal's market orders.
  virtual void order_answered(const wire::OrderAnswer& /*answer*/) {}
  // A market order of a client dealt by hand changed in its negotiation;
  // under DLR_CHANGE_MARKET_ORDER the dealer offers `dealer_price`, which
  // the client answers with Terminal::answer_requote.
  virtual void negotiating(TokensEnum /*what*/, const wire::Negotiation& /*negotiation*/) {}
  // The account history the terminal asked for, oldest first.
  virtual void history_read(int32_t /*account*/,
                           const std::vector<model::HistoryEntry>& /*entries*/) {}
  // A message the terminal does not act on itself (a dealer's answers and
  // pushes; a negotiation's pushes also after Negotiating), in order with the pushes it applies (one that came while the
  // model loaded comes once it is loaded), and every refusal (ERROR) but
  // the log-on's. A refused multi-row request is not waited for.
  virtual void received(const CProcess& /*process*/) {}
  // The rows of an answer asked for with ask_rows, in order.
  virtual void rows_read(TokensEnum /*request*/, const std::vector<std::string>& /*rows*/) {}
};

// A client's trading terminal: a CHClient (connect with retry, handshake
// supervision, automatic re-login after a drop, optional proxy) that logs
// on, loads the symbols, client, accounts, positions and orders it is sent
// into a client-side desk, starts the market and keeps every account's
// figures current: its engine applies the client's parameters (spread,
// offsets) to the raw quotes, and the server's pushes are applied as
// changes. Every log-on loads a fresh model. When the server stops its
// feed, the terminal asks for the server's figures and compares them with
// its own, to the cent.
class Terminal : private CHClientEvents, private DeskEvents {
 public:
  enum class Phase { kConnecting, kLoggingOn, kLoading, kStreaming, kRefused, kLoadFailed };

  // The connection runs on `environment` (socket, timers, proxy tester);
  // the row collector's patience on a timer of `timers`.
  Terminal(TcpClientEnvironment environment, ITimerFactory& timers, TerminalOptions options,
           std::shared_ptr<FixedClock> clock, TerminalEvents* events);
  ~Terminal() override;
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  void connect();
  void disconnect();

  // Market orders at the client's current price, numbered after the last
  // number the server has seen from this user. They return the order's
  // number, or 0 (nothing sent) before the market streams or for a symbol
  // or position the model does not hold. An order not answered when the
  // connection drops is sent again, under the same number, after the next
  // log-on: the server executes it at most once.
  // A stop-loss or take-profit given to Open (0: none) is placed on the
  // new position once the server has opened it.
  int32_t open(int32_t account, int32_t symbol, int32_t direction, double lots, double sl = 0,
               double tp = 0);
  int32_t close(int32_t account, int32_t ticket, double lots = 0);
  int32_t hedge(int32_t account, int32_t ticket, int32_t other);
  // Pending orders, numbered and sent again the same way. `direction` is 1
  // buy limit, 2 buy stop, -1 sell limit, -2 sell stop; levels of 0 are
  // none; an empty expiry keeps the order until it is deleted.
  int32_t place_entry(int32_t account, int32_t symbol, int32_t direction, double lots,
                     double price, double sl = 0, double tp = 0, const std::string& expiry = "");
  int32_t change_entry(int32_t account, int32_t order, double lots, double price, double sl,
                      double tp, const std::string& expiry);
  int32_t delete_entry(int32_t account, int32_t order);
  int32_t place_guard(int32_t account, int32_t ticket, double sl, double tp);
  int32_t change_guard(int32_t account, int32_t order, double sl, double tp);
  int32_t delete_guard(int32_t account, int32_t order);
  // The client's answer to a dealer's new price of negotiation `id`; false
  // when not connected.
  bool answer_requote(int32_t id, bool accept);
  // Asks the server for the account's history (TerminalEvents::history_read);
  // false before the market streams.
  bool ask_history(int32_t account);
  size_t orders_unanswered() const { return m_unanswered.size(); }

  // For hosts that speak more of the protocol than a client (a dealer).
  // Sends a request on the session; false (nothing sent) before the market
  // streams.
  bool send(TokensEnum token, const std::vector<std::string>& params);
  // Asks for a multi-row answer (TerminalEvents::rows_read); false before
  // the market streams or while another answer is being collected.
  bool ask_rows(TokensEnum token, const std::vector<std::string>& params = {});
  // The next number of the user's own, for a request the host numbers
  // itself.
  int32_t take_order_number() { return ++m_last_order; }
  // Asks the server for its figures and compares them with this terminal's
  // (TerminalEvents::checked), as it does when the feed stops, once no
  // other answer is being collected; false before the market streams.
  bool compare_with_server();

  Phase phase() const { return m_phase; }
  int32_t client_id() const { return m_client; }
  // The highest order number the server has seen from this terminal's user.
  int32_t last_order_number() const { return m_last_order; }
  // The platform's settings the server sent at the last log-on.
  const model::Platform& platform() const { return m_platform; }
  // Every account of the client with its figures as this terminal's engine
  // last reported them.
  const std::map<int32_t, AccountFigures>& figures() const { return m_figures; }
  size_t logons() const { return m_logons; }
  size_t prices_received() const { return m_prices; }
  // Prices whose symbol's sequence number was not the one after the last
  // (a price lost or out of order since the market was started).
  size_t sequence_gaps() const { return m_sequence_gaps; }
  size_t lost_rows_asked() const { return m_rows.lost_rows_asked(); }
  // Times the server passed one of the options' bounds and was disconnected.
  size_t breaches() const { return m_breaches; }
  size_t open_positions() const;
  // The last raw quote of a symbol as received (bid, ask); none before one came.
  std::optional<std::pair<double, double>> last_price(int32_t symbol) const;
  // The client-side desk; none before a model is loaded.
  const Desk* desk() const { return m_desk.get(); }
  const CHClient& client() const { return *m_connection; }

 private:
  // What a price needs of its symbol, found once per price.
  struct SymbolState {
    bool loaded = false;  // in the model: the only symbols priced
    bool sequenced = false;
    int32_t sequence = 0;  // the last sequence number, once sequenced
    std::optional<std::pair<double, double>> last_price;
  };

  // CHClientEvents
  void state(TCPClientStatusType status) override;
  void Receive(const std::shared_ptr<CProcess>& process) override;
  void ReceivedData(int32_t bytes) override;
  // DeskEvents
  void figures_changed(const AccountFigures& figures) override;

  void request(TokensEnum token, const std::vector<std::string>& params = {});
  void on_login(const CProcess& process);
  void on_error(const CProcess& process);
  void answered(TokensEnum request, std::vector<std::string> rows);
  bool load_model();
  void on_price(const CProcess& process);
  void check_sequence(SymbolState& state, int32_t sequence);
  void on_push(const CProcess& process);
  void on_answer(const CProcess& process);
  using OrderRequest =
      std::variant<wire::OpenRequest, wire::CloseRequest, wire::HedgeRequest, wire::EntryRequest,
                   wire::EntryChangeRequest, wire::EntryDeleteRequest, wire::GuardRequest,
                   wire::GuardChangeRequest, wire::GuardDeleteRequest>;
  // Numbers the request, keeps it until answered and sends it; its number,
  // or 0 before the market streams.
  template <typename Message>
  int32_t submit(Message request);
  void send_order(const OrderRequest& order);
  void apply_held_pushes();
  void ask_summaries();
  void compare(const std::vector<std::string>& rows);
  void log(const std::string& line);
  // Logs a complaint about what the server sent, summarised when it repeats.
  void complain(const std::string& text);
  // The server passed a bound: one line, and the connection is dropped.
  void breach(const std::string& text);

  TerminalOptions m_options;
  std::shared_ptr<FixedClock> m_clock;
  TerminalEvents* m_events;
  TerminalEvents m_no_events;
  std::shared_ptr<CHClient> m_connection;
  RowCollector m_rows;
  Phase m_phase = Phase::kConnecting;
  int32_t m_sid = -1;
  int32_t m_client = 0;
  int32_t m_last_order = 0;
  model::Platform m_platform;
  std::map<int32_t, OrderRequest> m_unanswered;
  // Levels to place on the position an open order opens, by its number.
  struct Levels {
    int32_t account = 0;
    double sl = 0;
    double tp = 0;
  };
  std::map<int32_t, Levels> m_levels_after_open;
  int32_t m_history_account = 0;
  model::Snapshot m_snapshot;  // what the server sent, the model's source
  std::unique_ptr<MemoryStore> m_store;
  std::unique_ptr<Desk> m_desk;
  // Pushes that came while the model was being loaded, applied once it is
  // (each names what it changes, so one the snapshot already holds is
  // refused and does no harm).
  std::vector<std::shared_ptr<CProcess>> m_held;
  std::map<int32_t, AccountFigures> m_figures;
  // The price being applied and its quote, kept so that their texts' buffers
  // serve every price.
  wire::Price m_price;
  model::Quote m_quote;
  std::string m_last_time_text;
  DateTime m_last_time;
  bool m_stopping = false;
  // A comparison with the server is owed: a STOP_FEED waits for the load
  // to finish, a host's request for the answer being collected.
  bool m_feed_stopped = false;
  size_t m_logons = 0;
  size_t m_prices = 0;
  IdTable<SymbolState> m_symbols;
  size_t m_sequence_gaps = 0;
  Complaints m_complaints;
  size_t m_unframed = 0;  // bytes received since the last whole message
  size_t m_breaches = 0;
};

}  // namespace orvane::apps

#endif  // ORVANE_APPS_TERMINAL_TERMINAL_H_
