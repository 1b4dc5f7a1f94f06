// A server of the tests' own for the terminal's receive path: it answers a
// log-on, answers the model's requests honestly when told to, and otherwise
// sends whatever the test (or the fuzzer) makes of it. Shared by the
// terminal's limit tests and the terminal_receive fuzz target, whose corpus
// those tests replay.
#ifndef ORVANE_TESTS_APPS_HOSTILE_SERVER_H_
#define ORVANE_TESTS_APPS_HOSTILE_SERVER_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "messages.h"
#include "orvane/core/clock.h"
#include "orvane/io/acceptor.h"
#include "orvane/io/socket.h"
#include "orvane/protocol/data_protocol.h"
#include "orvane/protocol/process.h"
#include "orvane/testing/memory_acceptor.h"
#include "orvane/testing/memory_network.h"
#include "orvane/testing/virtual_timer.h"
#include "rows.h"
#include "terminal.h"

namespace orvane::apps::test {

class HostileServer : public IAcceptorEvents, public ISocketEvents {
 public:
  static constexpr int32_t kSid = 7;

  HostileServer(std::shared_ptr<MemoryNetwork> network, int32_t port) : m_acceptor(network) {
    m_acceptor.Advise(this);
    m_acceptor.Listen("0.0.0.0", port);
  }
  ~HostileServer() override {
    if (m_child) m_child->Unadvise(this);
  }
  HostileServer(const HostileServer&) = delete;
  HostileServer& operator=(const HostileServer&) = delete;

  void Accepted(const std::shared_ptr<ISocket>& child) override {
    if (m_child) m_child->Unadvise(this);
    m_child = child;
    m_framing.ClearBuffer();
    ++accepted;
    child->Advise(this);
  }
  void State(ISocket& socket, SocketStateEnum state) override {
    if (&socket == m_child.get() && state == SocketClosed) ++closed;
  }
  void Receive(ISocket& socket) override {
    std::vector<std::string> messages;
    m_framing.SplitBuffer(socket.Receive(), messages);
    for (const std::string& text : messages) {
      if (text.empty()) continue;
      auto process = CProcess::New();
      try {
        process->DefineProcessByCommand(5, text);
      } catch (const std::exception&) {
        continue;
      }
      const TokensEnum token = process->TokenID();
      if (token == RESULT_LOST_TOKEN) {
        ++lost_asked;
      } else if (token == LOGIN_TOKEN) {
        ++logons;
        if (answer_logons) Send(wire::response(wire::LoggedOn{kSid, 10, 0, "", ""}));
      } else if (token != CONNECT_HANDCHAKE_TOKEN && token != DISCONNECT_TOKEN) {
        pending.push_back(token);
        requests.push_back(process);
        if (token != START_MARKET_TOKEN) ++answers_asked;
      }
    }
  }

  bool Connected() const { return m_child && m_child->State() == SocketConnected; }
  void Send(const std::string& text) {
    if (Connected()) m_child->Send(text);
  }
  // Answers the oldest request the terminal is waiting on as a server
  // would: two symbols, no other rows, and the market started.
  void AnswerHonestly() {
    if (pending.empty()) return;
    const TokensEnum token = pending.front();
    pending.pop_front();
    if (token == START_MARKET_TOKEN) return Send(wire::response_text(RESULT_OK_TOKEN));
    if (token != GET_ALL_SYMBOLS_TOKEN) return Send(wire::response_text(RESULT_COUNT_TOKEN, {"0"}));
    Send(wire::response_text(RESULT_COUNT_TOKEN, {"2"}));
    for (int32_t id = 1; id <= 2; ++id) {
      Send(wire::response_text(RESULT_TOKEN, {std::to_string(id), SymbolRow(id)}));
    }
  }
  static std::string SymbolRow(int32_t id) {
    const model::Symbol s{id, "S" + std::to_string(id), -4, 100000, 1, id, 1, 1000, 1.1, 1.1002,
                          "FRIDAY", "22:00", "SUNDAY", "22:00", "", ""};
    return wire::symbol_row(s, 1, 1);
  }

  bool answer_logons = true;
  size_t accepted = 0;
  size_t closed = 0;
  size_t logons = 0;
  size_t lost_asked = 0;     // RESULT_LOST requests received
  size_t answers_asked = 0;  // multi-row requests received
  std::deque<TokensEnum> pending;
  // Every request but log-ons, signs of life and disconnects, as received.
  std::vector<std::shared_ptr<CProcess>> requests;

 private:
  MemoryAcceptor m_acceptor;
  std::shared_ptr<ISocket> m_child;
  CDataProtocol m_framing;
};

// Reads the fuzzer's bytes: what is not there reads as zero.
class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  bool Empty() const { return m_at >= m_size; }
  uint8_t Byte() { return m_at < m_size ? m_data[m_at++] : 0; }
  int32_t Integer() {
    switch (Byte() % 4) {
      case 0:
        return Byte();
      case 1:
        return std::numeric_limits<int32_t>::max() - Byte();
      case 2:
        return -static_cast<int32_t>(Byte());
      default: {
        uint32_t raw = 0;
        for (int i = 0; i < 4; ++i) raw = raw << 8 | Byte();
        int32_t value;
        std::memcpy(&value, &raw, sizeof value);
        return value;
      }
    }
  }
  std::string Text(size_t most = 64) {
    const size_t length = std::min<size_t>(Byte(), most);
    std::string text;
    while (text.size() < length && !Empty()) text.push_back(static_cast<char>(Byte()));
    return text;
  }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_at = 0;
};

// What a hostile session did to the terminal; `broken` names the first of
// the terminal's promises it did not keep (empty: all kept).
struct HostileResult {
  std::string broken;
  size_t breaches = 0;
  size_t steps = 0;
  size_t lines = 0;
};

// The bounds a hostile session runs the terminal under: small, so that
// the fuzzer reaches them.
inline TerminalOptions HostileOptions(int32_t port) {
  TerminalOptions options;
  options.port = port;
  options.username = "alice";
  options.password = "secret";
  options.max_rows_per_answer = 64;
  options.max_lost_rows_per_answer = 16;
  options.max_message_bytes = 2048;
  options.max_held_pushes = 32;
  return options;
}

struct LineCounter : TerminalEvents {
  void log(const std::string& line) override {
    ++lines;
    for (char c : line) {
      if (static_cast<unsigned char>(c) < 0x20) unprintable = true;
    }
  }
  size_t lines = 0;
  bool unprintable = false;
};

// Runs one terminal against a HostileServer that plays the steps read from
// `data`, checking after each that the terminal keeps its promises: it
// logs at most a few lines a step, asks for no more lost rows than its
// bounds allow, drops the connection when it says the server broke them,
// and afterwards comes back and logs on again.
inline HostileResult RunHostileSession(const uint8_t* data, size_t size) {
  constexpr int32_t kPort = 4600;
  static const TokensEnum kTokens[] = {
      LOGIN_TOKEN, ERROR_TOKEN, RESULT_COUNT_TOKEN, RESULT_TOKEN, RESULT_OK_TOKEN,
      MARKET_DATA_TOKEN, STOP_FEED_TOKEN, CONNECT_HANDCHAKE_TOKEN, NEW_ORDER_TOKEN,
      CLOSE_POS_ORDER_TOKEN, NEW_SL_TP_TOKEN, NEW_OPEN_POSITION_TOKEN,
      UPDATE_OPEN_POSITION_TOKEN, CLOSE_OPEN_POSITION_TOKEN, NEW_PENDING_ORDER_TOKEN,
      DELETE_PENDING_ORDER_TOKEN, SUMMARIES_CHANGED_TOKEN, ACCOUNT_LIQUIDATED_TOKEN,
      MESSAGE_TOKEN, NEW_ACCOUNT_HISTORY_TOKEN};
  HostileResult result;
  auto clock = std::make_shared<FixedClock>();
  ScopedClock scoped(clock);
  auto loop = std::make_shared<VirtualTimeScheduler>();
  auto network = MemoryNetwork::Create(loop);
  HostileServer server(network, kPort);
  const TerminalOptions options = HostileOptions(kPort);
  LineCounter events;
  Terminal terminal(network->Environment(), *loop, options, clock, &events);
  terminal.connect();
  loop->RunUntilIdle();
  auto fail = [&](const std::string& what) {
    if (result.broken.empty()) result.broken = what;
  };
  if (terminal.phase() != Terminal::Phase::kLoading) fail("no log-on to start with");
  Bytes in(data, size);
  while (!in.Empty() && result.broken.empty()) {
    ++result.steps;
    const size_t lines_before = events.lines;
    const size_t breaches_before = terminal.breaches();
    const size_t closed_before = server.closed;
    size_t messages = 1;
    switch (in.Byte() % 9) {
      case 0:
        server.Send(wire::response_text(RESULT_COUNT_TOKEN, {std::to_string(in.Integer())}));
        break;
      case 1: {
        const int32_t number = in.Integer();
        server.Send(wire::response_text(RESULT_TOKEN, {std::to_string(number), in.Text()}));
        break;
      }
      case 2: {
        // A run of rows: from a first number, a step apart.
        const int32_t first = in.Integer();
        const int32_t step = static_cast<int8_t>(in.Byte());
        messages = 1 + in.Byte() % 32;
        std::string burst;
        for (size_t k = 0; k < messages; ++k) {
          const int64_t number = static_cast<int64_t>(first) + static_cast<int64_t>(k) * step;
          burst += wire::response_text(RESULT_TOKEN, {std::to_string(number), HostileServer::SymbolRow(static_cast<int32_t>(number & 0xff))});
        }
        server.Send(burst);
        break;
      }
      case 3: {
        const TokensEnum token = kTokens[in.Byte() % std::size(kTokens)];
        std::vector<std::string> parameters(in.Byte() % 8);
        for (std::string& p : parameters) p = in.Text();
        server.Send(wire::response_text(token, parameters));
        break;
      }
      case 4: {
        const std::string raw = in.Text(255);
        messages = 1;
        for (size_t at = raw.find(kMessageTerminator); at != std::string::npos;
             at = raw.find(kMessageTerminator, at + 1)) {
          ++messages;
        }
        server.Send(raw);
        break;
      }
      case 5:
        loop->Advance(static_cast<int64_t>(in.Byte()) * 50);
        break;
      case 6:
        server.AnswerHonestly();
        messages = 3;
        break;
      case 7: {
        wire::Price price{1 + in.Byte() % 3, 1.1 + in.Byte() * 1e-4, 1.1002, "",
                          in.Integer()};
        server.Send(wire::response(price));
        break;
      }
      default: {
        // A message as long as the bytes that follow say, unterminated.
        const size_t length = static_cast<size_t>(in.Byte()) * 64;
        server.Send("A" + std::string(length, 'x'));
        break;
      }
    }
    loop->RunUntilIdle();
    const size_t said = events.lines - lines_before;
    // A breach and the drop it causes, a summarised complaint or an event
    // of the server's for each message sent, and a log-on.
    if (said > 4 + 2 * messages) fail(std::to_string(said) + " lines for one step");
    if (terminal.breaches() != breaches_before) {
      ++result.breaches;
      loop->RunUntilIdle();
      if (server.closed == closed_before) fail("a breach without a drop");
    }
    if (server.lost_asked > options.max_lost_rows_per_answer * (server.answers_asked + 1)) {
      fail("more lost rows asked for than the bounds allow");
    }
  }
  if (events.unprintable) fail("a control character reached the log");
  // However it ended, the terminal comes back and logs on.
  const size_t logons = server.logons;
  for (int waited = 0; waited < 40000 && server.logons == logons; waited += 500) {
    loop->Advance(500);
  }
  if (result.broken.empty() && terminal.phase() != Terminal::Phase::kRefused &&
      server.logons == logons) {
    fail("no log-on again within 40 s");
  }
  result.lines = events.lines;
  return result;
}

}  // namespace orvane::apps::test

#endif  // ORVANE_TESTS_APPS_HOSTILE_SERVER_H_
