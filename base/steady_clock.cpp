#include <chrono>

#include "base/clock.h"

namespace brindle {

std::uint64_t SteadyClock::NowMs() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace brindle
