// `brindle demo`: the simulated phone on a pseudo-terminal, a sample highscore sent to it,
// and what the phone decoded.
#pragma once

#include <cstdio>

namespace brindle::tools {

struct DemoOptions {
  bool interactive = false;
  int phoneTimeoutSeconds = 120;
};

// 0 when the phone decoded the message, 1 otherwise.
int RunDemo(const DemoOptions& options, std::FILE* out);

}  // namespace brindle::tools
