#include "codec/payload_decode.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "base/text.h"
#include "codec/gsm_alphabet.h"
#include "codec/hex.h"
#include "codec/score_payload.h"

#if BRINDLE_HEX_SSE2
#include <emmintrin.h>
#endif
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
  const __m128i minusOne = _mm_set1_epi8(-1);
  const __m128i ten = _mm_set1_epi8(10);
  const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));  // NOLINT
  const __m128i digit = _mm_sub_epi8(text, _mm_set1_epi8('0'));
  const __m128i isDigit =
      _mm_and_si128(_mm_cmpgt_epi8(digit, minusOne), _mm_cmplt_epi8(digit, ten));
  const __m128i letter = _mm_sub_epi8(_mm_or_si128(text, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
  const __m128i isLetter =
      _mm_and_si128(_mm_cmpgt_epi8(letter, minusOne), _mm_cmplt_epi8(letter, _mm_set1_epi8(6)));
  const __m128i values = _mm_or_si128(_mm_and_si128(isDigit, digit),
                                      _mm_and_si128(isLetter, _mm_add_epi8(letter, ten)));
  const __m128i high = _mm_and_si128(values, _mm_set1_epi16(0x00FF));
  const __m128i octets = _mm_or_si128(_mm_slli_epi16(high, 4), _mm_srli_epi16(values, 8));
  const __m128i plain =
      _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_srli_epi16(octets, 4), _mm_set1_epi16(0x07)),
                                _mm_and_si128(_mm_slli_epi16(octets, 3), _mm_set1_epi16(0x78))),
                   _mm_and_si128(octets, _mm_set1_epi16(0x80)));
  if (_mm_movemask_epi8(_mm_or_si128(isDigit, isLetter)) != 0xFFFF ||
      _mm_movemask_epi8(_mm_cmpeq_epi16(plain, _mm_setzero_si128())) != 0) {
    return false;
  }
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out),  // NOLINT
                   _mm_packus_epi16(plain, _mm_setzero_si128()));
  return true;
}
#endif

#if BRINDLE_HEX_AVX2
// Sixteen payload bytes from 32 digits, as DecodeBlockSse2. The nibble values come as in
// hex::ReadPairsAvx2; the unscrambled byte is taken straight from the two nibbles h and l,
// (h & 7) + 8 * l + ((h & 8) << 4), one maddubs and one shift.
__attribute__((target("avx2"))) bool DecodeBlockAvx2(const char* in, char* out) {
  const __m256i text = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));  // NOLINT
  const __m256i digit = _mm256_sub_epi8(text, _mm256_set1_epi8('0'));
  const __m256i letter =
      _mm256_sub_epi8(_mm256_or_si256(text, _mm256_set1_epi8(0x20)), _mm256_set1_epi8('a'));
  const __m256i isDigit = _mm256_cmpeq_epi8(_mm256_min_epu8(digit, _mm256_set1_epi8(9)), digit);
  const __m256i isLetter = _mm256_cmpeq_epi8(_mm256_min_epu8(letter, _mm256_set1_epi8(5)), letter);
  const __m256i values = _mm256_min_epu8(digit, _mm256_add_epi8(letter, _mm256_set1_epi8(10)));
  const __m256i plain =
      _mm256_add_epi16(_mm256_maddubs_epi16(_mm256_and_si256(values, _mm256_set1_epi16(0x7F07)),
                                            _mm256_set1_epi16(0x0801)),
                       _mm256_slli_epi16(_mm256_and_si256(values, _mm256_set1_epi16(0x0008)), 4));
  if (_mm256_movemask_epi8(_mm256_or_si256(isDigit, isLetter)) != -1 ||
      _mm256_movemask_epi8(_mm256_cmpeq_epi16(plain, _mm256_setzero_si256())) != 0) {
    return false;
  }
  const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(plain, plain), 0x08);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out),  // NOLINT
                   _mm256_castsi256_si128(packed));
  return true;
}
#endif

// The first payload bytes from `pairs` digit pairs, in blocks that hold neither a zero byte
// nor a character that is not a hex digit. Returns the bytes written; the rest is left to
// the byte loop. The last block may overlap the one before: it writes the same values again.
std::size_t DecodeBlocks(const char* in, std::size_t pairs, char* out) {
  std::size_t k = 0;
#if BRINDLE_HEX_AVX2
  if (hex::kCpuHasAvx2) {
    while (k + 16 <= pairs && DecodeBlockAvx2(in + 2 * k, out + k)) {
      k += 16;
    }
    if (k < pairs && k + 16 > pairs && pairs >= 16 &&
        DecodeBlockAvx2(in + 2 * (pairs - 16), out + pairs - 16)) {
      return pairs;
    }
  }
#endif
#if BRINDLE_HEX_SSE2
  while (k + 8 <= pairs && DecodeBlockSse2(in + 2 * k, out + k)) {
    k += 8;
  }
  if (k < pairs && k + 8 > pairs && pairs >= 8 &&
      DecodeBlockSse2(in + 2 * (pairs - 8), out + pairs - 8)) {
    return pairs;
  }
#endif
  static_cast<void>(in);
  static_cast<void>(out);
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

int DecodeScoreText(std::string_view userDataHex, std::span<char> out) {
  const int count = ParseHexByte(userDataHex);
  const std::string_view hex = userDataHex.substr(std::min<std::size_t>(2, userDataHex.size()));
  std::array<std::uint8_t, kOctetWorkArea> octets;  // NOLINT: the first n are written
  const std::size_t n = std::min(hex.size() / 2, octets.size());
  ReadPairsLeniently(hex.data(), n, octets.data());
  std::array<char, kMaxSeptets> text;  // NOLINT: the septets are written before they are read
  const std::size_t septets =
      UnpackSeptetValues(count, std::span<const std::uint8_t>(octets).first(n), text);
  DecodeScoreTextFromText({text.data(), septets}, out);
  return 1;
}

}  // namespace brindle
