#include "tools/serve/serve_settings.h"

#include <charconv>

#include "service/config.h"
#include "tools/config_file.h"

namespace brindle::tools {
namespace {

CLI::Validator Checked(std::string (*why)(std::string_view)) {
  return {[why](const std::string& text) { return why(text); }, ""};
}

}  // namespace

void AddServeSettingOptions(CLI::App& command, ServeArguments& arguments) {
  AddConfigOption(command, arguments.config);
  command.add_option("--phone", arguments.phone,
                     "The config file's [[phone]] to serve, by its name or port (default: its "
                     "only one, or the one on --port)");
  command
      .add_option("--baud", arguments.baudRate,
                  "The port's speed in bits per second (default 115200)")
      ->check(CLI::Validator(
          [](const std::string& text) {
            std::uint32_t speed = 0;
            const char* end = text.data() + text.size();
            const auto [stop, status] = std::from_chars(text.data(), end, speed);
            return status == std::errc() && stop == end && service::IsSerialSpeed(speed)
                       ? std::string()
                       : "must be a serial speed (" + std::string(service::kSerialSpeeds) +
                             "), not '" + text + "'";
          },
          ""));
  command
      .add_option("--pin", arguments.pin,
                  "The SIM's PIN, sent only when the phone asks for it; a PIN the SIM refuses "
                  "is not sent again")
      ->check(Checked(service::CheckPin));
  command
      .add_option("--init", arguments.initCommands,
                  "An AT command sent after the standard start, which must answer OK "
                  "(repeatable, in order)")
      ->type_name("AT...")
      ->check(Checked(service::CheckInitCommand));
}

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
