// The door: module state across calls, the remembered handle, and the calls that do nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/entry/entry_fixture.h"

namespace brindle {
namespace {

using Action = PlayerAction;

// Records the handle box as the dialog opens.
Action NoteHandle(std::vector<std::u16string>& seen) {
  return Action::Run([&seen](FakeDialogWindow& w) { seen.push_back(w.Text(IDC_HANDLE)); });
}

TEST_F(EntryTest, FirstCallShowsAnEmptyHandleBox) {
  std::vector<std::u16string> seen;
  host.QueueRun({NoteHandle(seen), Action::Press(IDCANCEL)});
  EXPECT_EQ(Run(), RunOutcome::kCancelled);
  EXPECT_EQ(seen, (std::vector<std::u16string>{u""}));
  EXPECT_EQ(g_activeRequest, nullptr);
}

struct RememberCase {
  const char* name;
  std::vector<Action> first;  // what the player does in the first call
  std::u16string remembered;
  RunOutcome outcome;
};

class RememberTest : public EntryTest, public ::testing::WithParamInterface<RememberCase> {};

TEST_P(RememberTest, NextCallOffersTheHandleOfTheLast) {
  PhoneAnswersEverything();
  std::vector<std::u16string> seen;
  host.QueueRun(GetParam().first);
  host.QueueRun({NoteHandle(seen), Action::Press(IDCANCEL)});

  EXPECT_EQ(Run(), GetParam().outcome);
  EXPECT_EQ(LastHandle(), GetParam().remembered);
  EXPECT_EQ(Run(), RunOutcome::kCancelled);
  EXPECT_EQ(seen, (std::vector<std::u16string>{GetParam().remembered}));
  EXPECT_EQ(g_activeRequest, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Endings, RememberTest,
    ::testing::Values(RememberCase{"Cancelled",
                                   {Action::Type(IDC_HANDLE, u"ACE"), Action::Press(IDCANCEL)},
                                   u"ACE",
                                   RunOutcome::kCancelled},
                      RememberCase{"HiddenOk",
                                   {Action::Type(IDC_HANDLE, u"ACE"), Action::Press(IDOK)},
                                   u"ACE",
                                   RunOutcome::kCancelled},
                      RememberCase{"OneCharacterRefusedThenCancelled",
                                   {Action::Type(IDC_HANDLE, u"A"), Action::Press(IDC_SEND),
                                    Action::Press(IDCANCEL)},
                                   u"A",
                                   RunOutcome::kFailed},
                      RememberCase{"Sent",
                                   {Action::Type(IDC_HANDLE, u"Zed"), Action::Press(IDC_SEND)},
                                   u"Zed",
                                   RunOutcome::kSent},
                      RememberCase{
                          "FifteenCharacters",
                          {Action::Type(IDC_HANDLE, u"ABCDEFGHIJKLMNOPQ"), Action::Press(IDCANCEL)},
                          u"ABCDEFGHIJKLMNO",
                          RunOutcome::kCancelled},
                      // Closed without any press: the box was never read back, so the record's
                      // handle, the empty one it started with, is what is remembered.
                      RememberCase{"ClosedWithoutAPress",
                                   {Action::Type(IDC_HANDLE, u"ACE")},
                                   u"",
                                   RunOutcome::kCancelled}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(EntryTest, HandleClearedBeforeCancelLeavesNothingRemembered) {
  std::vector<std::u16string> seen;
  host.QueueRun({Action::Type(IDC_HANDLE, u"ACE"), Action::Press(IDCANCEL)});
  host.QueueRun({NoteHandle(seen), Action::Clear(IDC_HANDLE), Action::Press(IDCANCEL)});
  host.QueueRun({NoteHandle(seen), Action::Press(IDCANCEL)});
  Run();
  Run();
  Run();
  EXPECT_EQ(seen, (std::vector<std::u16string>{u"ACE", u""}));
  EXPECT_EQ(LastHandle(), u"");
}

TEST_F(EntryTest, HandleGivenByThePlatformIsOfferedInsteadOfTheRemembered) {
  std::vector<std::u16string> seen;
  CopyText(u"Old", g_lastHandle);
  host.QueueRun({NoteHandle(seen), Action::Press(IDCANCEL)});
  Platform platform{&host, &port, &sleeper};
  platform.handle = u"New";
  RunHighScore(u"Quarry", 1, 1, nullptr, platform);
  EXPECT_EQ(seen, (std::vector<std::u16string>{u"New"}));
}

TEST_F(EntryTest, NullGameNameDoesNothing) {
  CopyText(u"Kept", g_lastHandle);
  host.QueueRun({Action::Press(IDCANCEL)});
  EXPECT_EQ(Run(nullptr), RunOutcome::kRefused);
  EXPECT_TRUE(host.runs.empty());
  EXPECT_TRUE(host.log.events.empty());
  EXPECT_TRUE(port.Calls().empty());
  EXPECT_EQ(LastHandle(), u"Kept");
  EXPECT_EQ(g_activeRequest, nullptr);
}

TEST_F(EntryTest, CallWhileOneIsInProgressReturnsAtOnceAndTouchesNothing) {
  RunOutcome nested = RunOutcome::kSent;
  ScoreRequest* activeDuring = nullptr;
  std::size_t eventsBefore = 0;
  std::size_t eventsAfter = 0;
  std::u16string handleAfter;
  host.QueueRun({Action::Clear(IDC_HANDLE), Action::Type(IDC_HANDLE, u"ACE"),
                 Action::Press(IDC_SEND), Action::Run([&](FakeDialogWindow&) {
                   activeDuring = g_activeRequest;
                   eventsBefore = host.log.events.size();
                   nested = Run(u"Other", 1, 2);
                   eventsAfter = host.log.events.size();
                   handleAfter = LastHandle();
                 }),
                 Action::Press(IDCANCEL)});
  CopyText(u"Old", g_lastHandle);

  EXPECT_EQ(Run(), RunOutcome::kFailed);

  EXPECT_EQ(nested, RunOutcome::kRefused);
  EXPECT_NE(activeDuring, nullptr);
  EXPECT_EQ(eventsAfter, eventsBefore);
  EXPECT_EQ(handleAfter, u"Old");
  EXPECT_EQ(host.runs.size(), 1U) << "no second dialog";
  EXPECT_EQ(LastHandle(), u"ACE");
  EXPECT_EQ(g_activeRequest, nullptr);
}

TEST_F(EntryTest, WithoutADialogHostTheCallStillEndsCleanly) {
  CopyText(u"Kept", g_lastHandle);
  EXPECT_EQ(RunHighScore(u"Quarry", 1, 1, nullptr, Platform{nullptr, &port, &sleeper}),
            RunOutcome::kRefused);
  EXPECT_EQ(LastHandle(), u"Kept");
  EXPECT_EQ(g_activeRequest, nullptr);
  EXPECT_TRUE(port.Calls().empty());
}

TEST_F(EntryTest, ActiveRequestSpansTheWholeDialog) {
  std::vector<bool> set;
  host.QueueRun({Action::Run([&](FakeDialogWindow&) { set.push_back(g_activeRequest != nullptr); }),
                 Action::Press(IDCANCEL)});
  EXPECT_EQ(g_activeRequest, nullptr);
  Run();
  EXPECT_EQ(set, (std::vector<bool>{true}));
  EXPECT_EQ(g_activeRequest, nullptr);
}

}  // namespace
}  // namespace brindle
