// The umbrella header compiles on its own and brings in the whole contract.
#include "orvane/orvane.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(UmbrellaTest, OneIncludeReachesEverySubsystem) {
  auto symbol = std::make_shared<CSymbol>();
  auto clients = std::make_shared<CClients>();
  CDataProtocol protocol;
  EXPECT_EQ(symbol->ID(), 0);
  EXPECT_EQ(clients->Count(), 0);
  symbol->Deallocate();
  clients->Deallocate();
}

}  // namespace
}  // namespace orvane
