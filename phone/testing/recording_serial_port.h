// A serial port for tests: it keeps a compact trace of the calls, plays back scripted input
// and can answer commands like a phone.
//
//   RecordingSerialPort port;
//   port.AnswerAfter("AT", "\r\nOK\r\n");    // every write containing "AT" queues this reply
//   port.FailCall(PortCall::kSetState, 87);  // SetState fails, LastError() then gives 87
//   ... run the code under test ...
//   port.Trace() -> {"Open COM3:", "GetState 28", ..., "Write ATZ\r", "Read \r\nOK\r\n"}
//
// Read delivers one byte per call; a queued gap or an empty queue makes it time out (true, 0
// bytes). A run of reads is one trace entry. A call on any handle but the open one fails, as
// it would on a real port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
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
  kClose
};

class RecordingSerialPort final : public SerialPort {
 public:
  static constexpr int kAlways = -1;
  static constexpr std::uint32_t kInvalidHandleError = 6;

  void QueueInput(std::string_view bytes);
  // One read that times out before the input queued after it.
  void QueueGap() { input_.push_back(kGap); }
  // After a write whose bytes contain `trigger` ("" matches all), queue `reply`; the first
  // matching rule wins.
  void AnswerAfter(std::string_view trigger, std::string_view reply) {
    answers_.emplace_back(trigger, reply);
  }
  // A phone with a state of its own: after each write, `respond` gives the reply to queue;
  // it comes before the rules, which answer when it gives nothing.
  void RespondWith(std::function<std::string(std::string_view written)> respond) {
    respond_ = std::move(respond);
  }
  // A phone that takes everything: "> " after AT+CMGS, "+CMGS: 1" and OK after the PDU's
  // Ctrl-Z, OK after anything else.
  void AnswerLikeAPhone();
  // After `skip` more calls of `call`, the next `times` fail with `errorCode`.
  void FailCall(PortCall call, std::uint32_t errorCode, int times = kAlways, int skip = 0) {
    failures_[call] = {errorCode, times, skip};
  }
  // Each write accepts at most this many bytes and still succeeds, as a write time-out does.
  void LimitWrites(std::size_t maxBytes) { writeLimit_ = maxBytes; }
  void SetErrorText(std::uint32_t code, std::u16string_view text) { errorTexts_[code] = text; }
  // What GetState reports.
  void SetCurrentState(const PortSettings& settings) { state_ = settings; }
  void SetOpenHandle(PortHandle handle) { openHandle_ = handle; }
  // An entry of the test's own in the trace, such as a pause.
  void Note(std::string entry) { trace_.push_back(std::move(entry)); }
  void ClearTrace() { trace_.clear(); }

  [[nodiscard]] const std::vector<std::string>& Trace() const { return trace_; }
  // The bytes each successful write took.
  [[nodiscard]] const std::vector<std::string>& Writes() const { return writes_; }
  [[nodiscard]] const PortSettings& CurrentState() const { return state_; }
  [[nodiscard]] const PortTimeouts& CurrentTimeouts() const { return timeouts_; }
  [[nodiscard]] bool IsOpen() const { return open_; }
  [[nodiscard]] std::size_t PendingInput() const { return input_.size(); }

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
  std::uint32_t LastError() override { return lastError_; }
  std::size_t ErrorText(std::uint32_t code, std::span<char16_t> out) override;

 private:
  struct Failure {
    std::uint32_t errorCode = 0;
    int times = 0;
    int skip = 0;
  };
  static constexpr int kGap = -1;

  // Whether the call succeeds (right handle, no failure due); notes it in the trace.
  bool Call(PortCall call, PortHandle port, std::string entry);

  std::vector<std::string> trace_;
  std::vector<std::string> writes_;
  bool reading_ = false;   // the last trace entry is a run of reads
  std::deque<int> input_;  // bytes as 0..255, kGap
  std::vector<std::pair<std::string, std::string>> answers_;
  std::function<std::string(std::string_view)> respond_;
  std::map<PortCall, Failure> failures_;
  std::map<std::uint32_t, std::u16string> errorTexts_;
  std::size_t writeLimit_ = SIZE_MAX;
  PortSettings state_{};
  PortTimeouts timeouts_{};
  PortHandle openHandle_ = 7;
  bool open_ = false;
  std::uint32_t lastError_ = 0;
};

}  // namespace brindle
