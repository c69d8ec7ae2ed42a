// Where each control of a dialog template lands on a character-cell screen. Pure arithmetic,
// so it is tested without a terminal.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "dialog/dialog_template.h"

namespace brindle::terminal {

inline constexpr std::uint32_t kWsVisible = 0x10000000;
inline constexpr std::uint32_t kWsDisabled = 0x08000000;
inline constexpr std::uint32_t kWsTabStop = 0x00010000;
inline constexpr std::uint32_t kEsMultiLine = 0x0004;
inline constexpr std::uint32_t kBsTypeMask = 0x000F;
inline constexpr std::uint32_t kBsDefPushButton = 0x0001;
inline constexpr std::uint32_t kBsGroupBox = 0x0007;

// The dialog is never drawn wider or taller than this, however large the terminal.
inline constexpr int kMaxInnerCols = 78;
inline constexpr int kMaxInnerRows = 30;
inline constexpr std::size_t kMaxControls = 16;

struct CellRect {
  int row = 0;
  int col = 0;
  int rows = 0;
  int cols = 0;
};

enum class ControlKind { kEdit, kMultiLineEdit, kPushButton, kDefaultButton, kGroupBox, kLabel };

struct PlacedControl {
  const ControlTemplate* source = nullptr;
  ControlKind kind = ControlKind::kLabel;
  bool visible = false;
  bool enabled = false;
  bool tabStop = false;
  CellRect cells;
};

struct DialogLayout {
  CellRect frame;  // border included; the title sits on its top row
  std::array<PlacedControl, kMaxControls> controls{};
  std::size_t count = 0;  // controls beyond kMaxControls are left out

  [[nodiscard]] std::span<const PlacedControl> Controls() const { return {controls.data(), count}; }
};

ControlKind KindOf(const ControlTemplate& control);

// Fits the visible controls into a screen of `lines` by `cols` cells, centred.
DialogLayout LayoutDialog(const DialogTemplate& dialog, int lines, int cols);

// Index of the next (or, with `backwards`, previous) control that takes the focus by Tab:
// visible, enabled, with a tab stop. `from` may be count to start from the top. Returns count
// when no control takes the focus.
std::size_t NextTabStop(const DialogLayout& layout, std::size_t from, bool backwards);

}  // namespace brindle::terminal
