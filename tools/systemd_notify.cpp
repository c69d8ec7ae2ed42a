#include "tools/systemd_notify.h"

#include <systemd/sd-daemon.h>
#include <time.h>

namespace brindle::tools {
namespace {

std::uint64_t NowUs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000000U +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000U;
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
