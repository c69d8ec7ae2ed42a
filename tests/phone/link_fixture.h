// A PhoneLink wired to the recording doubles.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/testing/manual_clock.h"
#include "base/testing/recording_message_sink.h"
#include "base/testing/recording_sleeper.h"
#include "phone/phone_link.h"
#include "phone/testing/recording_serial_port.h"

namespace brindle {

class LinkTest : public ::testing::Test {
 protected:
  LinkServices Services() { return {&port, &boxes, &sleeper, &clock}; }

  // The calls made since the mark, in trace form.
  [[nodiscard]] std::vector<std::string> TraceSince(std::size_t mark) const {
    const std::vector<std::string> all = port.Trace();
    return {all.begin() + static_cast<std::ptrdiff_t>(mark), all.end()};
  }

  RecordingSerialPort port;
  RecordingMessageSink boxes;
  RecordingSleeper sleeper;
  ManualClock clock;
};

inline const std::vector<std::string> kOpenTrace = {"Open COM3:",    "GetState",    "SetState",
                                                    "GetTimeouts",   "SetTimeouts", "Escape SETDTR",
                                                    "Escape SETRTS", "Purge 15"};

}  // namespace brindle
