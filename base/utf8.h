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

// nullopt for malformed UTF-8 (bad sequences, overlong forms, surrogates, beyond U+10FFFF).
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);

}  // namespace brindle
