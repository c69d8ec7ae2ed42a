// The score service's subcommands as functions: `brindle serve`, `brindle messages` and
// `brindle scores`, `brindle import`.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "service/score_service.h"

namespace brindle::tools {

// What the command line gave; what it leaves out comes from the config file (serve_settings.h).
struct ServeArguments {
  std::string port;  // empty: the config file's phone's
  std::string db;    // empty: the config file's
  bool once = false;
  std::optional<std::uint32_t> pollSeconds;
  std::string config;  // empty: the default file, when present
  std::string phone;   // the config file's [[phone]] by name or port
  std::optional<std::uint32_t> baudRate;
  std::optional<std::string> pin;
  std::vector<std::string> initCommands;  // any: in place of the config file's
};

struct ScoresArguments {
  std::string db;
  std::optional<std::int64_t> gameId;
  std::int64_t top = 10;
  bool json = false;
};

// 0 when done (--once) or stopped by SIGTERM/SIGINT; 1 when the port did not open or the
// phone did not answer the start (--once), or the database refused the messages (--once);
// 2 when the database cannot be used.
int RunServe(const ServeArguments& arguments);
// 0, or 2 when the database is missing or not ours (never created here).
int RunMessages(const std::string& db, bool json, std::FILE* out);
int RunScores(const ScoresArguments& arguments, std::FILE* out);
// The same with --game-id as it was given (nothing: every game), refused (2) unless it is a
// decimal 32-bit whole number.
int RunScoresCommand(ScoresArguments arguments, const std::optional<std::string>& gameId,
                     std::FILE* out);
// 0, or 2 when the database cannot be used or stops taking the lines (1: `in` failed).
int RunImport(const std::string& db, std::FILE* in);

}  // namespace brindle::tools
