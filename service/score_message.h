// What a PDU taken off the phone becomes in the store: a score, or a message kept as rejected
// with the reason, so that nothing the phone held is lost.
#pragma once

#include <string_view>

#include "service/message_store.h"

namespace brindle::service {

// Game ids and scores above this come from no sender; such a message is kept, not ranked.
inline constexpr std::int64_t kMaxScoreField = 99999999;

// `pdu` is the PDU line as the phone listed it (service-centre field first), already known to
// have arrived whole.
Message ClassifyPdu(std::string_view pdu);

// A message that never arrived whole, given up after repeated reads: kept as rejected with
// the text as received.
Message UnreadableEntry(std::string_view textAsReceived, std::string_view why);

}  // namespace brindle::service
