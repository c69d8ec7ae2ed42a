#include "tools/phone_sim/deliver_pdu.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "codec/hex.h"
#include "codec/submit_pdu.h"

namespace brindle::sim {
namespace {

constexpr std::uint8_t kMtiMask = 0x03;
constexpr std::uint8_t kMtiSubmit = 0x01;
constexpr std::uint8_t kUdhiBit = 0x40;
// TP-MTI DELIVER (00) with TP-MMS set: no more messages wait at the centre.
constexpr std::uint8_t kDeliverFirstOctet = 0x04;
constexpr std::uint8_t kZoneSignBit = 0x08;

void AppendOctet(std::string& out, unsigned octet) {
  std::array<char, 2> pair{};
  hex::WritePair(static_cast<std::uint8_t>(octet), pair.data());
  out.append(pair.data(), pair.size());
}

// A value 0..99 as two swapped semi-octets: units in the high nibble.
unsigned SemiOctets(int value) {
  const auto v = static_cast<unsigned>(std::clamp(value, 0, 99));
  return ((v % 10) << 4U) | (v / 10);
}

std::optional<std::string> AddressField(std::string_view number) {
  if (!IsPhoneNumber(number)) {
    return std::nullopt;
  }
  std::array<char, 2 * kMaxNumberDigits + 8> field{};
  if (EncodeAddressField(number, field) == 0) {
    return std::nullopt;
  }
  return std::string(field.data());
}

bool IsHex(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return hex::DigitValue(c) >= 0; });
}

}  // namespace

bool IsPhoneNumber(std::string_view number) {
  if (number.starts_with('+')) {
    number.remove_prefix(1);
  }
  return !number.empty() && number.size() <= kMaxNumberDigits &&
         std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string ServiceCentreField(std::string_view number) {
  const auto address = AddressField(number);
  if (!address) {
    return "00";
  }
  // TP address fields count digits; this one counts octets, the type octet included.
  std::string field;
  AppendOctet(field, static_cast<unsigned>(address->size() - 2) / 2);
  field += address->substr(2);
  return field;
}

std::optional<std::string> BuildDeliverPdu(const DeliverFields& fields) {
  const auto originator = AddressField(fields.originator);
  if (!originator || (!fields.serviceCentre.empty() && !IsPhoneNumber(fields.serviceCentre)) ||
      fields.userDataHex.size() % 2 != 0 || !IsHex(fields.userDataHex)) {
    return std::nullopt;
  }
  std::string pdu = ServiceCentreField(fields.serviceCentre);
  AppendOctet(pdu, kDeliverFirstOctet | (fields.userDataHeader ? kUdhiBit : 0U));
  pdu += *originator;
  AppendOctet(pdu, fields.protocol);
  AppendOctet(pdu, fields.coding);
  const CentreTime& t = fields.time;
  for (const int value : {t.year, t.month, t.day, t.hour, t.minute, t.second}) {
    AppendOctet(pdu, SemiOctets(value));
  }
  AppendOctet(pdu, SemiOctets(std::abs(t.zoneQuarters)) | (t.zoneQuarters < 0 ? kZoneSignBit : 0U));
  AppendOctet(pdu, fields.userDataLength);
  pdu += fields.userDataHex;
  std::transform(pdu.begin(), pdu.end(), pdu.begin(), [](char c) {
    return c >= 'a' && c <= 'f' ? static_cast<char>(c - 'a' + 'A') : c;
  });
  return pdu;
}

std::optional<DeliverFields> DeliverFieldsOfSubmit(std::string_view submitPdu) {
  if (submitPdu.size() % 2 != 0 || !IsHex(submitPdu)) {
    return std::nullopt;
  }
  std::size_t at = 0;  // in octets
  const std::size_t octets = submitPdu.size() / 2;
  const auto octet = [&](std::size_t i) {
    return static_cast<unsigned>(hex::ReadPair(submitPdu.data() + 2 * i));
  };
  if (octets < 1) {
    return std::nullopt;
  }
  at = 1 + octet(0);  // past the service-centre field
  // First octet, TP-MR, TP-DA digit count and type.
  if (at + 4 > octets) {
    return std::nullopt;
  }
  const unsigned first = octet(at);
  if ((first & kMtiMask) != kMtiSubmit) {
    return std::nullopt;
  }
  const unsigned digits = octet(at + 2);
  at += 4 + (digits + 1) / 2;
  constexpr std::array<std::size_t, 4> kValidityOctets = {0, 7, 1, 7};  // by TP-VPF
  const std::size_t validity = kValidityOctets[(first >> 3U) & 0x03U];
  // TP-PID, TP-DCS, TP-VP, TP-UDL.
  if (at + 3 + validity > octets) {
    return std::nullopt;
  }
  DeliverFields fields;
  fields.protocol = static_cast<std::uint8_t>(octet(at));
  fields.coding = static_cast<std::uint8_t>(octet(at + 1));
  fields.userDataHeader = (first & kUdhiBit) != 0;
  at += 2 + validity;
  fields.userDataLength = static_cast<std::uint8_t>(octet(at));
  fields.userDataHex = std::string(submitPdu.substr(2 * (at + 1)));
  return fields;
}

CentreTime LocalCentreTime(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  CentreTime time;
  time.year = local.tm_year % 100;
  time.month = local.tm_mon + 1;
  time.day = local.tm_mday;
  time.hour = local.tm_hour;
  time.minute = local.tm_min;
  time.second = std::min(local.tm_sec, 59);  // a leap second has no semi-octets of its own
  constexpr long kSecondsPerQuarter = 15L * 60;
  time.zoneQuarters = static_cast<int>(local.tm_gmtoff / kSecondsPerQuarter);
  return time;
}

}  // namespace brindle::sim
