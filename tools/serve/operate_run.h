// The operator's commands beside the running service: `brindle status`, moderation (`brindle
// scores hide|unhide`, `brindle senders block|unblock`, `brindle moderation`), `brindle games
// set` and `brindle backup`. Each gives its exit status and says on stderr what went wrong.
#pragma once

#include <cstdint>
#include <string>

namespace brindle::tools {

// 1 when a service has not been heard from for three poll periods.
int RunStatus(const std::string& db);
int RunModerationLog(const std::string& db);
// 1 when no score message has the id.
int RunHide(const std::string& db, std::int64_t id, bool hide);
int RunBlock(const std::string& db, const std::string& number, bool block);

struct GameArguments {
  std::string db;
  std::string id;    // as given; read here as a decimal 32-bit whole number
  std::string name;  // empty: the name is taken away
};
int RunGameSet(const GameArguments& arguments);

struct BackupArguments {
  std::string db;
  std::string file;
};
int RunBackup(const BackupArguments& arguments);

}  // namespace brindle::tools
