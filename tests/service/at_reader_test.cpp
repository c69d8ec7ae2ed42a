// The answer reader: bytes in, events out. Every case is fed whole, one byte at a time and in
// odd-sized pieces, which must not change what comes out.
#include "service/at_reader.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

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

std::string Show(const AtEvent& e) {
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
    shown += (shown.empty() ? "" : " | ") + Show(e);
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

}  // namespace
}  // namespace brindle::service
