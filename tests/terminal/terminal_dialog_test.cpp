// The terminal dialog without a terminal: the layout of template 129, the keys, the editing of
// a box, and the host refusing what it cannot show.
#include <curses.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "dialog/terminal/edit_text.h"
#include "dialog/terminal/keys.h"
#include "dialog/terminal/layout.h"
#include "dialog/terminal/terminal_dialog_host.h"

namespace brindle::terminal {
namespace {

bool Inside(const CellRect& inner, const CellRect& outer) {
  return inner.row > outer.row && inner.col > outer.col &&
         inner.row + inner.rows < outer.row + outer.rows &&
         inner.col + inner.cols < outer.col + outer.cols;
}

// Template 129's controls in tab order, with what the terminal makes of each.
TEST(Layout, ControlsKeepTheirKindsAndHiddenButtonsStayHidden) {
  const DialogLayout layout = LayoutDialog(kHighscoreDialog, 24, 80);
  const std::tuple<int, std::u16string_view, ControlKind, bool, bool> table[] = {
      {IDC_HANDLE, u"", ControlKind::kEdit, true, true},
      {IDC_SCORE, u"", ControlKind::kEdit, true, false},
      {IDOK, u"OK", ControlKind::kPushButton, false, true},
      {IDC_SEND, u"Send SMS", ControlKind::kDefaultButton, true, true},
      {IDCANCEL, u"Cancel", ControlKind::kPushButton, true, true},
      {IDC_RESULT, u"", ControlKind::kMultiLineEdit, true, true},
      {IDC_STATIC, u"Score", ControlKind::kLabel, true, true},
      {IDC_STATIC, u"Result", ControlKind::kGroupBox, true, true},
      {IDC_STATIC, u"Handle", ControlKind::kLabel, true, true},
      {IDC_STATIC, u"Player", ControlKind::kGroupBox, true, true},
      {IDC_RESET, u"Reset", ControlKind::kPushButton, false, true},
  };
  ASSERT_EQ(layout.count, std::size(table));
  for (std::size_t i = 0; i < layout.count; ++i) {
    const PlacedControl& c = layout.controls.at(i);
    EXPECT_EQ(std::tie(c.source->id, c.source->text, c.kind, c.visible, c.enabled), table[i]) << i;
  }
}

// Indices as in the table above.
TEST(Layout, EveryVisibleControlFitsItsFrameAndItsGroupCentredAndBounded) {
  for (const auto& [lines, cols] : {std::pair{24, 80}, std::pair{60, 200}}) {
    SCOPED_TRACE(cols);
    const DialogLayout layout = LayoutDialog(kHighscoreDialog, lines, cols);
    const auto at = [&](std::size_t i) { return layout.controls.at(i).cells; };
    EXPECT_LE(layout.frame.cols, kMaxInnerCols + 2);
    EXPECT_LE(layout.frame.rows, kMaxInnerRows + 2);
    EXPECT_EQ(layout.frame.col, (cols - layout.frame.cols) / 2);
    EXPECT_EQ(layout.frame.row, (lines - layout.frame.rows) / 2);
    for (const PlacedControl& control : layout.Controls()) {
      EXPECT_TRUE(!control.visible || Inside(control.cells, layout.frame)) << control.source->id;
    }
    EXPECT_TRUE(Inside(at(0), at(9)));    // the handle in "Player"
    EXPECT_TRUE(Inside(at(1), at(7)));    // the score in "Result"
    EXPECT_EQ(at(8).row, at(0).row + 1);  // "Handle" on the box's text row
    EXPECT_LE(at(8).col + 6, at(0).col);  // and left of it
    EXPECT_GE(at(5).rows - 2, 4);         // the longest status, unwrapped
    EXPECT_GE(at(5).cols - 2, 69);
    EXPECT_LT(at(5).row + at(5).rows - 1, at(3).row);  // above the buttons
    EXPECT_EQ(at(3).row, at(4).row);                   // which share a row
    EXPECT_LT(at(3).col + at(3).cols, at(4).col);
  }
}

TEST(Layout, TabGoesThroughVisibleEnabledTabStopsInTemplateOrder) {
  const DialogLayout layout = LayoutDialog(kHighscoreDialog, 24, 80);
  std::size_t at = layout.count;  // nothing focused: the first that takes the focus
  for (const std::size_t next : {0U, 3U, 4U, 5U, 0U}) {
    at = NextTabStop(layout, at, false);
    EXPECT_EQ(at, next);
  }
  for (const std::size_t previous : {5U, 4U, 3U, 0U}) {
    at = NextTabStop(layout, at, true);
    EXPECT_EQ(at, previous);
  }
}

// The codes terminals differ in, and the characters a box cannot take.
TEST(Keys, VariantsMapToOneActionAndOnlyCharactersABoxHoldsAreTyped) {
  using K = KeyAction;
  const std::tuple<bool, std::uint32_t, KeyAction, char16_t> rows[] = {
      {false, '\r', K::kEnter, 0},          {false, '\n', K::kEnter, 0},
      {true, KEY_ENTER, K::kEnter, 0},      {false, 0x7F, K::kBackspace, 0},
      {false, 0x08, K::kBackspace, 0},      {true, KEY_BACKSPACE, K::kBackspace, 0},
      {false, 0x1B, K::kCancel, 0},         {true, KEY_BTAB, K::kPreviousControl, 0},
      {false, ' ', K::kSpace, u' '},        {false, 0xE9, K::kType, u'\u00E9'},
      {false, 0x20AC, K::kType, u'\u20AC'}, {false, 0x1F600, K::kNone, 0},
      {false, 0x01, K::kNone, 0},           {true, KEY_F(1), K::kNone, 0}};
  for (const auto& [functionKey, code, action, character] : rows) {
    const KeyEvent event = MapKey(functionKey, code);
    EXPECT_EQ(std::tie(event.action, event.character), std::tie(action, character)) << code;
  }
}

// Keys, one character each: '<' Left, '>' Right, '^' Home, '$' End, '*' select all, '~'
// Backspace, '#' Delete; any other is typed.
void Press(EditText& edit, std::u16string_view keys) {
  const std::map<char16_t, void (EditText::*)()> actions = {
      {u'<', &EditText::Left},  {u'>', &EditText::Right},     {u'^', &EditText::Home},
      {u'$', &EditText::End},   {u'*', &EditText::SelectAll}, {u'~', &EditText::Backspace},
      {u'#', &EditText::Delete}};
  for (const char16_t key : keys) {
    const auto action = actions.find(key);
    if (action == actions.end()) {
      edit.Insert(key);
    } else {
      (edit.*action->second)();
    }
  }
}

// Typing stops at the limit, text set by the program only at the capacity; a selection is
// replaced by typing, erased by Backspace and ended by the arrows; the caret edits in the
// middle and steps over a line break whole.
TEST(EditText, KeysOnATextSetByTheProgram) {
  const std::u16string kLong(2 * kItemTextCapacity, u'x');
  const struct {
    std::u16string set;
    std::uint32_t limit;
    std::u16string_view keys;
    std::u16string text;
    std::size_t caret;
  } rows[] = {{u"", 4, u"ABCDE", u"ABCD", 4},
              {u"longer than four", 4, u"", u"longer than four", 0},
              {kLong, 0, u"", kLong.substr(0, kItemTextCapacity - 1), 0},
              {u"Bob", 0, u"*~", u"", 0},
              {u"Bob", 0, u"*An*>n*<X", u"XAnn", 1},
              {u"ab\r\ncd", 0, u"$<<<", u"ab\r\ncd", 2},
              {u"ab\r\ncd", 0, u"$<<<>~^#X", u"Xbcd", 1}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.keys.begin(), row.keys.end()));
    EditText edit;
    edit.SetLimit(row.limit);
    edit.Set(row.set);
    Press(edit, row.keys);
    EXPECT_EQ(edit.Text(), row.text);
    EXPECT_EQ(edit.Caret(), row.caret);
  }
}

TEST(Wrap, SplitsAtLineBreaksWrapsAtSpacesAndFindsTheCaret) {
  const std::tuple<std::u16string_view, std::size_t, std::vector<std::u16string_view>> rows[] = {
      {u"Opening IR Port..\r\n", 30, {u"Opening IR Port..", u""}},
      {u"a\r\nb\nc\rd", 10, {u"a", u"b", u"c", u"d"}},
      {u"ab cd efgh", 6, {u"ab cd ", u"efgh"}},
      {u"abcdefghijkl", 5, {u"abcde", u"fghij", u"kl"}}};
  for (const auto& [text, width, expected] : rows) {
    std::array<LineSpan, 8> spans{};
    std::vector<std::u16string_view> lines;
    for (std::size_t i = 0; i < WrapLines(text, width, spans); ++i) {
      lines.push_back(text.substr(spans.at(i).start, spans.at(i).length));
    }
    EXPECT_EQ(lines, expected);
  }
  std::array<LineSpan, 2> two{};
  EXPECT_EQ(WrapLines(u"1\r\n2\r\n3\r\n4", 10, two), 2U) << "no more lines than room";
  std::array<LineSpan, 8> spans{};
  const std::span<const LineSpan> lines(spans.data(), WrapLines(u"ab\r\ncd\r\n", 10, spans));
  EXPECT_EQ(LineOfCaret(lines, 2), 0U);
  EXPECT_EQ(LineOfCaret(lines, 4), 1U);
  EXPECT_EQ(LineOfCaret(lines, 8), 2U);
}

int g_procCalls = 0;

std::intptr_t CountingProc(DialogWindow& /*dialog*/, std::uint32_t /*message*/,
                           std::uintptr_t /*wParam*/, std::intptr_t /*lParam*/) {
  ++g_procCalls;
  return 0;
}

TEST(TerminalDialogHost, WithoutATerminalOrWithAnotherTemplateRefusesAndDrawsNothing) {
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  {
    TerminalDialogHost host(kHighscoreDialog, in, out);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(host.RunModal(IDD_SENDHIGHSCORE, nullptr, CountingProc), -1);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("needs a terminal"), std::string::npos);
    EXPECT_EQ(std::ftell(out), 0L);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(host.RunModal(130, nullptr, CountingProc), -1);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("130"), std::string::npos);
  }
  EXPECT_EQ(g_procCalls, 0);
  static_cast<void>(std::fclose(in));
  static_cast<void>(std::fclose(out));
}

TEST(TerminalDialogHost, BoxesWithoutAnOpenDialogGoToStderr) {
  TerminalDialogHost host;
  ::testing::internal::CaptureStderr();
  host.ShowMessage(u"Unable to open port: gone", u"Error", 0x40);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error: Unable to open port: gone\n");
}

}  // namespace
}  // namespace brindle::terminal
