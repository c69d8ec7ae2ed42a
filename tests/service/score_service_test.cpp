// The service's side of the phone. First the answer reader: bytes in, events out; every case
// is fed whole, one byte at a time and in odd-sized pieces, which must not change what comes
// out. Then its failure paths: `brindle serve --once` as a table, against a phone played on the
// recording port and a real SQLite store that fails as each row says. The clock moves at every
// reading, so the service's waits cost nothing. Each row checks the commands written, the log
// and what is kept, on the phone and in the store.
#include "service/score_service.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/testing/manual_clock.h"
#include "base/testing/recording_sleeper.h"
#include "phone/testing/recording_serial_port.h"
#include "service/at_reader.h"

namespace brindle::service {
namespace {

// A PDU behind an empty service-centre field, and the same behind a seven-octet one.
const std::string kPdu = "00040C9144770009103200006221601251304010CD241104B3C56C371BCC16B3C56C305B";
const std::string kLongSc = "0791447700090010" + kPdu.substr(2);
const std::string kOctets = std::to_string(kPdu.size() / 2 - 1);
const std::string kHead = "+CMGL: 1,0,," + kOctets + "\r\n";
const std::string kHead2 = "+CMGL: 2,0,," + kOctets + "\r\n";
const std::string kEntry = kPdu + "\r\n";
const std::string kOk = "OK\r\n";

constexpr std::array<const char*, 4> kFinalNames = {"ok", "error", "cms", "cme"};

std::string ShowEvent(const AtEvent& e) {
  switch (e.kind) {
    case AtEventKind::kFinal:
      return std::string(kFinalNames.at(static_cast<std::size_t>(e.final))) + ":" + e.text +
             (e.code >= 0 ? "#" + std::to_string(e.code) : "");
    case AtEventKind::kInformation:
      return "info:" + e.text;
    case AtEventKind::kEntry:
      return "entry:" + std::to_string(e.index) + ":" + std::to_string(e.stat) + ":" +
             (e.text == kPdu      ? "pdu"
              : e.text == kLongSc ? "long-sc"
                                  : e.text);
    case AtEventKind::kBrokenEntry:
      return "broken:" + std::to_string(e.index) + ":" + e.reason + ":" + e.text;
    case AtEventKind::kNewMessage:
      return "cmti:" + e.memory + ":" + std::to_string(e.index);
    case AtEventKind::kUnsolicited:
      return "unsolicited:" + e.text;
  }
  return "?";
}

struct Case {
  const char* name;
  Expect expect;
  std::string bytes;
  std::string events;  // shown, joined by " | "
  bool cut = false;    // the answer is cut off after the bytes
  bool idle = false;   // no command pending
};

std::string Events(const Case& c, std::size_t piece) {
  AtReader reader;
  if (!c.idle) {
    reader.Begin(c.expect, 5);
  }
  std::vector<AtEvent> events;
  for (std::size_t at = 0; at < c.bytes.size(); at += piece) {
    reader.Feed(std::string_view(c.bytes).substr(at, piece), events);
  }
  if (c.cut) {
    reader.Abort(events);
  }
  std::string shown;
  for (const AtEvent& e : events) {
    shown += (shown.empty() ? "" : " | ") + ShowEvent(e);
  }
  return reader.outOfStep() ? shown + " | out of step" : shown;
}

TEST(AtReader, EventsInOrder) {
  const std::string broken = "broken:1:";
  const std::vector<Case> cases = {
      {"ok after echo", Expect::kPlain, "ATE0\r\r\nOK\r\n", "ok:OK"},
      {"error", Expect::kPlain, "\r\nERROR\r\n", "error:ERROR"},
      {"cms error", Expect::kPlain, "\r\n+CMS ERROR: 321\r\n", "cms:+CMS ERROR: 321#321"},
      {"cme error", Expect::kPlain, "\r\n+CME ERROR: SIM busy\r\n", "cme:+CME ERROR: SIM busy"},
      {"information, bare line feeds", Expect::kPlain, "\n+CSQ: 20,99\nOK\n",
       "info:+CSQ: 20,99 | ok:OK"},
      {"no final code yet", Expect::kPlain, "\r\nOK", ""},
      {"not supported", Expect::kPlain, "\r\nCOMMAND NOT SUPPORT\r\n", "error:COMMAND NOT SUPPORT"},
      {"stray OK with nothing pending", Expect::kPlain, "\r\nOK\r\n",
       "unsolicited:OK | out of step", false, true},
      {"a listing in a plain answer", Expect::kPlain, kHead + kEntry + kOk,
       "info:" + kHead.substr(0, kHead.size() - 2) + " | info:" + kPdu + " | ok:OK | out of step"},
      {"a reading in a listing", Expect::kListing, "+CMGR: 1,," + kOctets + "\r\n" + kEntry + kOk,
       "unsolicited:+CMGR: 1,," + kOctets + " | unsolicited:" + kPdu + " | ok:OK | out of step"},
      {"two entries, comma in the alpha field", Expect::kListing,
       kHead + kEntry + "+CMGL: 4,1,\"Ann, B\"," + kOctets + "\r\n" + kEntry + "\r\n" + kOk,
       "entry:1:0:pdu | entry:4:1:pdu | ok:OK"},
      {"service-centre field counted out", Expect::kListing, kHead + kLongSc + "\r\n" + kOk,
       "entry:1:0:long-sc | ok:OK"},
      {"unsolicited and unknown lines in the middle", Expect::kListing,
       kHead + "RING\r\n" + kEntry + "+CMTI: \"SM\",9\r\n#$%garbage!\r\n" + kHead2 +
           "+CDSI: \"SM\",1\r\n" + kEntry + kOk,
       "unsolicited:RING | entry:1:0:pdu | cmti:SM:9 | unsolicited:#$%garbage! | "
       "unsolicited:+CDSI: \"SM\",1 | entry:2:0:pdu | ok:OK"},
      {"status lines between a header and its PDU line", Expect::kListing,
       kHead + "^RSSI:17\r\n\r\n^MODE:5,4\r\n+CREG: 1\r\n+CMTI: \"ME\",0\r\n" + kEntry + kOk,
       "unsolicited:^RSSI:17 | unsolicited:^MODE:5,4 | unsolicited:+CREG: 1 | cmti:ME:0 | "
       "entry:1:0:pdu | ok:OK"},
      {"junk, then the real PDU line", Expect::kListing, kHead + "#$%\r\n" + kEntry + kOk,
       "unsolicited:#$% | entry:1:0:pdu | ok:OK"},
      {"padding after the TPDU", Expect::kListing, kHead + kPdu + "FFFFff\r\n" + kOk,
       "entry:1:0:pdu | ok:OK"},
      {"header without its PDU, twice", Expect::kListing, kHead + kHead2 + kEntry + kHead + kOk,
       broken + "no PDU line after the header: | entry:2:0:pdu | " + broken +
           "no PDU line after the header: | ok:OK"},
      {"odd length", Expect::kListing, kHead + kPdu + "0\r\n" + kOk,
       broken + "odd number of hex digits:" + kPdu + "0 | ok:OK"},
      {"other length than the header's", Expect::kListing, "+CMGL: 1,0,,34\r\n" + kEntry + kOk,
       broken + kOctets +
           " octets after the service-centre field where the header says 34:" + kPdu + " | ok:OK"},
      {"other octets than padding after the TPDU", Expect::kListing,
       kHead + kPdu + "FF00\r\n" + kOk,
       broken + std::to_string(kPdu.size() / 2 + 1) +
           " octets after the service-centre field where the header says " + kOctets + ":" + kPdu +
           "FF00 | ok:OK"},
      {"only junk after the header", Expect::kListing, kHead + "0004ZZ\r\n" + kOk,
       "unsolicited:0004ZZ | " + broken +
           "a line that is not hex where the PDU line belongs:0004ZZ | ok:OK"},
      {"unreadable header", Expect::kListing, "+CMGL: x,0,,33\r\n" + kEntry + kOk,
       "broken:-1:unreadable header:" + kPdu + " | ok:OK"},
      {"overlong PDU line", Expect::kListing,
       kHead + std::string(kMaxLineBytes + 5, '0') + "\r\n" + kOk,
       broken + "PDU line longer than the reader's buffer:" + std::string(kMaxLineBytes, '0') +
           " | ok:OK"},
      {"cut in the PDU line", Expect::kListing, kHead + kPdu.substr(0, 20),
       broken + "the PDU line was cut off:" + kPdu.substr(0, 20), true},
      {"cut after the header", Expect::kListing, kHead,
       broken + "the answer ended before the PDU line:", true},
      {"cut after a whole entry", Expect::kListing, kHead + kEntry + "+CMG", "entry:1:0:pdu", true},
      {"reading takes the index asked for", Expect::kReading,
       "+CMGR: 0,," + kOctets + "\r\n" + kEntry + kOk, "entry:5:0:pdu | ok:OK"},
      {"reading without a status", Expect::kReading, "+CMGR: ,," + kOctets + "\r\n" + kEntry + kOk,
       "entry:5:-1:pdu | ok:OK"},
  };
  for (const Case& c : cases) {
    for (const std::size_t piece : {c.bytes.size(), std::size_t{1}, std::size_t{7}}) {
      EXPECT_EQ(Events(c, piece), c.events) << c.name << ", in pieces of " << piece;
    }
  }
}

// A score message; `n` sets the seconds of its time stamp, so each n is another message.
std::string NthPdu(int n) {
  std::string pdu = kPdu;
  pdu[30] = static_cast<char>('0' + n);
  return pdu;
}

// A phone that keeps messages in memories "SM" (and "ME" when it has them) and answers as the
// row's quirks say.
struct Phone {
  std::map<std::string, std::map<int, std::string>> memories;
  bool refusesThreeMemoryForm = false;
  bool refusesDeletes = false;
  bool refusesIndications = false;  // AT+CNMI=2,1
  std::string leftOver;             // an earlier answer still on its way when the service starts
  std::string selected = "SM";
  std::string simLock;  // what AT+CPIN? says the SIM waits for; empty: the SIM is open

  static std::string Entry(std::string_view header, int index, const std::string& pdu) {
    return std::string(header) + (index < 0 ? "" : std::to_string(index) + ",") + "1,," +
           std::to_string(pdu.size() / 2 - 1) + "\r\n" + pdu + "\r\n";
  }

  std::string Respond(std::string_view written) {
    const std::string command(written.substr(0, written.find('\r')));
    std::map<int, std::string>& memory = memories[selected];
    if (command == "AT+CNMI=2,1" && refusesIndications) {
      return "\r\n+CME ERROR: 3\r\n";
    }
    if (command == "AT+CPIN?" && !simLock.empty()) {
      return "\r\n+CPIN: " + simLock + "\r\n\r\nOK\r\n";
    }
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
      const auto found = memory.find(std::stoi(command.substr(8)));
      return found == memory.end() ? "\r\n+CMS ERROR: 321\r\n"
                                   : Entry("+CMGR: ", -1, found->second) + "\r\nOK\r\n";
    }
    if (command.starts_with("AT+CMGD=")) {
      if (refusesDeletes) {
        return "\r\n+CMS ERROR: 500\r\n";
      }
      memory.erase(std::stoi(command.substr(8)));
    }
    return "\r\nOK\r\n";
  }
};

enum class StoreFault : std::uint8_t { kNone, kRefuses, kLosesOutcome };

// The real store behind a gate that fails as the row says.
class FaultyStore final : public MessageStore {
 public:
  FaultyStore(std::unique_ptr<MessageStore> store, StoreFault fault)
      : store_(std::move(store)), fault_(fault) {}

  bool Keep(std::span<const Message> messages, std::vector<KeepResult>& results,
            StoreError& error) override {
    if (fault_ == StoreFault::kNone) {
      return store_->Keep(messages, results, error);
    }
    const bool committed = fault_ == StoreFault::kLosesOutcome;  // the answer never came back
    if (committed) {
      static_cast<void>(store_->Keep(messages, results, error));
    }
    error = {StoreErrorKind::kUnavailable,
             committed ? "the connection was lost during COMMIT" : "database is locked"};
    fault_ = fault_ == StoreFault::kRefuses ? fault_ : StoreFault::kNone;
    return false;
  }
  bool ForEachMessage(const std::function<bool(const StoredMessage&)>& visit,
                      StoreError& error) override {
    return store_->ForEachMessage(visit, error);
  }
  bool Leaderboard(const LeaderboardQuery& query, std::vector<GameLeaderboard>& games,
                   StoreError& error) override {
    return store_->Leaderboard(query, games, error);
  }
  bool SetHidden(std::int64_t id, bool hidden, Moderated& outcome, StoreError& error) override {
    return store_->SetHidden(id, hidden, outcome, error);
  }
  bool SetBlocked(std::string_view sender, bool blocked, Moderated& outcome,
                  StoreError& error) override {
    return store_->SetBlocked(sender, blocked, outcome, error);
  }
  bool ForEachModeration(const std::function<bool(const ModerationAct&)>& visit,
                         StoreError& error) override {
    return store_->ForEachModeration(visit, error);
  }
  bool SetGameName(std::int64_t gameId, std::string_view name, StoreError& error) override {
    return store_->SetGameName(gameId, name, error);
  }
  bool ReportPort(const PortReport& report, StoreError& error) override {
    return store_->ReportPort(report, error);
  }
  bool PortStatuses(std::vector<PortStatus>& ports, StoreError& error) override {
    return store_->PortStatuses(ports, error);
  }

 private:
  std::unique_ptr<MessageStore> store_;
  StoreFault fault_;
};

using Lines = std::vector<std::string>;

struct Row {
  const char* name;
  Phone phone;
  std::string commands;  // written after the start, "AT+" left out, space-separated
  std::string stored;    // "P<n>" per score, "damaged <received>" per damaged entry
  std::string left;      // what the phone still holds: "SM:1 ME:2"
  Lines said = Lines();  // lines of the first run's log, each in part
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
        command.starts_with("AT+CNMI") || command == "AT+CPMS=?" || command == "AT+CPIN?") {
      continue;
    }
    shown += (shown.empty() ? "" : " ") + command.substr(3);
  }
  return shown;
}

struct Log final : ServiceLog {
  void Line(std::string_view line) override { text += std::string(line) + "\n"; }
  std::string text;
};

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
  Phone refusing = sm({{1, NthPdu(1)}, {2, NthPdu(2)}});
  refusing.refusesDeletes = true;
  Phone two = sm({{1, NthPdu(1)}});
  two.memories["ME"] = {{1, NthPdu(2)}};
  Phone oneForm = two;
  oneForm.refusesThreeMemoryForm = true;
  Phone stray = sm({{1, NthPdu(1)}, {2, NthPdu(2)}});
  stray.leftOver = "\r\nOK\r\n";
  Phone shortPdu = sm({{1, NthPdu(1)}, {2, NthPdu(2) + "0"}});  // an odd number of hex digits
  shortPdu.refusesIndications = true;
  Phone puk = sm({{1, NthPdu(1)}});
  puk.simLock = "SIM PUK";
  const std::vector<Row> rows = {
      {"listed and deleted", sm({{1, NthPdu(1)}, {2, NthPdu(2)}}), "CMGL=4 CMGD=1 CMGD=2", "P1 P2",
       ""},
      {"index 0", sm({{0, NthPdu(0)}}), "CMGL=4 CMGD=0", "P0", ""},
      {"the store refuses the batch", sm({{1, NthPdu(1)}, {2, NthPdu(2)}}), "CMGL=4", "",
       "SM:1 SM:2", Lines({"cannot store 2 message(s): database is locked"}), StoreFault::kRefuses,
       1, false, ServiceExit::kStoreFailed},
      {"the commit's outcome is lost", sm({{1, NthPdu(1)}, {2, NthPdu(2)}}),
       "CMGL=4 CMGL=4 CMGD=1 CMGD=2", "P1 P2", "", Lines(), StoreFault::kLosesOutcome, 2},
      {"the line drops between commit and delete", sm({{1, NthPdu(1)}, {2, NthPdu(2)}}),
       "CMGL=4 CMGL=4 CMGD=1 CMGD=2", "P1 P2", "", Lines(), StoreFault::kNone, 1, true},
      {"deletes refused, each run", refusing, "CMGL=4 CMGD=1 CMGD=2 CMGL=4 CMGD=1 CMGD=2", "P1 P2",
       "SM:1 SM:2",
       Lines({"refused to delete message #1 at index 1", "delete message #2 at index 2"}),
       StoreFault::kNone, 2},
      {"two memories", two,
       R"(CPMS="SM","SM","SM" CMGL=4 CMGD=1 CPMS="ME","ME","ME" CMGL=4 CMGD=1)", "P1 P2", ""},
      {"the one-memory form", oneForm,
       R"(CPMS="SM","SM","SM" CPMS="SM" CMGL=4 CMGD=1 CPMS="ME" CMGL=4 CMGD=1)", "P1 P2", ""},
      {"an answer left from before the start", stray, "CMGL=4 CMGD=1 CMGD=2", "P1 P2", ""},
      {"a PDU not received whole; announcements refused", shortPdu,
       "CMGL=4 CMGD=1 CMGR=2 CMGR=2 CMGD=2", "P1 damaged 2 2026-12-07T10:00:00Z", "",
       Lines({"refused AT+CNMI=2,1 (+CME ERROR: 3)", "not received whole in 3 reads: odd number"})},
      {"a SIM that waits for its PUK", puk, "", "", "SM:1",
       Lines({"the SIM in the phone on COM3: waits for SIM PUK, which the service does not enter"}),
       StoreFault::kNone, 1, false, ServiceExit::kNoPhone},
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
    Log log;
    bool dropped = false;
    const auto afterCommit = [&] {
      if (row.lineDropsAfterCommit && !std::exchange(dropped, true)) {
        port.FailCall(PortCall::kWrite, 5, 1);
      }
    };
    ScoreService service({.port = "COM3:", .once = true, .modem = {}},
                         {.port = &port,
                          .store = &store,
                          .clock = &clock,
                          .sleeper = &sleeper,
                          .log = &log,
                          .stopRequested = {},
                          .utcNow = [] { return std::string("2026-12-07T10:00:00Z"); },
                          .afterCommit = afterCommit,
                          .phoneReady = {}});
    ServiceExit exit = service.Run();
    const std::string firstRun = log.text;  // where the `said` lines are looked for
    for (int run = 1; run < row.runs; ++run) {
      exit = service.Run();
    }
    EXPECT_EQ(exit, row.exit);
    EXPECT_EQ(Shown(port.Writes()), row.commands);
    for (const std::string& line : row.said) {
      EXPECT_NE(firstRun.find(line), std::string::npos) << line << " not in:\n" << firstRun;
    }
    std::string stored;
    ASSERT_TRUE(store.ForEachMessage(
        [&](const StoredMessage& kept) {
          std::string tag = "damaged " + kept.message.received;
          for (int n = 0; n < 10 && kept.message.received.empty(); ++n) {
            tag = kept.message.pdu == NthPdu(n) ? "P" + std::to_string(n) : tag;
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
    // What the service last reported of its port: stopped, with the counts it ended with.
    std::vector<PortStatus> ports;
    ASSERT_TRUE(store.PortStatuses(ports, error)) << error.text;
    ASSERT_EQ(ports.size(), 1U);
    const PortReport& report = ports[0].report;
    const ServiceCounts& counts = service.counts();
    EXPECT_EQ(report.state, PortState::kStopped);
    EXPECT_EQ(std::tie(report.storedCount, report.rejectedCount, report.deletedCount),
              std::tie(counts.stored, counts.rejected, counts.deleted));
  }
}

}  // namespace
}  // namespace brindle::service
