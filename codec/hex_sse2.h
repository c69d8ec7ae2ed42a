// The SSE2 step both block readers share: sixteen hex digits to eight octets.
#pragma once

#include "codec/hex.h"

#if BRINDLE_HEX_SSE2
#include <emmintrin.h>

namespace brindle::hex {

// The eight octets of the sixteen digits at `in`, one in the low byte of each 16-bit lane;
// `allHex` false when one of them is not a hex digit. Each byte is classed as digit or letter
// by two signed compares (bytes of 0x80 and more come out negative or too large, so they fail
// both), its value picked by mask, and the pairs joined as high * 16 + low.
inline __m128i OctetLanesSse2(const char* in, bool& allHex) {
  const __m128i minusOne = _mm_set1_epi8(-1);
  const __m128i ten = _mm_set1_epi8(10);
  const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));  // NOLINT
  const __m128i digit = _mm_sub_epi8(text, _mm_set1_epi8('0'));
  const __m128i isDigit =
      _mm_and_si128(_mm_cmpgt_epi8(digit, minusOne), _mm_cmplt_epi8(digit, ten));
  const __m128i letter = _mm_sub_epi8(_mm_or_si128(text, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
  const __m128i isLetter =
      _mm_and_si128(_mm_cmpgt_epi8(letter, minusOne), _mm_cmplt_epi8(letter, _mm_set1_epi8(6)));
  allHex = _mm_movemask_epi8(_mm_or_si128(isDigit, isLetter)) == 0xFFFF;
  const __m128i values = _mm_or_si128(_mm_and_si128(isDigit, digit),
                                      _mm_and_si128(isLetter, _mm_add_epi8(letter, ten)));
  // Little-endian lanes: the first digit of a pair (the high nibble) is the low byte.
  const __m128i high = _mm_and_si128(values, _mm_set1_epi16(0x00FF));
  return _mm_or_si128(_mm_slli_epi16(high, 4), _mm_srli_epi16(values, 8));
}

}  // namespace brindle::hex
#endif
