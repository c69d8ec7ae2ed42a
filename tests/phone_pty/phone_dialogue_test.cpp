// The simulated phone's dialogue without a terminal: bytes in, bytes out.
#include "tools/phone_sim/phone_dialogue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/phone_sim/phone_mode.h"

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
// Steps that are no command: kLong arrives from the network; the line was dropped; a program
// opened the line.
const std::string kArrives = "<arrives>";
const std::string kDropped = "<dropped>";
const std::string kOpened = "<opened>";

std::string Exchange(PhoneDialogue& phone, std::string_view in, std::uint64_t nowMs = 0) {
  if (in == kArrives) {
    phone.Deliver(kLong, "feed", nowMs);
  } else if (in == kDropped) {
    phone.Reset(nowMs);
  } else if (in == kOpened) {
    phone.LineOpened(nowMs);
  } else {
    phone.Receive(in, nowMs);
  }
  return phone.TakeDue(nowMs);
}

std::string Submit(std::string_view pdu) { return std::string(pdu) + "\x1a"; }

struct Step {
  std::string in;
  std::string out;            // what the phone sent by then
  std::uint64_t laterMs = 0;  // since the step before
};

struct LineCase {
  const char* name;
  const char* modes;
  std::vector<Step> steps;  // after ATE0, with kShort, kLong, kShort (without a centre) stored
};

class DialogueLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(DialogueLines, AnswersEachLine) {
  const LineCase& c = GetParam();
  std::string error;
  const auto modes = ParsePhoneModes(c.modes, error);
  ASSERT_TRUE(modes.has_value()) << error;
  PhoneDialogue phone(*modes, 0, 1, 5);
  Exchange(phone, "ATE0\r");
  for (const std::string& pdu : {kShort, kLong, "00" + kShort.substr(16)}) {
    ASSERT_TRUE(phone.Deliver(pdu, "inbox", 0).has_value());
  }
  std::uint64_t now = 0;
  for (std::size_t i = 0; i < c.steps.size(); ++i) {
    now += c.steps[i].laterMs;
    EXPECT_EQ(Exchange(phone, c.steps[i].in, now), c.steps[i].out) << "step " << i;
  }
}

std::string Length(std::string_view pdu) { return pdu == kLong ? "56" : "28"; }

// The PDU line as a phone that pads it to 176 octets shows it.
std::string Line(const std::string& pdu, bool padded) {
  return padded ? pdu + std::string(352 - pdu.size(), 'F') : pdu;
}

std::string Entry(int index, int stat, const std::string& pdu, bool padded = false) {
  return "+CMGL: " + std::to_string(index) + "," + std::to_string(stat) + ",," + Length(pdu) +
         "\r\n" + Line(pdu, padded) + "\r\n";
}

std::string Read(int stat, const std::string& pdu, bool padded = false) {
  return "\r\n+CMGR: " + std::to_string(stat) + ",," + Length(pdu) + "\r\n" + Line(pdu, padded) +
         "\r\n" + kOk;
}

const std::string kCmti = "\r\n+CMTI: \"SM\",";
const std::string kNotSupported = "\r\nCOMMAND NOT SUPPORT\r\n";

// Sending, receiving, then each quirk of phones in the field on its own (cpms-one with the
// memories it restricts).
INSTANTIATE_TEST_SUITE_P(
    Lines, DialogueLines,
    ::testing::Values(
        // ATZ turns echo on (as at power-on: Dialogue.SlowAnswersASecondLateAndKeepsTheOrder).
        LineCase{"LowerCaseCrLfAndBackspace",
                 "ok",
                 {{"ATZ\r", kOk},
                  {"ate0\r\n", "ate0\r\r\nOK\r\n"},
                  {"ATX\bE0\r", kOk},
                  {"hello\r", ""}}},
        // ESC ends PDU entry without a send.
        LineCase{"PduModeOnlyUnknownCommandsBadLengthsAndEscape",
                 "ok",
                 {{"AT+CMGF=1\r", kError},
                  {"AT+CBOGUS\r", kError},
                  {"AT+CMGF?\r", "\r\n+CMGF: 0\r\n" + kOk},
                  {"AT" + std::string(600, 'A') + "\r", kError},
                  {"AT+CMGS=0\r", kError},
                  {"AT+CMGS=256\r", kError},
                  {"AT+CMGS=x\r", kError},
                  {"AT+CMGS\r", kError},
                  {"AT+CMGS=51\r", "\r\n> "},
                  {std::string(kPdu.substr(0, 20)) + "\x1b", kOk},
                  {"AT\r", kOk}}},
        LineCase{"ListsAllThenOnlyRead",
                 "ok",
                 {{"AT+CMGL=4\r",
                   "\r\n" + Entry(1, 0, kShort) + Entry(2, 0, kLong) + Entry(3, 0, kShort) + kOk},
                  {"AT+CMGL=0\r", kOk},
                  {"AT+CMGL\r", kOk},
                  {"AT+CMGL=1\r",
                   "\r\n" + Entry(1, 1, kShort) + Entry(2, 1, kLong) + Entry(3, 1, kShort) + kOk},
                  {"AT+CMGL=\"ALL\"\r", "\r\n+CMS ERROR: 304\r\n"},
                  {"AT+CPMS?\r", "\r\n+CPMS: \"SM\",3,5,\"SM\",3,5,\"SM\",3,5\r\n" + kOk}}},
        LineCase{"ReadsOneAndRefusesBadIndexes",
                 "ok",
                 {{"AT+CMGR=2\r", Read(0, kLong)},
                  {"AT+CMGR=2\r", Read(1, kLong)},
                  {"AT+CMGL=0\r", "\r\n" + Entry(1, 0, kShort) + Entry(3, 0, kShort) + kOk},
                  {"AT+CMGR=4\r", kBadIndex},
                  {"AT+CMGR=6\r", kBadIndex},
                  {"AT+CMGR=x\r", kError}}},
        LineCase{"DeletesAndReusesTheLowestPlace",
                 "ok",
                 {{"AT+CMGD=2\r", kOk},
                  {"AT+CMGR=2\r", kBadIndex},
                  {"AT+CMGD=2\r", kBadIndex},
                  {"AT+CMGD\r", kError},
                  {"AT+CMGD=?\r", "\r\n+CMGD: (1,3),(0-4)\r\n" + kOk},
                  {"AT+CMGF=0;+CNMI=2,1\r", kOk},
                  {kArrives, "\r\n+CMTI: \"SM\",2\r\n"},
                  {"AT+CMGD=0,4\r", kOk},
                  {"AT+CMGL=4\r", kOk}}},
        LineCase{"AnnouncesOnlyWhenAsked",
                 "ok",
                 {{kArrives, ""},
                  {"AT+CNMI=2,1\r", kOk},
                  {kArrives, "\r\n+CMTI: \"SM\",5\r\n"},
                  {"AT+CNMI=0,0\r", kOk},
                  {"AT+CMGD=5\r", kOk},
                  {kArrives, ""},
                  {"AT+CNMI=2,1\r", kOk},
                  {"ATZ\r", kOk},
                  {"AT+CNMI?\r", "AT+CNMI?\r\r\n+CNMI: 0,0,0,0,0\r\n" + kOk},
                  {"AT+CNMI=4,1\r", "AT+CNMI=4,1\r" + kError}}},
        LineCase{"RoutesToTheLineWithMt2",
                 "ok",
                 {{"AT+CNMI=2,2\r", kOk},
                  {kArrives, "\r\n+CMT: ,56\r\n" + kLong + "\r\n"},
                  {"AT+CPMS=\"SM\"\r", "\r\n+CPMS: 3,5,3,5,3,5\r\n" + kOk},
                  {"AT+CPMS=\"ME\"\r", "\r\n+CMS ERROR: 302\r\n"}}},
        LineCase{"HoldsTheAnnouncementDuringPduEntry",
                 "ok",
                 {{"AT+CNMI=2,1\r", kOk},
                  {"AT+CMGS=51\r", "\r\n> "},
                  {kArrives, ""},
                  {Submit(kPdu), "\r\n+CMGS: 1\r\n" + kOk + "\r\n+CMTI: \"SM\",4\r\n"}}},
        LineCase{"NoCmtiNeverAnnounces",
                 "no-cmti",
                 {{"AT+CNMI=2,1\r", kOk}, {kArrives, ""}, {"AT+CMGR=4\r", Read(0, kLong)}}},
        // The line drops after the first entry; the phone comes back in its power-on state.
        LineCase{"HangupListingDropsAfterTheFirstEntryOnce",
                 "hangup-listing",
                 {{"AT+CMGL=4\r", "\r\n" + Entry(1, 0, kShort)},
                  {kDropped, ""},
                  {"AT+CMGL=4\r", "AT+CMGL=4\r\r\n" + Entry(1, 1, kShort) + Entry(2, 0, kLong) +
                                      Entry(3, 0, kShort) + kOk}}},
        LineCase{
            "UnsolicitedLinesBetweenEntries",
            "unsolicited-listing",
            {{"AT+CMGL=4\r", "\r\n" + Entry(1, 0, kShort) + "\r\nRING\r\n\r\n+CMTI: \"SM\",1\r\n" +
                                 Entry(2, 0, kLong) + Entry(3, 0, kShort) + kOk}}},
        LineCase{"IndexZeroCountsPlacesFromZero",
                 "index-zero",
                 {{"AT+CMGL=4\r",
                   "\r\n" + Entry(0, 0, kShort) + Entry(1, 0, kLong) + Entry(2, 0, kShort) + kOk},
                  {"AT+CMGR=0\r", Read(1, kShort)},
                  {"AT+CMGD=0\r", kOk},
                  {"AT+CMGR=0\r", kBadIndex},
                  {"AT+CMGR=5\r", kBadIndex},
                  {"AT+CNMI=2,1\r", kOk},
                  {kArrives, kCmti + "0\r\n"}}},
        // Arrivals take turns: kShort to SM 1, kLong to ME 1, kShort to SM 2, then ME 2.
        LineCase{"MemoriesEachListAndAnnounceTheirOwn",
                 "memories",
                 {{"AT+CPMS=?\r",
                   "\r\n+CPMS: (\"SM\",\"ME\"),(\"SM\",\"ME\"),(\"SM\",\"ME\")\r\n" + kOk},
                  {"AT+CNMI=2,1\r", kOk},
                  {kArrives, "\r\n+CMTI: \"ME\",2\r\n"},
                  {"AT+CPMS=\"ME\",\"ME\",\"ME\"\r", "\r\n+CPMS: 2,5,2,5,2,5\r\n" + kOk},
                  {"AT+CMGL=4\r", "\r\n" + Entry(1, 0, kLong) + Entry(2, 0, kLong) + kOk},
                  {"AT+CMGD=1\r", kOk},
                  {"AT+CPMS=\"SM\"\r", "\r\n+CPMS: 2,5,1,5,1,5\r\n" + kOk},
                  {"AT+CPMS?\r", "\r\n+CPMS: \"SM\",2,5,\"ME\",1,5,\"ME\",1,5\r\n" + kOk},
                  {"AT+CMGR=2\r", Read(0, kShort)}}},
        LineCase{"CpmsOneTakesOneMemoryOnly",
                 "memories,cpms-one",
                 {{"AT+CPMS=\"ME\",\"ME\",\"ME\"\r", "\r\n+CMS ERROR: 302\r\n"},
                  {"AT+CPMS=\"ME\"\r", "\r\n+CPMS: 1,5,2,5,2,5\r\n" + kOk}}},
        LineCase{"NotSupportSaysSoInsteadOfError",
                 "not-support",
                 {{"AT+CNMI=2,1\r", kNotSupported},
                  {"AT+CPMS=?\r", kNotSupported},
                  {"AT+CBOGUS\r", kNotSupported},
                  {"AT+CMGF=1\r", kError}}},
        // Busy answers 14, 14, 515, ...; the window starts again with ATZ.
        LineCase{"SimBusyForThreeSecondsAfterOpeningAndAtz",
                 "sim-busy",
                 {{"AT+CMGL=4\r", "\r\n+CME ERROR: 14\r\n"},
                  {"AT\r", kOk},
                  {"AT+CPMS?\r", "\r\n+CME ERROR: 14\r\n"},
                  {"AT+CNMI=2,1\r", "\r\n+CME ERROR: 515\r\n", 2999},
                  {"AT+CMGD=9\r", kBadIndex, 1},
                  {"ATZ\r", kOk},
                  {"AT+CMGR=1\r", "AT+CMGR=1\r\r\n+CME ERROR: 14\r\n", 2999},
                  {"AT+CMGR=1\r", "AT+CMGR=1\r" + Read(0, kShort), 1}}},
        LineCase{"CmgrNoStatLeavesTheStatusOut",
                 "cmgr-no-stat",
                 {{"AT+CMGR=2\r", "\r\n+CMGR: ,,56\r\n" + kLong + "\r\n" + kOk}}},
        LineCase{"PaddedFillsPduLinesWithFf",
                 "padded",
                 {{"AT+CMGR=2\r", Read(0, kLong, true)},
                  {"AT+CMGL=0\r",
                   "\r\n" + Entry(1, 0, kShort, true) + Entry(3, 0, kShort, true) + kOk}}},
        // Stuck, the phone hears nothing but ATZ; opening the line again ends it too.
        LineCase{"HangListingStopsAfterTheFirstEntryOnce",
                 "hang-listing",
                 {{"AT+CMGL=4\r", "\r\n" + Entry(1, 0, kShort)},
                  {"AT\r", ""},
                  {kOpened, ""},
                  {"AT\r", kOk},
                  {"AT+CMGL=4\r",
                   "\r\n" + Entry(1, 1, kShort) + Entry(2, 0, kLong) + Entry(3, 0, kShort) + kOk}}},
        LineCase{
            "EndlessListingRepeatsUntilAtz",
            "endless-listing",
            {{"AT+CMGL=4\r",
              "\r\n" + Entry(1, 0, kShort) + Entry(2, 0, kLong) + Entry(3, 0, kShort)},
             {"AT\r",
              Entry(1, 0, kShort) + Entry(2, 0, kLong) + Entry(3, 0, kShort) + Entry(1, 0, kShort),
              200},
             {"ATZ\r", kOk},
             {"", "", 1000}}},
        // Places 4 and 5 fill; two more arrivals wait in the network for the places freed.
        LineCase{"FullHoldsArrivalsBackUntilAPlaceIsFree",
                 "full",
                 {{"AT+CNMI=2,1\r", kOk},
                  {kArrives, kCmti + "4\r\n"},
                  {kArrives, kCmti + "5\r\n"},
                  {kArrives, ""},
                  {kArrives, ""},
                  {"AT+CMGD=2\r", kOk + kCmti + "2\r\n"},
                  {"AT+CMGD=0,4\r", kOk + kCmti + "1\r\n"}}},
        LineCase{"LateAnswersTheFirstReadSixSecondsLate",
                 "late",
                 {{"AT+CMGR=1\r", ""},
                  {"AT+CMGR=2\r", "", 5999},
                  {"", Read(0, kShort) + Read(0, kLong), 1},
                  {"AT+CMGR=2\r", Read(1, kLong)}}},
        LineCase{"StrayOkBeforeTheFirstReadAfterEachOpening",
                 "stray-ok",
                 {{"AT+CMGR=1\r", kOk + Read(0, kShort)},
                  {"AT+CMGR=1\r", Read(1, kShort)},
                  {kOpened, ""},
                  {"AT+CMGR=1\r", kOk + Read(1, kShort)}}}),
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
                      RefusedCase{"EmptyArrival", "", "", "no PDU text"},
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

// Status lines land between any two lines, a header and its PDU too, and now and then the last
// message is announced again; without them the answers are a quiet phone's.
TEST(Dialogue, NoisyAddsWholeStatusLinesOnly) {
  PhoneDialogue quiet(PhoneMode::kOk, 0, 7, 40);
  PhoneDialogue noisy(PhoneMode::kNoisy, 0, 7, 40);
  for (int i = 0; i < 30; ++i) {
    quiet.Deliver(kShort, "inbox", 0);
    noisy.Deliver(kShort, "inbox", 0);
  }
  const std::string again = "\r\n+CMTI: \"SM\",30\r\n";
  std::string heard;
  for (const char* command : {"ATE0;+CNMI=2,1\r", "AT+CMGL=4\r", "AT+CMGR=30\r", "AT+CPMS?\r"}) {
    const std::string expected = Exchange(quiet, command);
    std::string got = Exchange(noisy, command);
    heard += got;
    for (const std::string_view line : kStatusLines) {
      const std::string framed = "\r\n" + std::string(line) + "\r\n";
      for (auto at = got.find(framed); at != std::string::npos; at = got.find(framed)) {
        got.erase(at, framed.size());
      }
    }
    for (auto at = got.find(again); at != std::string::npos; at = got.find(again)) {
      got.erase(at, again.size());
    }
    EXPECT_EQ(got, expected) << command;
  }
  EXPECT_NE(heard.find(",,28\r\n\r\n^"), std::string::npos) << heard;
  EXPECT_NE(heard.find(again), std::string::npos) << heard;
}

TEST(Dialogue, ModesThatDecideTheSameThingDoNotCombine) {
  std::string error;
  EXPECT_FALSE(ParsePhoneModes("hang-listing,endless-listing", error).has_value());
  EXPECT_EQ(error, "modes 'hang-listing' and 'endless-listing' do not go together");
  EXPECT_FALSE(ParsePhoneModes("memories,", error).has_value());
  EXPECT_TRUE(error.starts_with("unknown mode '' (one of ok, silent, ")) << error;
}

}  // namespace
}  // namespace brindle::sim
