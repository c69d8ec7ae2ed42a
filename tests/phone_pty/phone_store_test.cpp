// Received messages: the SMS-DELIVER the phone builds reads back through the codec, and a
// phone started with an inbox lists it over its real terminal, a looped-back message after it,
// and takes each opening of the terminal as a new line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <span>

#include "codec/score_reader.h"
#include "pty_link_fixture.h"
#include "tools/phone_sim/deliver_pdu.h"

namespace brindle::ptytest {
namespace {

const std::string kShortTpdu = "040C914477009001320000622170124000000AC8329BFD06A5E7F37B";

// A SUBMIT arrives with what its sender chose (validity aside) and the network's own fields:
// the phone's centre, the originator, the centre's stamp, no more messages waiting.
TEST(DeliverOfSubmit, KeepsWhatTheSenderChoseAndStampsTheRest) {
  struct Case {
    ValidityFormat validity;
    bool header;  // an empty user-data header in front of the text
    std::uint8_t protocol;
    std::uint8_t coding;  // 7-bit text each, so the user data reads the same
    const char* from;
    const char* sent;
  };
  const Case cases[] = {
      {ValidityFormat::kRelative, false, 0x00, 0x00, "+447700900123", "2026-12-07T00:31:52+01:00"},
      {ValidityFormat::kNone, true, 0x00, 0xF0, "+4477009001234", "2099-01-31T23:59:09-05:00"},
      {ValidityFormat::kAbsolute, false, 0x41, 0x10, "12345", "2000-06-15T08:05:00+00:00"},
      {ValidityFormat::kEnhanced, true, 0x7F, 0x00, "+1", "2030-02-01T01:02:03-00:15"},
  };
  Pdu sample;
  std::size_t offset = 0;
  ASSERT_EQ(ReadPdu(kSampleMessage, sample, offset), PduError::kNone);
  for (const Case& c : cases) {
    Pdu submit = sample;
    submit.validityFormat = c.validity;
    submit.userDataHeaderIndicator = c.header;
    submit.userData[0] = c.header ? 0 : submit.userData[0];
    submit.protocolIdentifier = c.protocol;
    submit.dataCodingScheme = c.coding;
    const auto deliver =
        sim::DeliverOfSubmit(sim::PduText(submit), c.from, *sim::ParseTimeStamp(c.sent));
    ASSERT_TRUE(deliver.has_value()) << c.from;
    Pdu read;
    ASSERT_EQ(ReadPdu(sim::PduText(*deliver), read, offset), PduError::kNone) << c.from;
    EXPECT_EQ(read.messageType, MessageType::kDeliver);
    EXPECT_TRUE(read.noMoreMessages);
    EXPECT_EQ(read.serviceCentre.number.data(), sim::kServiceCentre);
    EXPECT_STREQ(read.address.number.data(), c.from);
    EXPECT_EQ(read.userDataHeaderIndicator, c.header);
    EXPECT_EQ(read.protocolIdentifier, c.protocol);
    EXPECT_EQ(read.dataCodingScheme, c.coding);
    EXPECT_EQ(read.userDataLength, submit.userDataLength);
    EXPECT_TRUE(std::ranges::equal(std::span(read.userData).first(read.userDataOctets),
                                   std::span(submit.userData).first(submit.userDataOctets)));
    std::array<char, kTimeStampTextCapacity> stamp{};
    FormatTimeStamp(read.serviceCentreTimeStamp, stamp);
    EXPECT_STREQ(stamp.data(), c.sent);
  }
  const TimeStamp now = sim::LocalTimeStamp(0);
  EXPECT_FALSE(sim::DeliverOfSubmit("00" + kShortTpdu, "+1", now));             // a DELIVER
  EXPECT_FALSE(sim::DeliverOfSubmit(kSampleMessage.substr(0, 20), "+1", now));  // cut short
  EXPECT_FALSE(sim::DeliverOfSubmit(kSampleMessage, "+44-77", now));
}

// What no centre stamps: a time off the quarter hours, out of range, or written otherwise.
TEST(ParseTimeStamp, RefusesWhatNoCentreStamps) {
  for (const char* text :
       {"2026-12-06T21:15:03+01:10", "2026-12-06T21:15:03+20:00", "1999-12-06T21:15:03+01:00",
        "2026-13-06T21:15:03+01:00", "2026-12-06T24:15:03+01:00", "2026-12-06 21:15:03+01:00",
        "2026-12-06T21:15:03Z", "2026-12-06T21:15:03*01:00"}) {
    EXPECT_FALSE(sim::ParseTimeStamp(text).has_value()) << text;
  }
}

// Opens the phone's terminal, types `text`, and closes it once the phone logged `count` `event`s.
void Type(const PhoneRun& phone, const std::string& text, std::string_view event,
          std::size_t count = 1) {
  const int fd = ::open(phone.terminal().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  EXPECT_EQ(phone.AwaitEvents(event, count).size(), count) << text;
  ::close(fd);
}

// The inbox gives the service-centre field of its second message; the feed is made by the
// phone, so removed by it. Each opening of the terminal is a new line for the phone: the first
// read after each has its stray OK in front. The bytes the phone sent are read back from its log.
TEST(PhoneStore, InboxAndLoopbackListOverTheTerminalAndEachOpeningIsANewLine) {
  PhoneRun phone;
  std::ofstream(phone.Path("inbox"))
      << "# two messages\n00" << kShortTpdu << "\n\n07914477000900F1" << kShortTpdu << "\n";
  ASSERT_TRUE(phone.Start(
      "stray-ok", {"--loopback", "--feed", phone.Path("feed"), "--inbox", phone.Path("inbox")}));
  // The looped-back message is stored in the same turn as the send is logged.
  Type(phone, "ATE0;+CNMI=2,1\rAT+CMGS=51\r" + std::string(kSampleMessage) + "\x1a", "sms");
  Type(phone, "AT+CMGL=4\r", "listed");
  Type(phone, "AT+CMGR=1\r", "read");
  Type(phone, "AT+CMGR=1\r", "read", 2);
  EXPECT_EQ(phone.Stop(), 0);
  EXPECT_FALSE(std::filesystem::exists(phone.Path("feed")));
  const std::string out = phone.Bytes("out");
  const std::string head =
      "ATE0;+CNMI=2,1\r\r\nOK\r\n\r\n> \r\n+CMGS: 1\r\n\r\nOK\r\n"
      "\r\n+CMTI: \"SM\",3\r\n\r\n+CMGL: 1,0,,28\r\n0791447700090010" +
      kShortTpdu + "\r\n+CMGL: 2,0,,28\r\n07914477000900F1" + kShortTpdu + "\r\n+CMGL: 3,0,,56\r\n";
  const std::string read =
      "\r\nOK\r\n\r\n+CMGR: 1,,28\r\n0791447700090010" + kShortTpdu + "\r\n\r\nOK\r\n";
  const std::string tail = "\r\n\r\nOK\r\n" + read + read;
  ASSERT_EQ(out.substr(0, head.size()), head);
  ASSERT_TRUE(out.ends_with(tail)) << out;
  PduReading reading;
  const std::string looped = out.substr(head.size(), out.size() - head.size() - tail.size());
  ASSERT_EQ(ReadScorePdu(looped, reading), PduError::kNone) << looped;
  EXPECT_STREQ(reading.pdu.address.number.data(), "+447700900123");
  EXPECT_EQ(reading.fields.score, 12345);
}

}  // namespace
}  // namespace brindle::ptytest
