// The phone dialogue: initialisation, the submit and the shutdown, with their pauses.
#include <string>
#include <string_view>
#include <vector>

#include "tests/phone/link_fixture.h"

namespace brindle {
namespace {

using Trace = std::vector<std::string>;
using Answers = std::vector<std::pair<std::string, std::string>>;

// The empty service-centre field and 19 octets of TPDU.
constexpr std::string_view kPdu = "0011000C912143658709210000AA05C8329BFD06";
const std::string kPduLine = std::string(kPdu) + "\x1a";
const std::string kLongAnswer = "\r\n" + std::string(300, 'i') + "\r\n\r\nOK\r\n";

// The submit announces the octets after the service-centre field.
TEST_F(LinkTest, EachCommandIsFollowedByItsPauseThenItsAnswerIsRead) {
  port.AnswerLikeAPhone();
  Open();
  EXPECT_EQ(link.InitPhone(), 1);
  EXPECT_EQ(link.phoneReady, 1);
  EXPECT_EQ(link.SendPdu(kPdu), 1);
  EXPECT_EQ(port.Trace(),
            (Trace{"Write ATZ\r", "Pause 1500", "Read \r\nOK\r\n", "Write ATE0\r", "Pause 1500",
                   "Read \r\nOK\r\n", "Write AT+CMGF=0\r", "Pause 1500", "Read \r\nOK\r\n",
                   "Write AT+CMGS=19\r", "Pause 2000", "Read \r\n> ", "Write " + kPduLine,
                   "Pause 5000", "Read \r\n+CMGS: 1\r\n\r\nOK\r\n"}));
}

struct InitCase {
  const char* name;
  Answers answers;
  int result;
  Trace writes;
};

class InitPhoneTest : public LinkTest, public ::testing::WithParamInterface<InitCase> {};

TEST_P(InitPhoneTest, JudgesTheAnswersToEchoOffAndPduMode) {
  for (const auto& [trigger, reply] : GetParam().answers) {
    port.AnswerAfter(trigger, reply);
  }
  Open();
  EXPECT_EQ(link.InitPhone(), GetParam().result);
  EXPECT_EQ(link.phoneReady, GetParam().result);
  EXPECT_EQ(port.Writes(), GetParam().writes);
  if (GetParam().result == 0) {
    link.Close();
    EXPECT_EQ(port.Writes(), GetParam().writes) << "no shutdown for a phone never ready";
  }
}

const Trace kAllThree = {"ATZ\r", "ATE0\r", "AT+CMGF=0\r"};
const Trace kUpToEchoOff = {"ATZ\r", "ATE0\r"};

INSTANTIATE_TEST_SUITE_P(
    Answers, InitPhoneTest,
    ::testing::Values(
        InitCase{"OkAfterALongAnswer", {{"", kLongAnswer}}, 1, kAllThree},
        InitCase{
            "ResetAnswerNotJudged", {{"ATZ", "\r\nERROR\r\n"}, {"", "\r\nOK\r\n"}}, 1, kAllThree},
        InitCase{"Silent", {}, 0, kUpToEchoOff},
        InitCase{"LowerCaseOk", {{"", "\r\nok\r\n"}}, 0, kUpToEchoOff},
        InitCase{"ErrorToPduMode", {{"CMGF", "\r\nERROR\r\n"}, {"", "\r\nOK\r\n"}}, 0, kAllThree},
        // The OK that ends a long answer to ATZ is not ATE0's answer.
        InitCase{"ErrorToEchoOffAfterALongReset",
                 {{"ATZ", kLongAnswer}, {"ATE0", "\r\nERROR\r\n"}},
                 0,
                 kUpToEchoOff}),
    [](const auto& param) { return std::string(param.param.name); });

// A failed write ends the step at once, without its pause or read (both would be traced).
TEST_F(LinkTest, FailedWriteStopsTheDialogueAtOnce) {
  port.AnswerLikeAPhone();
  Open();
  for (const bool submit : {false, true}) {
    for (int skip = 0; skip < (submit ? 2 : 3); ++skip) {
      SCOPED_TRACE(testing::Message() << "submit " << submit << ", write " << skip);
      port.FailCall(PortCall::kWrite, 121, 1, skip);
      EXPECT_EQ(submit ? link.SendPdu(kPdu) : link.InitPhone(), 0);
      EXPECT_TRUE(port.Trace().back().ends_with("-> fail"));
    }
  }
}

TEST_F(LinkTest, SendPduTakesAtMost254CharactersAndCountsOctetsAfterTheServiceCentre) {
  port.AnswerLikeAPhone();
  Open();
  EXPECT_EQ(link.SendPdu(std::string(255, '0')), 0);
  EXPECT_TRUE(port.Trace().empty());
  EXPECT_EQ(link.SendPdu(std::string(254, '0')), 1);
  EXPECT_EQ(port.Writes(), (Trace{"AT+CMGS=126\r", std::string(254, '0') + "\x1a"}));
}

struct AfterPdu {
  const char* name;
  std::string answer;
  int result;
  bool hangUp = false;  // once `answer` is read, the line fails: the phone hung up
  std::string promptAnswer = "\r\n> ";
};

class SendPduAnswerTest : public LinkTest, public ::testing::WithParamInterface<AfterPdu> {};

// Without the prompt the PDU is never written; after it, only an error means not sent, or a
// line that failed before the phone said OK.
TEST_P(SendPduAnswerTest, JudgesThePromptAndTheAnswerToThePdu) {
  port.AnswerAfter("AT+CMGS=", GetParam().promptAnswer);
  port.AnswerAfter("\x1a", GetParam().answer);
  if (GetParam().hangUp) {
    sleeper.OnPause([this](std::uint32_t ms) {
      if (ms == kPduPause) {
        port.FailCall(PortCall::kRead, 5, RecordingSerialPort::kAlways,
                      static_cast<int>(port.PendingInput()));
      }
    });
  }
  Open();
  EXPECT_EQ(link.SendPdu(kPdu), GetParam().result);
  EXPECT_EQ(port.PendingInput(), 0U);
  EXPECT_EQ(port.Writes().size(), GetParam().promptAnswer.ends_with("> ") ? 2U : 1U);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SendPduAnswerTest,
    ::testing::Values(AfterPdu{"NoPrompt", "", 0, false, ""},
                      AfterPdu{"ErrorForPrompt", "", 0, false, "\r\nERROR\r\n"},
                      AfterPdu{"Accepted", "\r\n+CMGS: 12\r\n\r\nOK\r\n", 1},
                      AfterPdu{"Silence", "", 1}, AfterPdu{"Error", "\r\nERROR\r\n", 0},
                      AfterPdu{"CmsErrorAfterRing", "\r\nRING\r\n\r\n+CMS ERROR: 38\r\n", 0},
                      AfterPdu{"HangUpInSilence", "", 0, true},
                      AfterPdu{"HangUpInHalfAnAnswer", "\r\n+CMG", 0, true},
                      AfterPdu{"HangUpAfterOk", "\r\n+CMGS: 3\r\n\r\nOK\r\n", 1, true},
                      // Framed so that the "OK" line is dropped from the answer.
                      AfterPdu{"HangUpAfterRingAndOk", "\nRING\r\n\r\n+CMGS: 1\r\n\r\nOK\r\n", 1,
                               true}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(LinkTest, CloseShutsDownAReadyPhoneEvenAfterAFailedSendOrFailedWrites) {
  port.AnswerAfter("AT+CMGS", "\r\nERROR\r\n");
  port.AnswerAfter("", "\r\nOK\r\n");
  Open();
  ASSERT_EQ(link.InitPhone(), 1);
  EXPECT_EQ(link.SendPdu(kPdu), 0);
  port.FailCall(PortCall::kWrite, 121);
  port.ClearTrace();
  EXPECT_EQ(link.Close(), 1);
  EXPECT_EQ(port.Trace(), (Trace{"Write AT+CNMI=0,0\r -> fail", "Read ", "Write ATZ\r -> fail",
                                 "Read ", "Purge 15", "Close"}));
  EXPECT_EQ(link.phoneReady, 0);
}

}  // namespace
}  // namespace brindle
