#include "dialog/terminal/layout.h"

#include <gtest/gtest.h>

#include <utility>

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

TEST(Layout, EveryVisibleControlFitsItsFrameAndItsGroup) {
  for (const auto& [lines, cols] : {std::pair{24, 80}, std::pair{60, 200}}) {
    SCOPED_TRACE(cols);
    const DialogLayout layout = LayoutDialog(kHighscoreDialog, lines, cols);
    ASSERT_EQ(layout.count, kHighscoreDialog.controls.size());
    EXPECT_LE(layout.frame.cols, kMaxInnerCols + 2);
    EXPECT_LE(layout.frame.rows, kMaxInnerRows + 2);
    EXPECT_EQ(layout.frame.col, (cols - layout.frame.cols) / 2);
    EXPECT_EQ(layout.frame.row, (lines - layout.frame.rows) / 2);
    for (const PlacedControl& control : layout.Controls()) {
      if (control.visible) {
        EXPECT_TRUE(Inside(control.cells, layout.frame)) << control.source->id;
      }
    }
    const PlacedControl& handle = ById(layout, IDC_HANDLE);
    const PlacedControl& score = ById(layout, IDC_SCORE);
    EXPECT_TRUE(Inside(handle.cells, ById(layout, IDC_STATIC, u"Player").cells));
    EXPECT_TRUE(Inside(score.cells, ById(layout, IDC_STATIC, u"Result").cells));
    // Each label sits on its box's text row, left of it.
    const PlacedControl& handleLabel = ById(layout, IDC_STATIC, u"Handle");
    EXPECT_EQ(handleLabel.cells.row, handle.cells.row + 1);
    EXPECT_LE(handleLabel.cells.col + 6, handle.cells.col);
    EXPECT_EQ(ById(layout, IDC_STATIC, u"Score").cells.row, score.cells.row + 1);
    // The result box holds the longest status unwrapped, above the buttons, which share a row.
    const PlacedControl& box = ById(layout, IDC_RESULT);
    const PlacedControl& send = ById(layout, IDC_SEND);
    const PlacedControl& cancel = ById(layout, IDCANCEL);
    EXPECT_GE(box.cells.rows - 2, 4);
    EXPECT_GE(box.cells.cols - 2, 69);
    EXPECT_LT(box.cells.row + box.cells.rows - 1, send.cells.row);
    EXPECT_EQ(send.cells.row, cancel.cells.row);
    EXPECT_LT(send.cells.col + send.cells.cols, cancel.cells.col);
  }
}

// Template 129's controls in tab order, with what the terminal makes of each.
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
  std::size_t at = layout.count;  // nothing focused: the first that takes the focus
  for (const int id : {IDC_HANDLE, IDC_SEND, IDCANCEL, IDC_RESULT, IDC_HANDLE}) {
    at = NextTabStop(layout, at, false);
    ASSERT_LT(at, layout.count);
    EXPECT_EQ(layout.controls.at(at).source->id, id);
  }
  for (const int id : {IDC_RESULT, IDCANCEL, IDC_SEND, IDC_HANDLE}) {
    at = NextTabStop(layout, at, true);
    ASSERT_LT(at, layout.count);
    EXPECT_EQ(layout.controls.at(at).source->id, id);
  }
}

}  // namespace
}  // namespace brindle::terminal
