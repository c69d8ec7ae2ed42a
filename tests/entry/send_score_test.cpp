// The send sequence run from the dialog: the lines each stage shows, in order, the result box
// after each way a send can fail, and the success path.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "codec/destination.h"
#include "codec/pdu_reader.h"
#include "codec/submit_pdu.h"
#include "tests/entry/entry_fixture.h"

namespace brindle {
namespace {

using Action = PlayerAction;

// What the result box shows before the first line of a run: at the dialog's start, and when
// "Send SMS" and then the send sequence read the boxes back.
const std::vector<std::u16string> kBeforeRun = {u"", u"", u""};

std::vector<std::u16string> AfterStart(std::vector<std::u16string> lines) {
  std::vector<std::u16string> shown = kBeforeRun;
  shown.insert(shown.end(), lines.begin(), lines.end());
  return shown;
}

struct FailureCase {
  const char* name;
  std::u16string handle;
  std::int32_t gameId;
  std::int32_t score;
  std::function<void(RecordingSerialPort&)> phone;
  std::vector<std::u16string> shown;  // after kBeforeRun
  std::vector<std::string> writes;
};

void Silent(RecordingSerialPort& /*port*/) {}
void AnswersOk(RecordingSerialPort& port) { port.AnswerAfter("", "\r\nOK\r\n"); }
void AnswersError(RecordingSerialPort& port) { port.AnswerAfter("", "\r\nERROR\r\n"); }
void Prompts(RecordingSerialPort& port) {
  port.AnswerAfter("AT+CMGS", "\r\n> ");
  port.AnswerAfter("", "\r\nOK\r\n");
}
void OpenFails(RecordingSerialPort& port) { port.FailCall(PortCall::kOpen, 2); }
void SetStateFails(RecordingSerialPort& port) { port.FailCall(PortCall::kSetState, 87); }

const std::u16string kInitLines = Join({kOpening, kInitializing});
const std::u16string kAllLines = Join({kOpening, kInitializing, kPreparing, kSending});
const std::vector<std::string> kInitWrites = {"ATZ\r", "ATE0\r"};

// Game id 42, score 1234 and handle "ACE" make a payload of 18 bytes.
std::string CmgsFor18BytePayload() {
  std::string number;
  for (const char16_t c : kDestinationNumber) {
    number += static_cast<char>(c);
  }
  return "AT+CMGS=" + std::to_string(SubmitPduLength(number, 18) / 2 - 1) + "\r";
}

const FailureCase kFailures[] = {
    {"EmptyHandle", u"", 42, 1234, Prompts, {std::u16string(kHandleTooShort)}, {}},
    {"OneCharacterHandle", u"A", 42, 1234, Prompts, {std::u16string(kHandleTooShort)}, {}},
    {"OpenRefused",
     u"ACE",
     42,
     1234,
     OpenFails,
     {std::u16string(kOpening), std::u16string(kOpenFailed)},
     {}},
    {"SettingsRefused",
     u"ACE",
     42,
     1234,
     SetStateFails,
     {std::u16string(kOpening), std::u16string(kOpenFailed)},
     {}},
    {"PhoneSilent",
     u"ACE",
     42,
     1234,
     Silent,
     {std::u16string(kOpening), kInitLines, std::u16string(kInitFailed)},
     kInitWrites},
    {"PhoneAnswersError",
     u"ACE",
     42,
     1234,
     AnswersError,
     {std::u16string(kOpening), kInitLines, std::u16string(kInitFailed)},
     kInitWrites},
    {"NoPrompt",
     u"ACE",
     42,
     1234,
     AnswersOk,
     {std::u16string(kOpening), kInitLines, Join({kInitLines, kPreparing}), kAllLines,
      std::u16string(kSendFailed)},
     {"ATZ\r", "ATE0\r", "AT+CMGF=0\r", CmgsFor18BytePayload(), "AT+CNMI=0,0\r", "ATZ\r"}},
    {"GameIdTooLarge", u"ACE", 100000000, 1234, Prompts, {std::u16string(kPrepareFailed)}, {}},
    {"ScoreTooLarge", u"ACE", 42, 100000000, Prompts, {std::u16string(kPrepareFailed)}, {}},
    {"ScoreAndGameIdTooLarge",
     u"ACE",
     INT32_MAX,
     INT32_MAX,
     Prompts,
     {std::u16string(kPrepareFailed)},
     {}},
};

class SendFailureTest : public EntryTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SendFailureTest, ShowsEachStageThenTheFailureAndStaysOpen) {
  const FailureCase& c = GetParam();
  c.phone(port);
  host.QueueRun({Action::Type(IDC_HANDLE, c.handle), Action::Press(IDC_SEND)});

  EXPECT_EQ(Run(u"Quarry", c.gameId, c.score), RunOutcome::kFailed);

  EXPECT_EQ(Shown(), AfterStart(c.shown));
  ASSERT_EQ(host.runs.size(), 1U);
  EXPECT_EQ(host.runs[0].result, kScriptRanOut) << "a failed send leaves the dialog open";
  EXPECT_EQ(host.runs[0].finalTexts[IDC_RESULT], c.shown.back());
  EXPECT_EQ(port.Writes(), c.writes);
  EXPECT_EQ(port.OpenHandles(), 0) << "the port is released after every failure";
  EXPECT_TRUE(std::none_of(host.log.events.begin(), host.log.events.end(),
                           [](const DialogEvent& e) { return e.kind == DialogEvent::Kind::kEnd; }));
}

INSTANTIATE_TEST_SUITE_P(EachFailure, SendFailureTest, ::testing::ValuesIn(kFailures),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(EntryTest, RefusedHandleAndTooLargeNumbersLeaveThePortUntouched) {
  for (const std::int32_t gameId : {42, 100000000}) {
    RecordingSerialPort untouched;
    ScriptedDialogHost dialogs;
    dialogs.QueueRun({Action::Type(IDC_HANDLE, gameId == 42 ? u"A" : u"ACE"),
                      Action::Press(IDC_SEND), Action::Press(IDCANCEL)});
    RunHighScore(u"Quarry", gameId, 1, nullptr, Platform{&dialogs, &untouched, &sleeper});
    EXPECT_TRUE(untouched.Calls().empty()) << gameId;
  }
  EXPECT_TRUE(sleeper.Pauses().empty());
}

TEST_F(EntryTest, NumbersAtTheFieldLimitAreSent) {
  PhoneAnswersEverything();
  host.QueueRun({Action::Type(IDC_HANDLE, u"ACE"), Action::Press(IDC_SEND)});
  Run(u"Quarry", 99999999, -2147483647 - 1);
  ASSERT_EQ(host.runs.size(), 1U);
  EXPECT_EQ(host.runs[0].result, 0);
}

TEST_F(EntryTest, OpenFailureShowsTheSystemBoxBeforeTheFailureLine) {
  port.FailCall(PortCall::kOpen, 2);
  port.SetErrorText(2, u"The system cannot find the file specified.");
  host.QueueRun({Action::Type(IDC_HANDLE, u"ACE"), Action::Press(IDC_SEND)});
  Run();

  const auto& events = host.log.events;
  const auto box = std::find_if(events.begin(), events.end(), [](const DialogEvent& e) {
    return e.kind == DialogEvent::Kind::kMessageBox;
  });
  ASSERT_NE(box, events.end());
  EXPECT_EQ(box->text, u"Unable to open portThe system cannot find the file specified.");
  EXPECT_EQ(box->caption, u"Error");
  EXPECT_EQ(box->value, 0x40U);
  EXPECT_FALSE(box->owned);
  EXPECT_EQ(host.Boxes().size(), 1U);
  const auto line = std::find_if(events.begin(), events.end(), [](const DialogEvent& e) {
    return e.kind == DialogEvent::Kind::kSetItemText && e.text == kOpenFailed;
  });
  const auto opening = std::find_if(events.begin(), events.end(), [](const DialogEvent& e) {
    return e.kind == DialogEvent::Kind::kRepaint && e.text == kOpening;
  });
  EXPECT_LT(opening, box);
  EXPECT_LT(box, line);
}

TEST_F(EntryTest, SuccessShowsTheBoxWhileOpenThenEndsAndClosesThePort) {
  PhoneAnswersEverything();
  std::size_t writesAtBox = 0;
  int openAtBox = -1;
  bool endedAtBox = true;
  host.log.onMessageBox = [&](const DialogEvent&) {
    writesAtBox = port.Writes().size();
    openAtBox = port.OpenHandles();
    endedAtBox =
        std::any_of(host.log.events.begin(), host.log.events.end(),
                    [](const DialogEvent& e) { return e.kind == DialogEvent::Kind::kEnd; });
  };
  host.QueueRun(
      {Action::Type(IDC_HANDLE, u"ACE"), Action::Press(IDC_SEND), Action::Press(IDCANCEL)});

  EXPECT_EQ(Run(u"Quarry", 42, 1234), RunOutcome::kSent);

  EXPECT_EQ(Shown(), AfterStart({std::u16string(kOpening), kInitLines,
                                 Join({kInitLines, kPreparing}), kAllLines, kAllLines}));
  ASSERT_EQ(host.Boxes().size(), 1U);
  const DialogEvent box = host.Boxes()[0];
  EXPECT_EQ(box.text, u"Your highscore has been sent successfully!");
  EXPECT_EQ(box.caption, u"Success!");
  EXPECT_EQ(box.value, 0U);
  EXPECT_TRUE(box.owned);
  EXPECT_FALSE(endedAtBox);
  EXPECT_EQ(openAtBox, 1) << "the port stays open while the box is shown";
  EXPECT_EQ(writesAtBox, 5U) << "the shutdown commands come after the box";

  ASSERT_EQ(host.runs.size(), 1U);
  EXPECT_EQ(host.runs[0].result, 0);
  EXPECT_EQ(host.runs[0].commandResults, (std::vector<std::intptr_t>{1}))
      << "the Cancel after the successful send is never played";
  EXPECT_EQ(port.OpenHandles(), 0);
  ASSERT_EQ(port.Writes().size(), 7U);
  EXPECT_EQ(port.Writes()[5], "AT+CNMI=0,0\r");
  EXPECT_EQ(port.Writes()[6], "ATZ\r");
  EXPECT_EQ(sleeper.Pauses(), (std::vector<std::uint32_t>{1500, 1500, 1500, 2000, 5000}));

  // The last events: the box, End(0), the request written back once more.
  const auto& events = host.log.events;
  const auto boxAt = std::find_if(events.begin(), events.end(), [](const DialogEvent& e) {
    return e.kind == DialogEvent::Kind::kMessageBox;
  });
  ASSERT_NE(boxAt, events.end());
  ASSERT_NE(boxAt + 1, events.end());
  EXPECT_EQ((boxAt + 1)->kind, DialogEvent::Kind::kEnd);
  EXPECT_EQ((boxAt + 1)->result, 0);
  EXPECT_EQ(events.back().kind, DialogEvent::Kind::kRepaint);
}

TEST_F(EntryTest, SentMessageCarriesTheFourFieldsToTheServiceNumber) {
  PhoneAnswersEverything();
  host.QueueRun({Action::Type(IDC_HANDLE, u"Zoë-7"), Action::Press(IDC_SEND)});
  Run(u"Quarry", 31337, -5);

  const std::vector<std::string> writes = port.Writes();
  ASSERT_GE(writes.size(), 5U);
  const std::string& sent = writes[4];
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.back(), '\x1a');
  const std::string pdu = sent.substr(0, sent.size() - 1);
  EXPECT_EQ(writes[3], "AT+CMGS=" + std::to_string(pdu.size() / 2 - 1) + "\r");

  PduReading reading;
  ASSERT_EQ(ReadPdu(pdu, reading), PduError::kNone) << pdu;
  std::string number;
  for (const char16_t c : kDestinationNumber) {
    number += static_cast<char>(c);
  }
  EXPECT_EQ(std::string(reading.number), number);
  EXPECT_EQ(reading.fields.gameId, 31337);
  EXPECT_EQ(reading.fields.fixed, 1);
  EXPECT_EQ(reading.fields.score, -5);
  EXPECT_EQ(std::string(reading.fields.handle, reading.fields.handleLength), "Zo\xEB-7");
}

TEST_F(EntryTest, SecondPressAfterFailureStartsAgainFromOpening) {
  port.FailCall(PortCall::kOpen, 2, 1);
  PhoneAnswersEverything();
  host.QueueRun({Action::Type(IDC_HANDLE, u"AC"), Action::Press(IDC_SEND),
                 Action::Type(IDC_RESULT, u" typed"), Action::Press(IDC_SEND)});
  Run();

  const std::u16string failedAndTyped = Join({kOpenFailed, u" typed"});
  EXPECT_EQ(Shown(),
            AfterStart({std::u16string(kOpening), std::u16string(kOpenFailed), failedAndTyped,
                        failedAndTyped, std::u16string(kOpening), kInitLines,
                        Join({kInitLines, kPreparing}), kAllLines, kAllLines}));
  ASSERT_EQ(host.runs.size(), 1U);
  EXPECT_EQ(host.runs[0].result, 0);
  EXPECT_EQ(host.runs[0].finalTexts[IDC_HANDLE], u"AC");
}

TEST_F(EntryTest, FailedSendKeepsTheHandleForTheNextPress) {
  host.QueueRun({Action::Type(IDC_HANDLE, u"A"), Action::Press(IDC_SEND),
                 Action::Type(IDC_HANDLE, u"B"), Action::Press(IDC_SEND)});
  Run();
  ASSERT_EQ(host.runs.size(), 1U);
  EXPECT_EQ(host.runs[0].finalTexts[IDC_HANDLE], u"AB");
  // The second press got past the handle check and found the phone silent.
  EXPECT_EQ(host.runs[0].finalTexts[IDC_RESULT], kInitFailed);
}

}  // namespace
}  // namespace brindle
