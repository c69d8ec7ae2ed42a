// The receiving side's link to the phone: the port opened and set as the sending side sets
// it, each command's answer read until its final result code (or a time-out), and the
// messages the phone announces (+CMTI) collected wherever they arrive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "base/clock.h"
#include "phone/serial_port.h"
#include "service/at_reader.h"

namespace brindle::service {

// An answer ends at its final result code; these bound the wait for it. The time-out counts
// from the last byte received, so a long listing is not cut while it still flows.
inline constexpr std::uint32_t kAnswerQuietMs = 5000;
inline constexpr std::uint32_t kAnswerBoundMs = 120000;
// Longest single wait on the port: how soon a stop request or a due poll is noticed.
inline constexpr std::uint32_t kReadSliceMs = 100;
inline constexpr std::size_t kReadChunk = 4096;

enum class AnswerStatus : std::uint8_t {
  kOk,
  kRefused,     // ERROR, +CMS ERROR, +CME ERROR
  kTimedOut,    // no final result code in time
  kLineFailed,  // the port failed: hang-up, device gone
};

struct Answer {
  AnswerStatus status = AnswerStatus::kTimedOut;
  std::string finalText;         // the final result code line as received
  int errorCode = -1;            // +CMS/+CME ERROR n
  std::vector<AtEvent> entries;  // kEntry and kBrokenEntry, in order
};

class PhoneSession {
 public:
  PhoneSession(SerialPort& port, Clock& clock) : port_(port), clock_(clock) {}
  PhoneSession(const PhoneSession&) = delete;
  PhoneSession& operator=(const PhoneSession&) = delete;
  PhoneSession(PhoneSession&&) = delete;
  PhoneSession& operator=(PhoneSession&&) = delete;
  ~PhoneSession() { Close(); }

  // Opens the port by `name` (as `brindle send` takes it) and sets it 115200 8N1 raw.
  bool Open(std::string_view name, std::string& error);
  void Close();
  [[nodiscard]] bool isOpen() const { return handle_ != kInvalidPortHandle; }

  // Writes `command` and a carriage return and reads its answer.
  Answer Command(std::string_view command, Expect expect = Expect::kPlain, int index = -1);
  // Reads unsolicited lines for up to `waitMs`; false when the line failed.
  bool Listen(std::uint32_t waitMs);
  // The indices +CMTI announced since the last call, oldest first.
  std::vector<int> TakeAnnounced();
  // Milliseconds spent waiting for the phone's bytes since the session was made.
  [[nodiscard]] std::uint64_t waitedMs() const { return waitedMs_; }

 private:
  // Waits up to `waitMs` for bytes and takes all that have arrived; false when the line failed.
  bool ReadSome(std::uint32_t waitMs, std::string& bytes);
  void Note(const AtEvent& event);
  std::string PortError();

  SerialPort& port_;
  Clock& clock_;
  PortHandle handle_ = kInvalidPortHandle;
  AtReader reader_;
  std::vector<AtEvent> events_;
  std::deque<int> announced_;
  std::uint64_t waitedMs_ = 0;
};

}  // namespace brindle::service
