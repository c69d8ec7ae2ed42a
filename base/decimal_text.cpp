#include "base/decimal_text.h"

#include <array>
#include <charconv>

#include "base/text.h"

namespace brindle {

std::u16string_view FormatDecimal(std::int32_t value, std::span<char16_t, kDecimalCapacity> out) {
  std::array<char, kDecimalCapacity> digits{};
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size() - 1, value);
  const std::size_t n = WidenText({digits.data(), result.ptr}, out.first(kDecimalCapacity - 1));
  out[n] = u'\0';
  return {out.data(), n};
}

}  // namespace brindle
