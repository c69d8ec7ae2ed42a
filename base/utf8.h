// Text between the library's one-byte-a-character Latin-1 and the UTF-8 of command lines,
// terminals, logs and web pages; UTF-16 for the library's calls.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace brindle {

// Appends each byte as the character of the same code, in UTF-8.
inline void AppendLatin1(std::string& out, std::string_view bytes) {
  for (const char c : bytes) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0U | (code >> 6U));
      out += static_cast<char>(0x80U | (code & 0x3FU));
    }
  }
}

// The same into a new string.
inline std::string Latin1ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  AppendLatin1(out, bytes);
  return out;
}

// Still one byte a character, with the control characters (C0, DEL, C1) as \xNN: what a
// terminal or a log line may show of a handle without it moving the cursor, setting the
// window's title or starting a new line.
std::string EscapeControls(std::string_view bytes);

// The columns UTF-8 text takes on a terminal, taking each character as one column: true of
// every character Latin-1 text becomes (and of the escapes EscapeControls writes).
inline std::size_t DisplayWidth(std::string_view utf8) {
  std::size_t width = 0;
  for (const char c : utf8) {
    width += (static_cast<unsigned char>(c) & 0xC0U) == 0x80U ? 0 : 1;  // not a continuation
  }
  return width;
}

// nullopt for malformed UTF-8 (bad sequences, overlong forms, surrogates, beyond U+10FFFF).
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);

}  // namespace brindle
