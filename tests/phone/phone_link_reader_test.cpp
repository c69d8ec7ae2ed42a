#include <array>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "tests/phone/link_fixture.h"

namespace brindle {
namespace {

using namespace std::string_view_literals;

std::u16string Wide(std::string_view text) {
  std::u16string wide(text.size(), u'\0');
  WidenText(text, wide);
  return wide;
}

// The phone's bytes; '|' stands for a read that times out before the rest arrives.
void Script(RecordingSerialPort& port, std::string_view bytes) {
  for (const char c : bytes) {
    if (c == '|') {
      port.QueueGap();
    } else {
      port.QueueInput(std::string_view(&c, 1));
    }
  }
}

struct ReaderCase {
  const char* name;
  std::string_view input;
  std::string_view expected;
  std::string_view leftOver = {};
};

void PrintTo(const ReaderCase& value, std::ostream* os) { *os << value.name; }

class ReadResponseTest : public LinkTest, public ::testing::WithParamInterface<ReaderCase> {};

TEST_P(ReadResponseTest, CollectsTheAnswer) {
  const ReaderCase& c = GetParam();
  Script(port, c.input);
  PhoneLink link(Services());
  std::array<char16_t, kResponseCapacity> response{};
  response.fill(u'#');
  EXPECT_EQ(link.ReadResponse(response), 1);
  EXPECT_EQ(TerminatedView(std::span<const char16_t>(response)), Wide(c.expected));
  EXPECT_EQ(port.PendingInput(), c.leftOver.size());
}

const std::vector<ReaderCase> kResponses = {
    {"Ok", "\r\nOK\r\n", "OK\r\n"},
    {"EchoDropped", "ATE0\r\r\nOK\r\n", "OK\r\n"},
    {"Prompt", "\r\n> ", "> "},
    {"Nothing", "", ""},
    {"TwoLines", "\r\n+CMGS: 12\r\n\r\nOK\r\n", "+CMGS: 12\r\nOK\r\n"},
    {"LineWithoutItsOwnBreakIsDropped", "\r\nA\r\nB\r\n", "A\r\n"},
    {"EmptyFramedLineDoesNotEnd", "\r\n\r\n\r\nOK\r\n", "\r\nOK\r\n"},
    {"LoneCarriageReturnIsText", "\r\nA\rB\r\n", "A\rB\r\n"},
    {"LoneLineFeedIsText", "\r\nA\nB\r\n", "A\nB\r\n"},
    {"LineFeedFirstIsText", "\n\r\nOK\r\n", "OK\r\n"},
    {"NoBreakAtAll", "garbage", "garbage"},
    {"ZeroByteLeftOut", "\r\nO\0K\r\n"sv, "OK\r\n"},
    {"ZeroByteBetweenCrAndLfBreaksNothing", "\r\nA\r\0\nB\r\n"sv, "A\r\nB\r\n"},
    {"PauseEndsTheLine", "\r\nOK|\r\n", "OK"},
    {"PauseAfterTheAnswerLeavesTheRest", "\r\nOK\r\n|\r\nRING\r\n", "OK\r\n", "\r\nRING\r\n"},
    {"EchoWithoutAnswer", "AT+CMGS=19\r", "AT+CMGS=19\r"},
    {"HighBytesWidenToLatin1", "\r\n\xE9\xFF\r\n", "\xE9\xFF\r\n"},
};

INSTANTIATE_TEST_SUITE_P(Cases, ReadResponseTest, ::testing::ValuesIn(kResponses),
                         [](const auto& param) { return std::string(param.param.name); });

struct LineCase {
  const char* name;
  std::string_view input;
  std::string_view line;
  std::size_t leftOver;
};

void PrintTo(const LineCase& value, std::ostream* os) { *os << value.name; }

class ReadLineTest : public LinkTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(ReadLineTest, CollectsOneLine) {
  const LineCase& c = GetParam();
  Script(port, c.input);
  PhoneLink link(Services());
  std::array<char16_t, kLineCapacity> line{};
  line.fill(u'#');
  EXPECT_EQ(link.ReadLine(line), 1);
  EXPECT_EQ(TerminatedView(std::span<const char16_t>(line)), Wide(c.line));
  EXPECT_EQ(port.PendingInput(), c.leftOver);
}

const std::vector<LineCase> kLines = {
    {"StopsAtTheSecondBreak", "\r\nOK\r\nrest", "OK\r\n", 4},
    {"EmptyLineAfterFirstBreak", "\r\n", "", 0},
    {"SilentPort", "", "", 0},
    {"PauseEndsIt", "\r\nO|K\r\n", "O", 3},
    {"EchoOnly", "ATZ\r", "ATZ\r", 0},
};

INSTANTIATE_TEST_SUITE_P(Cases, ReadLineTest, ::testing::ValuesIn(kLines),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(LinkTest, ReadFailureEndsTheLineLikeATimeOut) {
  port.QueueInput("\r\nOK\r\n");
  port.FailCall(PortCall::kRead, 5, 1, 3);
  PhoneLink link(Services());
  std::array<char16_t, kResponseCapacity> response{};
  EXPECT_EQ(link.ReadResponse(response), 1);
  // The failed read ends the first line ("O"); the next one starts with "K".
  EXPECT_EQ(TerminatedView(std::span<const char16_t>(response)), u"O");
  EXPECT_EQ(port.Trace(),
            (std::vector<std::string>{"Read \"\\r\\nO\" -> fail", "Read \"K\\r\\n\""}));
}

TEST_F(LinkTest, EveryAnswerEndsWithAReadThatBringsNothing) {
  port.QueueInput("\r\nOK\r\n");
  PhoneLink link(Services());
  std::array<char16_t, kResponseCapacity> response{};
  link.ReadResponse(response);
  ASSERT_FALSE(port.Calls().empty());
  EXPECT_EQ(port.Calls().size(), 7U);
  EXPECT_EQ(port.Calls().back().call, PortCall::kRead);
  EXPECT_TRUE(port.Calls().back().bytes.empty());
  for (const PortCallRecord& call : port.Calls()) {
    EXPECT_EQ(call.value, 1U);
  }
}

// Lines longer than the 511 bytes a line holds: the excess is dropped, the line still ends at
// its own break.
TEST_F(LinkTest, LongLineKeepsItsFirst511Bytes) {
  const std::string body(600, 'a');
  port.QueueInput("\r\n" + body + "\r\nnext");
  PhoneLink link(Services());
  std::array<char16_t, kLineCapacity + 8> line{};
  line.fill(u'#');
  link.ReadLine(line);
  EXPECT_EQ(TerminatedView(std::span<const char16_t>(line)), std::u16string(511, u'a'));
  EXPECT_EQ(line[511], u'\0');
  EXPECT_EQ(line[512], u'#');
  EXPECT_EQ(port.PendingInput(), 4U);
}

TEST_F(LinkTest, LongEchoBeforeTheFirstBreakIsDropped) {
  port.QueueInput(std::string(2000, 'e') + "\r\nOK\r\n");
  PhoneLink link(Services());
  std::array<char16_t, kResponseCapacity> response{};
  link.ReadResponse(response);
  EXPECT_EQ(TerminatedView(std::span<const char16_t>(response)), u"OK\r\n");
}

TEST_F(LinkTest, LineIsCutToTheCallersBuffer) {
  port.QueueInput("\r\n0123456789\r\n");
  PhoneLink link(Services());
  std::array<char16_t, 6> line{};
  line.fill(u'#');
  link.ReadLine(line);
  EXPECT_EQ(std::u16string_view(line.data(), line.size()), std::u16string_view(u"01234\0", 6));
}

// The answer keeps its first 255 characters, but is read to its end: nothing of it is left on
// the line for the next command.
TEST_F(LinkTest, LongAnswerIsReadToItsEndAndKeepsItsFirst255Characters) {
  const std::string info(300, 'i');
  port.QueueInput("\r\n" + info + "\r\n\r\nOK\r\n");
  PhoneLink link(Services());
  std::array<char16_t, kResponseCapacity> response{};
  EXPECT_EQ(link.ReadResponse(response), 1);
  EXPECT_EQ(TerminatedView(std::span<const char16_t>(response)), std::u16string(255, u'i'));
  EXPECT_EQ(link.ReadResponse(response), 1);
  EXPECT_EQ(TerminatedView(std::span<const char16_t>(response)), u"");
}

TEST_F(LinkTest, EndlessLineStopsAfterTheBound) {
  port.SetEndlessInput("x");
  clock.SetStepPerReading(1);
  PhoneLink link(Services());
  std::array<char16_t, kResponseCapacity> response{};
  EXPECT_EQ(link.ReadResponse(response), 1);
  EXPECT_EQ(TerminatedView(std::span<const char16_t>(response)), std::u16string(255, u'x'));
  // One clock reading per byte: the bound of 4000 ms is reached after 4000 bytes or so.
  EXPECT_GE(port.Calls().size(), 3990U);
  EXPECT_LE(port.Calls().size(), 4010U);
}

TEST_F(LinkTest, SlowFloodOfShortLinesStopsAfterTheBound) {
  // Every line takes 100 ms (ten readings of 10 ms); the bound ends it long before the
  // response fills.
  port.SetEndlessInput("\r\nR\r\n");
  clock.SetStepPerReading(10);
  PhoneLink link(Services());
  std::array<char16_t, kResponseCapacity> response{};
  link.ReadResponse(response);
  const std::u16string_view text = TerminatedView(std::span<const char16_t>(response));
  EXPECT_LT(text.size(), 254U);
  EXPECT_GT(text.size(), 100U);
  EXPECT_LE(clock.NowMs(), kResponseBoundMs + 200);
}

TEST_F(LinkTest, AnswerJustInsideTheBoundIsWhole) {
  port.QueueInput("\r\nA\r\n\r\nB\r\n\r\nOK\r\n");
  clock.SetStepPerReading(100);
  PhoneLink link(Services());
  std::array<char16_t, kResponseCapacity> response{};
  link.ReadResponse(response);
  EXPECT_EQ(TerminatedView(std::span<const char16_t>(response)), u"A\r\nB\r\nOK\r\n");
}

TEST_F(LinkTest, EndlessLineThroughReadLineAloneIsBoundedToo) {
  port.SetEndlessInput("garbage");
  clock.SetStepPerReading(1);
  PhoneLink link(Services());
  std::array<char16_t, kLineCapacity> line{};
  link.ReadLine(line);
  EXPECT_EQ(TerminatedView(std::span<const char16_t>(line)).size(), 511U);
  EXPECT_LE(port.Calls().size(), 4010U);
}

struct WriteCase {
  const char* name;
  std::u16string_view command;
  std::string_view bytes;
};

void PrintTo(const WriteCase& value, std::ostream* os) { *os << value.name; }

class WriteCommandTest : public LinkTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteCommandTest, WritesEachCharacterAsOneByteWithoutTerminator) {
  PhoneLink link(Services());
  EXPECT_TRUE(link.WriteCommand(GetParam().command));
  ASSERT_EQ(port.Calls().size(), 1U);
  EXPECT_EQ(port.Calls()[0].value, GetParam().bytes.size());
  EXPECT_EQ(port.Writes(), std::vector<std::string>{std::string(GetParam().bytes)});
}

INSTANTIATE_TEST_SUITE_P(Commands, WriteCommandTest,
                         ::testing::Values(WriteCase{"Reset", u"ATZ\r", "ATZ\r"},
                                           WriteCase{"Pdu", u"0011\x1a", "0011\x1a"},
                                           WriteCase{"Latin1", u"\u00E9\u00FF", "\xE9\xFF"},
                                           WriteCase{"BeyondLatin1", u"a\u20ACb", "a?b"},
                                           WriteCase{"Empty", u"", ""}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(LinkTest, ShortWriteFails) {
  port.LimitWrites(3);
  PhoneLink link(Services());
  EXPECT_FALSE(link.WriteCommand(u"ATE0\r"));
  EXPECT_EQ(port.Writes(), std::vector<std::string>{"ATE"});
  EXPECT_EQ(port.Calls().size(), 1U);
}

TEST_F(LinkTest, FailedWriteFails) {
  port.FailCall(PortCall::kWrite, 1);
  PhoneLink link(Services());
  EXPECT_FALSE(link.WriteCommand(u"ATE0\r"));
}

TEST_F(LinkTest, CommandOf256CharactersIsWrittenLongerIsRefused) {
  PhoneLink link(Services());
  EXPECT_TRUE(link.WriteCommand(std::u16string(256, u'A')));
  EXPECT_EQ(port.Writes().at(0), std::string(256, 'A'));
  EXPECT_FALSE(link.WriteCommand(std::u16string(257, u'A')));
  EXPECT_EQ(port.Calls().size(), 1U);
}

}  // namespace
}  // namespace brindle
