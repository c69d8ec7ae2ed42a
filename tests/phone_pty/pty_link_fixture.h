// A PhoneLink over the real pseudo-terminal of a `brindle phone` process, and the phone's log.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "base/testing/recording_message_sink.h"
#include "base/testing/recording_sleeper.h"
#include "phone/phone_link.h"
#include "phone/posix_serial_port.h"
#include "phone_process.h"
#include "tools/child_process.h"

namespace brindle::ptytest {

// The PDU text the send sequence builds for game 42, score 12345, handle "Ann".
std::string SampleMessage();
std::u16string Widen(std::string_view text);

class PtyLinkTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts `brindle phone --mode MODE` with a log and opens a link on its terminal; the pauses
  // go to a sleeper that does not wait.
  void Connect(const std::string& mode);
  // Ends the phone (SIGTERM) so that its log is complete; its exit status.
  int StopPhone();

  // Every line of the phone's log.
  [[nodiscard]] std::vector<nlohmann::json> Log() const;
  // The bytes that went "in" to the phone or "out" of it, in order.
  [[nodiscard]] std::string Bytes(std::string_view direction) const;
  [[nodiscard]] std::vector<nlohmann::json> Events(std::string_view name) const;

  std::filesystem::path directory_;
  tools::ChildProcess phone_;
  std::string terminal_;
  PosixSerialPort port_;
  RecordingMessageSink boxes_;
  RecordingSleeper sleeper_;
  std::unique_ptr<PhoneLink> link_;
};

}  // namespace brindle::ptytest
