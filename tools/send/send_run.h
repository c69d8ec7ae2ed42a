// `brindle send`: one highscore through the library's own path (RunHighScore), with the
// terminal dialog or, for scripts, the automatic one.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace brindle::tools {

struct SendOptions {
  std::u16string game;
  std::int32_t gameId = 0;
  std::int32_t score = 0;
  std::string port = "COM3:";
  std::u16string handle;  // prefilled; empty: none given
  bool automatic = false;
};

// Exit status: 0 when the send succeeded, 1 when it failed, was cancelled or no dialog could
// be shown, 2 for a port name too long to be one.
int RunSend(const SendOptions& options, std::FILE* out);

}  // namespace brindle::tools
