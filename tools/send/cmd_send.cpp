#include "tools/send/cmd_send.h"

#include <cstdio>
#include <memory>
#include <string>

#include "base/utf8.h"
#include "entry/score_request.h"
#include "tools/exit_status.h"

namespace brindle::tools {
namespace {

int BadInput(const char* what) {
  static_cast<void>(std::fprintf(stderr, "brindle send: %s\n", what));
  return kExitBadInput;
}

}  // namespace

int RunSendCommand(const SendArguments& arguments, bool handleGiven) {
  SendOptions options = arguments.send;
  const auto game = Utf8ToUtf16(arguments.game);
  if (!game) {
    return BadInput("the game name is not valid UTF-8");
  }
  options.game = *game;
  if (handleGiven) {
    const auto handle = Utf8ToUtf16(arguments.handle);
    if (!handle) {
      return BadInput("the handle is not valid UTF-8");
    }
    // A handle too short to send is the dialog's to refuse, as it would a player's; one
    // longer than the box takes cannot be typed at all.
    if (handle->size() > kMaxHandleLength) {
      return BadInput("the handle must have at most 15 characters");
    }
    options.handle = *handle;
  } else if (options.automatic) {
    return BadInput("--auto needs --handle");
  }
  if (options.port.empty()) {
    return BadInput("the port name is empty");
  }
  return RunSend(options, stdout);
}

}  // namespace brindle::tools
