// What `brindle serve` does right after each commit: nothing, except in the fault tests' copy of
// the command line, which ends the process there after the Nth commit
// (BRINDLE_SERVE_KILL_AFTER_COMMIT=N), before the phone's copies are deleted, as a crash there
// would. Two builds of one small file, so that the command itself is built once.
#pragma once

#include <functional>

namespace brindle::tools {

std::function<void()> AfterCommitHook();

}  // namespace brindle::tools
