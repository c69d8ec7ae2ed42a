// The text of one box in the terminal dialog and the player's editing of it: a fixed buffer,
// a caret, the EM_LIMITTEXT limit and the select-all that focusing by keyboard gives.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace brindle::terminal {

// Room of every box, terminator included; longer texts set by the program are cut.
inline constexpr std::size_t kItemTextCapacity = 512;

class EditText {
 public:
  // Replaces the text (cut to the capacity, not to the limit), caret at the start.
  void Set(std::u16string_view text);
  [[nodiscard]] std::u16string_view Text() const { return {text_.data(), length_}; }
  [[nodiscard]] std::size_t Caret() const { return caret_; }
  [[nodiscard]] bool AllSelected() const { return allSelected_ && length_ > 0; }
  // 0 means no limit beyond the capacity.
  void SetLimit(std::uint32_t limit);
  void SelectAll() { allSelected_ = true; }

  // Typing: replaces a selection; refused (false) when the limit is reached.
  bool Insert(char16_t c);
  void Backspace();
  void Delete();
  void Left();
  void Right();
  void Home();
  void End();

 private:
  void EraseRange(std::size_t from, std::size_t to);
  bool DropSelection();
  // A "\r\n" pair counts as one step for the caret.
  [[nodiscard]] std::size_t StepBack(std::size_t at) const;
  [[nodiscard]] std::size_t StepForward(std::size_t at) const;

  std::array<char16_t, kItemTextCapacity> text_{};
  std::size_t length_ = 0;
  std::size_t caret_ = 0;
  std::size_t limit_ = kItemTextCapacity - 1;
  bool allSelected_ = false;
};

struct LineSpan {
  std::size_t start = 0;
  std::size_t length = 0;
};

// Splits a multi-line text at "\r\n" (or a lone '\r' or '\n') and wraps what is wider than
// `width` at the last space that fits, else at the width. Returns the number of lines, at
// most out.size(); the rest is dropped.
std::size_t WrapLines(std::u16string_view text, std::size_t width, std::span<LineSpan> out);

// The wrapped line holding `caret` (the last line when the caret is behind them all).
std::size_t LineOfCaret(std::span<const LineSpan> lines, std::size_t caret);

}  // namespace brindle::terminal
