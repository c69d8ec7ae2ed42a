// `brindle phone`: the simulated GSM phone on a pseudo-terminal.
#include <cstdio>
#include <memory>
#include <string>

#include "tools/commands.h"
#include "tools/phone_sim/phone_mode.h"
#include "tools/phone_sim/phone_runner.h"

namespace brindle::tools {
namespace {

CLI::Validator NotNegative() {
  return {[](const std::string& text) {
            double value = 0;
            if (!CLI::detail::lexical_cast(text, value) || !(value >= 0)) {
              return "must be a number, 0 or more, not '" + text + "'";
            }
            return std::string();
          },
          ""};
}

}  // namespace

void RegisterPhoneCommand(CLI::App& app, int& status) {
  struct Arguments {
    std::string mode = "ok";
    sim::PhoneOptions options;
  };
  // The callback runs after parsing, while `app` (and so this) is alive.
  auto arguments = std::make_shared<Arguments>();
  CLI::App* phone = app.add_subcommand(
      "phone",
      "Simulated GSM phone on a pseudo-terminal: prints the terminal's path, then answers AT "
      "commands and takes SMS-SUBMIT PDUs");
  // The last of a repeated option counts, so a script can override what it was given.
  phone->option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  phone->add_option("--mode", arguments->mode, "Behaviour: " + std::string(sim::PhoneModeList()))
      ->type_name("MODE")
      ->capture_default_str();
  phone
      ->add_option("--link", arguments->options.linkPath,
                   "Also make a symlink to the terminal at PATH (removed on exit)")
      ->type_name("PATH");
  phone
      ->add_option("--log", arguments->options.logPath,
                   "Write every byte and message as JSON lines to FILE")
      ->type_name("FILE");
  phone
      ->add_option("--timeout", arguments->options.timeoutSeconds,
                   "Exit after SECONDS (0: run until SIGTERM/SIGINT)")
      ->type_name("SECONDS")
      ->check(NotNegative());
  phone
      ->add_option("--count", arguments->options.count,
                   "Exit once N messages have been taken and answered (0: no limit)")
      ->type_name("N")
      ->check(NotNegative());
  phone->callback([arguments, &status] {
    const auto mode = sim::ParsePhoneMode(arguments->mode);
    if (!mode) {
      (void)std::fprintf(stderr, "brindle phone: unknown mode '%s' (one of %s)\n",
                         arguments->mode.c_str(), std::string(sim::PhoneModeList()).c_str());
      status = kExitBadInput;
      return;
    }
    arguments->options.mode = *mode;
    status = sim::RunPhone(arguments->options, stdout);
  });
}

}  // namespace brindle::tools
