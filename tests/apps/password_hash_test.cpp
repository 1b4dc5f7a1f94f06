// Password hashes, and their checks on a thread of their own.

#include "password_hash.h"

#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "thread_password_checks.h"

namespace orvane::apps {
namespace {

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
