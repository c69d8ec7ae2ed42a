// How the simulated phone behaves: a well-behaved phone or one of its fault modes.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace brindle::sim {

enum class PhoneMode : std::uint8_t {
  kOk,         // answers as a phone does
  kSilent,     // reads everything, answers nothing, echoes nothing
  kError,      // ERROR to every command
  kErrorAte0,  // ERROR to ATE0 only
  kNoPrompt,   // ERROR to AT+CMGS instead of the prompt
  kCmsError,   // +CMS ERROR: 500 after the PDU
  kGarbage,    // random bytes without line breaks instead of every answer
  kFlood,      // unsolicited RING every 100 ms besides the usual answers (held during PDU entry)
  kHangup,     // drops the line halfway through the PDU
  kSlow,       // every answer one second late
  kChatty,     // a 300-character information line before every final result code
  // Receiving:
  kHangupListing,       // drops the line after the first message of the first AT+CMGL listing
  kCmgdRefused,         // +CMS ERROR: 500 to AT+CMGD, keeping the message
  kUnsolicitedListing,  // RING and a +CMTI between the first and second entries of a listing
  kNoCmti,              // never announces a new message, whatever AT+CNMI says
};

std::optional<PhoneMode> ParsePhoneMode(std::string_view name);
// "ok, silent, ..." for help texts.
std::string_view PhoneModeList();

}  // namespace brindle::sim
