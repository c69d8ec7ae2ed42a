#include "tools/serve/serve_settings.h"

#include "service/config.h"
#include "tools/config_file.h"

namespace brindle::tools {

std::optional<ServeSettings> ResolveServeSettings(const ServeArguments& arguments,
                                                  std::string& error) {
  ServeSettings settings;
  const auto config = LoadConfig(arguments.config, settings.configPath, error);
  if (!config) {
    return std::nullopt;
  }
  service::PhoneConfig phone;
  if (!arguments.phone.empty() || arguments.port.empty()) {
    auto picked = service::PickPhone(*config, arguments.phone, error);
    if (!picked) {
      if (arguments.phone.empty() && config->phones.empty()) {
        error = "no port: give --port, or a [[phone]] in the config file";
      }
      return std::nullopt;
    }
    phone = std::move(*picked);
  } else if (auto same = service::PickPhone(*config, arguments.port, error)) {
    phone = std::move(*same);  // the file's settings for the port named
  }
  error.clear();
  settings.port = arguments.port.empty() ? phone.port : arguments.port;
  settings.db = arguments.db.empty() ? config->database : arguments.db;
  if (settings.db.empty()) {
    error = "no database: give --db, or database in the config file";
    return std::nullopt;
  }
  settings.pollSeconds = arguments.pollSeconds.value_or(phone.pollSeconds);
  settings.modem = phone.modem;
  settings.modem.baudRate = arguments.baudRate.value_or(settings.modem.baudRate);
  settings.modem.pin = arguments.pin.value_or(settings.modem.pin);
  if (!arguments.initCommands.empty()) {
    settings.modem.initCommands = arguments.initCommands;
  }
  settings.gameNames = config->gameNames;
  return settings;
}

}  // namespace brindle::tools
