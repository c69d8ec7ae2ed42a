#include "codec/submit_pdu.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "codec/gsm_alphabet.h"
#include "codec/score_payload.h"
#include "codec/text.h"

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

// Writes `text` at `at` in `out` and returns the position behind it.
std::size_t Put(std::span<char> out, std::size_t at, std::string_view text) {
  std::copy(text.begin(), text.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
  return at + text.size();
}

}  // namespace

int PackSeptets(std::string_view text, std::span<char> out) {
  if (out.empty()) {
    return 0;
  }
  out[0] = '\0';
  if (out.size() < 2 * PackedOctets(text.size()) + 1) {
    return 0;
  }
  // Septet i takes bits 7i..7i+6 of the octet stream, low bits first.
  std::uint32_t bits = 0;
  int held = 0;
  std::size_t at = 0;
  const auto emit = [&](std::uint32_t octet) {
    FormatHexByte(static_cast<int>(octet & 0xFFU), out.subspan(at).first<3>());
    at += 2;
  };
  for (const char c : text) {
    bits |= static_cast<std::uint32_t>(SeptetOf(c)) << held;
    held += 7;
    if (held >= 8) {
      emit(bits);
      bits >>= 8;
      held -= 8;
    }
  }
  if (held > 0) {
    emit(bits);
  }
  out[at] = '\0';
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
  FormatHexByte(static_cast<int>(digits.size()), out.first<3>());
  std::size_t at = Put(out, 2, digits.size() == number.size() ? "81" : "91");
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
  std::array<char, kScoreTextCapacity> scoreText{};
  std::array<char, kUserDataHexCapacity> userData{};
  std::array<char, kAddressFieldCapacity> address{};
  std::array<char, 3> length{};
  if (EncodeAddressField(number, address) == 0 || EncodeScoreText(payload, scoreText) == 0) {
    return 0;
  }
  const std::string_view text = TerminatedView(std::span<const char>(scoreText));
  PackSeptets(text, userData);
  FormatHexByte(static_cast<int>(text.size() & 0xFFU), length);

  std::size_t at = Put(pduOut, 0, "001100");
  at = Put(pduOut, at, TerminatedView(std::span<const char>(address)));
  at = Put(pduOut, at, "0000AA");
  at = Put(pduOut, at, {length.data(), 2});
  at = Put(pduOut, at, TerminatedView(std::span<const char>(userData)));
  pduOut[at] = '\0';
  return 1;
}

}  // namespace brindle
