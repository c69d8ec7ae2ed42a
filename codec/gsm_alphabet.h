// The GSM 7-bit default alphabet in single-byte Latin-1 codes, '@' where Latin-1 lacks the
// character, shared by packing and unpacking.
#pragma once

#include <cstdint>

namespace brindle {

inline constexpr int kSeptetCount = 128;
extern const char GsmAlphabet[kSeptetCount + 1];

// Position of the first entry equal to `c`; 0x20 (blank) for a character in no entry.
std::uint8_t SeptetOf(char c);
// The entry at the low seven bits of `septet`.
char CharOfSeptet(std::uint8_t septet);

}  // namespace brindle
