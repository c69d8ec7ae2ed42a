// A PhoneLink over the real pseudo-terminal of a `brindle phone` process.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "base/testing/recording_message_sink.h"
#include "base/testing/recording_sleeper.h"
#include "phone/phone_link.h"
#include "phone/posix_serial_port.h"
#include "phone_process.h"

namespace brindle::ptytest {

// The sample score message: game 42, score 12345, handle "Ann".
inline constexpr std::int32_t kGameId = 42;
inline constexpr std::int32_t kScore = 12345;
inline constexpr std::u16string_view kHandle = u"Ann";
inline constexpr std::string_view kNumber = "+123456789012";

// The PDU text the send sequence builds for these fields.
std::string EncodeScoreMessage(std::int32_t gameId, std::int32_t score, std::u16string_view handle,
                               std::string_view number);

// Sleeps each pause, but never longer than a cap: long enough for a late phone's answer, short
// enough for the suite.
class CappedSleeper final : public Sleeper {
 public:
  explicit CappedSleeper(std::uint32_t capMs) : capMs_(capMs) {}
  void Pause(std::uint32_t milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(milliseconds, capMs_)));
  }

 private:
  std::uint32_t capMs_;
};

class Stopwatch {
 public:
  [[nodiscard]] std::int64_t ElapsedMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start_)
        .count();
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

class PtyLinkTest : public ::testing::Test {
 protected:
  // Starts the phone and opens a link on its terminal with `sleeper` for the pauses (the
  // recording one, which does not wait, when none is given).
  void Connect(const std::string& mode, Sleeper* sleeper = nullptr);
  // A link on `path` that shares the port, boxes and sleeper.
  std::unique_ptr<PhoneLink> MakeLink();

  [[nodiscard]] std::string InBytes() const { return Transcript(phone_.Log(), "in"); }
  [[nodiscard]] std::string OutBytes() const { return Transcript(phone_.Log(), "out"); }
  [[nodiscard]] int CountEvents(std::string_view name) const;

  PhoneProcess phone_;
  PosixSerialPort port_;
  RecordingMessageSink boxes_;
  RecordingSleeper fast_;
  Sleeper* sleeper_ = &fast_;
  std::unique_ptr<PhoneLink> link_;
};

std::u16string Widen(std::string_view text);

}  // namespace brindle::ptytest
