// Replays the committed inputs of the engine re-entrancy fuzz target, so that
// a regression shows in the normal test run.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "support/engine_reentrancy.h"

namespace orvane {
namespace {

TEST(EngineReentrancyCorpus, EveryInputLeavesTheFiguresTrue) {
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(ORVANE_ENGINE_CORPUS)) {
    std::ifstream file(entry.path(), std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file),
                                     std::istreambuf_iterator<char>()};
    EXPECT_EQ(reentrancy::RunEngineSequence(bytes.data(), bytes.size()), "")
        << entry.path().filename();
    ++inputs;
  }
  EXPECT_GT(inputs, 0);
}

}  // namespace
}  // namespace orvane
