// `brindle send`: its arguments as given (UTF-8) checked, then the send (send_run.h).
#pragma once

#include <string>

#include "tools/send/send_run.h"

namespace brindle::tools {

struct SendArguments {
  std::string game;    // UTF-8
  std::string handle;  // UTF-8; used only when given
  SendOptions send;    // the game id, score, port and --auto as given; the texts are set here
};

// The exit status; 2, said on stderr, for arguments that cannot be sent.
int RunSendCommand(const SendArguments& arguments, bool handleGiven);

}  // namespace brindle::tools
