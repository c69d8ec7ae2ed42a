#include "codec/payload_decode.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "base/text.h"
#include "codec/gsm_alphabet.h"
#include "codec/hex.h"
#include "codec/hex_sse2.h"
#include "codec/payload_avx2.h"
#include "codec/score_payload.h"

#if BRINDLE_HEX_AVX2
#include <immintrin.h>
#endif

namespace brindle {
int ParseHexByte(std::string_view pair) {
  const int high = pair.empty() ? -1 : hex::DigitValue(pair[0]);
  if (high < 0) {
    return 0;
  }
  const int low = pair.size() < 2 ? -1 : hex::DigitValue(pair[1]);
  return low < 0 ? high : high * 16 + low;
}

namespace {

// `count` octets from the pairs at `in` through the fast reader; a pair with a stray
// character reads as ParseHexByte reads it.
void ReadPairsLeniently(const char* in, std::size_t count, std::uint8_t* out) {
  for (std::size_t k = 0; k < count; ++k) {
    k += hex::ReadPairs(in + 2 * k, count - k, out + k);
    if (k < count) {
      out[k] = static_cast<std::uint8_t>(ParseHexByte({in + 2 * k, 2}));
    }
  }
}

}  // namespace

int UnpackSeptets(int count, std::string_view hex, std::span<char> out) {
  std::array<std::uint8_t, kOctetWorkArea> octets;  // NOLINT: the first n are written
  const std::size_t n = std::min(hex.size() / 2, octets.size());
  ReadPairsLeniently(hex.data(), n, octets.data());
  return UnpackSeptetOctets(count, std::span<const std::uint8_t>(octets).first(n), out);
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

int UnpackSeptetOctets(int count, std::span<const std::uint8_t> octets, std::span<char> out) {
  if (out.empty()) {
    return 1;
  }
  const std::size_t n = UnpackSeptetValues(count, octets, out.first(out.size() - 1));
  for (std::size_t i = 0; i < n; ++i) {
    out[i] = CharOfSeptet(static_cast<std::uint8_t>(out[i]));
  }
  out[n] = '\0';
  return 1;
}

namespace {

#if BRINDLE_HEX_SSE2
// Eight payload bytes from sixteen digits: read as ReadPairsSse2 reads them, unscrambled in
// 16-bit lanes. False, nothing written, when a digit is not hex or a byte is zero: the byte
// loop then decides (leniently) where the payload ends.
bool DecodeBlockSse2(const char* in, char* out) {
  bool allHex = false;
  const __m128i octets = hex::OctetLanesSse2(in, allHex);
  const __m128i plain =
      _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_srli_epi16(octets, 4), _mm_set1_epi16(0x07)),
                                _mm_and_si128(_mm_slli_epi16(octets, 3), _mm_set1_epi16(0x78))),
                   _mm_and_si128(octets, _mm_set1_epi16(0x80)));
  if (!allHex || _mm_movemask_epi8(_mm_cmpeq_epi16(plain, _mm_setzero_si128())) != 0) {
    return false;
  }
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out),  // NOLINT
                   _mm_packus_epi16(plain, _mm_setzero_si128()));
  return true;
}
#endif

// The first payload bytes from `pairs` digit pairs, in blocks that hold neither a zero byte
// nor a character that is not a hex digit. Returns the bytes written; the rest is left to
// the byte loop. The last block may overlap the one before: it writes the same values again.
std::size_t DecodeBlocks(const char* in, std::size_t pairs, char* out) {
  std::size_t k = 0;
#if BRINDLE_HEX_SSE2
  while (k + 8 <= pairs && DecodeBlockSse2(in + 2 * k, out + k)) {
    k += 8;
  }
  if (k < pairs && k + 8 > pairs && pairs >= 8 &&
      DecodeBlockSse2(in + 2 * (pairs - 8), out + pairs - 8)) {
    return pairs;
  }
#else
  static_cast<void>(in);
  static_cast<void>(pairs);
  static_cast<void>(out);
#endif
  return k;
}

}  // namespace

std::size_t DecodeScoreTextFromText(std::string_view scoreText, std::span<char> out) {
  if (out.empty()) {
    return 0;
  }
  const std::string_view digits = scoreText.size() < kScoreTextMarker.size()
                                      ? std::string_view{}
                                      : scoreText.substr(kScoreTextMarker.size());
  const std::size_t n = std::min(digits.size() / 2, out.size() - 1);
  std::size_t k = DecodeBlocks(digits.data(), n, out.data());
  for (; k < n; ++k) {
    const auto byte = UnscrambleByte(static_cast<std::uint8_t>(ParseHexByte(digits.substr(2 * k))));
    if (byte == 0) {
      break;  // the payload ends at the first zero byte
    }
    out[k] = static_cast<char>(byte);
  }
  out[k] = '\0';
  return k;
}

namespace {

// DecodeScoreSeptets the general way: every septet into a text, then the text decoded.
[[gnu::noinline]] std::size_t DecodeSeptetText(std::span<const std::uint8_t> octets,
                                               std::size_t septets, std::size_t skip,
                                               std::span<char> out) {
  std::array<char, kMaxSeptets> text;  // NOLINT: the septets are written before they are read
  const std::size_t n = UnpackSeptetValues(static_cast<int>(septets), octets, text);
  return DecodeScoreTextFromText(std::string_view(text.data(), n).substr(std::min(skip, n)), out);
}

}  // namespace

#if BRINDLE_HEX_AVX2
namespace {

// How 8 septets, from septet r of a group of eight on, come out of the octets with one byte
// shuffle and one multiply: 16-bit lane j takes the two octets septet r + j lies in
// (counted from the octet septet r starts in) and is multiplied by 2^(8 - its bit offset),
// which lifts the septet to bits 8..14 of the lane.
struct SeptetLayout {
  std::array<std::uint8_t, 16> shuffle;
  std::array<std::uint16_t, 8> scale;
};
constexpr std::array<SeptetLayout, 8> kSeptetLayouts = [] {
  std::array<SeptetLayout, 8> layouts{};
  for (std::size_t r = 0; r < 8; ++r) {
    for (std::size_t j = 0; j < 8; ++j) {
      const std::size_t bit = 7 * (r + j);
      const auto octet = static_cast<std::uint8_t>(bit / 8 - 7 * r / 8);
      layouts[r].shuffle[2 * j] = octet;
      layouts[r].shuffle[2 * j + 1] = static_cast<std::uint8_t>(octet + 1);
      layouts[r].scale[j] = static_cast<std::uint16_t>(1U << (8 - bit % 8));
    }
  }
  return layouts;
}();

// Octets a block reads from the octet septet s starts in: 32 septets span 28, and the last
// of the four 16-byte loads starts 21 octets in.
constexpr std::size_t kBlockReach = 37;

// Sixteen payload bytes from the 32 septets from septet s on, read as digit pairs, without
// an intermediate text (which would cost a store and a reload that cannot be forwarded).
// Returns the mask of payload bytes that are sound (two hex digits, not zero), two bits each.
// Eight septets always take seven octets, so the four groups of eight are the same shuffle
// from octets 0, 7, 14 and 21 on; halves are paired so that packing puts the 32 septets in
// order: septets 0-7 and 16-23 in one register, 8-15 and 24-31 in the other.
__m128i Load16(const void* at) { return _mm_loadu_si128(static_cast<const __m128i*>(at)); }

// Eight septets from `low` and eight from `high` on, in the 16-bit lanes.
__attribute__((target("avx2"), always_inline)) inline __m256i SeptetLanes(const std::uint8_t* low,
                                                                          const std::uint8_t* high,
                                                                          __m256i shuffle,
                                                                          __m256i scale) {
  const __m256i bytes =
      _mm256_inserti128_si256(_mm256_castsi128_si256(Load16(low)), Load16(high), 1);
  const __m256i lifted = _mm256_mullo_epi16(_mm256_shuffle_epi8(bytes, shuffle), scale);
  return _mm256_and_si256(_mm256_srli_epi16(lifted, 8), _mm256_set1_epi16(0x7F));
}

__attribute__((target("avx2"), always_inline)) inline unsigned DecodeSeptetBlockAvx2(
    const std::uint8_t* octets, std::size_t s, __m256i& plainOut) {
  const SeptetLayout& layout = kSeptetLayouts[s % 8];
  const std::uint8_t* base = octets + 7 * s / 8;
  const __m256i shuffle = _mm256_broadcastsi128_si256(Load16(layout.shuffle.data()));
  const __m256i scale = _mm256_broadcastsi128_si256(Load16(layout.scale.data()));
  const __m256i text = _mm256_packus_epi16(SeptetLanes(base, base + 14, shuffle, scale),
                                           SeptetLanes(base + 7, base + 21, shuffle, scale));
  // A septet is its character for hex digits.
  unsigned sound = 0;
  plainOut = PayloadLanesAvx2(text, sound);
  return sound;
}

__attribute__((target("avx2"), always_inline)) inline void StorePayloadAvx2(__m256i plain,
                                                                            char* out) {
  const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(plain, plain), 0x08);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out),  // NOLINT
                   _mm256_castsi256_si128(packed));
}

// All `pairs` payload bytes from the digits from septet `first` on, and the NUL, into `out`
// (room for `room` bytes, more than `pairs`); false, with `out` left in no defined state,
// when one is not sound.
__attribute__((target("avx2"))) bool DecodeLongSeptetsAvx2(const std::uint8_t* octets,
                                                           std::size_t first, std::size_t pairs,
                                                           char* out, std::size_t room) {
  __m256i plain;
  for (std::size_t k = 0; k < pairs; k += 16) {
    const std::size_t count = std::min<std::size_t>(16, pairs - k);
    const unsigned wanted = count == 16 ? ~0U : (1U << (2 * count)) - 1U;
    if ((DecodeSeptetBlockAvx2(octets, first + 2 * k, plain) & wanted) != wanted) {
      return false;
    }
    if (count == 16 && room - k >= 16) {
      StorePayloadAvx2(plain, out + k);
    } else {
      std::array<char, 16> bytes;  // NOLINT: written whole by the store
      StorePayloadAvx2(plain, bytes.data());
      std::memcpy(out + k, bytes.data(), count);
    }
  }
  out[pairs] = '\0';
  return true;
}

// DecodeScoreSeptets in 32-septet blocks when the whole payload is sound and the blocks stay
// inside the octets and the readable memory behind them: returns the payload's length, or
// SIZE_MAX when the general way has to decide (a stray character, a zero byte, a short text).
__attribute__((target("avx2"))) std::size_t DecodeBlockSeptetsAvx2(
    std::span<const std::uint8_t> octets, std::size_t readable, std::size_t septets,
    std::size_t skip, std::span<char> out) {
  constexpr std::size_t kNotTaken = SIZE_MAX;
  const std::size_t first = skip + kScoreTextMarker.size();
  if (first > septets) {
    return kNotTaken;
  }
  const std::size_t pairs = std::min((septets - first) / 2, out.size() - 1);
  const std::size_t lastBlock = first + 2 * (pairs - 1) / 32 * 32;
  if (pairs == 0 || 7 * (first + 2 * pairs) > 8 * octets.size() ||
      7 * lastBlock / 8 + kBlockReach > readable) {
    return kNotTaken;
  }
  return DecodeLongSeptetsAvx2(octets.data(), first, pairs, out.data(), out.size()) ? pairs
                                                                                    : kNotTaken;
}

// The short path, for the usual message: no user-data header and a payload under 32 bytes.
// Its up to 62 digits are the 64 septets from septet 4 on: eight groups of eight, each in
// seven octets at the same bit offset, so one layout serves them all.
//
// Two groups go into one register, a 16-byte load in each 128-bit half: the byte shuffle
// puts the two octets septet j lies in into 16-bit lane j, and a multiply by
// 2^(9 - its bit offset) lifts the septet to bits 9..15, from where a shift right by 9
// brings it down with nothing above or below it. Groups g and g + 4 share a register, so
// that the packs that follow keep every byte of the payload in its place.
constexpr std::size_t kTextStart = kScoreTextMarker.size();  // the first digit's septet
constexpr std::size_t kGroupOctet = 7 * kTextStart / 8;      // where the first group starts
// Octets the short path reads from the first one on: group 7 starts 49 octets further.
constexpr std::size_t kShortReach = kGroupOctet + 49 + 16;

using Bytes32 = std::array<std::uint8_t, 32>;

// The short path's tables (its uniform constants are hex::Copies8 and hex::Copies16).
struct ShortPathConstants {
  Bytes32 groupShuffle{};
  std::array<std::uint16_t, 16> groupScale{};
  // The unscrambled byte of the pair's nibbles h and l is (h & 7) | (h & 8) << 4 | l << 3:
  // the first part looked up for h (the high byte's lookup zeroed by its bit 7), the last
  // one shifted down from the high byte.
  Bytes32 highNibbleBits{};
  // 32 bytes of -1 then 32 of 0: read from 32 - n on, it keeps the first n bytes.
  std::array<std::int8_t, 64> keepWindow{};

  constexpr ShortPathConstants() {
    for (std::size_t j = 0; j < 16; ++j) {
      const std::size_t bit = 7 * (kTextStart + j % 8) - 8 * kGroupOctet;
      groupShuffle[2 * j] = static_cast<std::uint8_t>(bit / 8);
      groupShuffle[2 * j + 1] = static_cast<std::uint8_t>(bit / 8 + 1);
      groupScale[j] = static_cast<std::uint16_t>(1U << (9 - bit % 8));
      highNibbleBits[j] = highNibbleBits[j + 16] =
          static_cast<std::uint8_t>((j & 7U) | (j & 8U) << 4U);
    }
    std::fill_n(keepWindow.begin(), 32, -1);
  }
};
constexpr ShortPathConstants kShortPathConstants;

// The septets of group `g` and group `g` + 4, one in each 16-bit lane.
__attribute__((target("avx2"), always_inline)) inline __m256i SeptetGroups(
    const std::uint8_t* first, std::size_t g) {
  const ShortPathConstants& c = kShortPathConstants;
  const __m256i octets = _mm256_inserti128_si256(_mm256_castsi128_si256(Load16(first + 7 * g)),
                                                 Load16(first + 7 * (g + 4)), 1);
  const __m256i lifted =
      _mm256_mullo_epi16(_mm256_shuffle_epi8(octets, hex::Load32(c.groupShuffle.data())),
                         hex::Load32(c.groupScale.data()));
  return _mm256_srli_epi16(lifted, 9);
}

// The payload bytes of 32 digits (septets), one pair per 16-bit lane, in the lane's low byte
// (any value where a digit is not hex); which digits are hex (-1 bytes) in `isHex`.
__attribute__((target("avx2"), always_inline)) inline __m256i PlainOfDigits(__m256i text,
                                                                            __m256i& isHex) {
  const __m256i lower = _mm256_or_si256(text, hex::Copies8<0x20>());
  // Digit values as the smaller of two candidates (the wrong one is always larger).
  const __m256i values = _mm256_min_epu8(_mm256_sub_epi8(text, hex::Copies8<'0'>()),
                                         _mm256_sub_epi8(lower, hex::Copies8<'a' - 10>()));
  // A range check is one signed compare: adding 0x7F - highest moves the range to the top of
  // the signed bytes (nothing wraps, the septets being below 0x80).
  const __m256i isDigit = _mm256_cmpgt_epi8(_mm256_add_epi8(text, hex::Copies8<0x7F - '9'>()),
                                            hex::Copies8<0x7F - 10>());
  const __m256i isLetter = _mm256_cmpgt_epi8(_mm256_add_epi8(lower, hex::Copies8<0x7F - 'f'>()),
                                             hex::Copies8<0x7F - 6>());
  isHex = _mm256_or_si256(isDigit, isLetter);
  // The high nibble's part looked up for the low byte (the high byte's lookup zeroed by its
  // bit 7), the low nibble's shifted down.
  return _mm256_or_si256(_mm256_shuffle_epi8(hex::Load32(kShortPathConstants.highNibbleBits.data()),
                                             _mm256_or_si256(values, hex::Copies16<0x8000>())),
                         _mm256_srli_epi16(values, 5));
}

// The general way for a payload the short path gave up on. All its septets lie in the
// octets and 32 bytes of room are more than it takes, so this is exactly what the general
// way writes with the whole span and room.
[[gnu::cold]] std::size_t DecodeShortSeptetText(const std::uint8_t* octets, char* out,
                                                unsigned septets) {
  return DecodeSeptetText({octets, (7 * septets + 7) / 8}, septets, 0, {out, 32});
}

// The short path: DecodeScoreSeptets for `septets` (4 to 67) in the octets, no header,
// kShortReach octets readable and 32 bytes of `out` writable. Writes the payload, the NUL
// and zeros up to byte 31; when a byte is not sound (a stray character, a zero byte) it
// leaves the payload to the general way. Few arguments, all in registers, and no branch
// that merges vector registers: so GCC gives it no frame.
__attribute__((target("avx2"))) std::size_t DecodeShortSeptetsAvx2(const std::uint8_t* octets,
                                                                   char* out, unsigned septets) {
  const std::size_t pairs = (septets - kTextStart) / 2;
  const std::uint8_t* first = octets + kGroupOctet;
  // Packed, groups 0, 1 | 4, 5 and 2, 3 | 6, 7 give payload bytes 0-7 | 16-23 and
  // 8-15 | 24-31, and the pack of those puts all of them in order.
  __m256i lowIsHex;
  __m256i highIsHex;
  const __m256i low =
      PlainOfDigits(_mm256_packus_epi16(SeptetGroups(first, 0), SeptetGroups(first, 1)), lowIsHex);
  const __m256i high =
      PlainOfDigits(_mm256_packus_epi16(SeptetGroups(first, 2), SeptetGroups(first, 3)), highIsHex);
  const __m256i bytes = _mm256_packus_epi16(low, high);
  // Two digit masks pack to -1 only when both are -1 (saturation), so a byte is sound where
  // this is -1; the check stays off the way from the octets to the store.
  const __m256i sound = _mm256_andnot_si256(_mm256_cmpeq_epi8(bytes, _mm256_setzero_si256()),
                                            _mm256_packs_epi16(lowIsHex, highIsHex));
  const __m256i keep = hex::Load32(kShortPathConstants.keepWindow.data() + 32 - pairs);
  if (_mm256_testc_si256(sound, keep) == 0) {
    return DecodeShortSeptetText(octets, out, septets);
  }
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_and_si256(bytes, keep));  // NOLINT
  return pairs;
}

}  // namespace
#endif

namespace {

// Everything the short path does not take: the blocks where the CPU has AVX2, else (or when
// they give up) the general way.
[[gnu::noinline]] std::size_t DecodeOtherSeptets(std::span<const std::uint8_t> octets,
                                                 std::size_t readable, int count, std::size_t skip,
                                                 std::span<char> out) {
  if (out.empty()) {
    return 0;
  }
  const std::size_t septets = std::min(static_cast<std::size_t>(std::max(count, 0)), kMaxSeptets);
#if BRINDLE_HEX_AVX2
  if (hex::kCpuHasAvx2) {
    const std::size_t length = DecodeBlockSeptetsAvx2(octets, readable, septets, skip, out);
    if (length != SIZE_MAX) {
      return length;
    }
  }
#else
  static_cast<void>(readable);
#endif
  return DecodeSeptetText(octets, septets, skip, out);
}

}  // namespace

std::size_t DecodeScoreSeptets(std::span<const std::uint8_t> octets, std::size_t readable,
                               int count, std::size_t skip, std::span<char> out) {
#if BRINDLE_HEX_AVX2
  // The short path takes the usual message: no header, under 64 septets of score text (a
  // negative count is a huge unsigned one), all of them inside `octets`, kShortReach octets
  // readable and 32 bytes of room.
  const auto septets = static_cast<unsigned>(count);
  if (hex::kCpuHasAvx2 && skip == 0 && septets - kTextStart < 64 && out.size() >= 32 &&
      readable >= kShortReach && 7 * std::size_t{septets} <= 8 * octets.size()) {
    return DecodeShortSeptetsAvx2(octets.data(), out.data(), septets);
  }
#endif
  return DecodeOtherSeptets(octets, readable, count, skip, out);
}

int DecodeScoreText(std::string_view userDataHex, std::span<char> out) {
  const int count = ParseHexByte(userDataHex);
  const std::string_view hex = userDataHex.substr(std::min<std::size_t>(2, userDataHex.size()));
  std::array<std::uint8_t, kOctetWorkArea> octets;  // NOLINT: the first n are written
  const std::size_t n = std::min(hex.size() / 2, octets.size());
  ReadPairsLeniently(hex.data(), n, octets.data());
  DecodeScoreSeptets(std::span<const std::uint8_t>(octets).first(n), octets.size(), count, 0, out);
  return 1;
}

}  // namespace brindle
