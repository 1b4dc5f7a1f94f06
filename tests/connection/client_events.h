#ifndef ORVANE_TESTS_CONNECTION_CLIENT_EVENTS_H_
#define ORVANE_TESTS_CONNECTION_CLIENT_EVENTS_H_

// The one recorder of a CTcpClient's events for the connection tests: every
// event as text in the order raised ("state:0", "recv:<message>",
// "notconnected", "proxy:<result>:<text>", "rd:<bytes>", "sd:<bytes>"), and
// the states, messages and last proxy test result on their own.

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "orvane/connection/tcp_client.h"

namespace orvane::test {

class ClientEvents : public CTcpClientEvents {
 public:
  void state(TCPClientStatusType s) override {
    states.push_back(s);
    Add("state:" + N(s));
  }
  void Receive(const std::string& data) override {
    messages.push_back(data);
    Add("recv:" + data);
  }
  void NotConnected() override { Add("notconnected"); }
  void ProxyTestResult(ProxyTestResultEnum r, const std::string& m) override {
    proxy_result = r;
    proxy_text = m;
    Add("proxy:" + N(r) + ":" + m);
  }
  void ReceivedData(int32_t bytes) override { Add("rd:" + N(bytes)); }
  void SentData(int32_t bytes) override { Add("sd:" + N(bytes)); }

  int Count(const std::string& e) const { return int(std::count(events.begin(), events.end(), e)); }

  std::vector<std::string> events;
  std::vector<TCPClientStatusType> states;
  std::vector<std::string> messages;
  ProxyTestResultEnum proxy_result = TestingMode;
  std::string proxy_text;

 private:
  static std::string N(int v) { return std::to_string(v); }
  void Add(std::string e) { events.push_back(std::move(e)); }
};

}  // namespace orvane::test

#endif  // ORVANE_TESTS_CONNECTION_CLIENT_EVENTS_H_
