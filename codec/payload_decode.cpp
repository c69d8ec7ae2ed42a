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
int ParseHexByte(std::string_view pair) {
  const int high = pair.empty() ? -1 : hex::DigitValue(pair[0]);
  if (high < 0) {
    return 0;
  }
  const int low = pair.size() < 2 ? -1 : hex::DigitValue(pair[1]);
  return low < 0 ? high : high * 16 + low;
}

std::size_t UnpackSeptetValues(int count, std::span<const std::uint8_t> octets,
                               std::span<char> out) {
  const std::size_t n = std::min(static_cast<std::size_t>(std::max(count, 0)), out.size());
  // Septet i is bits 7i..7i+6 of the octet stream, low bits first: every seven octets give
  // eight septets, spread from one little-endian word into eight bytes at once.
  std::size_t i = 0;
  std::size_t k = 0;
  constexpr bool kLittleEndian = std::endian::native == std::endian::little;
  for (; i + 8 <= n && k + 7 <= octets.size(); i += 8, k += 7) {
    std::uint64_t group = 0;
    if (kLittleEndian && k + 8 <= octets.size()) {
      std::memcpy(&group, octets.data() + k, sizeof(group));  // the eighth octet is unused
    } else {
      for (std::size_t j = 0; j < 7; ++j) {
        group |= std::uint64_t{octets[k + j]} << (8 * j);
      }
    }
    // Spread the 56 bits into eight bytes in three halving steps: two 28-bit halves into
    // 32-bit lanes, four 14-bit quarters into 16-bit lanes, eight septets into bytes.
    std::uint64_t spread = group & 0x00FFFFFFFFFFFFFFU;
    spread = (spread & 0x000000000FFFFFFFU) | ((spread & 0x00FFFFFFF0000000U) << 4U);
    spread = (spread & 0x00003FFF00003FFFU) | ((spread & 0x0FFFC0000FFFC000U) << 2U);
    spread = (spread & 0x007F007F007F007FU) | ((spread & 0x3F803F803F803F80U) << 1U);
    if constexpr (kLittleEndian) {
      std::memcpy(out.data() + i, &spread, sizeof(spread));
    } else {
      for (std::size_t j = 0; j < 8; ++j) {
        out[i + j] = static_cast<char>(spread >> (8 * j));
      }
    }
  }
  std::uint32_t bits = 0;
  unsigned held = 0;
  for (; i < n; ++i) {
    if (held < 7) {
      bits |= (k < octets.size() ? std::uint32_t{octets[k]} : 0U) << held;
      ++k;
      held += 8;
    }
    out[i] = static_cast<char>(bits & 0x7FU);
    bits >>= 7U;
    held -= 7;
  }
  return n;
}

std::size_t DecodeScoreTextFromText(std::string_view scoreText, std::span<char> out) {
  if (out.empty()) {
    return 0;
  }
  const std::string_view digits = scoreText.size() < kScoreTextMarker.size()
                                      ? std::string_view{}
                                      : scoreText.substr(kScoreTextMarker.size());
  const std::size_t n = std::min(digits.size() / 2, out.size() - 1);
  std::size_t k = 0;
  for (; k < n; ++k) {
    // ParseHexByte's reading of the pair, without its bounds checks: both digits are there.
    const int high = hex::DigitValue(digits[2 * k]);
    const int low = hex::DigitValue(digits[2 * k + 1]);
    const int octet = high < 0 ? 0 : low < 0 ? high : high * 16 + low;
    const auto byte = UnscrambleByte(static_cast<std::uint8_t>(octet));
    if (byte == 0) {
      break;  // the payload ends at the first zero byte
    }
    out[k] = static_cast<char>(byte);
  }
  out[k] = '\0';
  return k;
}

std::size_t DecodeScoreSeptets(std::span<const std::uint8_t> octets, int count, std::size_t skip,
                               std::span<char> out) {
  std::array<char, kMaxSeptets> text;  // NOLINT: the septets are written before they are read
  const std::size_t n = UnpackSeptetValues(count, octets, text);
  return DecodeScoreTextFromText(std::string_view(text.data(), n).substr(std::min(skip, n)), out);
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
