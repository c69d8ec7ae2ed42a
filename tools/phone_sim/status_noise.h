// The status lines a modem sends whenever it likes (signal, network mode, service state, a
// ring), put between the lines of its answers, even between a message's header line and its
// PDU. Which lines go where follows from the seed alone.
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>

namespace brindle::sim {

inline constexpr std::array<std::string_view, 7> kStatusLines = {
    "^RSSI:17", "^MODE:5,4", "^BOOT:12345,0,0,0,72", "^SRVST:2", "+CREG: 1", "+CSQ: 17,99", "RING"};

class StatusNoise {
 public:
  explicit StatusNoise(std::uint32_t seed) : random_(seed) {}

  // `answer` with status lines, each framed as "\r\n<line>\r\n", before its first line and
  // after any of its lines but the last; now and then the line is `announcement` (a +CMTI)
  // instead, when there is one.
  std::string Interleave(std::string_view answer, std::string_view announcement);

 private:
  // One in this many places gets a line; one in this many lines is the announcement.
  static constexpr std::uint32_t kPlaceOdds = 3;
  static constexpr std::uint32_t kAnnouncementOdds = 6;

  // The raw engine's numbers, the same on every standard library.
  std::mt19937 random_;
};

}  // namespace brindle::sim
