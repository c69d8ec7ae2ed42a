// The receiving side's link to the phone: the port opened and set as the sending side sets
// it, each command's answer read until its final result code (or a time-out), and the
// messages the phone announces (+CMTI) collected wherever they arrive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/clock.h"
#include "phone/serial_port.h"
#include "service/at_reader.h"

namespace brindle::service {

// An answer ends at its final result code; these bound the wait for it. The time-out counts
// from the last byte received, so a long listing is not cut while it still flows.
inline constexpr std::uint32_t kAnswerQuietMs = 5000;
inline constexpr std::uint32_t kAnswerBoundMs = 120000;
// A phone that streams without end is cut off here too; a full memory lists in far less.
inline constexpr std::size_t kAnswerByteBound = std::size_t{1} << 20U;
// Draining: what a phone still sends is read until the line has been quiet this long, or at
// most for the bound (a phone that streams is reset afterwards anyway).
inline constexpr std::uint32_t kDrainQuietMs = 500;
inline constexpr std::uint32_t kDrainBoundMs = 3000;
// "SIM busy" (+CME ERROR: 14 or 515, +CMS ERROR: 314) for a while after a start or a reset:
// the command is sent again after a pause, for at most the bound.
inline constexpr std::uint32_t kBusyPauseMs = 1000;
inline constexpr std::uint32_t kBusyBoundMs = 60000;
// Longest single wait on the port: how soon a stop request or a due poll is noticed.
inline constexpr std::uint32_t kReadSliceMs = 100;
inline constexpr std::size_t kReadChunk = 4096;

enum class AnswerStatus : std::uint8_t {
  kOk,
  kRefused,     // ERROR, +CMS ERROR, +CME ERROR
  kTimedOut,    // no final result code in time
  kLineFailed,  // the port failed: hang-up, device gone
  kStopped,     // a stop was requested while waiting
};

struct Answer {
  AnswerStatus status = AnswerStatus::kTimedOut;
  std::string finalText;                 // the final result code line as received
  int errorCode = -1;                    // +CMS/+CME ERROR n
  std::vector<AtEvent> entries;          // kEntry and kBrokenEntry, in order
  std::vector<std::string> information;  // the answer's other lines
  // Lines of another command's answer came with it: its entries may belong to another command.
  bool outOfStep = false;
};

// A message the phone announced with +CMTI; `memory` is empty when it named none.
struct Announcement {
  std::string memory;
  int index = -1;
  bool operator==(const Announcement&) const = default;
};

class PhoneSession {
 public:
  // `stopRequested`, polled while waiting, ends a wait early (kStopped); may be empty.
  PhoneSession(SerialPort& port, Clock& clock, std::function<bool()> stopRequested = {})
      : port_(port), clock_(clock), stopRequested_(std::move(stopRequested)) {}
  PhoneSession(const PhoneSession&) = delete;
  PhoneSession& operator=(const PhoneSession&) = delete;
  PhoneSession(PhoneSession&&) = delete;
  PhoneSession& operator=(PhoneSession&&) = delete;
  ~PhoneSession() { Close(); }

  // Opens the port by `name` (as `brindle send` takes it) and sets it 8N1 raw at `baudRate`.
  bool Open(std::string_view name, std::uint32_t baudRate, std::string& error);
  void Close();
  [[nodiscard]] bool isOpen() const { return handle_ != kInvalidPortHandle; }

  // Writes `command` and a carriage return and reads its answer. A SIM that is busy is waited
  // for. When the last answer was out of step, the line is drained first.
  Answer Command(std::string_view command, Expect expect = Expect::kPlain, int index = -1);
  // Reads and drops what the phone still sends (announcements aside) until the line is quiet;
  // false when the line failed or a stop was requested.
  bool Drain();
  // Reads unsolicited lines for up to `waitMs`; false when the line failed.
  bool Listen(std::uint32_t waitMs);
  // The messages +CMTI announced since the last call, oldest first.
  std::vector<Announcement> TakeAnnounced();
  // Milliseconds spent waiting for the phone's bytes since the session was made.
  [[nodiscard]] std::uint64_t waitedMs() const { return waitedMs_; }

 private:
  // Waits up to `waitMs` for bytes and takes all that have arrived; false when the line failed.
  bool ReadSome(std::uint32_t waitMs, std::string& bytes);
  // How a wait for the phone's bytes ended.
  enum class Wait : std::uint8_t { kDone, kQuiet, kStopped, kLineFailed };
  // Feeds `reader` what arrives into events_ and calls `takeEvents` after each read, until it
  // returns true (kDone), the line has been quiet for `quietMs`, `boundMs` have passed or
  // `byteBound` bytes have come (kQuiet), a stop is requested or the line fails.
  Wait ReadEvents(AtReader& reader, std::uint32_t quietMs, std::uint32_t boundMs,
                  std::size_t byteBound, const std::function<bool()>& takeEvents);
  Answer CommandOnce(std::string_view command, Expect expect, int index);
  [[nodiscard]] bool Stopping() const { return stopRequested_ && stopRequested_(); }
  void Note(const AtEvent& event);
  std::string PortError();

  SerialPort& port_;
  Clock& clock_;
  std::function<bool()> stopRequested_;
  PortHandle handle_ = kInvalidPortHandle;
  AtReader reader_;
  bool drainFirst_ = false;
  std::vector<AtEvent> events_;
  std::deque<Announcement> announced_;
  std::uint64_t waitedMs_ = 0;
};

}  // namespace brindle::service
