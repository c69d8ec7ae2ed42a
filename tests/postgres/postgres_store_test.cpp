// The PostgreSQL store against a real server (the suite's throwaway cluster, named by
// BRINDLE_TEST_POSTGRES): what only a server shows, several writers, tables made at once, a
// lost connection, databases that are not ours.
#include "service/postgres_store.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <pqxx/pqxx>
#include <string>
#include <thread>
#include <vector>

#include "service/message_store.h"

namespace brindle::service {
namespace {

std::string Server() {
  const char* conninfo = std::getenv("BRINDLE_TEST_POSTGRES");
  return conninfo == nullptr ? std::string() : conninfo;
}

std::string Location(const std::string& database) { return Server() + " dbname=" + database; }

void Admin(const std::string& sql) {
  pqxx::connection admin(Location("postgres"));
  pqxx::nontransaction run(admin);
  run.exec(sql);
}

// A new empty database, as the operator's createdb makes it.
std::string FreshDatabase() {
  static int count = 0;
  std::string name = "store_" + std::to_string(getpid()) + "_" + std::to_string(++count);
  Admin("CREATE DATABASE " + name);
  return name;
}

Message Score(int n) {
  const std::string text = std::to_string(n);
  return Message{MessageStatus::kScore, "",        "+441", "t", n,
                 "0004" + text,         n % 7 - 3, 1,      n,   "P" + text};
}

class PostgresStore : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Server().empty()) {
      GTEST_SKIP() << "BRINDLE_TEST_POSTGRES names no server";
    }
  }
  static std::unique_ptr<MessageStore> Open(const std::string& database, OpenMode mode) {
    StoreError error;
    auto store = OpenMessageStore(Location(database), mode, error);
    EXPECT_NE(store, nullptr) << error.text;
    return store;
  }
  static std::size_t Count(MessageStore& store) {
    std::size_t count = 0;
    StoreError error;
    EXPECT_TRUE(store.ForEachMessage([&](const StoredMessage&) { return ++count > 0; }, error))
        << error.text;
    return count;
  }
};

TEST_F(PostgresStore, ServicesStartingAtOnceOnAnEmptyDatabaseAllGetTheTables) {
  const std::string database = FreshDatabase();
  constexpr int kServices = 6;
  std::vector<std::string> errors(kServices);
  std::vector<std::jthread> starts;
  for (std::size_t i = 0; i < errors.size(); ++i) {
    starts.emplace_back([&, i] {
      StoreError error;
      if (!OpenMessageStore(Location(database), OpenMode::kCreateIfMissing, error)) {
        errors[i] = "refused: " + error.text;
      }
    });
  }
  starts.clear();  // joins them
  EXPECT_EQ(errors, std::vector<std::string>(kServices));
}

TEST_F(PostgresStore, TwoWritersKeepingTheSameMessagesStoreEachOnce) {
  const std::string database = FreshDatabase();
  auto first = Open(database, OpenMode::kCreateIfMissing);
  auto second = Open(database, OpenMode::kCreateIfMissing);
  ASSERT_TRUE(first && second);
  // Both phones list messages 100..199, in opposite orders (a moved SIM keeps its own
  // order); each also has 100 of its own.
  constexpr int kOwn = 100;
  std::vector<std::vector<Message>> batches(2);
  for (int n = 0; n < 2 * kOwn; ++n) {
    batches[0].push_back(Score(n));
    batches[1].push_back(Score(n < kOwn ? 2 * kOwn - 1 - n : n + kOwn));
  }
  std::vector<std::vector<KeepResult>> results(2);
  std::vector<bool> kept(2);
  {
    MessageStore* stores[] = {first.get(), second.get()};
    std::vector<std::jthread> writers;
    for (std::size_t w = 0; w < 2; ++w) {
      writers.emplace_back([&, w] {
        StoreError error;
        kept[w] = stores[w]->Keep(batches[w], results[w], error);
      });
    }
  }
  ASSERT_TRUE(kept[0] && kept[1]) << "a deadlock between the writers?";
  EXPECT_EQ(Count(*first), static_cast<std::size_t>(3 * kOwn));
  int addedTwice = 0;
  for (std::size_t i = 0; i < kOwn; ++i) {
    const KeepResult& a = results[0][kOwn + i];
    const KeepResult& b = results[1][kOwn - 1 - i];
    EXPECT_EQ(a.id, b.id) << "message " << kOwn + i;
    addedTwice += a.added && b.added ? 1 : 0;
    EXPECT_TRUE(a.added || b.added);
  }
  EXPECT_EQ(addedTwice, 0);
}

TEST_F(PostgresStore, LostConnectionIsUnavailableThenMadeAgain) {
  const std::string database = FreshDatabase();
  auto store = Open(database, OpenMode::kCreateIfMissing);
  ASSERT_NE(store, nullptr);
  std::vector<KeepResult> results;
  StoreError error;
  ASSERT_TRUE(store->Keep({{Score(1)}}, results, error)) << error.text;
  Admin("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" + database +
        "' AND pid <> pg_backend_pid()");

  EXPECT_FALSE(store->Keep({{Score(2)}}, results, error));
  EXPECT_EQ(error.kind, StoreErrorKind::kUnavailable);
  EXPECT_TRUE(results.empty());
  EXPECT_TRUE(store->Keep({{Score(2)}}, results, error)) << error.text;
  EXPECT_EQ(Count(*store), 2U);
}

struct RefusalCase {
  const char* name;
  const char* sql;  // run in a fresh database first; nullptr: no database at all
  OpenMode mode;
  StoreErrorKind expected;
};

TEST_F(PostgresStore, DatabasesThatAreNotOursAreRefusedAndLeftAlone) {
  const std::vector<RefusalCase> cases = {
      {"no such database", nullptr, OpenMode::kCreateIfMissing, StoreErrorKind::kMissing},
      {"empty, reader", "", OpenMode::kExistingOnly, StoreErrorKind::kNotOurs},
      {"another program's tables, service", "CREATE TABLE messages (x int)",
       OpenMode::kCreateIfMissing, StoreErrorKind::kNotOurs},
      {"another program's marker",
       "CREATE TABLE brindle_schema (application text, version int);"
       "INSERT INTO brindle_schema VALUES ('else', 1)",
       OpenMode::kCreateIfMissing, StoreErrorKind::kNotOurs},
      {"newer schema",
       "CREATE TABLE brindle_schema (application text, version int);"
       "INSERT INTO brindle_schema VALUES ('brindle-scores', 99)",
       OpenMode::kCreateIfMissing, StoreErrorKind::kNotOurs},
  };
  for (const RefusalCase& c : cases) {
    const std::string database =
        c.sql == nullptr ? "absent_" + std::to_string(getpid()) : FreshDatabase();
    if (c.sql != nullptr && *c.sql != '\0') {
      pqxx::connection connection(Location(database));
      pqxx::nontransaction run(connection);
      run.exec(c.sql);
    }
    StoreError error;
    EXPECT_EQ(OpenMessageStore(Location(database), c.mode, error), nullptr) << c.name;
    EXPECT_EQ(error.kind, c.expected) << c.name << ": " << error.text;
    if (c.sql == nullptr) {
      continue;
    }
    pqxx::connection connection(Location(database));
    pqxx::nontransaction run(connection);
    const auto tables =
        run.exec1("SELECT count(*) FROM pg_tables WHERE schemaname = 'public'")[0].as<int>();
    EXPECT_EQ(tables, c.sql[0] == '\0' ? 0 : 1) << c.name << ": tables were made";
  }
}

TEST(PostgresLocation, WhichLocationsArePostgres) {
  const std::vector<std::pair<const char*, bool>> cases = {
      {"postgresql://brindle@localhost/scores", true},
      {"host=/tmp/pg dbname=scores", true},
      {"dbname=scores", true},
      {"scores.sqlite", false},
      {"postgresql.db", false},
  };
  for (const auto& [location, postgres] : cases) {
    EXPECT_EQ(IsPostgresLocation(location), postgres) << location;
  }
}

}  // namespace
}  // namespace brindle::service
