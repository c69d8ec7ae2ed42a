// Received messages: the SMS-DELIVER the phone builds reads back through the codec, and a
// phone started with an inbox lists it over its real terminal, a looped-back message after it,
// and takes each opening of the terminal as a new line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "codec/pdu_reader.h"
#include "pty_link_fixture.h"
#include "tools/phone_sim/deliver_pdu.h"

namespace brindle::ptytest {
namespace {

using sim::BuildDeliverPdu;
using sim::DeliverFieldsOfSubmit;

// The sample SUBMIT split where TP-VPF decides: service centre, first octet, TP-MR to TP-DCS,
// validity period, user data.
constexpr std::string_view kToDcs = "000C912143658709210000";
constexpr std::string_view kUserData =
    "2ACD241104B3C96C349BCC06B3C56C311BCC56B3C56C32DBCC46B3D56C30DBCC16C3D9883622";

struct DeliverCase {
  std::string firstOctet;  // of the SUBMIT
  std::string validity;
  std::string originator;
  sim::CentreTime time;
  std::string stamp;  // TP-SCTS as it must read
};

TEST(DeliverPdu, SubmitArrivesAsADeliverTheCodecReads) {
  const DeliverCase cases[] = {
      {"11", "AA", "+447700900123", {26, 12, 7, 0, 31, 52, 4}, "62217000132540"},
      {"01", "", "+4477009001234", {99, 1, 31, 23, 59, 9, -20}, "9910133295900A"},
      {"19", "62217000132540", "12345", {0, 6, 15, 8, 5, 0, 0}, "00605180500000"},
      {"09", "01000000000000", "+1", {30, 2, 1, 1, 2, 3, -1}, "03201010203018"},
  };
  for (const DeliverCase& c : cases) {
    const std::string submit =
        "00" + c.firstOctet + std::string(kToDcs) + c.validity + std::string(kUserData);
    auto fields = DeliverFieldsOfSubmit(submit);
    ASSERT_TRUE(fields.has_value()) << submit;
    fields->serviceCentre = "+447700900001";
    fields->originator = c.originator;
    fields->time = c.time;
    const auto pdu = BuildDeliverPdu(*fields);
    ASSERT_TRUE(pdu.has_value()) << c.originator;
    PduReading reading;
    ASSERT_EQ(ReadPdu(*pdu, reading), PduError::kNone) << *pdu;
    EXPECT_EQ(reading.type, PduType::kDeliver);
    EXPECT_STREQ(reading.number, c.originator.c_str());
    // Centre field and first octet; after the originator (digit count, type, digits), TP-PID and
    // TP-DCS as sent, the stamp, and the user data as sent.
    const std::size_t digits = c.originator.size() - (c.originator[0] == '+' ? 1 : 0);
    EXPECT_EQ(pdu->substr(0, 18), "079144770009001004");
    EXPECT_EQ(pdu->substr(18 + 4 + (digits + 1) / 2 * 2), "0000" + c.stamp + std::string(kUserData))
        << *pdu;
  }
  EXPECT_FALSE(DeliverFieldsOfSubmit("0004" + std::string(kToDcs)));  // a DELIVER
  EXPECT_FALSE(DeliverFieldsOfSubmit("0011000C91214365"));            // cut short
  sim::DeliverFields bad;
  bad.originator = "+44-77";
  EXPECT_FALSE(BuildDeliverPdu(bad));
}

const std::string kShortTpdu = "040C914477009001320000622170124000000AC8329BFD06A5E7F37B";

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
  ASSERT_EQ(ReadPdu(looped, reading), PduError::kNone) << looped;
  EXPECT_STREQ(reading.number, "+447700900123");
  EXPECT_EQ(reading.fields.score, 12345);
}

}  // namespace
}  // namespace brindle::ptytest
