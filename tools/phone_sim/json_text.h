// JSON string text for raw bytes: each byte stands for the character of the same code, so a
// reader gets the bytes back by taking every character's code (Latin-1), and the text is UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace brindle::sim {

// Appends `bytes` as a quoted JSON string.
void AppendJsonString(std::string& out, std::string_view bytes);

}  // namespace brindle::sim
