// Command-line texts arrive as UTF-8; the library takes UTF-16.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace brindle::tools {

// Each byte as the character of the same code, in UTF-8.
std::string Latin1ToUtf8(std::string_view bytes);

// nullopt for malformed UTF-8 (bad sequences, overlong forms, surrogates, beyond U+10FFFF).
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);

}  // namespace brindle::tools
