// Hex digit tables shared by the encoders and decoders; inline because every octet of a
// message passes through them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace brindle::hex {

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
inline int DigitValue(char c) { return kDigitValues[static_cast<unsigned char>(c)]; }

// Two uppercase digits of `octet` at `out[0]` and `out[1]`.
inline void WritePair(std::uint8_t octet, char* out) { std::memcpy(out, kPairs[octet].data(), 2); }

// Two uppercase digits per byte of `bytes` from `out` on (2 * size characters, no NUL);
// returns the position behind them.
inline char* WriteBytes(std::span<const std::uint8_t> bytes, char* out) {
  for (const std::uint8_t octet : bytes) {
    WritePair(octet, out);
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

// Reads `pairs` octets from 2 * `pairs` hex digits at `in` into `out`. Returns the number of
// pairs read before the first pair holding a character that is not a hex digit (all of them
// when there is none); nothing is written from that pair on. ReadPairs takes the fastest path
// this build has; every path gives the same result as the portable one.
std::size_t ReadPairs(const char* in, std::size_t pairs, std::uint8_t* out);
std::size_t ReadPairsPortable(const char* in, std::size_t pairs, std::uint8_t* out);
#if defined(__SSE2__) || defined(_M_X64)
#define BRINDLE_HEX_SSE2 1
std::size_t ReadPairsSse2(const char* in, std::size_t pairs, std::uint8_t* out);
#endif
// AVX2 is no build-time baseline: its paths are compiled for it alone and taken only when the
// running CPU reports it. Until the flag is set at start-up it reads false, which only means
// the SSE2 path.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define BRINDLE_HEX_AVX2 1
extern const bool kCpuHasAvx2;
std::size_t ReadPairsAvx2(const char* in, std::size_t pairs, std::uint8_t* out);
#endif

}  // namespace brindle::hex
