// A short message's PDU as phones print it: the service centre's address, then the TPDU, each
// field under its 3GPP TS 23.040 name. Read from its text once and written from the same
// structure; everything in Brindle that meets a PDU goes through here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "codec/time_stamp.h"

namespace brindle {

inline constexpr std::size_t kMaxAddressDigits = 20;
// Most octets the service centre's field holds: type of address and 20 digits.
inline constexpr std::size_t kMaxServiceCentreOctets = 11;
inline constexpr std::size_t kMaxUserDataOctets = 140;
// Octets behind the user data that may be read ahead (never used): fast readers take whole words.
inline constexpr std::size_t kUserDataReadAhead = 64;

// TP-MTI: the message types a mobile sees (the third, SMS-STATUS-REPORT, is not read).
enum class MessageType : std::uint8_t { kDeliver = 0, kSubmit = 1 };
// TP-VPF, and the octets of TP-VP each one takes.
enum class ValidityFormat : std::uint8_t { kNone = 0, kEnhanced = 1, kRelative = 2, kAbsolute = 3 };
inline constexpr std::array<std::size_t, 4> kValidityOctets = {0, 7, 1, 7};
// TP-VP in the relative format: 168 to 196 count days from 166, so 0xAA is four days.
inline constexpr std::uint8_t kValidityFourDays = 0xAA;

// Type of address: type of number (bits 4-6) and numbering plan (bits 0-3), bit 7 set.
inline constexpr std::uint8_t kAddressInternational = 0x91;  // international, ISDN numbering
inline constexpr std::uint8_t kAddressUnknown = 0x81;        // unknown type, ISDN numbering
inline constexpr bool IsInternational(std::uint8_t type) {
  constexpr std::uint8_t kTypeOfNumberMask = 0x70;
  constexpr std::uint8_t kTypeOfNumberInternational = 0x10;
  return (type & kTypeOfNumberMask) == kTypeOfNumberInternational;
}
// The character of each semi-octet of an address; the filler 0xF ends the number.
inline constexpr std::array<char, 16> kSemiOctets = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                     '8', '9', '*', '#', 'a', 'b', 'c', '\0'};

// TP-PID: a plain short message, no interworking.
inline constexpr std::uint8_t kProtocolPlain = 0x00;
// TP-DCS: general group, no class, GSM 7-bit default alphabet.
inline constexpr std::uint8_t kCodingGsmDefault = 0x00;

// TP-OA, TP-DA or the service centre's address.
struct Address {
  std::uint8_t type = kAddressUnknown;
  // The semi-octets as characters (0-9, '*', '#', 'a' to 'c'), with '+' in front when the type
  // of number is international; NUL-terminated. Empty for an empty field.
  std::array<char, kMaxAddressDigits + 2> number{};
};

struct Pdu {
  Address serviceCentre;  // empty: the phone's own setting applies
  // First octet.
  MessageType messageType = MessageType::kSubmit;         // TP-MTI
  bool rejectDuplicates = false;                          // TP-RD, an SMS-SUBMIT's bit 2
  bool noMoreMessages = false;                            // TP-MMS set, an SMS-DELIVER's bit 2
  ValidityFormat validityFormat = ValidityFormat::kNone;  // TP-VPF, SMS-SUBMIT only
  bool statusReport = false;             // TP-SRR in an SMS-SUBMIT, TP-SRI in an SMS-DELIVER
  bool userDataHeaderIndicator = false;  // TP-UDHI
  bool replyPath = false;                // TP-RP
  std::uint8_t messageReference = 0;     // TP-MR, SMS-SUBMIT only; 0 lets the phone number it
  Address address;                       // TP-DA of an SMS-SUBMIT, TP-OA of an SMS-DELIVER
  std::uint8_t protocolIdentifier = kProtocolPlain;   // TP-PID
  std::uint8_t dataCodingScheme = kCodingGsmDefault;  // TP-DCS
  std::array<std::uint8_t, 7> validityPeriod{};       // TP-VP: the first kValidityOctets of them
  TimeStamp serviceCentreTimeStamp;                   // TP-SCTS, SMS-DELIVER only
  std::uint8_t userDataLength = 0;  // TP-UDL: septets in the 7-bit alphabet, else octets
  // TP-UD as sent, the user-data header (TP-UDHL first) included; what lies behind it is
  // whatever was there, readable but meaningless.
  std::size_t userDataOctets = 0;
  std::array<std::uint8_t, kMaxUserDataOctets + kUserDataReadAhead>
      userData;  // NOLINT: written as far as userDataOctets says
};

enum class PduError : std::uint8_t {
  kNone,
  kEmpty,      // no text at all
  kNotHex,     // a character that is not a hex digit
  kOddLength,  // an odd number of hex digits
  kTruncated,  // the text ends inside a field
  kServiceCentreTooLong,
  kAddressTooLong,    // more than 20 digits
  kUnsupportedType,   // TP-MTI neither SUBMIT nor DELIVER
  kUnsupportedDcs,    // not the GSM 7-bit default alphabet (a score message's own rule)
  kUserDataTooLong,   // TP-UDL needs more octets than the text holds
  kHeaderTooLong,     // the user-data header runs past the user data
  kTrailingData,      // octets after the user data
  kBadPayloadFields,  // the payload does not split into the four fields (a score message's)
  kBadTimeStamp,      // a TP-SCTS octet that is not two decimal digits, or out of range
};
const char* DescribePduError(PduError error);

// Whether TP-DCS means uncompressed text in the GSM 7-bit default alphabet.
// Inline: the one-pass reader asks it of every message.
inline constexpr bool IsGsmDefaultAlphabet(std::uint8_t dataCodingScheme) {
  constexpr std::uint8_t kGroupMask = 0xC0;
  constexpr std::uint8_t kGeneralGroup = 0x00;  // 00xx xxxx
  constexpr std::uint8_t kCompressed = 0x20;
  constexpr std::uint8_t kAlphabetMask = 0x0C;  // 00: the GSM 7-bit default
  constexpr std::uint8_t kClassGroupMask = 0xF0;
  constexpr std::uint8_t kClassGroup = 0xF0;  // 1111 xxxx: coding and class
  constexpr std::uint8_t kClassGroup8Bit = 0x04;
  if ((dataCodingScheme & kGroupMask) == kGeneralGroup) {
    return (dataCodingScheme & (kCompressed | kAlphabetMask)) == 0;
  }
  if ((dataCodingScheme & kClassGroupMask) == kClassGroup) {
    return (dataCodingScheme & kClassGroup8Bit) == 0;
  }
  return false;
}
// Whether TP-UDL counts septets under this TP-DCS (7-bit text), not octets.
bool CountsSeptets(std::uint8_t dataCodingScheme);
// Octets TP-UD takes for a TP-UDL under this TP-DCS: septets packed, or octets.
std::size_t UserDataOctetsFor(std::uint8_t userDataLength, std::uint8_t dataCodingScheme);
// Characters the service centre's field takes at the start of the text: AT+CMGS and the
// listings count the octets behind it.
std::size_t ServiceCentreTextLength(const Pdu& pdu);
// The hex digit offset of TP-DCS in the text `pdu` was read from.
std::size_t DataCodingSchemeOffset(const Pdu& pdu);

// Fills `pdu` from its text (service-centre field first). On an error the fields read so far
// are kept, and `errorOffset` is the character where the fault lies.
PduError ReadPdu(std::string_view text, Pdu& pdu, std::size_t& errorOffset);

// Writes `pdu` as uppercase hex, NUL-terminated. Returns the characters written, or 0 with
// `out` empty when it does not fit or an address holds a character no semi-octet stands for.
std::size_t WritePdu(const Pdu& pdu, std::span<char> out);
// Characters WritePdu writes for `pdu`, without the NUL.
std::size_t PduTextLength(const Pdu& pdu);

// The pieces the one-pass score reader shares with ReadPdu: the service centre's field from
// its type on; the first octet's fields.
void ReadServiceCentre(std::span<const std::uint8_t> field, Address& address);

// The first octet's fields.
inline constexpr std::uint8_t kMessageTypeMask = 0x03;  // TP-MTI
inline constexpr std::uint8_t kBit2 = 0x04;             // TP-RD or TP-MMS
inline constexpr unsigned kValidityFormatShift = 3;     // TP-VPF, bits 3 and 4
inline constexpr std::uint8_t kStatusReport = 0x20;     // TP-SRR or TP-SRI
inline constexpr std::uint8_t kUserDataHeader = 0x40;   // TP-UDHI
inline constexpr std::uint8_t kReplyPath = 0x80;        // TP-RP

// Inline: it is part of every message read.
inline void SetFirstOctet(std::uint8_t first, Pdu& pdu) {
  pdu.messageType = static_cast<MessageType>(first & kMessageTypeMask);
  const bool submit = pdu.messageType == MessageType::kSubmit;
  pdu.rejectDuplicates = submit && (first & kBit2) != 0;
  pdu.noMoreMessages = !submit && (first & kBit2) != 0;
  pdu.validityFormat = submit ? static_cast<ValidityFormat>((first >> kValidityFormatShift) & 3U)
                              : ValidityFormat::kNone;
  pdu.statusReport = (first & kStatusReport) != 0;
  pdu.userDataHeaderIndicator = (first & kUserDataHeader) != 0;
  pdu.replyPath = (first & kReplyPath) != 0;
}

// An address of '+' and digits as international, anything else as unknown; false when it
// has more than 20 characters behind the '+'.
bool SetAddress(std::string_view number, Address& address);

// Septets the user-data header and its fill bits take ahead of 7-bit text: 0 without one.
std::size_t UserDataHeaderSeptets(const Pdu& pdu);
// Whether the user-data header holds a concatenation element (8- or 16-bit reference): the
// message is one part of several.
bool IsConcatenated(const Pdu& pdu);

}  // namespace brindle
