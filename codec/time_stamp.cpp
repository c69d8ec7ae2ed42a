#include "codec/time_stamp.h"

#include <array>

namespace brindle {
namespace {

struct Range {
  int low;
  int high;
};

// Octets 0 to 5: year, month, day, hour, minute, second.
constexpr std::array<Range, 6> kRanges = {{{0, 99}, {1, 12}, {1, 31}, {0, 23}, {0, 59}, {0, 59}}};

// The two digits of a swapped octet, -1 when either is not decimal.
int SwappedDecimal(std::uint8_t octet) {
  const unsigned first = octet & 0x0FU;
  const unsigned second = octet >> 4U;
  return first > 9 || second > 9 ? -1 : static_cast<int>(10 * first + second);
}

// Two decimal digits of `value` modulo 100, so a hand-made stamp cannot overrun the text.
char* PutTwo(char* at, int value) {
  const unsigned digits = static_cast<unsigned>(value) % 100U;
  at[0] = static_cast<char>('0' + digits / 10);
  at[1] = static_cast<char>('0' + digits % 10);
  return at + 2;
}

}  // namespace

int DecodeTimeStamp(std::span<const std::uint8_t, kTimeStampOctets> octets, TimeStamp& stamp) {
  std::array<int, kRanges.size()> values{};
  for (std::size_t i = 0; i < kRanges.size(); ++i) {
    values[i] = SwappedDecimal(octets[i]);
    if (values[i] < kRanges[i].low || values[i] > kRanges[i].high) {
      return static_cast<int>(i);
    }
  }
  // The zone's first digit has three bits; the fourth is the sign.
  constexpr std::uint8_t kZoneSign = 0x08;
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

std::size_t FormatTimeStamp(const TimeStamp& stamp, std::span<char, kTimeStampTextCapacity> out) {
  if (!stamp.present) {
    out[0] = '\0';
    return 0;
  }
  char* at = out.data();
  at = PutTwo(at, stamp.year / 100);
  at = PutTwo(at, stamp.year);
  *at++ = '-';
  at = PutTwo(at, stamp.month);
  *at++ = '-';
  at = PutTwo(at, stamp.day);
  *at++ = 'T';
  at = PutTwo(at, stamp.hour);
  *at++ = ':';
  at = PutTwo(at, stamp.minute);
  *at++ = ':';
  at = PutTwo(at, stamp.second);
  const int minutes =
      15 * (stamp.offsetQuarters < 0 ? -stamp.offsetQuarters : stamp.offsetQuarters);
  *at++ = stamp.offsetQuarters < 0 ? '-' : '+';
  at = PutTwo(at, minutes / 60);
  *at++ = ':';
  at = PutTwo(at, minutes % 60);
  *at = '\0';
  return static_cast<std::size_t>(at - out.data());
}

}  // namespace brindle
