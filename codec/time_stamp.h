// The service-centre time stamp (TP-SCTS) of an SMS-DELIVER: local date and time as the
// service centre wrote it, with that centre's offset from UTC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace brindle {

inline constexpr std::size_t kTimeStampOctets = 7;
// "2026-12-06T21:15:03+01:00" and its NUL.
inline constexpr std::size_t kTimeStampTextCapacity = 26;

struct TimeStamp {
  bool present = false;  // only an SMS-DELIVER carries one
  int year = 0;          // 2000 + the two digits sent
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int offsetQuarters = 0;  // local time minus UTC, in quarters of an hour (-79..79)
};

// Reads the seven octets: each holds two decimal digits, the first in the low nibble; the
// last holds the offset, its sign in bit 3. Returns the index (0..6) of the first octet that
// is not two decimal digits or is out of range (month 1-12, day 1-31, hour 0-23, minute and
// second 0-59), or -1 when the stamp is sound and `stamp` holds it.
int DecodeTimeStamp(std::span<const std::uint8_t, kTimeStampOctets> octets, TimeStamp& stamp);
// Writes `stamp` as the seven octets DecodeTimeStamp reads, each part kept to two digits
// (the year's last two).
void EncodeTimeStamp(const TimeStamp& stamp, std::span<std::uint8_t, kTimeStampOctets> octets);

// The stamp as ISO 8601 with its own offset, "2026-12-06T21:15:03+01:00", NUL-terminated.
// Returns the characters written (25), or 0 with an empty text for a stamp not present.
std::size_t FormatTimeStamp(const TimeStamp& stamp, std::span<char, kTimeStampTextCapacity> out);

}  // namespace brindle
