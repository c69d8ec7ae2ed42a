// Pauses and the monotonic clock from the Win32 kernel (both also on Windows CE).
#include <windows.h>

#include "base/clock.h"
#include "base/sleeper.h"

namespace brindle {

void RealSleeper::Pause(std::uint32_t milliseconds) { Sleep(milliseconds); }

std::uint64_t SteadyClock::NowMs() {
  LARGE_INTEGER frequency{};
  LARGE_INTEGER counter{};
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  const auto ticks = static_cast<std::uint64_t>(counter.QuadPart);
  const auto perSecond = static_cast<std::uint64_t>(frequency.QuadPart);
  if (perSecond == 0) {
    return GetTickCount();
  }
  // In two steps, so that ticks * 1000 cannot overflow.
  return ticks / perSecond * 1000 + ticks % perSecond * 1000 / perSecond;
}

}  // namespace brindle
