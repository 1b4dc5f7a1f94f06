// The crash hook of the crash campaign: it must end the process at exactly
// the commit asked for, with that batch appended but not committed, and be
// invisible otherwise.

#include "crash_before_commit.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "memory_store.h"
#include "scratch_directory.h"
#include "sqlite_store.h"

namespace orvane::apps {
namespace {

model::Change Tick(int second) {
  model::MarketTimeAdvanced change;
  change.text = "03/03/2027 12:00:" + std::string(second < 10 ? "0" : "") + std::to_string(second);
  return change;
}

// What the wrapped store held each time the kill came.
struct Kills {
  std::vector<size_t> batches_committed;
  std::vector<size_t> changes_committed;
};

TEST(CrashBeforeCommitTest, KillsAtTheNthCommitBeforeTheStoreBeneathCommits) {
  MemoryStore inner({}, true);
  Kills kills;
  CrashBeforeCommit store(inner, 3, [&] {
    kills.batches_committed.push_back(inner.batches());
    kills.changes_committed.push_back(inner.committed().size());
  });
  for (int batch = 1; batch <= 5; ++batch) {
    store.append(Tick(batch));
    EXPECT_TRUE(store.commit().ok());
    EXPECT_EQ(kills.batches_committed.size(), batch >= 3 ? 1u : 0u) << "after commit " << batch;
  }
  ASSERT_EQ(kills.batches_committed.size(), 1u);
  EXPECT_EQ(kills.batches_committed[0], 2u);  // the third batch was not committed yet
  EXPECT_EQ(kills.changes_committed[0], 2u);
  EXPECT_EQ(store.commits(), 5u);
  EXPECT_EQ(inner.batches(), 5u);
}

TEST(CrashBeforeCommitTest, KillsAtTheFirstCommitWhenAskedFor) {
  MemoryStore inner;
  int killed = 0;
  CrashBeforeCommit store(inner, 1, [&] { ++killed; });
  EXPECT_TRUE(store.commit().ok());
  EXPECT_EQ(killed, 1);
  EXPECT_TRUE(store.commit().ok());
  EXPECT_EQ(killed, 1);
}

TEST(CrashBeforeCommitTest, ForwardsEveryCallAndTheStoresAnswers) {
  model::Snapshot book;
  book.sequences.ticket = 41;
  MemoryStore inner(book, true);
  int killed = 0;
  CrashBeforeCommit store(inner, 100, [&] { ++killed; });
  EXPECT_EQ(store.load().sequences.ticket, 41);

  store.append(Tick(1));
  store.append(Tick(2));
  store.set_meta("feed_delivered", "7");
  EXPECT_EQ(store.meta("feed_delivered"), "7");
  EXPECT_EQ(store.meta("never set"), std::nullopt);
  EXPECT_TRUE(store.commit().ok());
  ASSERT_EQ(inner.committed().size(), 2u);
  EXPECT_EQ(std::get<model::MarketTimeAdvanced>(inner.committed()[1]).text,
            "03/03/2027 12:00:02");
  EXPECT_EQ(inner.meta("feed_delivered"), "7");

  inner.fail_commits("disk full");
  store.append(Tick(3));
  const StoreStatus failed = store.commit();
  EXPECT_FALSE(failed.ok());
  EXPECT_EQ(failed.message(), "disk full");
  EXPECT_EQ(inner.committed().size(), 2u);
  EXPECT_EQ(killed, 0);
}

TEST(CrashBeforeCommitTest, LeavesHistoryWhereTheStoreBeneathKeepsIt) {
  ScratchDirectory directory;
  auto inner = SqliteStore::open(directory.path());
  model::Snapshot book;
  model::HistoryEntry entry;
  entry.client = 10;
  entry.ticket = 7;
  book.history = {entry};
  ASSERT_TRUE(inner->seed(book).ok());
  CrashBeforeCommit store(*inner, 100, [] {});
  EXPECT_TRUE(store.keeps_history());
  EXPECT_TRUE(store.load_state().history.empty());
  ASSERT_EQ(store.history(10).size(), 1u);
  EXPECT_EQ(store.history(10)[0].ticket, 7);
  EXPECT_TRUE(store.history(20).empty());
}

TEST(CrashBeforeCommitTest, ReadsTheCommitFromTheEnvironmentStrictly) {
  EXPECT_EQ(CrashBeforeCommit::commit_from_environment(nullptr), std::nullopt);
  EXPECT_EQ(CrashBeforeCommit::commit_from_environment("1"), 1u);
  EXPECT_EQ(CrashBeforeCommit::commit_from_environment("250"), 250u);
  for (const char* bad : {"", "0", "-3", "2x", " 4", "1.5", "nan"}) {
    EXPECT_THROW(CrashBeforeCommit::commit_from_environment(bad), std::invalid_argument) << bad;
  }
  try {
    CrashBeforeCommit::commit_from_environment("abc");
    FAIL() << "abc was taken";
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find("ORVANE_CRASH_BEFORE_COMMIT"), std::string::npos)
        << e.what();
  }
}

}  // namespace
}  // namespace orvane::apps
