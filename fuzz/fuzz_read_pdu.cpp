// Any text handed to the whole-PDU reader gives a reading or a named error, never a crash,
// and a reading's number and payload stay terminated in their buffers.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "codec/pdu_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) {
    return 0;
  }
  // The first byte picks the reader, so both share one corpus of PDU texts.
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  brindle::PduReading reading;
  const brindle::PduError error =
      (data[0] & 1U) != 0 ? brindle::ReadUserData(text, reading) : brindle::ReadPdu(text, reading);
  if (error != reading.error || reading.errorOffset > text.size()) {
    __builtin_trap();
  }
  if (error == brindle::PduError::kNone &&
      (std::strlen(reading.payload) != reading.payloadLength ||
       std::memchr(reading.number, '\0', sizeof(reading.number)) == nullptr)) {
    __builtin_trap();
  }
  return 0;
}
