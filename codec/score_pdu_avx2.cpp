#include "codec/score_pdu_avx2.h"

#if BRINDLE_SCORE_PDU_AVX2
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "codec/hex_sse2.h"
#include "codec/payload_avx2.h"
#include "codec/score_payload.h"
#include "codec/time_stamp.h"
#include "codec/tpdu.h"

namespace brindle {

// __builtin_cpu_init first: this may run before the runtime's own start-up code has.
const bool kCpuHasAvx2Bmi2 = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2");
}();

namespace {

constexpr std::size_t kMinText = 32;     // one block of digits
constexpr std::size_t kMaxPayload = 30;  // the marker and 60 digits fill 64 septets
// The longest header (36 octets) and the 56 octets of 64 septets.
constexpr std::size_t kMaxText = std::size_t{2} * (36 + 56);
// The octets and room behind them: every header position stays under 36 and the septet
// groups read 57 octets from the user data on, so no read leaves the room.
constexpr std::size_t kOctetRoom = 128;

// The octets of `text` (kMinText to kMaxText digits, an even count) into `octets`, zeros
// behind them; false when a character is not a hex digit. The last block of 32 digits ends
// with the text and may overlap the one before, writing the same octets again. (Inline rather
// than through hex::ReadPairs: the call costs some 2 ns of a 50 ns message.)
__attribute__((target("avx2,bmi2"), always_inline)) inline bool LoadOctets(
    std::string_view text, std::array<std::uint8_t, kOctetRoom>& octets) {
  for (std::size_t k = 0; k < octets.size(); k += 32) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(octets.data() + k),  // NOLINT
                        _mm256_setzero_si256());
  }
  __m256i strays = _mm256_setzero_si256();
  for (std::size_t k = 0; k < text.size(); k += 32) {
    const std::size_t at = std::min(k, text.size() - 32);
    const hex::OctetsAvx2 block = hex::OctetLanesAvx2(text.data() + at);
    strays = _mm256_or_si256(strays, block.strays);
    // packus works within 128-bit halves, so the octets are quadwords 0 and 2.
    const __m256i packed =
        _mm256_permute4x64_epi64(_mm256_packus_epi16(block.octets, block.octets), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(octets.data() + at / 2),  // NOLINT
                     _mm256_castsi256_si128(packed));
  }
  return _mm256_testz_si256(strays, strays) != 0;
}

// The address digits from `octets` on, low nibble first, as characters ('+' first for an
// international number); the filler 0xF is a NUL. All 20 a field may hold are written,
// which the buffer has room for, and the NUL behind the real ones.
__attribute__((target("avx2,bmi2"), always_inline)) inline void WriteNumber(
    const std::uint8_t* octets, std::size_t digits, std::uint8_t type, char* number) {
  const __m128i packed = _mm_loadu_si128(reinterpret_cast<const __m128i*>(octets));  // NOLINT
  const __m128i nibble = hex::Copies32x4<0x0F0F0F0F>();
  const __m128i low = _mm_and_si128(packed, nibble);
  const __m128i high = _mm_and_si128(_mm_srli_epi16(packed, 4), nibble);
  const __m128i characters =
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(tpdu::kAddressDigits.data()));  // NOLINT
  const __m128i first = _mm_shuffle_epi8(characters, _mm_unpacklo_epi8(low, high));
  const __m128i rest = _mm_shuffle_epi8(characters, _mm_unpackhi_epi8(low, high));
  const std::size_t plus =
      (type & tpdu::kTypeOfNumberMask) == tpdu::kTypeOfNumberInternational ? 1 : 0;
  static_assert(sizeof(PduReading::number) >= 1 + kMaxAddressDigits + 1);
  number[0] = '+';
  _mm_storeu_si128(reinterpret_cast<__m128i*>(number + plus), first);  // NOLINT
  const int last = _mm_cvtsi128_si32(rest);                            // digits 17 to 20
  std::memcpy(number + plus + 16, &last, sizeof(last));
  number[plus + digits] = '\0';
}

// Eight septets from seven octets, one in the low seven bits of each byte.
__attribute__((target("avx2,bmi2"), always_inline)) inline long long SeptetGroup(
    const std::uint8_t* octets) {
  std::uint64_t packed = 0;
  std::memcpy(&packed, octets, sizeof(packed));  // the eighth octet is unused
  return static_cast<long long>(_pdep_u64(packed, 0x7F7F7F7F7F7F7F7FU));
}

constexpr std::array<std::int8_t, 32> kByteIndex = [] {
  std::array<std::int8_t, 32> index{};
  for (std::size_t i = 0; i < index.size(); ++i) {
    index[i] = static_cast<std::int8_t>(i);
  }
  return index;
}();

// The score payload from the first 64 septets of the user data at `userData` (kOctetRoom
// bounds the reads): `pairs` bytes, then zeros to byte 32. Eight septets are one BMI2 deposit
// of seven octets into the low seven bits of eight bytes, and the septets of the score text
// are its characters, so the digit pairs go to payload bytes without a text in between.
__attribute__((target("avx2,bmi2"), always_inline)) inline bool WritePayload(
    const std::uint8_t* userData, std::size_t pairs, char* payload, __m256i& written) {
  unsigned soundLow = 0;
  unsigned soundHigh = 0;
  const std::uint8_t* const u = userData;
  const __m256i low = PayloadLanesAvx2(_mm256_set_epi64x(SeptetGroup(u + 21), SeptetGroup(u + 14),
                                                         SeptetGroup(u + 7), SeptetGroup(u)),
                                       soundLow);
  const __m256i high = PayloadLanesAvx2(_mm256_set_epi64x(SeptetGroup(u + 49), SeptetGroup(u + 42),
                                                          SeptetGroup(u + 35), SeptetGroup(u + 28)),
                                        soundHigh);
  // The first two pairs are the marker; the payload's pairs follow.
  const std::uint64_t wanted = ((std::uint64_t{1} << (2 * pairs)) - 1U) << 4U;
  if (((soundLow | std::uint64_t{soundHigh} << 32U) & wanted) != wanted) {
    return false;
  }
  // packus works within 128-bit halves; the permute puts the 32 bytes in order, and alignr
  // over the two halves drops the marker's two.
  const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(low, high), 0xD8);
  const __m256i shifted =
      _mm256_alignr_epi8(_mm256_permute2x128_si256(bytes, bytes, 0x81), bytes, 2);
  const __m256i keep =
      _mm256_cmpgt_epi8(_mm256_set1_epi8(static_cast<char>(pairs)), hex::Load32(kByteIndex.data()));
  written = _mm256_and_si256(shifted, keep);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(payload), written);  // NOLINT
  return true;
}

// The numbers of `count` (1 to 8) digits at `from` in `text` (eight bytes readable there),
// negated where `negative` is 1, side by side in one register: each word's digits moved to
// the top (bytes past them drop out, zeros come in front), then pairs, quads and halves
// joined by multiply-adds.
__attribute__((target("avx2,bmi2"), always_inline)) inline __m128i NumbersAt(
    const char* text, const std::array<std::size_t, 2>& from,
    const std::array<std::size_t, 2>& count, const std::array<std::uint32_t, 2>& negative) {
  std::array<std::uint64_t, 2> words{};
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::memcpy(&words[i], text + from[i], sizeof(words[i]));
    words[i] <<= 64 - 8 * count[i];
  }
  const __m128i digits = _mm_and_si128(
      _mm_set_epi64x(static_cast<long long>(words[1]), static_cast<long long>(words[0])),
      hex::Copies32x4<0x0F0F0F0F>());
  const __m128i quads = _mm_madd_epi16(_mm_maddubs_epi16(digits, hex::Copies32x4<0x010A010A>()),
                                       hex::Copies32x4<0x00010064>());
  const __m128i value =
      _mm_add_epi64(_mm_mul_epu32(quads, hex::Copies32x4<10000>()), _mm_srli_epi64(quads, 32));
  const __m128i sign =
      _mm_set_epi64x(-static_cast<long long>(negative[1]), -static_cast<long long>(negative[0]));
  return _mm_sub_epi64(_mm_xor_si128(value, sign), sign);
}

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
                                                                             ScoreFields& fields) {
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
  if (scoreStart > size || text[gameEnd] != '0' || text[gameEnd + 1] != '1' ||
      text[gameEnd + 2] != '1') {
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
  const __m128i numbers = NumbersAt(text, {gameFrom, scoreFrom}, {gameCount, scoreCount},
                                    {gameNegative, scoreNegative});
  _mm_storel_epi64(reinterpret_cast<__m128i*>(&fields.gameId), numbers);  // NOLINT
  fields.fixed = 1;
  fields.score = _mm_extract_epi64(numbers, 1);
  // The handle is under 30 bytes with 32 readable behind its start, and the handle buffer
  // holds 32: one fixed-size copy instead of a library call that picks its way by the length.
  static_assert(sizeof(fields.handle) >= 32);
  std::memcpy(fields.handle, text + scoreEnd + 2, 32);
  fields.handleLength = size - scoreEnd - 2;
  fields.handle[fields.handleLength] = '\0';
  return true;
}

// True with `reading` filled as ReadPduStepwise fills it; false, `reading` in no defined state,
// for anything of another shape.
__attribute__((target("avx2,bmi2"), always_inline)) inline bool ReadScorePdu(std::string_view text,
                                                                             PduReading& reading) {
  if (text.size() < kMinText || text.size() > kMaxText || text.size() % 2 != 0) {
    return false;
  }
  std::array<std::uint8_t, kOctetRoom> octets;  // NOLINT: written whole by LoadOctets
  if (!LoadOctets(text, octets)) {
    return false;
  }
  // No bound check per field: every position read lies in the room, and at the end the user
  // data must end exactly with the text, which also puts every field before it inside.
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
  const bool submit = messageType == tpdu::kMessageTypeSubmit;
  at += submit ? 1 : 0;  // TP-MR
  const std::size_t digits = octets[at];
  if (digits > kMaxAddressDigits) {
    return false;
  }
  WriteNumber(octets.data() + at + 2, digits, octets[at + 1], reading.number);
  at += 2 + (digits + 1) / 2;
  if (!tpdu::IsGsmDefaultAlphabet(octets[at + 1])) {  // TP-DCS, behind TP-PID
    return false;
  }
  at += 2;
  reading.sentAt = TimeStamp{};
  if (submit) {
    at += tpdu::kValidityOctets[static_cast<std::size_t>(tpdu::ValidityFormatOf(first))];
  } else {
    if (DecodeTimeStamp(
            std::span<const std::uint8_t, kTimeStampOctets>(octets.data() + at, kTimeStampOctets),
            reading.sentAt) >= 0) {
      return false;
    }
    at += kTimeStampOctets;
  }
  const std::size_t septets = octets[at++];
  if (at + (7 * septets + 7) / 8 != text.size() / 2 || septets < kScoreTextMarker.size() + 2) {
    return false;
  }
  const std::size_t pairs = (septets - kScoreTextMarker.size()) / 2;
  __m256i payload;
  if (pairs > kMaxPayload || !WritePayload(octets.data() + at, pairs, reading.payload, payload) ||
      !SplitPayload(payload, reading.payload, pairs, reading.fields)) {
    return false;
  }
  reading.payloadLength = pairs;
  reading.type = submit ? PduType::kSubmit : PduType::kDeliver;
  reading.error = PduError::kNone;
  reading.errorOffset = 0;
  return true;
}

}  // namespace

__attribute__((target("avx2,bmi2"))) PduError ReadPduOnePassFirst(std::string_view text,
                                                                  PduReading& reading) {
  return ReadScorePdu(text, reading) ? PduError::kNone : ReadPduStepwise(text, reading);
}

}  // namespace brindle
#endif
