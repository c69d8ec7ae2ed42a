#include "tools/json_writer.h"

#include <array>
#include <cstdio>

namespace brindle::tools {
namespace {

void AppendEscaped(std::string& out, std::string_view bytes) {
  out += '"';
  for (const char c : bytes) {
    const auto code = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (code < 0x20 || code == 0x7F) {
      std::array<char, 8> escape{};
      static_cast<void>(std::snprintf(escape.data(), escape.size(), "\\u%04x", code));
      out += escape.data();
    } else {
      out += Latin1ToUtf8({&c, 1});
    }
  }
  out += '"';
}

}  // namespace

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

void JsonObject::Key(std::string_view key) {
  if (text_.size() > 1) {
    text_ += ", ";
  }
  AppendEscaped(text_, key);
  text_ += ": ";
}

JsonObject& JsonObject::Text(std::string_view key, std::string_view bytes) {
  Key(key);
  AppendEscaped(text_, bytes);
  return *this;
}

JsonObject& JsonObject::Number(std::string_view key, std::int64_t value) {
  Key(key);
  text_ += std::to_string(value);
  return *this;
}

std::string JsonObject::Finish() const { return text_ + "}"; }

}  // namespace brindle::tools
