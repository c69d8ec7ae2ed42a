#include "codec/time_stamp.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace brindle {
namespace {

// Octets 0 to 5: year, month, day, hour, minute, second.
constexpr std::array<std::pair<int, int>, 6> kRanges = {
    {{0, 99}, {1, 12}, {1, 31}, {0, 23}, {0, 59}, {0, 59}}};

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
  out[0] = '\0';
  if (!stamp.present) {
    return 0;
  }
  // Each part modulo its width, so that a hand-made stamp cannot overrun the text.
  const int minutes = 15 * std::abs(stamp.offsetQuarters) % 6000;
  const auto two = [](int value) { return std::abs(value) % 100; };
  const int written = std::snprintf(  // NOLINT(cppcoreguidelines-pro-type-vararg)
      out.data(), out.size(), "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d",
      std::abs(stamp.year) % 10000, two(stamp.month), two(stamp.day), two(stamp.hour),
      two(stamp.minute), two(stamp.second), stamp.offsetQuarters < 0 ? '-' : '+', minutes / 60,
      minutes % 60);
  return written == static_cast<int>(out.size()) - 1 ? out.size() - 1 : 0;
}

}  // namespace brindle
