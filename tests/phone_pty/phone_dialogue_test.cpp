// The simulated phone's dialogue without a terminal: bytes in, bytes out.
#include "tools/phone_sim/phone_dialogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace brindle::sim {
namespace {

// The sample message: +123456789012, payload 0242011051234503Ann (game 42, score 12345).
constexpr std::string_view kPdu =
    "0011000C912143658709210000AA2ACD241104B3C96C349BCC06B3C56C311BCC56B3C56C32DBCC46B3D56C30D"
    "BCC16C3D9883622";
constexpr std::string_view kOk = "\r\nOK\r\n";
constexpr std::string_view kError = "\r\nERROR\r\n";

std::string Exchange(PhoneDialogue& phone, std::string_view in, std::uint64_t nowMs = 0) {
  phone.Receive(in, nowMs);
  return phone.TakeDue(nowMs);
}

std::string Submit(std::string_view pdu) { return std::string(pdu) + "\x1a"; }

struct LineCase {
  const char* name;
  PhoneMode mode;
  std::vector<std::string> in;   // fed one after the other
  std::vector<std::string> out;  // what each one brings back at once
};

class DialogueLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(DialogueLines, AnswersEachLine) {
  const LineCase& c = GetParam();
  PhoneDialogue phone(c.mode, 0, 1);
  ASSERT_EQ(c.in.size(), c.out.size());
  for (std::size_t i = 0; i < c.in.size(); ++i) {
    EXPECT_EQ(Exchange(phone, c.in[i]), c.out[i]) << "input " << i;
  }
}

const std::string kLongLine = "AT" + std::string(600, 'A') + "\r";

INSTANTIATE_TEST_SUITE_P(
    Modes, DialogueLines,
    ::testing::Values(
        LineCase{"OkEchoesUntilAte0",
                 PhoneMode::kOk,
                 {"ATZ\r", "ATE0\r", "AT+CMGF=0\r", "AT+CNMI=0,0\r"},
                 {"ATZ\r\r\nOK\r\n", "ATE0\r\r\nOK\r\n", "\r\nOK\r\n", "\r\nOK\r\n"}},
        LineCase{"ResetTurnsEchoBackOn",
                 PhoneMode::kOk,
                 {"ATE0\r", "ATZ\r", "AT\r"},
                 {"ATE0\r\r\nOK\r\n", "\r\nOK\r\n", "AT\r\r\nOK\r\n"}},
        LineCase{"LowerCaseAndCrLf",
                 PhoneMode::kOk,
                 {"ate0\r\n", "at\r\n"},
                 {"ate0\r\r\nOK\r\n", std::string(kOk)}},
        LineCase{"BackspaceEditsTheLine",
                 PhoneMode::kOk,
                 {"ATX\bE0\r", "AT\r"},
                 {"ATX\bE0\r\r\nOK\r\n", std::string(kOk)}},
        LineCase{"NotACommandIsOnlyEchoed", PhoneMode::kOk, {"hello\r", "\r"}, {"hello\r", "\r"}},
        LineCase{"PduModeOnly",
                 PhoneMode::kOk,
                 {"ATE0\r", "AT+CMGF=1\r"},
                 {"ATE0\r\r\nOK\r\n", std::string(kError)}},
        LineCase{"PromptForTheLength",
                 PhoneMode::kOk,
                 {"ATE0\r", "AT+CMGS=51\r"},
                 {"ATE0\r\r\nOK\r\n", "\r\n> "}},
        LineCase{"BadLengths",
                 PhoneMode::kOk,
                 {"ATE0\r", "AT+CMGS=0\r", "AT+CMGS=256\r", "AT+CMGS=x\r", "AT+CMGS\r"},
                 {"ATE0\r\r\nOK\r\n", std::string(kError), std::string(kError), std::string(kError),
                  std::string(kError)}},
        LineCase{"OverlongLineIsRefused",
                 PhoneMode::kOk,
                 {"ATE0\r", kLongLine},
                 {"ATE0\r\r\nOK\r\n", std::string(kError)}},
        LineCase{"SilentSaysNothing",
                 PhoneMode::kSilent,
                 {"ATZ\r", "ATE0\r", "AT+CMGS=51\r"},
                 {"", "", ""}},
        LineCase{"ErrorToEverything",
                 PhoneMode::kError,
                 {"ATZ\r", "ATE0\r", "AT\r"},
                 {"ATZ\r\r\nERROR\r\n", "ATE0\r\r\nERROR\r\n", "AT\r\r\nERROR\r\n"}},
        LineCase{"ErrorToEchoOffOnly",
                 PhoneMode::kErrorAte0,
                 {"ATZ\r", "ATE0\r", "ATE\r", "AT+CMGF=0\r"},
                 {"ATZ\r\r\nOK\r\n", "ATE0\r\r\nERROR\r\n", "ATE\r\r\nERROR\r\n",
                  "AT+CMGF=0\r\r\nOK\r\n"}},
        LineCase{"NoPrompt",
                 PhoneMode::kNoPrompt,
                 {"ATE0\r", "AT+CMGF=0\r", "AT+CMGS=51\r"},
                 {"ATE0\r\r\nOK\r\n", std::string(kOk), std::string(kError)}}),
    [](const ::testing::TestParamInfo<LineCase>& param) { return param.param.name; });

TEST(Dialogue, TakesAScoreMessage) {
  PhoneDialogue phone(PhoneMode::kOk, 0, 1);
  Exchange(phone, "ATE0\r");
  ASSERT_EQ(Exchange(phone, "AT+CMGS=51\r"), "\r\n> ");
  EXPECT_TRUE(phone.enteringPdu());
  EXPECT_EQ(Exchange(phone, Submit(kPdu)), "\r\n+CMGS: 1\r\n\r\nOK\r\n");
  const auto events = phone.TakeEvents();
  ASSERT_EQ(events.size(), 1U);
  const DialogueEvent& sms = events[0];
  EXPECT_EQ(sms.kind, EventKind::kMessage);
  EXPECT_EQ(sms.pdu, kPdu);
  EXPECT_EQ(sms.cmgsLength, 51);
  EXPECT_EQ(sms.octets, 52U);
  EXPECT_EQ(sms.reference, 1);
  EXPECT_EQ(sms.number, "+123456789012");
  EXPECT_EQ(sms.payload, "0242011051234503Ann");
  EXPECT_TRUE(sms.scoreFields);
  EXPECT_EQ(sms.gameId, 42);
  EXPECT_EQ(sms.fixed, 1);
  EXPECT_EQ(sms.score, 12345);
  EXPECT_EQ(sms.handle, "Ann");
  // The next message gets the next reference.
  Exchange(phone, "AT+CMGS=51\r");
  EXPECT_EQ(Exchange(phone, Submit(kPdu)), "\r\n+CMGS: 2\r\n\r\nOK\r\n");
}

TEST(Dialogue, EchoesThePduWhileEchoIsOn) {
  PhoneDialogue phone(PhoneMode::kOk, 0, 1);
  EXPECT_EQ(Exchange(phone, "AT+CMGS=51\r"), "AT+CMGS=51\r\r\n> ");
  EXPECT_EQ(Exchange(phone, Submit(kPdu)), std::string(kPdu) + "\r\n+CMGS: 1\r\n\r\nOK\r\n");
}

TEST(Dialogue, PduArrivingInPiecesAndWithLineBreaks) {
  PhoneDialogue phone(PhoneMode::kOk, 0, 1);
  Exchange(phone, "ATE0\r");
  Exchange(phone, "AT+CMGS=51\r");
  EXPECT_EQ(Exchange(phone, kPdu.substr(0, 30)), "");
  EXPECT_EQ(Exchange(phone, "\r\n"), "");
  EXPECT_EQ(Exchange(phone, Submit(kPdu.substr(30))), "\r\n+CMGS: 1\r\n\r\nOK\r\n");
  EXPECT_EQ(phone.TakeEvents().at(0).kind, EventKind::kMessage);
}

TEST(Dialogue, CountsTheLengthWithoutTheServiceCentre) {
  // The same TPDU behind a service-centre field of 8 octets: still 51.
  const std::string withCentre = "07911326040000F0" + std::string(kPdu.substr(2));
  PhoneDialogue phone(PhoneMode::kOk, 0, 1);
  Exchange(phone, "ATE0\r");
  Exchange(phone, "AT+CMGS=51\r");
  EXPECT_EQ(Exchange(phone, Submit(withCentre)), "\r\n+CMGS: 1\r\n\r\nOK\r\n");
  const auto events = phone.TakeEvents();
  ASSERT_EQ(events.size(), 1U);
  EXPECT_EQ(events[0].octets, 59U);
  EXPECT_EQ(events[0].number, "+123456789012");
}

struct RefusedCase {
  const char* name;
  std::string cmgs;
  std::string pdu;
  std::string reasonPart;
};

class RefusedPdu : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedPdu, AnswersCms304AndTakesNothing) {
  const RefusedCase& c = GetParam();
  PhoneDialogue phone(PhoneMode::kOk, 0, 1);
  Exchange(phone, "ATE0\r");
  ASSERT_EQ(Exchange(phone, "AT+CMGS=" + c.cmgs + "\r"), "\r\n> ");
  EXPECT_EQ(Exchange(phone, Submit(c.pdu)), "\r\n+CMS ERROR: 304\r\n");
  const auto events = phone.TakeEvents();
  ASSERT_EQ(events.size(), 1U);
  EXPECT_EQ(events[0].kind, EventKind::kRejected);
  EXPECT_NE(events[0].reason.find(c.reasonPart), std::string::npos) << events[0].reason;
  // Back in command mode.
  EXPECT_EQ(Exchange(phone, "AT\r"), kOk);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, RefusedPdu,
    ::testing::Values(
        RefusedCase{"LengthTooLarge", "52", std::string(kPdu), "AT+CMGS=52 announced, but 51"},
        RefusedCase{"LengthTooSmall", "50", std::string(kPdu), "AT+CMGS=50 announced, but 51"},
        RefusedCase{"NotHex", "51", "00110Z" + std::string(kPdu.substr(6)), "offset 5"},
        RefusedCase{"OddLength", "51", std::string(kPdu) + "0", "odd"},
        RefusedCase{"Empty", "1", "", "empty"},
        RefusedCase{"CentreLongerThanPdu", "1", "0911", "service-centre"},
        RefusedCase{"Overlong", "51", std::string(2000, '0'), "longer than"},
        // A DELIVER is not something to send.
        RefusedCase{"Deliver", "51", "0004" + std::string(kPdu.substr(4)), ""}),
    [](const ::testing::TestParamInfo<RefusedCase>& param) { return param.param.name; });

TEST(Dialogue, EscapeCancelsThePdu) {
  PhoneDialogue phone(PhoneMode::kOk, 0, 1);
  Exchange(phone, "ATE0\r");
  Exchange(phone, "AT+CMGS=51\r");
  EXPECT_EQ(Exchange(phone, std::string(kPdu.substr(0, 20)) + "\x1b"), kOk);
  const auto events = phone.TakeEvents();
  ASSERT_EQ(events.size(), 1U);
  EXPECT_EQ(events[0].kind, EventKind::kCancelled);
  EXPECT_FALSE(phone.enteringPdu());
  EXPECT_EQ(Exchange(phone, "AT\r"), kOk);
}

TEST(Dialogue, CmsErrorModeRefusesAValidPdu) {
  PhoneDialogue phone(PhoneMode::kCmsError, 0, 1);
  Exchange(phone, "ATE0\r");
  EXPECT_EQ(Exchange(phone, "AT+CMGS=51\r"), "\r\n> ");
  EXPECT_EQ(Exchange(phone, Submit(kPdu)), "\r\n+CMS ERROR: 500\r\n");
  const auto events = phone.TakeEvents();
  ASSERT_EQ(events.size(), 1U);
  EXPECT_EQ(events[0].kind, EventKind::kRejected);
}

TEST(Dialogue, HangupHalfwayThroughThePdu) {
  PhoneDialogue phone(PhoneMode::kHangup, 0, 1);
  Exchange(phone, "ATE0\r");
  EXPECT_EQ(Exchange(phone, "AT+CMGS=51\r"), "\r\n> ");
  EXPECT_EQ(Exchange(phone, Submit(kPdu)), "");
  EXPECT_TRUE(phone.hangupPending());
  const auto events = phone.TakeEvents();
  ASSERT_EQ(events.size(), 1U);
  EXPECT_EQ(events[0].kind, EventKind::kHangup);
  EXPECT_EQ(events[0].pdu, kPdu.substr(0, 52));  // half of the 104 characters
  // Whatever still comes is lost until the line is back.
  EXPECT_EQ(Exchange(phone, "AT\r"), "");
  phone.Reset(0);
  EXPECT_FALSE(phone.hangupPending());
  EXPECT_TRUE(phone.echo());
  EXPECT_EQ(Exchange(phone, "AT\r"), "AT\r\r\nOK\r\n");
}

TEST(Dialogue, SlowAnswersASecondLateAndKeepsTheOrder) {
  PhoneDialogue phone(PhoneMode::kSlow, 0, 1);
  phone.Receive("ATZ\r", 0);
  EXPECT_EQ(phone.TakeDue(0), "ATZ\r");  // the echo is the line's, not an answer
  EXPECT_EQ(phone.NextDueMs(), kSlowAnswerDelayMs);
  EXPECT_EQ(phone.TakeDue(kSlowAnswerDelayMs - 1), "");
  phone.Receive("ATE0\r", 500);
  // The second echo waits behind the first answer.
  EXPECT_EQ(phone.TakeDue(999), "");
  EXPECT_EQ(phone.TakeDue(1000), "\r\nOK\r\nATE0\r");
  EXPECT_EQ(phone.TakeDue(1499), "");
  EXPECT_EQ(phone.TakeDue(1500), kOk);
  EXPECT_FALSE(phone.NextDueMs().has_value());
}

TEST(Dialogue, FloodRingsEveryHundredMilliseconds) {
  PhoneDialogue phone(PhoneMode::kFlood, 1000, 1);
  EXPECT_EQ(phone.NextDueMs(), 1100U);
  EXPECT_EQ(phone.TakeDue(1099), "");
  EXPECT_EQ(phone.TakeDue(1100), "\r\nRING\r\n");
  EXPECT_EQ(phone.TakeDue(1350), "\r\nRING\r\n\r\nRING\r\n");
  // Answers still come, between the rings.
  EXPECT_EQ(Exchange(phone, "AT\r", 1360), "AT\r\r\nOK\r\n");
  EXPECT_EQ(phone.TakeDue(1400), "\r\nRING\r\n");
  phone.StopUnsolicited();
  EXPECT_EQ(phone.TakeDue(5000), "");
  EXPECT_FALSE(phone.NextDueMs().has_value());
}

TEST(Dialogue, FloodHoldsItsRingsDuringPduEntry) {
  PhoneDialogue phone(PhoneMode::kFlood, 0, 1);
  EXPECT_EQ(Exchange(phone, "ATE0\r", 50), "ATE0\r\r\nOK\r\n");
  EXPECT_EQ(Exchange(phone, "AT+CMGS=51\r", 60), "\r\n> ");
  EXPECT_EQ(phone.TakeDue(2000), "");
  EXPECT_FALSE(phone.NextDueMs().has_value());
  EXPECT_EQ(Exchange(phone, Submit(kPdu), 2100), "\r\n+CMGS: 1\r\n\r\nOK\r\n");
  EXPECT_EQ(phone.NextDueMs(), 2200U);
  EXPECT_EQ(phone.TakeDue(2200), "\r\nRING\r\n");
}

TEST(Dialogue, GarbageInsteadOfEveryAnswer) {
  PhoneDialogue phone(PhoneMode::kGarbage, 0, 7);
  for (const char* command : {"ATZ\r", "ATE0\r", "AT+CMGF=0\r", "AT+CMGS=51\r"}) {
    const std::string out = Exchange(phone, command);
    EXPECT_GE(out.size(), 40U) << command;
    EXPECT_LE(out.size(), 700U) << command;
    for (const char byte : std::string_view("\r\nO>")) {
      EXPECT_EQ(out.find(byte), std::string::npos) << command << " holds byte " << int{byte};
    }
  }
}

}  // namespace
}  // namespace brindle::sim
