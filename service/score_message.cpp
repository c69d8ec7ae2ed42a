#include "service/score_message.h"

#include <cstdlib>
#include <string>

#include "codec/pdu_reader.h"
#include "service/deliver_header.h"

namespace brindle::service {
namespace {

// Local times on earth run from UTC-12:00 to UTC+14:00.
constexpr int kMaxZoneQuarters = 14 * 4;

Message Rejected(Message message, std::string reason) {
  message.status = MessageStatus::kRejected;
  message.reason = std::move(reason);
  message.gameId = 0;
  message.fixed = 0;
  message.score = 0;
  message.handle.clear();
  return message;
}

}  // namespace

Message ClassifyPdu(std::string_view pdu) {
  Message message;
  message.pdu = pdu;
  PduReading reading;
  const PduError error = ReadPdu(pdu, reading);
  const bool structural = error != PduError::kNone && error != PduError::kBadPayloadFields;
  // The reader fills the number before it looks at the coding, so a message in another
  // alphabet still shows who sent it.
  if (reading.type == PduType::kDeliver) {
    message.sender = reading.number;
  }
  if (structural) {
    // What the reader got before the fault still says who sent it and when; a message in
    // another alphabet is refused before its time stamp is read, so that is read here.
    StampMoment moment = MomentOf(reading.sentAt);
    if (!moment.valid && error == PduError::kUnsupportedDcs) {
      const DeliverHeader header = WalkDeliver(pdu);
      if (header.complete) {
        moment = MomentOf(header.timeStamp);
      }
    }
    if (moment.valid) {
      message.sentAt = moment.iso;
      message.sentAtUtc = moment.utcSeconds;
    }
    return Rejected(std::move(message), std::string(DescribePduError(error)) + " at offset " +
                                            std::to_string(reading.errorOffset));
  }
  if (reading.type != PduType::kDeliver) {
    return Rejected(std::move(message), "an SMS-SUBMIT (an outgoing message), not a received one");
  }
  const DeliverHeader header = WalkDeliver(pdu);
  const StampMoment moment = MomentOf(reading.sentAt);
  if (moment.valid) {
    message.sentAt = moment.iso;
    message.sentAtUtc = moment.utcSeconds;
  }
  if (header.concatenated) {
    return Rejected(std::move(message), "one part of a multi-part message");
  }
  if (header.hasUserDataHeader) {
    return Rejected(std::move(message), "a user-data header, which score messages never carry");
  }
  if (error == PduError::kBadPayloadFields) {
    return Rejected(std::move(message), DescribePduError(error));
  }
  const ScoreFields& fields = reading.fields;
  message.gameId = fields.gameId;
  message.fixed = fields.fixed;
  message.score = fields.score;
  message.handle.assign(fields.handle, fields.handleLength);
  if (fields.gameId > kMaxScoreField) {
    return Rejected(std::move(message),
                    "game id " + std::to_string(fields.gameId) + " is above 99,999,999");
  }
  if (fields.score > kMaxScoreField) {
    return Rejected(std::move(message),
                    "score " + std::to_string(fields.score) + " is above 99,999,999");
  }
  if (fields.fixed != 1) {
    return Rejected(std::move(message),
                    "the fixed field is " + std::to_string(fields.fixed) + ", not 1");
  }
  if (std::abs(reading.sentAt.offsetQuarters) > kMaxZoneQuarters) {
    std::string reason =
        "a time zone of " + message.sentAt.substr(19) + ", beyond the ±14:00 of any place on earth";
    return Rejected(std::move(message), std::move(reason));
  }
  message.status = MessageStatus::kScore;
  message.reason.clear();
  return message;
}

Message UnreadableEntry(std::string_view textAsReceived, std::string_view why) {
  Message message;
  message.pdu = textAsReceived;
  return Rejected(std::move(message), std::string(why));
}

}  // namespace brindle::service
