// SMS-DELIVER PDUs for the service's tests, built with the codec's own score text and septet
// packing, so a case can carry any payload, stamp, coding or user-data header.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brindle::service::testing {

// The four fields as the sender lays them out: two-digit length, then the text.
std::string Payload(std::int64_t gameId, std::int64_t fixed, std::int64_t score,
                    std::string_view handle);

struct DeliverParts {
  std::string payload = Payload(42, 1, 12345, "Ann");
  std::string sender = "+447700900123";
  std::string stamp = "62216012513040";  // 2026-12-06 21:15:03, +01:00
  std::string coding = "00";
  std::string userDataHeader;  // hex, without its length octet; empty: none
};

std::string BuildDeliver(const DeliverParts& parts);

// TP-SCTS hex for a moment with an offset in quarters of an hour.
std::string Stamp(int year, int month, int day, int hour, int minute, int second, int quarters);

}  // namespace brindle::service::testing
