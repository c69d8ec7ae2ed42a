#include "codec/score_pdu_one_pass.h"

#if BRINDLE_SCORE_PDU_AVX512
#if defined(__GNUC__) && !defined(__clang__)
// GCC 12 warns that the undefined upper part some AVX-512 intrinsics start from may be used
// uninitialised; the instructions overwrite or mask all of it.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "codec/hex.h"
#include "codec/hex_sse2.h"
#include "codec/score_pdu_steps.h"
#include "codec/tpdu.h"

namespace brindle {

// __builtin_cpu_init first: this may run before the runtime's own start-up code has.
const bool kCpuHasAvx512Vbmi = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
         __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("bmi2");
}();

namespace {

using namespace one_pass;  // NOLINT(google-build-using-namespace): the shared steps

#define WIDE_TARGET "avx2,bmi2,avx512f,avx512bw,avx512vl,avx512vbmi"

// Hex digits by the low six bits of their character, which tell all 22 apart: the value, and
// the character itself (anything else gets one whose low bits differ, so it never matches).
struct BySix {
  alignas(64) std::array<std::uint8_t, 64> value{};
  alignas(64) std::array<std::uint8_t, 64> digit{};
};
constexpr BySix kBySix = [] {
  BySix tables;
  for (std::size_t i = 0; i < tables.digit.size(); ++i) {
    tables.digit[i] = static_cast<std::uint8_t>(i ^ 1U);
  }
  for (std::size_t i = 0; i < 16; ++i) {
    for (const char c : {hex::kUpperDigits[i], hex::kLowerDigits[i]}) {
      const auto index = static_cast<unsigned char>(c) & 0x3FU;
      tables.value[index] = static_cast<std::uint8_t>(i);
      tables.digit[index] = static_cast<std::uint8_t>(c);
    }
  }
  return tables;
}();

template <typename Index>
constexpr std::array<std::uint8_t, 64> Indexes(Index index) {
  std::array<std::uint8_t, 64> table{};
  for (std::size_t i = 0; i < table.size(); ++i) {
    table[i] = static_cast<std::uint8_t>(index(i));
  }
  return table;
}
alignas(64) constexpr auto kEvenBytes = Indexes([](std::size_t i) { return 2 * i; });
alignas(64) constexpr auto kOddBytes = Indexes([](std::size_t i) { return 2 * i + 1; });
alignas(64) constexpr auto kHalves = Indexes([](std::size_t i) { return i / 2; });
// Seven octets to each 64-bit lane, and the bit where each of its eight septets starts.
alignas(64) constexpr auto kSevens = Indexes([](std::size_t i) { return 7 * (i / 8) + i % 8; });
alignas(64) constexpr auto kSeptetBits = Indexes([](std::size_t i) { return 7 * (i % 8); });
// The payload bytes behind the marker's two.
alignas(64) constexpr auto kPayloadBytes = Indexes([](std::size_t i) { return 2 * i + 4; });
constexpr std::array<std::uint8_t, 64> kAddressCharacters = [] {
  std::array<std::uint8_t, 64> characters{};
  for (std::size_t i = 0; i < 16; ++i) {
    characters[i] = static_cast<std::uint8_t>(tpdu::kAddressDigits[i]);
  }
  return characters;
}();

__attribute__((target(WIDE_TARGET), always_inline)) inline __m512i Load64(
    const std::array<std::uint8_t, 64>& table) {
  return _mm512_loadu_si512(table.data());
}

// Sixteen copies of `kBits`, read from memory as hex::Copies32 reads its eight: a constant
// built in registers would take the shuffle port the permutes need.
template <std::uint32_t kBits>
__attribute__((target(WIDE_TARGET), always_inline)) inline __m512i Copies64() {
  return _mm512_broadcast_i32x4(hex::Copies32x4<kBits>());
}

struct WideOctets {
  __m512i low;   // octets 0 to 63
  __m512i high;  // octets 64 to 127 (those of a text's last 56 digits; anything behind them)
};

// The octets of `text` (kMinText to kMaxText digits, an even count) in two registers, and
// the first 64 at `octets`; false when a character is not a hex digit.
__attribute__((target(WIDE_TARGET), always_inline)) inline bool LoadOctetsWide(
    std::string_view text, WideOctets& wide, std::uint8_t* octets) {
  const __m512i valueTable = Load64(kBySix.value);
  const __m512i digitTable = Load64(kBySix.digit);
  __mmask64 strays = 0;
  // The values of the digits from `at` on (all 64 readable or only those within the text).
  const auto values = [&](std::size_t at) __attribute__((target(WIDE_TARGET), always_inline)) {
    const std::size_t left = text.size() > at ? text.size() - at : 0;
    const __mmask64 in =
        _bzhi_u64(~std::uint64_t{0}, static_cast<unsigned>(std::min<std::size_t>(left, 64)));
    const __m512i characters = _mm512_maskz_loadu_epi8(in, text.data() + at);
    strays |= _mm512_mask_cmpneq_epi8_mask(in, characters,
                                           _mm512_permutexvar_epi8(characters, digitTable));
    return _mm512_permutexvar_epi8(characters, valueTable);
  };
  // Each octet's high digit from the even characters, shifted up (no bit crosses a byte), and
  // its low digit from the odd ones.
  const __m512i even = Load64(kEvenBytes);
  const __m512i odd = Load64(kOddBytes);
  const __m512i first = values(0);
  const __m512i second = values(64);
  wide.low = _mm512_or_si512(_mm512_slli_epi16(_mm512_permutex2var_epi8(first, even, second), 4),
                             _mm512_permutex2var_epi8(first, odd, second));
  wide.high = _mm512_setzero_si512();
  if (text.size() > 128) {
    const __m512i third = values(128);
    wide.high = _mm512_or_si512(_mm512_slli_epi16(_mm512_permutexvar_epi8(even, third), 4),
                                _mm512_permutexvar_epi8(odd, third));
  }
  _mm512_storeu_si512(octets, wide.low);  // one store, so each header read forwards from it
  return strays == 0;
}

// The address digits from octet `from` on as characters, as WriteNumber writes them: each
// digit's octet picked to its place, its nibble kept, and the character looked up. Only the
// digits and the NUL behind them are stored. (WriteNumber itself, reading the octets back from
// memory, measured 1.4 ns slower here.)
__attribute__((target(WIDE_TARGET), always_inline)) inline void WriteNumberWide(
    __m512i octets, std::size_t from, std::size_t digits, std::uint8_t type, char* number) {
  const __m512i pairs = _mm512_permutexvar_epi8(
      _mm512_add_epi8(Load64(kHalves), _mm512_set1_epi8(static_cast<char>(from))), octets);
  const __m256i bytes = _mm512_castsi512_si256(pairs);
  // Each 16-bit lane holds its octet twice: the low byte keeps the low nibble, the high byte
  // takes the high one.
  const __m256i nibbles =
      _mm256_ternarylogic_epi32(bytes, _mm256_srli_epi16(bytes, 4), hex::Copies16<0x00FF>(), 0xE4);
  const __m256i characters =
      _mm256_maskz_permutexvar_epi8(_bzhi_u32(~0U, static_cast<unsigned>(digits)),
                                    _mm256_and_si256(nibbles, hex::Copies8<0x0F>()),
                                    _mm512_castsi512_si256(Load64(kAddressCharacters)));
  const std::size_t plus =
      (type & tpdu::kTypeOfNumberMask) == tpdu::kTypeOfNumberInternational ? 1 : 0;
  number[0] = '+';
  _mm256_mask_storeu_epi8(number + plus, _bzhi_u32(~0U, static_cast<unsigned>(digits + 1)),
                          characters);
}

// The score payload as WritePayload writes it, from the octets in their registers: the user
// data's 56 octets picked seven to each 64-bit lane by one two-register permute, the eight
// septets of a lane shifted to their bytes by one multishift, and every pair of score-text
// characters made a payload byte at once.
__attribute__((target(WIDE_TARGET), always_inline)) inline bool WritePayloadWide(
    const WideOctets& wide, std::size_t userData, std::size_t pairs, char* payload,
    __m256i& written) {
  const __m512i groups = _mm512_permutex2var_epi8(
      wide.low, _mm512_add_epi8(Load64(kSevens), _mm512_set1_epi8(static_cast<char>(userData))),
      wide.high);
  const __m512i septets = _mm512_and_si512(
      _mm512_multishift_epi64_epi8(Load64(kSeptetBits), groups), Copies64<0x7F7F7F7F>());
  const __m512i values = _mm512_permutexvar_epi8(septets, Load64(kBySix.value));
  const __mmask32 hexPairs =
      _mm512_cmpeq_epi16_mask(septets, _mm512_permutexvar_epi8(septets, Load64(kBySix.digit)));
  const __m512i plain =
      _mm512_add_epi16(_mm512_maddubs_epi16(_mm512_and_si512(values, Copies64<0x7F077F07>()),
                                            Copies64<0x08010801>()),
                       _mm512_slli_epi16(_mm512_and_si512(values, Copies64<0x00080008>()), 4));
  const __mmask32 sound = hexPairs & _mm512_test_epi16_mask(plain, plain);
  const std::uint32_t wanted = _bzhi_u32(~0U, static_cast<unsigned>(pairs)) << 2U;
  if ((sound & wanted) != wanted) {
    return false;
  }
  written = _mm512_castsi512_si256(_mm512_maskz_permutexvar_epi8(
      _bzhi_u64(~std::uint64_t{0}, static_cast<unsigned>(pairs)), Load64(kPayloadBytes), plain));
  static_assert(sizeof(PduReading::payload) >= 64);
  _mm512_storeu_si512(payload, _mm512_zextsi256_si512(written));
  return true;
}

__attribute__((target(WIDE_TARGET), always_inline)) inline bool ReadScorePduWide(
    std::string_view text, PduReading& reading) {
  if (text.size() < kMinText || text.size() > kMaxText || text.size() % 2 != 0) {
    return false;
  }
  // The first 64 octets go into the payload buffer, which the payload overwrites later: the
  // header is read from there rather than from a 64-byte array on the stack.
  static_assert(sizeof(reading.payload) >= 64);
  auto* const octets = reinterpret_cast<std::uint8_t*>(reading.payload);  // NOLINT
  WideOctets wide;
  ScoreLayout layout;
  if (!LoadOctetsWide(text, wide, octets) ||
      !FindFields(octets, text.size(), layout, reading.sentAt)) {
    return false;
  }
  WriteShape(layout, reading);
  WriteNumberWide(wide.low, layout.number, layout.digits, layout.type, reading.number);
  __m256i payload;
  NumberSpans spans;
  if (!WritePayloadWide(wide, layout.userData, layout.pairs, reading.payload, payload) ||
      !SplitPayload(payload, reading.payload, layout.pairs, spans)) {
    return false;
  }
  StoreNumbers(reading.payload, spans, reading.fields);
  const std::size_t handle = spans.handle;
  reading.fields.handleLength = layout.pairs - handle;
  // The payload was stored as 64 bytes, so this read lies inside that one store and need not
  // wait for it to reach the cache; the zeros behind the payload end the handle.
  static_assert(sizeof(reading.fields.handle) >= 32);
  std::memcpy(reading.fields.handle, reading.payload + handle, 32);
  return true;
}

}  // namespace

__attribute__((target(WIDE_TARGET))) PduError ReadPduOnePassFirstAvx512(std::string_view text,
                                                                        PduReading& reading) {
  return ReadScorePduWide(text, reading) ? PduError::kNone : ReadPduStepwise(text, reading);
}

}  // namespace brindle
#endif
