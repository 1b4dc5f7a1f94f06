// Plays a hostile server to one terminal on the in-memory network and
// virtual time: after the log-on, the input is a series of steps (row
// counts, rows and runs of rows with any numbers, prices, pushes, answers
// and errors with any parameters, raw bytes, unterminated floods, time
// passing, honest answers). The terminal may not crash, allocate without
// bound (the fuzzer's RSS limit), log more than a few lines a step, ask
// for more lost rows than its bounds allow, or fail to log on again.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "apps/hostile_server.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto result = orvane::apps::test::RunHostileSession(data, size);
  if (!result.broken.empty()) {
    std::fprintf(stderr, "terminal_receive: %s after %zu steps\n", result.broken.c_str(),
                 result.steps);
    std::abort();
  }
  return 0;
}
