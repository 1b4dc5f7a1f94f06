#include "orvane/connection/h_client.h"

#include <exception>
#include <utility>

#include "orvane/protocol/process.h"

namespace orvane {

CHClient::CHClient(asio::io_context& io, const TlsOptions& tls)
    : CHClient(AsioTcpClientEnvironment(io, tls)) {}

CHClient::CHClient(TcpClientEnvironment environment)
    : m_client(std::make_shared<CTcpClient>(std::move(environment))) {
  m_client->Advise(this);
}

CHClient::~CHClient() {
  m_client->Unadvise(this);
  m_client->Deallocate();
}

void CHClient::state(TCPClientStatusType currentStatus) {
  std::shared_ptr<CHClient> pin = weak_from_this().lock();
  m_events.Raise([&](CHClientEvents& l) { l.state(currentStatus); });
}

void CHClient::Receive(const std::string& rData) { ReceiveView(rData); }

// The message is parsed straight from the client's view of it, into the
// process of the last message when no one kept that one. A message raised
// from within a handler of another (the host ran its event loop there) gets
// a process of its own, since the outer one is still in use.
bool CHClient::ReceiveView(std::string_view rData) {
  std::shared_ptr<CHClient> pin = weak_from_this().lock();
  std::shared_ptr<CProcess> nested;
  const bool outer = !m_raising_process;
  std::shared_ptr<CProcess>& process = outer ? m_process : nested;
  if (outer && process && process.use_count() == 1) {
    process->Renew();
  } else {
    process = CProcess::New();
  }
  try {
    process->DefineProcessByCommand(kProcessLogLevel, rData);
  } catch (const std::exception&) {
    // Raised with what was parsed before the error.
  }
  m_raising_process = true;
  struct Leave {
    bool& flag;
    bool outer;
    ~Leave() {
      if (outer) flag = false;
    }
  } leave{m_raising_process, outer};
  m_events.Raise([&](CHClientEvents& l) { l.Receive(process); });
  return true;
}

void CHClient::NotConnected() {
  std::shared_ptr<CHClient> pin = weak_from_this().lock();
  m_events.Raise([](CHClientEvents& l) { l.NotConnected(); });
}

void CHClient::ProxyTestResult(ProxyTestResultEnum result,
                               const std::string& ErrorMsg) {
  std::shared_ptr<CHClient> pin = weak_from_this().lock();
  m_events.Raise(
      [&](CHClientEvents& l) { l.ProxyTestResult(result, ErrorMsg); });
}

void CHClient::ReceivedData(int32_t Bytes) {
  std::shared_ptr<CHClient> pin = weak_from_this().lock();
  m_events.Raise([&](CHClientEvents& l) { l.ReceivedData(Bytes); });
}

void CHClient::SentData(int32_t Bytes) {
  std::shared_ptr<CHClient> pin = weak_from_this().lock();
  m_events.Raise([&](CHClientEvents& l) { l.SentData(Bytes); });
}

}  // namespace orvane
