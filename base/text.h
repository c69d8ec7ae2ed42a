// Fixed-buffer text helpers shared by every layer. Wide texts are UTF-16; narrow texts are
// one byte per character (Latin-1), the same on every platform and in every locale.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace brindle {

// U+0000..U+00FF become that byte; any other character becomes '?'.
char NarrowChar(char16_t c);
// Each byte becomes the character with the same code.
char16_t WidenChar(char c);

// Convert min(text.size(), out.size()) characters; no terminator is written. Returns the count.
std::size_t NarrowText(std::u16string_view text, std::span<char> out);
std::size_t WidenText(std::string_view text, std::span<char16_t> out);

// The text in a buffer up to its first NUL, or the whole buffer when it holds none.
std::string_view TerminatedView(std::span<const char> buffer);
std::u16string_view TerminatedView(std::span<const char16_t> buffer);
// Length of a NUL-terminated wide string (the platform boundary hands these over).
std::u16string_view TerminatedView(const char16_t* text);

// The text without the blanks, tabs and line ends around it.
std::string_view TrimBlanks(std::string_view text);

// Replace the buffer's text with as much of `text` as fits before a terminator.
// Returns the number of characters kept. An empty buffer is left alone.
std::size_t CopyText(std::u16string_view text, std::span<char16_t> buffer);
std::size_t CopyText(std::string_view text, std::span<char> buffer);
// Append behind the buffer's current text, cut to fit. Returns the characters appended.
std::size_t AppendText(std::u16string_view text, std::span<char16_t> buffer);
std::size_t AppendText(std::string_view text, std::span<char> buffer);

}  // namespace brindle
