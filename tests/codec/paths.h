// The codec's paths side by side, for the tests: each reading goes into memory filled with
// garbage first, as `decode --lines` reuses one reading, so a path that leaves a field
// unwritten shows.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "codec/score_reader.h"
#include "codec/submit_pdu.h"

namespace brindle {

// One reading, refilled with garbage at each call.
inline PduReading& Garbled() {
  static const auto reading = std::make_unique<PduReading>();
  static unsigned char fill = 0x5A;
  fill = static_cast<unsigned char>(fill * 7 + 1);  // a different garbage each time
  std::memset(static_cast<void*>(reading.get()), fill, sizeof(PduReading));
  return *reading;
}

// Everything a reading says, as text, so that two readings compare in one step.
inline std::string Describe(const PduReading& r) {
  std::array<char, kPduTextCapacity> written{};
  WritePdu(r.pdu, written);
  return std::string(written.data()) + " " + std::string(r.payload, r.payloadLength) + "|" +
         r.payload + " " + std::to_string(r.fields.gameId) + " " + std::to_string(r.fields.fixed) +
         " " + std::to_string(r.fields.score) + " " +
         std::string(r.fields.handle, r.fields.handleLength) + "|" + r.fields.handle + " " +
         std::to_string(static_cast<int>(r.error)) + "@" + std::to_string(r.errorOffset);
}

// Reads `text` on every path; all must give what the portable path gives (the fields only
// when the text was read whole).
inline void ExpectPathsAgree(std::string_view text) {
  PduReading& portable = Garbled();
  const PduError error = ReadScorePdu(text, portable, CodecPath::kPortable);
  const std::string want =
      error == PduError::kNone
          ? Describe(portable)
          : std::to_string(static_cast<int>(error)) + "@" + std::to_string(portable.errorOffset);
  for (const CodecPath path : {CodecPath::kAvx2}) {
    PduReading& other = Garbled();
    ReadScorePdu(text, other, path);
    const std::string got = error == PduError::kNone
                                ? Describe(other)
                                : std::to_string(static_cast<int>(other.error)) + "@" +
                                      std::to_string(other.errorOffset);
    ASSERT_EQ(got, want) << CodecPathName(path) << ": " << text;
  }
}

}  // namespace brindle
