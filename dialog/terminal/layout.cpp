#include "dialog/terminal/layout.h"

#include <algorithm>

namespace brindle::terminal {
namespace {

// Below the last visible control the template keeps room for the handheld's input panel,
// which a terminal does not need: only this margin is kept.
constexpr int kBottomMarginUnits = 4;

struct Scale {
  int units;  // dialog units across (or down) the inner area
  int cells;  // cells across (or down) the inner area

  // Rounded, so neighbouring controls keep their order and gaps.
  [[nodiscard]] int Map(int unit) const { return (unit * cells + units / 2) / units; }
};

bool HasStyle(const ControlTemplate& control, std::uint32_t bits) {
  return (control.style & bits) == bits;
}

}  // namespace

ControlKind KindOf(const ControlTemplate& control) {
  if (control.className == u"EDIT") {
    return HasStyle(control, kEsMultiLine) ? ControlKind::kMultiLineEdit : ControlKind::kEdit;
  }
  if (control.className == u"BUTTON") {
    switch (control.style & kBsTypeMask) {
      case kBsGroupBox:
        return ControlKind::kGroupBox;
      case kBsDefPushButton:
        return ControlKind::kDefaultButton;
      default:
        return ControlKind::kPushButton;
    }
  }
  return ControlKind::kLabel;
}

DialogLayout LayoutDialog(const DialogTemplate& dialog, int lines, int cols) {
  DialogLayout layout;
  int contentBottom = 0;
  for (const ControlTemplate& control : dialog.controls) {
    if (HasStyle(control, kWsVisible)) {
      contentBottom = std::max(contentBottom, control.y + control.cy);
    }
  }
  const Scale across{std::max<int>(dialog.cx, 1), std::clamp(cols - 2, 1, kMaxInnerCols)};
  const Scale down{std::max(contentBottom + kBottomMarginUnits, 1),
                   std::clamp(lines - 2, 1, kMaxInnerRows)};
  layout.frame = {std::max(0, (lines - down.cells - 2) / 2),
                  std::max(0, (cols - across.cells - 2) / 2), down.cells + 2, across.cells + 2};
  const int top = layout.frame.row + 1;
  const int left = layout.frame.col + 1;

  for (const ControlTemplate& control : dialog.controls) {
    if (layout.count == layout.controls.size()) {
      break;
    }
    PlacedControl& placed = layout.controls.at(layout.count++);
    placed.source = &control;
    placed.kind = KindOf(control);
    placed.visible = HasStyle(control, kWsVisible);
    placed.enabled = !HasStyle(control, kWsDisabled);
    placed.tabStop = HasStyle(control, kWsTabStop);

    const int col = left + across.Map(control.x);
    const int width = std::max(1, across.Map(control.x + control.cx) - across.Map(control.x));
    const int centre = top + down.Map(control.y + control.cy / 2);
    switch (placed.kind) {
      case ControlKind::kGroupBox:
      case ControlKind::kMultiLineEdit: {
        // Boxes keep their top and bottom edge, so a box needs at least three rows.
        const int row = top + down.Map(control.y);
        const int bottom = top + down.Map(control.y + control.cy);
        placed.cells = {row, col, std::max(3, bottom - row + 1), width};
        break;
      }
      case ControlKind::kEdit:
        placed.cells = {centre - 1, col, 3, width};  // framed, text on the centre row
        break;
      default:
        placed.cells = {centre, col, 1, width};
        break;
    }
  }
  return layout;
}

std::size_t NextTabStop(const DialogLayout& layout, std::size_t from, bool backwards) {
  const std::size_t count = layout.count;
  if (count == 0) {
    return count;
  }
  std::size_t index = from >= count ? (backwards ? 0 : count - 1) : from;
  for (std::size_t step = 0; step < count; ++step) {
    index = backwards ? (index + count - 1) % count : (index + 1) % count;
    const PlacedControl& control = layout.controls.at(index);
    if (control.visible && control.enabled && control.tabStop) {
      return index;
    }
  }
  return count;
}

}  // namespace brindle::terminal
