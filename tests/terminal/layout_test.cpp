#include "dialog/terminal/layout.h"

#include <gtest/gtest.h>

#include <utility>

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

}  // namespace
}  // namespace brindle::terminal
