// The terminal's password sources and the check for a host on this machine.

#include "secrets.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "password_hash.h"
#include "thread_password_checks.h"

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

TEST_F(SecretFileTest, TheFirstLineIsThePasswordAndMustBeThere) {
  EXPECT_EQ(read_secret_file(Write("s3cret pass\nsecond line\n")), "s3cret pass");
  EXPECT_EQ(read_secret_file(Write("windows\r\nnext\r\n")), "windows");
  EXPECT_EQ(read_secret_file(Write("no line end")), "no line end");
  // A missing file or an empty first line is refused.
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

// ---- password hash ----
// Password hashes, and their checks on a thread of their own.

TEST(PasswordHashTest, AHashVerifiesItsPasswordOnlyAndCarriesItsCost) {
  const std::string hash = hash_password("s3cret", 3);
  EXPECT_EQ(hash.rfind("pbkdf2-sha256$3$", 0), 0u) << hash;
  EXPECT_EQ(hash.size(), std::string("pbkdf2-sha256$3$").size() + 32 + 1 + 64);
  EXPECT_TRUE(verify_password(hash, "s3cret"));
  for (const char* wrong : {"", "s3cre", "s3cret ", "S3cret"}) {
    EXPECT_FALSE(verify_password(hash, wrong)) << wrong;
  }
  EXPECT_NE(hash_password("s3cret", 3), hash);  // a salt of its own
  std::string other_cost = hash;
  other_cost.replace(std::string("pbkdf2-sha256$").size(), 1, "4");
  EXPECT_FALSE(verify_password(other_cost, "s3cret"));
  EXPECT_THROW(hash_password("x", 0), std::invalid_argument);
}

TEST(PasswordHashTest, AnythingElseIsNoHashAndMatchesNothing) {
  const std::string good = hash_password("", 1);
  const std::string salt_and_hash = good.substr(std::string("pbkdf2-sha256$1$").size());
  for (const std::string& text :
       {std::string("secret"), std::string(), std::string("pbkdf2-sha256"),
        "pbkdf2-sha256$0$" + salt_and_hash, "pbkdf2-sha256$-1$" + salt_and_hash,
        "pbkdf2-sha256$1x$" + salt_and_hash, "pbkdf2-sha256$4294967296$" + salt_and_hash,
        "pbkdf2-sha1$1$" + salt_and_hash, good.substr(0, good.size() - 2),
        good.substr(0, good.size() - 1) + "g", good + "00"}) {
    EXPECT_FALSE(is_password_hash(text)) << text;
    EXPECT_FALSE(verify_password(text, "")) << text;
  }
  EXPECT_TRUE(is_password_hash(good));
  EXPECT_TRUE(verify_password(good, ""));
}

TEST(PasswordHashTest, ABooksPasswordsAreHashedOnceAndKeptHashedAfter) {
  model::Snapshot book;
  book.users = {{"alice", "secret", 10, "", 2, ""},
                {"bob", hash_password("pass", 2), 20, "", 2, ""}};
  const std::string bobs = book.users[1].password;
  hash_passwords(book, 2);
  EXPECT_TRUE(verify_password(book.users[0].password, "secret"));
  EXPECT_EQ(book.users[1].password, bobs);
  const std::string alices = book.users[0].password;
  hash_passwords(book, 2);
  EXPECT_EQ(book.users[0].password, alices);
}

TEST(PasswordHashTest, ChecksOnTheirThreadAnswerOnTheIoThreadInTurn) {
  asio::io_context io;
  auto guard = asio::make_work_guard(io);
  std::vector<std::string> answers;
  std::vector<std::thread::id> threads;
  {
    ThreadPasswordChecks checks(io);
    const std::string hash = hash_password("right", 2000);
    for (const char* given : {"wrong", "right", "again"}) {
      checks.check(hash, given, [&, given](bool ok) {
        answers.push_back(std::string(given) + (ok ? " ok" : " no"));
        threads.push_back(std::this_thread::get_id());
      });
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (answers.size() < 3 && std::chrono::steady_clock::now() < deadline) {
      io.run_for(std::chrono::milliseconds(10));
    }
  }
  EXPECT_EQ(answers, (std::vector<std::string>{"wrong no", "right ok", "again no"}));
  for (const std::thread::id& id : threads) EXPECT_EQ(id, std::this_thread::get_id());
}

}  // namespace
}  // namespace orvane::apps
