// Command-line texts arrive as UTF-8; the library takes UTF-16.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace brindle::tools {

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

// nullopt for malformed UTF-8 (bad sequences, overlong forms, surrogates, beyond U+10FFFF).
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);

}  // namespace brindle::tools
