// The GSM 7-bit default alphabet in single-byte Latin-1 codes, '@' where Latin-1 lacks the
// character, shared by packing and unpacking.
#pragma once

#include <array>
#include <cstdint>

namespace brindle {

inline constexpr int kSeptetCount = 128;

// Latin-1 codes by septet value; '@' stands where Latin-1 lacks the character (the Greek
// capitals, the escape to the extension table) and at 0x24 and 0x5F as well.
inline constexpr char GsmAlphabet[kSeptetCount + 1] =
    "@\xA3$\xA5\xE8\xE9\xF9\xEC\xF2\xC7\n\xD8\xF8\r\xC5\xE5"
    "@_@@@@@@@@@@\xC6\xE6\xDF\xC9"
    " !\"#@%&'()*+,-./"
    "0123456789:;<=>?"
    "\xA1"
    "ABCDEFGHIJKLMNO"
    "PQRSTUVWXYZ\xC4\xD6\xD1\xDC@"
    "\xBF"
    "abcdefghijklmno"
    "pqrstuvwxyz\xE4\xF6\xF1\xFC\xE0";

// Character to septet: the first position wins, blank for a character in no entry.
inline constexpr std::array<std::uint8_t, 256> kSeptetOfChar = [] {
  std::array<std::uint8_t, 256> septets{};
  septets.fill(0x20);
  for (int i = kSeptetCount - 1; i >= 0; --i) {
    septets[static_cast<unsigned char>(GsmAlphabet[i])] = static_cast<std::uint8_t>(i);
  }
  return septets;
}();

// Position of the first entry equal to `c`; 0x20 (blank) for a character in no entry.
inline std::uint8_t SeptetOf(char c) { return kSeptetOfChar[static_cast<unsigned char>(c)]; }
// The entry at the low seven bits of `septet`.
inline char CharOfSeptet(std::uint8_t septet) { return GsmAlphabet[septet & 0x7FU]; }

}  // namespace brindle
