// The listener when the process has no descriptor left.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "orvane/asio/asio_listener.h"
#include "orvane/core/error.h"
#include "peers.h"

namespace orvane {
namespace {

// Driven as a host that takes any acceptor drives it.
TEST(AsioListenerTest, ListensStopsAndRefusesABusyPort) {
  asio::io_context io;
  AsioListener real(io);
  IAcceptor& listener = real;
  EXPECT_EQ(listener.LocalPort(), 0);
  int port = listener.Listen("127.0.0.1", 0);
  EXPECT_GT(port, 0);
  EXPECT_TRUE(listener.IsListening());
  AsioListener real_second(io);
  IAcceptor& second = real_second;
  EXPECT_THROW(second.Listen("127.0.0.1", port), Error);
  EXPECT_THROW(second.Listen("not-an-address", 0), Error);
  EXPECT_FALSE(second.IsListening());
  listener.Close();
  EXPECT_EQ(listener.LocalPort(), 0);
  EXPECT_FALSE(test::PortAccepts(port));
}

struct Host : AsioListenerEvents {
  void Accepted(const std::shared_ptr<ISocket>& child) override { children.push_back(child); }
  void Dropped(const std::string& address, const std::string& why) override {
    dropped.push_back(address + ": " + why);
  }
  std::vector<std::shared_ptr<ISocket>> children;
  std::vector<std::string> dropped;
};

// Takes every descriptor the process has left, under a soft limit lowered
// for the purpose; gives them back when it goes.
class Exhaustion {
 public:
  Exhaustion() {
    getrlimit(RLIMIT_NOFILE, &m_saved);
    const int probe = ::open("/dev/null", O_RDONLY);
    ::close(probe);
    rlimit low = m_saved;
    low.rlim_cur = static_cast<rlim_t>(probe + 16);
    setrlimit(RLIMIT_NOFILE, &low);
    for (int fd; (fd = ::open("/dev/null", O_RDONLY)) >= 0;) m_taken.push_back(fd);
  }
  ~Exhaustion() {
    for (int fd : m_taken) ::close(fd);
    setrlimit(RLIMIT_NOFILE, &m_saved);
  }
  Exhaustion(const Exhaustion&) = delete;
  Exhaustion& operator=(const Exhaustion&) = delete;

 private:
  rlimit m_saved{};
  std::vector<int> m_taken;
};

TEST(AsioListenerTest, OutOfDescriptorsAWaitingConnectionIsDroppedAndTheNextServed) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  // The sanitizers' own checks (a virtual call's object, say) open descriptors
  // of their own and fail when there are none; the plain build runs this.
  GTEST_SKIP() << "needs a process whose runtime opens no descriptors";
#endif
  asio::io_context io;
  AsioListener listener(io);
  Host host;
  listener.Advise(&host);
  const asio::ip::tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"),
                                         uint16_t(listener.Listen("127.0.0.1", 0)));
  asio::ip::tcp::socket waiting(io);
  waiting.connect(endpoint);  // complete in the kernel's backlog
  {
    Exhaustion exhaustion;
    ASSERT_TRUE(test::RunUntil(io, [&] { return !host.dropped.empty(); }));
    EXPECT_EQ(host.dropped[0],
              "127.0.0.1: no descriptor left for it (the open file limit is reached)");
    char byte = 0;
    std::error_code ec;
    EXPECT_EQ(waiting.read_some(asio::buffer(&byte, 1), ec), 0u);
    EXPECT_EQ(ec, asio::error::eof);
    EXPECT_TRUE(host.children.empty());
  }
  asio::ip::tcp::socket next(io);
  next.connect(endpoint);
  ASSERT_TRUE(test::RunUntil(io, [&] { return host.children.size() == 1; }));
  EXPECT_EQ(host.dropped.size(), 1u);
  listener.Unadvise(&host);
}

}  // namespace
}  // namespace orvane
