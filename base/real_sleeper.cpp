#include <chrono>
#include <thread>

#include "base/sleeper.h"

namespace brindle {

void RealSleeper::Pause(std::uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace brindle
