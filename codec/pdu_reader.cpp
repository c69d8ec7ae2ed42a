#include "codec/pdu_reader.h"

#include <array>
#include <charconv>
#include <cstdint>

#include "codec/score_payload.h"
#include "codec/text.h"

namespace brindle {
namespace {

constexpr std::size_t kMaxServiceCentreOctets = 11;  // type of address and 20 digits
constexpr std::size_t kTimeStampOctets = 7;
constexpr std::size_t kMaxNumberFieldText = 11;  // "-2147483648"

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Walks a checked hex text octet by octet; every read is bounded by the text.
class OctetCursor {
 public:
  explicit OctetCursor(std::string_view text) : text_(text) {}

  [[nodiscard]] std::size_t Offset() const { return at_; }
  [[nodiscard]] std::size_t OctetsLeft() const { return (text_.size() - at_) / 2; }
  [[nodiscard]] std::string_view Rest() const { return text_.substr(at_); }

  bool Take(std::uint8_t& octet) {
    if (OctetsLeft() < 1) {
      return false;
    }
    octet = static_cast<std::uint8_t>(ParseHexByte(text_.substr(at_)));
    at_ += 2;
    return true;
  }
  bool Skip(std::size_t octets) {
    if (OctetsLeft() < octets) {
      return false;
    }
    at_ += 2 * octets;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

PduError Fail(PduReading& reading, PduError error, std::size_t offset) {
  reading.error = error;
  reading.errorOffset = offset;
  return error;
}

PduError CheckHex(std::string_view text, PduReading& reading) {
  if (text.empty()) {
    return Fail(reading, PduError::kEmpty, 0);
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!IsHexDigit(text[i])) {
      return Fail(reading, PduError::kNotHex, i);
    }
  }
  if (text.size() % 2 != 0) {
    return Fail(reading, PduError::kOddLength, text.size());
  }
  return PduError::kNone;
}

char AddressDigit(unsigned nibble) {
  constexpr std::string_view kDigits = "0123456789*#abc";
  return nibble < kDigits.size() ? kDigits[nibble] : '\0';
}

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
  if ((type & 0x70U) == 0x10U) {  // international
    reading.number[at++] = '+';
  }
  for (std::size_t i = 0; i < digits; i += 2) {
    std::uint8_t octet = 0;
    if (!cursor.Take(octet)) {
      return Fail(reading, PduError::kTruncated, cursor.Offset());
    }
    reading.number[at++] = AddressDigit(octet & 0x0FU);
    if (i + 1 < digits) {
      reading.number[at++] = AddressDigit(octet >> 4U);
    }
  }
  reading.number[at] = '\0';
  return PduError::kNone;
}

bool IsGsmDefaultAlphabet(std::uint8_t dcs) {
  if ((dcs & 0xC0U) == 0x00U) {  // general data coding: uncompressed, alphabet bits 00
    return (dcs & 0x20U) == 0 && (dcs & 0x0CU) == 0;
  }
  if ((dcs & 0xF0U) == 0xF0U) {  // data coding / message class
    return (dcs & 0x04U) == 0;
  }
  return false;
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
  const std::string_view userData = cursor.Rest().substr(0, 2 * octets);
  cursor.Skip(octets);
  if (cursor.OctetsLeft() > 0) {
    return Fail(reading, PduError::kTrailingData, cursor.Offset());
  }
  std::size_t skip = 0;  // septets the user-data header and its fill bits take
  if (hasHeader) {
    const std::size_t headerOctets =
        userData.empty() ? 1 : static_cast<std::size_t>(ParseHexByte(userData)) + 1;
    skip = (headerOctets * 8 + 6) / 7;
    if (headerOctets > octets || skip > septets) {
      return Fail(reading, PduError::kHeaderTooLong, udlOffset + 2);
    }
  }
  std::array<char, kMaxSeptets + 1> text{};
  UnpackSeptets(septets, userData, text);
  const std::string_view scoreText = TerminatedView(std::span<const char>(text));
  DecodeScoreTextFromText(scoreText.substr(std::min(skip, scoreText.size())), reading.payload);
  reading.payloadLength = TerminatedView(std::span<const char>(reading.payload)).size();
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
  const auto length = static_cast<std::size_t>((rest[0] - '0') * 10 + (rest[1] - '0'));
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
  const auto* end = content.data() + content.size();
  const auto result = std::from_chars(content.data(), end, value);
  return result.ec == std::errc{} && result.ptr == end;
}

}  // namespace

bool SplitScorePayload(std::string_view payload, ScoreFields& fields) {
  std::string_view rest = payload;
  std::string_view handle;
  if (!TakeNumber(rest, fields.gameId) || !TakeNumber(rest, fields.fixed) ||
      !TakeNumber(rest, fields.score) || !TakeField(rest, handle) || !rest.empty()) {
    return false;
  }
  fields.handleLength = CopyText(handle, fields.handle);
  return true;
}

PduError ReadPdu(std::string_view text, PduReading& reading) {
  reading = PduReading{};
  if (const PduError error = CheckHex(text, reading); error != PduError::kNone) {
    return error;
  }
  OctetCursor cursor(text);
  std::uint8_t serviceCentre = 0;
  cursor.Take(serviceCentre);
  if (serviceCentre > kMaxServiceCentreOctets) {
    return Fail(reading, PduError::kServiceCentreTooLong, 0);
  }
  std::uint8_t first = 0;
  if (!cursor.Skip(serviceCentre) || !cursor.Take(first)) {
    return Fail(reading, PduError::kTruncated, text.size());
  }
  const unsigned messageType = first & 0x03U;
  if (messageType != 0 && messageType != 1) {
    return Fail(reading, PduError::kUnsupportedType, cursor.Offset() - 2);
  }
  reading.type = messageType == 1 ? PduType::kSubmit : PduType::kDeliver;
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
  if (!IsGsmDefaultAlphabet(coding)) {
    return Fail(reading, PduError::kUnsupportedDcs, cursor.Offset() - 2);
  }
  std::size_t stamp = kTimeStampOctets;  // TP-SCTS of a DELIVER
  if (reading.type == PduType::kSubmit) {
    constexpr std::array<std::size_t, 4> kValidityOctets = {0, 7, 1, 7};  // by TP-VPF
    stamp = kValidityOctets[(first >> 3U) & 0x03U];
  }
  if (!cursor.Skip(stamp)) {
    return Fail(reading, PduError::kTruncated, text.size());
  }
  return ReadUserDataFields(cursor, (first & 0x40U) != 0, reading);
}

PduError ReadUserData(std::string_view text, PduReading& reading) {
  reading = PduReading{};
  if (const PduError error = CheckHex(text, reading); error != PduError::kNone) {
    return error;
  }
  OctetCursor cursor(text);
  return ReadUserDataFields(cursor, false, reading);
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
  }
  return "unknown error";
}

}  // namespace brindle
