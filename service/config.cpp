#include "service/config.h"

#include <toml++/toml.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <set>
#include <sstream>

#include "service/web/request_parameters.h"

namespace brindle::service {
namespace {

constexpr std::array<std::uint32_t, 11> kSpeeds = {1200,  2400,   4800,   9600,   19200, 38400,
                                                   57600, 115200, 230400, 460800, 921600};

// Why a file is refused: the line and the key it is about.
struct Refusal {
  std::uint32_t line = 0;
  std::string key;
  std::string why;
};

class Reader {
 public:
  bool Fail(const toml::node& node, std::string key, std::string why) {
    refusal_ = {node.source().begin.line, std::move(key), std::move(why)};
    return false;
  }
  [[nodiscard]] const Refusal& refusal() const { return refusal_; }

  bool Text(const toml::node& node, const std::string& key, std::string& out) {
    const auto* text = node.as_string();
    if (text == nullptr) {
      return Fail(node, key, "must be a text in quotes");
    }
    out = text->get();
    if (std::any_of(out.begin(), out.end(), [](char c) { return c == '\n' || c == '\r'; })) {
      return Fail(node, key, "must be one line");
    }
    return true;
  }

  bool Whole(const toml::node& node, const std::string& key, std::int64_t low, std::int64_t high,
             std::int64_t& out) {
    const auto* number = node.as_integer();
    if (number == nullptr || number->get() < low || number->get() > high) {
      return Fail(
          node, key,
          "must be a whole number from " + std::to_string(low) + " to " + std::to_string(high));
    }
    out = number->get();
    return true;
  }

  // Every key of `table` must be one of `known`.
  bool OnlyKnown(const toml::table& table, const std::string& prefix,
                 std::initializer_list<std::string_view> known) {
    for (const auto& [key, node] : table) {
      if (std::find(known.begin(), known.end(), key.str()) == known.end()) {
        return Fail(node, prefix + std::string(key.str()), "is not a setting Brindle knows");
      }
    }
    return true;
  }

  bool Phone(const toml::table& table, const std::string& at, PhoneConfig& phone) {
    if (!OnlyKnown(table, at + ".", {"name", "port", "speed", "pin", "init", "poll"})) {
      return false;
    }
    std::int64_t number = 0;
    for (const auto& [key, node] : table) {
      const std::string name = at + "." + std::string(key.str());
      bool ok = true;
      if (key == "name") {
        ok = Text(node, name, phone.name);
      } else if (key == "port") {
        ok = Text(node, name, phone.port);
      } else if (key == "speed") {
        ok = Whole(node, name, 1, UINT32_MAX, number);
        phone.modem.baudRate = static_cast<std::uint32_t>(number);
        if (ok && !IsSerialSpeed(phone.modem.baudRate)) {
          ok = Fail(node, name, "is not a serial speed (" + std::string(kSerialSpeeds) + ")");
        }
      } else if (key == "pin") {
        ok = Text(node, name, phone.modem.pin);
        if (const std::string why = ok ? CheckPin(phone.modem.pin) : ""; !why.empty()) {
          ok = Fail(node, name, why);
        }
      } else if (key == "poll") {
        ok = Whole(node, name, 1, 86400, number);
        phone.pollSeconds = static_cast<std::uint32_t>(number);
      } else {
        ok = Init(node, name, phone.modem.initCommands);
      }
      if (!ok) {
        return false;
      }
    }
    if (phone.port.empty()) {
      return Fail(table, at + ".port", "is missing: each phone needs its port");
    }
    return true;
  }

  bool Init(const toml::node& node, const std::string& key, std::vector<std::string>& commands) {
    const auto* list = node.as_array();
    if (list == nullptr) {
      return Fail(node, key, "must be a list of AT commands in quotes");
    }
    for (std::size_t i = 0; i < list->size(); ++i) {
      const std::string name = key + "[" + std::to_string(i + 1) + "]";
      std::string command;
      if (!Text((*list)[i], name, command)) {
        return false;
      }
      if (const std::string why = CheckInitCommand(command); !why.empty()) {
        return Fail((*list)[i], name, why);
      }
      commands.push_back(std::move(command));
    }
    return true;
  }

  bool Games(const toml::node& node, std::map<std::int64_t, std::string>& names) {
    const auto* table = node.as_table();
    if (table == nullptr) {
      return Fail(node, "games", "must be a table of game numbers and names");
    }
    for (const auto& [key, value] : *table) {
      const std::string name = "games." + std::string(key.str());
      const auto id = web::ParseGameId(key.str());
      if (!id) {
        return Fail(value, name, "names no game: a game is a 32-bit whole number");
      }
      std::string text;
      if (!Text(value, name, text)) {
        return false;
      }
      if (text.empty() || !IsGameName(text)) {
        return Fail(value, name,
                    "must be 1 to " + std::to_string(kMaxGameName) +
                        " bytes of UTF-8 without control characters");
      }
      names[*id] = std::move(text);
    }
    return true;
  }

  bool All(const toml::table& root, Config& config) {
    if (!OnlyKnown(root, "", {"database", "web", "phone", "games"})) {
      return false;
    }
    if (const auto* node = root.get("database");
        node != nullptr && !Text(*node, "database", config.database)) {
      return false;
    }
    if (const auto* node = root.get("web"); node != nullptr) {
      const auto* web = node->as_table();
      if (web == nullptr) {
        return Fail(*node, "web", "must be a table");
      }
      if (!OnlyKnown(*web, "web.", {"listen"})) {
        return false;
      }
      if (const auto* listen = web->get("listen");
          listen != nullptr && !Text(*listen, "web.listen", config.listen)) {
        return false;
      }
    }
    if (const auto* node = root.get("games"); node != nullptr && !Games(*node, config.gameNames)) {
      return false;
    }
    if (const auto* node = root.get("phone"); node != nullptr) {
      const auto* phones = node->as_array();
      if (phones == nullptr || !phones->is_array_of_tables()) {
        return Fail(*node, "phone", "must be [[phone]] sections");
      }
      std::set<std::string> names;
      for (std::size_t i = 0; i < phones->size(); ++i) {
        const std::string at = "phone[" + std::to_string(i + 1) + "]";
        PhoneConfig phone;
        if (!Phone(*(*phones)[i].as_table(), at, phone)) {
          return false;
        }
        if (!phone.name.empty() && !names.insert(phone.name).second) {
          return Fail((*phones)[i], at + ".name", "'" + phone.name + "' names another phone too");
        }
        config.phones.push_back(std::move(phone));
      }
    }
    return true;
  }

 private:
  Refusal refusal_;
};

}  // namespace

bool IsSerialSpeed(std::uint32_t baudRate) {
  return std::find(kSpeeds.begin(), kSpeeds.end(), baudRate) != kSpeeds.end();
}

std::string CheckInitCommand(std::string_view command) {
  if (command.size() < 2 || (command[0] != 'A' && command[0] != 'a') ||
      (command[1] != 'T' && command[1] != 't')) {
    return "must be an AT command (AT...)";
  }
  if (command.size() > kMaxInitCommand) {
    return "is longer than " + std::to_string(kMaxInitCommand) + " characters";
  }
  if (std::any_of(command.begin(), command.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; })) {
    return "must hold no control characters (the carriage return is added)";
  }
  return {};
}

std::string CheckPin(std::string_view pin) {
  const bool digits =
      std::all_of(pin.begin(), pin.end(), [](char c) { return c >= '0' && c <= '9'; });
  return digits && pin.size() >= 4 && pin.size() <= 8 ? std::string() : "must be 4 to 8 digits";
}

std::optional<Config> ParseConfig(std::string_view text, const std::string& path,
                                  std::string& error) {
  toml::table root;
  try {
    root = toml::parse(text, std::string_view(path));
  } catch (const toml::parse_error& e) {
    error =
        path + ":" + std::to_string(e.source().begin.line) + ": " + std::string(e.description());
    return std::nullopt;
  }
  Reader reader;
  Config config;
  if (!reader.All(root, config)) {
    const Refusal& refusal = reader.refusal();
    error = path + ":" + std::to_string(refusal.line) + ": " + refusal.key + " " + refusal.why;
    return std::nullopt;
  }
  return config;
}

std::optional<Config> ReadConfig(const std::string& path, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  if (!file || !(text << file.rdbuf())) {
    error = path + ": cannot be read";
    return std::nullopt;
  }
  return ParseConfig(text.str(), path, error);
}

std::optional<PhoneConfig> PickPhone(const Config& config, std::string_view which,
                                     std::string& error) {
  std::vector<const PhoneConfig*> fitting;
  for (const PhoneConfig& phone : config.phones) {
    if (which.empty() || phone.name == which ||
        (phone.port == which &&
         std::none_of(config.phones.begin(), config.phones.end(),
                      [which](const PhoneConfig& other) { return other.name == which; }))) {
      fitting.push_back(&phone);
    }
  }
  if (fitting.size() == 1) {
    return *fitting.front();
  }
  error = which.empty() ? (fitting.empty() ? "the config file names no phone"
                                           : "the config file names several phones: say which")
                        : "the config file names no phone '" + std::string(which) + "'";
  return std::nullopt;
}

}  // namespace brindle::service
