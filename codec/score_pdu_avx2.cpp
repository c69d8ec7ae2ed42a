// The one-pass score reader for processors with AVX2 and BMI2: the usual score message (no
// user-data header, a payload of 1 to 30 sound bytes, both numbers of one to eight digits) is
// read without a field-by-field walk; anything else is read by the portable reader. It fills
// the same reading, PDU fields included.
//
// Where things are (registers little-endian, byte 0 lowest):
// - OctetBlockAvx2: a 256-bit block of 32 text characters becomes 16 octets, octet i in bytes
//   2i (value) and 2i + 1 (zero) of the maddubs result; packus and the 0x08 permute put the 16
//   octets in bytes 0-15 of the low half. `strays` has a nonzero byte for every character of
//   the block that is not a hex digit. LoadOctets stores block k's at octet k / 2.
// - WriteNumber: 16 address octets in a 128-bit register; low nibbles unpacked with high ones
//   give digit i in byte i (digits 0-15 in `first`, 16-19 in the low 4 bytes of `rest`).
// - ReadUserData: each block of 32 digits becomes 16 octets as above, and a window of
//   kSlide moves them down so that user-data octet 16i + k is in byte k of `at[i]`.
// - GroupPair: the window from octet 14i on holds groups 2i and 2i + 1 in bytes 0-6 and 7-13;
//   the shuffle puts each in its own quadword, byte 7 zero.
// - WritePayload: GroupPair deposits seven octets into the low seven bits of eight bytes,
//   septet j of the group in byte j. `low` holds groups 0-3 (septets 0-31) as one quadword
//   each, `high` groups 4-7. PayloadLanes turns each digit pair (16-bit lane) into its payload
//   byte in the lane's low byte; packus + the 0xD8 permute put payload byte p (septets 2p and
//   2p + 1) in byte p, and alignr drops the two pairs of the "MID " marker, so byte p of
//   `written` is payload byte p, zeros from byte `pairs` on.
// - SplitPayload: `payload` as above; `next` is it shifted down one byte, so lane i of
//   `lengths` holds the two-digit number of bytes i and i + 1 (255 where either is not a
//   digit); `digits` and `minus` are bit masks by byte.
// - StoreNumbers: the game id's word in the low quadword, the score's in the high one, each
//   digit in one byte, the first digit highest once shifted to the top.
//
// PDEP (BMI2) deposits the septets: AMD processors before Zen 3 run it in microcode, so slowly
// that the portable reader is faster there; BRINDLE_CODEC_PATH=portable selects it.
#include "codec/score_reader.h"

#if BRINDLE_SCORE_PDU_AVX2
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "codec/score_payload.h"

namespace brindle {

// __builtin_cpu_init first: this may run before the runtime's own start-up code has.
const bool kCpuHasAvx2Bmi2 = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2");
}();

namespace {

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

// The 32 bytes of `text` read as hex digits: each byte's value, anything for a stray, and a
// nonzero byte added to `strays` for each byte that is not a hex digit.
__attribute__((target("avx2"), always_inline)) inline __m256i ReadDigitsAvx2(__m256i text,
                                                                             __m256i& strays) {
  const __m256i row = _mm256_and_si256(_mm256_srli_epi16(text, 4), _mm256_set1_epi8(0x0F));
  strays = _mm256_or_si256(strays,
                           _mm256_andnot_si256(_mm256_shuffle_epi8(Load32(kColumnHas.data()), text),
                                               _mm256_shuffle_epi8(Load32(kRowNeeds.data()), row)));
  return _mm256_add_epi8(text, _mm256_shuffle_epi8(Load32(kRowOffset.data()), row));
}

// The sixteen octets of the 32 digits at `in`, in order, and the strays among them.
__attribute__((target("avx2"), always_inline)) inline __m128i OctetBlockAvx2(const char* in,
                                                                             __m256i& strays) {
  // maddubs joins each pair as high * 16 + low (the first digit is the low byte of a lane);
  // packus works within 128-bit halves, so the octets are quadwords 0 and 2.
  const __m256i lanes =
      _mm256_maddubs_epi16(ReadDigitsAvx2(Load32(in), strays), _mm256_set1_epi16(0x0110));
  return _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packus_epi16(lanes, lanes), 0x08));
}

// The unscrambled payload byte of each digit pair (16-bit lanes; the first digit is the low
// byte) straight from the nibbles h and l: (h & 7) + 8 * l + 16 * (h & 8). `sound` gets two
// bits for each pair that is two hex digits giving a byte other than zero.
__attribute__((target("avx2"), always_inline)) inline __m256i PayloadLanesAvx2(__m256i text,
                                                                               unsigned& sound) {
  __m256i strays = _mm256_setzero_si256();
  const __m256i values = ReadDigitsAvx2(text, strays);
  const __m256i plain =
      _mm256_add_epi16(_mm256_maddubs_epi16(_mm256_and_si256(values, _mm256_set1_epi16(0x7F07)),
                                            _mm256_set1_epi16(0x0801)),
                       _mm256_slli_epi16(_mm256_and_si256(values, _mm256_set1_epi16(0x0008)), 4));
  sound = static_cast<unsigned>(_mm256_movemask_epi8(
      _mm256_andnot_si256(_mm256_cmpeq_epi16(plain, _mm256_setzero_si256()),
                          _mm256_cmpeq_epi16(strays, _mm256_setzero_si256()))));
  return plain;
}

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
      _mm_set1_epi8(0x0F));
  const __m128i quads = _mm_madd_epi16(_mm_maddubs_epi16(digits, _mm_set1_epi32(0x010A010A)),
                                       _mm_set1_epi32(0x00010064));
  const __m128i value =
      _mm_add_epi64(_mm_mul_epu32(quads, _mm_set1_epi32(10000)), _mm_srli_epi64(quads, 32));
  const __m128i sign = _mm_set_epi64x(-static_cast<long long>(spans.negative[1]),
                                      -static_cast<long long>(spans.negative[0]));
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
  const __m256i nine = _mm256_set1_epi8(9);
  const __m256i digit = _mm256_sub_epi8(payload, _mm256_set1_epi8('0'));
  const __m256i nextDigit = _mm256_sub_epi8(next, _mm256_set1_epi8('0'));
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
                      _mm256_andnot_si256(bothDigits, _mm256_set1_epi8(-1))));
  const auto digits = static_cast<std::uint32_t>(_mm256_movemask_epi8(isDigit));
  const auto minus = static_cast<std::uint32_t>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(payload, _mm256_set1_epi8('-'))));
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

// Room for the octets of the longest text (92), zeros behind them: the header lies in the first
// 36 octets, and the address digits are read 16 octets at a time.
constexpr std::size_t kOctetRoom = 96;

// The octets of `text` (kMinText to kMaxText digits, an even count) into `octets`, which holds
// zeros; false when a character is not a hex digit. The last block of 32 digits ends with the
// text and may overlap the one before, writing the same octets again. (Inline rather than
// through a hex reader: the call costs some 2 ns of a 40 ns message.)
__attribute__((target("avx2,bmi2"), always_inline)) inline bool LoadOctets(
    std::string_view text, std::array<std::uint8_t, kOctetRoom>& octets) {
  __m256i strays = _mm256_setzero_si256();
  for (std::size_t k = 0; k < text.size(); k += 32) {
    const std::size_t at = std::min(k, text.size() - 32);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(octets.data() + at / 2),  // NOLINT
                     OctetBlockAvx2(text.data() + at, strays));
  }
  return _mm256_testz_si256(strays, strays) != 0;
}

// The address digits from `octets` on, low nibble first, as characters ('+' first for an
// international number); the filler 0xF is a NUL. All 20 a field may hold are written,
// which the buffer has room for, and the NUL behind the real ones.
__attribute__((target("avx2,bmi2"), always_inline)) inline void WriteNumber(
    const std::uint8_t* octets, std::size_t digits, std::uint8_t type, char* number) {
  const __m128i packed = _mm_loadu_si128(reinterpret_cast<const __m128i*>(octets));  // NOLINT
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i low = _mm_and_si128(packed, nibble);
  const __m128i high = _mm_and_si128(_mm_srli_epi16(packed, 4), nibble);
  const __m128i characters =
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(kSemiOctets.data()));  // NOLINT
  const __m128i first = _mm_shuffle_epi8(characters, _mm_unpacklo_epi8(low, high));
  const __m128i rest = _mm_shuffle_epi8(characters, _mm_unpackhi_epi8(low, high));
  const std::size_t plus = IsInternational(type) ? 1 : 0;
  static_assert(sizeof(Address::number) >= 1 + kMaxAddressDigits + 1);
  number[0] = '+';
  _mm_storeu_si128(reinterpret_cast<__m128i*>(number + plus), first);  // NOLINT
  const int last = _mm_cvtsi128_si32(rest);                            // digits 17 to 20
  std::memcpy(number + plus + 16, &last, sizeof(last));
  number[plus + digits] = '\0';
}

// The first 64 octets of the user data, which starts at digit `from` of `text`, in four
// registers (octet 16i + k in byte k of the ith), zeros past the text's end. They are read
// from the text again rather than loaded from the octets just stored: a load that spans two
// recent stores waits for both to reach the cache, some 5 ns of a 43 ns message.
// Each block of 32 digits ends with the text at the latest and is shifted into place by a
// window of kSlide; LoadOctets has checked every digit. Stored in `pdu` too.
alignas(32) inline constexpr std::array<std::uint8_t, 32> kSlide = {
    0,    1,    2,    3,    4,    5,    6,    7,    8,    9,    10,   11,   12,   13,   14,   15,
    0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80};
struct UserDataBlocks {
  static constexpr std::size_t kCount = 4;
  __m128i at[kCount];  // NOLINT(*-avoid-c-arrays): std::array drops the vector's attributes
};
__attribute__((target("avx2,bmi2"), always_inline)) inline UserDataBlocks ReadUserData(
    std::string_view text, std::size_t from, Pdu& pdu) {
  // The user data is at most 56 octets here; all 64 read are stored, which the room holds.
  static_assert(kMaxUserDataOctets + kUserDataReadAhead >= 16 * UserDataBlocks::kCount);
  UserDataBlocks blocks;
  __m256i unused = _mm256_setzero_si256();
  for (std::size_t i = 0; i < UserDataBlocks::kCount; ++i) {
    const std::size_t start = from + 32 * i;
    const std::size_t at = std::min(start, text.size() - 32);
    const std::size_t shift = std::min<std::size_t>((start - at) / 2, 16);
    blocks.at[i] = _mm_shuffle_epi8(OctetBlockAvx2(text.data() + at, unused),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(  // NOLINT
                                        kSlide.data() + shift)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(pdu.userData.data() + 16 * i),  // NOLINT
                     blocks.at[i]);
  }
  return blocks;
}

// Septet groups 2i and 2i + 1 of the user data (octets 14i to 14i + 13) from the two blocks
// that hold them, which start 14i - kOffset octets in. A group's eight septets are one BMI2
// deposit of its seven octets into the low seven bits of eight bytes.
template <int kOffset>
__attribute__((target("avx2,bmi2"), always_inline)) inline std::array<long long, 2> GroupPair(
    __m128i first, __m128i second) {
  const __m128i window = kOffset == 0 ? first : _mm_alignr_epi8(second, first, kOffset);
  const __m128i split =
      _mm_shuffle_epi8(window, _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, -1, 7, 8, 9, 10, 11, 12, 13, -1));
  constexpr std::uint64_t kSeptets = 0x7F7F7F7F7F7F7F7FU;
  return {static_cast<long long>(
              _pdep_u64(static_cast<std::uint64_t>(_mm_cvtsi128_si64(split)), kSeptets)),
          static_cast<long long>(
              _pdep_u64(static_cast<std::uint64_t>(_mm_extract_epi64(split, 1)), kSeptets))};
}

// The score payload from the first 64 septets of the user data: `pairs` bytes, then zeros to
// byte 32. The septets of the score text are its characters, so the digit pairs go to payload
// bytes without a text in between.
__attribute__((target("avx2,bmi2"), always_inline)) inline bool WritePayload(
    const UserDataBlocks& u, std::size_t pairs, char* payload, __m256i& written) {
  unsigned soundLow = 0;
  unsigned soundHigh = 0;
  const auto [g0, g1] = GroupPair<0>(u.at[0], u.at[1]);
  const auto [g2, g3] = GroupPair<14>(u.at[0], u.at[1]);
  const auto [g4, g5] = GroupPair<12>(u.at[1], u.at[2]);
  const auto [g6, g7] = GroupPair<10>(u.at[2], u.at[3]);
  const __m256i low = PayloadLanesAvx2(_mm256_set_epi64x(g3, g2, g1, g0), soundLow);
  const __m256i high = PayloadLanesAvx2(_mm256_set_epi64x(g7, g6, g5, g4), soundHigh);
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
  const __m256i keep = _mm256_cmpgt_epi8(
      _mm256_set1_epi8(static_cast<char>(pairs)),
      _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
                       22, 23, 24, 25, 26, 27, 28, 29, 30, 31));
  written = _mm256_and_si256(shifted, keep);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(payload), written);  // NOLINT
  return true;
}

// Where the fields of a score message lie in its octets.
struct ScoreLayout {
  std::size_t number = 0;  // the first octet of the address digits
  std::size_t digits = 0;
  std::size_t userData = 0;
  std::size_t pairs = 0;  // payload bytes the score text carries
};

// The PDU's fields from the octets read from a text of `size` digits (64 readable) into
// `pdu`, the address digits and user data excepted, and where those lie into `layout`; false
// for anything not of the one-pass shape. No bound check per field: every position read lies
// in the room, and at the end the user data must end exactly with the text, which also puts
// every field before it inside.
__attribute__((always_inline)) inline bool FindFields(const std::uint8_t* octets, std::size_t size,
                                                      ScoreLayout& layout, Pdu& pdu) {
  const std::size_t serviceCentre = octets[0];
  if (serviceCentre > kMaxServiceCentreOctets) {
    return false;
  }
  ReadServiceCentre({octets + 1, serviceCentre}, pdu.serviceCentre);
  std::size_t at = 1 + serviceCentre;
  SetFirstOctet(octets[at++], pdu);
  const bool submit = pdu.messageType == MessageType::kSubmit;
  if (pdu.userDataHeaderIndicator || (!submit && pdu.messageType != MessageType::kDeliver)) {
    return false;
  }
  pdu.messageReference = submit ? octets[at++] : 0;
  layout.digits = octets[at];
  if (layout.digits > kMaxAddressDigits) {
    return false;
  }
  pdu.address.type = octets[at + 1];
  layout.number = at + 2;
  at += 2 + (layout.digits + 1) / 2;
  pdu.protocolIdentifier = octets[at];
  pdu.dataCodingScheme = octets[at + 1];
  if (!IsGsmDefaultAlphabet(pdu.dataCodingScheme)) {
    return false;
  }
  at += 2;
  pdu.serviceCentreTimeStamp = TimeStamp{};
  if (submit) {
    // Seven octets copied whatever the format: the room holds them, and only the format's
    // count of them means anything.
    std::memcpy(pdu.validityPeriod.data(), octets + at, pdu.validityPeriod.size());
    at += kValidityOctets[static_cast<std::size_t>(pdu.validityFormat)];
  } else {
    if (DecodeTimeStamp(
            std::span<const std::uint8_t, kTimeStampOctets>(octets + at, kTimeStampOctets),
            pdu.serviceCentreTimeStamp) >= 0) {
      return false;
    }
    at += kTimeStampOctets;
  }
  const std::size_t septets = octets[at++];
  if (at + (7 * septets + 7) / 8 != size / 2 || septets < kScoreTextMarker.size() + 2) {
    return false;
  }
  pdu.userDataLength = static_cast<std::uint8_t>(septets);
  pdu.userDataOctets = (7 * septets + 7) / 8;
  layout.userData = at;
  layout.pairs = (septets - kScoreTextMarker.size()) / 2;
  return layout.pairs <= kMaxPayload;
}

// True with `reading` filled as the portable reader fills it; false, `reading` in no defined
// state, for anything of another shape.
__attribute__((target("avx2,bmi2"), always_inline)) inline bool ReadOnePass(std::string_view text,
                                                                            PduReading& reading) {
  if (text.size() < kMinText || text.size() > kMaxText || text.size() % 2 != 0) {
    return false;
  }
  std::array<std::uint8_t, kOctetRoom> octets{};
  ScoreLayout layout;
  Pdu& pdu = reading.pdu;
  if (!LoadOctets(text, octets) || !FindFields(octets.data(), text.size(), layout, pdu)) {
    return false;
  }
  reading.payloadLength = layout.pairs;
  reading.error = PduError::kNone;
  reading.errorOffset = 0;
  WriteNumber(octets.data() + layout.number, layout.digits, pdu.address.type,
              pdu.address.number.data());
  const UserDataBlocks userData = ReadUserData(text, 2 * layout.userData, pdu);
  __m256i payload;
  NumberSpans spans;
  if (!WritePayload(userData, layout.pairs, reading.payload, payload) ||
      !SplitPayload(payload, reading.payload, layout.pairs, spans)) {
    return false;
  }
  StoreNumbers(reading.payload, spans, reading.fields);
  // The handle is under 30 bytes with 32 readable behind its start, and the handle buffer
  // holds 32: one fixed-size copy instead of a library call that picks its way by the length.
  static_assert(sizeof(reading.fields.handle) >= 32);
  std::memcpy(reading.fields.handle, reading.payload + spans.handle, 32);
  reading.fields.handleLength = layout.pairs - spans.handle;
  reading.fields.handle[reading.fields.handleLength] = '\0';
  return true;
}

// Out of line, so that the one-pass reader needs no frame for what it never calls.
[[gnu::noinline]] PduError ReadPortably(std::string_view text, PduReading& reading) {
  return ReadScorePdu(text, reading, CodecPath::kPortable);
}

}  // namespace

__attribute__((target("avx2,bmi2"))) PduError ReadScorePduAvx2(std::string_view text,
                                                               PduReading& reading) {
  return ReadOnePass(text, reading) ? PduError::kNone : ReadPortably(text, reading);
}

}  // namespace brindle
#endif
