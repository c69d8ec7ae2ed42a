#include "codec/submit_pdu.h"

#include <array>

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

}  // namespace

std::size_t PackSeptetOctets(std::string_view text, std::span<std::uint8_t> out) {
  const std::size_t length = (7 * text.size() + 7) / 8;
  if (out.size() < length) {
    return 0;
  }
  // Septet i takes bits 7i..7i+6 of the octet stream, low bits first: every eight
  // characters make seven whole octets.
  std::uint8_t* at = out.data();
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t group = 0;
    for (std::size_t j = 0; j < 8; ++j) {
      group |= std::uint64_t{SeptetOf(text[i + j])} << (7 * j);
    }
    for (std::size_t j = 0; j < 7; ++j) {
      *at++ = static_cast<std::uint8_t>(group >> (8 * j));
    }
  }
  std::uint32_t bits = 0;
  unsigned held = 0;
  for (; i < text.size(); ++i) {
    bits |= std::uint32_t{SeptetOf(text[i])} << held;
    held += 7;
    if (held >= 8) {
      *at++ = static_cast<std::uint8_t>(bits);
      bits >>= 8U;
      held -= 8;
    }
  }
  if (held > 0) {
    *at = static_cast<std::uint8_t>(bits);
  }
  return length;
}

int BuildSubmitPdu(std::span<char> pduOut, std::string_view number, std::span<const char> payload) {
  const std::size_t n = TerminatedView(payload).size();
  const std::size_t septets = kScoreTextMarker.size() + 2 * n;
  Pdu pdu;
  if (septets > kMaxSeptetsInOneMessage || !SetAddress(number, pdu.address)) {
    return 0;
  }
  // Reply path, status report, user-data header and duplicate rejection all stay clear; the
  // message may wait four days at the centre.
  pdu.messageType = MessageType::kSubmit;
  pdu.validityFormat = ValidityFormat::kRelative;
  pdu.validityPeriod[0] = kValidityFourDays;
  std::array<char, kScoreTextCapacity> scoreText;  // NOLINT: written before it is read
  EncodeScoreText(payload, scoreText);
  pdu.userDataLength = static_cast<std::uint8_t>(septets);
  pdu.userDataOctets = PackSeptetOctets({scoreText.data(), septets}, pdu.userData);
  return WritePdu(pdu, pduOut) == 0 ? 0 : 1;
}

}  // namespace brindle
