// The decimal text of a 32-bit number as the dialog shows it: base 10, '-' in front when
// negative.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace brindle {

// "-2147483648" and a terminator.
inline constexpr std::size_t kDecimalCapacity = 12;

// Writes the text, NUL-terminated, into `out` and returns a view of it.
std::u16string_view FormatDecimal(std::int32_t value, std::span<char16_t, kDecimalCapacity> out);

}  // namespace brindle
