// A monotonic millisecond clock, so that the bound on a phone's endless answer can be checked
// in tests without waiting it out.
#pragma once

#include <cstdint>

namespace brindle {

class Clock {
 public:
  Clock() = default;
  Clock(const Clock&) = delete;
  Clock& operator=(const Clock&) = delete;
  Clock(Clock&&) = delete;
  Clock& operator=(Clock&&) = delete;
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary fixed point; never goes backwards.
  virtual std::uint64_t NowMs() = 0;
};

// std::chrono::steady_clock.
class SteadyClock final : public Clock {
 public:
  std::uint64_t NowMs() override;
};

}  // namespace brindle
