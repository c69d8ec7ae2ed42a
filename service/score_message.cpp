#include "service/score_message.h"

#include <array>
#include <chrono>
#include <cstdlib>
#include <string>

#include "codec/score_reader.h"

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

// The centre's time stamp as the operator sees it, in its own zone and as seconds since 1970
// in UTC. A day past the month's end (the stamp allows 31 in any month) counts on into the
// next month.
void SetSentAt(const TimeStamp& stamp, Message& message) {
  std::array<char, kTimeStampTextCapacity> text{};
  const std::size_t length = FormatTimeStamp(stamp, text);
  if (length == 0) {
    return;
  }
  message.sentAt.assign(text.data(), length);
  namespace chrono = std::chrono;
  const chrono::sys_days date{chrono::year_month_day{
      chrono::year{stamp.year}, chrono::month{static_cast<unsigned>(stamp.month)},
      chrono::day{static_cast<unsigned>(stamp.day)}}};
  const chrono::sys_seconds local = date + chrono::hours{stamp.hour} +
                                    chrono::minutes{stamp.minute} + chrono::seconds{stamp.second};
  message.sentAtUtc =
      (local - chrono::minutes{15 * stamp.offsetQuarters}).time_since_epoch().count();
}

}  // namespace

Message ClassifyPdu(std::string_view pdu) {
  Message message;
  message.pdu = pdu;
  PduReading reading;
  const PduError error = ReadScorePdu(pdu, reading);
  const Pdu& read = reading.pdu;
  // What the reader got before a fault still says who sent it and when.
  if (read.messageType == MessageType::kDeliver) {
    message.sender = read.address.number.data();
  }
  SetSentAt(read.serviceCentreTimeStamp, message);
  if (error != PduError::kNone && error != PduError::kBadPayloadFields) {
    return Rejected(std::move(message), std::string(DescribePduError(error)) + " at offset " +
                                            std::to_string(reading.errorOffset));
  }
  if (read.messageType != MessageType::kDeliver) {
    return Rejected(std::move(message), "an SMS-SUBMIT (an outgoing message), not a received one");
  }
  if (IsConcatenated(read)) {
    return Rejected(std::move(message), "one part of a multi-part message");
  }
  if (read.userDataHeaderIndicator) {
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
  if (std::abs(read.serviceCentreTimeStamp.offsetQuarters) > kMaxZoneQuarters) {
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
