#ifndef ORVANE_TESTS_CONNECTION_TCP_CLIENT_REENTRANCY_H_
#define ORVANE_TESTS_CONNECTION_TCP_CLIENT_REENTRANCY_H_

// Drives one CTcpClient over a MemorySocket and virtual time with what an
// input spells: server data (whole and broken messages), server closes,
// refused and accepted connects, time passing, and host calls (Connect,
// Disconnect, Send, settings) made from the top level and from inside the
// client's events, nested up to kMaxDepth. Shared by the fuzz target and
// by the test that replays its corpus.
//
// Rules checked all along:
// - state events alternate, STATUS_CONNECTED first;
// - Receive comes only while the host was last told STATUS_CONNECTED;
// - a message queued before a state(STATUS_DISCONNECTED) never reaches a
//   server after it (Send queues its message once its SentData event has
//   returned, so a disconnect made from that handler comes first);
// - a received message holds text of the current connection only (nothing
//   of an earlier connection glued onto it).
//
// Input: one byte chooses whether a proxy tester is present, then each byte
// is an operation, some followed by their own argument bytes; an event
// handler takes one byte to decide whether it acts, and then one call.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "orvane/connection/tcp_client.h"
#include "orvane/core/clock.h"
#include "orvane/core/date_time.h"
#include "orvane/testing/memory_socket.h"
#include "orvane/testing/virtual_timer.h"

namespace orvane::test {

class TcpClientReentrancy : private CTcpClientEvents, private ISocketEvents {
 public:
  static constexpr int kMaxDepth = 3;

  // The first broken rule, or empty.
  static std::string Run(std::string_view input) {
    TcpClientReentrancy driver(input);
    driver.Play();
    return driver.m_failure;
  }

 private:
  class Tester : public IProxyTester {
   public:
    int32_t TestProxyAsync(const std::string&, int32_t port, const std::string&,
                           const std::string&, ProxyTypeEnum) override {
      m_polls = 0;
      return port & 1;
    }
    int32_t TestResult(std::string& text) override {
      if (++m_polls < 3) return -1;
      text = "refused";
      return m_polls & 1;
    }
    std::string LastError() const override { return "cannot start"; }
    void Close() override {}

   private:
    int m_polls = 0;
  };

  explicit TcpClientReentrancy(std::string_view input) : m_input(input) {
    const bool with_tester = Byte() & 1;
    m_socket = MemorySocket::Create();
    m_client = std::make_shared<CTcpClient>(TcpClientEnvironment{
        m_socket, m_timers,
        with_tester ? std::make_shared<Tester>() : nullptr});
    m_client->ServerAddress("trade.example");
    m_client->proxyAddress("proxy.example");
    m_client->proxyPort(3128);
    m_client->Advise(static_cast<CTcpClientEvents*>(this));
  }

  ~TcpClientReentrancy() override {
    m_client.reset();
    if (m_server) m_server->Unadvise(this);
  }

  bool Done() const { return m_at >= m_input.size() || !m_failure.empty(); }
  uint8_t Byte() { return Done() ? 0 : uint8_t(m_input[m_at++]); }
  void Fail(const std::string& why) {
    if (m_failure.empty()) m_failure = why;
  }

  void Play() {
    while (!Done()) {
      switch (Byte() % 12) {
        case 0: Accept(); break;
        case 1: m_socket->RefuseConnect(); break;
        case 2: if (m_server) m_server->Close(); break;
        case 3: ServerSends(); break;
        case 4: AdvanceTime(); break;
        case 5: m_socket->Blocked(!m_socket->Blocked()); break;
        default: HostCall(); break;
      }
    }
  }

  void Accept() {
    std::shared_ptr<MemorySocket> server = m_socket->AcceptConnect();
    if (!server) return;
    if (m_server) m_server->Unadvise(this);
    m_server = server;
    ++m_connection;
    m_server->Advise(static_cast<ISocketEvents*>(this));
  }

  // Pieces tagged with the connection, each whole or broken; their bodies
  // may hold parts of a terminator, so terminators also fall across chunks.
  void ServerSends() {
    const int pieces = Byte() % 4 + 1;
    std::string chunk;
    for (int i = 0; i < pieces; ++i) {
      const uint8_t shape = Byte();
      chunk += "[" + std::to_string(m_connection) + "]";
      for (int c = 0; c < shape % 6; ++c) chunk += "ab+3!"[(shape >> c) % 5];
      if (shape & 0x80) chunk += "+3!";
    }
    if (m_server && m_server->State() == SocketConnected) m_server->Send(chunk);
  }

  void AdvanceTime() {
    static constexpr int64_t kSteps[] = {1,    9,     10,    100,
                                         4999, 11000, 30000, 100000};
    m_timers->Advance(kSteps[Byte() % 8]);
  }

  void HostCall() {
    const uint8_t call = Byte();
    const bool flag = call & 0x10;
    switch (call % 10) {
      case 0: m_client->Connect(); break;
      case 1: m_client->Disconnect(flag); break;
      case 2:
      case 3: {
        const size_t id = m_sent_epoch.size();
        m_sent_epoch.push_back(-1);
        m_sending.push_back(id);
        m_client->Send("#" + std::to_string(id) + ".");
        m_sending.pop_back();
        break;
      }
      case 4: m_client->AutoReloginOption(flag); break;
      case 5:
        m_client->ServerType(flag ? NoDisconnectWhenNoHandshakMsgType
                                  : DisconnectWhenNoHandshakMsgType);
        break;
      case 6: {
        static constexpr int32_t kIntervals[] = {50, 1000, 30000, 100000};
        m_client->HandshakeMsgTimer(kIntervals[(call >> 5) % 4]);
        break;
      }
      case 7: m_client->ProxyEnabled(flag); break;
      case 8: m_client->HandshakeMsgRecieved(); break;
      case 9: m_client->TestProxy("proxy.example", call >> 5, "", "", HTTPProxy);
    }
  }

  // From inside an event: one byte says whether the host acts.
  void MaybeAct() {
    if (m_depth >= kMaxDepth || !(Byte() & 1)) return;
    ++m_depth;
    HostCall();
    --m_depth;
  }

  // CTcpClientEvents
  void state(TCPClientStatusType status) override {
    if (status == m_last_state) {
      Fail(status == STATUS_CONNECTED ? "connected twice"
                                      : "disconnected twice");
    }
    m_last_state = status;
    if (status == STATUS_DISCONNECTED) ++m_epoch;
    MaybeAct();
  }
  void Receive(const std::string& message) override {
    if (m_last_state != STATUS_CONNECTED) {
      Fail("message received while disconnected: " + message);
    }
    const std::string tag = "[" + std::to_string(m_connection) + "]";
    for (size_t at = message.find('['); at != std::string::npos;
         at = message.find('[', at + 1)) {
      if (message.compare(at, tag.size(), tag) != 0) {
        Fail("message of an earlier connection glued on: " + message);
      }
    }
    MaybeAct();
  }
  void NotConnected() override { MaybeAct(); }
  void ProxyTestResult(ProxyTestResultEnum, const std::string&) override {
    MaybeAct();
  }
  void ReceivedData(int32_t) override { MaybeAct(); }
  void SentData(int32_t) override {
    MaybeAct();
    m_sent_epoch[m_sending.back()] = m_epoch;  // queued right after this
  }

  // ISocketEvents of the server's end: messages the client sent.
  void Receive(ISocket& socket) override {
    const std::string data = socket.Receive();
    for (size_t at = 0; at < data.size();) {
      const size_t end = data.find('.', at);
      size_t id = 0;
      for (size_t i = at + 1; i < end && i < data.size(); ++i) {
        id = id * 10 + size_t(data[i] - '0');
      }
      if (data[at] != '#' || end == std::string::npos) {
        return Fail("server got a broken message: " + data);
      }
      if (id >= m_sent_epoch.size() || m_sent_epoch[id] != m_epoch) {
        return Fail("message sent before a disconnect went out after it: " +
                    data.substr(at, end + 1 - at));
      }
      at = end + 1;
    }
  }

  std::string_view m_input;
  size_t m_at = 0;
  std::string m_failure;
  int m_depth = 0;
  TCPClientStatusType m_last_state = STATUS_DISCONNECTED;
  int m_epoch = 0;
  int m_connection = 0;
  std::vector<int> m_sent_epoch;  // per message: the epoch it was queued in
  std::vector<size_t> m_sending;  // messages whose Send is under way

  std::shared_ptr<FixedClock> m_clock =
      std::make_shared<FixedClock>(DateTime::FromParts(2026, 3, 2, 9, 30, 15));
  ScopedClock m_scoped{m_clock};
  std::shared_ptr<VirtualTimeScheduler> m_timers =
      std::make_shared<VirtualTimeScheduler>(m_clock);
  std::shared_ptr<MemorySocket> m_socket;
  std::shared_ptr<MemorySocket> m_server;
  std::shared_ptr<CTcpClient> m_client;
};

}  // namespace orvane::test

#endif  // ORVANE_TESTS_CONNECTION_TCP_CLIENT_REENTRANCY_H_
