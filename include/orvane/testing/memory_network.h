#ifndef ORVANE_TESTING_MEMORY_NETWORK_H_
#define ORVANE_TESTING_MEMORY_NETWORK_H_

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "orvane/connection/tcp_client_environment.h"
#include "orvane/core/object.h"
#include "orvane/testing/memory_socket.h"
#include "orvane/testing/virtual_timer.h"

namespace orvane {

class MemoryAcceptor;

// An in-memory network for host tests: a server and many terminals in one
// process, on one thread and on virtual time. Acceptors (MemoryAcceptor)
// listen on it by address and port; the sockets it makes connect to them
// by host and port, as over TCP:
//
// - A Connect is decided on a later turn of the loop. When an acceptor
//   listens on that port, at that host or at "0.0.0.0" or "::", the
//   client's end reports SocketConnected and then the acceptor raises
//   Accepted with the server's end (which raises no event of its own
//   before Accepted returns). Otherwise the connect is refused: the
//   client's end reports SocketClosed.
// - Text and closes travel on later turns, both ways (see
//   MemorySocket::DeferDelivery), unless the network was made with
//   synchronous delivery.
// - The server's end of a connection names "127.0.0.1" and a port of its
//   own (50001, 50002, ...) as its remote address and port; the client's
//   end names the host and port it was given. Proxy settings are kept but
//   not used.
// - A server's end that nobody keeps from Accepted on closes the
//   connection, as a host that turns a connection away.
//
// The loop runs it all: RunUntilIdle settles what is under way, Advance
// also lets the timers of the clients made on it tick.
class MemoryNetwork : public std::enable_shared_from_this<MemoryNetwork>,
                      private NonCopyable {
 private:
  struct Key {};

 public:
  // A network on `loop`; with `deferred_delivery` false its connections
  // deliver synchronously, as a plain MemorySocket pair.
  static std::shared_ptr<MemoryNetwork> Create(
      std::shared_ptr<VirtualTimeScheduler> loop,
      bool deferred_delivery = true);

  // For Create only. Throws orvane::Error(ObjectRequired) without a loop.
  MemoryNetwork(Key, std::shared_ptr<VirtualTimeScheduler> loop,
                bool deferred_delivery);
  ~MemoryNetwork();

  // A new closed socket whose Connect goes through this network.
  std::shared_ptr<MemorySocket> CreateSocket();
  // What a CTcpClient or CHClient runs on here: a new socket of this
  // network, the loop for its timers, and no proxy tester.
  TcpClientEnvironment Environment();
  // The loop that carries this network's turns and times its clients.
  const std::shared_ptr<VirtualTimeScheduler>& Loop() const { return m_loop; }

 private:
  friend class MemoryAcceptor;
  friend class MemorySocket;

  // Listening, called by the acceptors.
  int32_t Bind(MemoryAcceptor* acceptor, const std::string& address,
               int32_t port);
  void Unbind(MemoryAcceptor* acceptor, int32_t port);
  MemoryAcceptor* Find(const std::string& host, int32_t port) const;

  // Called by a socket of this network that starts its `attempt`th connect.
  void StartConnect(const std::shared_ptr<MemorySocket>& client, int attempt,
                    const std::string& host, int32_t port);
  void Complete(const std::shared_ptr<MemorySocket>& client,
                const std::string& host, int32_t port);

  std::shared_ptr<VirtualTimeScheduler> m_loop;
  bool m_deferred_delivery;
  std::map<int32_t, MemoryAcceptor*> m_listening;
  int32_t m_next_free_port;
  int32_t m_next_peer_port;
};

}  // namespace orvane

#endif  // ORVANE_TESTING_MEMORY_NETWORK_H_
