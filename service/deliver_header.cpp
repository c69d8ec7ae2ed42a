#include "service/deliver_header.h"

#include <cstdio>

namespace brindle::service {
namespace {

constexpr std::uint8_t kUserDataHeaderIndicator = 0x40;
constexpr std::uint8_t kConcatenated8 = 0x00;
constexpr std::uint8_t kConcatenated16 = 0x08;

int HexValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  return -1;
}

class Octets {
 public:
  explicit Octets(std::string_view text) : text_(text) {}
  bool Take(std::uint8_t& octet) {
    if (at_ + 2 > text_.size()) {
      return false;
    }
    const int high = HexValue(text_[at_]);
    const int low = HexValue(text_[at_ + 1]);
    if (high < 0 || low < 0) {
      return false;
    }
    octet = static_cast<std::uint8_t>(high * 16 + low);
    at_ += 2;
    return true;
  }
  bool Skip(std::size_t count) {
    std::uint8_t ignored = 0;
    for (std::size_t i = 0; i < count; ++i) {
      if (!Take(ignored)) {
        return false;
      }
    }
    return true;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

// A swapped semi-octet pair as a number; -1 when a digit is not decimal.
int SwappedDecimal(std::uint8_t octet) {
  const int tens = octet & 0x0F;
  const int units = octet >> 4U;
  return tens > 9 || units > 9 ? -1 : tens * 10 + units;
}

}  // namespace

DeliverHeader WalkDeliver(std::string_view pdu) {
  DeliverHeader header;
  Octets octets(pdu);
  std::uint8_t serviceCentre = 0;
  std::uint8_t first = 0;
  std::uint8_t digits = 0;
  if (!octets.Take(serviceCentre) || !octets.Skip(serviceCentre) || !octets.Take(first) ||
      !octets.Take(digits) || !octets.Skip(1 + (std::size_t{digits} + 1) / 2) ||
      !octets.Skip(2)) {  // type of address, digits; protocol id, coding
    return header;
  }
  for (std::uint8_t& stamp : header.timeStamp) {
    if (!octets.Take(stamp)) {
      return header;
    }
  }
  std::uint8_t userDataLength = 0;
  if (!octets.Take(userDataLength)) {
    return header;
  }
  header.complete = true;
  header.hasUserDataHeader = (first & kUserDataHeaderIndicator) != 0;
  if (!header.hasUserDataHeader) {
    return header;
  }
  std::uint8_t headerLength = 0;
  if (!octets.Take(headerLength)) {
    return header;
  }
  // Information elements: identifier, length, data.
  for (std::size_t used = 0; used + 2 <= headerLength;) {
    std::uint8_t identifier = 0;
    std::uint8_t length = 0;
    if (!octets.Take(identifier) || !octets.Take(length)) {
      break;
    }
    if (identifier == kConcatenated8 || identifier == kConcatenated16) {
      header.concatenated = true;
    }
    used += 2U + length;
    if (!octets.Skip(length)) {
      break;
    }
  }
  return header;
}

std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

StampMoment ReadStamp(const std::array<std::uint8_t, 7>& octets) {
  StampMoment moment;
  std::array<int, 6> fields{};
  for (std::size_t i = 0; i < fields.size(); ++i) {
    fields[i] = SwappedDecimal(octets[i]);
    if (fields[i] < 0) {
      return moment;
    }
  }
  const int year = 2000 + fields[0];
  const int month = fields[1];
  const int day = fields[2];
  const std::uint8_t zone = octets[6];
  const int quarters = SwappedDecimal(static_cast<std::uint8_t>(zone & 0xF7U));
  if (quarters < 0 || quarters > 56 || month < 1 || month > 12 || day < 1 || fields[3] > 23 ||
      fields[4] > 59 || fields[5] > 59) {
    return moment;
  }
  constexpr std::array<int, 12> kMonthDays = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = year % 4 == 0;  // 2000..2099
  if (day > kMonthDays[static_cast<std::size_t>(month - 1)] || (month == 2 && day == 29 && !leap)) {
    return moment;
  }
  const int offsetMinutes = ((zone & 0x08U) != 0 ? -1 : 1) * quarters * 15;
  std::array<char, 32> text{};
  const int length =
      std::snprintf(text.data(), text.size(), "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", year,
                    month, day, fields[3], fields[4], fields[5], offsetMinutes < 0 ? '-' : '+',
                    (offsetMinutes < 0 ? -offsetMinutes : offsetMinutes) / 60,
                    (offsetMinutes < 0 ? -offsetMinutes : offsetMinutes) % 60);
  moment.iso.assign(text.data(), static_cast<std::size_t>(length));
  moment.utcSeconds =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
      fields[3] * 3600 + fields[4] * 60 + fields[5] - offsetMinutes * 60;
  moment.valid = true;
  return moment;
}

}  // namespace brindle::service
