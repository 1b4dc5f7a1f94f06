#include "orvane/connection/h_client.h"

#include <exception>
#include <utility>

#include "orvane/protocol/process.h"

namespace orvane {

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
  if (m_raising_process) {
    Raise(CProcess::New(), rData);
    return true;
  }
  if (m_process.use_count() == 1) {
    m_process->Renew();
  } else {
    m_process = CProcess::New();
  }
  m_raising_process = true;
  struct Leave {
    bool& flag;
    ~Leave() { flag = false; }
  } leave{m_raising_process};
  Raise(m_process, rData);
  return true;
}

void CHClient::Raise(const std::shared_ptr<CProcess>& process, std::string_view text) {
  try {
    process->DefineProcessByCommand(kProcessLogLevel, text);
  } catch (const std::exception&) {
    // Raised with what was parsed before the error.
  }
  m_events.Raise([&](CHClientEvents& l) { l.Receive(process); });
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
