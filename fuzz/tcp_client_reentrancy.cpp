// Drives a TCP client over the in-memory socket and virtual time with
// server data, closes, connects, time and host calls made from inside its
// events; aborts on any broken rule (see the driver's header).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "../tests/connection/tcp_client_reentrancy.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string failure = orvane::test::TcpClientReentrancy::Run(
      std::string_view(reinterpret_cast<const char*>(data), size));
  if (!failure.empty()) {
    std::fprintf(stderr, "broken rule: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
