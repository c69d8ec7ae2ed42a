// The config file of the service commands (serve, web): read, and its game names applied.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "service/config.h"
#include "service/message_store.h"

namespace brindle::tools {

// The config file `given` names, else the default one if it exists, else an empty one (with
// `used` empty). Nothing when the file cannot be read or is refused; `error` says why in one
// line naming the file, the line and the key.
std::optional<service::Config> LoadConfig(const std::string& given, std::string& used,
                                          std::string& error);

// The config file's game names written into the store, at the start and on each reload; a
// name the store refuses is logged and the rest still written.
void ApplyGameNames(service::MessageStore& store, const std::map<std::int64_t, std::string>& names);

}  // namespace brindle::tools
