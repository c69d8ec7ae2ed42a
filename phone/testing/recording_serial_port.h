// A serial port for tests: it records every call with its arguments, plays back scripted input
// and can answer commands like a phone.
//
//   RecordingSerialPort port;
//   port.SetErrorText(2, u"The system cannot find the file specified.");
//   port.AnswerAfter("AT", "\r\nOK\r\n");   // every write containing "AT" queues this reply
//   port.FailCall(PortCall::kSetState, 87); // SetState fails, LastError() then gives 87
//   ... run the code under test ...
//   EXPECT_EQ(port.Writes(), (std::vector<std::string>{"ATZ\r", ...}));
//   EXPECT_EQ(port.Trace(), (std::vector<std::string>{"Open COM3:", "GetState", ...}));
//
// Input: Read delivers one byte per call from the queue (QueueInput); a queued gap (QueueGap)
// or an empty queue makes one read time out (true, 0 bytes). Replies of matching AnswerAfter
// rules are queued behind what is already waiting when a write succeeds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "phone/serial_port.h"

namespace brindle {

enum class PortCall {
  kOpen,
  kGetState,
  kSetState,
  kGetTimeouts,
  kSetTimeouts,
  kEscape,
  kPurge,
  kRead,
  kWrite,
  kClose,
  kLastError,
  kErrorText,
};

// One call as it was made. Only the fields that belong to the call are filled.
struct PortCallRecord {
  PortCall call = PortCall::kOpen;
  PortHandle handle = kInvalidPortHandle;  // the handle passed; for kOpen, the one returned
  std::u16string name;                     // kOpen
  PortSettings settings{};                 // kGetState: as passed in; kSetState: as passed
  PortTimeouts timeouts{};                 // kSetTimeouts: as passed
  EscapeFunction function = EscapeFunction::kSetDtr;  // kEscape
  std::uint32_t value = 0;  // kPurge: flags; kRead/kWrite: bytes asked for; kErrorText: code
  std::string bytes;        // kRead: the bytes delivered; kWrite: the bytes accepted
  bool result = false;      // what the call returned (kOpen: a valid handle)
};

class RecordingSerialPort final : public SerialPort {
 public:
  static constexpr PortHandle kDefaultHandle = 7;
  static constexpr int kAlways = -1;

  // --- script ---
  // Bytes the "phone" sends, read one per Read call.
  void QueueInput(std::string_view bytes);
  // One Read that times out (true, 0 bytes) before the following input.
  void QueueGap();
  // After a successful write whose bytes contain `trigger` (an empty trigger matches every
  // write), queue `reply`. Rules are tried in the order added; the first that matches wins.
  void AnswerAfter(std::string_view trigger, std::string_view reply);
  // The rules of a phone that accepts everything: "\r\n> " after AT+CMGS, "\r\n+CMGS:
  // 1\r\n\r\nOK\r\n" after the PDU's Ctrl-Z, "\r\nOK\r\n" after any other write. Added behind
  // earlier rules.
  void AnswerLikeAPhone();
  // When the queue runs dry, read `pattern` over and over instead of timing out (a flooding
  // phone). An empty pattern turns this off.
  void SetEndlessInput(std::string_view pattern);
  // After `skip` more calls of `call` have succeeded, the next `times` fail (kAlways: all of
  // them) and LastError() then gives `errorCode`. A failing kOpen returns kInvalidPortHandle;
  // a failing Read or Write moves no byte. kLastError and kErrorText cannot fail.
  void FailCall(PortCall call, std::uint32_t errorCode, int times = kAlways, int skip = 0);
  // Each write accepts at most `maxBytes` and still succeeds, as a write time-out does.
  void LimitWrites(std::size_t maxBytes);
  // ErrorText(code) gives `text`; codes without a text give 0 (the system has none).
  void SetErrorText(std::uint32_t code, std::u16string_view text);
  // What GetState/GetTimeouts report; SetState/SetTimeouts replace them.
  void SetCurrentState(const PortSettings& settings) { state_ = settings; }
  void SetCurrentTimeouts(const PortTimeouts& timeouts) { timeouts_ = timeouts; }
  void SetOpenHandle(PortHandle handle) { openHandle_ = handle; }

  // --- inspection ---
  [[nodiscard]] const std::vector<PortCallRecord>& Calls() const { return calls_; }
  // The calls in a compact, comparable form, without kLastError and kErrorText; a run of
  // reads becomes one entry with the bytes delivered. Entries: "Open COM3:", "GetState",
  // "SetState", "GetTimeouts", "SetTimeouts", "Escape SETDTR", "Escape SETRTS", "Purge 15",
  // "Read \"\\r\\nOK\\r\\n\"", "Write \"ATZ\\r\"", "Close"; a failed call gets " -> fail".
  [[nodiscard]] std::vector<std::string> Trace() const;
  // The bytes of every write, one entry per call (only what was accepted).
  [[nodiscard]] std::vector<std::string> Writes() const;
  [[nodiscard]] const PortSettings& CurrentState() const { return state_; }
  [[nodiscard]] const PortTimeouts& CurrentTimeouts() const { return timeouts_; }
  // Handles opened and not yet closed successfully.
  [[nodiscard]] int OpenHandles() const { return openHandles_; }
  [[nodiscard]] std::size_t PendingInput() const { return input_.size(); }

  // --- SerialPort ---
  PortHandle Open(std::u16string_view name) override;
  bool GetState(PortHandle port, PortSettings& settings) override;
  bool SetState(PortHandle port, const PortSettings& settings) override;
  bool GetTimeouts(PortHandle port, PortTimeouts& timeouts) override;
  bool SetTimeouts(PortHandle port, const PortTimeouts& timeouts) override;
  bool Escape(PortHandle port, EscapeFunction function) override;
  bool Purge(PortHandle port, std::uint32_t flags) override;
  bool Read(PortHandle port, std::span<std::uint8_t> bytes, std::uint32_t& done) override;
  bool Write(PortHandle port, std::span<const std::uint8_t> bytes, std::uint32_t& done) override;
  bool Close(PortHandle port) override;
  std::uint32_t LastError() override;
  std::size_t ErrorText(std::uint32_t code, std::span<char16_t> out) override;

 private:
  struct Failure {
    std::uint32_t errorCode = 0;
    int times = 0;
    int skip = 0;
  };
  struct Answer {
    std::string trigger;
    std::string reply;
  };
  static constexpr int kGap = -1;

  // True when this call of `call` is to fail; then sets the last error.
  bool Failing(PortCall call);

  std::vector<PortCallRecord> calls_;
  std::deque<int> input_;
  std::string endless_;
  std::size_t endlessAt_ = 0;
  std::vector<Answer> answers_;
  std::map<PortCall, Failure> failures_;
  std::map<std::uint32_t, std::u16string> errorTexts_;
  std::size_t writeLimit_ = SIZE_MAX;
  PortSettings state_{};
  PortTimeouts timeouts_{};
  PortHandle openHandle_ = kDefaultHandle;
  std::uint32_t lastError_ = 0;
  int openHandles_ = 0;
};

}  // namespace brindle
