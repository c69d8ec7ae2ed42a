// `brindle web`'s arguments and what it does with them; the command line is registered with
// the other service commands.
#pragma once

#include <string>

namespace brindle::tools {

struct WebArguments {
  std::string db;
  std::string listen = "127.0.0.1:8080";
};

// Serves until SIGTERM or SIGINT; the exit status.
int RunWeb(const WebArguments& arguments);

}  // namespace brindle::tools
