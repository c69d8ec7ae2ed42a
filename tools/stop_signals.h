// The long-running commands' signals: SIGTERM and SIGINT ask for a clean stop, SIGHUP for the
// settings to be read again, which the command polls; a hang-up, a closed pipe or a file-size
// limit never end it.
#pragma once

namespace brindle::tools {

// SIGTERM and SIGINT set the stop request, without SA_RESTART, so that a wait on a port or in
// poll() returns at once; SIGHUP sets the reload request. SIGPIPE and SIGXFSZ are ignored: a
// write past a file-size limit then fails (and is reported) instead of killing the process.
void CatchStopSignals();

[[nodiscard]] bool StopRequested();
// True once for each SIGHUP (several before a call count as one).
[[nodiscard]] bool TakeReloadRequest();

}  // namespace brindle::tools
