#include "codec/hex.h"

#include "codec/hex_sse2.h"

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
namespace {
// The SSE2 reader from pair `k` on, counted from the start, for the AVX2 path to hand a step
// with a stray over to; out of line so that the hand-over is a jump.
__attribute__((noinline)) std::size_t ReadPairsSse2From(std::size_t k, const char* in,
                                                        std::size_t pairs, std::uint8_t* out) {
  return k + ReadPairsSse2(in + 2 * k, pairs - k, out + k);
}
}  // namespace

// __builtin_cpu_init first: this may run before the runtime's own start-up code has.
const bool kCpuHasAvx2 = [] {
  __builtin_cpu_init();
  return static_cast<bool>(__builtin_cpu_supports("avx2"));
}();

namespace {

// The sixteen octets of the 32 digits at `first` followed by those of the 32 at `second`.
__attribute__((target("avx2"), always_inline)) inline OctetsAvx2 ReadBlocksAvx2(
    const char* first, const char* second) {
  const OctetsAvx2 low = OctetLanesAvx2(first);
  const OctetsAvx2 high = OctetLanesAvx2(second);
  // packus works within 128-bit halves: quadwords 0 and 2 hold the first block's octets.
  return {_mm256_permute4x64_epi64(_mm256_packus_epi16(low.octets, high.octets), 0xD8),
          _mm256_or_si256(low.strays, high.strays)};
}

// The 32 octets of the 64 digits at `in`.
__attribute__((target("avx2"), always_inline)) inline OctetsAvx2 ReadStepAvx2(const char* in) {
  return ReadBlocksAvx2(in, in + 32);
}

__attribute__((target("avx2"), always_inline)) inline bool Clean(__m256i strays) {
  return _mm256_testz_si256(strays, strays) != 0;
}

__attribute__((target("avx2"), always_inline)) inline void Store32(std::uint8_t* at, __m256i v) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), v);  // NOLINT
}

// Upper halves cleared by hand before the SSE2 reader: GCC 12 left the vzeroupper out before
// this tail call in a build without -fPIC, and the SSE2 code then ran ten times slower.
__attribute__((target("avx2"), always_inline)) inline std::size_t HandOver(std::size_t k,
                                                                           const char* in,
                                                                           std::size_t pairs,
                                                                           std::uint8_t* out) {
  _mm256_zeroupper();
  return ReadPairsSse2From(k, in, pairs, out);
}

// The last two steps of 32 pairs from pair `k` on, together and with one stray test: the
// second ends with the last pair and may overlap the first (or be it), writing the same
// values again.
__attribute__((target("avx2"), always_inline)) inline std::size_t ReadLastStepsAvx2(
    std::size_t k, const char* in, std::size_t pairs, std::uint8_t* out) {
  const std::size_t last = pairs - 32;
  const OctetsAvx2 first = ReadStepAvx2(in + 2 * k);
  const OctetsAvx2 second = ReadStepAvx2(in + 2 * last);
  if (!Clean(_mm256_or_si256(first.strays, second.strays))) {
    // Keep the first when the stray is in the second alone (then they are not the same).
    if (Clean(first.strays)) {
      Store32(out + k, first.octets);
      k += 32;
    }
    return HandOver(k, in, pairs, out);
  }
  Store32(out + k, first.octets);
  Store32(out + last, second.octets);
  return pairs;
}

}  // namespace

// On a stray the SSE2 reader goes over the step again to find the pair that holds it; the
// fast path only tells whether a step is clean.
__attribute__((target("avx2"))) std::size_t ReadPairsAvx2(const char* in, std::size_t pairs,
                                                          std::uint8_t* out) {
  if (pairs > 64) {
    // Steps of 32 pairs while more than two steps are left.
    std::size_t k = 0;
    for (; pairs - k > 64; k += 32) {
      const OctetsAvx2 read = ReadStepAvx2(in + 2 * k);
      if (!Clean(read.strays)) {
        return HandOver(k, in, pairs, out);
      }
      Store32(out + k, read.octets);
    }
    return ReadLastStepsAvx2(k, in, pairs, out);
  }
  if (pairs >= 32) {
    return ReadLastStepsAvx2(0, in, pairs, out);
  }
  if (pairs >= 16) {
    // Two blocks of sixteen, the second ending with the last pair, as in ReadLastStepsAvx2.
    const std::size_t last = pairs - 16;
    const OctetsAvx2 read = ReadBlocksAvx2(in, in + 2 * last);
    if (!Clean(read.strays)) {
      return HandOver(0, in, pairs, out);
    }
    const __m128i firstHalf = _mm256_castsi256_si128(read.octets);
    const __m128i secondHalf = _mm256_extracti128_si256(read.octets, 1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), firstHalf);          // NOLINT
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + last), secondHalf);  // NOLINT
    return pairs;
  }
  return ReadPairsSse2(in, pairs, out);
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
