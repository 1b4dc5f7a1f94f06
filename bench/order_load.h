#ifndef ORVANE_BENCH_ORDER_LOAD_H_
#define ORVANE_BENCH_ORDER_LOAD_H_

// Market orders through the reference trading server on loopback, end to
// end: the server (its gateway, desk and store on a real AsioListener) runs
// on its own io_context in its own thread; the calling thread is the load
// generator. It opens one session per user (100 users, each its own client
// and account), logs each on, and then sends market orders that
// alternately open a position and close one the same session opened before.
//
// Open loop: order i is due at t0 + i / rate whatever the server has
// answered, and its latency runs from that due time (not from when it went
// out) to the arrival of its answer, so a server that falls behind shows it
// in every later order. A run stops sending after a fixed time and waits a
// little for the answers still out; orders never answered count as
// infinitely late in the percentiles. Closed loop: every session sends its
// next order as soon as the answer to the previous one arrives, which gives
// the most the server answers with 100 orders in flight.
//
// Answers are split with the library's framing (CDataProtocol) and parsed
// into CProcess objects, and orders are built and answers read with the
// wire messages the reference terminal uses.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <asio.hpp>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "book_import.h"
#include "desk.h"
#include "messages.h"
#include "orvane/asio/asio_listener.h"
#include "orvane/asio/asio_timer.h"
#include "orvane/core/clock.h"
#include "orvane/core/error.h"
#include "orvane/protocol/data_protocol.h"
#include "orvane/protocol/process.h"
#include "orvane/vocabulary/operation_type_enum.h"
#include "price_feed.h"
#include "store.h"
#include "trading_server.h"

namespace orvane::apps::order_load {

using SteadyClock = std::chrono::steady_clock;
using Nanoseconds = std::chrono::nanoseconds;

inline constexpr int kUsers = 100;
inline constexpr int32_t kSymbol = 2;  // EURUSD
inline constexpr double kLots = 0.01;
inline constexpr int32_t kAccountBase = 500000;
// How long an open-loop run sends orders, and how long it then waits for
// the answers still out.
inline constexpr auto kSendFor = std::chrono::milliseconds(2500);
inline constexpr auto kDrainFor = std::chrono::milliseconds(1000);
inline constexpr auto kClosedLoopFor = std::chrono::milliseconds(2000);
// Orders sent and not yet answered, at most: beyond this a due order waits
// in the generator (its latency still runs from its due time), so that an
// overloaded server never has more than this queued in its sockets and
// works off what it holds soon after a run (it stops only between two
// reads). A server that keeps up has a few dozen in flight.
inline constexpr size_t kMaxInFlight = 1000;
// The generator waits for answers until this long before an order is due,
// and spins for the rest.
inline constexpr auto kSpinBefore = std::chrono::microseconds(50);
inline constexpr int16_t kParseLogLevel = 5;  // above the system level: no descriptions

inline std::string Username(int user) { return "trader" + std::to_string(user); }
inline std::string Password(int user) { return "pass" + std::to_string(user); }
inline int32_t ClientOf(int user) { return 1000 + user; }
inline int32_t AccountOf(int user) { return kAccountBase + user; }

// One tradable symbol with a quote, and per user a client (no liquidation,
// hedging and partial closes allowed) with one account of ample margin and
// the privileges to trade (4 statements, 5 open and close positions).
// With `kept_numbers`, each user has already used that many order numbers,
// as on a server that has been running: the desk keeps the latest outcomes
// of each user to answer repeats.
inline model::Snapshot Book(size_t kept_numbers) {
  std::string text =
      "SYMBOL 1 USD -4 1 1 1 1 0 1 1 FRIDAY 22:00 SUNDAY 22:00\n"
      "SYMBOL 2 EURUSD -4 100000 1 1 1 1000 1.2000 1.2001 FRIDAY 22:00 SUNDAY 22:00\n"
      "PARAMSET plain 1,2,0,0,0,0,100,0.01,0,2,2,0,0,0,0,100,0.01,0\n";
  for (int u = 0; u < kUsers; ++u) {
    const std::string client = std::to_string(ClientOf(u));
    text += "CLIENT " + client + " plain 0 0 2 0 Trader " + std::to_string(u) + "\n";
    text += "USER " + Username(u) + " " + Password(u) + " " + client + " 4,5\n";
    text += "ACCOUNT " + client + " " + std::to_string(AccountOf(u)) +
            " 1 0 0 10000000 0 0 0 0 0 1\n";
  }
  model::Snapshot book = import_book(text, "orders benchmark book");
  for (int u = 0; u < kUsers; ++u) {
    for (size_t n = 1; n <= kept_numbers; ++n) {
      book.order_numbers[Username(u)].push_back(
          {Username(u), static_cast<int32_t>(n), kExecuted, "executed", 0, 0});
    }
  }
  return book;
}

// A Wednesday noon: the market is open.
inline PriceFeed OpeningQuote(const model::Snapshot& book) {
  return PriceFeed::from_tape(
      import_tape("03/03/2027 12:00:00 2 1.2000 1.2001\n", "opening quote", book));
}

// The trading server as orvane-server wires it (AsioListener, Asio timers,
// the steady clock for elapsed time), running on its own thread from
// construction to destruction. The feed holds one quote for the market time
// and delivers none: prices stay where the book has them.
class ServerThread {
 public:
  // `store`, when given, already holds `book` (seeded as the server's host
  // seeds it) and must outlive the server; none: the book in memory.
  explicit ServerThread(const model::Snapshot& book, Store* store = nullptr)
      : m_clock(std::make_shared<FixedClock>()),
        m_scoped(m_clock),
        m_work(asio::make_work_guard(m_io)) {
    ServerOptions options;
    options.rate = 1e-9;
    options.log_engine = false;
    const auto started = SteadyClock::now();
    ServerEnvironment environment{
        std::make_shared<AsioListener>(m_io), std::make_shared<AsioTimerFactory>(m_io),
        [started] {
          return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() -
                                                                       started)
              .count();
        },
        store,
        [this](std::function<void()> task) { asio::post(m_io, std::move(task)); }};
    m_server = std::make_unique<TradingServer>(book, OpeningQuote(book), m_clock, environment,
                                               options);
    port = m_server->start("127.0.0.1", 0);
    // The prices each client sees, read before the server's thread starts.
    const Desk& desk = m_server->desk();
    open_price = desk.deal_price(ClientOf(0), kSymbol, BuyType, false).value_or(0);
    close_price = desk.deal_price(ClientOf(0), kSymbol, BuyType, true).value_or(0);
    m_thread = std::thread([this] { m_io.run(); });
  }

  ~ServerThread() {
    asio::post(m_io, [this] {
      m_server->stop();
      m_work.reset();
      m_io.stop();
    });
    m_thread.join();
    m_server.reset();
  }

  ServerThread(const ServerThread&) = delete;
  ServerThread& operator=(const ServerThread&) = delete;

  int32_t port = 0;
  double open_price = 0;   // a buy opens at the client's ask
  double close_price = 0;  // and closes at its bid

 private:
  std::shared_ptr<FixedClock> m_clock;
  ScopedClock m_scoped;
  asio::io_context m_io;
  asio::executor_work_guard<asio::io_context::executor_type> m_work;
  std::unique_ptr<TradingServer> m_server;
  std::thread m_thread;
};

// What a run measured.
struct Tally {
  size_t sent = 0;
  size_t answered = 0;   // under the order's token, or an ERROR for it
  size_t executed = 0;   // code 0
  size_t refused = 0;    // a code other than 0
  size_t errors = 0;     // ERROR answers (refused before the desk)
  size_t pushes = 0;     // everything else the server sent
  int32_t first_refusal = 0;
  std::string first_refusal_text;
  std::string failure;   // a session that closed or could not log on
};

// The load generator: one session per user, all on this thread's own
// io_context.
class Generator {
 public:
  Generator(int32_t port, double open_price, double close_price)
      : m_open_price(open_price), m_close_price(close_price) {
    const asio::ip::tcp::endpoint server(asio::ip::make_address("127.0.0.1"),
                                         static_cast<uint16_t>(port));
    for (int u = 0; u < kUsers; ++u) {
      m_sessions.push_back(std::make_unique<Session>(*this, m_io, u));
      Session& s = *m_sessions.back();
      s.socket.connect(server);
      s.socket.set_option(asio::ip::tcp::no_delay(true));
      s.Read();
      s.Write(wire::request(0, wire::LogOn{Username(u), Password(u)}));
    }
    const auto deadline = SteadyClock::now() + std::chrono::seconds(5);
    while (m_logged_on < kUsers && tally.failure.empty() && SteadyClock::now() < deadline) {
      m_io.run_one_for(std::chrono::milliseconds(10));
    }
    if (m_logged_on < kUsers && tally.failure.empty()) {
      tally.failure = std::to_string(m_logged_on) + " of " + std::to_string(kUsers) +
                      " sessions logged on in time";
    }
  }

  ~Generator() {
    m_wake.cancel();
    for (auto& s : m_sessions) {
      std::error_code ignored;
      s->socket.close(ignored);
    }
    m_io.restart();
    m_io.poll();
  }

  Generator(const Generator&) = delete;
  Generator& operator=(const Generator&) = delete;

  bool Ready() const { return tally.failure.empty(); }

  // Order i is due at t0 + i / rate; sends until `send_for` has passed and
  // then waits at most `drain_for` for the answers still out.
  void OpenLoop(double rate, SteadyClock::duration send_for, SteadyClock::duration drain_for) {
    const auto total = static_cast<size_t>(
        rate * std::chrono::duration<double>(send_for).count());
    const Nanoseconds period(static_cast<int64_t>(std::llround(1e9 / rate)));
    Prepare(total);
    t0 = SteadyClock::now() + std::chrono::milliseconds(5);
    for (size_t i = 0; i < total; ++i) m_due[i] = t0 + period * static_cast<int64_t>(i);
    const auto give_up = t0 + send_for + drain_for;
    size_t next = 0;
    while (tally.answered < total && tally.failure.empty()) {
      const auto now = SteadyClock::now();
      if (now >= give_up) break;
      while (next < total && m_due[next] <= now && tally.sent - tally.answered < kMaxInFlight) {
        Send(*m_sessions[next % kUsers], next);
        ++next;
      }
      if (m_io.poll() > 0) continue;
      // Nothing to read: wait for an answer or until shortly before the
      // next due order, and spin only for the rest, so that the generator
      // takes no processor from the server while it has nothing to do.
      if (next < total && tally.sent - tally.answered < kMaxInFlight) {
        WaitUntil(m_due[next] - kSpinBefore);
      } else {
        m_io.run_one_for(std::chrono::milliseconds(1));
      }
    }
  }

  // Every session keeps one order in flight for `run_for`; then the answers
  // still out are awaited.
  void ClosedLoop(SteadyClock::duration run_for) {
    Prepare(0);
    m_closed_loop = true;
    t0 = SteadyClock::now();
    m_stop_sending = t0 + run_for;
    for (auto& s : m_sessions) SendNext(*s, t0);
    const auto give_up = m_stop_sending + std::chrono::seconds(2);
    while (tally.answered < tally.sent && tally.failure.empty() &&
           SteadyClock::now() < give_up) {
      m_io.run_one_for(std::chrono::milliseconds(1));
    }
    m_closed_loop = false;
  }

  // Latency of each order in microseconds, unanswered ones infinite.
  std::vector<double> Latencies(size_t from, size_t to) const {
    std::vector<double> out;
    for (size_t i = from; i < to && i < m_latency.size(); ++i) {
      out.push_back(m_latency[i] < 0 ? std::numeric_limits<double>::infinity()
                                     : static_cast<double>(m_latency[i]) / 1e3);
    }
    return out;
  }
  size_t Orders() const { return m_latency.size(); }
  // From t0 to the last answer.
  double Seconds() const { return std::chrono::duration<double>(m_last_answer - t0).count(); }

  Tally tally;
  SteadyClock::time_point t0;

 private:
  struct InFlight {
    int32_t number;
    size_t index;
    bool opening;
  };

  struct Session {
    Session(Generator& g, asio::io_context& io, int u) : generator(g), socket(io), user(u) {}

    void Read() {
      socket.async_read_some(asio::buffer(buffer), [this](std::error_code ec, size_t n) {
        if (ec) {
          if (ec != asio::error::operation_aborted && generator.tally.failure.empty()) {
            generator.tally.failure = Username(user) + "'s session ended: " + ec.message();
          }
          return;
        }
        const auto now = SteadyClock::now();
        std::string_view region =
            framing.SplitBufferRegion(std::string_view(buffer.data(), n), held);
        while (!region.empty()) generator.Handle(*this, CDataProtocol::NextMessage(region), now);
        Read();
      });
    }

    void Write(const std::string& text) {
      std::error_code ec;
      asio::write(socket, asio::buffer(text), ec);
      if (ec && generator.tally.failure.empty()) {
        generator.tally.failure = "sending to " + Username(user) + " failed: " + ec.message();
      }
    }

    Generator& generator;
    asio::ip::tcp::socket socket;
    int user;
    std::array<char, 64 * 1024> buffer{};
    CDataProtocol framing;
    std::string held;
    int32_t sid = 0;
    int32_t next_number = 0;
    std::deque<InFlight> in_flight;
    std::deque<int32_t> tickets;  // opened and not yet being closed
  };

  // Runs one handler, waiting for it at most until `until` (the timer
  // wakes the reactor at once; a plain timed wait would round up to whole
  // milliseconds). Returns at once when `until` has passed.
  void WaitUntil(SteadyClock::time_point until) {
    if (SteadyClock::now() >= until) return;
    if (!m_waking || m_wake_at != until) {
      m_wake.expires_at(until);
      m_wake.async_wait([this](std::error_code ec) {
        if (ec != asio::error::operation_aborted) m_waking = false;
      });
      m_waking = true;
      m_wake_at = until;
    }
    m_io.run_one();
  }

  void Prepare(size_t total) {
    tally = Tally{};
    m_due.assign(total, {});
    m_latency.assign(total, -1);
    m_last_answer = SteadyClock::now();
  }

  // Closes a position the session opened when it has one, opens one
  // otherwise.
  void Send(Session& s, size_t index) {
    const int32_t number = s.next_number++;
    if (!s.tickets.empty()) {
      const int32_t ticket = s.tickets.front();
      s.tickets.pop_front();
      s.in_flight.push_back({number, index, false});
      s.Write(wire::request(s.sid, wire::CloseRequest{number, AccountOf(s.user), ticket, 0,
                                                      m_close_price}));
    } else {
      s.in_flight.push_back({number, index, true});
      s.Write(wire::request(s.sid, wire::OpenRequest{number, AccountOf(s.user), kSymbol,
                                                     BuyType, kLots, m_open_price}));
    }
    ++tally.sent;
  }

  void SendNext(Session& s, SteadyClock::time_point now) {
    m_due.push_back(now);
    m_latency.push_back(-1);
    Send(s, m_due.size() - 1);
  }

  void Handle(Session& s, std::string_view message, SteadyClock::time_point now) {
    m_process.Renew();
    try {
      m_process.DefineProcessByCommand(kParseLogLevel, message);
    } catch (const Error& e) {
      if (tally.failure.empty()) tally.failure = std::string("unreadable answer: ") + e.what();
      return;
    }
    switch (m_process.TokenID()) {
      case LOGIN_TOKEN: {
        wire::LoggedOn logged;
        if (!wire::decode(m_process, logged)) break;
        s.sid = logged.sid;
        s.next_number = logged.last_order + 1;
        ++m_logged_on;
        return;
      }
      case NEW_ORDER_TOKEN:
      case CLOSE_POS_ORDER_TOKEN: {
        wire::OrderAnswer answer;
        if (!wire::decode(m_process, answer)) break;
        return Answered(s, answer.number, answer.code, answer.text, answer.ticket, now);
      }
      case ERROR_TOKEN: {
        wire::Refusal refusal;
        if (!wire::decode(m_process, refusal)) break;
        if (refusal.token == NEW_ORDER_TOKEN || refusal.token == CLOSE_POS_ORDER_TOKEN) {
          ++tally.errors;
          // An ERROR carries no order number: it answers the oldest order.
          const int32_t number = s.in_flight.empty() ? 0 : s.in_flight.front().number;
          return Answered(s, number, refusal.code, refusal.text, 0, now);
        }
        if (tally.failure.empty()) tally.failure = "refused: " + refusal.text;
        return;
      }
      default:
        ++tally.pushes;
        return;
    }
    if (tally.failure.empty()) tally.failure = "an answer that does not read";
  }

  void Answered(Session& s, int32_t number, int32_t code, const std::string& text,
                int32_t ticket, SteadyClock::time_point now) {
    auto it = std::find_if(s.in_flight.begin(), s.in_flight.end(),
                           [&](const InFlight& f) { return f.number == number; });
    if (it == s.in_flight.end()) {
      if (tally.failure.empty()) tally.failure = "an answer to no order sent";
      return;
    }
    const InFlight order = *it;
    s.in_flight.erase(it);
    m_latency[order.index] =
        std::chrono::duration_cast<Nanoseconds>(now - m_due[order.index]).count();
    m_last_answer = now;
    ++tally.answered;
    if (code == kExecuted) {
      ++tally.executed;
      if (order.opening) s.tickets.push_back(ticket);
    } else {
      ++tally.refused;
      if (tally.first_refusal == 0) {
        tally.first_refusal = code;
        tally.first_refusal_text = text;
      }
    }
    if (m_closed_loop && now < m_stop_sending) SendNext(s, SteadyClock::now());
  }

  asio::io_context m_io;
  asio::steady_timer m_wake{m_io};
  SteadyClock::time_point m_wake_at;
  bool m_waking = false;
  std::vector<std::unique_ptr<Session>> m_sessions;
  CProcess m_process;
  double m_open_price;
  double m_close_price;
  int m_logged_on = 0;
  std::vector<SteadyClock::time_point> m_due;
  std::vector<int64_t> m_latency;  // ns; -1 unanswered
  SteadyClock::time_point m_last_answer;
  SteadyClock::time_point m_stop_sending;
  bool m_closed_loop = false;
};

// The p-th percentile (0..1) by nearest rank; 0 for no values.
inline double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  const auto rank = static_cast<size_t>(std::ceil(p * static_cast<double>(values.size())));
  const size_t at = rank == 0 ? 0 : rank - 1;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(at),
                   values.end());
  return values[at];
}

// False (and the run marked) when the run is not a measurement.
inline bool Check(benchmark::State& state, const Generator& generator) {
  const Tally& t = generator.tally;
  if (!t.failure.empty()) {
    state.SkipWithError(t.failure.c_str());
    return false;
  }
  if (t.answered == 0 || t.executed * 2 < t.answered) {
    static std::string why;
    why = "most orders were refused (" + std::to_string(t.refused) + " of " +
          std::to_string(t.answered) + "; first " + std::to_string(t.first_refusal) + ": " +
          t.first_refusal_text + ")";
    state.SkipWithError(why.c_str());
    return false;
  }
  return true;
}

inline void Report(benchmark::State& state, const Generator& generator) {
  const Tally& t = generator.tally;
  const std::vector<double> all = generator.Latencies(0, generator.Orders());
  state.counters["p50_us"] = Percentile(all, 0.50);
  state.counters["p99_us"] = Percentile(all, 0.99);
  state.counters["p999_us"] = Percentile(all, 0.999);
  state.counters["max_us"] = Percentile(all, 1.0);
  state.counters["answered_per_s"] = static_cast<double>(t.answered) / generator.Seconds();
  state.counters["executed"] = static_cast<double>(t.executed);
  state.counters["refused"] = static_cast<double>(t.refused);
  state.counters["errors"] = static_cast<double>(t.errors);
  state.counters["unanswered"] = static_cast<double>(generator.Orders() - t.answered);
  state.counters["pushes"] = static_cast<double>(t.pushes);
  state.SetItemsProcessed(static_cast<int64_t>(t.answered));
}

}  // namespace orvane::apps::order_load

#endif  // ORVANE_BENCH_ORDER_LOAD_H_
