// The AVX2 step both score-text decoders share: 32 characters of score text (16 digit pairs)
// to 16 payload bytes.
#pragma once

#include "codec/hex_sse2.h"

#if BRINDLE_HEX_AVX2
#include <immintrin.h>

namespace brindle {

// The unscrambled payload byte of each digit pair (16-bit lanes; the first digit is the low
// byte) straight from the nibbles h and l: (h & 7) + 8 * l + 16 * (h & 8). `sound` gets two
// bits for each pair that is two hex digits giving a byte other than zero.
__attribute__((target("avx2"), always_inline)) inline __m256i PayloadLanesAvx2(__m256i text,
                                                                               unsigned& sound) {
  const hex::DigitsAvx2 digits = hex::ReadDigitsAvx2(text);
  const __m256i plain = _mm256_add_epi16(
      _mm256_maddubs_epi16(_mm256_and_si256(digits.values, hex::Copies16<0x7F07>()),
                           hex::Copies16<0x0801>()),
      _mm256_slli_epi16(_mm256_and_si256(digits.values, hex::Copies16<0x0008>()), 4));
  sound = static_cast<unsigned>(_mm256_movemask_epi8(
      _mm256_andnot_si256(_mm256_cmpeq_epi16(plain, _mm256_setzero_si256()),
                          _mm256_cmpeq_epi16(digits.strays, _mm256_setzero_si256()))));
  return plain;
}

}  // namespace brindle
#endif
