// The phone's side of the AT dialogue, free of any device: bytes from the line go in, the
// phone's bytes come out when they are due. It sends (AT+CMGS) and receives: messages handed
// to Deliver go to its message memory, announced as +CMTI when AT+CNMI asks for that, and
// AT+CMGL, AT+CMGR and AT+CMGD read and delete them. The runner puts it on a pseudo-terminal;
// tests drive it directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "tools/phone_sim/message_store.h"
#include "tools/phone_sim/phone_mode.h"

namespace brindle::sim {

inline constexpr std::size_t kCommandLineCapacity = 512;
inline constexpr std::size_t kPduEntryCapacity = 1024;
inline constexpr std::uint64_t kSlowAnswerDelayMs = 1000;
inline constexpr std::uint64_t kRingPeriodMs = 100;
// The centre this phone's received messages name when they arrive without one.
inline constexpr std::string_view kServiceCentre = "+447700900001";

enum class EventKind : std::uint8_t {
  kMessage,    // a PDU taken for sending
  kRejected,   // a PDU refused with +CMS ERROR
  kCancelled,  // PDU entry ended by ESC
  kHangup,     // the line must be dropped once the output so far is out (hangup modes)
  // Receiving:
  kStored,         // a message arrived and went to memory place `index`
  kStoreRefused,   // a message could not be stored (`reason`)
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
  int stat = 0;        // kListed: the <stat> asked for; kRead: the message's before reading
  std::string source;  // kStored, kStoreRefused, kRouted: "inbox", "feed", "loopback", ...
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
  PhoneDialogue(PhoneMode mode, std::uint64_t startMs, std::uint32_t seed,
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

  // No more unsolicited output (the runner is winding down).
  void StopUnsolicited() { unsolicited_ = false; }
  // Power-on state after the line was dropped: echo on, no indications, nothing queued; the
  // message memory keeps what it holds.
  void Reset(std::uint64_t nowMs);

  [[nodiscard]] bool hangupPending() const { return hangupPending_; }
  // Nothing queued for the line (unsolicited codes yet to fall due aside).
  [[nodiscard]] bool queueEmpty() const { return queue_.empty(); }
  [[nodiscard]] const MessageStore& store() const { return store_; }

 private:
  enum class State : std::uint8_t { kCommand, kPdu };
  enum class Reply : std::uint8_t { kNone, kOk, kError, kPrompt, kCmsError, kHangup };
  struct Pending {
    std::uint64_t dueMs;
    std::string bytes;
  };

  void ReceiveCommandByte(char byte, std::uint64_t nowMs);
  void ReceivePduByte(char byte, std::uint64_t nowMs);
  Reply ExecuteLine(std::string_view line);
  Reply ExecuteExtended(std::string_view command);
  Reply StartSubmit(std::string_view argument);
  Reply ListMessages(std::string_view argument);
  Reply ReadMessage(std::string_view argument);
  Reply DeleteMessages(std::string_view argument);
  Reply SetIndications(std::string_view argument);
  Reply SelectStorage(std::string_view argument);
  Reply CmsError(int code);
  void Info(std::string_view line);
  void Unsolicited(std::string_view text, std::uint64_t nowMs);
  void ReleaseHeld(std::uint64_t nowMs);
  [[nodiscard]] bool Announcing() const;
  void Push(EventKind kind, int index, std::string reason = {});
  void FinishPdu(std::uint64_t nowMs);
  void LeavePduEntry(std::uint64_t nowMs);
  [[nodiscard]] bool Ringing() const;
  void Reject(std::string reason, std::uint64_t nowMs);
  void Echo(char byte, std::uint64_t nowMs);
  void Answer(std::string_view text, std::uint64_t nowMs);
  void SendReply(Reply reply, std::uint64_t nowMs);
  void Queue(std::string bytes, std::uint64_t dueMs);
  std::string Garbage();

  PhoneMode mode_;
  State state_ = State::kCommand;
  bool echo_ = true;
  bool unsolicited_ = true;
  bool hangupPending_ = false;
  bool listingDropped_ = false;  // hangup-listing has dropped its one listing
  std::string line_;
  bool lineOverflow_ = false;
  std::string pdu_;
  bool pduOverflow_ = false;
  int cmgsLength_ = 0;
  int lastReference_ = 0;
  std::uint64_t nextRingMs_;
  std::uint64_t lastDueMs_ = 0;
  std::deque<Pending> queue_;
  std::vector<DialogueEvent> events_;
  std::mt19937 random_;
  MessageStore store_;
  IndicationSettings indications_;
  std::string info_;  // information text of the command line being answered
  int cmsCode_ = 0;   // Reply::kCmsError's code
  std::string held_;  // unsolicited codes held while the line is reserved for PDU entry
};

}  // namespace brindle::sim
