#include "codec/payload_decode.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "base/text.h"
#include "codec/hex.h"
#include "codec/score_payload.h"

namespace brindle {
namespace {

// The payload byte of every pair of score-text septets, the first in the low seven bits: the
// pair read as ParseHexByte reads it (the alphabet maps every hex digit to itself and nothing
// else to one), unscrambled. One lookup per byte.
constexpr std::array<std::uint8_t, std::size_t{1} << 14U> kPayloadBytes = [] {
  std::array<std::uint8_t, std::size_t{1} << 14U> bytes{};
  for (std::size_t pair = 0; pair < bytes.size(); ++pair) {
    const std::array<char, 2> digits = {static_cast<char>(pair & 0x7FU),
                                        static_cast<char>(pair >> 7U)};
    bytes[pair] = UnscrambleByte(static_cast<std::uint8_t>(ParseHexByte({digits.data(), 2})));
  }
  return bytes;
}();

}  // namespace

std::size_t DecodeScoreSeptets(std::span<const std::uint8_t> octets, int count, std::size_t skip,
                               std::span<char> out) {
  if (out.empty()) {
    return 0;
  }
  const auto septets = static_cast<std::size_t>(std::clamp(count, 0, int{kMaxSeptets}));
  const std::size_t first = skip + kScoreTextMarker.size();
  const std::size_t pairs = std::min(septets > first ? (septets - first) / 2 : 0, out.size() - 1);
  // Septet i is bits 7i to 7i + 6 of the octets, low bits first. Four pairs (56 bits) at a
  // time from one word while eight octets are there, their bytes stored together; a zero byte
  // among them ends the payload.
  std::size_t k = 0;
  for (; k + 4 <= pairs && 7 * (first + 2 * k) / 8 + 8 <= octets.size(); k += 4) {
    const std::size_t bit = 7 * (first + 2 * k);
    std::uint64_t window = 0;
    std::memcpy(&window, octets.data() + bit / 8, sizeof(window));
    window >>= bit % 8;
    std::uint32_t bytes = 0;
    for (unsigned j = 0; j < 4; ++j) {
      bytes |= std::uint32_t{kPayloadBytes[(window >> (14 * j)) & 0x3FFFU]} << (8 * j);
    }
    std::memcpy(out.data() + k, &bytes, sizeof(bytes));
    const std::uint32_t zeros = (bytes - 0x01010101U) & ~bytes & 0x80808080U;
    if (zeros != 0) {
      k += static_cast<std::size_t>(std::countr_zero(zeros)) / 8;
      out[k] = '\0';
      return k;
    }
  }
  for (; k < pairs; ++k) {
    // A pair's 14 bits lie in the three octets from the first one's.
    const std::size_t bit = 7 * (first + 2 * k);
    const std::size_t at = bit / 8;
    std::uint32_t window = 0;
    if (at + sizeof(window) <= octets.size()) {
      std::memcpy(&window, octets.data() + at, sizeof(window));
    } else {
      for (std::size_t j = 0; j < 3 && at + j < octets.size(); ++j) {
        window |= std::uint32_t{octets[at + j]} << (8 * j);
      }
    }
    const std::uint8_t byte = kPayloadBytes[(window >> (bit % 8)) & 0x3FFFU];
    if (byte == 0) {
      break;  // the payload ends at the first zero byte
    }
    out[k] = static_cast<char>(byte);
  }
  out[k] = '\0';
  return k;
}

int DecodeScoreText(std::string_view userDataHex, std::span<char> out) {
  const int count = ParseHexByte(userDataHex);
  const std::string_view hex = userDataHex.substr(std::min<std::size_t>(2, userDataHex.size()));
  std::array<std::uint8_t, kOctetWorkArea> octets;  // NOLINT: the first n are written
  const std::size_t n = std::min(hex.size() / 2, octets.size());
  for (std::size_t k = 0; k < n; ++k) {
    octets[k] = static_cast<std::uint8_t>(ParseHexByte(hex.substr(2 * k)));
  }
  DecodeScoreSeptets(std::span<const std::uint8_t>(octets).first(n), count, 0, out);
  return 1;
}

}  // namespace brindle
