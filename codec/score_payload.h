// The score payload (length-prefixed fields), its scramble and its "MID " hex text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace brindle {

inline constexpr std::size_t kPayloadCapacity = 320;   // the send sequence's payload buffer
inline constexpr std::size_t kMaxEncodedPayload = 80;  // longest payload EncodeScoreText takes
inline constexpr std::size_t kScoreTextCapacity = 200;
inline constexpr std::int32_t kMaxFieldNumber = 99999999;
inline constexpr std::size_t kMaxFieldLength = 99;
inline constexpr std::string_view kScoreTextMarker = "MID ";

// The whole payload: game id, the fixed 1, score and handle as four fields, NUL-terminated.
// A number field is its decimal text behind a two-digit count; a number above 99,999,999 is
// refused. The handle field is its first 99 characters, one byte each (Latin-1, '?' beyond),
// behind their count; an empty handle is refused. Returns the payload's length, or 0 (with
// `out` holding no payload) when a field is refused or the fields and the NUL do not fit.
std::size_t BuildScorePayload(std::int32_t gameId, std::int32_t score, std::u16string_view handle,
                              std::span<char> out);

// Rotates the low seven bits of a byte right by three (bit 7 passes), and back.
constexpr std::uint8_t ScrambleByte(std::uint8_t b) {
  return static_cast<std::uint8_t>(((b >> 3U) & 0x0FU) | ((b & 0x07U) << 4U) | (b & 0x80U));
}
constexpr std::uint8_t UnscrambleByte(std::uint8_t b) {
  return static_cast<std::uint8_t>(((b >> 4U) & 0x07U) | ((b & 0x0FU) << 3U) | (b & 0x80U));
}

// Writes "MID " and two hex digits per scrambled byte of the NUL-terminated payload,
// NUL-terminated, into `out`. Returns 0, writing nothing, for a payload over 80 bytes or an
// `out` too small for the text.
int EncodeScoreText(std::span<const char> payload, std::span<char> out);

}  // namespace brindle
