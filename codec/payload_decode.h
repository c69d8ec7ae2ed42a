// The way back: user data hex (from TP-UDL on) to the score payload.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace brindle {

// Most septets a UDL octet can announce, and the payload bytes they can carry.
inline constexpr std::size_t kMaxSeptets = 255;
inline constexpr std::size_t kDecodedPayloadCapacity = 126;
inline constexpr std::size_t kOctetWorkArea = 400;  // octets of user data read from hex

// The first two characters as one hex number: the longest hexadecimal prefix of the pair,
// so "6Z" is 6 and "Z6" or "@@" is 0. Characters missing from a short text count as non-hex.
int ParseHexByte(std::string_view pair);

// The septets themselves (0 to 127, no alphabet, no NUL written): min(count, out.size())
// of them, which it returns. For the score text this is as good as the characters, since the
// alphabet maps every hex digit to itself and nothing else to a hex digit.
std::size_t UnpackSeptetValues(int count, std::span<const std::uint8_t> octets,
                               std::span<char> out);

// Drops the four-character marker, reads the hex digits behind it, unscrambles them and
// writes the payload, NUL-terminated (it ends at the first zero byte), into `out`. Returns
// the payload's length.
std::size_t DecodeScoreTextFromText(std::string_view scoreText, std::span<char> out);

// The same from the septets themselves: `count` septets packed in `octets` (octets past
// its end count as zero), the score text from septet `skip` on.
std::size_t DecodeScoreSeptets(std::span<const std::uint8_t> octets, int count, std::size_t skip,
                               std::span<char> out);

// TP-UDL and TP-UD as hex text to the payload. Always 1.
int DecodeScoreText(std::string_view userDataHex, std::span<char> out);

}  // namespace brindle
