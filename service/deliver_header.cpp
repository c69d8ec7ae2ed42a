#include "service/deliver_header.h"

#include "codec/hex.h"

namespace brindle::service {
namespace {

constexpr std::uint8_t kUserDataHeaderIndicator = 0x40;
constexpr std::uint8_t kConcatenated8 = 0x00;
constexpr std::uint8_t kConcatenated16 = 0x08;

class Octets {
 public:
  explicit Octets(std::string_view text) : text_(text) {}
  bool Take(std::uint8_t& octet) {
    if (at_ + 2 > text_.size()) {
      return false;
    }
    const int high = hex::DigitValue(text_[at_]);
    const int low = hex::DigitValue(text_[at_ + 1]);
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

StampMoment MomentOf(const TimeStamp& stamp) {
  StampMoment moment;
  std::array<char, kTimeStampTextCapacity> text{};
  const std::size_t length = FormatTimeStamp(stamp, text);
  if (length == 0) {
    return moment;
  }
  moment.iso.assign(text.data(), length);
  moment.utcSeconds = DaysFromCivil(stamp.year, static_cast<unsigned>(stamp.month),
                                    static_cast<unsigned>(stamp.day)) *
                          86400 +
                      std::int64_t{stamp.hour} * 3600 + std::int64_t{stamp.minute} * 60 +
                      stamp.second - std::int64_t{stamp.offsetQuarters} * 15 * 60;
  moment.valid = true;
  return moment;
}

StampMoment MomentOf(const std::array<std::uint8_t, kTimeStampOctets>& octets) {
  TimeStamp stamp;
  if (DecodeTimeStamp(octets, stamp) >= 0) {
    return {};
  }
  return MomentOf(stamp);
}

}  // namespace brindle::service
