#include "codec/payload_decode.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "codec/gsm_alphabet.h"
#include "codec/score_payload.h"
#include "codec/text.h"

namespace brindle {
namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

// Octet k of packed hex; pairs past the end (or a lone last digit) read as zero.
unsigned OctetAt(std::string_view hex, std::size_t k) {
  return 2 * k + 2 <= hex.size() ? static_cast<unsigned>(ParseHexByte(hex.substr(2 * k))) : 0U;
}

}  // namespace

int ParseHexByte(std::string_view pair) {
  int value = 0;
  for (std::size_t i = 0; i < 2 && i < pair.size(); ++i) {
    const int digit = HexDigitValue(pair[i]);
    if (digit < 0) {
      break;
    }
    value = value * 16 + digit;
  }
  return value;
}

int HexToBytes(int count, std::string_view hex, std::span<char> out) {
  const std::size_t n = std::min(static_cast<std::size_t>(std::max(count, 0)), out.size());
  for (std::size_t k = 0; k < n; ++k) {
    const std::size_t at = std::min(2 * k, hex.size());
    out[k] = static_cast<char>(ParseHexByte(hex.substr(at)));
  }
  return 1;
}

int UnpackSeptets(int count, std::string_view hex, std::span<char> out) {
  if (out.empty()) {
    return 1;
  }
  const std::size_t n = std::min(static_cast<std::size_t>(std::max(count, 0)), out.size() - 1);
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t bit = 7 * i;
    const std::size_t k = bit / 8;
    const std::size_t shift = bit % 8;
    const unsigned pair = OctetAt(hex, k) | (OctetAt(hex, k + 1) << 8);
    out[i] = CharOfSeptet(static_cast<std::uint8_t>((pair >> shift) & 0x7FU));
  }
  out[n] = '\0';
  return 1;
}

int DecodeScoreTextFromText(std::string_view scoreText, std::span<char> out) {
  if (out.empty()) {
    return 1;
  }
  const std::string_view digits =
      scoreText.size() < kScoreTextMarker.size() ? std::string_view{}
                                                 : scoreText.substr(kScoreTextMarker.size());
  const std::size_t n = std::min(digits.size() / 2, out.size() - 1);
  std::size_t k = 0;
  for (; k < n; ++k) {
    const auto byte = UnscrambleByte(static_cast<std::uint8_t>(ParseHexByte(digits.substr(2 * k))));
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
