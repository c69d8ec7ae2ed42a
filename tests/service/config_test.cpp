// The config file: a full one read into its settings, and each kind of mistake refused in one
// line that names the file, the line and the key.
#include "service/config.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brindle::service {
namespace {

TEST(Config, ReadsEverySetting) {
  std::string error;
  const auto config = ParseConfig(R"(database = "/var/lib/brindle/scores.db"
[web]
listen = "[::1]:8080"
[[phone]]
name = "front"
port = "/dev/ttyUSB0"
speed = 9600
pin = "0042"
init = ["AT+CSCS=\"GSM\"", "at+cmee=1"]
poll = 5
[[phone]]
port = "COM2:"
[games]
42 = "Falling Blocks"
-7 = "Négatif"
)",
                                  "b.toml", error);
  ASSERT_TRUE(config) << error;
  EXPECT_EQ(config->database, "/var/lib/brindle/scores.db");
  EXPECT_EQ(config->listen, "[::1]:8080");
  ASSERT_EQ(config->phones.size(), 2U);
  const PhoneConfig& front = config->phones[0];
  EXPECT_EQ(front.name, "front");
  EXPECT_EQ(front.port, "/dev/ttyUSB0");
  EXPECT_EQ(front.pollSeconds, 5U);
  EXPECT_EQ(front.modem, (ModemSettings{9600, "0042", {"AT+CSCS=\"GSM\"", "at+cmee=1"}}));
  EXPECT_EQ(config->phones[1].modem, ModemSettings{});
  EXPECT_EQ(config->phones[1].pollSeconds, kDefaultPollSeconds);
  EXPECT_EQ(config->gameNames,
            (std::map<std::int64_t, std::string>{{-7, "Négatif"}, {42, "Falling Blocks"}}));
  // Picked by name, by port, or as the only one.
  EXPECT_EQ(PickPhone(*config, "front", error)->port, "/dev/ttyUSB0");
  EXPECT_EQ(PickPhone(*config, "COM2:", error)->port, "COM2:");
  EXPECT_FALSE(PickPhone(*config, "", error));
  EXPECT_EQ(error, "the config file names several phones: say which");
  EXPECT_FALSE(PickPhone(*config, "back", error));
}

TEST(Config, TheInstalledExampleIsRead) {
  std::string error;
  const auto config = ReadConfig(BRINDLE_EXAMPLE_CONFIG, error);
  ASSERT_TRUE(config) << error;
  EXPECT_EQ(PickPhone(*config, "front", error)->port, "/dev/ttyUSB0");
  EXPECT_FALSE(ReadConfig("/nonexistent/brindle.toml", error));
  EXPECT_EQ(error, "/nonexistent/brindle.toml: cannot be read");
}

TEST(Config, RefusesInOneLine) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"database = \n", "b.toml:1: "},  // not TOML at all: toml++'s own words follow
      {"\ndatabse = \"x\"\n", "b.toml:2: databse is not a setting Brindle knows"},
      {"database = 3\n", "b.toml:1: database must be a text in quotes"},
      {"[web]\nport = 80\n", "b.toml:2: web.port is not a setting Brindle knows"},
      {"[[phone]]\nname = \"a\"\n",
       "b.toml:1: phone[1].port is missing: each phone needs its port"},
      {"[[phone]]\nport = \"p\"\n[[phone]]\nport = \"q\"\nspeed = 0\n",
       "b.toml:5: phone[2].speed must be a whole number from 1 to 4294967295"},
      {"[[phone]]\nport = \"p\"\nspeed = 115201\n",
       "b.toml:3: phone[1].speed is not a serial speed"},
      {"[[phone]]\nport = \"p\"\npin = \"12a4\"\n", "b.toml:3: phone[1].pin must be 4 to 8 digits"},
      {"[[phone]]\nport = \"p\"\npin = 1234\n", "b.toml:3: phone[1].pin must be a text in quotes"},
      {"[[phone]]\nport = \"p\"\ninit = [\"ATZ\", \"CMEE=1\"]\n",
       "b.toml:3: phone[1].init[2] must be an AT command"},
      {"[[phone]]\nport = \"p\"\ninit = [\"AT\\t+CMEE\"]\n",
       "b.toml:3: phone[1].init[1] must hold no control characters"},
      {"[[phone]]\nport = \"p\"\npoll = 0\n", "b.toml:3: phone[1].poll must be a whole number"},
      {"[[phone]]\nname = \"a\"\nport = \"p\"\n[[phone]]\nname = \"a\"\nport = \"q\"\n",
       "b.toml:4: phone[2].name 'a' names another phone too"},
      {"phone = \"p\"\n", "b.toml:1: phone must be [[phone]] sections"},
      {"[games]\nx = \"A\"\n", "b.toml:2: games.x names no game"},
      {"[games]\n4294967296 = \"A\"\n", "b.toml:2: games.4294967296 names no game"},
      {"[games]\n1 = \"\"\n", "b.toml:2: games.1 must be 1 to 100 bytes"},
      {"[games]\n1 = \"a\\nb\"\n", "b.toml:2: games.1 must be one line"},
  };
  for (const auto& [text, said] : rows) {
    SCOPED_TRACE(text);
    std::string error;
    EXPECT_FALSE(ParseConfig(text, "b.toml", error));
    EXPECT_TRUE(error.starts_with(said)) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace brindle::service
