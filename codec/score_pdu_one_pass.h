// The one-pass score reader, for x86-64 processors with AVX2 and BMI2 (GCC or Clang).
#pragma once

#include <string_view>

#include "codec/score_reader.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define BRINDLE_SCORE_PDU_AVX2 1

namespace brindle {

// Whether this processor runs ReadScorePduAvx2: the one CPU feature check of the library.
extern const bool kCpuHasAvx2Bmi2;

// ReadScorePdu on the AVX2 path: the usual shape in one pass, anything else portably.
PduError ReadScorePduAvx2(std::string_view text, PduReading& reading);

}  // namespace brindle
#endif
