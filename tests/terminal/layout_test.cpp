#include "dialog/terminal/layout.h"

#include <gtest/gtest.h>

#include <tuple>

namespace brindle::terminal {
namespace {

const PlacedControl& ById(const DialogLayout& layout, int id, std::u16string_view text = {}) {
  for (const PlacedControl& control : layout.Controls()) {
    if (control.source->id == id && (text.empty() || control.source->text == text)) {
      return control;
    }
  }
  ADD_FAILURE() << "no control " << id;
  return layout.controls.front();
}

bool Inside(const CellRect& inner, const CellRect& outer) {
  return inner.row > outer.row && inner.col > outer.col &&
         inner.row + inner.rows < outer.row + outer.rows &&
         inner.col + inner.cols < outer.col + outer.cols;
}

class LayoutTest : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(LayoutTest, EveryVisibleControlFitsItsFrameAndItsGroup) {
  const auto [lines, cols] = GetParam();
  const DialogLayout layout = LayoutDialog(kHighscoreDialog, lines, cols);
  ASSERT_EQ(layout.count, kHighscoreDialog.controls.size());
  EXPECT_GE(layout.frame.row, 0);
  EXPECT_GE(layout.frame.col, 0);
  EXPECT_LE(layout.frame.row + layout.frame.rows, lines);
  EXPECT_LE(layout.frame.col + layout.frame.cols, cols);
  for (const PlacedControl& control : layout.Controls()) {
    if (control.visible) {
      EXPECT_TRUE(Inside(control.cells, layout.frame)) << control.source->id;
    }
  }
  const PlacedControl& player = ById(layout, IDC_STATIC, u"Player");
  const PlacedControl& result = ById(layout, IDC_STATIC, u"Result");
  const PlacedControl& handle = ById(layout, IDC_HANDLE);
  const PlacedControl& score = ById(layout, IDC_SCORE);
  EXPECT_TRUE(Inside(handle.cells, player.cells));
  EXPECT_TRUE(Inside(score.cells, result.cells));
  // Each label sits on its box's text row, left of it.
  const PlacedControl& handleLabel = ById(layout, IDC_STATIC, u"Handle");
  const PlacedControl& scoreLabel = ById(layout, IDC_STATIC, u"Score");
  EXPECT_EQ(handleLabel.cells.row, handle.cells.row + 1);
  EXPECT_EQ(scoreLabel.cells.row, score.cells.row + 1);
  EXPECT_LE(handleLabel.cells.col + 6, handle.cells.col);
  // The result box lies below both groups and above the buttons, which share a row.
  const PlacedControl& box = ById(layout, IDC_RESULT);
  const PlacedControl& send = ById(layout, IDC_SEND);
  const PlacedControl& cancel = ById(layout, IDCANCEL);
  EXPECT_GE(box.cells.row, result.cells.row + result.cells.rows);
  EXPECT_GE(box.cells.rows - 2, 4) << "room for the four lines of the longest status";
  EXPECT_GE(box.cells.cols - 2, 69) << "the longest status line fits unwrapped";
  EXPECT_LT(box.cells.row + box.cells.rows - 1, send.cells.row);
  EXPECT_EQ(send.cells.row, cancel.cells.row);
  EXPECT_LT(send.cells.col + send.cells.cols, cancel.cells.col);
}

INSTANTIATE_TEST_SUITE_P(TerminalSizes, LayoutTest,
                         ::testing::Values(std::make_tuple(24, 80), std::make_tuple(25, 80),
                                           std::make_tuple(40, 132), std::make_tuple(60, 200)));

TEST(Layout, LargeTerminalsGetACentredDialogOfBoundedSize) {
  const DialogLayout layout = LayoutDialog(kHighscoreDialog, 60, 200);
  EXPECT_EQ(layout.frame.cols, kMaxInnerCols + 2);
  EXPECT_EQ(layout.frame.rows, kMaxInnerRows + 2);
  EXPECT_EQ(layout.frame.col, (200 - layout.frame.cols) / 2);
  EXPECT_EQ(layout.frame.row, (60 - layout.frame.rows) / 2);
}

TEST(Layout, ControlsKeepTheirKindsAndHiddenButtonsStayHidden) {
  const DialogLayout layout = LayoutDialog(kHighscoreDialog, 24, 80);
  struct Expected {
    int id;
    std::u16string_view text;
    ControlKind kind;
    bool visible;
    bool enabled;
  };
  const Expected table[] = {
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
    const PlacedControl& control = layout.controls.at(i);
    EXPECT_EQ(control.source->id, table[i].id) << i;
    EXPECT_EQ(control.source->text, table[i].text) << i;
    EXPECT_EQ(control.kind, table[i].kind) << i;
    EXPECT_EQ(control.visible, table[i].visible) << i;
    EXPECT_EQ(control.enabled, table[i].enabled) << i;
  }
}

TEST(Layout, TabGoesThroughVisibleEnabledTabStopsInTemplateOrder) {
  const DialogLayout layout = LayoutDialog(kHighscoreDialog, 24, 80);
  const int forward[] = {IDC_HANDLE, IDC_SEND, IDCANCEL, IDC_RESULT, IDC_HANDLE, IDC_SEND};
  std::size_t at = layout.count;  // nothing focused: the first that takes the focus
  for (const int id : forward) {
    at = NextTabStop(layout, at, false);
    ASSERT_LT(at, layout.count);
    EXPECT_EQ(layout.controls.at(at).source->id, id);
  }
  const int backward[] = {IDC_HANDLE, IDC_RESULT, IDCANCEL, IDC_SEND, IDC_HANDLE};
  for (const int id : backward) {
    at = NextTabStop(layout, at, true);
    ASSERT_LT(at, layout.count);
    EXPECT_EQ(layout.controls.at(at).source->id, id);
  }
}

}  // namespace
}  // namespace brindle::terminal
