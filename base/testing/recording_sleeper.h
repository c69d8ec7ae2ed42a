// A sleeper for tests: it records each pause and returns at once. An optional hook runs at
// every pause (to look at what is shown while the send waits, or to queue a late answer).
#pragma once

#include <cstdint>
#include <functional>
#include <numeric>
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
  [[nodiscard]] std::uint64_t TotalMs() const {
    return std::accumulate(pauses_.begin(), pauses_.end(), std::uint64_t{0});
  }
  void OnPause(std::function<void(std::uint32_t)> hook) { onPause_ = std::move(hook); }

 private:
  std::vector<std::uint32_t> pauses_;
  std::function<void(std::uint32_t)> onPause_;
};

}  // namespace brindle
