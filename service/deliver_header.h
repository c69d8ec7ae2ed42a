// The parts of an SMS-DELIVER the whole-PDU reader does not hand out: whether a user-data
// header is there and what it says (a multi-part piece), and the service-centre time stamp.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "codec/time_stamp.h"

namespace brindle::service {

struct DeliverHeader {
  bool complete = false;  // the walk reached the user data
  bool hasUserDataHeader = false;
  bool concatenated = false;  // the header holds a concatenation element (8- or 16-bit)
  std::array<std::uint8_t, kTimeStampOctets> timeStamp{};  // TP-SCTS octets as sent
};

// Walks a PDU text that the reader took as an SMS-DELIVER; `complete` is false when it ends
// too early.
DeliverHeader WalkDeliver(std::string_view pdu);

// A time stamp as the operator sees it.
struct StampMoment {
  bool valid = false;
  std::string iso;              // "2026-12-06T21:15:03+01:00", the stamp's own offset
  std::int64_t utcSeconds = 0;  // seconds since 1970-01-01T00:00:00Z
};

StampMoment MomentOf(const TimeStamp& stamp);
// The same from the seven octets as sent; not valid when they do not decode.
StampMoment MomentOf(const std::array<std::uint8_t, kTimeStampOctets>& octets);

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day);

}  // namespace brindle::service
