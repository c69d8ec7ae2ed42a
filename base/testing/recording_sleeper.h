// A sleeper for tests: it records each pause and returns at once. An optional hook runs at
// every pause (to note when the pause came, or to change the phone while the send waits).
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "base/sleeper.h"

namespace brindle {

class RecordingSleeper final : public Sleeper {
 public:
  void Pause(std::uint32_t milliseconds) override {
    pauses_.push_back(milliseconds);
    if (onPause_) {
      onPause_(milliseconds);
    }
  }
  [[nodiscard]] const std::vector<std::uint32_t>& Pauses() const { return pauses_; }
  void OnPause(std::function<void(std::uint32_t)> hook) { onPause_ = std::move(hook); }

 private:
  std::vector<std::uint32_t> pauses_;
  std::function<void(std::uint32_t)> onPause_;
};

}  // namespace brindle
