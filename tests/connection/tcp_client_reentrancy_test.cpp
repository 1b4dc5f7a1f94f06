#include "connection/tcp_client_reentrancy.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace orvane {
namespace {

// Every input the fuzz target keeps (its seeds and the crashers it found)
// still keeps every rule, so a regression shows without a fuzzing build.
TEST(TcpClientReentrancyTest, TheFuzzCorpusKeepsEveryRule) {
  const char* root = std::getenv("ORVANE_SOURCE_DIR");
  ASSERT_NE(root, nullptr) << "ORVANE_SOURCE_DIR names the source tree";
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(
           std::filesystem::path(root) / "fuzz/corpus/tcp_client_reentrancy")) {
    std::ifstream file(entry.path(), std::ios::binary);
    const std::string input{std::istreambuf_iterator<char>(file), {}};
    EXPECT_EQ(test::TcpClientReentrancy::Run(input), "")
        << entry.path().filename();
    ++inputs;
  }
  EXPECT_GT(inputs, 0);
}

}  // namespace
}  // namespace orvane
