// The store's rules run against every store: each factory hands out the location of a fresh,
// empty database (SQLite: a new file in a temporary folder). Its table of rules; the migration
// from the first schema; services starting and writing at once; databases that are not ours.
// The migration from a database that schema 2 made (tests/service/schema2, the same rows in
// each store's own form). Then what only SQLite's own files show (among them the key's hash and
// the migration from a file that schema 4 made), and what only a PostgreSQL server shows: a lost
// connection, a listing while others commit, no database, no server, a role it does not know
// (when BRINDLE_TEST_POSTGRES names the suite's throwaway server as libpq key=value text).
#include "service/message_store.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <latch>
#include <pqxx/pqxx>
#include <string>
#include <thread>
#include <vector>

#include "service/postgres_store.h"
#include "service/sqlite_store.h"

namespace brindle::service {
namespace {

namespace fs = std::filesystem;

struct StoreFactory {
  const char* name;
  // make: an empty database, as the operator makes it; else a location with nothing there.
  std::function<std::string(bool make)> location;
  // Runs `sql` there; the first value it gives, if any.
  std::function<std::string(const std::string& location, const std::string& sql)> run;
  // The first schema, as the first release made it, holding a score (id 7, "P1") and a damaged
  // entry (id 9, "JUNK").
  std::string versionOne;
  // Puts the database of tests/service/<folder> (schema2, schema3) at a location as `location`
  // gives it.
  std::function<void(const std::string& folder, const std::string& location)> loadSchema;
  std::string countTables;           // the SQL that counts its tables
  std::vector<std::string> notOurs;  // the SQL that makes a new database not ours, each
};

std::string FreshSqliteFile() {
  static const fs::path folder = [] {
    std::string pattern = (fs::temp_directory_path() / "store-test-XXXXXX").string();
    const char* made = mkdtemp(pattern.data());
    return fs::path(made == nullptr ? "." : made);
  }();
  static int count = 0;
  return (folder / ("db" + std::to_string(++count) + ".sqlite")).string();
}

const char* PostgresServer() { return std::getenv("BRINDLE_TEST_POSTGRES"); }

const fs::path kSchemas = BRINDLE_SCHEMAS_DIR;

std::string Sql(const std::string& location, const std::string& sql) {
  pqxx::connection connection(location);
  const pqxx::result rows =
      sql.empty() ? pqxx::result() : pqxx::nontransaction(connection).exec(sql);
  return rows.empty() || rows[0].empty() ? "" : rows[0][0].c_str();
}

std::string Pragma(const std::string& path, const std::string& sql) {
  const auto keepFirst = [](void* out, int, char** values, char**) {
    *static_cast<std::string*>(out) = values[0] == nullptr ? "" : values[0];
    return 0;
  };
  sqlite3* db = nullptr;
  std::string value;
  EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), keepFirst, &value, nullptr), SQLITE_OK)
      << sqlite3_errmsg(db);
  sqlite3_close(db);
  return value;
}

const std::string kSqliteVersionOne =
    "CREATE TABLE messages (id INTEGER PRIMARY KEY, status TEXT NOT NULL, reason TEXT, sender TEXT"
    " NOT NULL, sent_at TEXT NOT NULL, sent_at_utc INTEGER NOT NULL, pdu TEXT NOT NULL, game_id"
    " INTEGER, fixed INTEGER, score INTEGER, handle BLOB, stored_at TEXT NOT NULL DEFAULT '',"
    " UNIQUE (sender, sent_at, pdu)); PRAGMA user_version = 1; PRAGMA application_id = " +
    std::to_string(kSqliteApplicationId) +
    "; INSERT INTO messages (id, status, reason, sender, sent_at, sent_at_utc, pdu, game_id, fixed,"
    " score, handle) VALUES (7, 'score', NULL, '+441', 't', 1, 'P1', 5, 1, 80, X'416E6E'),"
    " (9, 'rejected', 'damaged', '', '', 0, 'JUNK', NULL, NULL, NULL, NULL);";

const std::string kPostgresVersionOne =
    "CREATE TABLE brindle_schema (application text NOT NULL, version integer NOT NULL);"
    "INSERT INTO brindle_schema VALUES ('brindle-scores', 1);"
    "CREATE TABLE messages (id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY, status text NOT"
    " NULL, reason text, sender text NOT NULL, sent_at text NOT NULL, sent_at_utc bigint NOT NULL,"
    " pdu bytea NOT NULL, game_id bigint, fixed bigint, score bigint, handle bytea, stored_at"
    " timestamptz NOT NULL DEFAULT now(), UNIQUE (sender, sent_at, pdu));"
    "INSERT INTO messages (id, status, reason, sender, sent_at, sent_at_utc, pdu, game_id, fixed,"
    " score, handle) OVERRIDING SYSTEM VALUE VALUES (7, 'score', NULL, '+441', 't', 1, 'P1', 5, 1,"
    " 80, 'Ann'), (9, 'rejected', 'damaged', '', '', 0, 'JUNK', NULL, NULL, NULL, NULL);"
    "SELECT setval(pg_get_serial_sequence('messages', 'id'), 9);";

// What makes a new database not ours: nothing (for readers only), another program's tables,
// another program's mark, a newer schema.
const std::vector<std::string> kSqliteNotOurs = {
    "", "CREATE TABLE messages (x); PRAGMA user_version = 1;", "PRAGMA application_id = 1;",
    "PRAGMA application_id = " + std::to_string(kSqliteApplicationId) +
        "; PRAGMA user_version = 99;"};
const std::string kPostgresMark =
    "CREATE TABLE brindle_schema (application text, version int);"
    "INSERT INTO brindle_schema VALUES ";
const std::vector<std::string> kPostgresNotOurs = {"", "CREATE TABLE messages (x int)",
                                                   kPostgresMark + "('else', 1)",
                                                   kPostgresMark + "('brindle-scores', 99)"};
const char* const kSqliteTables = "SELECT count(*) FROM sqlite_master";
const char* const kPostgresTables = "SELECT count(*) FROM pg_tables WHERE schemaname = 'public'";

// make: a new empty database, as the operator's createdb makes it; else a name with none.
std::string PostgresDatabase(bool make) {
  static int count = 0;
  const std::string server = PostgresServer();
  const std::string name = "store_" + std::to_string(getpid()) + "_" + std::to_string(++count);
  if (make) {
    Sql(server + " dbname=postgres", "CREATE DATABASE " + name);
  }
  return server + " dbname=" + name;
}

void PrintTo(const StoreFactory& factory, std::ostream* out) { *out << factory.name; }

const std::vector<StoreFactory>& Factories() {
  static const std::vector<StoreFactory> factories = [] {
    std::vector<StoreFactory> all = {{"sqlite", [](bool) { return FreshSqliteFile(); }, Pragma,
                                      kSqliteVersionOne,
                                      [](const std::string& folder, const std::string& path) {
                                        fs::copy_file(kSchemas / folder / "scores.sqlite", path);
                                      },
                                      kSqliteTables, kSqliteNotOurs}};
    if (PostgresServer() != nullptr) {
      all.push_back({"postgres", PostgresDatabase, Sql, kPostgresVersionOne,
                     [](const std::string& folder, const std::string& location) {
                       std::ifstream dump(kSchemas / folder / "scores.sql");
                       Sql(location, std::string(std::istreambuf_iterator<char>(dump), {}));
                     },
                     kPostgresTables, kPostgresNotOurs});
    }
    return all;
  }();
  return factories;
}

Message Score(std::int64_t game, std::string handle, std::int64_t score, std::string sender,
              std::string sentAt, std::int64_t utc) {
  Message m{
      MessageStatus::kScore, "", std::move(sender), std::move(sentAt), utc, "", "", game, 1, score,
      std::move(handle)};
  // A distinct PDU per message, as real ones are.
  m.pdu = "PDU-" + std::to_string(game) + m.handle + std::to_string(score) + m.sender + m.sentAt;
  return m;
}

Message Rejected(std::string reason, std::string pdu, std::string received = "") {
  Message m;  // rejected unless told otherwise
  m.reason = std::move(reason);
  m.pdu = std::move(pdu);
  m.received = std::move(received);
  return m;
}

std::string Show(const Message& m) {
  const std::string fields = m.status == MessageStatus::kScore
                                 ? std::to_string(m.gameId) + " " + std::to_string(m.fixed) + " " +
                                       std::to_string(m.score) + " " + m.handle
                                 : "rejected: " + m.reason;
  return fields + " | " + m.sender + " " + m.sentAt + " " + std::to_string(m.sentAtUtc) + " | " +
         m.pdu + " | " + m.received;
}

// Every message the store holds, in the order stored (their ids increase), as `show` writes it.
std::vector<std::string> Listed(MessageStore& store,
                                const std::function<std::string(const Message&)>& show = Show) {
  std::vector<std::string> listed;
  std::int64_t lastId = 0;
  StoreError error;
  EXPECT_TRUE(store.ForEachMessage(
      [&](const StoredMessage& m) {
        EXPECT_GT(m.id, lastId) << "ids increase in the order stored";
        lastId = m.id;
        listed.push_back(show(m.message));
        return true;
      },
      error))
      << error.text;
  return listed;
}

// The boards `query` gives, a row each: "game: rank handle score sender sentAt".
std::vector<std::string> Board(MessageStore& store, const LeaderboardQuery& query) {
  std::vector<GameLeaderboard> games;
  StoreError error;
  EXPECT_TRUE(store.Leaderboard(query, games, error)) << error.text;
  std::vector<std::string> rows;
  for (const GameLeaderboard& g : games) {
    for (const LeaderboardEntry& e : g.entries) {
      rows.push_back(std::to_string(g.gameId) + ": " + std::to_string(e.rank) + " " + e.handle +
                     " " + std::to_string(e.score) + " " + e.sender + " " + e.sentAt);
    }
  }
  return rows;
}

struct StoreCase {
  const char* name;
  std::vector<std::vector<Message>> batches;  // each kept in one call
  std::string added;                          // per message: 1 new, 0 held already
  std::vector<std::string> board;             // "game: rank handle score sender sentAt"
  LeaderboardQuery query;                     // {}: every game, ten rows
  std::vector<std::string> stored = {};       // when given: every message a new reader sees
};

class StoreRules : public ::testing::TestWithParam<StoreFactory> {};

TEST_P(StoreRules, Table) {
  const char* const kA = "+441";
  const char* const kB = "+442";
  const std::string handle("\xE9t\xE9 'x'; DROP TABLE messages;--<b>&\0z", 36);
  const Message odd = Score(3, handle, 99999999, "+447700900123", "2026-12-06T21:15:03+01:00", 9);
  const Message refused = Rejected("odd number of hex digits", "0004ABC");
  Message otherSender = odd;
  otherSender.sender = "+447700900999";
  Message otherStamp = odd;
  otherStamp.sentAt = "2026-12-06T21:15:04+01:00";
  Message otherPdu = odd;
  otherPdu.pdu += "00";
  const Message junk = Rejected("damaged", "0791", "SM 3 2026-12-07T13:49:05Z");
  const Message junkAgain = Rejected("damaged", "0791", "SM 3 2026-12-07T13:52:05Z");
  const Message junkElsewhere = Rejected("damaged", "0791", "ME 3 2026-12-07T13:49:05Z");
  Message unranked = Score(6, "Zoe", 900, kA, "t7", 0);  // read whole, but refused
  unranked.status = MessageStatus::kRejected;
  unranked.reason = "above 99,999,999";
  const std::vector<StoreCase> cases = {
      {"every field kept; the same sender, time stamp and PDU once; rejected kept",
       {{odd, refused}, {odd, odd, otherSender, otherStamp, otherPdu, refused}},
       "11001110",
       {"3: 1 " + handle + " 99999999 +447700900123 2026-12-06T21:15:03+01:00"},
       {},
       {Show(odd), Show(refused), Show(otherSender), Show(otherStamp), Show(otherPdu)}},
      {"best per handle, ties by the earlier UTC moment then the first stored, top cut",
       {{Score(1, "Ann", 10, kA, "t1", 5), Score(1, "Bob", 20, kB, "t2", 6),
         Score(1, "Ann", 30, kA, "t3", 7), Score(1, "ann", 30, kA, "t4", 7)},
        {Score(1, "Ann", 30, kB, "t5", 6), Score(1, "Ann ", 20, kB, "t6", 1),
         Score(2, "Late", 50, kA, "2026-12-06T20:30:00+00:00", 1796589000),
         Score(2, "Early", 50, kB, "2026-12-06T21:00:00+01:00", 1796587200),
         Score(-4, "Neg", -5, kA, "t", 1), Score(-4, "Zero", 0, kA, "t", 2),
         Rejected("above 99,999,999", "X")}},
       "11111111111",
       {"-4: 1 Zero 0 +441 t", "-4: 2 Neg -5 +441 t", "1: 1 Ann 30 +442 t5", "1: 2 ann 30 +441 t4",
        "1: 3 Ann  20 +442 t6", "2: 1 Early 50 +442 2026-12-06T21:00:00+01:00",
        "2: 2 Late 50 +441 2026-12-06T20:30:00+00:00"},
       {std::nullopt, 3}},
      {"damaged entries with the same text are kept apart by where and when they were taken",
       {{junk, junkAgain, junkElsewhere, Rejected("damaged", "0791")}, {junk}},
       "11110",
       {},
       {},
       {Show(junk), Show(junkAgain), Show(junkElsewhere), Show(Rejected("damaged", "0791"))}},
      {"one game; equal score at the same moment: the first stored ranks first and is shown",
       {{Score(5, "Zed", 40, kB, "t1", 3), Score(5, "Amy", 40, kA, "t2", 3)},
        {Score(5, "Kim", 40, kB, "t3", 3), Score(5, "Kim", 40, kA, "t4", 3),
         Score(9, "Ann", 90, kA, "t5", 1)}},
       "11111",
       {"5: 1 Zed 40 +442 t1", "5: 2 Amy 40 +441 t2", "5: 3 Kim 40 +442 t3"},
       {5, 10}},
      {"a later batch moves a handle only with a better score; a rejected message never ranks",
       {{Score(6, "Ann", 50, kA, "t1", 10), Score(6, "Bob", 20, kA, "t2", 10)},
        {Score(6, "Ann", 50, kB, "t3", 10), Score(6, "Ann", 50, kB, "t4", 11),
         Score(6, "Ann", 40, kB, "t5", 1), Score(6, "Bob", 60, kB, "t6", 12), unranked}},
       "1111111",
       {"6: 1 Bob 60 +442 t6", "6: 2 Ann 50 +441 t1"},
       {6, 10}},
  };
  for (const StoreCase& c : cases) {
    StoreError error;
    EXPECT_EQ(OpenMessageStore(GetParam().location(false), OpenMode::kExistingOnly, error), nullptr)
        << c.name;
    EXPECT_EQ(error.kind, StoreErrorKind::kMissing) << "readers never create one";
    const std::string location = GetParam().location(true);
    auto store = OpenMessageStore(location, OpenMode::kCreateIfMissing, error);
    ASSERT_NE(store, nullptr) << error.text;
    std::string added;
    for (const std::vector<Message>& batch : c.batches) {
      std::vector<KeepResult> results;
      EXPECT_TRUE(store->Keep(batch, results, error)) << c.name << ": " << error.text;
      for (const KeepResult& r : results) {
        added += r.added ? "1" : "0";
      }
    }
    EXPECT_EQ(added, c.added) << c.name;
    store.reset();  // what was committed is there for a new reader
    const auto reader = OpenMessageStore(location, OpenMode::kExistingOnly, error);
    ASSERT_NE(reader, nullptr) << error.text;
    const std::vector<std::string> stored = Listed(*reader);
    EXPECT_EQ(stored.size(), std::count(c.added.begin(), c.added.end(), '1')) << c.name;
    if (!c.stored.empty()) {
      EXPECT_EQ(stored, c.stored) << c.name;
    }
    EXPECT_EQ(Board(*reader, c.query), c.board) << c.name;
  }
}

TEST_P(StoreRules, FirstSchemaIsBroughtUpToDateKeepingItsRows) {
  const std::string location = GetParam().location(true);
  GetParam().run(location, GetParam().versionOne);
  StoreError error;
  EXPECT_EQ(OpenMessageStore(location, OpenMode::kExistingOnly, error), nullptr);
  EXPECT_EQ(error.kind, StoreErrorKind::kUnavailable) << "readers leave it to the service";
  auto store = OpenMessageStore(location, OpenMode::kCreateIfMissing, error);
  ASSERT_NE(store, nullptr) << error.text;
  Message held = Score(5, "Ann", 80, "+441", "t", 1);
  held.pdu = "P1";
  const Message junk = Rejected("damaged", "JUNK", "SM 3 2026-12-07T13:49:05Z");
  std::vector<KeepResult> results;
  ASSERT_TRUE(store->Keep({{held, junk}}, results, error)) << error.text;
  EXPECT_EQ(results[0].id, 7);
  EXPECT_FALSE(results[0].added) << "a message held before is found under the new key";
  EXPECT_GT(results[1].id, 9);
  EXPECT_EQ(Listed(*store),
            (std::vector{Show(held), Show(Rejected("damaged", "JUNK")), Show(junk)}));
  EXPECT_EQ(Board(*store, {}), std::vector<std::string>{"5: 1 Ann 80 +441 t"});
}

// The boards of a database that schema 2 made, as that release showed them, hold after the
// migration; new scores then move handles on them.
TEST_P(StoreRules, SchemaTwoKeepsItsBoardsAndRanksNewScores) {
  const std::string location = GetParam().location(true);
  GetParam().loadSchema("schema2", location);
  StoreError error;
  auto store = OpenMessageStore(location, OpenMode::kCreateIfMissing, error);
  ASSERT_NE(store, nullptr) << error.text;
  const char* const kB = "+447700900102";
  const char* const kC = "+447700900103";
  const std::vector<std::string> board = {"7: 1 zed 800 +447700900102 2026-12-06T21:18:20+01:00",
                                          "7: 2 ZED 500 +447700900101 2026-12-06T21:15:00+01:00",
                                          "7: 3 KIM 500 +447700900103 2026-12-06T20:15:00+00:00",
                                          "7: 4 AMY 500 +447700900104 2026-12-06T21:15:30+01:00",
                                          "9: 1 \xC9VE 90 +447700900103 2026-12-06T21:19:10+01:00",
                                          "9: 2 BOB 90 +447700900102 2026-12-06T21:20:00+01:00",
                                          "9: 3 ZED 40 +447700900101 2026-12-06T21:15:10+01:00"};
  EXPECT_EQ(Board(*store, {}), board);
  std::vector<KeepResult> results;
  ASSERT_TRUE(store->Keep({{Score(9, "BOB", 95, kB, "2026-12-06T21:25:00+01:00", 1796588700),
                            Score(7, "KIM", 500, kC, "2026-12-06T21:00:00+01:00", 1796587200),
                            Score(7, "AMY", 500, kB, "2026-12-06T21:30:00+01:00", 1796589000)}},
                          results, error))
      << error.text;
  EXPECT_EQ(Board(*store, {}), (std::vector<std::string>{
                                   board[0], "7: 2 KIM 500 +447700900103 2026-12-06T21:00:00+01:00",
                                   "7: 3 ZED 500 +447700900101 2026-12-06T21:15:00+01:00", board[3],
                                   "9: 1 BOB 95 +447700900102 2026-12-06T21:25:00+01:00",
                                   "9: 2 \xC9VE 90 +447700900103 2026-12-06T21:19:10+01:00",
                                   "9: 3 ZED 40 +447700900101 2026-12-06T21:15:10+01:00"}));
}

// Moderation keeps every message: a hidden score leaves the board for its handle's next best
// shown one, a blocked sender's scores go and its new messages are kept as rejected, and each
// act is logged. On a database that schema 3 made, so that its migration is run too.
TEST_P(StoreRules, ModerationRanksOnlyWhatIsShownAndKeepsEveryMessage) {
  const std::string location = GetParam().location(true);
  GetParam().loadSchema("schema3", location);
  StoreError error;
  auto store = OpenMessageStore(location, OpenMode::kCreateIfMissing, error);
  ASSERT_NE(store, nullptr) << error.text;
  // Game 9 as schema 3 left it: ÉVE 90 (+447700900103, who has a score in game 7 too), BOB 90,
  // ZED 40.
  const char* const kEve = "+447700900103";
  std::vector<KeepResult> kept;
  ASSERT_TRUE(store->Keep({{Score(9, "\xC9VE", 70, kEve, "t1", 1),
                            Score(9, "BOB", 95, kEve, "t2", 2), Rejected("damaged", "0791")}},
                          kept, error))
      << error.text;
  const std::vector<std::string> before = Listed(*store);
  const std::string bob = std::to_string(kept[1].id);  // BOB's best, 95, from Eve's phone
  const std::string eve = "\xC9VE 90 +447700900103 2026-12-06T21:19:10+01:00";
  const std::string bob90 = "BOB 90 +447700900102 2026-12-06T21:20:00+01:00";
  const std::string bob95 = "BOB 95 +447700900103 t2";
  const std::string zed = "ZED 40 +447700900101 2026-12-06T21:15:10+01:00";
  struct Act {
    std::string what;  // "hide ID", "unhide ID", "block NUMBER", "unblock NUMBER"
    Moderated outcome;
    std::vector<std::string> board;  // game 9's, best first
  };
  const std::vector<Act> acts = {
      {"hide " + bob, Moderated::kDone, {eve, bob90, zed}},
      {"hide " + bob, Moderated::kUnchanged, {eve, bob90, zed}},
      {"hide " + std::to_string(kept[2].id), Moderated::kNoScore, {eve, bob90, zed}},
      {"unhide 999999", Moderated::kNoScore, {eve, bob90, zed}},
      {"block +447700900103", Moderated::kDone, {bob90, zed}},
      {"block +447700900103", Moderated::kUnchanged, {bob90, zed}},
      {"unblock +447700900103", Moderated::kDone, {eve, bob90, zed}},
      {"unhide " + bob, Moderated::kDone, {bob95, eve, zed}},
  };
  for (const Act& act : acts) {
    const std::size_t space = act.what.find(' ');
    const std::string verb = act.what.substr(0, space);
    const std::string target = act.what.substr(space + 1);
    Moderated outcome{};
    const bool done = verb.ends_with("hide")
                          ? store->SetHidden(std::stoll(target), verb == "hide", outcome, error)
                          : store->SetBlocked(target, verb == "block", outcome, error);
    ASSERT_TRUE(done) << act.what << ": " << error.text;
    EXPECT_EQ(outcome, act.outcome) << act.what;
    std::vector<std::string> board;
    for (const std::string& row : act.board) {
      board.push_back("9: " + std::to_string(board.size() + 1) + " " + row);
    }
    EXPECT_EQ(Board(*store, {9, 10}), board) << act.what;
    // While blocked, a new message of the sender is kept, as rejected, and never ranked.
    if (verb == "block" && act.outcome == Moderated::kDone) {
      ASSERT_TRUE(store->Keep({{Score(9, "NEW", 999, kEve, "t3", 3)}}, kept, error));
      EXPECT_TRUE(kept[0].added && kept[0].blocked);
    }
  }
  std::vector<std::string> after = Listed(*store);
  ASSERT_EQ(after.size(), before.size() + 1) << "every message is kept";
  EXPECT_EQ(after.back(),
            "rejected: blocked sender | +447700900103 t3 3 | PDU-9NEW999+447700900103t3 | ");
  after.pop_back();
  EXPECT_EQ(after, before);
  std::vector<std::string> log;
  ASSERT_TRUE(store->ForEachModeration(
      [&](const ModerationAct& act) {
        EXPECT_EQ(act.at.size(), 20U) << act.at;
        log.push_back(act.action + " " + act.target + ": " + act.detail);
        return true;
      },
      error));
  EXPECT_EQ(log,
            (std::vector<std::string>{
                "hide message " + bob + ": ", "block +447700900103: 3 scores hidden",
                "unblock +447700900103: 3 scores shown again", "unhide message " + bob + ": "}));
}

// Game names go onto every board read after; the services' reports are kept per port.
TEST_P(StoreRules, GameNamesAndPortReports) {
  StoreError error;
  auto store = OpenMessageStore(GetParam().location(true), OpenMode::kCreateIfMissing, error);
  ASSERT_NE(store, nullptr) << error.text;
  std::vector<KeepResult> kept;
  ASSERT_TRUE(
      store->Keep({{Score(1, "A", 1, "+1", "t", 1), Score(2, "B", 1, "+1", "t", 1)}}, kept, error));
  const auto names = [&] {
    std::vector<GameLeaderboard> games;
    EXPECT_TRUE(store->Leaderboard({}, games, error)) << error.text;
    std::string shown;
    for (const GameLeaderboard& game : games) {
      shown += std::to_string(game.gameId) + "=" + game.gameName + ";";
    }
    return shown;
  };
  ASSERT_TRUE(store->SetGameName(2, "Z\xC3\xBCrich 'Run'", error)) << error.text;
  ASSERT_TRUE(store->SetGameName(1, "Old", error));
  ASSERT_TRUE(store->SetGameName(1, "New", error));
  EXPECT_EQ(names(), "1=New;2=Z\xC3\xBCrich 'Run';");
  ASSERT_TRUE(store->SetGameName(2, "", error));
  EXPECT_EQ(names(), "1=New;2=;");

  const PortReport first{"COM3:", PortState::kReady, 30, true, false, 5, 1, 4};
  const PortReport second{"COM3:", PortState::kReconnecting, 30, false, true, 6, 2, 5};
  ASSERT_TRUE(store->ReportPort(first, error)) << error.text;
  std::vector<PortStatus> ports;
  ASSERT_TRUE(store->PortStatuses(ports, error)) << error.text;
  ASSERT_EQ(ports.size(), 1U);
  EXPECT_TRUE(ports[0].listedAgo.has_value());
  EXPECT_FALSE(ports[0].messageAgo.has_value()) << "no message stored yet";
  ASSERT_TRUE(store->ReportPort(second, error));
  ASSERT_TRUE(
      store->ReportPort({"/dev/ttyUSB0", PortState::kStopped, 60, false, false, 0, 0, 0}, error));
  ASSERT_TRUE(store->PortStatuses(ports, error));
  ASSERT_EQ(ports.size(), 2U);
  const PortStatus& com = ports[1].report.port == "COM3:" ? ports[1] : ports[0];
  EXPECT_EQ(com.report.state, PortState::kReconnecting);
  EXPECT_EQ(std::tie(com.report.storedCount, com.report.rejectedCount, com.report.deletedCount),
            std::make_tuple(6U, 2U, 5U));
  EXPECT_TRUE(com.listedAgo.has_value() && com.messageAgo.has_value()) << "the listing is kept";
  EXPECT_TRUE(com.heardAgo >= 0 && com.heardAgo < 60) << com.heardAgo;
}

// Six services starting at once, on a new database or on one of the first schema that they
// then bring up to date, all find the tables made. Each keeps one message of its own and the same
// 100 as the others, every other service in the opposite order (a moved SIM keeps its own order):
// with no deadlock between them, each message is stored once, under one id. (On PostgreSQL,
// the writers' advisory-lock keys, always taken in one order, are what keeps off a deadlock.)
TEST_P(StoreRules, ServicesStartingAtOnceStoreEachMessageOnce) {
  constexpr std::size_t kShared = 100;
  const auto shared = [](std::size_t service, std::size_t i) {
    return service % 2 == 0 ? i : kShared - 1 - i;  // the place of shared message i in its batch
  };
  for (int round = 0; round < 20; ++round) {
    const std::string location = GetParam().location(true);
    constexpr std::size_t count = 6;
    std::vector<std::string> expected(kShared, "");  // what each message was received as
    if (round % 2 == 1) {
      GetParam().run(location, GetParam().versionOne);
      expected.insert(expected.end(), 2, "");  // its rows
    }
    std::vector<std::vector<KeepResult>> results(count);
    std::latch ready(static_cast<std::ptrdiff_t>(count));
    std::vector<std::jthread> services;
    for (std::size_t n = 0; n < count; ++n) {
      std::vector<Message> batch;
      for (std::size_t i = 0; i < kShared; ++i) {
        const auto m = static_cast<std::int64_t>(shared(n, i));
        batch.push_back(Score(m % 7 - 3, "P" + std::to_string(m), m, "+441", "t", m));
      }
      expected.push_back("SM " + std::to_string(n));
      batch.push_back(Rejected("damaged", "0791", expected.back()));
      services.emplace_back([&, n, batch = std::move(batch)] {
        ready.arrive_and_wait();
        StoreError error;
        auto store = OpenMessageStore(location, OpenMode::kCreateIfMissing, error);
        EXPECT_TRUE(store && store->Keep(batch, results[n], error)) << error.text;
      });
    }
    services.clear();  // joins them
    for (std::size_t i = 0; i < kShared; ++i) {
      int added = 0;
      for (std::size_t n = 0; n < count; ++n) {
        ASSERT_EQ(results[n].size(), kShared + 1);
        EXPECT_EQ(results[n][shared(n, i)].id, results[0][i].id) << "message " << i;
        added += results[n][shared(n, i)].added ? 1 : 0;
      }
      EXPECT_EQ(added, 1) << "message " << i;
    }
    StoreError error;
    const auto reader = OpenMessageStore(location, OpenMode::kExistingOnly, error);
    ASSERT_NE(reader, nullptr) << error.text;
    std::vector<std::string> received =
        Listed(*reader, [](const Message& m) { return m.received; });
    std::ranges::sort(received);
    EXPECT_EQ(received, expected) << location;
  }
}

// A database that is not ours is refused and left as it was (an empty one by readers only: it is
// the service's to fill).
TEST_P(StoreRules, DatabasesThatAreNotOursAreRefusedAndLeftAlone) {
  const StoreFactory& store = GetParam();
  for (const std::string& sql : store.notOurs) {
    const std::string location = store.location(true);
    store.run(location, sql);
    const std::string tables = store.run(location, store.countTables);
    const OpenMode mode = sql.empty() ? OpenMode::kExistingOnly : OpenMode::kCreateIfMissing;
    StoreError error;
    EXPECT_EQ(OpenMessageStore(location, mode, error), nullptr) << sql;
    EXPECT_EQ(error.kind, StoreErrorKind::kNotOurs) << sql << ": " << error.text;
    EXPECT_EQ(store.run(location, store.countTables), tables) << sql << ": tables made";
  }
}

INSTANTIATE_TEST_SUITE_P(Stores, StoreRules, ::testing::ValuesIn(Factories()),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(SqliteStore, ServiceMakesItsVersionInWalModeAndTextFilesAreNotOurs) {
  const std::string text = FreshSqliteFile();
  std::ofstream(text) << "a text file, not a database, long enough to have a header....\n";
  StoreError error;
  EXPECT_EQ(OpenMessageStore(text, OpenMode::kExistingOnly, error), nullptr);
  EXPECT_EQ(error.kind, StoreErrorKind::kNotOurs) << error.text;
  const std::string made = FreshSqliteFile();
  ASSERT_NE(OpenMessageStore(made, OpenMode::kCreateIfMissing, error), nullptr) << error.text;
  EXPECT_EQ(Pragma(made, "PRAGMA journal_mode"), "wal") << "readers beside the service";
  EXPECT_EQ(Pragma(made, "PRAGMA user_version"), std::to_string(kSqliteSchemaVersion));
}

TEST(SqliteStore, BatchTheDiskCannotTakeIsNotStoredAtAll) {
  const std::string path = FreshSqliteFile();
  StoreError error;
  auto store = OpenMessageStore(path, OpenMode::kCreateIfMissing, error);
  ASSERT_NE(store, nullptr);
  std::vector<KeepResult> results;
  ASSERT_TRUE(store->Keep({{Score(1, "Ann", 1, "+441", "t", 0)}}, results, error));
  std::vector<Message> batch;
  for (int i = 0; i < 300; ++i) {
    batch.push_back(Score(1, "Bob", i, "+441", "t" + std::to_string(i), i));
    batch.back().pdu += std::string(300, 'F');
  }
  // A full disk, as the process sees it: files may not grow past their size now.
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  const rlimit tight{static_cast<rlim_t>(fs::file_size(path + "-wal") + 8192), saved.rlim_max};
  setrlimit(RLIMIT_FSIZE, &tight);
  const bool kept = store->Keep(batch, results, error);
  setrlimit(RLIMIT_FSIZE, &saved);
  static_cast<void>(std::signal(SIGXFSZ, previous));
  EXPECT_FALSE(kept);
  EXPECT_EQ(error.kind, StoreErrorKind::kUnavailable);
  EXPECT_EQ(Listed(*store).size(), 1U) << "part of the batch was stored";
  EXPECT_TRUE(store->Keep(batch, results, error)) << "once there is room: " << error.text;
}

TEST(SqliteStore, FileDeletedOrReplacedUnderTheServiceTakesNoBatch) {
  const std::vector<std::pair<const char*, std::function<void(const std::string&)>>> cases = {
      {"deleted", [](const std::string& path) { fs::remove(path); }},
      {"replaced by a copy",
       [](const std::string& path) {
         fs::copy_file(path, path + ".copy");
         fs::rename(path + ".copy", path);
       }},
  };
  for (const auto& [name, change] : cases) {
    const std::string path = FreshSqliteFile();
    StoreError error;
    auto store = OpenMessageStore(path, OpenMode::kCreateIfMissing, error);
    ASSERT_NE(store, nullptr) << error.text;
    std::vector<KeepResult> results;
    ASSERT_TRUE(store->Keep({{Score(1, "Ann", 1, "+441", "t", 0)}}, results, error)) << name;
    change(path);
    EXPECT_FALSE(store->Keep({{Score(1, "Bob", 2, "+441", "t", 1)}}, results, error)) << name;
    EXPECT_EQ(error.kind, StoreErrorKind::kUnavailable) << name;
    EXPECT_NE(error.text.find("deleted or replaced"), std::string::npos) << error.text;
  }
}

// A database that schema 4 made from schema3's rows, with a score hidden, a sender blocked and a
// game named (brindle scores hide 6; senders block +447700900103; games set 7). The table is
// made again without its UNIQUE: every row comes through whole, each message held is found by
// the new key, and what was hidden stays off the boards.
TEST(SqliteStore, SchemaFourComesThroughWholeAndFindsWhatItHeld) {
  const std::string path = FreshSqliteFile();
  fs::copy_file(kSchemas / "schema4" / "scores.sqlite", path);
  const std::string everyField =
      "SELECT group_concat(row, char(10)) FROM (SELECT quote(id) || quote(status) || "
      "quote(reason) || quote(sender) || quote(sent_at) || quote(sent_at_utc) || quote(pdu) || "
      "quote(received) || quote(game_id) || quote(fixed) || quote(score) || quote(handle) || "
      "quote(stored_at) || quote(hidden_by) AS row FROM messages ORDER BY id)";
  const std::string before = Pragma(path, everyField);
  StoreError error;
  auto store = OpenMessageStore(path, OpenMode::kCreateIfMissing, error);
  ASSERT_NE(store, nullptr) << error.text;
  EXPECT_EQ(Pragma(path, everyField), before);
  std::vector<Message> again;
  std::vector<std::int64_t> ids;
  ASSERT_TRUE(store->ForEachMessage(
      [&](const StoredMessage& m) {
        again.push_back(m.message);
        ids.push_back(m.id);
        return true;
      },
      error));
  ASSERT_EQ(again.size(), 13U);
  std::vector<KeepResult> results;
  ASSERT_TRUE(store->Keep(again, results, error)) << error.text;
  for (std::size_t i = 0; i < again.size(); ++i) {
    EXPECT_FALSE(results[i].added) << Show(again[i]);
    EXPECT_EQ(results[i].id, ids[i]) << Show(again[i]);
  }
  EXPECT_EQ(Board(*store, {}),
            (std::vector<std::string>{"7: 1 ZED 500 +447700900101 2026-12-06T21:15:00+01:00",
                                      "7: 2 AMY 500 +447700900104 2026-12-06T21:15:30+01:00",
                                      "9: 1 BOB 90 +447700900102 2026-12-06T21:20:00+01:00",
                                      "9: 2 ZED 40 +447700900101 2026-12-06T21:15:10+01:00"}));
}

// A row found by the key's hash is the message only when the whole key matches: rows made to
// share its hash, each differing in one part, are other messages.
TEST(SqliteStore, HeldOnlyWhenTheWholeKeyMatches) {
  const std::string path = FreshSqliteFile();
  StoreError error;
  auto store = OpenMessageStore(path, OpenMode::kCreateIfMissing, error);
  ASSERT_NE(store, nullptr) << error.text;
  Message message = Score(1, "Ann", 10, "+441", "t", 1);
  message.received = "SM 3 2026-12-07T13:49:05Z";
  const std::string hash = std::to_string(static_cast<std::int64_t>(
      MessageKeyHash(message.sender, message.sentAt, message.pdu, message.received)));
  const std::array<std::string, 4> key = {message.sender, message.sentAt, message.pdu,
                                          message.received};
  const std::array<std::string, 4> other = {"+449", "u", "other", ""};
  for (std::size_t differs = 0; differs < key.size(); ++differs) {
    std::string insert =
        "INSERT INTO messages (status, sender, sent_at, pdu, received, sent_at_utc, key_hash) "
        "VALUES ('rejected'";
    for (std::size_t i = 0; i < key.size(); ++i) {
      insert += ", '";
      insert += i == differs ? other.at(i) : key.at(i);
      insert += "'";
    }
    insert += ", 1, ";
    insert += hash;
    insert += ")";
    Pragma(path, insert);
  }
  std::vector<KeepResult> results;
  ASSERT_TRUE(store->Keep({{message, message}}, results, error)) << error.text;
  EXPECT_TRUE(results[0].added);
  EXPECT_FALSE(results[1].added);
  EXPECT_EQ(results[1].id, results[0].id);
}

class PostgresStore : public ::testing::Test {
 protected:
  void SetUp() override {
    if (PostgresServer() == nullptr) {
      GTEST_SKIP() << "BRINDLE_TEST_POSTGRES names no server";
    }
  }
};

TEST_F(PostgresStore, ListingIsOneMomentThoughRowsCommitLate) {
  const std::string location = PostgresDatabase(true);
  StoreError error;
  auto store = OpenMessageStore(location, OpenMode::kCreateIfMissing, error);
  ASSERT_NE(store, nullptr) << error.text;
  const char* insert =
      "INSERT INTO messages (status, reason, sender, sent_at, sent_at_utc, pdu) VALUES "
      "('rejected', 'late', '', '', 0, ";
  pqxx::connection writer(location);
  pqxx::work late(writer);
  late.exec(std::string(insert) + "'LATE')");  // its id is below those of the rows below
  std::vector<Message> batch;
  for (int n = 0; n <= 1000; ++n) {  // more than one page
    batch.push_back(Score(1, "P", n, "+441", "t", n));
  }
  std::vector<KeepResult> results;
  ASSERT_TRUE(store->Keep(batch, results, error)) << error.text;
  bool first = true;
  const std::vector<std::string> listed = Listed(*store, [&](const Message& m) {
    if (first) {
      first = false;
      late.commit();
      Sql(location, std::string(insert) + "'AFTER')");
    }
    return m.pdu;
  });
  EXPECT_EQ(std::ranges::count(listed, "LATE"), std::ranges::count(listed, "AFTER"))
      << "a row committed before one listed was skipped";
}

TEST_F(PostgresStore, LostConnectionIsUnavailableThenMadeAgain) {
  const std::string location = PostgresDatabase(true);
  StoreError error;
  auto store = OpenMessageStore(location, OpenMode::kCreateIfMissing, error);
  ASSERT_NE(store, nullptr) << error.text;
  std::vector<KeepResult> results;
  ASSERT_TRUE(store->Keep({{Score(1, "P", 1, "+441", "t", 1)}}, results, error)) << error.text;
  Sql(location,
      "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = current_database()"
      " AND pid <> pg_backend_pid()");

  EXPECT_FALSE(store->Keep({{Score(1, "P", 2, "+441", "t", 2)}}, results, error));
  EXPECT_EQ(error.kind, StoreErrorKind::kUnavailable);
  EXPECT_TRUE(results.empty());
  EXPECT_TRUE(store->Keep({{Score(1, "P", 2, "+441", "t", 2)}}, results, error)) << error.text;
  EXPECT_EQ(Listed(*store).size(), 2U);
}

TEST_F(PostgresStore, NoDatabaseNoServerOrAStrangeRoleIsRefused) {
  const std::string location = PostgresDatabase(true);
  const std::vector<std::pair<std::string, StoreErrorKind>> cases = {
      {PostgresDatabase(false), StoreErrorKind::kMissing},
      {location + " host=/nonexistent", StoreErrorKind::kUnavailable},  // worth waiting for
      {location + " user=stranger", StoreErrorKind::kNotOurs},
  };
  for (const auto& [where, kind] : cases) {
    StoreError error;
    EXPECT_EQ(OpenMessageStore(where, OpenMode::kCreateIfMissing, error), nullptr) << where;
    EXPECT_EQ(error.kind, kind) << where << ": " << error.text;
  }
}

TEST(PostgresLocation, WhichLocationsArePostgres) {
  for (const char* location :
       {"postgresql://brindle@localhost/scores", "postgres://db", "host=/tmp/pg dbname=scores",
        "service=scores user=brindle", "  \tuser = brindle", "sslmode=require host=db"}) {
    EXPECT_TRUE(IsPostgresLocation(location)) << location;
  }
  for (const char* location :
       {"scores.sqlite", "postgresql.db", " postgresql://db", "scores host=db.sqlite",
        "hostname=db", "Host=db", "data/dbname=x", "user", "  "}) {
    EXPECT_FALSE(IsPostgresLocation(location)) << location;
  }
}

}  // namespace
}  // namespace brindle::service
