// The service's failure paths: `brindle serve --once` as a table, against a phone played on
// the recording port and a real SQLite store that fails as each row says. The clock moves at
// every reading, so the service's waits cost nothing. Each row checks the commands written and
// what is kept, on the phone and in the store.
#include "service/score_service.h"

#include <gtest/gtest.h>

#include <charconv>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/testing/manual_clock.h"
#include "base/testing/recording_sleeper.h"
#include "phone/testing/recording_serial_port.h"

namespace brindle::service {
namespace {

// A score message; `n` sets the seconds of its time stamp, so each n is another message.
std::string Pdu(int n) {
  std::string pdu = "00040C9144770009103200006221601251304010CD241104B3C56C371BCC16B3C56C305B";
  pdu[30] = static_cast<char>('0' + n);
  return pdu;
}

int NumberAfter(std::string_view text, std::string_view prefix) {
  int value = -1;
  text.remove_prefix(prefix.size());
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// A phone that keeps messages in memories "SM" (and "ME" when it has them) and answers as the
// row's quirks say.
struct Phone {
  std::map<std::string, std::map<int, std::string>> memories;
  bool refusesThreeMemoryForm = false;
  bool refusesDeletes = false;
  bool noisy = false;       // status lines between each header and its PDU line
  std::string leftOver;     // an earlier answer still on its way when the service starts
  bool badHeaders = false;  // headers whose length field cannot be read
  std::string selected = "SM";

  [[nodiscard]] std::string Entry(std::string_view header, int index,
                                  const std::string& pdu) const {
    const std::string length = badHeaders ? "zz" : std::to_string(pdu.size() / 2 - 1);
    return std::string(header) + (index < 0 ? "" : std::to_string(index) + ",") + "1,," + length +
           "\r\n" + (noisy ? "^RSSI:17\r\n+CREG: 1\r\n" : "") + pdu + "\r\n";
  }

  std::string Respond(std::string_view written) {
    const std::string command(written.substr(0, written.find('\r')));
    std::map<int, std::string>& memory = memories[selected];
    if (command == "AT+CPMS=?") {
      return memories.size() > 1 ? "\r\n+CPMS: (\"SM\",\"ME\"),(\"SM\",\"ME\"),(\"SM\",\"ME\")\r\n"
                                   "\r\nOK\r\n"
                                 : "\r\nERROR\r\n";
    }
    if (command.starts_with("AT+CPMS=\"")) {
      if (refusesThreeMemoryForm && command.find(',') != std::string::npos) {
        return "\r\n+CMS ERROR: 302\r\n";
      }
      selected = command.substr(9, 2);
      return "\r\n+CPMS: 1,50,1,50,1,50\r\n\r\nOK\r\n";
    }
    if (command == "AT+CMGL=4") {
      std::string listing;
      for (const auto& [index, pdu] : memory) {
        listing += Entry("+CMGL: ", index, pdu);
      }
      return listing + "\r\nOK\r\n";
    }
    if (command.starts_with("AT+CMGR=")) {
      const auto found = memory.find(NumberAfter(command, "AT+CMGR="));
      return found == memory.end() ? "\r\n+CMS ERROR: 321\r\n"
                                   : Entry("+CMGR: ", -1, found->second) + "\r\nOK\r\n";
    }
    if (command.starts_with("AT+CMGD=")) {
      if (refusesDeletes) {
        return "\r\n+CMS ERROR: 500\r\n";
      }
      memory.erase(NumberAfter(command, "AT+CMGD="));
    }
    return "\r\nOK\r\n";
  }
};

enum class StoreFault : std::uint8_t { kNone, kRefuses, kLosesOutcome, kFailsOnce };

// The real store behind a gate that fails as the row says.
class FaultyStore final : public MessageStore {
 public:
  FaultyStore(std::unique_ptr<MessageStore> store, StoreFault fault)
      : store_(std::move(store)), fault_(fault) {}

  bool Keep(std::span<const Message> messages, std::vector<KeepResult>& results,
            StoreError& error) override {
    error = {StoreErrorKind::kUnavailable, "database is locked"};
    switch (fault_) {
      case StoreFault::kRefuses:
        return false;
      case StoreFault::kFailsOnce:
        fault_ = StoreFault::kNone;
        return false;
      case StoreFault::kLosesOutcome:  // committed, but the answer never came back
        fault_ = StoreFault::kNone;
        static_cast<void>(store_->Keep(messages, results, error));
        error = {StoreErrorKind::kUnavailable, "the connection was lost during COMMIT"};
        return false;
      case StoreFault::kNone:
        break;
    }
    return store_->Keep(messages, results, error);
  }
  bool ForEachMessage(const std::function<bool(const StoredMessage&)>& visit,
                      StoreError& error) override {
    return store_->ForEachMessage(visit, error);
  }
  bool Leaderboard(const LeaderboardQuery& query, std::vector<GameLeaderboard>& games,
                   StoreError& error) override {
    return store_->Leaderboard(query, games, error);
  }

 private:
  std::unique_ptr<MessageStore> store_;
  StoreFault fault_;
};

struct Row {
  const char* name;
  Phone phone;
  std::string commands;  // written after the start, "AT+" left out, space-separated
  std::string stored;    // "P<n>" per score, "damaged <received>" per damaged entry
  std::string left;      // what the phone still holds: "SM:1 ME:2"
  StoreFault fault = StoreFault::kNone;
  int runs = 1;
  bool lineDropsAfterCommit = false;
  ServiceExit exit = ServiceExit::kDone;
};

std::string Shown(const std::vector<std::string>& writes) {
  std::string shown;
  for (const std::string& write : writes) {
    const std::string command = write.substr(0, write.find('\r'));
    if (command == "ATZ" || command == "ATE0" || command.starts_with("AT+CMGF") ||
        command.starts_with("AT+CNMI") || command == "AT+CPMS=?") {
      continue;
    }
    shown += (shown.empty() ? "" : " ") + command.substr(3);
  }
  return shown;
}

class ScoreServiceFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("score-service-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::filesystem::path dir_;
};

TEST_F(ScoreServiceFaults, EachRowKeepsWhatThePhoneHeld) {
  const auto sm = [](std::map<int, std::string> held) {
    Phone phone;
    phone.memories["SM"] = std::move(held);
    return phone;
  };
  Phone noisy = sm({{1, Pdu(1)}, {2, Pdu(2)}});
  noisy.noisy = true;
  Phone refusing = sm({{1, Pdu(1)}, {2, Pdu(2)}});
  refusing.refusesDeletes = true;
  Phone two = sm({{1, Pdu(1)}});
  two.memories["ME"] = {{1, Pdu(2)}};
  Phone oneForm = two;
  oneForm.refusesThreeMemoryForm = true;
  Phone stray = sm({{1, Pdu(1)}, {2, Pdu(2)}});
  stray.leftOver = "\r\nOK\r\n";
  Phone unreadable = sm({{3, Pdu(3)}});
  unreadable.badHeaders = true;
  const std::vector<Row> rows = {
      {"listed and deleted", sm({{1, Pdu(1)}, {2, Pdu(2)}}), "CMGL=4 CMGD=1 CMGD=2", "P1 P2", ""},
      {"index 0", sm({{0, Pdu(0)}}), "CMGL=4 CMGD=0", "P0", ""},
      {"status lines before the PDU line", noisy, "CMGL=4 CMGD=1 CMGD=2", "P1 P2", ""},
      {"the store refuses the batch", sm({{1, Pdu(1)}, {2, Pdu(2)}}), "CMGL=4", "", "SM:1 SM:2",
       StoreFault::kRefuses, 1, false, ServiceExit::kStoreFailed},
      {"the commit's outcome is lost", sm({{1, Pdu(1)}, {2, Pdu(2)}}),
       "CMGL=4 CMGL=4 CMGD=1 CMGD=2", "P1 P2", "", StoreFault::kLosesOutcome, 2},
      {"the store fails once, then recovers", sm({{1, Pdu(1)}}), "CMGL=4 CMGL=4 CMGD=1", "P1", "",
       StoreFault::kFailsOnce, 2},
      {"the line drops between commit and delete", sm({{1, Pdu(1)}, {2, Pdu(2)}}),
       "CMGL=4 CMGL=4 CMGD=1 CMGD=2", "P1 P2", "", StoreFault::kNone, 1, true},
      {"deletes refused", refusing, "CMGL=4 CMGD=1 CMGD=2", "P1 P2", "SM:1 SM:2"},
      {"two memories", two,
       R"(CPMS="SM","SM","SM" CMGL=4 CMGD=1 CPMS="ME","ME","ME" CMGL=4 CMGD=1)", "P1 P2", ""},
      {"the one-memory form", oneForm,
       R"(CPMS="SM","SM","SM" CPMS="SM" CMGL=4 CMGD=1 CPMS="ME" CMGL=4 CMGD=1)", "P1 P2", ""},
      {"an answer left from before the start", stray, "CMGL=4 CMGD=1 CMGD=2", "P1 P2", ""},
      {"a header that cannot be read", unreadable, "CMGL=4 CMGR=3 CMGR=3 CMGD=3",
       "damaged 3 2026-12-07T10:00:00Z", ""},
  };
  int dbNumber = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Phone phone = row.phone;
    RecordingSerialPort port;
    port.RespondWith([&](std::string_view written) { return phone.Respond(written); });
    port.QueueInput(phone.leftOver);
    StoreError error;
    FaultyStore store(OpenMessageStore((dir_ / (std::to_string(++dbNumber) + ".db")).string(),
                                       OpenMode::kCreateIfMissing, error),
                      row.fault);
    ManualClock clock;
    clock.SetStepPerReading(50);
    RecordingSleeper sleeper;
    ServiceParts parts;
    parts.port = &port;
    parts.store = &store;
    parts.clock = &clock;
    parts.sleeper = &sleeper;
    parts.utcNow = [] { return std::string("2026-12-07T10:00:00Z"); };
    bool dropped = false;
    parts.afterCommit = [&] {
      if (row.lineDropsAfterCommit && !std::exchange(dropped, true)) {
        port.FailCall(PortCall::kWrite, 5, 1);
      }
    };
    ServiceOptions options;
    options.port = "COM3:";
    options.once = true;
    ScoreService service(options, parts);
    ServiceExit exit = ServiceExit::kDone;
    for (int run = 0; run < row.runs; ++run) {
      exit = service.Run();
    }
    EXPECT_EQ(exit, row.exit);
    EXPECT_EQ(Shown(port.Writes()), row.commands);
    std::string stored;
    ASSERT_TRUE(store.ForEachMessage(
        [&](const StoredMessage& kept) {
          std::string tag = "damaged " + kept.message.received;
          for (int n = 0; n < 10 && kept.message.received.empty(); ++n) {
            tag = kept.message.pdu == Pdu(n) ? "P" + std::to_string(n) : tag;
          }
          stored += (stored.empty() ? "" : " ") + tag;
          return true;
        },
        error));
    EXPECT_EQ(stored, row.stored);
    std::string left;
    for (const auto& [memory, held] : phone.memories) {
      for (const auto& [index, pdu] : held) {
        left += (left.empty() ? "" : " ") + memory + ":" + std::to_string(index);
      }
    }
    EXPECT_EQ(left, row.left);
  }
}

}  // namespace
}  // namespace brindle::service
