#include "dialog/terminal/terminal_sleeper.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace brindle::terminal {
namespace {

// Shorter pauses pass without a bar; longer ones redraw it this often.
constexpr std::uint32_t kShownFromMs = 300;
constexpr std::chrono::milliseconds kTick{100};

}  // namespace

void TerminalSleeper::Pause(std::uint32_t milliseconds) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline = start + std::chrono::milliseconds(milliseconds);
  const bool shown = milliseconds >= kShownFromMs && host_.DialogOpen();
  for (Clock::time_point now = start; now < deadline; now = Clock::now()) {
    if (shown) {
      const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - start);
      host_.ShowPause(static_cast<std::uint32_t>(elapsed.count()), milliseconds);
    }
    std::this_thread::sleep_for(std::min<Clock::duration>(kTick, deadline - now));
  }
  if (shown) {
    host_.ShowPause(0, 0);
  }
}

}  // namespace brindle::terminal
