// The long-running commands' signals: SIGTERM and SIGINT ask for a clean stop, which the
// command polls; a hang-up, a closed pipe or a file-size limit never end it.
#pragma once

namespace brindle::tools {

// SIGTERM and SIGINT set the stop request, without SA_RESTART, so that a wait on a port or in
// poll() returns at once. SIGHUP, SIGPIPE and SIGXFSZ are ignored: a write past a file-size
// limit then fails (and is reported) instead of killing the process.
void CatchStopSignals();

[[nodiscard]] bool StopRequested();

}  // namespace brindle::tools
