#include "tools/serve/commit_hook.h"

#ifdef BRINDLE_FAULT_HOOKS
#include <csignal>
#include <cstdlib>
#include <memory>
#endif

namespace brindle::tools {

std::function<void()> AfterCommitHook() {
#ifdef BRINDLE_FAULT_HOOKS
  const char* text =
      std::getenv("BRINDLE_SERVE_KILL_AFTER_COMMIT");  // NOLINT(concurrency-mt-unsafe)
  const long killAfter = text == nullptr ? 0 : std::strtol(text, nullptr, 10);
  if (killAfter > 0) {
    return [killAfter, commits = std::make_shared<long>(0)] {
      if (++*commits >= killAfter) {
        static_cast<void>(std::raise(SIGKILL));
      }
    };
  }
#endif
  return {};
}

}  // namespace brindle::tools
