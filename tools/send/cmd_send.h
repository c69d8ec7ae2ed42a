// `brindle send`: its arguments as given (UTF-8) checked, then the send (send_run.h).
#pragma once

#include <cstdint>
#include <string>

namespace brindle::tools {

struct SendArguments {
  std::string game;
  std::int32_t gameId = 0;
  std::int32_t score = 0;
  std::string port = "COM3:";
  std::string handle;
  bool automatic = false;
};

// The exit status; 2, said on stderr, for arguments that cannot be sent.
int RunSendCommand(const SendArguments& arguments, bool handleGiven);

}  // namespace brindle::tools
