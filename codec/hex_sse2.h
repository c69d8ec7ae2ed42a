// The SIMD steps the hex reader and the payload block decoders share: SSE2, sixteen hex
// digits to eight octets; AVX2, 32 characters to their values as hex digits.
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

#if BRINDLE_HEX_AVX2
#include <immintrin.h>

#include <array>

namespace brindle::hex {

// Tables for pshufb, indexed by a character's high nibble (its row) or low nibble (its
// column), each repeated for both 128-bit lanes so that it is one load. A character is a stray
// when its row needs a bit its column lacks. pshufb gives 0 for an index of 0x80 or more, so
// the column is looked up by the character itself, unmasked: such a byte then has no bits,
// and its row (8 to F) needs one.
using LaneTable = std::array<std::uint8_t, 32>;
template <typename ByNibble>
constexpr LaneTable NibbleTable(ByNibble byNibble) {
  LaneTable table{};
  for (std::size_t i = 0; i < table.size(); ++i) {
    table[i] = static_cast<std::uint8_t>(byNibble(i % 16));
  }
  return table;
}
inline constexpr unsigned kDigitRow = 1;   // row 3, columns 0 to 9
inline constexpr unsigned kLetterRow = 2;  // rows 4 and 6, columns 1 to 6
inline constexpr unsigned kNoRow = 4;      // no column has it
alignas(32) inline constexpr LaneTable kRowNeeds = NibbleTable([](std::size_t row) {
  return row == 3 ? kDigitRow : row == 4 || row == 6 ? kLetterRow : kNoRow;
});
alignas(32) inline constexpr LaneTable kColumnHas = NibbleTable([](std::size_t column) {
  return (column <= 9 ? kDigitRow : 0) | (column >= 1 && column <= 6 ? kLetterRow : 0);
});
// A hex digit's value is its character plus the offset of its row.
alignas(32) inline constexpr LaneTable kRowOffset = NibbleTable([](std::size_t row) {
  return row == 3 ? 0x100 - '0' : row == 4 ? 0x100 + 10 - 'A' : row == 6 ? 0x100 + 10 - 'a' : 0;
});

__attribute__((target("avx2"), always_inline)) inline __m256i Load32(const void* at) {
  return _mm256_loadu_si256(static_cast<const __m256i*>(at));
}

__attribute__((target("avx2"), always_inline)) inline __m256i LoadTable(const LaneTable& table) {
  return Load32(table.data());
}

// A vector of eight copies of `kBits`, read from a table the compiler cannot see into: GCC 12
// builds a known uniform vector from a general register in three instructions, where a table
// in memory is an operand of the instruction that uses it.
template <std::uint32_t kBits>
alignas(32) inline constexpr LaneTable kCopies = NibbleTable([](std::size_t i) {
  return (kBits >> (8 * (i % 4))) & 0xFFU;
});
template <std::uint32_t kBits>
inline const std::uint8_t* HiddenCopies() {
  const std::uint8_t* table = kCopies<kBits>.data();
  asm("" : "+r"(table));  // NOLINT: hides the values
  return table;
}
template <std::uint32_t kBits>
__attribute__((target("avx2"), always_inline)) inline __m256i Copies32() {
  return Load32(HiddenCopies<kBits>());
}
// The same in a 128-bit register.
template <std::uint32_t kBits>
__attribute__((target("avx2"), always_inline)) inline __m128i Copies32x4() {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(HiddenCopies<kBits>()));  // NOLINT
}
template <std::uint16_t kWord>
__attribute__((target("avx2"), always_inline)) inline __m256i Copies16() {
  return Copies32<kWord * 0x10001U>();
}
template <std::uint8_t kByte>
__attribute__((target("avx2"), always_inline)) inline __m256i Copies8() {
  return Copies32<kByte * 0x01010101U>();
}

struct DigitsAvx2 {
  __m256i values;  // each byte's value as a hex digit, anything for a stray
  __m256i strays;  // nonzero in the bytes that are not hex digits
};

// The 32 bytes of `text` read as hex digits.
__attribute__((target("avx2"), always_inline)) inline DigitsAvx2 ReadDigitsAvx2(__m256i text) {
  const __m256i row = _mm256_and_si256(_mm256_srli_epi16(text, 4), Copies8<0x0F>());
  return {_mm256_add_epi8(text, _mm256_shuffle_epi8(LoadTable(kRowOffset), row)),
          _mm256_andnot_si256(_mm256_shuffle_epi8(LoadTable(kColumnHas), text),
                              _mm256_shuffle_epi8(LoadTable(kRowNeeds), row))};
}

struct OctetsAvx2 {
  __m256i octets;  // octets, or octets in 16-bit lanes; anything where there are strays
  __m256i strays;  // nonzero bytes where a character is not a hex digit
};

// The sixteen octets of the 32 digits at `in`, one in the low byte of each 16-bit lane, and
// the strays among them as nonzero bytes.
__attribute__((target("avx2"), always_inline)) inline OctetsAvx2 OctetLanesAvx2(const char* in) {
  const __m256i text = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));  // NOLINT
  const DigitsAvx2 digits = ReadDigitsAvx2(text);
  // maddubs joins each pair as high * 16 + low (the first digit is the low byte of a lane).
  return {_mm256_maddubs_epi16(digits.values, Copies16<0x0110>()), digits.strays};
}

}  // namespace brindle::hex
#endif
