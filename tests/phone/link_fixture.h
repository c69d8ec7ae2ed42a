// A PhoneLink wired to the recording doubles; each pause is noted in the port's trace.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "base/testing/manual_clock.h"
#include "base/testing/recording_message_sink.h"
#include "base/testing/recording_sleeper.h"
#include "base/text.h"
#include "phone/phone_link.h"
#include "phone/testing/recording_serial_port.h"

namespace brindle {

class LinkTest : public ::testing::Test {
 protected:
  LinkTest() {
    sleeper.OnPause([this](std::uint32_t ms) { port.Note("Pause " + std::to_string(ms)); });
  }

  // An open link with the open's calls left out of the trace.
  void Open() {
    ASSERT_TRUE(link.Open(u"COM3:", kPortBaudRate));
    port.ClearTrace();
  }

  [[nodiscard]] std::u16string Response() {
    std::array<char16_t, kResponseCapacity> response{};
    response.fill(u'#');
    EXPECT_EQ(link.ReadResponse(response), 1);
    return std::u16string(TerminatedView(std::span<const char16_t>(response)));
  }

  RecordingSerialPort port;
  RecordingMessageSink boxes;
  RecordingSleeper sleeper;
  ManualClock clock;
  PhoneLink link{{&port, &boxes, &sleeper, &clock}};
};

}  // namespace brindle
