// Any text handed to the whole-PDU reader gives a reading or a named error, never a crash;
// a reading's number and payload stay terminated in their buffers, and a DELIVER's time stamp
// is a real date and time; the one-pass reader for the usual shape reads as the stepwise one.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <tuple>

#include "codec/pdu_reader.h"

namespace {
bool SameStamp(const brindle::TimeStamp& a, const brindle::TimeStamp& b) {
  return std::tie(a.present, a.year, a.month, a.day, a.hour, a.minute, a.second,
                  a.offsetQuarters) ==
         std::tie(b.present, b.year, b.month, b.day, b.hour, b.minute, b.second, b.offsetQuarters);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  brindle::PduReading reading;
  const brindle::PduError error = brindle::ReadPdu(text, reading);
  if (error != reading.error || reading.errorOffset > text.size()) {
    __builtin_trap();
  }
  if (error == brindle::PduError::kNone &&
      (std::strlen(reading.payload) != reading.payloadLength ||
       std::memchr(reading.number, '\0', sizeof(reading.number)) == nullptr)) {
    __builtin_trap();
  }
  // The one-pass reader for the usual shape must read exactly as the stepwise one.
  brindle::PduReading stepwise;
  const auto sameText = [](const char* a, const char* b) { return std::strcmp(a, b) == 0; };
  if (brindle::ReadPduStepwise(text, stepwise) != error ||
      reading.errorOffset != stepwise.errorOffset ||
      (error == brindle::PduError::kNone &&
       (reading.type != stepwise.type || !sameText(reading.number, stepwise.number) ||
        !sameText(reading.payload, stepwise.payload) ||
        reading.fields.gameId != stepwise.fields.gameId ||
        reading.fields.fixed != stepwise.fields.fixed ||
        reading.fields.score != stepwise.fields.score ||
        !sameText(reading.fields.handle, stepwise.fields.handle) ||
        !SameStamp(reading.sentAt, stepwise.sentAt)))) {
    __builtin_trap();
  }
  // The reader splits a short payload by a digit mask; it must agree with the byte-by-byte
  // split on every payload it got as far as.
  brindle::ScoreFields fields;
  if ((error == brindle::PduError::kNone || error == brindle::PduError::kBadPayloadFields) &&
      brindle::SplitScorePayload({reading.payload, reading.payloadLength}, fields) !=
          (error == brindle::PduError::kNone)) {
    __builtin_trap();
  }
  const brindle::TimeStamp& stamp = reading.sentAt;
  if (stamp.present &&
      (reading.type != brindle::PduType::kDeliver || stamp.year < 2000 || stamp.year > 2099 ||
       stamp.month < 1 || stamp.month > 12 || stamp.day < 1 || stamp.day > 31 || stamp.hour > 23 ||
       stamp.minute > 59 || stamp.second > 59 || stamp.offsetQuarters < -79 ||
       stamp.offsetQuarters > 79)) {
    __builtin_trap();
  }
  std::array<char, brindle::kTimeStampTextCapacity> iso{};
  if (brindle::FormatTimeStamp(stamp, iso) != (stamp.present ? iso.size() - 1 : 0) ||
      iso.back() != '\0') {
    __builtin_trap();
  }
  return 0;
}
