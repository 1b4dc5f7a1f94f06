// Parses arbitrary text as a received message and reads everything a host
// may read from it; aborts on any broken rule (see the driver's header).
// Nothing may crash, hang or leak.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "protocol/received_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string failure = orvane::test::ReadReceivedMessage(
      std::string_view(reinterpret_cast<const char*>(data), size));
  if (!failure.empty()) {
    std::fprintf(stderr, "broken rule: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
