// The SMS-SUBMIT PDU text: empty service-centre field, TPDU with relative validity, user data
// packed as GSM 7-bit septets.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace brindle {

inline constexpr std::size_t kPduTextCapacity = 512;  // the send sequence's PDU buffer
inline constexpr std::size_t kUserDataHexCapacity = 400;
inline constexpr std::size_t kAddressFieldCapacity = 200;

// Packs `text` as septets and writes the octets as hex, NUL-terminated. Returns 0, leaving
// `out` empty, when the hex does not fit.
int PackSeptets(std::string_view text, std::span<char> out);

// TP-DA/TP-OA text: digit count, "91" ('+' in front) or "81", swapped digit pairs. Characters
// after the '+' are copied as they stand. Returns 0, leaving `out` empty, when it does not fit.
int EncodeAddressField(std::string_view number, std::span<char> out);

// Writes the whole PDU text into `pduOut`, scrambling `payload` in place on the way.
// Returns 0, touching neither buffer, for a payload over 80 bytes or a `pduOut` too small.
int BuildSubmitPdu(std::span<char> pduOut, std::string_view number, std::span<char> payload);

// Number of characters BuildSubmitPdu writes (without the NUL) for these inputs.
std::size_t SubmitPduLength(std::string_view number, std::size_t payloadLength);

}  // namespace brindle
