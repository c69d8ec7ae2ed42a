// `brindle send` and `brindle demo`.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "base/utf8.h"
#include "entry/score_request.h"
#include "tools/commands.h"
#include "tools/send/demo_run.h"
#include "tools/send/send_run.h"

namespace brindle::tools {
namespace {

struct SendArguments {
  std::string game;
  std::int32_t gameId = 0;
  std::int32_t score = 0;
  std::string port = "COM3:";
  std::string handle;
  bool automatic = false;
};

int BadInput(const char* what) {
  static_cast<void>(std::fprintf(stderr, "brindle send: %s\n", what));
  return kExitBadInput;
}

int Send(const SendArguments& arguments, bool handleGiven) {
  SendOptions options;
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
  } else if (arguments.automatic) {
    return BadInput("--auto needs --handle");
  }
  if (arguments.port.empty()) {
    return BadInput("the port name is empty");
  }
  options.gameId = arguments.gameId;
  options.score = arguments.score;
  options.port = arguments.port;
  options.automatic = arguments.automatic;
  return RunSend(options, stdout);
}

}  // namespace

void RegisterSendCommands(CLI::App& app, int& status) {
  auto send = std::make_shared<SendArguments>();
  CLI::App* sendCommand = app.add_subcommand(
      "send",
      "Send a highscore as an SMS through the phone on a serial port, with the terminal dialog "
      "or, with --auto, without one");
  sendCommand->add_option("--game", send->game, "Game name, shown in the title (UTF-8)")
      ->required();
  sendCommand->add_option("--game-id", send->gameId, "Game number (32-bit)")->required();
  sendCommand->add_option("--score", send->score, "Score (32-bit)")->required();
  AddPortOption(*sendCommand, send->port)->capture_default_str();
  CLI::Option* handleOption =
      sendCommand->add_option("--handle", send->handle, "Player's handle, prefilled (UTF-8)");
  sendCommand->add_flag("--auto", send->automatic,
                        "No dialog: press Send SMS with --handle once and print each status "
                        "line and message box");
  sendCommand->callback(
      [send, handleOption, &status] { status = Send(*send, handleOption->count() > 0); });

  const auto [demoCommand, demo] = AddCommand<DemoOptions>(
      app, status, "demo",
      "Start the simulated phone, send a sample highscore to it and show what it received",
      [](const DemoOptions& options) { return RunDemo(options, stdout); });
  demoCommand->add_flag("--interactive", demo->interactive,
                        "Send through the terminal dialog instead of automatically");
}

}  // namespace brindle::tools
