// The link's own part: opening and releasing the port, the error box, the command writer and
// the answer reader.
#include <string>
#include <vector>

#include "tests/phone/link_fixture.h"

namespace brindle {
namespace {

using Trace = std::vector<std::string>;

const Trace kOpenTrace = {"Open COM3:",  "GetState 28",   "SetState",      "GetTimeouts",
                          "SetTimeouts", "Escape SETDTR", "Escape SETRTS", "Purge 15"};

TEST_F(LinkTest, OpenConfiguresThePortOnTheHandleItGot) {
  PortSettings current{};
  current.flags = 0xFFFFFFFF;
  current.byteSize = 7;
  current.parity = 2;
  current.stopBits = 2;
  current.xonChar = 0x11;
  port.SetCurrentState(current);
  port.SetOpenHandle(42);
  ASSERT_TRUE(link.Open(u"COM3:", 9600));
  // The double fails any call on another handle, which would show in the trace.
  EXPECT_EQ(port.Trace(), kOpenTrace);
  EXPECT_EQ(link.portHandle, 42);
  EXPECT_EQ(link.opened, 1);
  EXPECT_TRUE(boxes.Messages().empty());
  const PortSettings& set = port.CurrentState();
  EXPECT_EQ(set.dcbLength, 28U);
  EXPECT_EQ(set.baudRate, 9600U);
  EXPECT_EQ(set.byteSize, 8);
  EXPECT_EQ(set.parity, dcb::kNoParity);
  EXPECT_EQ(set.stopBits, dcb::kOneStopBit);
  EXPECT_EQ(set.xonChar, 0x11);
  const PortTimeouts& t = port.CurrentTimeouts();
  EXPECT_EQ(std::vector<std::uint32_t>({t.readIntervalTimeout, t.readTotalTimeoutMultiplier,
                                        t.readTotalTimeoutConstant, t.writeTotalTimeoutMultiplier,
                                        t.writeTotalTimeoutConstant}),
            std::vector<std::uint32_t>({0xFFFFFFFF, 1, 500, 1, 500}));
}

// Binary, parity check, DTR and RTS enable, Tx on Xoff set; no CTS/DSR/Xon-Xoff flow, DSR
// sensitivity, error or null character, abort on error; the bits above 0x7FFF kept.
TEST_F(LinkTest, OpenSetsTheFlagWordBitByBit) {
  const std::pair<std::uint32_t, std::uint32_t> rows[] = {
      {0x00000000, 0x00001093}, {0xFFFFFFFF, 0xFFFF9093}, {0xABCD6F6C, 0xABCD1093}};
  for (const auto& [before, after] : rows) {
    SCOPED_TRACE(before);
    RecordingSerialPort fresh;
    PortSettings current{};
    current.flags = before;
    fresh.SetCurrentState(current);
    PhoneLink other({&fresh, &boxes, &sleeper, &clock});
    ASSERT_TRUE(other.Open(u"COM3:", kPortBaudRate));
    EXPECT_EQ(fresh.CurrentState().flags, after);
  }
}

TEST_F(LinkTest, FailuresTheLinkDoesNotNeedStillOpen) {
  for (const PortCall call :
       {PortCall::kGetState, PortCall::kGetTimeouts, PortCall::kEscape, PortCall::kPurge}) {
    RecordingSerialPort fresh;
    fresh.FailCall(call, 31);
    fresh.SetErrorText(31, u"A device attached to the system is not functioning.");
    PhoneLink other({&fresh, &boxes, &sleeper, &clock});
    EXPECT_TRUE(other.Open(u"COM3:", kPortBaudRate)) << static_cast<int>(call);
  }
  EXPECT_TRUE(boxes.Messages().empty());
}

struct OpenFailure {
  const char* name;
  PortCall failing;
  Trace trace;
  std::u16string box;
  std::int32_t opened;
  int closeResult;
};

class OpenFailureTest : public LinkTest, public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(OpenFailureTest, ShowsTheBoxAndReleasesWhatItGot) {
  const OpenFailure& failure = GetParam();
  port.FailCall(failure.failing, 5);
  port.SetErrorText(5, u"Access is denied.\r\n");
  EXPECT_FALSE(link.Open(u"COM3:", kPortBaudRate));
  EXPECT_EQ(port.Trace(), failure.trace);
  ASSERT_EQ(boxes.Messages().size(), 1U);
  EXPECT_EQ(boxes.Messages()[0].text, failure.box);
  EXPECT_EQ(boxes.Messages()[0].caption, u"Error");
  EXPECT_EQ(boxes.Messages()[0].style, kMbOk | kMbIconInformation);
  EXPECT_EQ(link.portHandle, kInvalidPortHandle);
  EXPECT_EQ(link.opened, failure.opened);
  EXPECT_FALSE(port.IsOpen());
  port.ClearTrace();
  EXPECT_EQ(link.Close(), failure.closeResult);
  EXPECT_TRUE(port.Trace().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Paths, OpenFailureTest,
    ::testing::Values(OpenFailure{"Open",
                                  PortCall::kOpen,
                                  {"Open COM3: -> fail"},
                                  u"Unable to open portAccess is denied.\r\n",
                                  0,
                                  1},
                      OpenFailure{"SetState",
                                  PortCall::kSetState,
                                  {"Open COM3:", "GetState 28", "SetState -> fail", "Close"},
                                  u"Unable to set CommStateAccess is denied.\r\n",
                                  1,
                                  0},
                      OpenFailure{"SetTimeouts",
                                  PortCall::kSetTimeouts,
                                  {"Open COM3:", "GetState 28", "SetState", "GetTimeouts",
                                   "SetTimeouts -> fail", "Close"},
                                  u"Unable to set CommTimeoutsAccess is denied.\r\n",
                                  1,
                                  0}),
    [](const auto& param) { return std::string(param.param.name); });

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

TEST_F(LinkTest, UnopenedLinkClosesWithoutACall) {
  EXPECT_EQ(link.Close(), 1);
  EXPECT_EQ(link.InitPhone(), 0);
  EXPECT_TRUE(port.Trace().empty());
}

TEST_F(LinkTest, CloseReleasesOnceAndTheLinkOpensAgain) {
  ASSERT_TRUE(link.Open(u"COM3:", kPortBaudRate));
  port.ClearTrace();
  EXPECT_EQ(link.Close(), 1);
  EXPECT_EQ(link.Close(), 0);
  EXPECT_EQ(port.Trace(), (Trace{"Purge 15", "Close"}));
  EXPECT_EQ(link.portHandle, kInvalidPortHandle);
  port.SetOpenHandle(9);
  port.ClearTrace();
  ASSERT_TRUE(link.Open(u"COM3:", kPortBaudRate));
  EXPECT_EQ(port.Trace(), kOpenTrace);
  EXPECT_EQ(link.Close(), 1);
  EXPECT_FALSE(port.IsOpen());
}

TEST_F(LinkTest, RefusedCloseKeepsTheHandleForTheDestructor) {
  {
    PhoneLink local({&port, &boxes, &sleeper, &clock});
    ASSERT_TRUE(local.Open(u"COM3:", kPortBaudRate));
    port.FailCall(PortCall::kClose, 6, 1);
    EXPECT_EQ(local.Close(), 0);
    EXPECT_EQ(local.portHandle, 7);
    port.ClearTrace();
  }
  EXPECT_EQ(port.Trace(), (Trace{"Purge 15", "Close"}));
  EXPECT_FALSE(port.IsOpen());
}

TEST_F(LinkTest, DestructorShutsDownAReadyPhoneAndReleasesThePort) {
  port.AnswerAfter("", "\r\nOK\r\n");
  {
    PhoneLink local({&port, &boxes, &sleeper, &clock});
    ASSERT_TRUE(local.Open(u"COM3:", kPortBaudRate));
    ASSERT_EQ(local.InitPhone(), 1);
    port.ClearTrace();
  }
  EXPECT_EQ(port.Trace(), (Trace{"Write AT+CNMI=0,0\r", "Read \r\nOK\r\n", "Write ATZ\r",
                                 "Read \r\nOK\r\n", "Purge 15", "Close"}));
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
  std::string_view expected;
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
  EXPECT_EQ(Response(), Wide(GetParam().expected));
  EXPECT_EQ(port.PendingInput(), GetParam().leftOver);
}

using namespace std::string_view_literals;

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadResponseTest,
    ::testing::Values(ReaderCase{"Nothing", "", ""},
                      ReaderCase{"EchoDropped", "ATE0\r\r\nOK\r\n", "OK\r\n"},
                      ReaderCase{"Prompt", "\r\n> ", "> "},
                      ReaderCase{"TwoLines", "\r\n+CMGS: 12\r\n\r\nOK\r\n", "+CMGS: 12\r\nOK\r\n"},
                      ReaderCase{"EmptyLineDoesNotEndIt", "\r\n\r\n\r\nOK\r\n", "\r\nOK\r\n"},
                      ReaderCase{"LoneCrAndLfAreText", "\r\nA\rB\nC\r\n", "A\rB\nC\r\n"},
                      ReaderCase{"NoBreakAtAll", "garbage", "garbage"},
                      ReaderCase{"ZeroByteLeftOut", "\r\nO\0K\r\n"sv, "OK\r\n"},
                      ReaderCase{"HighBytesAreLatin1", "\r\n\xE9\xFF\r\n", "\xE9\xFF\r\n"},
                      ReaderCase{"PauseEndsTheLine", "\r\nOK|\r\n", "OK"},
                      ReaderCase{"QuietLineEndsTheAnswer", "\r\nOK\r\n|\r\nRING\r\n", "OK\r\n", 8}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(LinkTest, FailedReadEndsTheLine) {
  port.QueueInput("\r\nOK\r\n");
  Open();
  port.FailCall(PortCall::kRead, 5, 1, 3);
  // The failed read ends the first line ("O"); the next one starts with "K".
  EXPECT_EQ(Response(), u"O");
}

TEST_F(LinkTest, ReadLineStopsAtItsBreakAndKeepsWhatFits) {
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
  std::array<char16_t, 3> small{u'#', u'#', u'#'};
  port.QueueInput("\r\n0123\r\n");
  link.ReadLine(small);
  EXPECT_EQ(std::u16string_view(small.data(), 3), std::u16string_view(u"01\0", 3));
}

// The answer keeps its first 255 characters, but is read to its end: nothing of it is left on
// the line for the next command.
TEST_F(LinkTest, LongAnswerIsReadToItsEndAndKeepsItsFirst255Characters) {
  port.QueueInput("\r\n" + std::string(300, 'i') + "\r\n\r\nOK\r\n");
  Open();
  EXPECT_EQ(Response(), std::u16string(255, u'i'));
  EXPECT_EQ(port.PendingInput(), 0U);
  EXPECT_EQ(Response(), u"");
}

// A phone that never stops: one endless line, or short lines slowly, each cut off once the
// bound has passed, neither sooner nor much later.
TEST_F(LinkTest, EndlessAnswerStopsAfterTheBound) {
  const std::pair<std::string_view, std::uint64_t> floods[] = {{"x", 1}, {"\r\nRING\r\n", 10}};
  for (const auto& [pattern, step] : floods) {
    SCOPED_TRACE(pattern);
    RecordingSerialPort flooding;
    ManualClock time;
    time.SetStepPerReading(step);
    PhoneLink other({&flooding, &boxes, &sleeper, &time});
    ASSERT_TRUE(other.Open(u"COM3:", kPortBaudRate));
    flooding.SetEndlessInput(pattern);
    std::array<char16_t, kResponseCapacity> response{};
    other.ReadResponse(response);
    const std::uint64_t stoppedAt = time.NowMs();
    EXPECT_GE(stoppedAt, kResponseBoundMs);
    EXPECT_LE(stoppedAt, kResponseBoundMs + 3 * step);
    std::array<char16_t, kLineCapacity> line{};
    other.ReadLine(line);
    EXPECT_LE(time.NowMs(), stoppedAt + kResponseBoundMs + 3 * step);
  }
}

}  // namespace
}  // namespace brindle
