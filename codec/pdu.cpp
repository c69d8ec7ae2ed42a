#include "codec/pdu.h"

#include <algorithm>
#include <cstring>

#include "codec/hex.h"

namespace brindle {
namespace {

// User-data header information elements: concatenated short messages, 8- and 16-bit reference.
constexpr std::uint8_t kConcatenated8 = 0x00;
constexpr std::uint8_t kConcatenated16 = 0x08;

// More than any PDU's octets (at most about 190); a longer text is read only this far, which
// still tells that it has octets after its user data.
constexpr std::size_t kOctetCapacity = 512;

// The octets of a PDU text, walked one field at a time; every read is bounded.
class Octets {
 public:
  PduError Load(std::string_view text, std::size_t& errorOffset) {
    if (text.empty()) {
      return PduError::kEmpty;
    }
    const std::size_t pairs = text.size() / 2;
    held_ = std::min(pairs, octets_.size());
    std::size_t good = hex::ReadPairs(text.data(), held_, octets_.data());
    // Past the capacity the digits are only checked.
    for (std::size_t at = held_; good == at && at < pairs; ++at) {
      good += hex::ReadPair(text.data() + 2 * at) >= 0 ? 1U : 0U;
    }
    if (good < pairs) {
      errorOffset = hex::DigitValue(text[2 * good]) < 0 ? 2 * good : 2 * good + 1;
      return PduError::kNotHex;
    }
    if (text.size() % 2 != 0) {
      const bool hexLast = hex::DigitValue(text.back()) >= 0;
      errorOffset = hexLast ? text.size() : text.size() - 1;
      return hexLast ? PduError::kOddLength : PduError::kNotHex;
    }
    total_ = pairs;
    return PduError::kNone;
  }
  [[nodiscard]] std::size_t Offset() const { return 2 * at_; }
  [[nodiscard]] std::size_t Left() const { return total_ - at_; }
  bool Take(std::uint8_t& octet) {
    if (at_ >= held_) {
      return false;
    }
    octet = octets_[at_++];
    return true;
  }
  // The next `count` octets, or an empty span when fewer are held.
  std::span<const std::uint8_t> Take(std::size_t count) {
    if (held_ - at_ < count) {
      return {};
    }
    at_ += count;
    return std::span<const std::uint8_t>(octets_).subspan(at_ - count, count);
  }

 private:
  std::array<std::uint8_t, kOctetCapacity> octets_;  // NOLINT: only the first held_ are read
  std::size_t held_ = 0;
  std::size_t total_ = 0;
  std::size_t at_ = 0;
};

// The characters of `digits` semi-octets (low one first), behind a '+' for an international
// `address.type`.
void ReadAddressDigits(std::span<const std::uint8_t> octets, std::size_t digits, Address& address) {
  const std::size_t plus = IsInternational(address.type) ? 1 : 0;
  address.number[0] = '+';
  for (std::size_t i = 0; i < (digits + 1) / 2; ++i) {  // both of an odd count's last octet
    address.number[plus + 2 * i] = kSemiOctets[octets[i] & 0x0FU];
    address.number[plus + 2 * i + 1] = kSemiOctets[octets[i] >> 4U];
  }
  address.number[plus + digits] = '\0';
}

// The service centre's field counts octets, the type included; TP-OA and TP-DA count digits.
enum class Counted : std::uint8_t { kOctets, kDigits };

PduError ReadAddress(Octets& octets, Counted counted, Address& address, std::size_t& errorOffset) {
  const std::size_t start = octets.Offset();
  address.number[0] = '\0';
  std::uint8_t length = 0;
  if (!octets.Take(length)) {
    return PduError::kTruncated;
  }
  if (counted == Counted::kOctets && length == 0) {
    return PduError::kNone;
  }
  const std::size_t limit =
      counted == Counted::kOctets ? kMaxServiceCentreOctets : kMaxAddressDigits;
  if (length > limit) {
    errorOffset = start;
    return counted == Counted::kOctets ? PduError::kServiceCentreTooLong
                                       : PduError::kAddressTooLong;
  }
  const std::size_t digitOctets = counted == Counted::kOctets ? length - 1U : (length + 1U) / 2U;
  const auto field = octets.Take(1 + digitOctets);
  if (field.empty()) {
    return PduError::kTruncated;
  }
  if (counted == Counted::kOctets) {
    ReadServiceCentre(field, address);
  } else {
    address.type = field[0];
    ReadAddressDigits(field.subspan(1), length, address);
  }
  return PduError::kNone;
}

PduError ReadUserData(Octets& octets, Pdu& pdu, std::size_t& errorOffset) {
  const std::size_t udlOffset = octets.Offset();
  if (!octets.Take(pdu.userDataLength)) {
    return PduError::kTruncated;
  }
  const std::size_t count = UserDataOctetsFor(pdu.userDataLength, pdu.dataCodingScheme);
  if (octets.Left() < count || count > kMaxUserDataOctets) {
    errorOffset = udlOffset;
    return PduError::kUserDataTooLong;
  }
  const auto userData = octets.Take(count);
  std::copy(userData.begin(), userData.end(), pdu.userData.begin());
  pdu.userDataOctets = count;
  if (octets.Left() > 0) {
    errorOffset = octets.Offset();
    return PduError::kTrailingData;
  }
  if (pdu.userDataHeaderIndicator) {
    const std::size_t headerOctets = count == 0 ? 1 : std::size_t{pdu.userData[0]} + 1;
    const bool septets = CountsSeptets(pdu.dataCodingScheme);
    if (headerOctets > count || (septets && UserDataHeaderSeptets(pdu) > pdu.userDataLength)) {
      errorOffset = udlOffset + 2;
      return PduError::kHeaderTooLong;
    }
  }
  return PduError::kNone;
}

// Address characters to semi-octets: the value of each character, or -1.
constexpr std::array<std::int8_t, 256> kSemiOctetOf = [] {
  std::array<std::int8_t, 256> values{};
  values.fill(-1);
  for (std::size_t i = 0; i + 1 < kSemiOctets.size(); ++i) {
    values[static_cast<unsigned char>(kSemiOctets[i])] = static_cast<std::int8_t>(i);
  }
  return values;
}();
int SemiOctetOf(char c) { return kSemiOctetOf[static_cast<unsigned char>(c)]; }

std::string_view DigitsOf(const Address& address) {
  std::string_view number(address.number.data(),
                          strnlen(address.number.data(), address.number.size()));
  if (number.starts_with('+')) {
    number.remove_prefix(1);
  }
  return number;
}

// Writes the field of an address of `type` and `digits` at `at`; false when a character has
// no semi-octet.
bool WriteAddress(std::uint8_t type, std::string_view digits, Counted counted, char*& at) {
  if (counted == Counted::kOctets && digits.empty()) {
    hex::WritePair(0, at);
    at += 2;
    return true;
  }
  const std::size_t length =
      counted == Counted::kOctets ? 1 + (digits.size() + 1) / 2 : digits.size();
  hex::WritePair(static_cast<std::uint8_t>(length), at);
  hex::WritePair(type, at + 2);
  at += 4;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    const int low = SemiOctetOf(digits[i]);
    const int high = i + 1 < digits.size() ? SemiOctetOf(digits[i + 1]) : 0x0F;
    if (low < 0 || high < 0) {
      return false;
    }
    hex::WritePair(static_cast<std::uint8_t>(high << 4U | low), at);
    at += 2;
  }
  return true;
}

std::size_t AddressTextLength(std::size_t digits, Counted counted) {
  return counted == Counted::kOctets && digits == 0 ? 2 : 4 + 2 * ((digits + 1) / 2);
}

}  // namespace

void ReadServiceCentre(std::span<const std::uint8_t> field, Address& address) {
  address.number[0] = '\0';
  address.type = kAddressUnknown;
  if (field.empty()) {
    return;
  }
  address.type = field[0];
  std::size_t digits = 2 * (field.size() - 1);
  if (digits > 0 && (field.back() >> 4U) == 0x0FU) {
    --digits;  // the filler of an odd count
  }
  ReadAddressDigits(field.subspan(1), digits, address);
}

bool CountsSeptets(std::uint8_t dataCodingScheme) {
  constexpr std::uint8_t kWaitingGroupsMask = 0xE0;
  constexpr std::uint8_t kWaitingGroups7Bit = 0xC0;  // message waiting, discard or store, 7-bit
  return IsGsmDefaultAlphabet(dataCodingScheme) ||
         (dataCodingScheme & kWaitingGroupsMask) == kWaitingGroups7Bit;
}

std::size_t UserDataOctetsFor(std::uint8_t userDataLength, std::uint8_t dataCodingScheme) {
  return CountsSeptets(dataCodingScheme) ? (7U * userDataLength + 7U) / 8U : userDataLength;
}

namespace {

// The lengths below for addresses of these digit counts, which the writer counts only once.
std::size_t DataCodingSchemeOffset(const Pdu& pdu, std::size_t centreDigits,
                                   std::size_t addressDigits) {
  const bool submit = pdu.messageType == MessageType::kSubmit;
  return AddressTextLength(centreDigits, Counted::kOctets) + (submit ? 4 : 2) +
         AddressTextLength(addressDigits, Counted::kDigits) + 2;
}

std::size_t PduTextLength(const Pdu& pdu, std::size_t centreDigits, std::size_t addressDigits) {
  const bool submit = pdu.messageType == MessageType::kSubmit;
  const std::size_t tail =
      submit ? kValidityOctets[static_cast<std::size_t>(pdu.validityFormat)] : kTimeStampOctets;
  return DataCodingSchemeOffset(pdu, centreDigits, addressDigits) + 2 + 2 * tail + 2 +
         2 * pdu.userDataOctets;
}

}  // namespace

std::size_t ServiceCentreTextLength(const Pdu& pdu) {
  return AddressTextLength(DigitsOf(pdu.serviceCentre).size(), Counted::kOctets);
}

std::size_t DataCodingSchemeOffset(const Pdu& pdu) {
  return DataCodingSchemeOffset(pdu, DigitsOf(pdu.serviceCentre).size(),
                                DigitsOf(pdu.address).size());
}

namespace {

// Every field a reading sets, cleared (the buffers only as far as a reader looks), so that a
// reading left early holds no field of an earlier one.
void Clear(Pdu& pdu) {
  pdu.serviceCentre.type = pdu.address.type = kAddressUnknown;
  pdu.serviceCentre.number[0] = pdu.address.number[0] = '\0';
  pdu.messageType = MessageType::kSubmit;
  pdu.rejectDuplicates = pdu.noMoreMessages = pdu.statusReport = false;
  pdu.userDataHeaderIndicator = pdu.replyPath = false;
  pdu.validityFormat = ValidityFormat::kNone;
  pdu.messageReference = pdu.protocolIdentifier = pdu.dataCodingScheme = pdu.userDataLength = 0;
  pdu.serviceCentreTimeStamp = TimeStamp{};
  pdu.userDataOctets = 0;
}

// The fields from the service centre's on; a text that ends inside one is kTruncated, with no
// offset set (it is the text's end).
PduError ReadFields(Octets& octets, Pdu& pdu, std::size_t& errorOffset) {
  if (const PduError error = ReadAddress(octets, Counted::kOctets, pdu.serviceCentre, errorOffset);
      error != PduError::kNone) {
    return error;
  }
  std::uint8_t first = 0;
  if (!octets.Take(first)) {
    return PduError::kTruncated;
  }
  const unsigned type = first & kMessageTypeMask;
  if (type != static_cast<unsigned>(MessageType::kDeliver) &&
      type != static_cast<unsigned>(MessageType::kSubmit)) {
    errorOffset = octets.Offset() - 2;
    return PduError::kUnsupportedType;
  }
  SetFirstOctet(first, pdu);
  const bool submit = pdu.messageType == MessageType::kSubmit;
  if (submit && !octets.Take(pdu.messageReference)) {
    return PduError::kTruncated;
  }
  if (const PduError error = ReadAddress(octets, Counted::kDigits, pdu.address, errorOffset);
      error != PduError::kNone) {
    return error;
  }
  if (!octets.Take(pdu.protocolIdentifier) || !octets.Take(pdu.dataCodingScheme)) {
    return PduError::kTruncated;
  }
  if (submit) {
    const auto period = octets.Take(kValidityOctets[static_cast<std::size_t>(pdu.validityFormat)]);
    if (period.size() != kValidityOctets[static_cast<std::size_t>(pdu.validityFormat)]) {
      return PduError::kTruncated;
    }
    std::copy(period.begin(), period.end(), pdu.validityPeriod.begin());
  } else {
    const std::size_t stampOffset = octets.Offset();
    const auto stamp = octets.Take(kTimeStampOctets);
    if (stamp.empty()) {
      return PduError::kTruncated;
    }
    const int bad = DecodeTimeStamp(stamp.first<kTimeStampOctets>(), pdu.serviceCentreTimeStamp);
    if (bad >= 0) {
      errorOffset = stampOffset + 2 * static_cast<std::size_t>(bad);
      return PduError::kBadTimeStamp;
    }
  }
  return ReadUserData(octets, pdu, errorOffset);
}

}  // namespace

PduError ReadPdu(std::string_view text, Pdu& pdu, std::size_t& errorOffset) {
  Clear(pdu);
  errorOffset = 0;
  Octets octets;
  PduError error = octets.Load(text, errorOffset);
  if (error == PduError::kNone) {
    error = ReadFields(octets, pdu, errorOffset);
  }
  if (error == PduError::kTruncated) {
    errorOffset = text.size();
  }
  return error;
}

std::size_t PduTextLength(const Pdu& pdu) {
  return PduTextLength(pdu, DigitsOf(pdu.serviceCentre).size(), DigitsOf(pdu.address).size());
}

std::size_t WritePdu(const Pdu& pdu, std::span<char> out) {
  const std::string_view centre = DigitsOf(pdu.serviceCentre);
  const std::string_view digits = DigitsOf(pdu.address);
  const std::size_t length = PduTextLength(pdu, centre.size(), digits.size());
  if (out.empty()) {
    return 0;
  }
  out[0] = '\0';
  if (out.size() < length + 1 || pdu.userDataOctets > kMaxUserDataOctets) {
    return 0;
  }
  const bool submit = pdu.messageType == MessageType::kSubmit;
  char* at = out.data();
  const auto put = [&at](std::uint8_t octet) {
    hex::WritePair(octet, at);
    at += 2;
  };
  if (!WriteAddress(pdu.serviceCentre.type, centre, Counted::kOctets, at)) {
    out[0] = '\0';
    return 0;
  }
  const bool bit2 = submit ? pdu.rejectDuplicates : pdu.noMoreMessages;
  put(static_cast<std::uint8_t>(
      static_cast<unsigned>(pdu.messageType) | (bit2 ? kBit2 : 0U) |
      (submit ? static_cast<unsigned>(pdu.validityFormat) << kValidityFormatShift : 0U) |
      (pdu.statusReport ? kStatusReport : 0U) |
      (pdu.userDataHeaderIndicator ? kUserDataHeader : 0U) | (pdu.replyPath ? kReplyPath : 0U)));
  if (submit) {
    put(pdu.messageReference);
  }
  if (!WriteAddress(pdu.address.type, digits, Counted::kDigits, at)) {
    out[0] = '\0';
    return 0;
  }
  put(pdu.protocolIdentifier);
  put(pdu.dataCodingScheme);
  if (submit) {
    at = hex::WriteBytes(std::span<const std::uint8_t>(pdu.validityPeriod)
                             .first(kValidityOctets[static_cast<std::size_t>(pdu.validityFormat)]),
                         at);
  } else {
    std::array<std::uint8_t, kTimeStampOctets> stamp;  // NOLINT: written whole
    EncodeTimeStamp(pdu.serviceCentreTimeStamp, stamp);
    at = hex::WriteBytes(stamp, at);
  }
  put(pdu.userDataLength);
  at = hex::WriteBytes(std::span<const std::uint8_t>(pdu.userData).first(pdu.userDataOctets), at);
  *at = '\0';
  return length;
}

bool SetAddress(std::string_view number, Address& address) {
  const bool international = number.starts_with('+');
  if (number.size() - (international ? 1 : 0) > kMaxAddressDigits) {
    return false;
  }
  address.type = international ? kAddressInternational : kAddressUnknown;
  std::copy(number.begin(), number.end(), address.number.begin());
  address.number[number.size()] = '\0';
  return true;
}

std::size_t UserDataHeaderSeptets(const Pdu& pdu) {
  if (!pdu.userDataHeaderIndicator) {
    return 0;
  }
  const std::size_t headerOctets = std::size_t{pdu.userData[0]} + 1;  // TP-UDHL and the header
  return (headerOctets * 8 + 6) / 7;
}

bool IsConcatenated(const Pdu& pdu) {
  if (!pdu.userDataHeaderIndicator || pdu.userDataOctets == 0) {
    return false;
  }
  const std::size_t end = std::min<std::size_t>(1 + pdu.userData[0], pdu.userDataOctets);
  // Information elements: identifier, length, data.
  for (std::size_t at = 1; at + 2 <= end; at += 2 + std::size_t{pdu.userData[at + 1]}) {
    if (pdu.userData[at] == kConcatenated8 || pdu.userData[at] == kConcatenated16) {
      return true;
    }
  }
  return false;
}

const char* DescribePduError(PduError error) {
  static constexpr std::array<const char*, 14> kTexts = {
      "no error",
      "no PDU text",
      "not a hex digit",
      "odd number of hex digits",
      "the text ends inside a field",
      "service-centre field longer than 11 octets",
      "address longer than 20 digits",
      "neither SMS-SUBMIT nor SMS-DELIVER",
      "data coding is not the GSM 7-bit default alphabet",
      "user-data length needs more octets than the text holds",
      "user-data header runs past the user data",
      "octets after the user data",
      "payload does not split into four fields (game id, 1, score, handle)",
      "service-centre time stamp is not a date and time",
  };
  const auto index = static_cast<std::size_t>(error);
  return index < kTexts.size() ? kTexts[index] : "unknown error";
}

}  // namespace brindle
