// Up to eight decimal digits read as one 64-bit word, for the PDU readers' field splits.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brindle {

// The number of `count` (1 to 8) decimal digits in the first bytes of a little-endian word:
// the digits moved to the top (bytes past them drop out, zeros come in front), and pairs,
// quads and octets of digits joined by three multiplies.
inline std::uint64_t WordValue(std::uint64_t word, std::size_t count) {
  constexpr std::uint64_t kOnes = 0x0101010101010101U;
  word = (word << (64 - 8 * count)) & (kOnes * 0x0FU);
  word = (word * 10 + (word >> 8U)) & 0x00FF00FF00FF00FFU;
  word = (word * 100 + (word >> 16U)) & 0x0000FFFF0000FFFFU;
  return (word * 10000 + (word >> 32U)) & 0xFFFFFFFFU;
}

}  // namespace brindle
