#include "tools/config_file.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "tools/log_line.h"

namespace brindle::tools {

std::optional<service::Config> LoadConfig(const std::string& given, std::string& used,
                                          std::string& error) {
  used = given;
  if (used.empty()) {
    std::error_code ignored;
    if (!std::filesystem::exists(service::kDefaultConfigPath, ignored)) {
      return service::Config{};
    }
    used = service::kDefaultConfigPath;
  }
  return service::ReadConfig(used, error);
}

void ApplyGameNames(service::MessageStore& store,
                    const std::map<std::int64_t, std::string>& names) {
  for (const auto& [id, name] : names) {
    service::StoreError error;
    if (!store.SetGameName(id, name, error)) {
      LogLine(LogLevel::kWarning, "brindle",
              "game " + std::to_string(id) + " not named: " + error.text);
    }
  }
}

}  // namespace brindle::tools
