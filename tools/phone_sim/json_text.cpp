#include "tools/phone_sim/json_text.h"

#include <cstdint>

namespace brindle::sim {

void AppendJsonString(std::string& out, std::string_view bytes) {
  constexpr std::string_view kHex = "0123456789abcdef";
  out.push_back('"');
  for (const char byte : bytes) {
    const auto code = static_cast<std::uint8_t>(byte);
    switch (byte) {
      case '"':
        out += "\\\"";
        continue;
      case '\\':
        out += "\\\\";
        continue;
      case '\n':
        out += "\\n";
        continue;
      case '\r':
        out += "\\r";
        continue;
      case '\t':
        out += "\\t";
        continue;
      default:
        break;
    }
    if (code < 0x20 || code == 0x7F) {
      out += "\\u00";
      out.push_back(kHex[code >> 4U]);
      out.push_back(kHex[code & 0x0FU]);
    } else if (code < 0x80) {
      out.push_back(byte);
    } else {
      // U+0080..U+00FF in UTF-8: two bytes.
      out.push_back(static_cast<char>(0xC0U | (code >> 6U)));
      out.push_back(static_cast<char>(0x80U | (code & 0x3FU)));
    }
  }
  out.push_back('"');
}

}  // namespace brindle::sim
