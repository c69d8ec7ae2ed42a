// The operator's config file: the database, the phones (one `brindle serve` each), the web
// server's address and the games' names, in TOML. The command line overrides what it gives.
//
//   database = "/var/lib/brindle/scores.db"
//   [web]
//   listen = "127.0.0.1:8080"
//   [[phone]]
//   name = "front"            # brindle-serve@front
//   port = "/dev/ttyUSB0"
//   speed = 115200
//   pin = "1234"
//   init = ["AT+CSCS=\"GSM\""]
//   poll = 30
//   [games]
//   42 = "Falling Blocks"
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/score_service.h"

namespace brindle::service {

// Read when present, and when no --config names another.
inline constexpr std::string_view kDefaultConfigPath = "/etc/brindle/brindle.toml";
inline constexpr std::size_t kMaxInitCommand = 200;  // within the link's command capacity

struct PhoneConfig {
  std::string name;  // empty: the phone is picked by its port
  std::string port;
  std::uint32_t pollSeconds = kDefaultPollSeconds;
  ModemSettings modem;
};

struct Config {
  std::string database;  // empty: not given
  std::string listen;    // empty: not given
  std::vector<PhoneConfig> phones;
  std::map<std::int64_t, std::string> gameNames;
};

// Nothing when the text is not TOML or holds what is not ours; `error` is then one line that
// names `path`, the line and the key: "brindle.toml:7: phone[2].speed: ...".
std::optional<Config> ParseConfig(std::string_view text, const std::string& path,
                                  std::string& error);
// The file's text parsed, or nothing with `error` saying why (the file cannot be read too).
std::optional<Config> ReadConfig(const std::string& path, std::string& error);

// The phone `which` names (its name, else its port); with `which` empty, the only one.
// Nothing, with `error` saying why, when none or several fit.
std::optional<PhoneConfig> PickPhone(const Config& config, std::string_view which,
                                     std::string& error);

// The speeds a serial port is set to (termios' from 1200 up), and how a refusal names them.
[[nodiscard]] bool IsSerialSpeed(std::uint32_t baudRate);
inline constexpr std::string_view kSerialSpeeds = "1200, 2400, ... 115200, ... 921600";
// "" when `command` can be sent as one AT command line, otherwise why not.
std::string CheckInitCommand(std::string_view command);
// "" when `pin` is a SIM's PIN (4 to 8 digits), otherwise why not.
std::string CheckPin(std::string_view pin);

}  // namespace brindle::service
