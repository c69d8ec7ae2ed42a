// Each subcommand of `brindle` registers itself here; its callback stores the exit status.
#pragma once

#include <CLI/CLI.hpp>

namespace brindle::tools {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitBadInput = 2;

void RegisterCodecCommands(CLI::App& app, int& status);  // encode, decode
void RegisterPhoneCommand(CLI::App& app, int& status);   // phone (the simulated phone)
void RegisterSendCommands(CLI::App& app, int& status);   // send, demo
void RegisterServeCommands(CLI::App& app, int& status);  // serve, messages, scores
void RegisterWebCommand(CLI::App& app, int& status);     // web (the leaderboard pages)

}  // namespace brindle::tools
