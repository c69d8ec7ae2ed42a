// Hex digit tables shared by the encoders and decoders; inline because every octet of a
// message passes through them.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace brindle::hex {

// The word-at-a-time readers and writers load and store bytes in little-endian order.
static_assert(std::endian::native == std::endian::little);

inline constexpr char kUpperDigits[] = "0123456789ABCDEF";
inline constexpr char kLowerDigits[] = "0123456789abcdef";

inline constexpr std::array<std::int8_t, 256> kDigitValues = [] {
  std::array<std::int8_t, 256> values{};
  values.fill(-1);
  for (std::int8_t i = 0; i < 16; ++i) {
    values[static_cast<unsigned char>(kUpperDigits[i])] = i;
    values[static_cast<unsigned char>(kLowerDigits[i])] = i;
  }
  return values;
}();

// The two uppercase digits of every octet, so writing one is a single two-byte copy.
inline constexpr std::array<std::array<char, 2>, 256> kPairs = [] {
  std::array<std::array<char, 2>, 256> pairs{};
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    pairs[i] = {kUpperDigits[i >> 4U], kUpperDigits[i & 0x0FU]};
  }
  return pairs;
}();

// Value of one hex digit, -1 for any other character.
constexpr int DigitValue(char c) { return kDigitValues[static_cast<unsigned char>(c)]; }

// Two uppercase digits of `octet` at `out[0]` and `out[1]`.
inline void WritePair(std::uint8_t octet, char* out) { std::memcpy(out, kPairs[octet].data(), 2); }

// Two uppercase digits per byte of `bytes` from `out` on (2 * size characters, no NUL);
// returns the position behind them.
inline char* WriteBytes(std::span<const std::uint8_t> bytes, char* out) {
  constexpr std::uint64_t kOnes = 0x0101010101010101U;
  std::size_t i = 0;
  // Four octets at a time: each to a 16-bit slot of its own, each nibble to a byte, high
  // nibble first; then '0' added to each and 7 more to those from 10 on (adding 6 carries into
  // bit 4 exactly for them).
  for (; i + 4 <= bytes.size(); i += 4) {
    std::uint32_t four = 0;
    std::memcpy(&four, bytes.data() + i, sizeof(four));
    std::uint64_t octets = (four | (std::uint64_t{four} << 16U)) & 0x0000FFFF0000FFFFU;
    octets = (octets | (octets << 8U)) & 0x00FF00FF00FF00FFU;
    const std::uint64_t nibbles = ((octets >> 4U) | (octets << 8U)) & (kOnes * 0x0FU);
    const std::uint64_t letters = ((nibbles + kOnes * 6) >> 4U) & kOnes;
    const std::uint64_t text = nibbles + kOnes * '0' + letters * 7;
    std::memcpy(out, &text, sizeof(text));
    out += 8;
  }
  for (; i < bytes.size(); ++i) {
    WritePair(bytes[i], out);
    out += 2;
  }
  return out;
}
inline char* WriteBytes(std::string_view bytes, char* out) {
  for (const char c : bytes) {
    WritePair(static_cast<std::uint8_t>(c), out);
    out += 2;
  }
  return out;
}

// The octet of the two digits at `in`, or -1 when either is not a hex digit.
inline int ReadPair(const char* in) {
  const int high = DigitValue(in[0]);
  const int low = DigitValue(in[1]);
  return (high | low) < 0 ? -1 : high * 16 + low;
}

// The four octets of the eight hex digits at `in` into `out`; false, nothing written, when
// one of them is not a hex digit. Byte-wise range tests in one word: on seven-bit bytes,
// adding 0x80 - low sets bit 7 from `low` on, and adding 0x7F - high sets it above `high`.
inline bool ReadEightDigits(const char* in, std::uint8_t* out) {
  constexpr std::uint64_t kOnes = 0x0101010101010101U;
  constexpr std::uint64_t kTops = kOnes * 0x80U;
  std::uint64_t word = 0;
  std::memcpy(&word, in, sizeof(word));
  const std::uint64_t low7 = word & (kOnes * 0x7FU);
  const auto within = [](std::uint64_t bytes, std::uint64_t low, std::uint64_t high) {
    return (bytes + kOnes * (0x80U - low)) & ~(bytes + kOnes * (0x7FU - high)) & kTops;
  };
  const std::uint64_t letters = within(low7 | (kOnes * 0x20U), 'a', 'f');
  if (((within(low7, '0', '9') | letters) & ~word & kTops) != kTops) {
    return false;
  }
  // Each digit's value in its byte; the first of a pair is the high nibble.
  std::uint64_t values = (low7 & (kOnes * 0x0FU)) + (letters >> 7U) * 9;
  values = ((values << 4U) | (values >> 8U)) & 0x00FF00FF00FF00FFU;
  values = (values | (values >> 8U)) & 0x0000FFFF0000FFFFU;
  const auto octets = static_cast<std::uint32_t>(values | (values >> 16U));
  std::memcpy(out, &octets, sizeof(octets));
  return true;
}

// Reads `pairs` octets from 2 * `pairs` hex digits at `in` into `out`. Returns the number of
// pairs read before the first pair holding a character that is not a hex digit (all of them
// when there is none); nothing is written from that pair on.
inline std::size_t ReadPairs(const char* in, std::size_t pairs, std::uint8_t* out) {
  std::size_t k = 0;
  while (k + 4 <= pairs && ReadEightDigits(in + 2 * k, out + k)) {
    k += 4;
  }
  for (; k < pairs; ++k) {
    const int octet = ReadPair(in + 2 * k);
    if (octet < 0) {
      return k;
    }
    out[k] = static_cast<std::uint8_t>(octet);
  }
  return pairs;
}

}  // namespace brindle::hex
