#include "codec/pdu_reader.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <span>

#include "base/text.h"
#include "codec/hex.h"
#include "codec/score_payload.h"
#include "codec/tpdu.h"

namespace brindle {
namespace {

constexpr std::size_t kMaxServiceCentreOctets = 11;  // type of address and 20 digits
constexpr std::size_t kMaxNumberFieldText = 11;      // "-2147483648"

// Far more than any PDU's octets (at most about 260); a longer text is read only this far,
// which is still enough to tell that it has octets after its user data.
constexpr std::size_t kOctetCapacity = 512;

// The octets of a checked hex text, walked one by one; every read is bounded.
class OctetCursor {
 public:
  [[nodiscard]] std::size_t Offset() const { return 2 * at_; }
  [[nodiscard]] std::size_t OctetsLeft() const { return total_ - at_; }
  [[nodiscard]] std::span<const std::uint8_t> Next(std::size_t count) const {
    return std::span<const std::uint8_t>(octets_).subspan(at_, std::min(count, held_ - at_));
  }

  bool Take(std::uint8_t& octet) {
    if (at_ >= held_) {
      return false;
    }
    octet = octets_[at_++];
    return true;
  }
  bool Skip(std::size_t count) {
    if (held_ - at_ < count) {
      return false;
    }
    at_ += count;
    return true;
  }

  // Reads the whole text; the first character that is not a hex digit, or an odd count,
  // is the error.
  PduError Load(std::string_view text, std::size_t& offset) {
    if (text.empty()) {
      return PduError::kEmpty;
    }
    const std::size_t pairs = text.size() / 2;
    held_ = std::min(pairs, octets_.size());
    std::size_t good = hex::ReadPairs(text.data(), held_, octets_.data());
    // Past the capacity the digits are only checked, a block at a time.
    std::array<std::uint8_t, 64> spill;  // NOLINT: written, never read
    for (std::size_t at = held_; good == at && at < pairs; at += spill.size()) {
      good = at +
             hex::ReadPairs(text.data() + 2 * at, std::min(spill.size(), pairs - at), spill.data());
    }
    if (good < pairs) {
      offset = hex::DigitValue(text[2 * good]) < 0 ? 2 * good : 2 * good + 1;
      return PduError::kNotHex;
    }
    if (text.size() % 2 != 0) {
      offset = text.size() - 1;
      if (hex::DigitValue(text.back()) < 0) {
        return PduError::kNotHex;
      }
      offset = text.size();
      return PduError::kOddLength;
    }
    total_ = text.size() / 2;
    return PduError::kNone;
  }

 private:
  std::array<std::uint8_t, kOctetCapacity> octets_;  // NOLINT: only the first held_ are read
  std::size_t held_ = 0;
  std::size_t total_ = 0;
  std::size_t at_ = 0;
};

PduError Fail(PduReading& reading, PduError error, std::size_t offset) {
  reading.error = error;
  reading.errorOffset = offset;
  return error;
}

PduError Load(OctetCursor& cursor, std::string_view text, PduReading& reading) {
  std::size_t offset = 0;
  const PduError error = cursor.Load(text, offset);
  return error == PduError::kNone ? error : Fail(reading, error, offset);
}

// The characters of an address octet, low nibble first; the filler 0xF is a NUL, which ends
// the text. A table of pairs, so each octet is one two-byte copy.
constexpr std::array<std::array<char, 2>, 256> kAddressPairs = [] {
  constexpr std::array<char, 16> kDigits = {'0', '1', '2', '3', '4', '5', '6', '7',
                                            '8', '9', '*', '#', 'a', 'b', 'c', '\0'};
  std::array<std::array<char, 2>, 256> pairs{};
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    pairs[i] = {kDigits[i & 0x0FU], kDigits[i >> 4U]};
  }
  return pairs;
}();

PduError ReadAddress(OctetCursor& cursor, PduReading& reading) {
  const std::size_t start = cursor.Offset();
  std::uint8_t digits = 0;
  std::uint8_t type = 0;
  if (!cursor.Take(digits) || !cursor.Take(type)) {
    return Fail(reading, PduError::kTruncated, cursor.Offset());
  }
  if (digits > kMaxAddressDigits) {
    return Fail(reading, PduError::kAddressTooLong, start);
  }
  std::size_t at = 0;
  if ((type & tpdu::kTypeOfNumberMask) == tpdu::kTypeOfNumberInternational) {
    reading.number[at++] = '+';
  }
  const auto octets = cursor.Next((digits + 1U) / 2U);
  // Both characters of every octet; an odd count's last one is overwritten by the NUL. At
  // most '+', 20 digits and the NUL: the buffer holds them.
  for (const std::uint8_t octet : octets) {
    std::memcpy(reading.number + at, kAddressPairs[octet].data(), 2);
    at += 2;
  }
  if (octets.size() < (digits + 1U) / 2U) {
    cursor.Skip(octets.size());
    return Fail(reading, PduError::kTruncated, cursor.Offset());
  }
  cursor.Skip(octets.size());
  reading.number[at - (digits % 2U)] = '\0';
  return PduError::kNone;
}

// TP-UDL and TP-UD from the cursor on: the payload and its fields.
PduError ReadUserDataFields(OctetCursor& cursor, bool hasHeader, PduReading& reading) {
  const std::size_t udlOffset = cursor.Offset();
  std::uint8_t septets = 0;
  if (!cursor.Take(septets)) {
    return Fail(reading, PduError::kTruncated, cursor.Offset());
  }
  const std::size_t octets = (7U * septets + 7U) / 8U;
  if (cursor.OctetsLeft() < octets) {
    return Fail(reading, PduError::kUserDataTooLong, udlOffset);
  }
  const std::span<const std::uint8_t> userData = cursor.Next(octets);
  cursor.Skip(octets);
  if (cursor.OctetsLeft() > 0) {
    return Fail(reading, PduError::kTrailingData, cursor.Offset());
  }
  std::size_t skip = 0;  // septets the user-data header and its fill bits take
  if (hasHeader) {
    const std::size_t headerOctets = userData.empty() ? 1 : std::size_t{userData[0]} + 1;
    skip = (headerOctets * 8 + 6) / 7;
    if (headerOctets > octets || skip > septets) {
      return Fail(reading, PduError::kHeaderTooLong, udlOffset + 2);
    }
  }
  std::array<char, kMaxSeptets> text;  // NOLINT: the unpacking writes what is read
  const std::string_view scoreText(text.data(), UnpackSeptetValues(septets, userData, text));
  reading.payloadLength =
      DecodeScoreTextFromText(scoreText.substr(std::min(skip, scoreText.size())), reading.payload);
  if (!SplitScorePayload({reading.payload, reading.payloadLength}, reading.fields)) {
    return Fail(reading, PduError::kBadPayloadFields, udlOffset + 2);
  }
  return PduError::kNone;
}

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

// One field: two decimal digits of length (01 to 99), then that many characters.
bool TakeField(std::string_view& rest, std::string_view& content) {
  if (rest.size() < 2 || !IsDecimalDigit(rest[0]) || !IsDecimalDigit(rest[1])) {
    return false;
  }
  const std::size_t length = std::size_t{10} * static_cast<unsigned char>(rest[0] - '0') +
                             static_cast<unsigned char>(rest[1] - '0');
  if (length < 1 || rest.size() - 2 < length) {
    return false;
  }
  content = rest.substr(2, length);
  rest.remove_prefix(2 + length);
  return true;
}

bool TakeNumber(std::string_view& rest, std::int64_t& value) {
  std::string_view content;
  if (!TakeField(rest, content) || content.size() > kMaxNumberFieldText) {
    return false;
  }
  // A '-' and up to ten digits: no overflow is possible.
  const bool negative = content.front() == '-';
  const std::string_view digits = content.substr(negative ? 1 : 0);
  if (digits.empty()) {
    return false;
  }
  std::int64_t magnitude = 0;
  for (const char c : digits) {
    if (!IsDecimalDigit(c)) {
      return false;
    }
    magnitude = 10 * magnitude + (c - '0');
  }
  value = negative ? -magnitude : magnitude;
  return true;
}

}  // namespace

bool SplitScorePayload(std::string_view payload, ScoreFields& fields) {
  std::string_view rest = payload;
  std::string_view handle;
  if (!TakeNumber(rest, fields.gameId) || !TakeNumber(rest, fields.fixed) ||
      !TakeNumber(rest, fields.score) || !TakeField(rest, handle) || !rest.empty()) {
    return false;
  }
  // The handle fits: it is part of a payload no longer than the handle buffer.
  fields.handleLength = std::min(handle.size(), sizeof(fields.handle) - 1);
  std::memcpy(fields.handle, handle.data(), fields.handleLength);
  fields.handle[fields.handleLength] = '\0';
  return true;
}

namespace {

// Empties a reading without clearing its buffers, which are written as far as they are read.
void Clear(PduReading& reading) {
  reading.type = PduType::kSubmit;
  reading.number[0] = '\0';
  reading.payload[0] = '\0';
  reading.payloadLength = 0;
  reading.fields.gameId = 0;
  reading.fields.fixed = 0;
  reading.fields.score = 0;
  reading.fields.handle[0] = '\0';
  reading.fields.handleLength = 0;
  reading.sentAt = TimeStamp{};
  reading.error = PduError::kNone;
  reading.errorOffset = 0;
}

}  // namespace

PduError ReadPdu(std::string_view text, PduReading& reading) {
  Clear(reading);
  OctetCursor cursor;
  if (const PduError error = Load(cursor, text, reading); error != PduError::kNone) {
    return error;
  }
  std::uint8_t serviceCentre = 0;
  cursor.Take(serviceCentre);
  if (serviceCentre > kMaxServiceCentreOctets) {
    return Fail(reading, PduError::kServiceCentreTooLong, 0);
  }
  std::uint8_t first = 0;
  if (!cursor.Skip(serviceCentre) || !cursor.Take(first)) {
    return Fail(reading, PduError::kTruncated, text.size());
  }
  const unsigned messageType = first & tpdu::kMessageTypeMask;
  if (messageType != tpdu::kMessageTypeDeliver && messageType != tpdu::kMessageTypeSubmit) {
    return Fail(reading, PduError::kUnsupportedType, cursor.Offset() - 2);
  }
  reading.type = messageType == tpdu::kMessageTypeSubmit ? PduType::kSubmit : PduType::kDeliver;
  if (reading.type == PduType::kSubmit && !cursor.Skip(1)) {  // TP-MR
    return Fail(reading, PduError::kTruncated, text.size());
  }
  if (const PduError error = ReadAddress(cursor, reading); error != PduError::kNone) {
    return error;
  }
  std::uint8_t protocol = 0;
  std::uint8_t coding = 0;
  if (!cursor.Take(protocol) || !cursor.Take(coding)) {
    return Fail(reading, PduError::kTruncated, text.size());
  }
  if (!tpdu::IsGsmDefaultAlphabet(coding)) {
    return Fail(reading, PduError::kUnsupportedDcs, cursor.Offset() - 2);
  }
  if (reading.type == PduType::kDeliver) {
    const std::size_t stampOffset = cursor.Offset();
    const auto stamp = cursor.Next(kTimeStampOctets);
    if (stamp.size() < kTimeStampOctets || !cursor.Skip(kTimeStampOctets)) {
      return Fail(reading, PduError::kTruncated, text.size());
    }
    const int bad = DecodeTimeStamp(stamp.first<kTimeStampOctets>(), reading.sentAt);
    if (bad >= 0) {
      return Fail(reading, PduError::kBadTimeStamp,
                  stampOffset + 2 * static_cast<std::size_t>(bad));
    }
  } else {
    const auto format = static_cast<std::size_t>(tpdu::ValidityFormatOf(first));
    if (!cursor.Skip(tpdu::kValidityOctets[format])) {
      return Fail(reading, PduError::kTruncated, text.size());
    }
  }
  return ReadUserDataFields(cursor, (first & tpdu::kUserDataHeader) != 0, reading);
}

const char* DescribePduError(PduError error) {
  switch (error) {
    case PduError::kNone:
      return "no error";
    case PduError::kEmpty:
      return "no PDU text";
    case PduError::kNotHex:
      return "not a hex digit";
    case PduError::kOddLength:
      return "odd number of hex digits";
    case PduError::kTruncated:
      return "the text ends inside a field";
    case PduError::kServiceCentreTooLong:
      return "service-centre field longer than 11 octets";
    case PduError::kAddressTooLong:
      return "address longer than 20 digits";
    case PduError::kUnsupportedType:
      return "neither SMS-SUBMIT nor SMS-DELIVER";
    case PduError::kUnsupportedDcs:
      return "data coding is not the GSM 7-bit default alphabet";
    case PduError::kUserDataTooLong:
      return "user-data length needs more octets than the text holds";
    case PduError::kHeaderTooLong:
      return "user-data header runs past the user data";
    case PduError::kTrailingData:
      return "octets after the user data";
    case PduError::kBadPayloadFields:
      return "payload does not split into four fields (game id, 1, score, handle)";
    case PduError::kBadTimeStamp:
      return "service-centre time stamp is not a date and time";
  }
  return "unknown error";
}

}  // namespace brindle
