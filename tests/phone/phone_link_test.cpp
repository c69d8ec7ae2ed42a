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

}  // namespace
}  // namespace brindle
