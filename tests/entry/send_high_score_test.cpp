// SendHighScore: how a run ended, the remembered handle, and the calls that do nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/entry/entry_fixture.h"

namespace brindle {
namespace {

// Notes the handle box as the dialog opens.
Action NoteHandle(std::vector<std::u16string>& seen) {
  return Action::Run([&seen](FakeDialogWindow& w) { seen.push_back(w.Text(IDC_HANDLE)); });
}

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
        RememberCase{"Cancelled",
                     {Action::Type(IDC_HANDLE, u"Ann"), Action::Press(IDCANCEL)},
                     u"Ann",
                     RunOutcome::kCancelled},
        RememberCase{"Sent",
                     {Action::Type(IDC_HANDLE, u"Zed"), Action::Press(IDC_SEND)},
                     u"Zed",
                     RunOutcome::kSent},
        RememberCase{"CutToFifteen",
                     {Action::Type(IDC_HANDLE, u"ABCDEFGHIJKLMNOPQ"), Action::Press(IDCANCEL)},
                     u"ABCDEFGHIJKLMNO",
                     RunOutcome::kCancelled},
        RememberCase{"Cleared", {Action::Press(IDCANCEL)}, u"", RunOutcome::kCancelled},
        // Closed without a press: the box was never read back, so the record keeps "Old".
        RememberCase{"ClosedWithoutAPress",
                     {Action::Type(IDC_HANDLE, u"Ann")},
                     u"Old",
                     RunOutcome::kCancelled}),
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

}  // namespace
}  // namespace brindle
