// The terminal's password sources and the check for a host on this machine.

#include "secrets.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace orvane::apps {
namespace {

class SecretFileTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& content) {
    std::ofstream(m_path, std::ios::binary) << content;
    return m_path.string();
  }
  void TearDown() override { std::filesystem::remove(m_path); }

  std::filesystem::path m_path = std::filesystem::temp_directory_path() /
                                 ("orvane_secret_" + std::to_string(getpid()));
};

TEST_F(SecretFileTest, TheFirstLineIsThePassword) {
  EXPECT_EQ(read_secret_file(Write("s3cret pass\nsecond line\n")), "s3cret pass");
  EXPECT_EQ(read_secret_file(Write("windows\r\nnext\r\n")), "windows");
  EXPECT_EQ(read_secret_file(Write("no line end")), "no line end");
}

TEST_F(SecretFileTest, AMissingFileOrAnEmptyFirstLineIsRefused) {
  EXPECT_THROW(read_secret_file(Write("\nlater\n")), std::invalid_argument);
  EXPECT_THROW(read_secret_file(Write("")), std::invalid_argument);
  EXPECT_THROW(read_secret_file((m_path / "none").string()), std::invalid_argument);
}

TEST(LoopbackHostTest, OnlyThisMachinesNamesAndAddressesAreLoopback) {
  for (const char* host : {"localhost", "127.0.0.1", "127.1.2.3", "::1", "[::1]"}) {
    EXPECT_TRUE(is_loopback_host(host)) << host;
  }
  for (const char* host : {"0.0.0.0", "10.0.0.1", "128.0.0.1", "example.com", "::2",
                           "localhost.example.com", "127.0.0.1.example.com", "", "[]"}) {
    EXPECT_FALSE(is_loopback_host(host)) << host;
  }
}

TEST(PromptSecretTest, WithoutATerminalNothingIsAsked) {
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  ASSERT_EQ(write(pipe_fds[1], "typed\n", 6), 6);
  EXPECT_FALSE(prompt_secret("password: ", pipe_fds[0]).has_value());
  close(pipe_fds[0]);
  close(pipe_fds[1]);
}

TEST(PromptSecretTest, ALineTypedAtATerminalIsReadWithoutEcho) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
  ASSERT_GE(slave, 0);
  termios before{};
  ASSERT_EQ(tcgetattr(slave, &before), 0);
  ASSERT_NE(before.c_lflag & ECHO, 0u);
  // Typed before the prompt's flush would drop it: typed from a second
  // thread of control once echo is off.
  const pid_t typist = fork();
  ASSERT_GE(typist, 0);
  if (typist == 0) {
    for (int i = 0; i < 500; ++i) {
      termios now{};
      if (tcgetattr(slave, &now) == 0 && (now.c_lflag & ECHO) == 0) break;
      usleep(2000);
    }
    const bool wrote = write(master, "hunter2\n", 8) == 8;
    _exit(wrote ? 0 : 1);
  }
  const auto typed = prompt_secret("", slave);
  int status = 0;
  waitpid(typist, &status, 0);
  ASSERT_TRUE(typed.has_value());
  EXPECT_EQ(*typed, "hunter2");
  // Nothing of it came back on the terminal, and echo is on again.
  fcntl(master, F_SETFL, O_NONBLOCK);
  char echoed[64] = {};
  const ssize_t got = read(master, echoed, sizeof echoed - 1);
  EXPECT_EQ(std::string(echoed, got > 0 ? static_cast<size_t>(got) : 0).find("hunter2"),
            std::string::npos);
  termios after{};
  ASSERT_EQ(tcgetattr(slave, &after), 0);
  EXPECT_NE(after.c_lflag & ECHO, 0u);
  close(slave);
  close(master);
}

}  // namespace
}  // namespace orvane::apps
