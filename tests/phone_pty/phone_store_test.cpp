// Received messages: the SMS-DELIVER the phone builds reads back through the codec, and a
// phone started with an inbox lists it over its real terminal, a looped-back message after it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

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
    EXPECT_EQ(reading.fields.gameId, 42);
    EXPECT_EQ(reading.fields.score, 12345);
    EXPECT_EQ(std::string_view(reading.fields.handle, reading.fields.handleLength), "Ann");
    // Centre field, first octet, originator (digit count, type, digits), TP-PID and TP-DCS.
    const std::size_t digits = c.originator.size() - (c.originator[0] == '+' ? 1 : 0);
    const std::size_t stampAt = 16 + 2 + 4 + (digits + 1) / 2 * 2 + 4;
    EXPECT_EQ(pdu->substr(0, 18), "079144770009001004");
    EXPECT_EQ(pdu->substr(stampAt, 14), c.stamp) << *pdu;
  }
  EXPECT_FALSE(DeliverFieldsOfSubmit("0004" + std::string(kToDcs)));  // a DELIVER
  EXPECT_FALSE(DeliverFieldsOfSubmit("0011000C91214365"));            // cut short
  sim::DeliverFields bad;
  bad.originator = "+44-77";
  EXPECT_FALSE(BuildDeliverPdu(bad));
}

// Sends `command` and reads until the answer ends with `end` (at most 5 s).
std::string Ask(int fd, std::string_view command, std::string_view end = "\r\nOK\r\n") {
  EXPECT_EQ(::write(fd, command.data(), command.size()), static_cast<ssize_t>(command.size()));
  std::string answer;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!answer.ends_with(end) && std::chrono::steady_clock::now() < deadline) {
    pollfd ready{fd, POLLIN, 0};
    char buffer[4096];
    if (::poll(&ready, 1, 100) == 1) {
      const ssize_t count = ::read(fd, buffer, sizeof buffer);
      if (count <= 0) {
        break;
      }
      answer.append(buffer, static_cast<std::size_t>(count));
    }
  }
  return answer;
}

const std::string kShortTpdu = "040C914477009001320000622170124000000AC8329BFD06A5E7F37B";

// An inbox written for the test (the service-centre field of the second given) and removed
// once the phone has read it.
std::vector<std::string> WithInbox(const std::string& name, std::vector<std::string> options) {
  const std::string path = ::testing::TempDir() + name + std::to_string(getpid());
  std::ofstream(path) << "# two messages\n00" << kShortTpdu << "\n\n07914477000900F1" << kShortTpdu
                      << "\n";
  options.insert(options.end(), {"--inbox", path});
  return options;
}

TEST(PhoneStore, InboxFeedAndLoopbackMessagesListOverTheTerminal) {
  const std::string feed = ::testing::TempDir() + "feed-" + std::to_string(getpid());
  const auto options = WithInbox("inbox-", {"--loopback", "--feed", feed});
  PhoneRun phone;
  ASSERT_TRUE(phone.Start("ok", options));
  (void)std::remove(options.back().c_str());
  const int fd = ::open(phone.terminal().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Ask(fd, "ATE0;+CNMI=2,1\r"), "ATE0;+CNMI=2,1\r\r\nOK\r\n");
  std::ofstream(feed) << "00" << kShortTpdu << "\n";
  EXPECT_EQ(Ask(fd, "", "\r\n"), "\r\n+CMTI: \"SM\",3\r\n");
  const std::string submit = SampleMessage();
  EXPECT_EQ(Ask(fd, "AT+CMGS=51\r", "> "), "\r\n> ");
  EXPECT_EQ(Ask(fd, submit + "\x1a", "\"SM\",4\r\n"),
            "\r\n+CMGS: 1\r\n\r\nOK\r\n\r\n+CMTI: \"SM\",4\r\n");
  const std::string listing = Ask(fd, "AT+CMGL=4\r");
  ::close(fd);
  const std::string head = "\r\n+CMGL: 1,0,,28\r\n0791447700090010" + kShortTpdu +
                           "\r\n+CMGL: 2,0,,28\r\n07914477000900F1" + kShortTpdu +
                           "\r\n+CMGL: 3,0,,28\r\n0791447700090010" + kShortTpdu +
                           "\r\n+CMGL: 4,0,,56\r\n";
  ASSERT_EQ(listing.substr(0, head.size()), head);
  ASSERT_TRUE(listing.ends_with("\r\n\r\nOK\r\n")) << listing;
  PduReading reading;
  const std::string looped = listing.substr(head.size(), listing.size() - head.size() - 8);
  ASSERT_EQ(ReadPdu(looped, reading), PduError::kNone) << looped;
  EXPECT_STREQ(reading.number, "+447700900123");
  EXPECT_EQ(reading.fields.score, 12345);
  EXPECT_EQ(phone.Stop(), 0);
  EXPECT_FALSE(std::filesystem::exists(feed));  // made by the phone, so removed by it
  std::string events;
  for (const nlohmann::json& entry : phone.Log()) {
    if (entry.contains("event")) {
      events += entry.value("event", "") + " " + entry.value("source", "") + " " +
                entry.value("indexes", "") + std::to_string(entry.value("index", 0)) + ";";
    }
  }
  EXPECT_EQ(events,
            "stored inbox 1;stored inbox 2;stored feed 3;sms  0;stored loopback 4;"
            "listed  1,2,3,40;");
}

// The entry written before the drop reaches the program; the terminal the link points at
// afterwards lists everything.
TEST(PhoneStore, HangupListingLetsTheFirstEntryThroughAndComesBackWhole) {
  const std::string link = ::testing::TempDir() + "phone-link-" + std::to_string(getpid());
  const auto options = WithInbox("inbox-hangup-", {"--link", link});
  PhoneRun phone;
  ASSERT_TRUE(phone.Start("hangup-listing", options));
  (void)std::remove(options.back().c_str());
  const std::string entry = "+CMGL: 1,0,,28\r\n0791447700090010" + kShortTpdu + "\r\n";
  int fd = ::open(link.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Ask(fd, "AT+CMGL=4\r", "never"), "AT+CMGL=4\r\r\n" + entry);
  ::close(fd);
  // The new terminal may well get the old one's number: the log says when it is there.
  EXPECT_EQ(phone.AwaitEvents("line").size(), 1U);
  fd = ::open(link.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  const std::string listing = Ask(fd, "AT+CMGL=4\r");
  ::close(fd);
  EXPECT_EQ(listing.substr(0, 27), "AT+CMGL=4\r\r\n+CMGL: 1,1,,28\r");
  EXPECT_NE(listing.find("\r\n+CMGL: 2,0,,28\r\n07914477000900F1"), std::string::npos);
  EXPECT_TRUE(listing.ends_with("\r\n\r\nOK\r\n")) << listing;
}

}  // namespace
}  // namespace brindle::ptytest
