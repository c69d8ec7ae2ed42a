#include "dialog/terminal/edit_text.h"

#include <algorithm>

namespace brindle::terminal {

void EditText::Set(std::u16string_view text) {
  length_ = std::min(text.size(), text_.size() - 1);
  std::copy_n(text.begin(), length_, text_.begin());
  text_.at(length_) = u'\0';
  caret_ = 0;
  allSelected_ = false;
}

void EditText::SetLimit(std::uint32_t limit) {
  limit_ = limit == 0 ? text_.size() - 1 : std::min<std::size_t>(limit, text_.size() - 1);
}

void EditText::EraseRange(std::size_t from, std::size_t to) {
  std::copy(text_.begin() + static_cast<std::ptrdiff_t>(to),
            text_.begin() + static_cast<std::ptrdiff_t>(length_),
            text_.begin() + static_cast<std::ptrdiff_t>(from));
  length_ -= to - from;
  text_.at(length_) = u'\0';
  caret_ = from;
}

bool EditText::DropSelection() {
  if (!AllSelected()) {
    allSelected_ = false;
    return false;
  }
  EraseRange(0, length_);
  allSelected_ = false;
  return true;
}

bool EditText::Insert(char16_t c) {
  DropSelection();
  if (length_ >= limit_) {
    return false;
  }
  std::copy_backward(text_.begin() + static_cast<std::ptrdiff_t>(caret_),
                     text_.begin() + static_cast<std::ptrdiff_t>(length_),
                     text_.begin() + static_cast<std::ptrdiff_t>(length_ + 1));
  text_.at(caret_) = c;
  ++length_;
  ++caret_;
  text_.at(length_) = u'\0';
  return true;
}

std::size_t EditText::StepBack(std::size_t at) const {
  if (at == 0) {
    return 0;
  }
  if (at >= 2 && text_.at(at - 2) == u'\r' && text_.at(at - 1) == u'\n') {
    return at - 2;
  }
  return at - 1;
}

std::size_t EditText::StepForward(std::size_t at) const {
  if (at >= length_) {
    return length_;
  }
  if (at + 1 < length_ && text_.at(at) == u'\r' && text_.at(at + 1) == u'\n') {
    return at + 2;
  }
  return at + 1;
}

void EditText::Backspace() {
  if (!DropSelection() && caret_ > 0) {
    EraseRange(StepBack(caret_), caret_);
  }
}

void EditText::Delete() {
  if (!DropSelection() && caret_ < length_) {
    EraseRange(caret_, StepForward(caret_));
  }
}

void EditText::Left() {
  caret_ = AllSelected() ? 0 : StepBack(caret_);
  allSelected_ = false;
}

void EditText::Right() {
  caret_ = AllSelected() ? length_ : StepForward(caret_);
  allSelected_ = false;
}

void EditText::Home() {
  caret_ = 0;
  allSelected_ = false;
}

void EditText::End() {
  caret_ = length_;
  allSelected_ = false;
}

std::size_t WrapLines(std::u16string_view text, std::size_t width, std::span<LineSpan> out) {
  std::size_t count = 0;
  std::size_t start = 0;
  width = std::max<std::size_t>(width, 1);
  while (count < out.size()) {
    std::size_t end = start;
    while (end < text.size() && text[end] != u'\r' && text[end] != u'\n') {
      ++end;
    }
    std::size_t lineStart = start;
    while (end - lineStart > width && count < out.size()) {
      std::size_t cut = lineStart + width;
      const std::size_t space = text.substr(lineStart, width + 1).rfind(u' ');
      if (space != std::u16string_view::npos && space > 0) {
        cut = lineStart + space + 1;  // the space stays at the end of the upper line
      }
      out[count++] = {lineStart, std::min(cut - lineStart, width)};
      lineStart = cut;
    }
    if (count == out.size()) {
      break;
    }
    out[count++] = {lineStart, end - lineStart};
    if (end >= text.size()) {
      break;
    }
    start = end + ((text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n') ? 2 : 1);
    if (start >= text.size()) {
      // A text ending in a line break shows an empty line behind it, where the caret goes.
      if (count < out.size()) {
        out[count++] = {start, 0};
      }
      break;
    }
  }
  return count;
}

std::size_t LineOfCaret(std::span<const LineSpan> lines, std::size_t caret) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const bool last = i + 1 == lines.size();
    if (caret < lines[i].start + lines[i].length || (last && caret >= lines[i].start) ||
        (!last && caret < lines[i + 1].start)) {
      return i;
    }
  }
  return lines.empty() ? 0 : lines.size() - 1;
}

}  // namespace brindle::terminal
