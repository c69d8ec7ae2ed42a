// A clock for tests: time moves only when told, or by a fixed step at every reading.
#pragma once

#include <cstdint>

#include "base/clock.h"

namespace brindle {

class ManualClock final : public Clock {
 public:
  std::uint64_t NowMs() override {
    const std::uint64_t now = now_;
    now_ += step_;
    ++readings_;
    return now;
  }
  void Advance(std::uint64_t milliseconds) { now_ += milliseconds; }
  // Every reading moves the clock on by this much after it is taken.
  void SetStepPerReading(std::uint64_t milliseconds) { step_ = milliseconds; }
  [[nodiscard]] std::uint64_t Readings() const { return readings_; }

 private:
  std::uint64_t now_ = 0;
  std::uint64_t step_ = 0;
  std::uint64_t readings_ = 0;
};

}  // namespace brindle
