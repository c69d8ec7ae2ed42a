// The phone's side of the AT dialogue, free of any device: bytes from the line go in, the
// phone's bytes come out when they are due. It sends (AT+CMGS) and receives: messages handed
// to Deliver go to its message memory, announced as +CMTI when AT+CNMI asks for that, and
// AT+CMGL, AT+CMGR and AT+CMGD read and delete them. The runner puts it on a pseudo-terminal;
// tests drive it directly. The line handling and sending are in phone_dialogue.cpp, the
// message memory's commands and arrivals in phone_dialogue_memory.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "tools/phone_sim/deliver_pdu.h"
#include "tools/phone_sim/message_store.h"
#include "tools/phone_sim/phone_memories.h"
#include "tools/phone_sim/phone_mode.h"
#include "tools/phone_sim/status_noise.h"

namespace brindle::sim {

inline constexpr std::size_t kCommandLineCapacity = 512;
inline constexpr std::size_t kPduEntryCapacity = 1024;
inline constexpr std::uint64_t kSlowAnswerDelayMs = 1000;
inline constexpr std::uint64_t kRingPeriodMs = 100;
// sim-busy: how long after the line opens, and after ATZ, the SIM is busy.
inline constexpr std::uint64_t kSimBusyMs = 3000;
// late: longer than a reader waits for a quiet line.
inline constexpr std::uint64_t kLateAnswerMs = 6000;
// endless-listing: one entry of the listing again this often.
inline constexpr std::uint64_t kStreamPeriodMs = 50;
// padded: hex digits of a padded PDU line, the longest PDU's (176 octets).
inline constexpr std::size_t kPaddedPduDigits = 352;
// The +CMS ERROR numbers the phone answers with.
inline constexpr int kCmsNotAllowed = 302;
inline constexpr int kCmsInvalidPduParameter = 304;
inline constexpr int kCmsInvalidIndex = 321;
inline constexpr int kCmsNetworkFailure = 500;
// The +CME ERROR numbers of a locked SIM, and the wrong PINs it takes before it wants its PUK.
inline constexpr int kCmeNotAllowed = 3;
inline constexpr int kCmeSimPinRequired = 11;
inline constexpr int kCmeSimPukRequired = 12;
inline constexpr int kCmeIncorrectPassword = 16;
inline constexpr int kPinTries = 3;

enum class EventKind : std::uint8_t {
  kMessage,    // a PDU taken for sending
  kRejected,   // a PDU refused with +CMS ERROR
  kCancelled,  // PDU entry ended by ESC
  kHangup,     // the line must be dropped once the output so far is out (hangup modes)
  // Receiving:
  kStored,         // a message arrived and went to memory place `index`
  kStoreRefused,   // a message could not be stored (`reason`)
  kHeld,           // the network holds a message back until the memory has room (full mode)
  kRouted,         // a message went straight to the line as +CMT, not to memory
  kListed,         // AT+CMGL showed `indexes`
  kRead,           // AT+CMGR showed `index`
  kDeleted,        // AT+CMGD deleted `index`
  kDeleteRefused,  // AT+CMGD kept `index` (`reason`)
};

struct DialogueEvent {
  EventKind kind = EventKind::kMessage;
  std::string pdu;         // the PDU text as received, without the Ctrl-Z
  int cmgsLength = 0;      // n of AT+CMGS=n
  std::size_t octets = 0;  // octets of the PDU text, service-centre field included
  std::string reason;      // kRejected: why
  // kMessage only:
  int reference = 0;  // the +CMGS reference answered
  std::string number;
  std::string payload;  // the payload's bytes
  bool scoreFields = false;
  std::int64_t gameId = 0;
  std::int64_t fixed = 0;
  std::int64_t score = 0;
  std::string handle;
  // Receiving:
  int index = 0;
  std::string memory;  // kStored, kListed, kRead, kDeleted, kDeleteRefused: "SM" or "ME"
  int stat = 0;        // kListed: the <stat> asked for; kRead: the message's before reading
  std::string source;  // kStored, kStoreRefused, kHeld, kRouted: "inbox", "feed", ...
  std::vector<int> indexes;
};

// AT+CNMI's settings; all 0 (no indications) after power-on and ATZ.
struct IndicationSettings {
  int mode = 0;
  int mt = 0;
  int bm = 0;
  int ds = 0;
  int bfr = 0;
};

class PhoneDialogue {
 public:
  // The line opens at `startMs`; `seed` decides every random choice. Each memory has
  // `storeCapacity` places.
  PhoneDialogue(PhoneModes modes, std::uint64_t startMs, std::uint32_t seed,
                int storeCapacity = kDefaultStoreCapacity);

  // Bytes that arrived from the line at `nowMs`.
  void Receive(std::string_view bytes, std::uint64_t nowMs);
  // The bytes due on the line by `nowMs`, in order, taken out of the queue.
  std::string TakeDue(std::uint64_t nowMs);
  // When the next byte falls due; nothing when the phone has nothing to say.
  [[nodiscard]] std::optional<std::uint64_t> NextDueMs() const;
  std::vector<DialogueEvent> TakeEvents();
  // A message arrives from the network (`source` names where it came from, for the log):
  // an SMS-DELIVER's whole PDU text, an empty service-centre field standing for this phone's
  // centre. Stored and announced as AT+CNMI says; the index it got, if any.
  std::optional<int> Deliver(std::string_view pdu, std::string_view source, std::uint64_t nowMs);
  // A program opened the line: the SIM is busy again, the first read's faults are due again,
  // a hung listing is given up (sim-busy, late, stray-ok, hang-listing).
  void LineOpened(std::uint64_t nowMs);

  // The SIM starts locked: AT+CPIN? says "SIM PIN" until AT+CPIN="pin" gives it, and the
  // message memory and the network answer +CME ERROR: 11 meanwhile. The lock outlasts the
  // line (the phone keeps its power).
  void RequirePin(std::string pin) { pin_ = std::move(pin); }

  // No more unsolicited output (the runner is winding down).
  void StopUnsolicited() { unsolicited_ = false; }
  // Power-on state after the line was dropped: echo on, no indications, "SM" chosen, nothing
  // queued or listing, the line just opened; the message memories keep what they hold.
  void Reset(std::uint64_t nowMs);

  [[nodiscard]] bool hangupPending() const { return hangupPending_; }
  // Nothing queued for the line (unsolicited codes yet to fall due aside).
  [[nodiscard]] bool queueEmpty() const { return queue_.empty(); }
  [[nodiscard]] const MessageStore& store(Memory memory = Memory::kSim) const {
    return memories_.at(memory);
  }

 private:
  enum class State : std::uint8_t { kCommand, kPdu };
  // A listing that never ends: the phone hears nothing but ATZ meanwhile.
  enum class Stuck : std::uint8_t { kNo, kHung, kStreaming };
  enum class Reply : std::uint8_t {
    kNone,
    kOk,
    kError,
    kNotSupported,  // ERROR, or COMMAND NOT SUPPORT in that mode
    kPrompt,
    kCmsError,
    kCmeError,
    kHangup,
    kUnfinished,  // the information text without a final result code
  };
  struct Pending {
    std::uint64_t dueMs;
    std::string bytes;
  };

  [[nodiscard]] bool In(PhoneMode mode) const { return modes_.Has(mode); }
  void ReceiveCommandByte(char byte, std::uint64_t nowMs);
  void ReceivePduByte(char byte, std::uint64_t nowMs);
  Reply ExecuteLine(std::string_view line, std::uint64_t nowMs);
  Reply ExecuteExtended(std::string_view command, std::uint64_t nowMs);
  Reply StartSubmit(std::string_view argument);
  Reply ListMessages(std::string_view argument, std::uint64_t nowMs);
  Reply ReadMessage(std::string_view argument);
  Reply DeleteMessages(std::string_view argument);
  Reply SetIndications(std::string_view argument);
  Reply SelectStorage(std::string_view argument);
  Reply EnterPin(std::string_view argument);
  Reply CmsError(int code);
  Reply CmeError(int code);
  [[nodiscard]] std::string PduLine(const StoredMessage& message) const;
  void Info(std::string_view line);
  void Unsolicited(std::string_view text, std::uint64_t nowMs);
  void ReleaseHeld(std::uint64_t nowMs);
  std::optional<int> Arrive(DialogueEvent event, std::uint64_t nowMs);
  std::optional<int> Store(DialogueEvent event, std::uint64_t nowMs);
  void ReleaseWithheld(std::uint64_t nowMs);
  void EndStuckListing();
  void Stream(std::uint64_t nowMs);
  std::string Noisy(std::string bytes);
  [[nodiscard]] bool Announcing() const;
  // A stored message is announced with +CMTI.
  [[nodiscard]] bool AnnouncingStored() const;
  void Push(EventKind kind, int index, std::string reason = {});
  // An event of the PDU being entered, behind the others; the reference lasts until the next.
  DialogueEvent& PushPduEvent(EventKind kind);
  void FinishPdu(std::uint64_t nowMs);
  void LeavePduEntry(std::uint64_t nowMs);
  [[nodiscard]] bool Ringing() const;
  void Reject(std::string reason, std::uint64_t nowMs);
  void Echo(char byte, std::uint64_t nowMs);
  void Answer(std::string_view text, std::uint64_t nowMs);
  void SendReply(Reply reply, std::uint64_t nowMs);
  void Queue(std::string bytes, std::uint64_t dueMs);
  std::string Garbage();

  // Widest first, so that the members pack without padding.
  std::uint64_t nextRingMs_;
  std::uint64_t lastDueMs_ = 0;
  std::uint64_t busyUntilMs_;  // sim-busy
  std::uint64_t answerDelayMs_ = 0;
  std::vector<std::string> stream_;  // endless-listing: the entries it repeats, in turn
  std::size_t streamNext_ = 0;
  std::uint64_t nextStreamMs_ = 0;
  std::string line_;
  std::string pdu_;
  std::deque<Pending> queue_;
  std::vector<DialogueEvent> events_;
  std::mt19937 random_;
  StatusNoise noise_;
  PhoneMemories memories_;
  std::string info_;  // information text of the command line being answered
  std::string held_;  // unsolicited codes held while the line is reserved for PDU entry
  std::string pin_;   // empty: the SIM is unlocked
  // full: messages the network holds back until a place is free, in the order they came.
  std::deque<DialogueEvent> withheld_;
  PhoneModes modes_;
  IndicationSettings indications_;
  // The last message stored: which memory, which place.
  std::optional<std::pair<Memory, int>> lastStored_;
  int cmgsLength_ = 0;
  int lastReference_ = 0;
  int busyAnswers_ = 0;
  int wrongPins_ = 0;
  int errorCode_ = 0;  // Reply::kCmsError's or Reply::kCmeError's code
  State state_ = State::kCommand;
  Stuck stuck_ = Stuck::kNo;
  bool echo_ = true;
  bool unsolicited_ = true;
  bool hangupPending_ = false;
  bool listingDropped_ = false;  // hangup-listing has dropped its one listing
  bool listingHung_ = false;     // hang-listing has hung its one listing
  bool lineOverflow_ = false;
  bool pduOverflow_ = false;
  bool readSinceOpen_ = false;  // an AT+CMGR came since the line opened
  bool firstRead_ = false;      // the line being answered has the first one (late, stray-ok)
};

}  // namespace brindle::sim
