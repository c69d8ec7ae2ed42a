// `brindle web`'s arguments and what it does with them; the command line is registered with
// the other service commands.
#pragma once

#include <string>
#include <string_view>

namespace brindle::tools {

inline constexpr std::string_view kDefaultListen = "127.0.0.1:8080";

// Empty: the config file's, else the default.
struct WebArguments {
  std::string db;
  std::string listen;
  std::string config;
};

// Serves until SIGTERM or SIGINT; the exit status.
int RunWeb(const WebArguments& arguments);

}  // namespace brindle::tools
