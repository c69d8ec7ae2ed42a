// One JSON object on one line. Texts are byte strings shown as the characters of the same
// codes, so the JSON itself is UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brindle::tools {

// Each byte as the character of the same code, in UTF-8.
std::string Latin1ToUtf8(std::string_view bytes);

// Appends `bytes` as a quoted JSON string, each byte standing for the character of the same
// code, so a reader gets the bytes back by taking every character's code.
void AppendJsonString(std::string& out, std::string_view bytes);

class JsonObject {
 public:
  JsonObject& Text(std::string_view key, std::string_view bytes);
  JsonObject& Number(std::string_view key, std::int64_t value);
  // The object's text, closed, without a line end.
  [[nodiscard]] std::string Finish() const;

 private:
  void Key(std::string_view key);
  std::string text_ = "{";
};

}  // namespace brindle::tools
