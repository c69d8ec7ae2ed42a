// The dialogue's fixed pauses go through this, so tests need not wait them out.
#pragma once

#include <cstdint>

namespace brindle {

class Sleeper {
 public:
  Sleeper() = default;
  Sleeper(const Sleeper&) = delete;
  Sleeper& operator=(const Sleeper&) = delete;
  Sleeper(Sleeper&&) = delete;
  Sleeper& operator=(Sleeper&&) = delete;
  virtual ~Sleeper() = default;
  // Blocks for at least `milliseconds`.
  virtual void Pause(std::uint32_t milliseconds) = 0;
};

// Really sleeps.
class RealSleeper final : public Sleeper {
 public:
  void Pause(std::uint32_t milliseconds) override;
};

}  // namespace brindle
