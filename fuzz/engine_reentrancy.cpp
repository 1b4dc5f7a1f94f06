// Drives the account engine as a host whose handlers call back into it from
// every kind of event (see tests/support/engine_reentrancy.h). Any crash or
// sanitizer report is a finding; so is an account whose figures, after the
// sequence and a fresh quote of every symbol, differ from a recomputation
// from its records: the target aborts with what differed.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/engine_reentrancy.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string problem = orvane::reentrancy::RunEngineSequence(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "engine re-entrancy: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
