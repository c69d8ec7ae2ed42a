// The score service's subcommands as functions: `brindle serve`, `brindle messages` and
// `brindle scores`, `brindle import`.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "service/score_service.h"

namespace brindle::tools {

struct ServeArguments {
  std::string port;
  std::string db;
  bool once = false;
  std::uint32_t pollSeconds = service::kDefaultPollSeconds;
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
// 0, or 2 when the database cannot be used or stops taking the lines (1: `in` failed).
int RunImport(const std::string& db, std::FILE* in);

}  // namespace brindle::tools
