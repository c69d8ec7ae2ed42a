// The SMS-SUBMIT PDU of a score message: empty service-centre field, TPDU with relative
// validity, the score text packed as GSM 7-bit septets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace brindle {

inline constexpr std::size_t kPduTextCapacity = 512;  // the send sequence's PDU buffer

// Writes the whole PDU text for the NUL-terminated `payload` to `number` into `pduOut`.
// Returns 0, touching `pduOut` not at all, for a payload over 78 bytes (the 160 septets of one
// message) or a number of more than 20 digits; and, leaving `pduOut` empty, for a `pduOut` too
// small or a number holding a character no address digit stands for.
int BuildSubmitPdu(std::span<char> pduOut, std::string_view number, std::span<const char> payload);

}  // namespace brindle
