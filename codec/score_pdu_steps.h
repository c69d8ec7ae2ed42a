// The steps both one-pass readers share: where the fields of a score message lie, and its
// payload split into numbers and handle. Compiled into each reader, for its own processor.
#pragma once

#include <immintrin.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "codec/hex_sse2.h"
#include "codec/pdu_reader.h"
#include "codec/score_payload.h"
#include "codec/time_stamp.h"
#include "codec/tpdu.h"

namespace brindle::one_pass {

constexpr std::size_t kMinText = 32;     // one block of digits
constexpr std::size_t kMaxPayload = 30;  // the marker and 60 digits fill 64 septets
// The longest header (36 octets) and the 56 octets of 64 septets.
constexpr std::size_t kMaxText = std::size_t{2} * (36 + 56);
// The two numbers of a score payload: where their digits lie (1 to 8 of them), their signs,
// and where the handle starts.
struct NumberSpans {
  std::array<std::size_t, 2> from{};
  std::array<std::size_t, 2> count{};
  std::array<std::uint32_t, 2> negative{};  // 1 for a minus in front
  std::size_t handle = 0;
};

// Both numbers' signs as masks, by which of them are negative (bit 0 the game id's).
alignas(16) inline constexpr std::array<std::array<std::int64_t, 2>, 4> kSigns = {
    {{0, 0}, {-1, 0}, {0, -1}, {-1, -1}}};

// The numbers of both spans of `text` (eight bytes readable at each), negated where
// `negative` says, into `fields`. Each word's digits are moved to the top (bytes past them
// drop out, zeros come in front), then pairs, quads and halves of both words are joined by
// the same multiply-adds in one register.
__attribute__((target("avx2,bmi2"), always_inline)) inline void StoreNumbers(
    const char* text, const NumberSpans& spans, ScoreFields& fields) {
  std::array<std::uint64_t, 2> words{};
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::memcpy(&words[i], text + spans.from[i], sizeof(words[i]));
    words[i] <<= 64 - 8 * spans.count[i];
  }
  const __m128i digits = _mm_and_si128(
      _mm_set_epi64x(static_cast<long long>(words[1]), static_cast<long long>(words[0])),
      hex::Copies32x4<0x0F0F0F0F>());
  const __m128i quads = _mm_madd_epi16(_mm_maddubs_epi16(digits, hex::Copies32x4<0x010A010A>()),
                                       hex::Copies32x4<0x00010064>());
  const __m128i value =
      _mm_add_epi64(_mm_mul_epu32(quads, hex::Copies32x4<10000>()), _mm_srli_epi64(quads, 32));
  const __m128i sign = _mm_load_si128(reinterpret_cast<const __m128i*>(  // NOLINT
      kSigns[spans.negative[0] | spans.negative[1] << 1U].data()));
  const __m128i numbers = _mm_sub_epi64(_mm_xor_si128(value, sign), sign);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(&fields.gameId), numbers);  // NOLINT
  fields.fixed = 1;
  fields.score = _mm_extract_epi64(numbers, 1);
}

// The fixed field's count and value, "011", as the low three bytes of a little-endian word.
inline constexpr std::uint32_t kFixedField = '0' | '1' << 8U | '1' << 16U;

// Splits the payload held in `payload` (its `size` bytes, then zeros) and written at `text`
// (64 bytes readable) into its four fields, when both numbers have one to eight digits and
// the fixed field is "011", as in every score message; false, fields in no defined state, for
// anything else. Each byte's two-digit number (255 unless it and the next are digits) is known
// for all at once, so a field is found by one table read; the fixed field is compared rather
// than walked, which leaves two dependent reads before the numbers, and their digits are
// checked against the digit mask in one step.
__attribute__((target("avx2,bmi2"), always_inline)) inline bool SplitPayload(__m256i payload,
                                                                             const char* text,
                                                                             std::size_t size,
                                                                             NumberSpans& spans) {
  const __m256i next =
      _mm256_alignr_epi8(_mm256_permute2x128_si256(payload, payload, 0x81), payload, 1);
  const __m256i nine = hex::Copies8<9>();
  const __m256i digit = _mm256_sub_epi8(payload, hex::Copies8<'0'>());
  const __m256i nextDigit = _mm256_sub_epi8(next, hex::Copies8<'0'>());
  const __m256i isDigit = _mm256_cmpeq_epi8(_mm256_min_epu8(digit, nine), digit);
  const __m256i bothDigits =
      _mm256_and_si256(isDigit, _mm256_cmpeq_epi8(_mm256_min_epu8(nextDigit, nine), nextDigit));
  const __m256i twice = _mm256_add_epi8(digit, digit);
  const __m256i eightTimes =
      _mm256_add_epi8(_mm256_add_epi8(twice, twice), _mm256_add_epi8(twice, twice));
  std::array<std::uint8_t, 32> lengths;  // NOLINT: written whole by the store
  _mm256_storeu_si256(
      reinterpret_cast<__m256i*>(lengths.data()),  // NOLINT
      _mm256_or_si256(_mm256_add_epi8(_mm256_add_epi8(eightTimes, twice), nextDigit),
                      _mm256_andnot_si256(bothDigits, hex::Copies8<0xFF>())));
  const auto digits = static_cast<std::uint32_t>(_mm256_movemask_epi8(isDigit));
  const auto minus = static_cast<std::uint32_t>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(payload, hex::Copies8<'-'>())));
  const std::size_t gameEnd = 2 + std::size_t{lengths[0]};  // 257 at most
  const std::size_t scoreStart = gameEnd + 5;               // behind "011" and its length digits
  if (scoreStart > size) {
    return false;
  }
  std::uint32_t fixed = 0;  // "011" and the byte behind it, in one read
  std::memcpy(&fixed, text + gameEnd, sizeof(fixed));
  if ((fixed & 0xFFFFFFU) != kFixedField) {
    return false;
  }
  const std::size_t scoreEnd = scoreStart + lengths[scoreStart - 2];
  if (scoreEnd + 3 > size || scoreEnd + 2 + lengths[scoreEnd] != size) {  // a handle of 1 or more
    return false;
  }
  const std::uint32_t gameNegative = (minus >> 2U) & 1U;
  const std::uint32_t scoreNegative = (minus >> scoreStart) & 1U;
  const std::size_t gameFrom = 2 + gameNegative;
  const std::size_t scoreFrom = scoreStart + scoreNegative;
  const std::size_t gameCount = gameEnd - gameFrom;
  const std::size_t scoreCount = scoreEnd - scoreFrom;
  const std::uint32_t wanted = (_bzhi_u32(~0U, static_cast<unsigned>(gameCount)) << gameFrom) |
                               (_bzhi_u32(~0U, static_cast<unsigned>(scoreCount)) << scoreFrom);
  if (gameCount - 1 >= 8 || scoreCount - 1 >= 8 || (digits & wanted) != wanted) {
    return false;
  }
  spans = {
      {gameFrom, scoreFrom}, {gameCount, scoreCount}, {gameNegative, scoreNegative}, scoreEnd + 2};
  return true;
}

// The octets of TP-VP by TP-VPF, a byte each: a shift finds the length rather than a read.
inline constexpr std::uint32_t kValidityLengths = [] {
  std::uint32_t packed = 0;
  for (std::size_t format = 0; format < tpdu::kValidityOctets.size(); ++format) {
    packed |= static_cast<std::uint32_t>(tpdu::kValidityOctets[format]) << (8 * format);
  }
  return packed;
}();

// Where the fields of a score message lie in its octets.
struct ScoreLayout {
  std::size_t number = 0;  // the first octet of the address digits
  std::size_t digits = 0;
  std::uint8_t type = 0;  // type of address
  std::size_t userData = 0;
  std::size_t pairs = 0;  // payload bytes the score text carries
  bool submit = false;
};

// The header of the octets read from a text of `size` digits (64 readable), with the
// time stamp of an SMS-DELIVER into `sentAt`; false for anything not of the one-pass shape.
// No bound check per field: every position read lies in the room, and at the end the user
// data must end exactly with the text, which also puts every field before it inside.
__attribute__((always_inline)) inline bool FindFields(const std::uint8_t* octets, std::size_t size,
                                                      ScoreLayout& layout, TimeStamp& sentAt) {
  const std::size_t serviceCentre = octets[0];
  if (serviceCentre > tpdu::kMaxServiceCentreOctets) {
    return false;
  }
  std::size_t at = 1 + serviceCentre;
  const std::uint8_t first = octets[at++];
  const unsigned messageType = first & tpdu::kMessageTypeMask;
  if ((first & tpdu::kUserDataHeader) != 0 ||
      (messageType != tpdu::kMessageTypeSubmit && messageType != tpdu::kMessageTypeDeliver)) {
    return false;
  }
  layout.submit = messageType == tpdu::kMessageTypeSubmit;
  at += layout.submit ? 1 : 0;  // TP-MR
  std::uint16_t address = 0;    // the address's digit count and type, in one read
  std::memcpy(&address, octets + at, sizeof(address));
  layout.digits = address & 0xFFU;
  if (layout.digits > kMaxAddressDigits) {
    return false;
  }
  layout.type = static_cast<std::uint8_t>(address >> 8U);
  layout.number = at + 2;
  at += 2 + (layout.digits + 1) / 2;
  if (!tpdu::IsGsmDefaultAlphabet(octets[at + 1])) {  // TP-DCS, behind TP-PID
    return false;
  }
  at += 2;
  sentAt = TimeStamp{};
  if (layout.submit) {
    at += (kValidityLengths >> (8U * static_cast<unsigned>(tpdu::ValidityFormatOf(first)))) & 0xFFU;
  } else {
    if (DecodeTimeStamp(
            std::span<const std::uint8_t, kTimeStampOctets>(octets + at, kTimeStampOctets),
            sentAt) >= 0) {
      return false;
    }
    at += kTimeStampOctets;
  }
  const std::size_t septets = octets[at++];
  if (at + (7 * septets + 7) / 8 != size / 2 || septets < kScoreTextMarker.size() + 2) {
    return false;
  }
  layout.userData = at;
  layout.pairs = (septets - kScoreTextMarker.size()) / 2;
  return layout.pairs <= kMaxPayload;
}

// The fields the layout alone decides, written as soon as it is known so that its values
// need not be kept to the end; a reading declined later is read again from the start.
inline void WriteShape(const ScoreLayout& layout, PduReading& reading) {
  reading.payloadLength = layout.pairs;
  reading.type = layout.submit ? PduType::kSubmit : PduType::kDeliver;
  reading.error = PduError::kNone;
  reading.errorOffset = 0;
}

}  // namespace brindle::one_pass
