// What a service tells systemd (Type=notify): that it is ready, that it re-reads its settings,
// and, while its loop turns, that it lives (the unit's WatchdogSec). Nothing outside systemd.
#pragma once

#include <atomic>
#include <cstdint>

namespace brindle::tools {

class SystemdNotifier {
 public:
  SystemdNotifier();

  static void Ready();
  static void Reloading();
  // Called as often as the loop likes, from any thread; tells the watchdog at most every half
  // its period.
  void Alive();

 private:
  std::uint64_t watchdogUs_ = 0;               // 0: no watchdog
  std::atomic<std::uint64_t> lastAliveUs_{0};  // Alive() may come from several threads
};

}  // namespace brindle::tools
