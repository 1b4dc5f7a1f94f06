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
  m_events.Raise([&](CHClientEvents& l) { l.state(currentStatus); });
}

void CHClient::Receive(const std::string& rData) {
  auto process = std::make_shared<CProcess>();
  try {
    process->DefineProcessByCommand(kProcessLogLevel, rData);
  } catch (const std::exception&) {
    // Raised with what was parsed before the error.
  }
  m_events.Raise([&](CHClientEvents& l) { l.Receive(process); });
}

void CHClient::NotConnected() {
  m_events.Raise([](CHClientEvents& l) { l.NotConnected(); });
}

void CHClient::ProxyTestResult(ProxyTestResultEnum result,
                               const std::string& ErrorMsg) {
  m_events.Raise(
      [&](CHClientEvents& l) { l.ProxyTestResult(result, ErrorMsg); });
}

void CHClient::ReceivedData(int32_t Bytes) {
  m_events.Raise([&](CHClientEvents& l) { l.ReceivedData(Bytes); });
}

void CHClient::SentData(int32_t Bytes) {
  m_events.Raise([&](CHClientEvents& l) { l.SentData(Bytes); });
}

}  // namespace orvane
