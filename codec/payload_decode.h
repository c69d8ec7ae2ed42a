// The way back: user data hex (from TP-UDL on) to the score payload.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "codec/hex.h"

namespace brindle {

// Most septets a UDL octet can announce, and the payload bytes they can carry.
inline constexpr std::size_t kMaxSeptets = 255;
inline constexpr std::size_t kDecodedPayloadCapacity = 126;
inline constexpr std::size_t kOctetWorkArea = 400;  // octets of user data read from hex

// The first two characters as one hex number: the longest hexadecimal prefix of the pair,
// so "6Z" is 6 and "Z6" or "@@" is 0. Characters missing from a short text count as non-hex.
constexpr int ParseHexByte(std::string_view pair) {
  const int high = pair.empty() ? -1 : hex::DigitValue(pair[0]);
  if (high < 0) {
    return 0;
  }
  const int low = pair.size() < 2 ? -1 : hex::DigitValue(pair[1]);
  return low < 0 ? high : high * 16 + low;
}

// The score payload of `count` septets packed in `octets` (octets past its end count as
// zero), the score text from septet `skip` on: the four-character marker dropped, each pair of
// hex digits behind it unscrambled into a byte, up to the first zero byte. Written
// NUL-terminated into `out`; returns the payload's length.
std::size_t DecodeScoreSeptets(std::span<const std::uint8_t> octets, int count, std::size_t skip,
                               std::span<char> out);

// TP-UDL and TP-UD as hex text to the payload. Always 1.
int DecodeScoreText(std::string_view userDataHex, std::span<char> out);

}  // namespace brindle
