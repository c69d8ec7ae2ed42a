// A sleeper for tests: every pause returns at once. An optional hook runs at each one (to note
// when the pause came, or to change the phone while the send waits).
#pragma once

#include <cstdint>
#include <functional>
#include <utility>

#include "base/sleeper.h"

namespace brindle {

class RecordingSleeper final : public Sleeper {
 public:
  void Pause(std::uint32_t milliseconds) override {
    if (onPause_) {
      onPause_(milliseconds);
    }
  }
  void OnPause(std::function<void(std::uint32_t)> hook) { onPause_ = std::move(hook); }

 private:
  std::function<void(std::uint32_t)> onPause_;
};

}  // namespace brindle
