// The send sequence run from the dialog: the line each stage shows, the result box after each
// way a send can fail, and the success path with the message it sent.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "codec/destination.h"
#include "codec/score_reader.h"
#include "tests/entry/entry_fixture.h"

namespace brindle {
namespace {

using Lines = std::vector<std::u16string>;

// Empty at the start and as "Send SMS" and then the send read the boxes back, then `stages`.
Lines AfterPress(const Lines& stages) {
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
  std::size_t writes;
};

void Silent(RecordingSerialPort& /*port*/) {}

class SendFailureTest : public EntryTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SendFailureTest, ShowsEachStageThenTheFailureReleasesThePortAndStaysOpen) {
  const FailureCase& c = GetParam();
  c.phone(port);
  host.QueueRun({Action::Type(IDC_HANDLE, c.handle), Action::Press(IDC_SEND)});
  EXPECT_EQ(Run(u"Comet Quarry", c.gameId, c.score), RunOutcome::kFailed);
  EXPECT_EQ(Shown(host.log), AfterPress(c.stages)) << "and the dialog stays open";
  EXPECT_EQ(port.Trace().empty(), c.stages[0] != kOpening) << "the port untouched before";
  EXPECT_EQ(port.Writes().size(), c.writes);
  EXPECT_FALSE(port.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    EachFailure, SendFailureTest,
    ::testing::Values(
        FailureCase{"OneCharacterHandle", u"A", 42, 1234, Silent, {kHandleTooShort}, 0},
        FailureCase{"GameIdTooLarge", u"Ann", 100000000, 1234, Silent, {kPrepareFailed}, 0},
        FailureCase{
            "OpenRefused",
            u"Ann",
            42,
            1234,
            [](RecordingSerialPort& port) {
              port.FailCall(PortCall::kOpen, 2);
              port.SetErrorText(2, u"The system cannot find the file specified.");
            },
            {kOpening, u"box Error: Unable to open portThe system cannot find the file specified.",
             kOpenFailed},
            0},
        FailureCase{
            "PhoneSilent", u"Ann", 42, 1234, Silent, {kOpening, kInitLines, kInitFailed}, 2},
        // ATZ, ATE0, AT+CMGF, AT+CMGS, then the shutdown's two; never the PDU.
        FailureCase{"NoPrompt",
                    u"Ann",
                    42,
                    1234,
                    [](RecordingSerialPort& port) { port.AnswerAfter("", "\r\nOK\r\n"); },
                    {kOpening, kInitLines, kInitLines + kPreparing, kAllLines, kSendFailed},
                    6}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(EntryTest, SuccessSendsTheFieldsShowsTheBoxWhileThePortIsOpenThenEndsAndShutsDown) {
  port.AnswerLikeAPhone();
  std::size_t writesAtBox = 0;
  bool openAtBox = false;
  host.log.onMessageBox = [&] {
    writesAtBox = port.Writes().size();
    openAtBox = port.IsOpen();
  };
  host.QueueRun(
      {Action::Type(IDC_HANDLE, u"Zo\u00EB-7"), Action::Press(IDC_SEND), Action::Press(IDCANCEL)});
  EXPECT_EQ(Run(u"Comet Quarry", 99999999, INT32_MIN), RunOutcome::kSent);
  EXPECT_EQ(Shown(host.log),
            AfterPress({kOpening, kInitLines, kInitLines + kPreparing, kAllLines,
                        u"owned box Success!: Your highscore has been sent successfully!", u"end",
                        kAllLines}));
  EXPECT_EQ(host.log.events[7].style, kMbOk);
  EXPECT_TRUE(openAtBox);
  EXPECT_EQ(writesAtBox, 5U) << "the shutdown commands come after the box";
  EXPECT_EQ(port.Writes().size(), 7U);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(host.runs[0].commandResults.size(), 1U) << "the dialog ended with the send";

  // The message carries the four fields to the service number.
  const std::string& sent = port.Writes().at(4);
  ASSERT_EQ(sent.back(), '\x1a');
  PduReading reading;
  ASSERT_EQ(ReadScorePdu(sent.substr(0, sent.size() - 1), reading), PduError::kNone) << sent;
  EXPECT_EQ(std::u16string(kDestinationNumber),
            std::u16string(reading.pdu.address.number.data(),
                           reading.pdu.address.number.data() +
                               std::strlen(reading.pdu.address.number.data())));
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
  const Lines shown = Shown(host.log);
  EXPECT_EQ(Lines(shown.begin(), shown.begin() + 9),
            AfterPress({kOpening, kOpenFailed, typed, typed, kOpening, kInitLines}));
}

}  // namespace
}  // namespace brindle
