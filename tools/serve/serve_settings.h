// What `brindle serve` runs with: its command line over the config file's phone and database.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "service/score_service.h"
#include "tools/serve/serve_run.h"

namespace brindle::tools {

struct ServeSettings {
  std::string configPath;  // empty: no file was read
  std::string port;
  std::string db;
  std::uint32_t pollSeconds = service::kDefaultPollSeconds;
  service::ModemSettings modem;
  std::map<std::int64_t, std::string> gameNames;
};

// Reads the config file afresh; nothing, with `error` saying why in one line, when it is
// refused or the two together name no port or no database.
std::optional<ServeSettings> ResolveServeSettings(const ServeArguments& arguments,
                                                  std::string& error);

}  // namespace brindle::tools
