// One-pass readers for the shape nearly every score message has, one for processors with AVX2
// and BMI2 and one for those that also have AVX-512 VBMI: the whole-PDU reader tries the
// widest this processor runs and reads stepwise whatever it declines.
#pragma once

#include <string_view>

#include "codec/hex.h"
#include "codec/pdu_reader.h"

#if BRINDLE_HEX_AVX2
#define BRINDLE_SCORE_PDU_AVX2 1
// Not on Windows, where GCC cannot be trusted to align the stack for 64-byte registers; the
// DLL sends scores and reads none in bulk.
#if !defined(_WIN32)
#define BRINDLE_SCORE_PDU_AVX512 1
#endif

namespace brindle {

// Whether this processor runs ReadPduOnePassFirst.
extern const bool kCpuHasAvx2Bmi2;

// ReadPdu on this processor: an SMS-SUBMIT or SMS-DELIVER of 32 to 184 hex digits without a
// user-data header, whose score payload is 1 to 30 sound bytes (two hex digits each, none zero)
// and splits into its four fields, is read in one pass; anything else by ReadPduStepwise. The
// caller's jump lands here directly, so neither way pays for a second call.
PduError ReadPduOnePassFirst(std::string_view text, PduReading& reading);

#if BRINDLE_SCORE_PDU_AVX512
// Whether this processor runs ReadPduOnePassFirstAvx512.
extern const bool kCpuHasAvx512Vbmi;

// The same with 64-byte registers: the octets, the header's user-data offset and the septets
// stay in registers, where the other reads them back from memory just written.
PduError ReadPduOnePassFirstAvx512(std::string_view text, PduReading& reading);
#endif

}  // namespace brindle
#endif
