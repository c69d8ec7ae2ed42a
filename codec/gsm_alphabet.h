// The GSM 7-bit default alphabet in single-byte Latin-1 codes, '@' where Latin-1 lacks the
// character, shared by packing and unpacking.
#pragma once

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

// Position of the first entry equal to `c`; 0x20 (blank) for a character in no entry.
std::uint8_t SeptetOf(char c);
// The entry at the low seven bits of `septet`.
char CharOfSeptet(std::uint8_t septet);

}  // namespace brindle
