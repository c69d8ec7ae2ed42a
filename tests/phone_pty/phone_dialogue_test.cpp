// The simulated phone's dialogue without a terminal: bytes in, bytes out.
#include "tools/phone_sim/phone_dialogue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brindle::sim {
namespace {

// The sample message: +123456789012, payload 0242011051234503Ann (game 42, score 12345).
constexpr std::string_view kPdu =
    "0011000C912143658709210000AA2ACD241104B3C96C349BCC06B3C56C311BCC56B3C56C32DBCC46B3D56C30D"
    "BCC16C3D9883622";
// Received messages as stored: TPDUs of 28 and 56 octets behind the phone's service centre.
const std::string kShort =
    "0791447700090010040C914477009001320000622170124000000AC8329BFD06A5E7F37B";
const std::string kLong =
    "0791447700090010040C914477000910320000622170001325002ACD241104B3C96C349BCC06B3C56C311BCC56B3"
    "C56C32DBCC46B3D56C30DBCC16C3D9883622";
const std::string kOk = "\r\nOK\r\n";
const std::string kError = "\r\nERROR\r\n";
const std::string kBadIndex = "\r\n+CMS ERROR: 321\r\n";
// Steps that are no command: kLong arrives from the network; the line was dropped.
const std::string kArrives = "<arrives>";
const std::string kDropped = "<dropped>";

std::string Exchange(PhoneDialogue& phone, std::string_view in, std::uint64_t nowMs = 0) {
  if (in == kArrives) {
    phone.Deliver(kLong, "feed", nowMs);
  } else if (in == kDropped) {
    phone.Reset(nowMs);
  } else {
    phone.Receive(in, nowMs);
  }
  return phone.TakeDue(nowMs);
}

std::string Submit(std::string_view pdu) { return std::string(pdu) + "\x1a"; }

using Steps = std::vector<std::pair<std::string, std::string>>;  // what goes in, what comes back

struct LineCase {
  const char* name;
  PhoneMode mode;
  Steps steps;
  bool stored = false;  // echo off and kShort, kLong, kShort (that one without a centre) stored
};

class DialogueLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(DialogueLines, AnswersEachLine) {
  const LineCase& c = GetParam();
  PhoneDialogue phone(c.mode, 0, 1, 5);
  if (c.stored) {
    Exchange(phone, "ATE0\r");
    for (const std::string& pdu : {kShort, kLong, "00" + kShort.substr(16)}) {
      ASSERT_TRUE(phone.Deliver(pdu, "inbox", 0).has_value());
    }
  }
  for (std::size_t i = 0; i < c.steps.size(); ++i) {
    EXPECT_EQ(Exchange(phone, c.steps[i].first), c.steps[i].second) << "step " << i;
  }
}

std::string Entry(int index, int stat, std::string_view pdu) {
  return "+CMGL: " + std::to_string(index) + "," + std::to_string(stat) + ",," +
         (pdu == kLong ? "56" : "28") + "\r\n" + std::string(pdu) + "\r\n";
}

INSTANTIATE_TEST_SUITE_P(
    Sending, DialogueLines,
    ::testing::Values(LineCase{"EchoesUntilAte0AndAgainAfterAReset",
                               PhoneMode::kOk,
                               {{"ATZ\r", "ATZ\r\r\nOK\r\n"},
                                {"ATE0\r", "ATE0\r\r\nOK\r\n"},
                                {"AT+CMGF=0\r", kOk},
                                {"ATZ\r", kOk},
                                {"AT\r", "AT\r\r\nOK\r\n"}}},
                      LineCase{
                          "LowerCaseCrLfAndBackspace",
                          PhoneMode::kOk,
                          {{"ate0\r\n", "ate0\r\r\nOK\r\n"}, {"ATX\bE0\r", kOk}, {"hello\r", ""}}},
                      LineCase{"PduModeOnlyAndUnknownCommands",
                               PhoneMode::kOk,
                               {{"ATE0\r", "ATE0\r\r\nOK\r\n"},
                                {"AT+CMGF=1\r", kError},
                                {"AT+CBOGUS\r", kError},
                                {"AT+CMGF?\r", "\r\n+CMGF: 0\r\n" + kOk},
                                {"AT" + std::string(600, 'A') + "\r", kError}}},
                      // ESC ends PDU entry without a send.
                      LineCase{"PromptBadLengthsAndEscape",
                               PhoneMode::kOk,
                               {{"ATE0\r", "ATE0\r\r\nOK\r\n"},
                                {"AT+CMGS=0\r", kError},
                                {"AT+CMGS=256\r", kError},
                                {"AT+CMGS=x\r", kError},
                                {"AT+CMGS\r", kError},
                                {"AT+CMGS=51\r", "\r\n> "},
                                {std::string(kPdu.substr(0, 20)) + "\x1b", kOk},
                                {"AT\r", kOk}}}),
    [](const ::testing::TestParamInfo<LineCase>& param) { return param.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Receiving, DialogueLines,
    ::testing::Values(
        LineCase{"ListsAllThenOnlyRead",
                 PhoneMode::kOk,
                 {{"AT+CMGL=4\r",
                   "\r\n" + Entry(1, 0, kShort) + Entry(2, 0, kLong) + Entry(3, 0, kShort) + kOk},
                  {"AT+CMGL=0\r", kOk},
                  {"AT+CMGL\r", kOk},
                  {"AT+CMGL=1\r",
                   "\r\n" + Entry(1, 1, kShort) + Entry(2, 1, kLong) + Entry(3, 1, kShort) + kOk},
                  {"AT+CMGL=\"ALL\"\r", "\r\n+CMS ERROR: 304\r\n"},
                  {"AT+CPMS?\r", "\r\n+CPMS: \"SM\",3,5,\"SM\",3,5,\"SM\",3,5\r\n" + kOk}},
                 true},
        LineCase{"ReadsOneAndRefusesBadIndexes",
                 PhoneMode::kOk,
                 {{"AT+CMGR=2\r", "\r\n+CMGR: 0,,56\r\n" + kLong + "\r\n" + kOk},
                  {"AT+CMGR=2\r", "\r\n+CMGR: 1,,56\r\n" + kLong + "\r\n" + kOk},
                  {"AT+CMGL=0\r", "\r\n" + Entry(1, 0, kShort) + Entry(3, 0, kShort) + kOk},
                  {"AT+CMGR=4\r", kBadIndex},
                  {"AT+CMGR=6\r", kBadIndex},
                  {"AT+CMGR=x\r", kError}},
                 true},
        LineCase{"DeletesAndReusesTheLowestPlace",
                 PhoneMode::kOk,
                 {{"AT+CMGD=2\r", kOk},
                  {"AT+CMGR=2\r", kBadIndex},
                  {"AT+CMGD=2\r", kBadIndex},
                  {"AT+CMGD\r", kError},
                  {"AT+CMGD=?\r", "\r\n+CMGD: (1,3),(0-4)\r\n" + kOk},
                  {"AT+CMGF=0;+CNMI=2,1\r", kOk},
                  {kArrives, "\r\n+CMTI: \"SM\",2\r\n"},
                  {"AT+CMGD=0,4\r", kOk},
                  {"AT+CMGL=4\r", kOk}},
                 true},
        LineCase{"AnnouncesOnlyWhenAsked",
                 PhoneMode::kOk,
                 {{kArrives, ""},
                  {"AT+CNMI=2,1\r", kOk},
                  {kArrives, "\r\n+CMTI: \"SM\",5\r\n"},
                  {"AT+CNMI=0,0\r", kOk},
                  {"AT+CMGD=5\r", kOk},
                  {kArrives, ""},
                  {"AT+CNMI=2,1\r", kOk},
                  {"ATZ\r", kOk},
                  {"AT+CNMI?\r", "AT+CNMI?\r\r\n+CNMI: 0,0,0,0,0\r\n" + kOk},
                  {"AT+CNMI=4,1\r", "AT+CNMI=4,1\r" + kError}},
                 true},
        LineCase{"RoutesToTheLineWithMt2",
                 PhoneMode::kOk,
                 {{"AT+CNMI=2,2\r", kOk},
                  {kArrives, "\r\n+CMT: ,56\r\n" + kLong + "\r\n"},
                  {"AT+CPMS=\"SM\"\r", "\r\n+CPMS: 3,5,3,5,3,5\r\n" + kOk},
                  {"AT+CPMS=\"ME\"\r", "\r\n+CMS ERROR: 302\r\n"}},
                 true},
        LineCase{"HoldsTheAnnouncementDuringPduEntry",
                 PhoneMode::kOk,
                 {{"AT+CNMI=2,1\r", kOk},
                  {"AT+CMGS=51\r", "\r\n> "},
                  {kArrives, ""},
                  {Submit(kPdu), "\r\n+CMGS: 1\r\n" + kOk + "\r\n+CMTI: \"SM\",4\r\n"}},
                 true},
        LineCase{"NoCmtiNeverAnnounces",
                 PhoneMode::kNoCmti,
                 {{"AT+CNMI=2,1\r", kOk},
                  {kArrives, ""},
                  {"AT+CMGR=4\r", "\r\n+CMGR: 0,,56\r\n" + kLong + "\r\n" + kOk}},
                 true},
        // The line drops after the first entry; the phone comes back in its power-on state.
        LineCase{"HangupListingDropsAfterTheFirstEntryOnce",
                 PhoneMode::kHangupListing,
                 {{"AT+CMGL=4\r", "\r\n" + Entry(1, 0, kShort)},
                  {kDropped, ""},
                  {"AT+CMGL=4\r", "AT+CMGL=4\r\r\n" + Entry(1, 1, kShort) + Entry(2, 0, kLong) +
                                      Entry(3, 0, kShort) + kOk}},
                 true},
        LineCase{
            "UnsolicitedLinesBetweenEntries",
            PhoneMode::kUnsolicitedListing,
            {{"AT+CMGL=4\r", "\r\n" + Entry(1, 0, kShort) + "\r\nRING\r\n\r\n+CMTI: \"SM\",1\r\n" +
                                 Entry(2, 0, kLong) + Entry(3, 0, kShort) + kOk}},
            true}),
    [](const ::testing::TestParamInfo<LineCase>& param) { return param.param.name; });

// A PDU the phone takes neither from the line (it answers +CMS ERROR and is back in command
// mode) nor from the network (it stores nothing); it says why.
struct RefusedCase {
  const char* name;
  std::string cmgs;  // the announced length; empty: the PDU arrives from the network
  std::string pdu;
  std::string reasonPart;
};

class RefusedPdu : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedPdu, TakesNothingAndSaysWhy) {
  const RefusedCase& c = GetParam();
  PhoneDialogue phone(PhoneMode::kOk, 0, 1);
  Exchange(phone, "ATE0\r");
  if (c.cmgs.empty()) {
    EXPECT_FALSE(phone.Deliver(c.pdu, "feed", 0).has_value());
  } else {
    ASSERT_EQ(Exchange(phone, "AT+CMGS=" + c.cmgs + "\r"), "\r\n> ");
    EXPECT_EQ(Exchange(phone, Submit(c.pdu)), "\r\n+CMS ERROR: 304\r\n");
    EXPECT_EQ(Exchange(phone, "AT\r"), kOk);
  }
  const auto events = phone.TakeEvents();
  ASSERT_EQ(events.size(), 1U);
  EXPECT_EQ(events[0].kind, c.cmgs.empty() ? EventKind::kStoreRefused : EventKind::kRejected);
  EXPECT_NE(events[0].reason.find(c.reasonPart), std::string::npos) << events[0].reason;
  EXPECT_EQ(phone.store().used(), 0);
}

const std::string kWhole(kPdu);
INSTANTIATE_TEST_SUITE_P(
    Faults, RefusedPdu,
    ::testing::Values(RefusedCase{"LengthTooLarge", "52", kWhole, "=52 announced, but 51"},
                      RefusedCase{"NotHex", "51", "00110Z" + kWhole.substr(6), "offset 5"},
                      RefusedCase{"Overlong", "51", std::string(2000, '0'), "longer than"},
                      RefusedCase{"Deliver", "28", kShort, "not an SMS-SUBMIT"},
                      RefusedCase{"EmptyArrival", "", "", "empty"},
                      RefusedCase{"NotHexArrival", "", "00zz", "not a hex digit at offset 2"},
                      RefusedCase{"SubmitArrival", "", kWhole, "not an SMS-DELIVER"},
                      RefusedCase{"OverlongArrival", "", std::string(600, '0'), "longer than"}),
    [](const ::testing::TestParamInfo<RefusedCase>& param) { return param.param.name; });

TEST(Dialogue, SlowAnswersASecondLateAndKeepsTheOrder) {
  PhoneDialogue phone(PhoneMode::kSlow, 0, 1);
  phone.Receive("ATZ\r", 0);
  EXPECT_EQ(phone.TakeDue(0), "ATZ\r");  // the echo is the line's, not an answer
  EXPECT_EQ(phone.NextDueMs(), kSlowAnswerDelayMs);
  phone.Receive("ATE0\r", 500);
  // The second echo waits behind the first answer.
  EXPECT_EQ(phone.TakeDue(999), "");
  EXPECT_EQ(phone.TakeDue(1000), "\r\nOK\r\nATE0\r");
  EXPECT_EQ(phone.TakeDue(1499), "");
  EXPECT_EQ(phone.TakeDue(1500), kOk);
  EXPECT_FALSE(phone.NextDueMs().has_value());
}

TEST(Dialogue, FloodRingsEveryHundredMillisecondsButNotDuringPduEntry) {
  PhoneDialogue phone(PhoneMode::kFlood, 1000, 1);
  EXPECT_EQ(phone.NextDueMs(), 1100U);
  EXPECT_EQ(phone.TakeDue(1099), "");
  EXPECT_EQ(phone.TakeDue(1350), "\r\nRING\r\n\r\nRING\r\n\r\nRING\r\n");
  EXPECT_EQ(Exchange(phone, "ATE0\r", 1360), "ATE0\r\r\nOK\r\n");
  EXPECT_EQ(Exchange(phone, "AT+CMGS=51\r", 1370), "\r\n> ");
  EXPECT_EQ(phone.TakeDue(3000), "");
  EXPECT_EQ(Exchange(phone, Submit(kPdu), 3100), "\r\n+CMGS: 1\r\n\r\nOK\r\n");
  EXPECT_EQ(phone.TakeDue(3200), "\r\nRING\r\n");
  phone.StopUnsolicited();
  EXPECT_EQ(phone.TakeDue(5000), "");
  EXPECT_FALSE(phone.NextDueMs().has_value());
}

}  // namespace
}  // namespace brindle::sim
