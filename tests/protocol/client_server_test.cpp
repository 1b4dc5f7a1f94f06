#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orvane/protocol/client_server.h"

namespace orvane {
namespace {

// A host's implementation: hands a server request on to its subscribers.
class HostClientServer : public IClientServer {
 public:
  void Deliver(int16_t token, std::vector<std::string>& values) {
    RaiseRequestFromServer(token, static_cast<int16_t>(values.size()), values);
  }
};

class Listener : public IClientServerEvents {
 public:
  void RequestFromServer(int16_t Tkn, int16_t Parameters,
                         std::vector<std::string>& ParamVals) override {
    seen.push_back(std::to_string(Tkn) + "/" + std::to_string(Parameters) + "/" + ParamVals.back());
    ParamVals.back() = "answered";
  }
  std::vector<std::string> seen;
};

TEST(ClientServerTest, RequestFromServerReachesSubscribersByReference) {
  HostClientServer host;
  Listener first, second;
  host.Advise(&first);
  host.Advise(&second);
  std::vector<std::string> values = {"a", "b"};
  host.Deliver(13, values);
  EXPECT_EQ(first.seen, (std::vector<std::string>{"13/2/b"}));
  EXPECT_EQ(second.seen, (std::vector<std::string>{"13/2/answered"}));
  EXPECT_EQ(values.back(), "answered");
  host.Unadvise(&first);
  host.Deliver(14, values);
  EXPECT_EQ(first.seen.size(), 1u);
}

}  // namespace
}  // namespace orvane
