// Reads a score message from its PDU text (an SMS-SUBMIT or SMS-DELIVER, service-centre field
// first), for whoever runs the score service: the PDU's fields, the payload and its four fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "codec/payload_decode.h"
#include "codec/pdu.h"

namespace brindle {

// The four fields of a score payload: game id, the fixed 1, score, handle.
struct ScoreFields {
  std::int64_t gameId = 0;
  std::int64_t fixed = 0;
  std::int64_t score = 0;
  char handle[kDecodedPayloadCapacity] = {};
  std::size_t handleLength = 0;
};

// Splits a payload into exactly four fields, the first three decimal numbers.
// Returns false when it does not split that way.
bool SplitScorePayload(std::string_view payload, ScoreFields& fields);

struct PduReading {
  Pdu pdu;
  char payload[kDecodedPayloadCapacity] = {};
  std::size_t payloadLength = 0;
  ScoreFields fields;
  PduError error = PduError::kNone;
  std::size_t errorOffset = 0;  // character offset in the text where the fault lies
};

// The ways a score message can be read: the portable one everywhere, and on x86-64 processors
// with AVX2 and BMI2 a one-pass reader for the usual shape. Both give the same reading.
enum class CodecPath : std::uint8_t { kPortable, kAvx2 };
// The path this process reads with: the fastest the processor runs, or the portable one when
// the environment variable BRINDLE_CODEC_PATH is "portable".
CodecPath ActiveCodecPath();
const char* CodecPathName(CodecPath path);

// Fills `reading` on the active path; its `error` (also returned) says what was wrong and
// `errorOffset` where. A score message must be in the GSM 7-bit default alphabet and its
// payload must split into the four fields.
PduError ReadScorePdu(std::string_view text, PduReading& reading);
// The same on a given path (a path this processor does not run reads portably).
PduError ReadScorePdu(std::string_view text, PduReading& reading, CodecPath path);

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define BRINDLE_SCORE_PDU_AVX2 1
// The one-pass reader behind CodecPath::kAvx2, and whether this processor runs it (the one
// CPU feature check of the library).
extern const bool kCpuHasAvx2Bmi2;
PduError ReadScorePduAvx2(std::string_view text, PduReading& reading);
#endif

}  // namespace brindle
