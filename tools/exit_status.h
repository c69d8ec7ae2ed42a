// The exit statuses of every `brindle` command: scripts rely on them. Apart from the command
// registration, so that the code that runs a command does not parse the command-line library.
#pragma once

namespace brindle::tools {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitBadInput = 2;

}  // namespace brindle::tools
