#include "tools/stop_signals.h"

#include <csignal>
#include <initializer_list>

namespace brindle::tools {
namespace {

volatile std::sig_atomic_t g_stopRequested = 0;
volatile std::sig_atomic_t g_reloadRequested = 0;

extern "C" void RequestStop(int /*signal*/) { g_stopRequested = 1; }
extern "C" void RequestReload(int /*signal*/) { g_reloadRequested = 1; }

}  // namespace

void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  static_cast<void>(sigaction(SIGINT, &action, nullptr));
  static_cast<void>(sigaction(SIGTERM, &action, nullptr));
  action.sa_handler = RequestReload;
  static_cast<void>(sigaction(SIGHUP, &action, nullptr));
  for (const int ignored : {SIGPIPE, SIGXFSZ}) {
    static_cast<void>(std::signal(ignored, SIG_IGN));
  }
}

bool StopRequested() { return g_stopRequested != 0; }

bool TakeReloadRequest() {
  if (g_reloadRequested == 0) {
    return false;
  }
  g_reloadRequested = 0;
  return true;
}

}  // namespace brindle::tools
