// The dialog procedure: what the dialog shows at its start and which commands it answers.
#include "entry/highscore_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/entry/entry_fixture.h"

namespace brindle {
namespace {

using Action = PlayerAction;
using Kind = DialogEvent::Kind;

std::vector<Kind> Kinds(const std::vector<DialogEvent>& events) {
  std::vector<Kind> kinds;
  kinds.reserve(events.size());
  for (const DialogEvent& e : events) {
    kinds.push_back(e.kind);
  }
  return kinds;
}

TEST_F(EntryTest, StartLimitsTheBoxesFillsThemAndSetsTheTitle) {
  host.QueueRun({});
  Run(u"Quarry", 7, 1234);

  const auto& events = host.log.events;
  ASSERT_EQ(Kinds(events),
            (std::vector<Kind>{Kind::kLimitText, Kind::kLimitText, Kind::kSetItemText,
                               Kind::kSetItemText, Kind::kRepaint, Kind::kSetTitle}));
  EXPECT_EQ(events[0].id, IDC_HANDLE);
  EXPECT_EQ(events[0].value, 16U);
  EXPECT_EQ(events[1].id, IDC_RESULT);
  EXPECT_EQ(events[1].value, 256U);
  EXPECT_EQ(events[2].id, IDC_HANDLE);
  EXPECT_EQ(events[2].text, u"");
  EXPECT_EQ(events[3].id, IDC_SCORE);
  EXPECT_EQ(events[3].text, u"1234");
  EXPECT_EQ(events[4].text, u"") << "the result box keeps the template's empty text";
  EXPECT_EQ(events[5].text, u"Send Quarry highscores");

  ASSERT_EQ(host.runs.size(), 1U);
  EXPECT_EQ(host.runs[0].templateId, IDD_SENDHIGHSCORE);
  EXPECT_EQ(host.runs[0].parentWindow, &parentWindow);
  EXPECT_EQ(host.runs[0].initResult, 1) << "TRUE, so the handle box gets the focus";
}

struct ScoreCase {
  std::int32_t score;
  std::u16string shown;
};

class ScoreBoxTest : public EntryTest, public ::testing::WithParamInterface<ScoreCase> {};

TEST_P(ScoreBoxTest, ShowsTheScoreInDecimal) {
  host.QueueRun({});
  Run(u"Quarry", 1, GetParam().score);
  ASSERT_EQ(host.runs.size(), 1U);
  EXPECT_EQ(host.runs[0].finalTexts[IDC_SCORE], GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Scores, ScoreBoxTest,
                         ::testing::Values(ScoreCase{0, u"0"}, ScoreCase{-5, u"-5"},
                                           ScoreCase{99999999, u"99999999"},
                                           ScoreCase{INT32_MAX, u"2147483647"},
                                           ScoreCase{INT32_MIN, u"-2147483648"}));

struct TitleCase {
  std::u16string name;
  std::u16string title;
};

class TitleTest : public EntryTest, public ::testing::WithParamInterface<TitleCase> {};

TEST_P(TitleTest, NamesTheGame) {
  host.QueueRun({});
  Run(GetParam().name.c_str());
  ASSERT_EQ(host.runs.size(), 1U);
  EXPECT_EQ(host.runs[0].title, GetParam().title);
}

const std::u16string k15 = u"ABCDEFGHIJKLMNO";
const std::u16string k47 = u"The Quite Remarkably Long Name Of A Puzzle Game";
const std::u16string k60 = k47 + u" Deluxe 2003";

INSTANTIATE_TEST_SUITE_P(
    Names, TitleTest,
    ::testing::Values(TitleCase{u"", u"Send  highscores"},
                      TitleCase{k15, u"Send " + k15 + u" highscores"},
                      TitleCase{k47, u"Send " + k47 + u" highscores"},
                      // Cut to the 47 characters the request holds, never further.
                      TitleCase{k60, u"Send " + k47 + u" highscores"}));

TEST(TitleLengths, FifteenCharactersGiveThirtyOneAndTheLongestNameFits) {
  EXPECT_EQ((u"Send " + k15 + u" highscores").size(), 31U);
  ASSERT_EQ(k47.size(), 47U);
  EXPECT_EQ((u"Send " + k47 + u" highscores").size() + 1, kTitleCapacity);
}

struct CommandCase {
  const char* name;
  int id;
  std::uint16_t notification;
  std::intptr_t handled;
  bool ends;
  std::intptr_t result;
};

class CommandTest : public EntryTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(CommandTest, AnswersByControlIdAlone) {
  const CommandCase& c = GetParam();
  host.QueueRun({Action::Type(IDC_HANDLE, u"ACE"), Action::Press(c.id, c.notification)});
  Run();
  ASSERT_EQ(host.runs.size(), 1U);
  EXPECT_EQ(host.runs[0].commandResults, (std::vector<std::intptr_t>{c.handled}));
  EXPECT_EQ(host.runs[0].result, c.ends ? c.result : kScriptRanOut);
  // Only OK and Cancel read the handle box back; the others leave the record as it was.
  EXPECT_EQ(LastHandle(), c.ends ? u"ACE" : u"");
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CommandTest,
    ::testing::Values(CommandCase{"CancelClicked", IDCANCEL, kBnClicked, 1, true, -1},
                      CommandCase{"CancelSetFocus", IDCANCEL, 6, 1, true, -1},
                      CommandCase{"CancelKillFocus", IDCANCEL, 7, 1, true, -1},
                      CommandCase{"CancelAnyCode", IDCANCEL, 0xFFFF, 1, true, -1},
                      CommandCase{"HiddenOk", IDOK, kBnClicked, 1, true, 0},
                      CommandCase{"HiddenOkOtherCode", IDOK, 5, 1, true, 0},
                      CommandCase{"Reset", IDC_RESET, kBnClicked, 0, false, 0},
                      CommandCase{"HandleChange", IDC_HANDLE, kEnChange, 0, false, 0},
                      CommandCase{"HandleFocus", IDC_HANDLE, kEnSetFocus, 0, false, 0},
                      CommandCase{"ResultChange", IDC_RESULT, kEnChange, 0, false, 0},
                      CommandCase{"ScoreChange", IDC_SCORE, kEnChange, 0, false, 0},
                      CommandCase{"UnknownId", 4242, kBnClicked, 0, false, 0}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(EntryTest, SendSmsIsHandledWhateverItsOutcome) {
  host.QueueRun({Action::Press(IDC_SEND, kBnClicked), Action::Press(IDC_SEND, 5)});
  Run();
  ASSERT_EQ(host.runs.size(), 1U);
  EXPECT_EQ(host.runs[0].commandResults, (std::vector<std::intptr_t>{1, 1}));
  EXPECT_EQ(host.runs[0].finalTexts[IDC_RESULT], kHandleTooShort);
}

TEST_F(EntryTest, ProcedureLeavesOtherMessagesToThePlatform) {
  constexpr std::uint32_t kWmPaint = 0xF;
  constexpr std::uint32_t kWmClose = 0x10;
  std::vector<std::intptr_t> results;
  host.QueueRun({Action::Run([&](FakeDialogWindow& window) {
    for (const std::uint32_t message : {kWmPaint, kWmClose, kEmLimitText}) {
      results.push_back(HighscoreDlgProc(window, message, IDCANCEL, 0));
    }
  })});
  Run();
  EXPECT_EQ(results, (std::vector<std::intptr_t>{0, 0, 0}));
  ASSERT_EQ(host.runs.size(), 1U);
  EXPECT_EQ(host.runs[0].result, kScriptRanOut);
}

TEST_F(EntryTest, ProcedureWithoutAnActiveRequestHandlesNothing) {
  FakeDialogWindow window;
  EXPECT_EQ(HighscoreDlgProc(window, kWmInitDialog, 0, 0), 0);
  EXPECT_EQ(HighscoreDlgProc(window, kWmCommand, IDCANCEL, 0), 0);
  EXPECT_TRUE(window.events().empty());
}

}  // namespace
}  // namespace brindle
