// Reading the text of AT command lines: letters in either case, blanks around parameters,
// decimal parameters.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindle::sim {

inline char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsLetter(char c) { return Upper(c) >= 'A' && Upper(c) <= 'Z'; }

// Without the blanks at either end.
std::string_view Trim(std::string_view text);
std::string UpperText(std::string_view text);
// A whole decimal number of at most three digits, as AT+CMGS takes it.
std::optional<int> SmallNumber(std::string_view text);
// Comma-separated decimal parameters, each of at most six digits or left out; nothing when
// one is anything else.
std::optional<std::vector<std::optional<int>>> Numbers(std::string_view text);
// Comma-separated parameters, each without its blanks; at least one.
std::vector<std::string_view> Items(std::string_view text);

}  // namespace brindle::sim
