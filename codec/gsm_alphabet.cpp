#include "codec/gsm_alphabet.h"

#include <array>

namespace brindle {
namespace {

// Character to septet, built at compile time: the first position wins, blank for the rest.
constexpr std::array<std::uint8_t, 256> kSeptets = [] {
  std::array<std::uint8_t, 256> septets{};
  septets.fill(0x20);
  for (int i = kSeptetCount - 1; i >= 0; --i) {
    septets[static_cast<unsigned char>(GsmAlphabet[i])] = static_cast<std::uint8_t>(i);
  }
  return septets;
}();

}  // namespace

std::uint8_t SeptetOf(char c) { return kSeptets[static_cast<unsigned char>(c)]; }

char CharOfSeptet(std::uint8_t septet) { return GsmAlphabet[septet & 0x7F]; }

}  // namespace brindle
