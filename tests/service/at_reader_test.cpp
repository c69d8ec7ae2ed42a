// The answer reader on its own: bytes in, events out, as tables. Each case feeds its bytes in
// one piece and again one byte at a time, which must not change what comes out.
#include "service/at_reader.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace brindle::service {
namespace {

// A PDU behind an empty service-centre field (its octets count, not its content).
const std::string kPdu =
    "00040C914477000910320000622160125130401"
    "0CD241104B3C56C371BCC16B3C56C305B";
const std::string kPduOctets = std::to_string(kPdu.size() / 2 - 1);
// The same behind a seven-octet service-centre field.
const std::string kLongScPdu = "0791447700090010" + kPdu.substr(2);

// Events as short text, so a table can say what it expects in one line each.
std::string Show(const AtEvent& e) {
  switch (e.kind) {
    case AtEventKind::kFinal:
      return "final:" + e.text;
    case AtEventKind::kInformation:
      return "info:" + e.text;
    case AtEventKind::kEntry:
      return "entry:" + std::to_string(e.index) + ":" + std::to_string(e.stat) + ":" +
             (e.text == kPdu         ? "pdu"
              : e.text == kLongScPdu ? "long-sc-pdu"
                                     : e.text);
    case AtEventKind::kBrokenEntry:
      return "broken:" + std::to_string(e.index) + ":" + e.reason + ":" + e.text;
    case AtEventKind::kNewMessage:
      return "cmti:" + std::to_string(e.index);
    case AtEventKind::kUnsolicited:
      return "unsolicited:" + e.text;
  }
  return "?";
}

struct Case {
  const char* name;
  Expect expect;
  int index;
  std::string bytes;
  bool abort;  // the answer is cut off after the bytes
  std::vector<std::string> events;
};

std::vector<std::string> Events(const Case& c, bool byteByByte) {
  AtReader reader;
  reader.Begin(c.expect, c.index);
  std::vector<AtEvent> events;
  if (byteByByte) {
    for (const char byte : c.bytes) {
      reader.Feed(std::string(1, byte), events);
    }
  } else {
    reader.Feed(c.bytes, events);
  }
  if (c.abort) {
    reader.Abort(events);
  }
  std::vector<std::string> shown;
  for (const AtEvent& e : events) {
    shown.push_back(Show(e));
  }
  return shown;
}

const std::string kHeader = "+CMGL: 1,0,," + kPduOctets;
const std::string kCrLf = "\r\n";

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"ok", Expect::kPlain, -1, "\r\nOK\r\n", false, {"final:OK"}},
      {"echo then ok", Expect::kPlain, -1, "ATE0\r\r\nOK\r\n", false, {"final:OK"}},
      {"error", Expect::kPlain, -1, "\r\nERROR\r\n", false, {"final:ERROR"}},
      {"cms error",
       Expect::kPlain,
       -1,
       "\r\n+CMS ERROR: 321\r\n",
       false,
       {"final:+CMS ERROR: 321"}},
      {"cme error in words",
       Expect::kPlain,
       -1,
       "\r\n+CME ERROR: SIM busy\r\n",
       false,
       {"final:+CME ERROR: SIM busy"}},
      {"information before ok",
       Expect::kPlain,
       -1,
       "\r\n+CSQ: 20,99\r\n\r\nOK\r\n",
       false,
       {"info:+CSQ: 20,99", "final:OK"}},
      {"ring and cmti while idle",
       Expect::kPlain,
       -1,
       "\r\nRING\r\n\r\n+CMTI: \"SM\",7\r\nOK\r\n",
       false,
       {"unsolicited:RING", "cmti:7", "final:OK"}},
      {"bare line feeds", Expect::kPlain, -1, "\nOK\n", false, {"final:OK"}},
      {"no final code yet", Expect::kPlain, -1, "\r\nOK", false, {}},
      {"listing of two",
       Expect::kListing,
       -1,
       kCrLf + kHeader + kCrLf + kPdu + kCrLf + "+CMGL: 4,1,\"Ann, B\"," + kPduOctets + kCrLf +
           kPdu + kCrLf + kCrLf + "OK" + kCrLf,
       false,
       {"entry:1:0:pdu", "entry:4:1:pdu", "final:OK"}},
      {"empty listing", Expect::kListing, -1, "\r\nOK\r\n", false, {"final:OK"}},
      {"service-centre field counted out",
       Expect::kListing,
       -1,
       kHeader + kCrLf + kLongScPdu + kCrLf + "OK" + kCrLf,
       false,
       {"entry:1:0:long-sc-pdu", "final:OK"}},
      {"unsolicited lines in the middle",
       Expect::kListing,
       -1,
       kHeader + kCrLf + "RING" + kCrLf + kPdu + kCrLf + "+CMTI: \"SM\",9" + kCrLf +
           "+CMGL: 2,0,," + kPduOctets + kCrLf + "+CDSI: \"SM\",1" + kCrLf + kPdu + kCrLf + "OK" +
           kCrLf,
       false,
       {"unsolicited:RING", "entry:1:0:pdu", "cmti:9", "unsolicited:+CDSI: \"SM\",1",
        "entry:2:0:pdu", "final:OK"}},
      {"garbage between entries",
       Expect::kListing,
       -1,
       kHeader + kCrLf + kPdu + kCrLf + "#$%garbage!" + kCrLf + "+CMGL: 2,0,," + kPduOctets +
           kCrLf + kPdu + kCrLf + "OK" + kCrLf,
       false,
       {"entry:1:0:pdu", "unsolicited:#$%garbage!", "entry:2:0:pdu", "final:OK"}},
      {"header without its pdu, then another",
       Expect::kListing,
       -1,
       kHeader + kCrLf + "+CMGL: 2,0,," + kPduOctets + kCrLf + kPdu + kCrLf + "OK" + kCrLf,
       false,
       {"broken:1:no PDU line after the header:", "entry:2:0:pdu", "final:OK"}},
      {"last header without its pdu",
       Expect::kListing,
       -1,
       kHeader + kCrLf + "OK" + kCrLf,
       false,
       {"broken:1:no PDU line after the header:", "final:OK"}},
      {"odd length",
       Expect::kListing,
       -1,
       kHeader + kCrLf + kPdu + "0" + kCrLf + "OK" + kCrLf,
       false,
       {"broken:1:odd number of hex digits:" + kPdu + "0", "final:OK"}},
      {"length other than the header says",
       Expect::kListing,
       -1,
       "+CMGL: 1,0,,34" + kCrLf + kPdu + kCrLf + "OK" + kCrLf,
       false,
       {"broken:1:" + kPduOctets +
            " octets after the service-centre field where the header says "
            "34:" +
            kPdu,
        "final:OK"}},
      {"not hex",
       Expect::kListing,
       -1,
       kHeader + kCrLf + "0004ZZ" + kCrLf + "OK" + kCrLf,
       false,
       {"broken:1:not a hex digit at offset 4:0004ZZ", "final:OK"}},
      {"service-centre field past the end",
       Expect::kListing,
       -1,
       "+CMGL: 1,0,,0" + kCrLf + "0A04" + kCrLf + "OK" + kCrLf,
       false,
       {"broken:1:service-centre field longer than the PDU:0A04", "final:OK"}},
      {"unreadable header",
       Expect::kListing,
       -1,
       "+CMGL: x,0,,33" + kCrLf + kPdu + kCrLf + "OK" + kCrLf,
       false,
       {"broken:-1:unreadable header:" + kPdu, "final:OK"}},
      {"cut in the pdu line",
       Expect::kListing,
       -1,
       kCrLf + kHeader + kCrLf + kPdu.substr(0, 20),
       true,
       {"broken:1:the PDU line was cut off:" + kPdu.substr(0, 20)}},
      {"cut after the header",
       Expect::kListing,
       -1,
       kHeader + kCrLf,
       true,
       {"broken:1:the answer ended before the PDU line:"}},
      {"cut after a whole entry",
       Expect::kListing,
       -1,
       kHeader + kCrLf + kPdu + kCrLf + "+CMG",
       true,
       {"entry:1:0:pdu"}},
      {"reading takes the index asked for",
       Expect::kReading,
       5,
       "AT+CMGR=5\r\r\n+CMGR: 0,," + kPduOctets + kCrLf + kPdu + kCrLf + "OK" + kCrLf,
       false,
       {"entry:5:0:pdu", "final:OK"}},
      {"reading an empty index",
       Expect::kReading,
       5,
       "\r\n+CMS ERROR: 321\r\n",
       false,
       {"final:+CMS ERROR: 321"}},
      {"+CMGR in a listing is not an entry",
       Expect::kListing,
       -1,
       "+CMGR: 0,,33" + kCrLf + "OK" + kCrLf,
       false,
       {"unsolicited:+CMGR: 0,,33", "final:OK"}},
      {"overlong line in place of the pdu",
       Expect::kListing,
       -1,
       kHeader + kCrLf + std::string(kMaxLineBytes + 5, '0') + kCrLf + "OK" + kCrLf,
       false,
       {"broken:1:PDU line longer than the reader's buffer:" + std::string(kMaxLineBytes, '0'),
        "final:OK"}},
  };
  return cases;
}

class AtReaderTable : public testing::TestWithParam<Case> {};

TEST_P(AtReaderTable, EventsInOrder) {
  const Case& c = GetParam();
  EXPECT_EQ(Events(c, false), c.events);
  EXPECT_EQ(Events(c, true), c.events) << "fed one byte at a time";
}

std::string CaseName(const testing::TestParamInfo<Case>& param) {
  std::string name = param.param.name;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) {
      c = '_';
    }
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Answers, AtReaderTable, testing::ValuesIn(Cases()), CaseName);

TEST(AtReader, FinalCodeWithoutPendingCommandIsNotAnAnswer) {
  AtReader reader;
  std::vector<AtEvent> events;
  reader.Feed("\r\nOK\r\n", events);
  ASSERT_EQ(events.size(), 1U);
  EXPECT_EQ(events[0].kind, AtEventKind::kUnsolicited);
  EXPECT_FALSE(reader.answerPending());
}

TEST(AtReader, ErrorCodesAreNumbers) {
  AtReader reader;
  reader.Begin(Expect::kPlain);
  std::vector<AtEvent> events;
  reader.Feed("+CMS ERROR: 500\r\n", events);
  ASSERT_EQ(events.size(), 1U);
  EXPECT_EQ(events[0].final, FinalCode::kCmsError);
  EXPECT_EQ(events[0].code, 500);
  EXPECT_FALSE(reader.answerPending());
}

TEST(EntryHeader, FieldsFromBothEnds) {
  struct Row {
    std::string fields;
    bool withIndex;
    bool ok;
    int index;
    int stat;
    int length;
  };
  for (const Row& row : std::vector<Row>{
           {" 3,1,,24", true, true, 3, 1, 24},
           {" 3,1,\"A, B, C\",24", true, true, 3, 1, 24},
           {" 0,,24", false, true, -1, 0, 24},
           {" 3,1,,", true, false, 0, 0, 0},
           {" 3,24", true, false, 0, 0, 0},
           {" -3,1,,24", true, false, 0, 0, 0},
           {"", false, false, 0, 0, 0},
       }) {
    int index = 0;
    int stat = 0;
    int length = 0;
    const bool ok = ParseEntryHeader(row.fields, row.withIndex, index, stat, length);
    EXPECT_EQ(ok, row.ok) << row.fields;
    if (ok && row.ok) {
      EXPECT_EQ(index, row.index) << row.fields;
      EXPECT_EQ(stat, row.stat) << row.fields;
      EXPECT_EQ(length, row.length) << row.fields;
    }
  }
}

}  // namespace
}  // namespace brindle::service
