#include "codec/submit_pdu.h"

#include <array>
#include <cstring>

#include "base/text.h"
#include "codec/gsm_alphabet.h"
#include "codec/hex.h"
#include "codec/pdu.h"
#include "codec/score_payload.h"

namespace brindle {
namespace {

// 140 octets of user data: longer texts need a multi-part message, which the score service
// does not take.
constexpr std::size_t kMaxSeptetsInOneMessage = kMaxUserDataOctets * 8 / 7;

// The score text's two septets for each payload byte, the first in the low seven bits: the
// hex digits of the scrambled byte. One lookup per byte instead of scrambling, writing and
// packing two characters.
constexpr std::array<std::uint16_t, 256> kSeptetPairs = [] {
  std::array<std::uint16_t, 256> pairs{};
  for (std::size_t b = 0; b < pairs.size(); ++b) {
    const std::uint8_t scrambled = ScrambleByte(static_cast<std::uint8_t>(b));
    const auto septet = [](unsigned digit) {
      return unsigned{kSeptetOfChar[static_cast<unsigned char>(hex::kUpperDigits[digit])]};
    };
    pairs[b] =
        static_cast<std::uint16_t>(septet(scrambled >> 4U) | septet(scrambled & 0x0FU) << 7U);
  }
  return pairs;
}();

// Packs the score text of `payload` (the marker, then the pairs) into `out`, septet i in bits
// 7i to 7i + 6 of the octet stream. `out` has room for the octets of a message that fits in
// one and eight more, which may be written past them.
//
// The marker's four septets are 28 bits, and four payload bytes are 56: seven whole octets.
// So each four bytes' septets, gathered apart from the stream, join the 28 bits carried from
// before, seven octets go out, and the top 28 bits carry on.
void PackScoreText(std::string_view payload, std::span<std::uint8_t> out) {
  constexpr unsigned kCarried = 28;
  std::uint64_t carried = 0;
  for (std::size_t i = 0; i < kScoreTextMarker.size(); ++i) {
    carried |= std::uint64_t{SeptetOf(kScoreTextMarker[i])} << (7 * i);
  }
  std::uint8_t* at = out.data();
  for (std::size_t i = 0; i < payload.size(); i += 4) {
    std::uint64_t group = 0;  // no septets past the payload's
    for (std::size_t j = 0; j < 4 && i + j < payload.size(); ++j) {
      group |= std::uint64_t{kSeptetPairs[static_cast<unsigned char>(payload[i + j])]} << (14 * j);
    }
    const std::uint64_t octets = carried | (group << kCarried);
    std::memcpy(at, &octets, sizeof(octets));  // the eighth octet is written again next
    at += 7;
    carried = group >> (56 - kCarried);
  }
  std::memcpy(at, &carried, sizeof(carried));
}

}  // namespace

int BuildSubmitPdu(std::span<char> pduOut, std::string_view number, std::span<const char> payload) {
  const std::string_view text = TerminatedView(payload);
  const std::size_t septets = kScoreTextMarker.size() + 2 * text.size();
  Pdu pdu;
  if (septets > kMaxSeptetsInOneMessage || !SetAddress(number, pdu.address)) {
    return 0;
  }
  // Reply path, status report, user-data header and duplicate rejection all stay clear; the
  // message may wait four days at the centre.
  pdu.messageType = MessageType::kSubmit;
  pdu.validityFormat = ValidityFormat::kRelative;
  pdu.validityPeriod[0] = kValidityFourDays;
  pdu.userDataLength = static_cast<std::uint8_t>(septets);
  static_assert(kUserDataReadAhead >= 8);  // the packer's room past the octets
  pdu.userDataOctets = UserDataOctetsFor(pdu.userDataLength, pdu.dataCodingScheme);
  PackScoreText(text, pdu.userData);
  return WritePdu(pdu, pduOut) == 0 ? 0 : 1;
}

}  // namespace brindle
