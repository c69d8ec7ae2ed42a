// Any text handed to the whole-PDU reader gives a reading or a named error, never a crash;
// a reading's number and payload stay terminated in their buffers, and a DELIVER's time stamp
// is a real date and time.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "codec/pdu_reader.h"

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
