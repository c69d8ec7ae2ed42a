// How the simulated phone behaves: a well-behaved phone or one with fault modes, several of
// which may be on at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
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
  // Quirks of modems and handsets in the field:
  kNoisy,           // status lines (^RSSI, +CREG, RING, ...) between the lines of answers
  kIndexZero,       // memory places count from 0
  kMemories,        // two message memories, "SM" and "ME"
  kCpmsOne,         // AT+CPMS takes one memory only: +CMS ERROR: 302 to more
  kNotSupport,      // COMMAND NOT SUPPORT instead of ERROR to commands it does not know
  kSimBusy,         // +CME ERROR: 14 (or 515) for 3 s after the line opens and after ATZ
  kCmgrNoStat,      // "+CMGR: ,,<length>": no status
  kPadded,          // PDU lines of AT+CMGL and AT+CMGR padded with FF octets
  kHangListing,     // the first AT+CMGL stops after one entry and hangs until ATZ or reopen
  kEndlessListing,  // AT+CMGL repeats its entries until ATZ, never ending
  kFull,            // a message for a full memory is held back until a place is free
  kLate,            // the first AT+CMGR after the line opens is answered 6 s late
  kStrayOk,         // a stray OK before the answer to the first AT+CMGR after the line opens
};

// The modes a phone runs in together; "ok" adds none.
class PhoneModes {
 public:
  constexpr PhoneModes() = default;
  // A single mode, as the phone had before modes combined.
  constexpr PhoneModes(PhoneMode mode) { Add(mode); }  // NOLINT(google-explicit-constructor)

  constexpr void Add(PhoneMode mode) {
    if (mode != PhoneMode::kOk) {
      bits_ |= Bit(mode);
    }
  }
  [[nodiscard]] constexpr bool Has(PhoneMode mode) const { return (bits_ & Bit(mode)) != 0; }

 private:
  static constexpr std::uint32_t Bit(PhoneMode mode) {
    return std::uint32_t{1} << static_cast<unsigned>(mode);
  }

  std::uint32_t bits_ = 0;
};

std::optional<PhoneMode> ParsePhoneMode(std::string_view name);
// Mode names joined by commas ("memories,index-zero"); nothing when a name is unknown or two
// modes decide the same thing, with `error` saying which.
std::optional<PhoneModes> ParsePhoneModes(std::string_view names, std::string& error);
// "ok, silent, ..." for help texts.
std::string_view PhoneModeList();

}  // namespace brindle::sim
