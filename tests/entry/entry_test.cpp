// The entry point on a scripted player and a phone on the recording port, with pauses that
// return at once and the module state cleared around every test: what the dialog shows at its
// start and which commands it answers; how a run ended, the remembered handle and the calls
// that do nothing; the send sequence run from the dialog, the line each stage shows, the result
// box after each way a send can fail, and the success path with the message it sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "base/testing/recording_sleeper.h"
#include "codec/destination.h"
#include "codec/score_reader.h"
#include "dialog/dialog_template.h"
#include "dialog/testing/scripted_dialog_host.h"
#include "entry/highscore_dialog.h"
#include "entry/send_high_score.h"
#include "phone/testing/recording_serial_port.h"

namespace brindle {
namespace {
using Action = PlayerAction;

const std::u16string kOpening = u"Opening IR Port..\r\n";
const std::u16string kInitializing = u"Initializing the phone..\r\n";
const std::u16string kPreparing = u"Preparing the highscore SMS..\r\n";
const std::u16string kSending = u"Sending the highscore SMS..\r\n";
const std::u16string kHandleTooShort = u"The handle has to be at least two characters long!";
const std::u16string kOpenFailed = u"Unable to open IR port!";
const std::u16string kInitFailed =
    u"Unable to initialize the phone. Check that IR is enable on the phone!\r\n";
const std::u16string kPrepareFailed =
    u"Unable to prepare the SMS message! Your highscore was not sent!\r\n";
const std::u16string kSendFailed = u"Unable to send the highscore SMS! Please, try again!\r\n";

// What the dialogs showed, in order: the result box at each repaint, each box (owned by the
// dialog or not) with its caption, and the end.
std::vector<std::u16string> Shown(const DialogLog& log) {
  std::vector<std::u16string> shown;
  for (const DialogEvent& e : log.events) {
    if (e.kind == DialogEvent::Kind::kMessageBox) {
      shown.push_back((e.owned ? u"owned box " : u"box ") + e.caption + u": " + e.text);
    } else {
      shown.push_back(e.kind == DialogEvent::Kind::kEnd ? u"end" : e.text);
    }
  }
  return shown;
}

class EntryTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearModuleState(); }
  void TearDown() override { ClearModuleState(); }

  static void ClearModuleState() {
    std::fill(std::begin(g_lastHandle), std::end(g_lastHandle), u'\0');
    g_activeRequest = nullptr;
  }

  RunOutcome Run(const char16_t* gameName = u"Comet Quarry", std::int32_t gameId = 42,
                 std::int32_t score = 1234) {
    return RunHighScore(gameName, gameId, score, &parentWindow, Platform{&host, &port, &sleeper});
  }

  [[nodiscard]] static std::u16string LastHandle() {
    return std::u16string(TerminatedView(std::span<const char16_t>(g_lastHandle)));
  }

  ScriptedDialogHost host;
  RecordingSerialPort port;
  RecordingSleeper sleeper;
  int parentWindow = 0;
};

TEST_F(EntryTest, StartLimitsTheBoxesShowsTheScoreAndNamesTheGame) {
  const std::u16string name47 = u"Comet Quarry And The Remarkably Long Sequel Two";
  const std::pair<std::u16string, std::int32_t> rows[] = {
      {u"", 0}, {name47, INT32_MIN}, {name47 + u" Deluxe", INT32_MAX}};
  for (const auto& [name, score] : rows) {
    host.QueueRun({});
    Run(name.c_str(), 1, score);
  }
  ASSERT_EQ(host.runs.size(), 3U);
  EXPECT_EQ(host.runs[0].title, u"Send  highscores");
  EXPECT_EQ(host.runs[0].texts[IDC_SCORE], u"0");
  EXPECT_EQ(host.runs[1].title, u"Send " + name47 + u" highscores");
  EXPECT_EQ(host.runs[1].texts[IDC_SCORE], u"-2147483648");
  EXPECT_EQ(host.runs[2].title, host.runs[1].title) << "the name is cut to 47 characters";
  EXPECT_EQ(host.runs[2].texts[IDC_SCORE], u"2147483647");
  ModalRun& run = host.runs[0];
  EXPECT_EQ(run.templateId, IDD_SENDHIGHSCORE);
  EXPECT_EQ(run.parentWindow, &parentWindow);
  EXPECT_EQ(run.initResult, 1) << "TRUE, so the handle box gets the focus";
  EXPECT_EQ(run.limits, (std::map<int, std::uint32_t>{{IDC_HANDLE, 16}, {IDC_RESULT, 256}}));
  EXPECT_EQ(run.texts[IDC_RESULT], u"");
}

struct CommandCase {
  const char* name;
  int id;
  std::uint16_t notification;
  std::intptr_t handled;
  std::intptr_t result;
  std::u16string remembered;  // only the buttons read the handle box back
};

class CommandTest : public EntryTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(CommandTest, AnswersByControlIdAlone) {
  const CommandCase& c = GetParam();
  host.QueueRun({Action::Type(IDC_HANDLE, u"A"), Action::Press(c.id, c.notification)});
  Run();
  ASSERT_EQ(host.runs.size(), 1U);
  EXPECT_EQ(host.runs[0].commandResults, (std::vector<std::intptr_t>{c.handled}));
  EXPECT_EQ(host.runs[0].result, c.result);
  EXPECT_EQ(LastHandle(), c.remembered);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CommandTest,
    ::testing::Values(CommandCase{"Cancel", IDCANCEL, 0, 1, -1, u"A"},
                      CommandCase{"HiddenOk", IDOK, 5, 1, 0, u"A"},
                      CommandCase{"SendSms", IDC_SEND, 0, 1, kScriptRanOut, u"A"},
                      CommandCase{"HiddenReset", IDC_RESET, 0, 0, kScriptRanOut, u""}),
    [](const auto& p) { return std::string(p.param.name); });

// Notes the handle box as the dialog opens.
Action NoteHandle(std::vector<std::u16string>& seen) {
  return Action::Run([&seen](FakeDialogWindow& w) { seen.push_back(w.Text(IDC_HANDLE)); });
}

Action Handle(const std::u16string& text) { return Action::Type(IDC_HANDLE, text); }
const Action kCancel = Action::Press(IDCANCEL);

struct RememberCase {
  const char* name;
  std::vector<Action> actions;  // after the box is emptied
  std::u16string remembered;
  RunOutcome outcome;
};

class RememberTest : public EntryTest, public ::testing::WithParamInterface<RememberCase> {};

TEST_P(RememberTest, NextCallOffersTheHandleTheLastOneEndedWith) {
  port.AnswerLikeAPhone();
  CopyText(u"Old", g_lastHandle);
  std::vector<std::u16string> seen;
  std::vector<Action> first = {NoteHandle(seen), Action::Clear(IDC_HANDLE)};
  first.insert(first.end(), GetParam().actions.begin(), GetParam().actions.end());
  host.QueueRun(first);
  host.QueueRun({NoteHandle(seen), Action::Press(IDCANCEL)});
  EXPECT_EQ(Run(), GetParam().outcome);
  EXPECT_EQ(Run(), RunOutcome::kCancelled);
  EXPECT_EQ(seen, (std::vector<std::u16string>{u"Old", GetParam().remembered}));
  EXPECT_EQ(g_activeRequest, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Endings, RememberTest,
    ::testing::Values(
        RememberCase{"Cancelled", {Handle(u"Ann"), kCancel}, u"Ann", RunOutcome::kCancelled},
        RememberCase{"Sent", {Handle(u"Zed"), Action::Press(IDC_SEND)}, u"Zed", RunOutcome::kSent},
        RememberCase{"CutToFifteen",
                     {Handle(u"ABCDEFGHIJKLMNOPQ"), kCancel},
                     u"ABCDEFGHIJKLMNO",
                     RunOutcome::kCancelled},
        RememberCase{"Cleared", {kCancel}, u"", RunOutcome::kCancelled},
        // Closed without a press: the box was never read back, so the record keeps "Old".
        RememberCase{"ClosedWithoutAPress", {Handle(u"Ann")}, u"Old", RunOutcome::kCancelled}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(EntryTest, HandleGivenByThePlatformIsOfferedInsteadOfTheRemembered) {
  std::vector<std::u16string> seen;
  CopyText(u"Old", g_lastHandle);
  host.QueueRun({NoteHandle(seen)});
  Platform platform{&host, &port, &sleeper};
  platform.handle = u"New";
  RunHighScore(u"Comet Quarry", 1, 1, nullptr, platform);
  EXPECT_EQ(seen, (std::vector<std::u16string>{u"New"}));
}

TEST_F(EntryTest, NullGameNameOrNoHostIsRefusedAndTouchesNothing) {
  CopyText(u"Kept", g_lastHandle);
  EXPECT_EQ(Run(nullptr), RunOutcome::kRefused);
  EXPECT_EQ(RunHighScore(u"Comet Quarry", 1, 1, nullptr, Platform{nullptr, &port, &sleeper}),
            RunOutcome::kRefused);
  EXPECT_TRUE(host.runs.empty());
  EXPECT_TRUE(port.Trace().empty());
  EXPECT_EQ(LastHandle(), u"Kept");
  EXPECT_EQ(g_activeRequest, nullptr);
}

TEST_F(EntryTest, CallWhileOneIsInProgressIsRefusedAndTouchesNothing) {
  RunOutcome nested = RunOutcome::kSent;
  std::size_t eventsBefore = 0;
  std::size_t eventsAfter = 0;
  std::u16string handleAfter;
  host.QueueRun({Action::Type(IDC_HANDLE, u"Ann"), Action::Press(IDC_SEND),
                 Action::Run([&](FakeDialogWindow&) {
                   eventsBefore = host.log.events.size();
                   nested = Run(u"Other Game", 1, 2);
                   eventsAfter = host.log.events.size();
                   handleAfter = LastHandle();
                 }),
                 Action::Press(IDCANCEL)});
  CopyText(u"Old", g_lastHandle);
  EXPECT_EQ(Run(), RunOutcome::kFailed);
  EXPECT_EQ(nested, RunOutcome::kRefused);
  EXPECT_EQ(eventsAfter, eventsBefore);
  EXPECT_EQ(handleAfter, u"Old");
  EXPECT_EQ(host.runs.size(), 1U) << "no second dialog";
  EXPECT_EQ(LastHandle(), u"OldAnn");
  EXPECT_EQ(g_activeRequest, nullptr);
}

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
  void (*phone)(RecordingSerialPort&);
  Lines stages;
  std::size_t writes;
};

void Silent(RecordingSerialPort& /*port*/) {}
void OpenRefused(RecordingSerialPort& port) {
  port.FailCall(PortCall::kOpen, 2);
  port.SetErrorText(2, u"The system cannot find the file specified.");
}
void NoPrompt(RecordingSerialPort& port) { port.AnswerAfter("", "\r\nOK\r\n"); }
const std::u16string kOpenBox =
    u"box Error: Unable to open portThe system cannot find the file specified.";

class SendFailureTest : public EntryTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SendFailureTest, ShowsEachStageThenTheFailureReleasesThePortAndStaysOpen) {
  const FailureCase& c = GetParam();
  c.phone(port);
  host.QueueRun({Action::Type(IDC_HANDLE, c.handle), Action::Press(IDC_SEND)});
  EXPECT_EQ(Run(u"Comet Quarry", c.gameId), RunOutcome::kFailed);
  EXPECT_EQ(Shown(host.log), AfterPress(c.stages)) << "and the dialog stays open";
  EXPECT_EQ(port.Trace().empty(), c.stages[0] != kOpening) << "the port untouched before";
  EXPECT_EQ(port.Writes().size(), c.writes);
  EXPECT_FALSE(port.IsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    EachFailure, SendFailureTest,
    ::testing::Values(
        FailureCase{"OneCharacterHandle", u"A", 42, Silent, {kHandleTooShort}, 0},
        FailureCase{"GameIdTooLarge", u"Ann", 100000000, Silent, {kPrepareFailed}, 0},
        FailureCase{"OpenRefused", u"Ann", 42, OpenRefused, {kOpening, kOpenBox, kOpenFailed}, 0},
        FailureCase{"PhoneSilent", u"Ann", 42, Silent, {kOpening, kInitLines, kInitFailed}, 2},
        // ATZ, ATE0, AT+CMGF, AT+CMGS, then the shutdown's two; never the PDU.
        FailureCase{"NoPrompt", u"Ann", 42, NoPrompt,
                    Lines({kOpening, kInitLines, kInitLines + kPreparing, kAllLines, kSendFailed}),
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
