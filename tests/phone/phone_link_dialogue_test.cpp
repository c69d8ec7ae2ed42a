#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "tests/phone/link_fixture.h"

namespace brindle {
namespace {

// A 20-octet PDU text: the empty service-centre field and 19 octets of TPDU.
constexpr std::string_view kPdu40 = "0011000C912143658709210000AA05C8329BFD06";

class DialogueTest : public LinkTest {
 protected:
  // Each pause, with the call made just before it.
  struct PauseAt {
    std::uint32_t milliseconds;
    std::string after;
    bool operator==(const PauseAt&) const = default;
  };

  void SetUp() override {
    sleeper.OnPause([this](std::uint32_t milliseconds) {
      const std::vector<std::string> trace = port.Trace();
      pauses.push_back({milliseconds, trace.empty() ? "" : trace.back()});
    });
  }

  // An open link; the open's calls are not in `mark`'s trace.
  void OpenLink(PhoneLink& link) {
    ASSERT_TRUE(link.Open(u"COM3:", kPortBaudRate));
    mark = port.Trace().size();
  }

  std::vector<PauseAt> pauses;
  std::size_t mark = 0;
};

TEST_F(DialogueTest, InitPhoneWithoutAnOpenedPortSendsNothing) {
  port.AnswerAfter("", "\r\nOK\r\n");
  PhoneLink link(Services());
  EXPECT_EQ(link.InitPhone(), 0);
  EXPECT_TRUE(port.Calls().empty());
  EXPECT_TRUE(sleeper.Pauses().empty());
  EXPECT_EQ(link.phoneReady, 0);
}

TEST_F(DialogueTest, InitPhoneSendsTheThreeCommandsEachWithPauseAndRead) {
  port.AnswerAfter("", "\r\nOK\r\n");
  PhoneLink link(Services());
  OpenLink(link);
  EXPECT_EQ(link.InitPhone(), 1);
  EXPECT_EQ(link.phoneReady, 1);
  EXPECT_EQ(TraceSince(mark), (std::vector<std::string>{
                                  "Write \"ATZ\\r\"",
                                  "Read \"\\r\\nOK\\r\\n\"",
                                  "Write \"ATE0\\r\"",
                                  "Read \"\\r\\nOK\\r\\n\"",
                                  "Write \"AT+CMGF=0\\r\"",
                                  "Read \"\\r\\nOK\\r\\n\"",
                              }));
  EXPECT_EQ(pauses, (std::vector<PauseAt>{{1500, "Write \"ATZ\\r\""},
                                          {1500, "Write \"ATE0\\r\""},
                                          {1500, "Write \"AT+CMGF=0\\r\""}}));
}

TEST_F(DialogueTest, InitPhoneJudgesTheWholeOfALongAnswer) {
  port.AnswerAfter("", "\r\n" + std::string(300, 'i') + "\r\n\r\nOK\r\n");
  PhoneLink link(Services());
  OpenLink(link);
  EXPECT_EQ(link.InitPhone(), 1);
}

TEST_F(DialogueTest, InitPhoneDoesNotJudgeTheAnswerToTheReset) {
  port.AnswerAfter("ATZ", "\r\nERROR\r\n");
  port.AnswerAfter("", "\r\nOK\r\n");
  PhoneLink link(Services());
  OpenLink(link);
  EXPECT_EQ(link.InitPhone(), 1);
}

TEST_F(DialogueTest, InitPhoneDropsTheEchoOfItsCommands) {
  port.AnswerAfter("ATZ", "ATZ\r\r\nOK\r\n");
  port.AnswerAfter("ATE0", "ATE0\r\r\nOK\r\n");
  port.AnswerAfter("AT+CMGF", "\r\nOK\r\n");
  PhoneLink link(Services());
  OpenLink(link);
  EXPECT_EQ(link.InitPhone(), 1);
}

struct InitFailure {
  const char* name;
  std::vector<std::pair<std::string, std::string>> answers;
  std::vector<std::string> writes;
  std::size_t pauses;
};

void PrintTo(const InitFailure& value, std::ostream* os) { *os << value.name; }

class InitFailureTest : public DialogueTest, public ::testing::WithParamInterface<InitFailure> {};

TEST_P(InitFailureTest, Returns0AndLeavesThePhoneNotReady) {
  for (const auto& [trigger, reply] : GetParam().answers) {
    port.AnswerAfter(trigger, reply);
  }
  PhoneLink link(Services());
  OpenLink(link);
  EXPECT_EQ(link.InitPhone(), 0);
  EXPECT_EQ(link.phoneReady, 0);
  EXPECT_EQ(port.Writes(), GetParam().writes);
  EXPECT_EQ(sleeper.Pauses().size(), GetParam().pauses);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, InitFailureTest,
    ::testing::Values(InitFailure{"Silent", {}, {"ATZ\r", "ATE0\r"}, 2},
                      InitFailure{
                          "ErrorToEverything", {{"", "\r\nERROR\r\n"}}, {"ATZ\r", "ATE0\r"}, 2},
                      InitFailure{"ErrorToEchoOff",
                                  {{"ATE0", "\r\nERROR\r\n"}, {"", "\r\nOK\r\n"}},
                                  {"ATZ\r", "ATE0\r"},
                                  2},
                      InitFailure{"ErrorToPduMode",
                                  {{"CMGF", "\r\nERROR\r\n"}, {"", "\r\nOK\r\n"}},
                                  {"ATZ\r", "ATE0\r", "AT+CMGF=0\r"},
                                  3},
                      InitFailure{"LowerCaseOk", {{"", "\r\nok\r\n"}}, {"ATZ\r", "ATE0\r"}, 2},
                      // The OK that ends a long answer to ATZ is not ATE0's answer.
                      InitFailure{"ErrorToEchoOffAfterALongReset",
                                  {{"ATZ", "\r\n" + std::string(300, 'i') + "\r\n\r\nOK\r\n"},
                                   {"ATE0", "\r\nERROR\r\n"}},
                                  {"ATZ\r", "ATE0\r"},
                                  2}),
    [](const auto& param) { return std::string(param.param.name); });

class InitWriteFailureTest : public DialogueTest, public ::testing::WithParamInterface<int> {};

TEST_P(InitWriteFailureTest, StopsAtOnceWithoutPauseOrRead) {
  port.AnswerAfter("", "\r\nOK\r\n");
  PhoneLink link(Services());
  OpenLink(link);
  port.FailCall(PortCall::kWrite, 121, 1, GetParam());
  EXPECT_EQ(link.InitPhone(), 0);
  EXPECT_EQ(link.phoneReady, 0);
  EXPECT_EQ(sleeper.Pauses().size(), static_cast<std::size_t>(GetParam()));
  EXPECT_TRUE(port.Trace().back().ends_with("-> fail"));
}

INSTANTIATE_TEST_SUITE_P(Nth, InitWriteFailureTest, ::testing::Values(0, 1, 2));

class SendPduTest : public DialogueTest {
 protected:
  void SetUp() override {
    DialogueTest::SetUp();
    port.AnswerAfter("AT+CMGS=", "\r\n> ");
  }
};

TEST_F(SendPduTest, AnnouncesTheOctetsThenWritesThePduAndCtrlZ) {
  port.AnswerAfter("\x1a", "\r\n+CMGS: 7\r\n\r\nOK\r\n");
  PhoneLink link(Services());
  OpenLink(link);
  EXPECT_EQ(link.SendPdu(kPdu40), 1);
  EXPECT_EQ(TraceSince(mark), (std::vector<std::string>{
                                  "Write \"AT+CMGS=19\\r\"",
                                  "Read \"\\r\\n> \"",
                                  "Write \"" + std::string(kPdu40) + "\\x1A\"",
                                  "Read \"\\r\\n+CMGS: 7\\r\\n\\r\\nOK\\r\\n\"",
                              }));
  EXPECT_EQ(pauses, (std::vector<PauseAt>{{2000, "Write \"AT+CMGS=19\\r\""},
                                          {5000, "Write \"" + std::string(kPdu40) + "\\x1A\""}}));
}

struct CountCase {
  std::size_t digits;
  std::string command;
};

void PrintTo(const CountCase& value, std::ostream* os) { *os << value.digits << " digits"; }

class SendPduCountTest : public SendPduTest, public ::testing::WithParamInterface<CountCase> {};

TEST_P(SendPduCountTest, CountsOctetsWithoutTheServiceCentre) {
  PhoneLink link(Services());
  OpenLink(link);
  const std::string pdu(GetParam().digits, 'A');
  EXPECT_EQ(link.SendPdu(pdu), 1);
  ASSERT_EQ(port.Writes().size(), 2U);
  EXPECT_EQ(port.Writes()[0], GetParam().command);
  EXPECT_EQ(port.Writes()[1], pdu + "\x1a");
}

INSTANTIATE_TEST_SUITE_P(Lengths, SendPduCountTest,
                         ::testing::Values(CountCase{40, "AT+CMGS=19\r"},
                                           CountCase{41, "AT+CMGS=19\r"},
                                           CountCase{184, "AT+CMGS=91\r"},
                                           CountCase{254, "AT+CMGS=126\r"},
                                           CountCase{4, "AT+CMGS=1\r"}, CountCase{2, "AT+CMGS=0\r"},
                                           CountCase{0, "AT+CMGS=-1\r"}));

TEST_F(SendPduTest, WithoutThePromptThePduIsNeverWritten) {
  RecordingSerialPort other;
  LinkServices services = Services();
  services.port = &other;
  other.AnswerAfter("", "\r\nERROR\r\n");
  PhoneLink link(services);
  ASSERT_TRUE(link.Open(u"COM3:", kPortBaudRate));
  EXPECT_EQ(link.SendPdu(kPdu40), 0);
  EXPECT_EQ(other.Writes(), std::vector<std::string>{"AT+CMGS=19\r"});
  EXPECT_EQ(sleeper.Pauses(), std::vector<std::uint32_t>{2000});
}

TEST_F(SendPduTest, SilentPhoneGetsNoPdu) {
  RecordingSerialPort silent;
  LinkServices services = Services();
  services.port = &silent;
  PhoneLink link(services);
  ASSERT_TRUE(link.Open(u"COM3:", kPortBaudRate));
  EXPECT_EQ(link.SendPdu(kPdu40), 0);
  EXPECT_EQ(silent.Writes().size(), 1U);
}

struct AfterPdu {
  const char* name;
  std::string answer;
  int result;
};

void PrintTo(const AfterPdu& value, std::ostream* os) { *os << value.name; }

class SendPduAnswerTest : public SendPduTest, public ::testing::WithParamInterface<AfterPdu> {};

TEST_P(SendPduAnswerTest, OnlyAnErrorAfterThePduMeansNotSent) {
  port.AnswerAfter("\x1a", GetParam().answer);
  PhoneLink link(Services());
  OpenLink(link);
  EXPECT_EQ(link.SendPdu(kPdu40), GetParam().result);
  EXPECT_EQ(port.Writes().size(), 2U);
  EXPECT_EQ(port.PendingInput(), 0U);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SendPduAnswerTest,
    ::testing::Values(AfterPdu{"Accepted", "\r\n+CMGS: 12\r\n\r\nOK\r\n", 1},
                      AfterPdu{"Nothing", "", 1}, AfterPdu{"OkOnly", "\r\nOK\r\n", 1},
                      AfterPdu{"Garbage", "x\x01y", 1},
                      AfterPdu{"CmsError", "\r\n+CMS ERROR: 500\r\n", 0},
                      AfterPdu{"Error", "\r\nERROR\r\n", 0},
                      AfterPdu{"ErrorAfterEcho", "0011\x1a\r\nERROR\r\n", 0},
                      AfterPdu{"ErrorAfterRing", "\r\nRING\r\n\r\n+CMS ERROR: 38\r\n", 0},
                      AfterPdu{"LowerCaseError", "\r\nerror\r\n", 1}),
    [](const auto& param) { return std::string(param.param.name); });

// The line fails while the answer to the PDU is awaited: the phone hung up.
struct HangUp {
  const char* name;
  std::string answerBefore;
  int result;
};

void PrintTo(const HangUp& value, std::ostream* os) { *os << value.name; }

class SendPduHangUpTest : public SendPduTest, public ::testing::WithParamInterface<HangUp> {};

TEST_P(SendPduHangUpTest, AFailedLineIsNotSentUnlessThePhoneSaidOk) {
  port.AnswerAfter("\x1a", GetParam().answerBefore);
  sleeper.OnPause([this](std::uint32_t ms) {
    if (ms == kPduPause) {
      port.FailCall(PortCall::kRead, 5, RecordingSerialPort::kAlways,
                    static_cast<int>(port.PendingInput()));
    }
  });
  PhoneLink link(Services());
  OpenLink(link);
  EXPECT_EQ(link.SendPdu(kPdu40), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SendPduHangUpTest,
    ::testing::Values(HangUp{"Nothing", "", 0}, HangUp{"HalfAnAnswer", "\r\n+CMG", 0},
                      HangUp{"AfterOk", "\r\n+CMGS: 3\r\n\r\nOK\r\n", 1},
                      // The lines framed so that "OK" is dropped.
                      HangUp{"OkAfterRing", "\nRING\r\n\r\n+CMGS: 1\r\n\r\nOK\r\n", 1}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(SendPduTest, RefusesAPduLongerThan254CharactersBeforeWritingAnything) {
  PhoneLink link(Services());
  OpenLink(link);
  EXPECT_EQ(link.SendPdu(std::string(255, '0')), 0);
  EXPECT_EQ(TraceSince(mark), std::vector<std::string>{});
  EXPECT_TRUE(sleeper.Pauses().empty());
  EXPECT_EQ(link.SendPdu(std::string(254, '0')), 1);
}

TEST_F(SendPduTest, PduEndsAtItsFirstNul) {
  PhoneLink link(Services());
  OpenLink(link);
  const std::string pdu = std::string(kPdu40) + std::string(1, '\0') + "FFFF";
  EXPECT_EQ(link.SendPdu(pdu), 1);
  EXPECT_EQ(port.Writes()[0], "AT+CMGS=19\r");
  EXPECT_EQ(port.Writes()[1], std::string(kPdu40) + "\x1a");
}

class SendPduWriteFailureTest : public SendPduTest, public ::testing::WithParamInterface<int> {};

TEST_P(SendPduWriteFailureTest, Returns0AtOnce) {
  PhoneLink link(Services());
  OpenLink(link);
  port.FailCall(PortCall::kWrite, 121, 1, GetParam());
  EXPECT_EQ(link.SendPdu(kPdu40), 0);
  EXPECT_EQ(sleeper.Pauses().size(), static_cast<std::size_t>(GetParam()));
  EXPECT_TRUE(port.Trace().back().ends_with("-> fail"));
}

INSTANTIATE_TEST_SUITE_P(Nth, SendPduWriteFailureTest, ::testing::Values(0, 1));

TEST_F(SendPduTest, ShortWriteOfThePduFails) {
  PhoneLink link(Services());
  OpenLink(link);
  port.LimitWrites(20);
  EXPECT_EQ(link.SendPdu(kPdu40), 0);
}

class ShutdownTest : public DialogueTest {};

TEST_F(ShutdownTest, CloseOfAReadyPhoneSwitchesIndicationsOffAndResetsWithoutPauses) {
  port.AnswerAfter("", "\r\nOK\r\n");
  PhoneLink link(Services());
  OpenLink(link);
  ASSERT_EQ(link.InitPhone(), 1);
  const std::size_t pausesBefore = sleeper.Pauses().size();
  const std::size_t before = port.Trace().size();
  EXPECT_EQ(link.Close(), 1);
  EXPECT_EQ(TraceSince(before), (std::vector<std::string>{
                                    "Write \"AT+CNMI=0,0\\r\"",
                                    "Read \"\\r\\nOK\\r\\n\"",
                                    "Write \"ATZ\\r\"",
                                    "Read \"\\r\\nOK\\r\\n\"",
                                    "Purge 15",
                                    "Close",
                                }));
  EXPECT_EQ(sleeper.Pauses().size(), pausesBefore);
  EXPECT_EQ(link.phoneReady, 0);
}

TEST_F(ShutdownTest, FailedWritesDoNotStopTheRelease) {
  port.AnswerAfter("", "\r\nOK\r\n");
  PhoneLink link(Services());
  OpenLink(link);
  ASSERT_EQ(link.InitPhone(), 1);
  port.FailCall(PortCall::kWrite, 121);
  const std::size_t before = port.Trace().size();
  EXPECT_EQ(link.Close(), 1);
  EXPECT_EQ(TraceSince(before), (std::vector<std::string>{
                                    "Write \"\" -> fail",
                                    "Read \"\"",
                                    "Write \"\" -> fail",
                                    "Read \"\"",
                                    "Purge 15",
                                    "Close",
                                }));
  EXPECT_EQ(link.phoneReady, 0);
}

TEST_F(ShutdownTest, FailedSendPduLeavesThePhoneReadySoCloseShutsItDown) {
  port.AnswerAfter("AT+CMGS", "\r\nERROR\r\n");
  port.AnswerAfter("", "\r\nOK\r\n");
  PhoneLink link(Services());
  OpenLink(link);
  ASSERT_EQ(link.InitPhone(), 1);
  EXPECT_EQ(link.SendPdu(kPdu40), 0);
  EXPECT_EQ(link.phoneReady, 1);
  EXPECT_EQ(link.Close(), 1);
  const std::vector<std::string> writes = port.Writes();
  EXPECT_EQ(std::vector<std::string>(writes.end() - 2, writes.end()),
            (std::vector<std::string>{"AT+CNMI=0,0\r", "ATZ\r"}));
}

// The whole send, as the send sequence drives it.
TEST_F(DialogueTest, WholeSendWaitsTheFixedPausesInOrder) {
  port.AnswerLikeAPhone();
  {
    PhoneLink link(Services());
    ASSERT_TRUE(link.Open(u"COM3:", kPortBaudRate));
    ASSERT_EQ(link.InitPhone(), 1);
    ASSERT_EQ(link.SendPdu(kPdu40), 1);
    ASSERT_EQ(link.Close(), 1);
  }
  EXPECT_EQ(sleeper.Pauses(), (std::vector<std::uint32_t>{1500, 1500, 1500, 2000, 5000}));
  EXPECT_EQ(sleeper.TotalMs(), 11500U);
  EXPECT_EQ(port.Writes(),
            (std::vector<std::string>{"ATZ\r", "ATE0\r", "AT+CMGF=0\r", "AT+CMGS=19\r",
                                      std::string(kPdu40) + "\x1a", "AT+CNMI=0,0\r", "ATZ\r"}));
  EXPECT_EQ(port.OpenHandles(), 0);
  EXPECT_TRUE(boxes.Messages().empty());
}

}  // namespace
}  // namespace brindle
