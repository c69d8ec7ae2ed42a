// SMS-DELIVER PDU text as a phone stores a received message: service-centre field first,
// originator, TP-PID, TP-DCS, the centre's time stamp, user data as it came.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace brindle::sim {

// The longest originator or service-centre number taken, in digits.
inline constexpr std::size_t kMaxNumberDigits = 20;

// TP-SCTS: a two-digit year and the zone as a signed number of quarter hours.
struct CentreTime {
  int year = 0;  // 0..99
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int zoneQuarters = 0;  // -79..79
};

struct DeliverFields {
  std::string serviceCentre;  // "+447700900001"; empty writes the empty field "00"
  std::string originator;     // '+' in front for an international number
  std::uint8_t protocol = 0;  // TP-PID
  std::uint8_t coding = 0;    // TP-DCS
  bool userDataHeader = false;
  CentreTime time;
  std::uint8_t userDataLength = 0;  // TP-UDL as it stands: septets or octets, by TP-DCS
  std::string userDataHex;          // TP-UD as hex text
};

// The whole PDU text, uppercase; nothing when a number is not '+'/digits of at most
// kMaxNumberDigits digits or the user data is not hex.
std::optional<std::string> BuildDeliverPdu(const DeliverFields& fields);

// The fields of the DELIVER that an SMS-SUBMIT (whole PDU text, service-centre field first)
// turns into on arrival: its TP-PID, TP-DCS, TP-UDHI and user data. Nothing when the text is
// not an SMS-SUBMIT that holds together.
std::optional<DeliverFields> DeliverFieldsOfSubmit(std::string_view submitPdu);

// `when` in local time with the zone's offset, as a service centre stamps it.
CentreTime LocalCentreTime(std::time_t when);

// Whether `number` is '+' (optional) and 1..kMaxNumberDigits digits.
bool IsPhoneNumber(std::string_view number);

// The service-centre field for `number` ("07914477009000F1"), "00" for an empty one.
std::string ServiceCentreField(std::string_view number);

}  // namespace brindle::sim
