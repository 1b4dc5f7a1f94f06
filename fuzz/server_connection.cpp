// Feeds arbitrary bytes to one reference-server connection over an
// in-memory socket pair, as a peer would send them: before or after a valid
// log-on, cut into chunks. Whatever arrives, the connection answers or
// closes; it never crashes, hangs or holds more than its limit of an
// unterminated message. What the server sends back must itself split into
// whole messages.
//
// Input: the first byte chooses whether a valid log-on goes first (odd) or
// not; then chunks, each a length byte followed by that many bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "../tests/apps/fake_connection_host.h"
#include "orvane/protocol/data_protocol.h"
#include "orvane/protocol/process.h"
#include "orvane/testing/memory_socket.h"
#include "server_connection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvane;
  if (size == 0) return 0;
  apps::test::FakeConnectionHost host;
  auto [server_end, peer] = MemorySocket::CreatePair();
  apps::ConnectionLimits limits;
  limits.max_unterminated_bytes = 512;
  apps::ServerConnection connection(host, server_end, limits);
  connection.start();
  if (data[0] & 1) {
    CProcess login;
    login.DefineRequestByToken(-1, 5, LOGIN_TOKEN, {"alice", "secret"});
    peer->Send(login.ProcessText());
    if (!connection.logged_on()) std::abort();
  }
  size_t at = 1;
  while (at < size && !connection.is_closed()) {
    size_t length = data[at++];
    if (length > size - at) length = size - at;
    peer->Send(std::string_view(reinterpret_cast<const char*>(data + at), length));
    at += length;
  }
  // The answers split into whole messages with nothing left over.
  CDataProtocol split;
  std::vector<std::string> messages;
  split.SplitBuffer(peer->Receive(), messages);
  if (!messages.empty() && !messages.back().empty()) std::abort();
  return 0;
}
