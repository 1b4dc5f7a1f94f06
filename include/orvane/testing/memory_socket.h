#ifndef ORVANE_TESTING_MEMORY_SOCKET_H_
#define ORVANE_TESTING_MEMORY_SOCKET_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "orvane/core/event_source.h"
#include "orvane/core/object.h"
#include "orvane/io/socket.h"
#include "orvane/testing/virtual_timer.h"

namespace orvane {

class MemoryNetwork;

// An in-memory socket for tests: two MemorySockets joined as a connected
// pair behave like the two ends of a TCP connection on one thread.
//
// Delivery is synchronous: Send appends the text to the other end's input
// and raises its Receive event before Send returns, unless that end is
// already inside one of its own handlers, in which case the event follows as
// soon as the handler returns (events of one socket never nest). Close on
// either end closes both, and each end raises State(SocketClosed); text
// received before the close stays readable. Destroying an end closes the
// connection as Close does.
//
// A lone socket from Create() starts closed. Connect puts it in
// SocketConnecting (raising State) and the test decides the outcome with
// AcceptConnect() or RefuseConnect().
//
// A socket made by a MemoryNetwork connects to the network's acceptors
// instead (see MemoryNetwork); the test controls above still work on it.
//
// Deferred delivery (DeferDelivery) is the opt-in alternative to the above:
// what an end sends, and its close, reach the peer on a later turn of a
// VirtualTimeScheduler, as over TCP. And an end can stop reading
// (StopReading), so that what is sent to it backs up at the sender: its
// UnsentBytes() grows and Blocked() turns true past a threshold, as on a
// real socket whose peer does not read.
class MemorySocket : public ISocket,
                     public std::enable_shared_from_this<MemorySocket>,
                     private NonCopyable {
 private:
  struct Key {};

 public:
  // The default BlockedThreshold, the same as the Asio socket's.
  static constexpr size_t kDefaultBlockedBytes = size_t(1) << 20;

  static std::shared_ptr<MemorySocket> Create();
  // Two connected ends. The first end's remote port is `second_port` and the
  // second's is `first_port`; both report the remote address "127.0.0.1".
  static std::pair<std::shared_ptr<MemorySocket>, std::shared_ptr<MemorySocket>>
  CreatePair(int32_t first_port = 50001, int32_t second_port = 4500);

  explicit MemorySocket(Key);
  ~MemorySocket() override;

  // ISocket
  std::string RemoteAddress() const override { return m_remote_address; }
  int32_t RemotePort() const override;
  SocketStateEnum State() const override { return m_state; }
  // True while Blocked(true) holds or UnsentBytes() exceeds
  // BlockedThreshold().
  bool Blocked() const override;
  void Connect(const std::string& host, int32_t port) override;
  void Send(std::string_view text) override;
  std::string Receive() override;
  void Close() override;
  // Text sent and not yet taken by the peer: on its way (deferred
  // delivery) or held back because the peer stopped reading. 0 while not
  // connected, though text sent before a close still arrives.
  size_t UnsentBytes() const override;
  const SocketProxy& Proxy() const override { return m_proxy; }
  void Proxy(const SocketProxy& proxy) override { m_proxy = proxy; }
  int32_t LingerSeconds() const override { return m_linger_seconds; }
  void LingerSeconds(int32_t seconds) override { m_linger_seconds = seconds; }
  bool NoDelay() const override { return m_no_delay; }
  void NoDelay(bool value) override { m_no_delay = value; }
  std::shared_ptr<Object> Session() const override { return m_session; }
  void Session(std::shared_ptr<Object> session) override {
    m_session = std::move(session);
  }
  void Advise(ISocketEvents* listener) override { m_events.Advise(listener); }
  void Unadvise(ISocketEvents* listener) override {
    m_events.Unadvise(listener);
  }

  // Test controls.

  // Completes a pending Connect: both ends become connected (each raises
  // State(SocketConnected)) and the other end is returned. Returns nullptr
  // when no Connect is pending.
  std::shared_ptr<MemorySocket> AcceptConnect();
  // Fails a pending Connect: the socket goes back to SocketClosed and raises
  // State(SocketClosed). Does nothing when no Connect is pending.
  void RefuseConnect();
  // Forces Blocked() true while set, whatever UnsentBytes() says.
  void Blocked(bool value) { m_blocked = value; }
  // The most unsent bytes at which Blocked() is still false.
  size_t BlockedThreshold() const { return m_blocked_threshold; }
  void BlockedThreshold(size_t bytes) { m_blocked_threshold = bytes; }
  // This end stops taking what reaches it: the text is held back, raises no
  // Receive and counts in the sender's UnsentBytes(), as in the buffers of a
  // connection whose reader does not read. ResumeReading hands over all of
  // it (one Receive, at once) and takes text again. When the connection
  // closes, what was held back is dropped.
  void StopReading() { m_reading = false; }
  void ResumeReading();
  // From now on the text this end sends, and the close it makes, reach the
  // peer on a later turn of `loop` (VirtualTimeScheduler::Post) instead of
  // before Send or Close returns; this end itself closes at once. Order is
  // kept: the peer reads the text in send order and then sees the close.
  // Until its turn the text counts in UnsentBytes(). Text on its way when
  // the peer has closed (or has gone, or joined a new connection) is
  // dropped. Each end decides for its own sending: call it on both ends for
  // a connection deferred both ways. nullptr goes back to synchronous
  // delivery for what is sent from then on.
  void DeferDelivery(std::shared_ptr<VirtualTimeScheduler> loop) {
    m_loop = std::move(loop);
  }
  // While set, Connect or Send throw orvane::Error(InvalidArgument) and
  // change nothing.
  void FailConnect(bool value) { m_fail_connect = value; }
  void FailSend(bool value) { m_fail_send = value; }

  // Every text accepted by Send, in call order.
  const std::vector<std::string>& SentTexts() const { return m_sent; }
  // Host and port of the latest Connect, and how many were made.
  const std::string& ConnectHost() const { return m_connect_host; }
  int32_t ConnectPort() const { return m_connect_port; }
  int ConnectCount() const { return m_connect_count; }
  // How many times Close was called on this end (closes by the peer and by
  // destruction are not counted).
  int CloseCount() const { return m_close_count; }

 private:
  friend class MemoryNetwork;

  struct PendingEvent {
    bool is_state;
    SocketStateEnum state;
  };
  // One connection, shared by its two ends while both are on it.
  struct Link {};

  void Join(const std::shared_ptr<MemorySocket>& peer,
            const std::shared_ptr<Link>& link, std::string address,
            int32_t remote_port);
  void Deliver(std::string_view text);
  void CloseConnection();
  void ClosePeer(const std::shared_ptr<MemorySocket>& peer);
  void SetState(SocketStateEnum state);
  void Queue(PendingEvent event);
  void Drain();

  SocketStateEnum m_state = SocketClosed;
  bool m_blocked = false;
  bool m_fail_connect = false;
  bool m_fail_send = false;
  std::string m_remote_address;
  int32_t m_remote_port = 0;
  std::weak_ptr<MemorySocket> m_peer;
  std::shared_ptr<Link> m_link;
  std::shared_ptr<VirtualTimeScheduler> m_loop;
  std::shared_ptr<MemoryNetwork> m_network;
  size_t m_in_flight = 0;
  size_t m_blocked_threshold = kDefaultBlockedBytes;
  bool m_reading = true;
  std::string m_held_back;
  std::string m_inbox;
  SocketProxy m_proxy;
  int32_t m_linger_seconds = 0;
  bool m_no_delay = false;
  std::shared_ptr<Object> m_session;
  std::vector<std::string> m_sent;
  std::string m_connect_host;
  int32_t m_connect_port = 0;
  int m_connect_count = 0;
  int m_close_count = 0;
  EventSource<ISocketEvents> m_events;
  std::deque<PendingEvent> m_pending;
  bool m_raising = false;
};

}  // namespace orvane

#endif  // ORVANE_TESTING_MEMORY_SOCKET_H_
