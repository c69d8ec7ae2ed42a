// Any text handed to the score reader gives a reading or a named error, never a crash, on every
// path this build has (each input is read on each of them, so one run covers them all): the
// paths agree on everything they read, a reading's texts stay terminated, a DELIVER's time
// stamp is a real date and time, and a PDU read and written again reads back the same.
// Every reading goes into memory filled with garbage, as a batch reader reuses one reading.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "codec/score_reader.h"

namespace {

using brindle::CodecPath;
using brindle::PduError;
using brindle::PduReading;

std::string_view Written(const brindle::Pdu& pdu, std::array<char, 512>& text) {
  return {text.data(), brindle::WritePdu(pdu, text)};
}

bool Same(const PduReading& a, const PduReading& b) {
  std::array<char, 512> textA{};
  std::array<char, 512> textB{};
  return a.error == b.error && a.errorOffset == b.errorOffset &&
         Written(a.pdu, textA) == Written(b.pdu, textB) && std::strcmp(a.payload, b.payload) == 0 &&
         a.payloadLength == b.payloadLength && a.fields.gameId == b.fields.gameId &&
         a.fields.fixed == b.fields.fixed && a.fields.score == b.fields.score &&
         std::strcmp(a.fields.handle, b.fields.handle) == 0;
}

void Check(bool sound) {
  if (!sound) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  static PduReading portable;
  static PduReading fast;
  std::memset(static_cast<void*>(&portable), 0xA5, sizeof(portable));
  std::memset(static_cast<void*>(&fast), 0x5A, sizeof(fast));
  const PduError error = brindle::ReadScorePdu(text, portable, CodecPath::kPortable);
  Check(error == portable.error && portable.errorOffset <= text.size());
  Check(brindle::ReadScorePdu(text, fast, CodecPath::kAvx2) == error);
  if (error != PduError::kNone) {
    Check(fast.error == error && fast.errorOffset == portable.errorOffset);
    return 0;
  }
  Check(Same(fast, portable));
  Check(std::strlen(portable.payload) == portable.payloadLength);
  const brindle::Pdu& pdu = portable.pdu;
  Check(std::memchr(pdu.address.number.data(), '\0', pdu.address.number.size()) != nullptr);
  const brindle::TimeStamp& stamp = pdu.serviceCentreTimeStamp;
  Check(stamp.present == (pdu.messageType == brindle::MessageType::kDeliver));
  Check(!stamp.present ||
        (stamp.year >= 2000 && stamp.year <= 2099 && stamp.month >= 1 && stamp.month <= 12 &&
         stamp.day >= 1 && stamp.day <= 31 && stamp.hour <= 23 && stamp.minute <= 59 &&
         stamp.second <= 59 && stamp.offsetQuarters >= -79 && stamp.offsetQuarters <= 79));
  // Written and read again, the PDU is the same PDU.
  std::array<char, 512> once{};
  std::array<char, 512> twice{};
  static PduReading again;
  std::memset(static_cast<void*>(&again), 0xC3, sizeof(again));
  Check(brindle::ReadScorePdu(Written(pdu, once), again, CodecPath::kPortable) == error);
  Check(Written(again.pdu, twice) == Written(pdu, once) && Same(again, portable));
  return 0;
}
