#include "codec/time_stamp.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <utility>

namespace brindle {
namespace {

// Octets 0 to 5: year, month, day, hour, minute, second.
constexpr std::array<std::pair<int, int>, 6> kRanges = {
    {{0, 99}, {1, 12}, {1, 31}, {0, 23}, {0, 59}, {0, 59}}};

// In the zone's octet, the sign: set for a zone west of Greenwich.
constexpr std::uint8_t kZoneSign = 0x08;

// Two decimal digits of `value` (0 to 99) as a swapped octet: the units in the high nibble.
std::uint8_t Swapped(int value) {
  const auto v = static_cast<unsigned>(std::clamp(value, 0, 99));
  return static_cast<std::uint8_t>(((v % 10) << 4U) | (v / 10));
}

// The two digits of a swapped octet, -1 when either is not decimal.
int SwappedDecimal(std::uint8_t octet) {
  const unsigned first = octet & 0x0FU;
  const unsigned second = octet >> 4U;
  return first > 9 || second > 9 ? -1 : static_cast<int>(10 * first + second);
}

}  // namespace

int DecodeTimeStamp(std::span<const std::uint8_t, kTimeStampOctets> octets, TimeStamp& stamp) {
  std::array<int, kRanges.size()> values{};
  for (std::size_t i = 0; i < kRanges.size(); ++i) {
    values[i] = SwappedDecimal(octets[i]);
    if (values[i] < kRanges[i].first || values[i] > kRanges[i].second) {
      return static_cast<int>(i);
    }
  }
  // The zone's first digit has three bits; the fourth is the sign.
  const int quarters = SwappedDecimal(octets[6] & static_cast<std::uint8_t>(~kZoneSign));
  if (quarters < 0) {
    return 6;
  }
  stamp.present = true;
  stamp.year = 2000 + values[0];
  stamp.month = values[1];
  stamp.day = values[2];
  stamp.hour = values[3];
  stamp.minute = values[4];
  stamp.second = values[5];
  stamp.offsetQuarters = (octets[6] & kZoneSign) != 0 ? -quarters : quarters;
  return -1;
}

void EncodeTimeStamp(const TimeStamp& stamp, std::span<std::uint8_t, kTimeStampOctets> octets) {
  const int quarters = std::abs(stamp.offsetQuarters);
  const std::array<int, kTimeStampOctets> parts = {
      stamp.year % 100, stamp.month, stamp.day, stamp.hour, stamp.minute, stamp.second, quarters};
  std::transform(parts.begin(), parts.end(), octets.begin(), Swapped);
  octets[6] |= stamp.offsetQuarters < 0 ? kZoneSign : 0U;
}

std::size_t FormatTimeStamp(const TimeStamp& stamp, std::span<char, kTimeStampTextCapacity> out) {
  out[0] = '\0';
  if (!stamp.present) {
    return 0;
  }
  // Each part as two digits (the year as two pairs) modulo 100, so that a hand-made stamp cannot
  // overrun the text; by hand, as the C library's formatter would triple the Windows DLL.
  const int minutes = 15 * std::abs(stamp.offsetQuarters);
  const std::array<int, 9> parts = {stamp.year / 100, stamp.year,   stamp.month,
                                    stamp.day,        stamp.hour,   stamp.minute,
                                    stamp.second,     minutes / 60, minutes % 60};
  const std::array<char, 9> after = {
      '\0', '-', '-', 'T', ':', ':', stamp.offsetQuarters < 0 ? '-' : '+', ':', '\0'};
  char* at = out.data();
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const unsigned value = static_cast<unsigned>(std::abs(parts[i])) % 100U;
    *at++ = static_cast<char>('0' + value / 10);
    *at++ = static_cast<char>('0' + value % 10);
    if (after[i] != '\0') {
      *at++ = after[i];
    }
  }
  *at = '\0';
  return static_cast<std::size_t>(at - out.data());
}

}  // namespace brindle
