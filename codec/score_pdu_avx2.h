// A one-pass reader for the shape nearly every score message has, on processors with AVX2
// and BMI2: the whole-PDU reader tries it first and reads stepwise whatever it declines.
#pragma once

#include <string_view>

#include "codec/hex.h"
#include "codec/pdu_reader.h"

#if BRINDLE_HEX_AVX2
#define BRINDLE_SCORE_PDU_AVX2 1

namespace brindle {

// Whether this processor runs ReadPduOnePassFirst.
extern const bool kCpuHasAvx2Bmi2;

// ReadPdu on this processor: an SMS-SUBMIT or SMS-DELIVER of 32 to 184 hex digits without a
// user-data header, whose score payload is 1 to 30 sound bytes (two hex digits each, none zero)
// and splits into its four fields, is read in one pass; anything else by ReadPduStepwise. The
// caller's jump lands here directly, so neither way pays for a second call.
PduError ReadPduOnePassFirst(std::string_view text, PduReading& reading);

}  // namespace brindle
#endif
