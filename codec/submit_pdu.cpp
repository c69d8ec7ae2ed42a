#include "codec/submit_pdu.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "base/text.h"
#include "codec/gsm_alphabet.h"
#include "codec/hex.h"
#include "codec/score_payload.h"
#include "codec/tpdu.h"

namespace brindle {
namespace {

constexpr std::size_t kMaxAddressDigitCount = 0xFF;  // the length octet holds no more

std::size_t PackedOctets(std::size_t septets) { return (7 * septets + 7) / 8; }

std::string_view AddressDigits(std::string_view number) {
  return !number.empty() && number.front() == '+' ? number.substr(1) : number;
}

std::size_t AddressFieldLength(std::string_view number) {
  const std::size_t d = AddressDigits(number).size();
  return 4 + d + d % 2;
}

}  // namespace

int PackSeptets(std::string_view text, std::span<char> out) {
  if (out.empty()) {
    return 0;
  }
  out[0] = '\0';
  const std::size_t length = 2 * PackedOctets(text.size());
  if (out.size() < length + 1) {
    return 0;
  }
  // Septet i takes bits 7i..7i+6 of the octet stream, low bits first: every eight
  // characters make seven whole octets.
  char* at = out.data();
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t group = 0;
    for (std::size_t j = 0; j < 8; ++j) {
      group |= std::uint64_t{SeptetOf(text[i + j])} << (7 * j);
    }
    for (std::size_t j = 0; j < 7; ++j) {
      hex::WritePair(static_cast<std::uint8_t>(group >> (8 * j)), at);
      at += 2;
    }
  }
  std::uint32_t bits = 0;
  unsigned held = 0;
  for (; i < text.size(); ++i) {
    bits |= std::uint32_t{SeptetOf(text[i])} << held;
    held += 7;
    if (held >= 8) {
      hex::WritePair(static_cast<std::uint8_t>(bits), at);
      at += 2;
      bits >>= 8U;
      held -= 8;
    }
  }
  if (held > 0) {
    hex::WritePair(static_cast<std::uint8_t>(bits), at);
  }
  out[length] = '\0';
  return 1;
}

int EncodeAddressField(std::string_view number, std::span<char> out) {
  if (out.empty()) {
    return 0;
  }
  out[0] = '\0';
  const std::string_view digits = AddressDigits(number);
  if (digits.size() > kMaxAddressDigitCount || out.size() < AddressFieldLength(number) + 1) {
    return 0;
  }
  hex::WritePair(static_cast<std::uint8_t>(digits.size()), out.data());
  hex::WritePair(
      digits.size() == number.size() ? tpdu::kAddressUnknown : tpdu::kAddressInternational,
      out.data() + 2);
  std::size_t at = 4;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    out[at++] = i + 1 < digits.size() ? digits[i + 1] : 'F';
    out[at++] = digits[i];
  }
  out[at] = '\0';
  return 1;
}

std::size_t SubmitPduLength(std::string_view number, std::size_t payloadLength) {
  const std::size_t septets = kScoreTextMarker.size() + 2 * payloadLength;
  // SCA, first octet, MR, address, PID, DCS, VP, UDL, UD.
  return 6 + AddressFieldLength(number) + 8 + 2 * PackedOctets(septets);
}

int BuildSubmitPdu(std::span<char> pduOut, std::string_view number, std::span<char> payload) {
  const std::size_t n = TerminatedView(std::span<const char>(payload)).size();
  if (n > kMaxEncodedPayload || AddressDigits(number).size() > kMaxAddressDigitCount ||
      pduOut.size() < SubmitPduLength(number, n) + 1) {
    return 0;
  }
  std::array<char, kScoreTextCapacity> scoreText;  // NOLINT: written before it is read
  if (EncodeScoreText(payload, scoreText) == 0) {
    return 0;
  }
  const std::size_t septets = kScoreTextMarker.size() + 2 * n;

  // Reply path, status report, user-data header and duplicate rejection all stay clear.
  constexpr std::uint8_t kFirstOctet =
      tpdu::kMessageTypeSubmit | tpdu::FirstOctetOf(tpdu::ValidityFormat::kRelative);
  constexpr std::array<std::uint8_t, 3> kHead = {tpdu::kServiceCentreFromPhone, kFirstOctet,
                                                 tpdu::kMessageReferenceByPhone};
  constexpr std::array<std::uint8_t, 3> kAfterAddress = {
      tpdu::kProtocolPlain, tpdu::kCodingGsmDefault, tpdu::kValidityFourDays};
  // Each part is written in place; the length check above leaves room for all of them.
  char* at = hex::WriteBytes(kHead, pduOut.data());
  auto rest = [&pduOut, &at] {
    return pduOut.subspan(static_cast<std::size_t>(at - pduOut.data()));
  };
  EncodeAddressField(number, rest());
  at += AddressFieldLength(number);
  at = hex::WriteBytes(kAfterAddress, at);
  hex::WritePair(static_cast<std::uint8_t>(septets & 0xFFU), at);
  at += 2;
  PackSeptets({scoreText.data(), septets}, rest());  // and its NUL
  return 1;
}

}  // namespace brindle
