// char16_t and wchar_t meet only here, at the Win32 boundary. Both are UTF-16 on Windows;
// the characters are copied one by one rather than reinterpreted.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

namespace brindle {

// A terminated wide copy of a text for a Win32 call, cut to fit its capacity.
template <std::size_t Capacity>
class WideText {
 public:
  explicit WideText(std::u16string_view text) {
    const std::size_t count = text.size() < Capacity ? text.size() : Capacity - 1;
    for (std::size_t i = 0; i < count; ++i) {
      chars_[i] = static_cast<wchar_t>(text[i]);
    }
  }
  [[nodiscard]] const wchar_t* Get() const { return chars_.data(); }

 private:
  std::array<wchar_t, Capacity> chars_{};
};

// Copies a terminated Win32 text into `out`, cut to fit; returns the characters kept.
inline std::size_t CopyFromWide(const wchar_t* text, std::span<char16_t> out) {
  if (out.empty()) {
    return 0;
  }
  std::size_t count = 0;
  while (count + 1 < out.size() && text[count] != L'\0') {
    out[count] = static_cast<char16_t>(text[count]);
    ++count;
  }
  out[count] = u'\0';
  return count;
}

}  // namespace brindle
