#include "codec/hex.h"

#include <algorithm>

#include "codec/hex_sse2.h"

#if BRINDLE_HEX_AVX2
#include <immintrin.h>
#endif

namespace brindle::hex {

std::size_t ReadPairsPortable(const char* in, std::size_t pairs, std::uint8_t* out) {
  for (std::size_t k = 0; k < pairs; ++k) {
    const int octet = ReadPair(in + 2 * k);
    if (octet < 0) {
      return k;
    }
    out[k] = static_cast<std::uint8_t>(octet);
  }
  return pairs;
}

#if BRINDLE_HEX_SSE2
namespace {

// Eight octets from sixteen digits at `in`, or false (nothing written) when one is not a hex
// digit.
bool ReadBlockSse2(const char* in, std::uint8_t* out) {
  bool allHex = false;
  const __m128i octets = OctetLanesSse2(in, allHex);
  if (!allHex) {
    return false;
  }
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out),  // NOLINT
                   _mm_packus_epi16(octets, _mm_setzero_si128()));
  return true;
}

}  // namespace

std::size_t ReadPairsSse2(const char* in, std::size_t pairs, std::uint8_t* out) {
  std::size_t k = 0;
  while (k + 8 <= pairs && ReadBlockSse2(in + 2 * k, out + k)) {
    k += 8;
  }
  // The last few pairs as one more block that overlaps the one before (its pairs are read
  // and written again, with the same values).
  if (k < pairs && k + 8 > pairs && pairs >= 8 &&
      ReadBlockSse2(in + 2 * (pairs - 8), out + pairs - 8)) {
    return pairs;
  }
  return k + ReadPairsPortable(in + 2 * k, pairs - k, out + k);
}

#if BRINDLE_HEX_AVX2
// __builtin_cpu_init first: this may run before the runtime's own start-up code has.
const bool kCpuHasAvx2 = [] {
  __builtin_cpu_init();
  return static_cast<bool>(__builtin_cpu_supports("avx2"));
}();

namespace {

// Sixteen octets from 32 digits, as ReadBlockSse2 but with fewer steps: unsigned "below n"
// is min(x, n - 1) == x, the value of a digit or letter is the smaller of its two candidate
// values (the wrong one is always 10 or more larger), and maddubs joins each pair as
// high * 16 + low in one step.
__attribute__((target("avx2"), always_inline)) inline bool ReadBlockAvx2(const char* in,
                                                                         std::uint8_t* out) {
  const __m256i text = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));  // NOLINT
  const __m256i digit = _mm256_sub_epi8(text, _mm256_set1_epi8('0'));
  const __m256i letter =
      _mm256_sub_epi8(_mm256_or_si256(text, _mm256_set1_epi8(0x20)), _mm256_set1_epi8('a'));
  const __m256i isDigit = _mm256_cmpeq_epi8(_mm256_min_epu8(digit, _mm256_set1_epi8(9)), digit);
  const __m256i isLetter = _mm256_cmpeq_epi8(_mm256_min_epu8(letter, _mm256_set1_epi8(5)), letter);
  if (_mm256_movemask_epi8(_mm256_or_si256(isDigit, isLetter)) != -1) {
    return false;
  }
  const __m256i values = _mm256_min_epu8(digit, _mm256_add_epi8(letter, _mm256_set1_epi8(10)));
  const __m256i octets = _mm256_maddubs_epi16(values, _mm256_set1_epi16(0x0110));
  // packus works within 128-bit halves: the octets are quadwords 0 and 2.
  const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(octets, octets), 0x08);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out),  // NOLINT
                   _mm256_castsi256_si128(packed));
  return true;
}

}  // namespace

__attribute__((target("avx2"))) std::size_t ReadPairsAvx2(const char* in, std::size_t pairs,
                                                          std::uint8_t* out) {
  std::size_t k = 0;
  // As ReadPairsSse2, the last block ends with the last pair and may overlap the one before.
  // One loop for both keeps one copy of the block, so its constants are built once.
  while (pairs >= 16 && k < pairs) {
    const std::size_t at = std::min(k, pairs - 16);
    if (!ReadBlockAvx2(in + 2 * at, out + at)) {
      break;
    }
    k = at + 16;
  }
  return k == pairs ? k : k + ReadPairsSse2(in + 2 * k, pairs - k, out + k);
}
#endif

std::size_t ReadPairs(const char* in, std::size_t pairs, std::uint8_t* out) {
#if BRINDLE_HEX_AVX2
  if (kCpuHasAvx2) {
    return ReadPairsAvx2(in, pairs, out);
  }
#endif
  return ReadPairsSse2(in, pairs, out);
}
#else
std::size_t ReadPairs(const char* in, std::size_t pairs, std::uint8_t* out) {
  return ReadPairsPortable(in, pairs, out);
}
#endif

}  // namespace brindle::hex
