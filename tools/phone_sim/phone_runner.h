// `brindle phone` as a process: a pseudo-terminal, the dialogue on it, the log, and the ways
// it ends (time-out, message count, SIGTERM/SIGINT).
#pragma once

#include <cstdio>
#include <string>

#include "tools/phone_sim/phone_mode.h"

namespace brindle::sim {

struct PhoneOptions {
  PhoneMode mode = PhoneMode::kOk;
  std::string linkPath;       // empty: no symlink
  std::string logPath;        // empty: no log
  double timeoutSeconds = 0;  // 0: no limit
  int count = 0;              // 0: no limit
};

// After the last counted message the phone stays until the program has read every answer
// and the line has been quiet this long (the shutdown commands still get their answers),
// but no longer than the limit.
inline constexpr unsigned kDrainQuietMs = 1500;
inline constexpr unsigned kDrainLimitMs = 15000;

// Runs until a way out; returns the process's exit status. The terminal's path is the first
// line on `out`, then one line per message taken.
int RunPhone(const PhoneOptions& options, std::FILE* out);

}  // namespace brindle::sim
