// The store's rules, run against every store: each factory hands out the location of a fresh,
// empty database (SQLite: a new file in a temporary folder).
#include "service/message_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "service/sqlite_store.h"

namespace brindle::service {
namespace {

namespace fs = std::filesystem;

struct StoreFactory {
  const char* name;
  std::function<std::string()> freshLocation;
};

fs::path TempFolder() {
  static const fs::path folder = [] {
    std::string pattern = (fs::temp_directory_path() / "store-test-XXXXXX").string();
    const char* made = mkdtemp(pattern.data());
    return fs::path(made == nullptr ? "." : made);
  }();
  return folder;
}

std::string FreshSqliteFile() {
  static int count = 0;
  return (TempFolder() / ("db" + std::to_string(++count) + ".sqlite")).string();
}

const std::vector<StoreFactory>& Factories() {
  static const std::vector<StoreFactory> factories = {{"sqlite", FreshSqliteFile}};
  return factories;
}

Message Score(std::int64_t game, std::string handle, std::int64_t score, std::string sender,
              std::string sentAt, std::int64_t utc) {
  Message m;
  m.status = MessageStatus::kScore;
  m.sender = std::move(sender);
  m.sentAt = std::move(sentAt);
  m.sentAtUtc = utc;
  m.gameId = game;
  m.fixed = 1;
  m.score = score;
  m.handle = std::move(handle);
  // A distinct PDU per message, as real ones are.
  m.pdu = "PDU-" + std::to_string(game) + "-" + m.handle + "-" + std::to_string(score) + "-" +
          m.sender + "-" + m.sentAt;
  return m;
}

Message Rejected(std::string reason, std::string pdu) {
  Message m;
  m.status = MessageStatus::kRejected;
  m.reason = std::move(reason);
  m.pdu = std::move(pdu);
  return m;
}

class StoreRules : public ::testing::TestWithParam<StoreFactory> {
 protected:
  void SetUp() override {
    location_ = GetParam().freshLocation();
    store_ = Open(OpenMode::kCreateIfMissing);
    ASSERT_NE(store_, nullptr);
  }
  std::unique_ptr<MessageStore> Open(OpenMode mode) {
    StoreError error;
    auto store = OpenMessageStore(location_, mode, error);
    EXPECT_NE(store, nullptr) << error.text;
    return store;
  }
  std::vector<KeepResult> Keep(const std::vector<Message>& batch) {
    std::vector<KeepResult> results;
    StoreError error;
    EXPECT_TRUE(store_->Keep(batch, results, error)) << error.text;
    return results;
  }
  std::vector<StoredMessage> All(MessageStore& store) {
    std::vector<StoredMessage> all;
    StoreError error;
    EXPECT_TRUE(store.ForEachMessage(
        [&](const StoredMessage& m) {
          all.push_back(m);
          return true;
        },
        error))
        << error.text;
    return all;
  }
  std::vector<GameLeaderboard> Board(std::optional<std::int64_t> game, std::int64_t top) {
    std::vector<GameLeaderboard> games;
    StoreError error;
    EXPECT_TRUE(store_->Leaderboard({game, top}, games, error)) << error.text;
    return games;
  }

  std::string location_;
  std::unique_ptr<MessageStore> store_;
};

TEST_P(StoreRules, KeepsEveryFieldInTheOrderStored) {
  const Message odd = Score(3, std::string("\xE9t\xE9 'x'; DROP TABLE messages;--<b>&\0z", 36),
                            99999999, "+447700900123", "2026-12-06T21:15:03+01:00", 100);
  const Message refused = Rejected("odd number of hex digits", "0004ABC");
  const std::vector<KeepResult> results = Keep({odd, refused});
  ASSERT_EQ(results.size(), 2U);
  EXPECT_TRUE(results[0].added);
  EXPECT_TRUE(results[1].added);
  EXPECT_LT(results[0].id, results[1].id);

  store_.reset();  // what was committed is there for a new reader
  auto reader = Open(OpenMode::kExistingOnly);
  ASSERT_NE(reader, nullptr);
  const std::vector<StoredMessage> all = All(*reader);
  ASSERT_EQ(all.size(), 2U);
  EXPECT_EQ(all[0].id, results[0].id);
  const Message& first = all[0].message;
  EXPECT_EQ(first.status, MessageStatus::kScore);
  EXPECT_EQ(first.handle, odd.handle);
  EXPECT_EQ(first.sender, odd.sender);
  EXPECT_EQ(first.sentAt, odd.sentAt);
  EXPECT_EQ(first.sentAtUtc, 100);
  EXPECT_EQ(first.pdu, odd.pdu);
  EXPECT_EQ(first.gameId, 3);
  EXPECT_EQ(first.fixed, 1);
  EXPECT_EQ(first.score, 99999999);
  EXPECT_TRUE(first.reason.empty());
  const Message& second = all[1].message;
  EXPECT_EQ(second.status, MessageStatus::kRejected);
  EXPECT_EQ(second.reason, "odd number of hex digits");
  EXPECT_EQ(second.pdu, "0004ABC");
  EXPECT_TRUE(second.sender.empty());
  EXPECT_TRUE(second.sentAt.empty());
}

TEST_P(StoreRules, SameMessageIsStoredOnce) {
  const Message ann = Score(1, "Ann", 10, "+447700900123", "2026-12-06T21:15:03+01:00", 100);
  const std::vector<KeepResult> first = Keep({ann});
  // Listed again in a later round, and twice within one batch.
  const std::vector<KeepResult> again = Keep({ann, ann});
  ASSERT_EQ(again.size(), 2U);
  EXPECT_FALSE(again[0].added);
  EXPECT_FALSE(again[1].added);
  EXPECT_EQ(again[0].id, first[0].id);
  EXPECT_EQ(again[1].id, first[0].id);

  // Differing in any one of sender, time stamp or PDU makes another message.
  Message otherSender = ann;
  otherSender.sender = "+447700900999";
  Message otherStamp = ann;
  otherStamp.sentAt = "2026-12-06T21:15:04+01:00";
  Message otherPdu = ann;
  otherPdu.pdu += "00";
  const Message unreadable = Rejected("cut off", "0004");
  const std::vector<KeepResult> others =
      Keep({otherSender, otherStamp, otherPdu, unreadable, unreadable});
  EXPECT_TRUE(others[0].added && others[1].added && others[2].added && others[3].added);
  EXPECT_FALSE(others[4].added);
  EXPECT_EQ(All(*store_).size(), 5U);
}

struct BoardCase {
  const char* name;
  std::vector<Message> messages;
  std::optional<std::int64_t> game;
  std::int64_t top;
  // Per game "id: rank handle score sender sentAt" rows.
  std::vector<std::string> rows;
};

std::vector<std::string> Rows(const std::vector<GameLeaderboard>& games) {
  std::vector<std::string> rows;
  for (const GameLeaderboard& game : games) {
    for (const LeaderboardEntry& e : game.entries) {
      rows.push_back(std::to_string(game.gameId) + ": " + std::to_string(e.rank) + " " + e.handle +
                     " " + std::to_string(e.score) + " " + e.sender + " " + e.sentAt);
    }
  }
  return rows;
}

const char* const kA = "+441";
const char* const kB = "+442";

std::vector<BoardCase> BoardCases() {
  return {
      {"best per handle, higher first",
       {Score(1, "Ann", 10, kA, "t1", 1), Score(1, "Bob", 20, kB, "t2", 2),
        Score(1, "Ann", 30, kA, "t3", 3)},
       std::nullopt,
       10,
       {"1: 1 Ann 30 +441 t3", "1: 2 Bob 20 +442 t2"}},
      {"tie goes to the earlier moment in UTC, not the earlier local text",
       {Score(1, "Late", 50, kA, "2026-12-06T20:30:00+00:00", 1796589000),
        Score(1, "Early", 50, kB, "2026-12-06T21:00:00+01:00", 1796587200)},
       std::nullopt,
       10,
       {"1: 1 Early 50 +442 2026-12-06T21:00:00+01:00",
        "1: 2 Late 50 +441 2026-12-06T20:30:00+00:00"}},
      {"same moment: ranks still distinct, the first stored first",
       {Score(1, "Cy", 5, kA, "t", 7), Score(1, "Di", 5, kA, "t", 7)},
       std::nullopt,
       10,
       {"1: 1 Cy 5 +441 t", "1: 2 Di 5 +441 t"}},
      {"a handle's tie shows its earliest message",
       {Score(1, "Ann", 40, kB, "later", 9), Score(1, "Ann", 40, kA, "earlier", 4)},
       std::nullopt,
       10,
       {"1: 1 Ann 40 +441 earlier"}},
      {"handles byte for byte, whoever sent them",
       {Score(1, "Ann", 1, kA, "t1", 1), Score(1, "ann", 2, kA, "t2", 2),
        Score(1, "Ann", 3, kB, "t3", 3), Score(1, "Ann ", 4, kB, "t4", 4)},
       std::nullopt,
       10,
       {"1: 1 Ann  4 +442 t4", "1: 2 Ann 3 +442 t3", "1: 3 ann 2 +441 t2"}},
      {"rejected messages are not ranked",
       {Score(1, "Ann", 1, kA, "t1", 1), Rejected("above 99,999,999", "X")},
       std::nullopt,
       10,
       {"1: 1 Ann 1 +441 t1"}},
      {"games ascending, each cut to the top",
       {Score(9, "A", 1, kA, "t", 1), Score(2, "B", 1, kA, "t", 1), Score(2, "C", 3, kA, "t", 1),
        Score(2, "D", 2, kA, "t", 1), Score(9, "E", 5, kA, "t", 1)},
       std::nullopt,
       2,
       {"2: 1 C 3 +441 t", "2: 2 D 2 +441 t", "9: 1 E 5 +441 t", "9: 2 A 1 +441 t"}},
      {"one game",
       {Score(9, "A", 1, kA, "t", 1), Score(2, "B", 1, kA, "t", 1)},
       std::int64_t{9},
       10,
       {"9: 1 A 1 +441 t"}},
      {"negative scores rank below zero",
       {Score(4, "Neg", -5, kA, "t", 1), Score(4, "Zero", 0, kA, "t", 2)},
       std::nullopt,
       10,
       {"4: 1 Zero 0 +441 t", "4: 2 Neg -5 +441 t"}},
      {"no scores", {}, std::nullopt, 10, {}},
  };
}

TEST_P(StoreRules, Leaderboard) {
  for (const BoardCase& c : BoardCases()) {
    SetUp();  // a fresh database per case
    if (!c.messages.empty()) {
      Keep(c.messages);
    }
    EXPECT_EQ(Rows(Board(c.game, c.top)), c.rows) << c.name;
  }
}

TEST_P(StoreRules, ReadersNeverCreateOne) {
  const std::string missing = GetParam().freshLocation();
  StoreError error;
  EXPECT_EQ(OpenMessageStore(missing, OpenMode::kExistingOnly, error), nullptr);
  EXPECT_EQ(error.kind, StoreErrorKind::kMissing);
  EXPECT_EQ(OpenMessageStore(missing, OpenMode::kExistingOnly, error), nullptr)
      << "the first attempt created it";
}

std::string FactoryName(const ::testing::TestParamInfo<StoreFactory>& param) {
  return param.param.name;
}

INSTANTIATE_TEST_SUITE_P(Stores, StoreRules, ::testing::ValuesIn(Factories()), FactoryName);

// SQLite's own file handling.

StoreErrorKind OpenExisting(const std::string& path) {
  StoreError error;
  const auto store = OpenMessageStore(path, OpenMode::kExistingOnly, error);
  return store ? StoreErrorKind::kNone : error.kind;
}

void Sql(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

TEST(SqliteStore, RefusesFilesThatAreNotOurs) {
  const std::string text = FreshSqliteFile();
  std::ofstream(text) << "a text file, not a database, long enough to have a header....\n";
  const std::string other = FreshSqliteFile();
  Sql(other, "CREATE TABLE messages (x); PRAGMA user_version = 1;");
  const std::string newer = FreshSqliteFile();
  {
    StoreError error;
    ASSERT_NE(OpenMessageStore(newer, OpenMode::kCreateIfMissing, error), nullptr);
  }
  Sql(newer, "PRAGMA user_version = 99;");
  const std::string empty = FreshSqliteFile();
  std::ofstream{empty};

  EXPECT_EQ(OpenExisting(text), StoreErrorKind::kNotOurs);
  EXPECT_EQ(OpenExisting(other), StoreErrorKind::kNotOurs);
  EXPECT_EQ(OpenExisting(newer), StoreErrorKind::kNotOurs);
  EXPECT_EQ(OpenExisting(empty), StoreErrorKind::kNotOurs);
  StoreError error;
  EXPECT_EQ(OpenMessageStore(other, OpenMode::kCreateIfMissing, error), nullptr)
      << "the service must not take over another program's database";
}

TEST(SqliteStore, WriteAheadLogAndSchemaVersion) {
  const std::string path = FreshSqliteFile();
  {
    StoreError error;
    ASSERT_NE(OpenMessageStore(path, OpenMode::kCreateIfMissing, error), nullptr);
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  std::string mode;
  int version = 0;
  sqlite3_exec(
      db, "PRAGMA journal_mode",
      [](void* out, int, char** values, char**) {
        *static_cast<std::string*>(out) = values[0];
        return 0;
      },
      &mode, nullptr);
  sqlite3_exec(
      db, "PRAGMA user_version",
      [](void* out, int, char** values, char**) {
        *static_cast<int*>(out) = std::stoi(values[0]);
        return 0;
      },
      &version, nullptr);
  sqlite3_close(db);
  EXPECT_EQ(mode, "wal");
  EXPECT_EQ(version, kSqliteSchemaVersion);
}

TEST(SqliteStore, BatchTheDiskCannotTakeIsNotStoredAtAll) {
  const std::string path = FreshSqliteFile();
  StoreError error;
  auto store = OpenMessageStore(path, OpenMode::kCreateIfMissing, error);
  ASSERT_NE(store, nullptr);
  std::vector<KeepResult> results;
  ASSERT_TRUE(store->Keep({{Score(1, "Ann", 1, kA, "t0", 0)}}, results, error));

  std::vector<Message> batch;
  for (int i = 0; i < 300; ++i) {
    Message m = Score(1, "Bob", i, kA, "t" + std::to_string(i), i);
    m.pdu += std::string(300, 'F');
    batch.push_back(m);
  }
  // A full disk, as the process sees it: files may not grow past their size now.
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  const auto wal = fs::path(path + "-wal");
  const rlimit tight{static_cast<rlim_t>(fs::file_size(wal) + 8192), saved.rlim_max};
  setrlimit(RLIMIT_FSIZE, &tight);
  const bool kept = store->Keep(batch, results, error);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);

  EXPECT_FALSE(kept);
  EXPECT_EQ(error.kind, StoreErrorKind::kUnavailable);
  EXPECT_FALSE(error.text.empty());
  std::size_t count = 0;
  ASSERT_TRUE(store->ForEachMessage(
      [&](const StoredMessage&) {
        ++count;
        return true;
      },
      error));
  EXPECT_EQ(count, 1U) << "part of the batch was stored";
  EXPECT_TRUE(store->Keep(batch, results, error))
      << "no retry after the disk has room: " << error.text;
}

}  // namespace
}  // namespace brindle::service
