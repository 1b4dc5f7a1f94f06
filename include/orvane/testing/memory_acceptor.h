#ifndef ORVANE_TESTING_MEMORY_ACCEPTOR_H_
#define ORVANE_TESTING_MEMORY_ACCEPTOR_H_

#include <concepts>
#include <cstdint>
#include <memory>
#include <string>

#include "orvane/core/event_source.h"
#include "orvane/core/object.h"
#include "orvane/io/acceptor.h"
#include "orvane/testing/memory_network.h"
#include "orvane/testing/memory_socket.h"

namespace orvane {

// An acceptor on a MemoryNetwork, for host tests: a server host given an
// IAcceptor runs unchanged over it, while its clients connect through the
// network's sockets (see MemoryNetwork for how a connect is decided).
//
// Listen takes any non-empty address text; "0.0.0.0" and "::" take connects
// to every host. Port 0 picks a free port (from 40000 up). A port that
// another acceptor of the network listens on is refused. Each connection is
// admitted (IAcceptorEvents::Admit) and offered at once; one a listener does
// not admit is closed.
class MemoryAcceptor : public IAcceptor, private NonCopyable {
 public:
  // Not listening yet. Throws orvane::Error(ObjectRequired) without a
  // network.
  explicit MemoryAcceptor(std::shared_ptr<MemoryNetwork> network);
  ~MemoryAcceptor() override;

  // IAcceptor. Listen throws orvane::Error(InvalidArgument) for an empty
  // address, a port outside 0..65535, or a port already listened on.
  int32_t Listen(const std::string& address, int32_t port) override;
  // Connects still being decided are refused once it has closed.
  void Close() override;
  bool IsListening() const override { return m_local_port != 0; }
  int32_t LocalPort() const override { return m_local_port; }

  // Subscribes a listener (not owned). A handler class is checked at
  // compile time: none of its functions may hide one of the events.
  template <std::derived_from<IAcceptorEvents> Handler>
  void Advise(Handler* listener) {
    IAcceptorEvents::CheckHandler<Handler>();
    Advise(static_cast<IAcceptorEvents*>(listener));
  }
  // The same for a listener given as the interface; nothing to check.
  void Advise(IAcceptorEvents* listener) override { m_events.Advise(listener); }
  // Ends a subscription; a listener not subscribed is ignored.
  void Unadvise(IAcceptorEvents* listener) override {
    m_events.Unadvise(listener);
  }

  // The address it listens on; empty when not listening.
  const std::string& LocalAddress() const { return m_local_address; }
  // Connections it has handed out.
  int AcceptedCount() const { return m_accepted; }

 private:
  friend class MemoryNetwork;
  void Offer(const std::shared_ptr<MemorySocket>& child);

  std::shared_ptr<MemoryNetwork> m_network;
  std::string m_local_address;
  int32_t m_local_port = 0;
  int m_accepted = 0;
  EventSource<IAcceptorEvents> m_events;
};

}  // namespace orvane

#endif  // ORVANE_TESTING_MEMORY_ACCEPTOR_H_
