#include "tools/systemd_notify.h"

#include <systemd/sd-daemon.h>

#include <chrono>

namespace brindle::tools {
namespace {

std::uint64_t NowUs() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

}  // namespace

SystemdNotifier::SystemdNotifier() {
  std::uint64_t period = 0;
  if (sd_watchdog_enabled(0, &period) > 0) {
    watchdogUs_ = period;
  }
}

void SystemdNotifier::Ready() { static_cast<void>(sd_notify(0, "READY=1")); }

void SystemdNotifier::Reloading() { static_cast<void>(sd_notify(0, "RELOADING=1")); }

void SystemdNotifier::Alive() {
  if (watchdogUs_ == 0) {
    return;
  }
  const std::uint64_t now = NowUs();
  if (now - lastAliveUs_ >= watchdogUs_ / 2) {
    lastAliveUs_ = now;
    static_cast<void>(sd_notify(0, "WATCHDOG=1"));
  }
}

}  // namespace brindle::tools
