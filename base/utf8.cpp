#include "base/utf8.h"

#include <cstdint>

namespace brindle {

std::string EscapeControls(std::string_view bytes) {
  constexpr std::string_view kHex = "0123456789ABCDEF";
  std::string out;
  for (const char c : bytes) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 0x20 || (code >= 0x7F && code < 0xA0)) {
      out += "\\x";
      out += kHex[code >> 4U];
      out += kHex[code & 0xFU];
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t code = 0;
    std::uint32_t least = 0;
    if (lead < 0x80) {
      length = 1;
      code = lead;
    } else if ((lead & 0xE0U) == 0xC0U) {
      length = 2;
      code = lead & 0x1FU;
      least = 0x80;
    } else if ((lead & 0xF0U) == 0xE0U) {
      length = 3;
      code = lead & 0x0FU;
      least = 0x800;
    } else if ((lead & 0xF8U) == 0xF0U) {
      length = 4;
      code = lead & 0x07U;
      least = 0x10000;
    } else {
      return std::nullopt;
    }
    if (text.size() - i < length) {
      return std::nullopt;
    }
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0U) != 0x80U) {
        return std::nullopt;
      }
      code = (code << 6U) | (next & 0x3FU);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return std::nullopt;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800U + (code >> 10U));
      out += static_cast<char16_t>(0xDC00U + (code & 0x3FFU));
    } else {
      out += static_cast<char16_t>(code);
    }
    i += length;
  }
  return out;
}

}  // namespace brindle
