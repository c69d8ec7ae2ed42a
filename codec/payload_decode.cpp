#include "codec/payload_decode.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "base/text.h"
#include "codec/gsm_alphabet.h"
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

int UnpackSeptets(int count, std::string_view hex, std::span<char> out) {
  std::array<std::uint8_t, kOctetWorkArea> octets{};
  const std::size_t n = std::min(hex.size() / 2, octets.size());
  for (std::size_t k = 0; k < n; ++k) {
    octets[k] = static_cast<std::uint8_t>(ParseHexByte(hex.substr(2 * k)));
  }
  return UnpackSeptetOctets(count, std::span<const std::uint8_t>(octets).first(n), out);
}

int UnpackSeptetOctets(int count, std::span<const std::uint8_t> octets, std::span<char> out) {
  if (out.empty()) {
    return 1;
  }
  const std::size_t n = std::min(static_cast<std::size_t>(std::max(count, 0)), out.size() - 1);
  // Septet i is bits 7i..7i+6 of the octet stream, low bits first: every seven octets give
  // eight septets, taken whole while eight octets can be read.
  std::size_t i = 0;
  std::size_t k = 0;
  for (; i + 8 <= n && k + 8 <= octets.size(); i += 8, k += 7) {
    std::uint64_t group = 0;
    std::memcpy(&group, octets.data() + k, sizeof(group));
    for (std::size_t j = 0; j < 8; ++j) {
      out[i + j] = CharOfSeptet(static_cast<std::uint8_t>(group >> (7 * j)));
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
    out[i] = CharOfSeptet(static_cast<std::uint8_t>(bits & 0x7FU));
    bits >>= 7U;
    held -= 7;
  }
  out[n] = '\0';
  return 1;
}

int DecodeScoreTextFromText(std::string_view scoreText, std::span<char> out) {
  if (out.empty()) {
    return 1;
  }
  const std::string_view digits = scoreText.size() < kScoreTextMarker.size()
                                      ? std::string_view{}
                                      : scoreText.substr(kScoreTextMarker.size());
  const std::size_t n = std::min(digits.size() / 2, out.size() - 1);
  std::size_t k = 0;
  for (; k < n; ++k) {
    int value = hex::ReadPair(digits.data() + 2 * k);
    if (value < 0) {
      value = ParseHexByte(digits.substr(2 * k, 2));  // the rare stray character
    }
    const auto byte = UnscrambleByte(static_cast<std::uint8_t>(value));
    if (byte == 0) {
      break;
    }
    out[k] = static_cast<char>(byte);
  }
  out[k] = '\0';
  return 1;
}

int DecodeScoreText(std::string_view userDataHex, std::span<char> out) {
  std::array<char, kMaxSeptets + 1> text{};
  const int count = ParseHexByte(userDataHex);
  UnpackSeptets(count, userDataHex.substr(std::min<std::size_t>(2, userDataHex.size())), text);
  return DecodeScoreTextFromText(TerminatedView(std::span<const char>(text)), out);
}

}  // namespace brindle
