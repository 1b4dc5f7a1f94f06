// Feeds arbitrary bytes to the metrics endpoint, as an HTTP client on the
// loopback would send them, cut into chunks, on an in-memory network and
// virtual time. Whatever arrives, the endpoint answers once with a status
// line it knows, or closes; it never crashes or hangs. The request head
// parser alone must agree with itself on every prefix: a head found
// complete has a method and a target (a path, or "*") and stays complete,
// with the same ones, as more bytes follow.
//
// Input: chunks, each a length byte followed by that many bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "metrics_endpoint.h"
#include "orvane/testing/memory_acceptor.h"
#include "orvane/testing/memory_network.h"
#include "orvane/testing/memory_socket.h"
#include "orvane/testing/virtual_timer.h"

namespace {

void CheckParserOnPrefixes(std::string_view text) {
  using orvane::apps::HttpRequestHead;
  using orvane::apps::parse_http_request;
  HttpRequestHead first_complete;
  for (size_t end = 0; end <= text.size(); ++end) {
    const HttpRequestHead head = parse_http_request(text.substr(0, end));
    if (first_complete.outcome == HttpRequestHead::kComplete) {
      if (head.outcome != HttpRequestHead::kComplete || head.method != first_complete.method ||
          head.path != first_complete.path) {
        std::abort();
      }
    } else if (head.outcome == HttpRequestHead::kComplete) {
      if (head.path.empty() || head.method.empty()) std::abort();  // "*" is a target too
      first_complete = head;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvane;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  if (size <= 4096) CheckParserOnPrefixes(input);

  auto time = std::make_shared<VirtualTimeScheduler>();
  auto network = MemoryNetwork::Create(time);
  apps::MetricsEndpoint endpoint(std::make_shared<MemoryAcceptor>(network), time,
                                 [] { return std::string("up 1\n"); }, [] { return true; });
  const int32_t port = endpoint.listen("127.0.0.1", 0);
  auto client = network->CreateSocket();
  client->Connect("127.0.0.1", port);
  time->RunUntilIdle();
  size_t at = 0;
  while (at < size && client->State() == SocketConnected) {
    size_t length = data[at++];
    if (length > size - at) length = size - at;
    client->Send(input.substr(at, length));
    at += length;
    time->RunUntilIdle();
  }
  time->Advance(6000);  // past the request timeout: nothing stays open
  const std::string answer = client->Receive();
  if (client->State() != SocketClosed || endpoint.connections() != 0) std::abort();
  if (!answer.empty() && answer.rfind("HTTP/1.1 ", 0) != 0) std::abort();
  return 0;
}
