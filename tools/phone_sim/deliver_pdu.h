// The PDU texts the simulated phone makes and measures, all through the codec's Pdu: the
// SMS-DELIVER a sent message becomes on arrival, the phone's service centre put in front of a
// received text, and the TPDU's length that AT+CMGS announces and +CMGL shows.
#pragma once

#include <cstddef>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "codec/pdu.h"

namespace brindle::sim {

// The phone's service centre (+CSCA): the centre its received messages name, when they
// arrive without one and when they were looped back.
inline constexpr std::string_view kServiceCentre = "+447700900001";

// The SMS-DELIVER the phone stores when `submitPdu` (whole PDU text, service-centre field
// first) arrives from `originator`, stamped `sent` by the phone's centre: the SUBMIT's TP-PID,
// TP-DCS, TP-UDHI and user data, and no more messages waiting. Nothing when the text is not an
// SMS-SUBMIT that reads whole or `originator` is no phone number.
std::optional<Pdu> DeliverOfSubmit(std::string_view submitPdu, std::string_view originator,
                                   const TimeStamp& sent);

// The PDU's text, uppercase; empty when WritePdu refuses it.
std::string PduText(const Pdu& pdu);

// `when` in local time with the zone's offset, as a service centre stamps it.
TimeStamp LocalTimeStamp(std::time_t when);

// "2026-12-06T21:15:03+01:00" (years 2000 to 2099, the offset in whole quarters of an hour up
// to 19:45) as a time stamp; nothing for any other text.
std::optional<TimeStamp> ParseTimeStamp(std::string_view text);

// Whether `number` is '+' (optional) and 1 to kMaxAddressDigits digits.
bool IsPhoneNumber(std::string_view number);

// `text` with the phone's service centre in place of an empty service-centre field ("00", as
// an --inbox line may start), as a phone stores what it receives; as it is otherwise.
std::string WithPhoneCentre(std::string_view text);

// Octets behind the service-centre field of a PDU's text, as AT+CMGS announces them and
// +CMGL shows them. `text` must read past that field.
std::size_t TpduOctets(std::string_view text);

}  // namespace brindle::sim
