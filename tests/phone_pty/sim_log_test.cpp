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
  std::remove(path.c_str());
  ASSERT_EQ(entries.size(), 2U);
  EXPECT_EQ(entries[0].t(), 5U);
  EXPECT_TRUE(entries[0].IsBytes("out"));
  EXPECT_EQ(entries[0].Text("data"), all);
  EXPECT_TRUE(entries[1].IsEvent("line"));
  EXPECT_EQ(entries[1].Text("path"), "/dev/pts/9");
}

struct EventCase {
  DialogueEvent event;
  std::string name;
  std::map<std::string, std::string> texts;
  std::map<std::string, std::int64_t> numbers;
};

DialogueEvent Make(EventKind kind, int index, std::string source = {}, std::string reason = {}) {
  DialogueEvent event;
  event.kind = kind;
  event.index = index;
  event.source = std::move(source);
  event.reason = std::move(reason);
  event.pdu = "0791";
  return event;
}

TEST(SimLog, EventsCarryTheirFields) {
  DialogueEvent sms = Make(EventKind::kMessage, 0);
  sms.cmgsLength = 51;
  sms.octets = 52;
  sms.reference = 3;
  sms.number = "+123456789012";
  sms.payload = std::string("02420110\xe9", 9);
  sms.scoreFields = true;
  sms.gameId = 42;
  sms.fixed = 1;
  sms.score = 12345;
  sms.handle = "\xe9t\xe9";
  DialogueEvent listed = Make(EventKind::kListed, 0);
  listed.stat = 4;
  listed.indexes = {1, 2, 7};
  DialogueEvent read = Make(EventKind::kRead, 2);
  read.stat = 1;
  const EventCase cases[] = {
      {sms,
       "sms",
       {{"number", "+123456789012"},
        {"payload", sms.payload},
        {"payloadHex", "3032343230313130E9"},
        {"handle", sms.handle},
        {"pdu", "0791"}},
       {{"cmgsLength", 51}, {"octets", 52}, {"reference", 3}, {"gameId", 42}, {"score", 12345}}},
      {Make(EventKind::kStored, 4, "loopback"),
       "stored",
       {{"source", "loopback"}, {"pdu", "0791"}},
       {{"index", 4}}},
      {Make(EventKind::kStoreRefused, 0, "feed", "memory full"),
       "store-refused",
       {{"source", "feed"}, {"reason", "memory full"}, {"pdu", "0791"}},
       {}},
      {listed, "listed", {{"indexes", "1,2,7"}}, {{"stat", 4}, {"count", 3}}},
      {read, "read", {}, {{"index", 2}, {"stat", 1}}},
      {Make(EventKind::kDeleted, 5), "deleted", {}, {{"index", 5}}},
      {Make(EventKind::kDeleteRefused, 6, "", "refused"),
       "delete-refused",
       {{"reason", "refused"}},
       {{"index", 6}}},
  };
  for (const EventCase& c : cases) {
    const auto entry = ptytest::ParseLogLine(EventJson(77, c.event));
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
