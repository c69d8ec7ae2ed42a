// Names for the TPDU fields the writer sets and the reader takes apart (SMS-SUBMIT and
// SMS-DELIVER), so both speak of the same bits.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace brindle::tpdu {

// First octet.
inline constexpr std::uint8_t kMessageTypeMask = 0x03;  // TP-MTI
inline constexpr std::uint8_t kMessageTypeDeliver = 0x00;
inline constexpr std::uint8_t kMessageTypeSubmit = 0x01;
// Bit 2: TP-RD in a SUBMIT (reject duplicates), TP-MMS in a DELIVER (set: no more messages).
inline constexpr std::uint8_t kRejectDuplicates = 0x04;
inline constexpr std::uint8_t kNoMoreMessages = 0x04;
inline constexpr unsigned kValidityFormatShift = 3;  // TP-VPF, bits 3 and 4 of a SUBMIT
inline constexpr std::uint8_t kValidityFormatMask = 0x03;
inline constexpr std::uint8_t kStatusReportRequest = 0x20;  // TP-SRR (TP-SRI in a DELIVER)
inline constexpr std::uint8_t kUserDataHeader = 0x40;       // TP-UDHI
inline constexpr std::uint8_t kReplyPath = 0x80;            // TP-RP

// TP-VPF values and the octets of TP-VP each one takes.
enum class ValidityFormat : std::uint8_t { kNone = 0, kEnhanced = 1, kRelative = 2, kAbsolute = 3 };
inline constexpr std::array<std::size_t, 4> kValidityOctets = {0, 7, 1, 7};

inline constexpr ValidityFormat ValidityFormatOf(std::uint8_t firstOctet) {
  return static_cast<ValidityFormat>((firstOctet >> kValidityFormatShift) & kValidityFormatMask);
}
inline constexpr std::uint8_t FirstOctetOf(ValidityFormat format) {
  return static_cast<std::uint8_t>(static_cast<unsigned>(format) << kValidityFormatShift);
}

// TP-VP in the relative format: 168 to 196 count days from 166, so 0xAA is four days.
inline constexpr std::uint8_t kValidityFourDays = 0xAA;

// TP-PID: a plain short message, no interworking.
inline constexpr std::uint8_t kProtocolPlain = 0x00;

// TP-DCS.
inline constexpr std::uint8_t kCodingGsmDefault = 0x00;  // general group, no class, 7-bit
inline constexpr std::uint8_t kCodingGroupMask = 0xC0;
inline constexpr std::uint8_t kCodingGeneralGroup = 0x00;  // 00xx xxxx
inline constexpr std::uint8_t kCodingCompressed = 0x20;
inline constexpr std::uint8_t kCodingAlphabetMask = 0x0C;    // 00: the GSM 7-bit default
inline constexpr std::uint8_t kCodingClassGroupMask = 0xF0;  // 1111 xxxx: coding and class
inline constexpr std::uint8_t kCodingClassGroup = 0xF0;
inline constexpr std::uint8_t kCodingClassGroup8Bit = 0x04;

// Whether a TP-DCS value means uncompressed text in the GSM 7-bit default alphabet.
inline constexpr bool IsGsmDefaultAlphabet(std::uint8_t dcs) {
  if ((dcs & kCodingGroupMask) == kCodingGeneralGroup) {
    return (dcs & kCodingCompressed) == 0 && (dcs & kCodingAlphabetMask) == 0;
  }
  if ((dcs & kCodingClassGroupMask) == kCodingClassGroup) {
    return (dcs & kCodingClassGroup8Bit) == 0;
  }
  return false;
}

// Address fields (TP-DA, TP-OA): type of address, its type-of-number bits.
inline constexpr std::uint8_t kAddressInternational = 0x91;  // international, ISDN numbering
inline constexpr std::uint8_t kAddressUnknown = 0x81;        // unknown type, ISDN numbering
inline constexpr std::uint8_t kTypeOfNumberMask = 0x70;
inline constexpr std::uint8_t kTypeOfNumberInternational = 0x10;
// The character of each address digit (semi-octet); the filler 0xF ends the number.
inline constexpr std::array<char, 16> kAddressDigits = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                        '8', '9', '*', '#', 'a', 'b', 'c', '\0'};

// TP-MR of a SUBMIT: zero, the phone numbers its messages itself.
inline constexpr std::uint8_t kMessageReferenceByPhone = 0x00;
// Most octets a service-centre field holds: type of address and 20 digits.
inline constexpr std::size_t kMaxServiceCentreOctets = 11;
// Length of an empty service-centre field: the phone's own setting applies.
inline constexpr std::uint8_t kServiceCentreFromPhone = 0x00;

}  // namespace brindle::tpdu
