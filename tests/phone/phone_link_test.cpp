// PhoneLink on the recording port, each pause noted in the port's trace: opening and releasing
// the port, the error box, the command writer and the answer reader; then the dialogue:
// initialisation, the submit and the shutdown, with their pauses. Last, the POSIX port on a real
// pseudo-terminal, the test holding the master side as the "phone".
#include "phone/phone_link.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/testing/manual_clock.h"
#include "base/testing/recording_message_sink.h"
#include "base/testing/recording_sleeper.h"
#include "base/text.h"
#include "phone/posix_serial_port.h"
#include "phone/testing/recording_serial_port.h"

namespace brindle {
namespace {

class LinkTest : public ::testing::Test {
 protected:
  LinkTest() {
    sleeper.OnPause([this](std::uint32_t ms) { port.Note("Pause " + std::to_string(ms)); });
  }

  // An open link with the open's calls left out of the trace.
  void Open() {
    ASSERT_TRUE(link.Open(u"COM3:", kPortBaudRate));
    port.ClearTrace();
  }

  [[nodiscard]] std::u16string Response() {
    std::array<char16_t, kResponseCapacity> response{};
    response.fill(u'#');
    EXPECT_EQ(link.ReadResponse(response), 1);
    return std::u16string(TerminatedView(std::span<const char16_t>(response)));
  }

  RecordingSerialPort port;
  RecordingMessageSink boxes;
  RecordingSleeper sleeper;
  ManualClock clock;
  PhoneLink link{{&port, &boxes, &sleeper, &clock}};
};

using Trace = std::vector<std::string>;
using Answers = std::vector<std::pair<std::string, std::string>>;

const Trace kOpenTrace = {"Open COM3:",  "GetState 28",   "SetState",      "GetTimeouts",
                          "SetTimeouts", "Escape SETDTR", "Escape SETRTS", "Purge 15"};

// The flag word: binary, parity check, DTR and RTS enable and Tx on Xoff set; no CTS, DSR or
// Xon/Xoff flow, DSR sensitivity, error or null character, abort on error; the bits above 0x7FFF
// kept. The rest of the settings as read, but 8 data bits, no parity, one stop bit.
TEST_F(LinkTest, OpenConfiguresThePortOnTheHandleItGot) {
  const std::pair<std::uint32_t, std::uint32_t> flags[] = {
      {0x00000000, 0x00001093}, {0xFFFFFFFF, 0xFFFF9093}, {0xABCD6F6C, 0xABCD1093}};
  for (const auto& [before, after] : flags) {
    SCOPED_TRACE(before);
    RecordingSerialPort fresh;
    fresh.SetCurrentState(
        {.flags = before, .byteSize = 7, .parity = 2, .stopBits = 2, .xonChar = 1});
    fresh.SetOpenHandle(42);
    PhoneLink other({&fresh, &boxes, &sleeper, &clock});
    ASSERT_TRUE(other.Open(u"COM3:", 9600));
    // The double fails any call on another handle, which would show in the trace.
    EXPECT_EQ(fresh.Trace(), kOpenTrace);
    const PortSettings& set = fresh.CurrentState();
    EXPECT_EQ(set.flags, after);
    EXPECT_EQ(std::vector<int>({int(set.dcbLength), int(set.baudRate), set.byteSize, set.parity,
                                set.stopBits, set.xonChar}),
              std::vector<int>({28, 9600, 8, dcb::kNoParity, dcb::kOneStopBit, 1}));
    const PortTimeouts& t = fresh.CurrentTimeouts();
    EXPECT_EQ(std::vector<std::uint32_t>({t.readIntervalTimeout, t.readTotalTimeoutMultiplier,
                                          t.readTotalTimeoutConstant, t.writeTotalTimeoutMultiplier,
                                          t.writeTotalTimeoutConstant}),
              std::vector<std::uint32_t>({0xFFFFFFFF, 1, 500, 1, 500}));
  }
  EXPECT_TRUE(boxes.Messages().empty());
}

// The box names the call that failed; the link releases what it got.
TEST_F(LinkTest, FailedOpenShowsTheBoxAndReleasesThePort) {
  const struct {
    PortCall failing;
    Trace trace;
    std::u16string_view box;
    int closeResult;  // 1 when the port never opened, 0 when it was released already
  } rows[] = {
      {PortCall::kOpen, {"Open COM3: -> fail"}, u"Unable to open port", 1},
      {PortCall::kSetState,
       {"Open COM3:", "GetState 28", "SetState -> fail", "Close"},
       u"Unable to set CommState",
       0},
      {PortCall::kSetTimeouts,
       {"Open COM3:", "GetState 28", "SetState", "GetTimeouts", "SetTimeouts -> fail", "Close"},
       u"Unable to set CommTimeouts",
       0}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.trace.back());
    RecordingSerialPort fresh;
    RecordingMessageSink shown;
    fresh.FailCall(row.failing, 5);
    fresh.SetErrorText(5, u"Access is denied.\r\n");
    PhoneLink other({&fresh, &shown, &sleeper, &clock});
    EXPECT_FALSE(other.Open(u"COM3:", kPortBaudRate));
    EXPECT_EQ(fresh.Trace(), row.trace);
    ASSERT_EQ(shown.Messages().size(), 1U);
    EXPECT_EQ(shown.Messages()[0].text, std::u16string(row.box) + u"Access is denied.\r\n");
    EXPECT_EQ(shown.Messages()[0].caption, u"Error");
    EXPECT_EQ(shown.Messages()[0].style, kMbOk | kMbIconInformation);
    fresh.ClearTrace();
    EXPECT_EQ(other.Close(), row.closeResult);
    EXPECT_TRUE(fresh.Trace().empty());
  }
}

TEST_F(LinkTest, ErrorBoxWidensThePrefixShowsOnlyWhenAskedAndIsCutTo511) {
  port.SetErrorText(1, u"\u20AC");
  EXPECT_EQ(link.ReportError("caf\xE9 \xFF", 1, false), 0);
  EXPECT_TRUE(boxes.Messages().empty());
  link.ReportError("caf\xE9 \xFF", 1, true);
  port.SetErrorText(2, std::u16string(600, u's'));
  link.ReportError("prefix", 2, true);
  link.ReportError(std::string(600, 'p').c_str(), 1, true);
  // Without a system text there is no box at all.
  link.ReportError("Unable to open port", 3, true);
  ASSERT_EQ(boxes.Messages().size(), 3U);
  EXPECT_EQ(boxes.Messages()[0].text, u"caf\u00E9 \u00FF\u20AC");
  EXPECT_EQ(boxes.Messages()[1].text, (u"prefix" + std::u16string(505, u's')));
  EXPECT_EQ(boxes.Messages()[2].text, std::u16string(511, u'p'));
}

TEST_F(LinkTest, CloseReleasesOnceAndTheLinkOpensAgain) {
  EXPECT_EQ(link.Close(), 1) << "nothing to release";
  EXPECT_EQ(link.InitPhone(), 0);
  EXPECT_TRUE(port.Trace().empty());
  Open();
  EXPECT_EQ(link.Close(), 1);
  EXPECT_EQ(link.Close(), 0);
  EXPECT_EQ(port.Trace(), (Trace{"Purge 15", "Close"}));
  Open();
  EXPECT_EQ(link.Close(), 1);
}

TEST_F(LinkTest, RefusedCloseKeepsTheHandleForTheDestructor) {
  {
    PhoneLink local({&port, &boxes, &sleeper, &clock});
    ASSERT_TRUE(local.Open(u"COM3:", kPortBaudRate));
    port.FailCall(PortCall::kClose, 6, 1);
    EXPECT_EQ(local.Close(), 0);
    port.ClearTrace();
  }
  EXPECT_EQ(port.Trace(), (Trace{"Purge 15", "Close"}));
}

TEST_F(LinkTest, WriteCommandSendsOneByteACharacterAndNeedsEveryByteTaken) {
  Open();
  EXPECT_TRUE(link.WriteCommand(u"\u00E9a\u20AC"));
  EXPECT_TRUE(link.WriteCommand(std::u16string(256, u'A')));
  EXPECT_FALSE(link.WriteCommand(std::u16string(257, u'A')));
  EXPECT_EQ(port.Writes(), (Trace{"\xE9"
                                  "a?",
                                  std::string(256, 'A')}));
  port.LimitWrites(3);
  EXPECT_FALSE(link.WriteCommand(u"ATE0\r"));
  port.FailCall(PortCall::kWrite, 1);
  EXPECT_FALSE(link.WriteCommand(u"ATE0\r"));
}

struct ReaderCase {
  const char* name;
  std::string_view input;  // '|': a read that times out
  std::u16string_view expected;
  std::size_t leftOver = 0;
};

class ReadResponseTest : public LinkTest, public ::testing::WithParamInterface<ReaderCase> {};

TEST_P(ReadResponseTest, CollectsTheAnswer) {
  for (const char c : GetParam().input) {
    if (c == '|') {
      port.QueueGap();
    } else {
      port.QueueInput(std::string_view(&c, 1));
    }
  }
  Open();
  EXPECT_EQ(Response(), GetParam().expected);
  EXPECT_EQ(port.PendingInput(), GetParam().leftOver);
}

using namespace std::string_view_literals;

// The answer keeps its first 255 characters, but is read to its end: nothing of it is left on
// the line for the next command.
const std::string kLongAnswer = "\r\n" + std::string(300, 'i') + "\r\n\r\nOK\r\n";
const std::u16string kLongKept(255, u'i');

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadResponseTest,
    ::testing::Values(ReaderCase{"Nothing", "", u""},
                      ReaderCase{"EchoDropped", "ATE0\r\r\nOK\r\n", u"OK\r\n"},
                      ReaderCase{"Prompt", "\r\n> ", u"> "},
                      ReaderCase{"TwoLines", "\r\n+CMGS: 12\r\n\r\nOK\r\n", u"+CMGS: 12\r\nOK\r\n"},
                      ReaderCase{"EmptyLineDoesNotEndIt", "\r\n\r\n\r\nOK\r\n", u"\r\nOK\r\n"},
                      ReaderCase{"LoneCrAndLfAreText", "\r\nA\rB\nC\r\n", u"A\rB\nC\r\n"},
                      ReaderCase{"NoBreakAtAll", "garbage", u"garbage"},
                      ReaderCase{"ZeroByteLeftOut", "\r\nO\0K\r\n"sv, u"OK\r\n"},
                      ReaderCase{"HighBytesAreLatin1", "\r\n\xE9\xFF\r\n", u"\u00E9\u00FF\r\n"},
                      ReaderCase{"PauseEndsTheLine", "\r\nOK|\r\n", u"OK"},
                      ReaderCase{"QuietLineEndsTheAnswer", "\r\nOK\r\n|\r\nRING\r\n", u"OK\r\n", 8},
                      ReaderCase{"LongAnswerReadToItsEnd", kLongAnswer, kLongKept}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(LinkTest, FailedReadEndsTheLine) {
  port.QueueInput("\r\nOK\r\n");
  Open();
  port.FailCall(PortCall::kRead, 5, 1, 3);
  // The failed read ends the first line ("O"); the next one starts with "K".
  EXPECT_EQ(Response(), u"O");
}

TEST_F(LinkTest, ReadLineStopsAtItsBreakAndKeeps511Bytes) {
  port.QueueInput("\r\nOK\r\nrest\r\n" + std::string(600, 'a') + "\r\nnext");
  Open();
  std::array<char16_t, kLineCapacity + 2> line{};
  line.fill(u'#');
  EXPECT_EQ(link.ReadLine(line), 1);
  EXPECT_EQ(TerminatedView(std::span<const char16_t>(line)), u"OK\r\n");
  // "rest" comes before the next line's first break and is dropped.
  link.ReadLine(line);
  EXPECT_EQ(TerminatedView(std::span<const char16_t>(line)), std::u16string(511, u'a'));
  EXPECT_EQ(line[kLineCapacity], u'#');
  EXPECT_EQ(port.PendingInput(), 4U);
}

// A phone that never stops: one endless line, or short lines slowly, cut off once the bound has
// passed (a line under way gets the grace to end), neither sooner nor later.
TEST_F(LinkTest, EndlessAnswerStopsAfterTheBound) {
  const std::pair<std::string_view, std::uint64_t> floods[] = {{"x", 1}, {"\r\nRING\r\n", 10}};
  for (const auto& [pattern, step] : floods) {
    SCOPED_TRACE(pattern);
    RecordingSerialPort flooding;
    ManualClock time;
    time.SetStepPerReading(step);
    PhoneLink other({&flooding, &boxes, &sleeper, &time});
    ASSERT_TRUE(other.Open(u"COM3:", kPortBaudRate));
    for (int i = 0; i < 20000; ++i) {  // more than the bounds let it read
      flooding.QueueInput(pattern);
    }
    std::array<char16_t, kResponseCapacity> response{};
    other.ReadResponse(response);
    const std::uint64_t stoppedAt = time.NowMs();
    EXPECT_GE(stoppedAt, kResponseBoundMs);
    EXPECT_LE(stoppedAt, kResponseBoundMs + kLineGraceMs + 3 * step);
    std::array<char16_t, kLineCapacity> line{};
    other.ReadLine(line);
    EXPECT_LE(time.NowMs(), stoppedAt + kResponseBoundMs + 3 * step);
  }
}

// The empty service-centre field and 19 octets of TPDU.
constexpr std::string_view kPdu = "0011000C912143658709210000AA05C8329BFD06";
const std::string kPduLine = std::string(kPdu) + "\x1a";

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

class PtyTest : public ::testing::Test {
 protected:
  // The slave stays open so that its settings can be read back.
  void SetUp() override {
    std::array<char, 128> name{};
    ASSERT_EQ(::openpty(&master, &slave, name.data(), nullptr, nullptr), 0);
    path.assign(name.data(), name.data() + std::strlen(name.data()));
  }
  void TearDown() override {
    ::close(slave);
    ::close(master);
  }

  // Whether a one-byte read succeeded, and how many bytes it got.
  [[nodiscard]] std::pair<bool, std::uint32_t> ReadOne() {
    std::array<std::uint8_t, 1> byte{};
    std::uint32_t done = 99;
    const bool ok = port.Read(link.portHandle, byte, done);
    return {ok, done};
  }

  int master = -1;
  int slave = -1;
  std::u16string path;
  PosixSerialPort port;
  RecordingMessageSink boxes;
  PhoneLink link{{&port, &boxes, nullptr, nullptr}};
};

TEST_F(PtyTest, OpenLeavesTheLineRawAt115200EightNoneOneAndDropsStaleInput) {
  ASSERT_EQ(::write(master, "stale", 5), 5);
  ASSERT_TRUE(link.Open(path, kPortBaudRate));
  EXPECT_TRUE(boxes.Messages().empty());
  termios tio{};
  ASSERT_EQ(::tcgetattr(slave, &tio), 0);
  EXPECT_EQ(::cfgetospeed(&tio), B115200);
  EXPECT_EQ(::cfgetispeed(&tio), B115200);
  EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD),
            static_cast<tcflag_t>(CS8 | CLOCAL | CREAD));
  EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0U);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0U);
  EXPECT_EQ(tio.c_oflag & OPOST, 0U);
  EXPECT_EQ(ReadOne(), std::pair(true, 0U));
}

TEST_F(PtyTest, ComNameOpensTheDeviceItsVariableNamesAndWriteStopsAtItsTimeout) {
  ::setenv("BRINDLE_COM3", std::string(path.begin(), path.end()).c_str(), 1);
  const bool opened = link.Open(u"COM3:", kPortBaudRate);
  ::unsetenv("BRINDLE_COM3");
  ASSERT_TRUE(opened);
  ASSERT_TRUE(port.SetTimeouts(link.portHandle, {0, 0, 0, 0, 200}));
  // The phone reads nothing, so the terminal's buffer fills up.
  const std::vector<std::uint8_t> bytes(1 << 20, 'x');
  std::uint32_t done = 0;
  EXPECT_TRUE(port.Write(link.portHandle, bytes, done));
  EXPECT_GT(done, 0U);
  EXPECT_LT(done, bytes.size());
  // What reached the phone; it waits up to 200 ms for each further piece.
  ssize_t received = 0;
  pollfd request{master, POLLIN, 0};
  std::array<char, 4096> chunk{};
  for (ssize_t got = 0;
       ::poll(&request, 1, 200) > 0 && (got = ::read(master, chunk.data(), chunk.size())) > 0;) {
    received += got;
  }
  EXPECT_EQ(received, static_cast<ssize_t>(done));
}

TEST_F(PtyTest, SecondOpenIsRefusedUntilTheFirstIsClosed) {
  ASSERT_TRUE(link.Open(path, kPortBaudRate));
  PosixSerialPort other;
  EXPECT_EQ(other.Open(path), kInvalidPortHandle);
  EXPECT_EQ(other.LastError(), static_cast<std::uint32_t>(EBUSY));
  ASSERT_EQ(link.Close(), 1);
  const PortHandle second = other.Open(path);
  EXPECT_NE(second, kInvalidPortHandle);
  EXPECT_TRUE(other.Close(second));
}

TEST_F(PtyTest, HungUpPhoneFailsReadsAndWrites) {
  ASSERT_TRUE(link.Open(path, kPortBaudRate));
  ::close(master);
  master = -1;
  EXPECT_EQ(ReadOne(), std::pair(false, 0U));  // a failure, not a quiet line
  EXPECT_EQ(port.LastError(), static_cast<std::uint32_t>(EIO));
  EXPECT_FALSE(link.WriteCommand(u"ATZ\r"));
}

TEST_F(PtyTest, RateTheTerminalDoesNotKnowIsRefusedWithABoxAndTheDeviceReleased) {
  EXPECT_FALSE(link.Open(path, 12345));
  ASSERT_EQ(boxes.Messages().size(), 1U);
  EXPECT_EQ(boxes.Messages()[0].text, u"Unable to set CommStateInvalid argument");
  EXPECT_TRUE(link.Open(path, kPortBaudRate));
}

TEST(PosixPortTest, PortNamesMapToDevices) {
  ::setenv("BRINDLE_COM12", "/tmp/phone12", 1);
  ::setenv("BRINDLE_COM4", "", 1);
  ::unsetenv("BRINDLE_COM3");
  const std::pair<std::u16string, std::string> rows[] = {
      {u"COM3:", "/dev/ttyS2"}, {u"com3", "/dev/ttyS2"},           {u"COM12:", "/tmp/phone12"},
      {u"COM4:", "/dev/ttyS3"}, {u"/dev/ttyUSB0", "/dev/ttyUSB0"}, {u"COM0:", "COM0:"},
      {u"COM3:x", "COM3:x"},    {std::u16string(300, u'a'), ""}};
  for (const auto& [name, device] : rows) {
    std::array<char, 256> out{};
    EXPECT_EQ(PosixSerialPort::ResolvePath(name, out) ? out.data() : "", device) << device;
  }
  ::unsetenv("BRINDLE_COM12");
  ::unsetenv("BRINDLE_COM4");
}

TEST(PosixPortTest, MissingDeviceFailsWithTheSystemsText) {
  PosixSerialPort port;
  EXPECT_EQ(port.Open(u"/dev/brindle-no-such-device"), kInvalidPortHandle);
  EXPECT_EQ(port.LastError(), static_cast<std::uint32_t>(ENOENT));
  std::array<char16_t, 6> cut{};
  EXPECT_EQ(port.ErrorText(ENOENT, cut), 5U);
  EXPECT_EQ(TerminatedView(std::span<const char16_t>(cut)), u"No su");
  EXPECT_EQ(port.ErrorText(99999, cut), 0U);
}

}  // namespace
}  // namespace brindle
