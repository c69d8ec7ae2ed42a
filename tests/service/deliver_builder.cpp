#include "deliver_builder.h"

#include <array>
#include <cstdio>
#include <cstdlib>

#include "codec/score_payload.h"
#include "codec/submit_pdu.h"

namespace brindle::service::testing {
namespace {

std::string Hex(unsigned value) {
  std::array<char, 3> text{};
  static_cast<void>(std::snprintf(text.data(), text.size(), "%02X", value & 0xFFU));
  return text.data();
}

std::string Swapped(int value) {
  const std::string digits = std::to_string(value / 10 % 10) + std::to_string(value % 10);
  return {digits[1], digits[0]};
}

std::string Field(const std::string& text) {
  std::array<char, 3> length{};
  static_cast<void>(std::snprintf(length.data(), length.size(), "%02zu", text.size()));
  return length.data() + text;
}

}  // namespace

std::string Payload(std::int64_t gameId, std::int64_t fixed, std::int64_t score,
                    std::string_view handle) {
  return Field(std::to_string(gameId)) + Field(std::to_string(fixed)) +
         Field(std::to_string(score)) + Field(std::string(handle));
}

std::string Stamp(int year, int month, int day, int hour, int minute, int second, int quarters) {
  std::string text;
  for (const int field : {year % 100, month, day, hour, minute, second}) {
    text += Swapped(field);
  }
  const std::string zone = Swapped(std::abs(quarters));
  unsigned octet = static_cast<unsigned>(std::stoi(zone, nullptr, 16));
  if (quarters < 0) {
    octet |= 0x08U;
  }
  return text + Hex(octet);
}

std::string BuildDeliver(const DeliverParts& parts) {
  std::array<char, kPayloadCapacity> payload{};
  parts.payload.copy(payload.data(), payload.size() - 1);
  std::array<char, kScoreTextCapacity> scoreText{};
  if (EncodeScoreText(payload, scoreText) == 0) {
    std::abort();
  }
  const std::string text = scoreText.data();
  std::array<char, 2 * kScoreTextCapacity> packed{};
  PackSeptets(text, packed);
  std::array<char, kAddressFieldCapacity> address{};
  EncodeAddressField(parts.sender, address);
  std::string userData = packed.data();
  std::size_t septets = text.size();
  std::string first = "04";
  if (!parts.userDataHeader.empty()) {
    // The header and its fill bits take whole septets in front of the text; the text is not
    // realigned, as only the header's presence is under test.
    const std::size_t headerOctets = 1 + parts.userDataHeader.size() / 2;
    const std::size_t headerSeptets = (headerOctets * 8 + 6) / 7;
    septets += headerSeptets;
    userData = Hex(static_cast<unsigned>(headerOctets - 1)) + parts.userDataHeader + userData;
    const std::size_t octets = (7 * septets + 7) / 8;
    while (userData.size() < 2 * octets) {
      userData += "00";
    }
    userData.resize(2 * octets);
    first = "44";
  }
  return "00" + first + std::string(address.data()) + "00" + parts.coding + parts.stamp +
         Hex(static_cast<unsigned>(septets)) + userData;
}

}  // namespace brindle::service::testing
