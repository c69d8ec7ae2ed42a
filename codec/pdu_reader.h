// Reads a whole PDU as phones print it (service-centre field first): an SMS-SUBMIT or an
// SMS-DELIVER carrying a score message, for whoever runs the score service.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "codec/payload_decode.h"
#include "codec/time_stamp.h"

namespace brindle {

enum class PduError : std::uint8_t {
  kNone,
  kEmpty,      // no text at all
  kNotHex,     // a character that is not a hex digit
  kOddLength,  // an odd number of hex digits
  kTruncated,  // the text ends inside a field
  kServiceCentreTooLong,
  kAddressTooLong,    // more than 20 digits
  kUnsupportedType,   // TP-MTI neither SUBMIT nor DELIVER
  kUnsupportedDcs,    // not the GSM 7-bit default alphabet
  kUserDataTooLong,   // TP-UDL needs more octets than the text holds
  kHeaderTooLong,     // the user-data header runs past the user data
  kTrailingData,      // octets after the user data
  kBadPayloadFields,  // the payload does not split into the four fields
  kBadTimeStamp,      // a TP-SCTS octet that is not two decimal digits, or out of range
};

enum class PduType : std::uint8_t { kSubmit, kDeliver };

inline constexpr std::size_t kMaxAddressDigits = 20;

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
  PduType type = PduType::kSubmit;
  char number[kMaxAddressDigits + 2] = {};  // '+' for type 91, digits, NUL
  char payload[kDecodedPayloadCapacity] = {};
  std::size_t payloadLength = 0;
  ScoreFields fields;
  TimeStamp sentAt;  // TP-SCTS, present for an SMS-DELIVER
  PduError error = PduError::kNone;
  std::size_t errorOffset = 0;  // character offset in the text where the fault lies
};

// Fills `reading`; its `error` (also returned) says what was wrong and `errorOffset` where.
PduError ReadPdu(std::string_view text, PduReading& reading);
// The same, field by field, without the one-pass reader that ReadPdu tries first on the usual
// shape of a score message; both give the same reading. For the tests that compare them.
PduError ReadPduStepwise(std::string_view text, PduReading& reading);

const char* DescribePduError(PduError error);

}  // namespace brindle
