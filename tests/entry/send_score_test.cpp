// The send sequence run from the dialog: the line each stage shows, the result box after each
// way a send can fail, and the success path.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "codec/destination.h"
#include "codec/pdu_reader.h"
#include "tests/entry/entry_fixture.h"

namespace brindle {
namespace {

using Lines = std::vector<std::u16string>;

// The result box at each repaint: empty at the start and as "Send SMS" and then the send read
// the boxes back, then the lines of `stages`.
Lines Shown(const Lines& stages) {
  Lines shown = {u"", u"", u""};
  shown.insert(shown.end(), stages.begin(), stages.end());
  return shown;
}

const std::u16string kInitLines = kOpening + kInitializing;
const std::u16string kAllLines = kInitLines + kPreparing + kSending;

struct FailureCase {
  const char* name;
  std::u16string handle;
  std::int32_t gameId;
  std::int32_t score;
  std::function<void(RecordingSerialPort&)> phone;
  Lines stages;
  bool portUsed;
  std::size_t writes;
};

void Silent(RecordingSerialPort& /*port*/) {}

class SendFailureTest : public EntryTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SendFailureTest, ShowsEachStageThenTheFailureReleasesThePortAndStaysOpen) {
  const FailureCase& c = GetParam();
  c.phone(port);
  host.QueueRun({Action::Type(IDC_HANDLE, c.handle), Action::Press(IDC_SEND)});
  EXPECT_EQ(Run(u"Comet Quarry", c.gameId, c.score), RunOutcome::kFailed);
  EXPECT_EQ(host.log.Repaints(), Shown(c.stages));
  EXPECT_EQ(host.runs[0].result, kScriptRanOut) << "a failed send leaves the dialog open";
  EXPECT_EQ(port.Trace().empty(), !c.portUsed);
  EXPECT_EQ(port.Writes().size(), c.writes);
  EXPECT_FALSE(port.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    EachFailure, SendFailureTest,
    ::testing::Values(
        FailureCase{"OneCharacterHandle", u"A", 42, 1234, Silent, {kHandleTooShort}, false, 0},
        FailureCase{"GameIdTooLarge", u"Ann", 100000000, 1234, Silent, {kPrepareFailed}, false, 0},
        FailureCase{"ScoreTooLarge", u"Ann", 42, 100000000, Silent, {kPrepareFailed}, false, 0},
        FailureCase{"OpenRefused",
                    u"Ann",
                    42,
                    1234,
                    [](RecordingSerialPort& port) { port.FailCall(PortCall::kOpen, 2); },
                    {kOpening, kOpenFailed},
                    true,
                    0},
        FailureCase{
            "PhoneSilent", u"Ann", 42, 1234, Silent, {kOpening, kInitLines, kInitFailed}, true, 2},
        // ATZ, ATE0, AT+CMGF, AT+CMGS, then the shutdown's two; never the PDU.
        FailureCase{"NoPrompt",
                    u"Ann",
                    42,
                    1234,
                    [](RecordingSerialPort& port) { port.AnswerAfter("", "\r\nOK\r\n"); },
                    {kOpening, kInitLines, kInitLines + kPreparing, kAllLines, kSendFailed},
                    true,
                    6}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(EntryTest, OpenFailureShowsTheSystemBoxBetweenTheStageAndTheFailureLine) {
  port.FailCall(PortCall::kOpen, 2);
  port.SetErrorText(2, u"The system cannot find the file specified.");
  host.QueueRun({Action::Type(IDC_HANDLE, u"Ann"), Action::Press(IDC_SEND)});
  Run();
  const std::vector<DialogEvent>& events = host.log.events;
  ASSERT_EQ(events.size(), 6U);
  EXPECT_EQ(events[3].text, kOpening);
  EXPECT_EQ(events[4].kind, DialogEvent::Kind::kMessageBox);
  EXPECT_EQ(events[4].text, u"Unable to open portThe system cannot find the file specified.");
  EXPECT_EQ(events[4].caption, u"Error");
  EXPECT_EQ(events[4].style, kMbOk | kMbIconInformation);
  EXPECT_FALSE(events[4].owned);
  EXPECT_EQ(events[5].text, kOpenFailed);
}

TEST_F(EntryTest, SuccessShowsTheBoxWhileThePortIsOpenThenEndsAndShutsDown) {
  port.AnswerLikeAPhone();
  std::size_t writesAtBox = 0;
  bool openAtBox = false;
  host.log.onMessageBox = [&] {
    writesAtBox = port.Writes().size();
    openAtBox = port.IsOpen();
  };
  host.QueueRun(
      {Action::Type(IDC_HANDLE, u"Ann"), Action::Press(IDC_SEND), Action::Press(IDCANCEL)});
  EXPECT_EQ(Run(), RunOutcome::kSent);
  EXPECT_EQ(host.log.Repaints(),
            Shown({kOpening, kInitLines, kInitLines + kPreparing, kAllLines, kAllLines}));
  const std::vector<DialogEvent>& events = host.log.events;
  ASSERT_EQ(events.size(), 10U);
  EXPECT_EQ(events[7].kind, DialogEvent::Kind::kMessageBox);
  EXPECT_EQ(events[7].text, u"Your highscore has been sent successfully!");
  EXPECT_EQ(events[7].caption, u"Success!");
  EXPECT_EQ(events[7].style, kMbOk);
  EXPECT_TRUE(events[7].owned);
  EXPECT_EQ(events[8].kind, DialogEvent::Kind::kEnd);
  EXPECT_EQ(events[8].result, 0);
  EXPECT_EQ(events[9].kind, DialogEvent::Kind::kRepaint);
  EXPECT_TRUE(openAtBox);
  EXPECT_EQ(writesAtBox, 5U) << "the shutdown commands come after the box";
  EXPECT_EQ(port.Writes().size(), 7U);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(host.runs[0].commandResults.size(), 1U) << "the dialog ended with the send";
}

TEST_F(EntryTest, SentMessageCarriesTheFourFieldsToTheServiceNumber) {
  port.AnswerLikeAPhone();
  host.QueueRun({Action::Type(IDC_HANDLE, u"Zo\u00EB-7"), Action::Press(IDC_SEND)});
  ASSERT_EQ(Run(u"Comet Quarry", 99999999, INT32_MIN), RunOutcome::kSent);
  ASSERT_GE(port.Writes().size(), 5U);
  const std::string& sent = port.Writes()[4];
  ASSERT_EQ(sent.back(), '\x1a');
  PduReading reading;
  ASSERT_EQ(ReadPdu(sent.substr(0, sent.size() - 1), reading), PduError::kNone) << sent;
  std::string number;
  for (const char16_t c : kDestinationNumber) {
    number += static_cast<char>(c);
  }
  EXPECT_EQ(std::string(reading.number), number);
  EXPECT_EQ(reading.fields.gameId, 99999999);
  EXPECT_EQ(reading.fields.fixed, 1);
  EXPECT_EQ(reading.fields.score, INT32_MIN);
  EXPECT_EQ(std::string(reading.fields.handle, reading.fields.handleLength), "Zo\xEB-7");
}

TEST_F(EntryTest, SecondPressAfterAFailureStartsAgainFromOpening) {
  port.FailCall(PortCall::kOpen, 2, 1);
  port.AnswerLikeAPhone();
  host.QueueRun({Action::Type(IDC_HANDLE, u"Al"), Action::Press(IDC_SEND),
                 Action::Type(IDC_RESULT, u" typed"), Action::Press(IDC_SEND)});
  EXPECT_EQ(Run(), RunOutcome::kSent);
  const std::u16string typed = kOpenFailed + u" typed";
  EXPECT_EQ(host.log.Repaints(), Shown({kOpening, kOpenFailed, typed, typed, kOpening, kInitLines,
                                        kInitLines + kPreparing, kAllLines, kAllLines}));
}

}  // namespace
}  // namespace brindle
