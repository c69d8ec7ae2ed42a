#include "tools/json_writer.h"

#include <cstdint>

namespace brindle::tools {

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0U | (code >> 6U));
      out += static_cast<char>(0x80U | (code & 0x3FU));
    }
  }
  return out;
}

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
    } else {
      out += Latin1ToUtf8({&byte, 1});
    }
  }
  out.push_back('"');
}

void JsonObject::Key(std::string_view key) {
  if (text_.size() > 1) {
    text_ += ", ";
  }
  AppendJsonString(text_, key);
  text_ += ": ";
}

JsonObject& JsonObject::Text(std::string_view key, std::string_view bytes) {
  Key(key);
  AppendJsonString(text_, bytes);
  return *this;
}

JsonObject& JsonObject::Number(std::string_view key, std::int64_t value) {
  Key(key);
  text_ += std::to_string(value);
  return *this;
}

std::string JsonObject::Finish() const { return text_ + "}"; }

}  // namespace brindle::tools
