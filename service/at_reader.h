// The phone's side of the line as events, free of any port: bytes go in, events come out.
// Answers are response-driven: each ends at its final result code (OK, ERROR, COMMAND NOT
// SUPPORT, +CMS ERROR: n, +CME ERROR: n); the caller bounds the wait. Unsolicited lines (+CMTI,
// RING, ^RSSI, anything not expected) are told apart wherever they arrive, between an entry's
// header and its PDU line too.
//
// Entries of a listing (+CMGL) or a read (+CMGR) come out whole (kEntry: header and a PDU line
// that agrees with it) or as kBrokenEntry: the PDU line is missing, of odd length, shorter than
// the header says, or the answer was cut off (Abort). Only a line of hex digits is taken as a
// PDU line; what follows the TPDU the header announced must be padding (F digits), which some
// phones add up to their record size. A broken entry was not received whole; it is nothing the
// PDU reader refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brindle::service {

// Longer lines are cut to this many bytes and count as damaged. A PDU line is at most
// 2 * (12 + 164) = 352 characters.
inline constexpr std::size_t kMaxLineBytes = 1024;

enum class FinalCode : std::uint8_t { kOk, kError, kCmsError, kCmeError };

enum class AtEventKind : std::uint8_t {
  kFinal,        // the answer to the pending command ended: `final`, `code`
  kInformation,  // a line of the pending command's answer that is not an entry: `text`
  kEntry,        // a whole message: `index`, `stat`, `length`, `text` (the PDU)
  kBrokenEntry,  // not received whole: `index` (-1 unknown), `text` as received, `reason`
  kNewMessage,   // +CMTI: `memory` ("" when it names none), `index` (-1 likewise), `text`
  kUnsolicited,  // RING or any line that nothing expects: `text`
};

struct AtEvent {
  AtEventKind kind = AtEventKind::kUnsolicited;
  FinalCode final = FinalCode::kOk;
  int code = -1;  // the n of +CMS ERROR / +CME ERROR; -1 when not a number
  int index = -1;
  int stat = -1;
  int length = -1;     // TPDU octets the entry's header announced
  std::string text;    // see the kinds
  std::string header;  // entries: the header line as received
  std::string reason;  // broken entries: why
  std::string memory;  // kNewMessage: the memory named, without quotes

  bool operator==(const AtEvent&) const = default;
};

enum class Expect : std::uint8_t {
  kPlain,    // a command without entries in its answer
  kListing,  // AT+CMGL: +CMGL: <index>,<stat>,[<alpha>],<length> and a PDU per message
  kReading,  // AT+CMGR=<index>: +CMGR: <stat>,[<alpha>],<length> and a PDU
};

class AtReader {
 public:
  // A command has been written; its answer is read as `expect` says. `index` is the one
  // AT+CMGR asked for.
  void Begin(Expect expect, int index = -1);
  // Bytes from the line; events are appended to `events`.
  void Feed(std::string_view bytes, std::vector<AtEvent>& events);
  // The answer will not be completed (time-out, hang-up): an entry waiting for its PDU, or a
  // PDU line without its end, comes out broken; unfinished text is dropped.
  void Abort(std::vector<AtEvent>& events);

  [[nodiscard]] bool answerPending() const { return pending_; }
  // Lines of another command's answer arrived since Begin (or a final result code while no
  // command was pending): an earlier answer came late, so what is read may be out of step.
  [[nodiscard]] bool outOfStep() const { return outOfStep_; }

 private:
  void Line(std::string_view raw, bool damaged, std::vector<AtEvent>& events);
  bool TakeFinal(std::string_view line, std::vector<AtEvent>& events);
  bool TakeHeader(std::string_view line, std::vector<AtEvent>& events);
  void TakePdu(std::string_view line, bool damaged, std::vector<AtEvent>& events);
  void Break(std::string text, std::string reason, std::vector<AtEvent>& events);

  Expect expect_ = Expect::kPlain;
  bool pending_ = false;
  int readIndex_ = -1;
  // The header of the entry whose PDU line comes next.
  bool entryOpen_ = false;
  AtEvent entry_;
  std::string junk_;  // the last line after the header that was neither status nor PDU
  bool outOfStep_ = false;
  std::string line_;
  bool lineDamaged_ = false;
};

// The header fields of "+CMGL: 3,1,,24" or "+CMGR: 1,"Ann",24"; false when they do not parse.
bool ParseEntryHeader(std::string_view fields, bool withIndex, int& index, int& stat, int& length);

}  // namespace brindle::service
