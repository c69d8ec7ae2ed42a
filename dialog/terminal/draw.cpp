#include "dialog/terminal/draw.h"

#include <curses.h>

#include <algorithm>
#include <array>

namespace brindle::terminal {
namespace {

constexpr std::size_t kMaxWrappedLines = 64;
constexpr int kProgressBarCells = 20;
constexpr std::size_t kMaxBoxWidth = 60;
constexpr wchar_t kUnprintable = L'?';

struct Caret {
  int row = -1;
  int col = -1;
};

// ncurses takes wchar_t; the dialog's texts are UTF-16 units of the basic plane.
void PutText(int row, int col, std::u16string_view text, int maxCols, attr_t attributes = 0) {
  if (maxCols <= 0 || row < 0 || row >= LINES) {
    return;
  }
  const std::size_t count = std::min(text.size(), static_cast<std::size_t>(maxCols));
  for (std::size_t i = 0; i < count; ++i) {
    const char16_t c = text[i];
    const bool printable = c >= u' ' && c != u'\x7F' && (c < 0xD800 || c > 0xDFFF);
    std::array<wchar_t, 2> cell = {printable ? static_cast<wchar_t>(c) : kUnprintable, L'\0'};
    cchar_t glyph{};
    setcchar(&glyph, cell.data(), attributes, 0, nullptr);
    mvadd_wch(row, col + static_cast<int>(i), &glyph);
  }
}

void DrawBox(const CellRect& r) {
  if (r.rows < 2 || r.cols < 2) {
    return;
  }
  const int bottom = r.row + r.rows - 1;
  const int right = r.col + r.cols - 1;
  // A box whose top lies on another box's bottom edge joins it with tees.
  const chtype below = mvinch(r.row, r.col) & A_CHARTEXT;
  const bool joins = below == (ACS_LLCORNER & A_CHARTEXT) || below == (ACS_LTEE & A_CHARTEXT);
  mvhline(r.row, r.col + 1, ACS_HLINE, r.cols - 2);
  mvhline(bottom, r.col + 1, ACS_HLINE, r.cols - 2);
  mvvline(r.row + 1, r.col, ACS_VLINE, r.rows - 2);
  mvvline(r.row + 1, right, ACS_VLINE, r.rows - 2);
  mvaddch(r.row, r.col, joins ? ACS_LTEE : ACS_ULCORNER);
  mvaddch(r.row, right, joins ? ACS_RTEE : ACS_URCORNER);
  mvaddch(bottom, r.col, ACS_LLCORNER);
  mvaddch(bottom, right, ACS_LRCORNER);
}

void ClearRect(const CellRect& r) {
  for (int row = r.row; row < r.row + r.rows; ++row) {
    mvhline(row, r.col, ' ', r.cols);
  }
}

void DrawSingleLineEdit(const PlacedControl& control, const EditText& edit, bool focused,
                        Caret& caret) {
  DrawBox(control.cells);
  const int row = control.cells.row + 1;
  const int width = std::max(1, control.cells.cols - 2);
  // Scrolls sideways so the caret stays in view.
  const std::size_t first = edit.Caret() >= static_cast<std::size_t>(width)
                                ? edit.Caret() - static_cast<std::size_t>(width) + 1
                                : 0;
  const attr_t look = !control.enabled ? A_DIM : (focused && edit.AllSelected() ? A_REVERSE : 0);
  PutText(row, control.cells.col + 1, edit.Text().substr(std::min(first, edit.Text().size())),
          width, look);
  if (focused) {
    caret = {row, control.cells.col + 1 + static_cast<int>(edit.Caret() - first)};
  }
}

void DrawMultiLineEdit(const PlacedControl& control, const EditText& edit, bool focused,
                       Caret& caret) {
  DrawBox(control.cells);
  const int rows = std::max(1, control.cells.rows - 2);
  const int width = std::max(1, control.cells.cols - 2);
  std::array<LineSpan, kMaxWrappedLines> storage{};
  const std::u16string_view text = edit.Text();
  std::size_t count = WrapLines(text, static_cast<std::size_t>(width), storage);
  const std::span<const LineSpan> lines(storage.data(), count);
  std::size_t first = 0;
  if (focused) {
    const std::size_t caretLine = LineOfCaret(lines, edit.Caret());
    first = caretLine >= static_cast<std::size_t>(rows)
                ? caretLine - static_cast<std::size_t>(rows) + 1
                : 0;
  } else {
    // The newest line stays in view while the send writes its progress.
    if (count > 1 && lines[count - 1].length == 0) {
      --count;
    }
    first = count > static_cast<std::size_t>(rows) ? count - static_cast<std::size_t>(rows) : 0;
  }
  const attr_t look = focused && edit.AllSelected() ? A_REVERSE : 0;
  for (int r = 0; r < rows && first + static_cast<std::size_t>(r) < count; ++r) {
    const LineSpan& line = lines[first + static_cast<std::size_t>(r)];
    PutText(control.cells.row + 1 + r, control.cells.col + 1, text.substr(line.start, line.length),
            width, look);
  }
  if (focused && !lines.empty()) {
    const std::size_t caretLine = LineOfCaret(lines, edit.Caret());
    const LineSpan& line = lines[caretLine];
    const auto column = std::min(edit.Caret() - std::min(edit.Caret(), line.start),
                                 static_cast<std::size_t>(width - 1));
    caret = {control.cells.row + 1 + static_cast<int>(caretLine - first),
             control.cells.col + 1 + static_cast<int>(column)};
  } else if (focused) {
    caret = {control.cells.row + 1, control.cells.col + 1};
  }
}

void DrawButton(const PlacedControl& control, const EditText& label, bool focused) {
  // The default button wears angle brackets, as a thick frame would mark it.
  const bool isDefault = control.kind == ControlKind::kDefaultButton;
  const std::u16string_view open = isDefault ? u"< " : u"[ ";
  const std::u16string_view close = isDefault ? u" >" : u" ]";
  const int width = static_cast<int>(label.Text().size() + open.size() + close.size());
  const int col = control.cells.col + std::max(0, (control.cells.cols - width) / 2);
  const attr_t look = focused ? A_REVERSE | A_BOLD : 0;
  PutText(control.cells.row, col, open, 2, look);
  PutText(control.cells.row, col + 2, label.Text(), control.cells.cols, look);
  PutText(control.cells.row, col + 2 + static_cast<int>(label.Text().size()), close, 2, look);
}

void DrawFrame(const DialogModel& model) {
  const CellRect& frame = model.layout.frame;
  ClearRect(frame);
  DrawBox(frame);
  const std::u16string_view title = model.title.Text();
  const int room = std::max(0, frame.cols - 4);
  const int width = std::min(room, static_cast<int>(title.size()));
  const int col = frame.col + (frame.cols - width - 2) / 2;
  PutText(frame.row, col, u" ", 1);
  PutText(frame.row, col + 1, title, width, A_BOLD);
  PutText(frame.row, col + 1 + width, u" ", 1);

  const int bottom = frame.row + frame.rows - 1;
  if (model.pauseTotal > 0) {
    // A pause of the phone dialogue: a bar that fills as the time passes.
    const auto filled =
        static_cast<int>(static_cast<std::uint64_t>(kProgressBarCells) *
                         std::min(model.pauseElapsed, model.pauseTotal) / model.pauseTotal);
    std::array<char16_t, kProgressBarCells + 2> bar{};
    bar.front() = u'[';
    for (int i = 0; i < kProgressBarCells; ++i) {
      bar.at(static_cast<std::size_t>(i) + 1) = i < filled ? u'#' : u'.';
    }
    bar.back() = u']';
    const std::u16string_view text(bar.data(), bar.size());
    PutText(bottom, frame.col + (frame.cols - static_cast<int>(text.size())) / 2, text,
            frame.cols - 2);
  } else {
    const std::u16string_view hint = u" Tab: next  Enter: Send SMS  Esc: Cancel ";
    if (static_cast<int>(hint.size()) <= frame.cols - 2) {
      PutText(bottom, frame.col + (frame.cols - static_cast<int>(hint.size())) / 2, hint,
              frame.cols - 2, A_DIM);
    }
  }
}

void DrawMessageBox(const MessageBoxView& box, Caret& caret) {
  std::array<LineSpan, kMaxWrappedLines> storage{};
  const std::size_t width = std::clamp<std::size_t>(
      std::max(box.text.size(), box.caption.size() + 2), 10,
      std::min<std::size_t>(kMaxBoxWidth, static_cast<std::size_t>(std::max(COLS - 6, 10))));
  const std::size_t count = WrapLines(box.text, width, storage);
  const int rows = static_cast<int>(count) + 4;
  const int cols = static_cast<int>(width) + 4;
  const CellRect r{std::max(0, (LINES - rows) / 2), std::max(0, (COLS - cols) / 2), rows, cols};
  ClearRect(r);
  DrawBox(r);
  PutText(r.row, r.col + 2, box.caption, cols - 4, A_BOLD);
  for (std::size_t i = 0; i < count; ++i) {
    PutText(r.row + 1 + static_cast<int>(i), r.col + 2,
            box.text.substr(storage.at(i).start, storage.at(i).length), cols - 4);
  }
  const int okCol = r.col + (cols - 6) / 2;
  PutText(r.row + rows - 2, okCol, u"< OK >", 6, A_REVERSE | A_BOLD);
  caret = {r.row + rows - 2, okCol + 2};
}

}  // namespace

void DrawScreen(const DialogModel& model, const MessageBoxView* box) {
  erase();
  DrawFrame(model);
  // Group boxes first and from the top down, so a box starting on another's bottom edge keeps
  // its title and joins that edge.
  std::array<std::size_t, kMaxControls> groups{};
  std::size_t groupCount = 0;
  for (std::size_t i = 0; i < model.layout.count; ++i) {
    const PlacedControl& control = model.layout.controls.at(i);
    if (control.visible && control.kind == ControlKind::kGroupBox) {
      groups.at(groupCount++) = i;
    }
  }
  std::sort(groups.begin(), groups.begin() + static_cast<std::ptrdiff_t>(groupCount),
            [&model](std::size_t a, std::size_t b) {
              return model.layout.controls.at(a).cells.row < model.layout.controls.at(b).cells.row;
            });
  for (std::size_t g = 0; g < groupCount; ++g) {
    const PlacedControl& control = model.layout.controls.at(groups.at(g));
    DrawBox(control.cells);
    PutText(control.cells.row, control.cells.col + 1, model.items.at(groups.at(g)).Text(),
            control.cells.cols - 2);
  }

  Caret caret;
  for (std::size_t i = 0; i < model.layout.count; ++i) {
    const PlacedControl& control = model.layout.controls.at(i);
    if (!control.visible || control.kind == ControlKind::kGroupBox) {
      continue;
    }
    const bool focused = box == nullptr && i == model.focus;
    const EditText& item = model.items.at(i);
    switch (control.kind) {
      case ControlKind::kGroupBox:
        break;
      case ControlKind::kLabel:
        PutText(control.cells.row, control.cells.col, item.Text(),
                static_cast<int>(item.Text().size()));
        break;
      case ControlKind::kEdit:
        DrawSingleLineEdit(control, item, focused, caret);
        break;
      case ControlKind::kMultiLineEdit:
        DrawMultiLineEdit(control, item, focused, caret);
        break;
      case ControlKind::kPushButton:
      case ControlKind::kDefaultButton:
        DrawButton(control, item, focused);
        break;
    }
  }
  if (box != nullptr) {
    DrawMessageBox(*box, caret);
  }
  if (caret.row >= 0) {
    curs_set(1);
    move(caret.row, caret.col);
  } else {
    curs_set(0);
  }
  refresh();
}

}  // namespace brindle::terminal
