// The log: every byte comes back from the file as written, and each event carries its fields.
#include "tools/phone_sim/sim_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <string>

#include "sim_log_reader.h"

namespace brindle::sim {
namespace {

TEST(SimLog, EveryByteComesBackFromTheFile) {
  std::string all;
  for (int code = 0; code < 256; ++code) {
    all.push_back(static_cast<char>(code));
  }
  const std::string path = ::testing::TempDir() + "sim-log-" + std::to_string(getpid()) + ".jsonl";
  {
    SimLog log;
    std::string error;
    ASSERT_TRUE(log.Open(path, error)) << error;
    log.Bytes(5, "out", all);
    log.NewLine(6, "/dev/pts/9");
  }
  const auto entries = ptytest::ReadLog(path);
  (void)std::remove(path.c_str());
  ASSERT_EQ(entries.size(), 2U);
  EXPECT_EQ(entries[0].t(), 5U);
  EXPECT_TRUE(entries[0].IsBytes("out"));
  EXPECT_EQ(entries[0].Text("data"), all);
  EXPECT_TRUE(entries[1].IsEvent("line"));
  EXPECT_EQ(entries[1].Text("path"), "/dev/pts/9");
}

// The sending events' fields are checked where a real send writes them (phone_link_pty_test).
TEST(SimLog, ReceivingEventsCarryTheirFields) {
  struct Case {
    EventKind kind;
    std::string name;
    std::map<std::string, std::string> texts;
    std::map<std::string, std::int64_t> numbers;
  };
  const Case cases[] = {
      {EventKind::kStored, "stored", {{"source", "feed"}, {"pdu", "07"}}, {{"index", 4}}},
      {EventKind::kStoreRefused, "store-refused", {{"source", "feed"}, {"reason", "full"}}, {}},
      {EventKind::kListed, "listed", {{"indexes", "1,2,7"}}, {{"stat", 1}, {"count", 3}}},
      {EventKind::kRead, "read", {}, {{"index", 4}, {"stat", 1}}},
      {EventKind::kDeleted, "deleted", {}, {{"index", 4}}},
      {EventKind::kDeleteRefused, "delete-refused", {{"reason", "full"}}, {{"index", 4}}},
  };
  for (const Case& c : cases) {
    DialogueEvent event;
    event.kind = c.kind;
    event.index = 4;
    event.stat = 1;
    event.source = "feed";
    event.reason = "full";
    event.pdu = "07";
    event.indexes = {1, 2, 7};
    const auto entry = ptytest::ParseLogLine(EventJson(77, event));
    ASSERT_TRUE(entry.has_value()) << c.name;
    EXPECT_EQ(entry->t(), 77U);
    EXPECT_TRUE(entry->IsEvent(c.name)) << entry->Text("event");
    for (const auto& [key, text] : c.texts) {
      EXPECT_EQ(entry->Text(key), text) << c.name << " " << key;
    }
    for (const auto& [key, number] : c.numbers) {
      EXPECT_EQ(entry->Number(key), number) << c.name << " " << key;
    }
  }
}

}  // namespace
}  // namespace brindle::sim
