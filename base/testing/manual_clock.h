// A clock for tests: time moves by a fixed step at every reading.
#pragma once

#include <cstdint>

#include "base/clock.h"

namespace brindle {

class ManualClock final : public Clock {
 public:
  std::uint64_t NowMs() override {
    const std::uint64_t now = now_;
    now_ += step_;
    return now;
  }
  void SetStepPerReading(std::uint64_t milliseconds) { step_ = milliseconds; }

 private:
  std::uint64_t now_ = 0;
  std::uint64_t step_ = 0;
};

}  // namespace brindle
