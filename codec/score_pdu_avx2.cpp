#include "codec/score_pdu_one_pass.h"

#if BRINDLE_SCORE_PDU_AVX2
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "codec/hex_sse2.h"
#include "codec/payload_avx2.h"
#include "codec/score_pdu_steps.h"
#include "codec/tpdu.h"

namespace brindle {

// __builtin_cpu_init first: this may run before the runtime's own start-up code has.
const bool kCpuHasAvx2Bmi2 = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2");
}();

namespace {

using namespace one_pass;  // NOLINT(google-build-using-namespace): the shared steps

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

// True with `reading` filled as ReadPduStepwise fills it; false, `reading` in no defined state,
// for anything of another shape.
__attribute__((target("avx2,bmi2"), always_inline)) inline bool ReadScorePdu(std::string_view text,
                                                                             PduReading& reading) {
  if (text.size() < kMinText || text.size() > kMaxText || text.size() % 2 != 0) {
    return false;
  }
  std::array<std::uint8_t, kOctetRoom> octets;  // NOLINT: written whole by LoadOctets
  ScoreLayout layout;
  if (!LoadOctets(text, octets) ||
      !FindFields(octets.data(), text.size(), layout, reading.sentAt)) {
    return false;
  }
  WriteShape(layout, reading);
  WriteNumber(octets.data() + layout.number, layout.digits, layout.type, reading.number);
  __m256i payload;
  NumberSpans spans;
  if (!WritePayload(octets.data() + layout.userData, layout.pairs, reading.payload, payload) ||
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

}  // namespace

__attribute__((target("avx2,bmi2"))) PduError ReadPduOnePassFirst(std::string_view text,
                                                                  PduReading& reading) {
  return ReadScorePdu(text, reading) ? PduError::kNone : ReadPduStepwise(text, reading);
}

}  // namespace brindle
#endif
