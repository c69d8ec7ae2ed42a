// The dialog procedure: what the dialog shows at its start and which commands it answers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "entry/highscore_dialog.h"
#include "tests/entry/entry_fixture.h"

namespace brindle {
namespace {

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

}  // namespace
}  // namespace brindle
