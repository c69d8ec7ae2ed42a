// `brindle demo`: the simulated phone on a pseudo-terminal, a sample highscore sent to it and
// what the phone decoded; the same message, received back, taken off the phone by the score
// service into a fresh database, and the leaderboard.
#pragma once

#include <cstdio>

namespace brindle::tools {

struct DemoOptions {
  bool interactive = false;
  int phoneTimeoutSeconds = 120;
};

// 0 when the phone decoded the message and the score is on the leaderboard, 1 otherwise.
int RunDemo(const DemoOptions& options, std::FILE* out);

}  // namespace brindle::tools
